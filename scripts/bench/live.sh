#!/usr/bin/env bash
# The editor following a running board that writes 400 users a second, at
# 10,000, 100,000 and 1,000,000 demo users: the editor's share of one core
# (goal < 25 %), the longest event-loop stall (goal < 50 ms) and the cost of an
# idle board. Run by scripts/bench.sh (release tree).
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${ZORV_RELEASE:-build/release}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -m 700 "$work/runtime"
export XDG_RUNTIME_DIR="$work/runtime"
for n in 10000 100000 1000000; do
    "$build/tools/zorvtool" demo "$work/demo$n" --users "$n" >/dev/null
    QT_QPA_PLATFORM=offscreen "$build/bench/zorvlivebench" "$work/demo$n/zorvuser.dat" \
        "${ZORV_LIVE_BUSY:-20}" "${ZORV_LIVE_IDLE:-35}"
    rm -rf "$work/demo$n"
done
