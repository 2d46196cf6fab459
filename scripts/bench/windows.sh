#!/usr/bin/env bash
# The report windows on 1,000,000 demo users: opening the user list and the
# statistics window, sorting by a header press and sizing the columns, each
# against its goal of 3 seconds. Run by scripts/bench.sh (release tree).
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${ZORV_RELEASE:-build/release}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$build/tools/zorvtool" demo "$work/demo" --users 1000000 >/dev/null
QT_QPA_PLATFORM=offscreen "$build/bench/zorvwinbench" "$work/demo/zorvuser.dat"
