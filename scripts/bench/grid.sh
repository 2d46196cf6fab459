#!/usr/bin/env bash
# The grid's SortRows on the user list's ten columns next to GNU sort on the
# same rows as tab-separated text, at 100,000 and 1,000,000 demo users; and
# the filled grid's heap next to the bytes of its cell texts.
# Goals: within 1.5x of GNU sort at 100,000 rows, 1,000,000 rows in under
# 3 s, heap at most 3x the texts.
set -euo pipefail
: "${ZORV_RELEASE:?run through scripts/bench.sh (ZORV_RELEASE = the release build folder)}"
tool="$ZORV_RELEASE/tools/zorvtool"
bench="$ZORV_RELEASE/bench/zorvbench"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cols=(1 6 0 9)
labels=("Name" "Limit (text)" "User Number" "Last Call (date)")
keys=("-k2,2" "-k7,7" "-k1,1n" "-k10,10")

# GNU sort's best of three wall-clock runs and its least CPU time (user +
# system), in milliseconds: "wall cpu".
gnu_sort_ms() {
    local best="" cpu="" t w c
    for _ in 1 2 3; do
        t=$( { TIMEFORMAT='%3R %3U %3S'; time LC_ALL=C sort -t $'\t' "$1" "$2" >/dev/null; } 2>&1 )
        w=$(awk -v s="$t" 'BEGIN { split(s, f, " "); printf "%d", f[1] * 1000 }')
        c=$(awk -v s="$t" 'BEGIN { split(s, f, " "); printf "%d", (f[2] + f[3]) * 1000 }')
        if [ -z "$best" ] || [ "$w" -lt "$best" ]; then best=$w; fi
        if [ -z "$cpu" ] || [ "$c" -lt "$cpu" ]; then cpu=$c; fi
    done
    echo "$best $cpu"
}

# The smallest value in column `want` of the benchmark's CSV rows whose name
# starts with `name` (the repetitions; their mean, median... are skipped).
csv_field() {
    awk -F, -v name="$2" -v want="$3" '
        /^name,/ { for (i = 1; i <= NF; i++) { h = $i; gsub(/"/, "", h); col[h] = i }; next }
        index($1, "\"" name) == 1 && $1 !~ /_(mean|median|stddev|cv)"$/ {
            v = $col[want] + 0; if (best == "" || v < best) best = v }
        END { print best }' "$1"
}

for n in 100000 1000000; do
    "$tool" demo "$work/$n" --users "$n" >/dev/null
    ZORV_GRID_USERS="$work/$n/zorvuser.dat" ZORV_GRID_TSV="$work/$n.tsv" \
        "$bench" --benchmark_filter='^BM_GridSortRows' --benchmark_format=csv >"$work/$n.csv" 2>/dev/null
    ZORV_GRID_USERS="$work/$n/zorvuser.dat" \
        "$bench" --benchmark_filter='^BM_GridMemory' --benchmark_format=csv >"$work/$n.mem.csv" 2>/dev/null
    echo "-- $n users (of 3 runs the best wall clock and least CPU: the grid's SortRows, GNU sort's whole command;" \
        "load average $(cut -d' ' -f1 /proc/loadavg))"
    printf '   %-18s %9s %9s %13s %13s %7s\n' "sorted by" "grid ms" "(cpu ms)" "GNU sort ms" "(cpu ms)" "ratio"
    for k in 0 1 2 3; do
        grid=$(csv_field "$work/$n.csv" "BM_GridSortRows/col:${cols[$k]}/" real_time)
        gridcpu=$(csv_field "$work/$n.csv" "BM_GridSortRows/col:${cols[$k]}/" cpu_time)
        read -r gnu gnucpu < <(gnu_sort_ms "${keys[$k]}" "$work/$n.tsv")
        printf '   %-18s %9.0f %9.0f %13d %13d %7s\n' "${labels[$k]}" "$grid" "$gridcpu" "$gnu" \
            "$gnucpu" "$(awk -v a="$grid" -v b="$gnu" 'BEGIN { printf "%.2fx", a / b }')"
    done
    text=$(csv_field "$work/$n.mem.csv" "BM_GridMemory" text_MB)
    heap=$(csv_field "$work/$n.mem.csv" "BM_GridMemory" heap_MB)
    ratio=$(csv_field "$work/$n.mem.csv" "BM_GridMemory" heap_per_text)
    blocks=$(csv_field "$work/$n.mem.csv" "BM_GridMemory" estimate_per_text)
    printf '   memory: cell texts %.1f MB, grid heap %.1f MB (%.2fx the texts; %.2fx counting' \
        "$text" "$heap" "$ratio" "$blocks"
    printf ' every block at its full size)\n'
    rm -rf "${work:?}/$n" "$work/$n.tsv"
done
