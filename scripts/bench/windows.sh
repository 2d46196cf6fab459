#!/usr/bin/env bash
# The report windows on 1,000,000 demo users: opening the user list and the
# statistics window, sorting by a header press, Toggle Status and the list's
# filter, each the median of five runs against its goal. Run by
# scripts/bench.sh (release tree). With ZORV_BASE_WINBENCH naming the
# zorvwinbench of an earlier build, its figures come first, from the same
# file on the same machine, to compare with.
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${ZORV_RELEASE:-build/release}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$build/tools/zorvtool" demo "$work/demo" --users 1000000 >/dev/null
echo "load: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores"
if [[ -n "${ZORV_BASE_WINBENCH:-}" ]]; then
    echo "--- earlier build ($ZORV_BASE_WINBENCH)"
    QT_QPA_PLATFORM=offscreen "$ZORV_BASE_WINBENCH" "$work/demo/zorvuser.dat"
    echo "--- this build"
fi
QT_QPA_PLATFORM=offscreen "$build/bench/zorvwinbench" "$work/demo/zorvuser.dat"
echo "load: $(cut -d' ' -f1-3 /proc/loadavg)"
