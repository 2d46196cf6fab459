#!/usr/bin/env bash
# Kills a real save at random moments, runs the recovery a next start runs,
# and counts the user files that came out whole old or whole new, and the
# files left behind (anything but the user file, the working copy and the
# backups). Goal: every trial whole, nothing left.
#
#   scripts/crash-trials.sh [TRIALS]      (default 100; build/default must be built)
#   RECORDS=20000 EVERY=4 ZORV_BUILD=build/default scripts/crash-trials.sh
set -euo pipefail
cd "$(dirname "$0")/.."
build=${ZORV_BUILD:-build/default}
trials=${1:-100}
records=${RECORDS:-20000}
every=${EVERY:-4}
tool="$PWD/$build/tests/crash_trial"
[ -x "$tool" ] || { echo "crash-trials: build $tool first" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
head -c $((273 * records)) /dev/urandom >"$work/old.dat"

now() { date +%s%N; }
wait_saving() { # until the process has loaded and begins its save
  while ! grep -q saving "$1" 2>/dev/null; do
    kill -0 "$2" 2>/dev/null || return 0
    sleep 0.001
  done
}

# One save left alone: the whole new file, and how long a save takes.
mkdir "$work/ref"
cp "$work/old.dat" "$work/ref/zorvuser.dat"
"$tool" save "$work/ref/zorvuser.dat" "$work/ref/zorvedit.dat" "$every" >"$work/ref.out" &
pid=$!
wait_saving "$work/ref.out" "$pid"
t1=$(now)
wait "$pid"
save_ns=$(($(now) - t1))
cp "$work/ref/zorvuser.dat" "$work/new.dat"
cmp -s "$work/old.dat" "$work/new.dat" && { echo "crash-trials: the save changed nothing" >&2; exit 2; }

old=0 new=0 torn=0 left=0 finished=0
for ((i = 1; i <= trials; i++)); do
  d="$work/t$i"
  mkdir "$d"
  cp "$work/old.dat" "$d/zorvuser.dat"
  "$tool" save "$d/zorvuser.dat" "$d/zorvedit.dat" "$every" >"$d.out" 2>/dev/null &
  pid=$!
  wait_saving "$d.out" "$pid"
  delay=$(((RANDOM * 32768 + RANDOM) % (save_ns + save_ns / 10 + 1)))
  sleep "$(awk -v n="$delay" 'BEGIN { printf "%.6f", n / 1e9 }')"
  if kill -9 "$pid" 2>/dev/null; then :; else finished=$((finished + 1)); fi
  wait "$pid" 2>/dev/null || true
  "$tool" recover "$d/zorvuser.dat" "$d/zorvedit.dat" 2>/dev/null
  if cmp -s "$d/zorvuser.dat" "$work/old.dat"; then
    old=$((old + 1))
  elif cmp -s "$d/zorvuser.dat" "$work/new.dat"; then
    new=$((new + 1))
  else
    torn=$((torn + 1))
  fi
  extra=$(find "$d" -mindepth 1 ! -name zorvuser.dat ! -name zorvedit.dat ! -name 'zorvuser.dat.bak*')
  [ -z "$extra" ] || { echo "  left behind: $extra"; left=$((left + $(echo "$extra" | wc -l))); }
  rm -rf "$d" "$d.out"
done

echo "crash trials: $trials kills of a save of $records users ($((records / every + (records % every > 0))) changed), save ${save_ns%??????} ms unkilled"
echo "  whole old:   $old"
echo "  whole new:   $new"
echo "  neither:     $torn"
echo "  whole:       $((old + new))/$trials"
echo "  files left:  $left"
echo "  (save had already finished at $finished of the kills)"
[ "$torn" -eq 0 ] && [ "$left" -eq 0 ]
