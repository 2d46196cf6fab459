#!/usr/bin/env bash
# zorvtool list on a million demo users (read, build, sort by Name, write TSV)
# next to GNU sort (LC_ALL=C) on the same rows and next to cat of the user
# file; peak memory next to the output's bytes.
# Goals: within 1.5x of GNU sort, peak memory under 3x the output.
set -euo pipefail
: "${ZORV_RELEASE:?set ZORV_RELEASE to the release build folder (scripts/bench.sh does)}"
tool="$ZORV_RELEASE/tools/zorvtool"
users="${ZORV_BENCH_USERS:-1000000}"
runs="${ZORV_BENCH_RUNS:-3}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

"$tool" demo "$work" --users "$users" >/dev/null
file="$work/zorvuser.dat"
opts=11111111000 # the name in one column: column 1 is "Name"
"$tool" list "$file" --options "$opts" >"$work/rows.tsv"

# Best wall time of $runs runs, in seconds.
best() {
  local b="" t0 t1 t
  for _ in $(seq "$runs"); do
    t0=$(date +%s.%N)
    "$@" >/dev/null
    t1=$(date +%s.%N)
    t=$(awk -v a="$t0" -v b="$t1" 'BEGIN { print b - a }')
    if [ -z "$b" ] || awk -v t="$t" -v b="$b" 'BEGIN { exit !(t < b) }'; then b=$t; fi
  done
  printf '%.3f' "$b"
}

sortrows() { LC_ALL=C sort -t "$(printf '\t')" -k2 "$work/rows.tsv"; }
list() { "$tool" list "$file" --options "$opts" --sort 1; }

t_cat=$(best cat "$file")
t_sort=$(best sortrows)
t_list=$(best list)
/usr/bin/time -f '%M' -o "$work/rss" "$tool" list "$file" --options "$opts" --sort 1 >"$work/out.tsv"
rss_kb=$(cat "$work/rss")
out_bytes=$(stat -c %s "$work/out.tsv")

echo "users                 $users ($(stat -c %s "$file") bytes of user file)"
echo "cat user file         ${t_cat} s"
echo "GNU sort of the rows  ${t_sort} s   (LC_ALL=C sort -t TAB -k2, $(nproc) cores)"
echo "zorvtool list --sort  ${t_list} s   ratio $(awk -v a="$t_list" -v b="$t_sort" 'BEGIN { printf "%.2f", a / b }') (goal <= 1.5)"
echo "peak memory           $((rss_kb * 1024)) bytes for $out_bytes bytes of output," \
  "ratio $(awk -v m="$rss_kb" -v o="$out_bytes" 'BEGIN { printf "%.2f", m * 1024 / o }') (goal < 3)"
