#!/usr/bin/env bash
# The grid view with clipboard texts no cell was made for: 2 MB pasted into
# one cell and 200,000 tabs on one line, each pasted and painted at 1x.
# Goal: each under a second. Run by scripts/bench.sh (release tree).
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${ZORV_RELEASE:-build/release}
echo "-- load average $(cut -d' ' -f1 /proc/loadavg)"
QT_QPA_PLATFORM=offscreen QT_SCALE_FACTOR=1 "$build/bench/zorvgridviewbench"
