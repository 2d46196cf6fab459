#!/usr/bin/env bash
# zorvtool export on a million demo users, each form written to a file, next
# to cat of the user file; peak memory at 1,000 and at a million users, which
# a streaming export keeps the same.
# Goals: at most 2 s a form; peak memory the same at both sizes (within 10 %).
set -euo pipefail
: "${ZORV_RELEASE:?set ZORV_RELEASE to the release build folder (scripts/bench.sh does)}"
tool="$ZORV_RELEASE/tools/zorvtool"
users="${ZORV_BENCH_USERS:-1000000}"
runs="${ZORV_BENCH_RUNS:-3}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

"$tool" demo "$work/big" --users "$users" >/dev/null
"$tool" demo "$work/small" --users 1000 >/dev/null
file="$work/big/zorvuser.dat"

# Best wall time of $runs runs, in seconds; the output goes to $work/out.
best() {
  local b="" t0 t1 t
  for _ in $(seq "$runs"); do
    rm -f "$work/out"
    t0=$(date +%s.%N)
    "$@" >"$work/out"
    t1=$(date +%s.%N)
    t=$(awk -v a="$t0" -v b="$t1" 'BEGIN { print b - a }')
    if [ -z "$b" ] || awk -v t="$t" -v b="$b" 'BEGIN { exit !(t < b) }'; then b=$t; fi
  done
  printf '%.3f' "$b"
}

# One export of $1 with the options after it: "peak-KB cpu-seconds" (user + system;
# on a shared machine the wall time also holds the waits for a core).
measure() {
  local f=$1
  shift
  /usr/bin/time -f '%M %U %S' -o "$work/rss" "$tool" export "$f" "$@" >/dev/null 2>&1 || true
  awk '{ printf "%d %.3f\n", $1, $2 + $3 }' "$work/rss"
}

echo "users                   $users ($(stat -c %s "$file") bytes of user file), load $(cut -d' ' -f1-3 /proc/loadavg)"
echo "cat user file           $(best cat "$file") s wall"
for form in "--format jsonl" "--format csv" "--format csv --for-spreadsheet" "--format csv --encoding cp1252"; do
  # shellcheck disable=SC2086
  t=$(best "$tool" export "$file" $form)
  bytes=$(stat -c %s "$work/out")
  # shellcheck disable=SC2086
  read -r small _ < <(measure "$work/small/zorvuser.dat" $form)
  # shellcheck disable=SC2086
  read -r big cpu < <(measure "$file" $form)
  printf '%s\n  %s s wall, %s s CPU for %s bytes (goal <= 2 s); peak memory %s KB at 1,000 users, %s KB at %s\n' \
    "export $form" "$t" "$cpu" "$bytes" "$small" "$big" "$users"
done
