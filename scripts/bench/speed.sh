#!/usr/bin/env bash
# Speed at a million users: each figure next to its yardstick, as a ratio.
#
#   ZORV_RELEASE=build/release [ZORV_BEFORE=other/build/release] \
#       bash scripts/bench/speed.sh [USERS...]      (default 10000 100000 1000000)
#
# ZORV_BEFORE, when set, is the release build of another commit (for example
# the one before a change); its figures are printed beside ours from the same
# run. Page cache warm, best of five runs. Times in seconds unless named; a
# wall time is followed by the CPU time (user + system) of the same run, which
# other programs on a busy machine disturb less.
set -euo pipefail
: "${ZORV_RELEASE:?set ZORV_RELEASE to the release build folder}"
sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(10000 100000 1000000)

builds=(after)
declare -A dir=([after]="$ZORV_RELEASE")
if [ -n "${ZORV_BEFORE:-}" ]; then
  builds=(before after)
  dir[before]="$ZORV_BEFORE"
fi
for b in "${builds[@]}"; do
  for f in tools/zorvtool bench/zorvbench bench/zorvstartup; do
    [ -x "${dir[$b]}/$f" ] || { echo "missing ${dir[$b]}/$f" >&2; exit 1; }
  done
done

work=$(mktemp -d "${TMPDIR:-/tmp}/zorvspeed.XXXXXX")
trap 'rm -rf "$work"' EXIT
export QT_QPA_PLATFORM=offscreen XDG_CONFIG_HOME="$work/config" XDG_STATE_HOME="$work/state"
export XDG_RUNTIME_DIR="$work/runtime"
mkdir -p "$work/config/NV" "$work/state" "$work/runtime"
chmod 700 "$work/runtime"

now() { date +%s%N; }
# best CMD...: the shortest wall time of five runs in seconds, then "/" and
# that run's CPU time.
best() {
  local b=999999999999 t0 t1 cpu=0
  for _ in 1 2 3 4 5; do
    t0=$(now)
    /usr/bin/time -f "%U %S" -o "$work/cpu" "$@" >/dev/null 2>&1
    t1=$(now)
    if ((t1 - t0 < b)); then
      b=$((t1 - t0))
      cpu=$(awk '{ printf "%.2f", $1 + $2 }' "$work/cpu")
    fi
  done
  awk -v n="$b" -v c="$cpu" 'BEGIN { printf "%.4f/%s", n / 1e9, c }'
}
wall() { echo "${1%%/*}"; }
# peak CMD...: peak resident memory in MB.
peak() {
  /usr/bin/time -f %M -o "$work/rss" "$@" >/dev/null 2>&1
  awk '{ printf "%.1f", $1 / 1024 }' "$work/rss"
}
ratio() { awk -v a="${1%%/*}" -v b="${2%%/*}" 'BEGIN { printf "%.2fx", a / b }'; }
# wall and CPU ratios of two best-of figures
ratios() {
  awk -v a="${1%%/*}" -v b="${2%%/*}" -v c="${1##*/}" -v d="${2##*/}" \
    'BEGIN { printf "%.2fx (cpu %s)", a / b, (d > 0 ? sprintf("%.2fx", c / d) : "-") }'
}

row() { printf '%-9s %-30s %-7s %14s %5s   %-24s %s\n' "$@"; }
header() { row users work build figure unit "yardstick" "ratio (goal)"; }

echo "speed: page cache warm, best of 5 (wall/cpu seconds); builds: ${builds[*]}"
echo "       other programs may be running on this machine"
header
for n in "${sizes[@]}"; do
  data="$work/u$n"
  for b in "${builds[@]}"; do
    rm -rf "$data.$b"
    mem=$(peak "${dir[$b]}/tools/zorvtool" demo "$data.$b" --users "$n")
    row "$n" "zorvtool demo (memory)" "$b" "$mem" MB "-" "flat"
  done
  file="$data.after/zorvuser.dat"
  if [ -n "${ZORV_BEFORE:-}" ]; then
    cmp -s "$data.before/zorvuser.dat" "$file" &&
      echo "          demo files of both builds: identical" ||
      echo "          demo files of both builds: DIFFER"
  fi
  cat "$file" >/dev/null
  tcat=$(best cat "$file")
  tcp=$(best cp "$file" "$work/copy.dat")
  rm -f "$work/copy.dat"
  printf 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\NV\\zorvedit]\r\n"Filename"="%s"\r\n' \
    "$file" >"$work/config/NV/zorvedit.reg"
  for b in "${builds[@]}"; do
    tool="${dir[$b]}/tools/zorvtool"
    t=$(best "$tool" totals "$file")
    row "$n" "zorvtool totals" "$b" "$t" s "cat $tcat" "$(ratios "$t" "$tcat") (<=2x)"
    row "$n" "zorvtool totals (memory)" "$b" "$(peak "$tool" totals "$file")" MB "-" "flat"
    t=$(best "$tool" find "$file" olsen --in name,city)
    row "$n" "zorvtool find" "$b" "$t" s "cat $tcat" "$(ratios "$t" "$tcat") (<=2x)"
    row "$n" "zorvtool find (memory)" "$b" "$(peak "$tool" find "$file" olsen --in name,city)" MB "-" "flat"

    start="${dir[$b]}/bench/zorvstartup"
    tempty=$(best "$start" --empty)
    tedit=$(best "$start")
    yard=$(awk -v a="$(wall "$tcp")" -v b="$(wall "$tempty")" 'BEGIN { printf "%.4f", a + b }')
    row "$n" "start-up: first user, totals" "$b" "$tedit" s "cp+window $yard" "$(ratio "$tedit" "$yard") (<=1.5x)"
    ms=$("$start" --save 5 2>/dev/null || echo nan)
    row "$n" "Save User" "$b" "$ms" ms "-" "(<10 ms)"
  done
  rm -rf "$data.before" "$data.after"
done

echo
for b in "${builds[@]}"; do
  mbs=$("${dir[$b]}/bench/zorvbench" --benchmark_filter='^BM_DecodeCompressedLines$' \
    --benchmark_format=json 2>/dev/null |
    awk -F: '/"bytes_per_second"/ { gsub(/[ ,]/, "", $2); printf "%.1f", $2 / 1e6; exit }')
  row "-" "message decoding" "$b" "$mbs" "MB/s" "compressed bytes" "$(ratio "$mbs" 300) of 300 MB/s"
done
