#!/usr/bin/env bash
# zorvtool diff of a million demo users against a copy with 1 % and with 100 %
# of them changed, output to /dev/null, beside cat of both files in the same
# run (page cache warm, best of $runs). Goal: within 3x cat at 1 %.
set -euo pipefail
: "${ZORV_RELEASE:?set ZORV_RELEASE to the release build folder (scripts/bench.sh does)}"
tool="$ZORV_RELEASE/tools/zorvtool"
data="$ZORV_RELEASE/bench/zorvdiffdata"
users="${ZORV_BENCH_USERS:-1000000}"
runs="${ZORV_BENCH_RUNS:-5}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

"$tool" demo "$work" --users "$users" >/dev/null
old="$work/zorvuser.dat"
"$data" "$old" "$work/1.dat" 100
"$data" "$old" "$work/100.dat" 1

# best CMD...: the shortest wall time in seconds, "/" and that run's CPU seconds.
best() {
  local b="" t0 t1 t cpu=""
  for _ in $(seq "$runs"); do
    t0=$(date +%s%N)
    /usr/bin/time -f '%U %S' -o "$work/cpu" "$@" >/dev/null 2>&1 || true
    t1=$(date +%s%N)
    t=$((t1 - t0))
    if [ -z "$b" ] || [ "$t" -lt "$b" ]; then
      b=$t
      cpu=$(awk 'END { printf "%.3f", $1 + $2 }' "$work/cpu")  # after time's exit note
    fi
  done
  awk -v n="$b" -v c="$cpu" 'BEGIN { printf "%.3f/%s", n / 1e9, c }'
}
ratio() { awk -v a="${1%%/*}" -v b="${2%%/*}" 'BEGIN { printf "%.2fx", a / b }'; }

echo "users              $users ($(stat -c %s "$old") bytes a file), load $(cut -d' ' -f1-3 /proc/loadavg)"
for changed in 1 100; do
  new="$work/$changed.dat"
  cat "$old" "$new" >/dev/null
  t_cat=$(best cat "$old" "$new")
  t_diff=$(best "$tool" diff "$old" "$new")
  t_json=$(best "$tool" diff "$old" "$new" --json)
  goal=""
  [ "$changed" = 1 ] && goal=" (goal <= 3x)"
  echo "$changed % changed"
  echo "  cat OLD NEW        ${t_cat} s wall/cpu"
  echo "  zorvtool diff      ${t_diff} s   $(ratio "$t_diff" "$t_cat") of cat$goal"
  echo "  diff --json        ${t_json} s   $(ratio "$t_json" "$t_cat") of cat$goal"
done
