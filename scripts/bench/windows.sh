#!/usr/bin/env bash
# The report windows on 1,000,000 demo users: opening the user list and the
# statistics window, sorting by a header press, Toggle Status and the list's
# filter, each the median of five runs against its goal. Run by
# scripts/bench.sh (release tree). With ZORV_BASE_WINBENCH naming the
# zorvwinbench of an earlier build, its figures come first, from the same
# file on the same machine, to compare with.
#
#   windows.sh          offscreen, every step
#   windows.sh --real   a real window (xcb under Xvfb): opening the user list
#                       and one text sort, each until its rows are painted
set -euo pipefail
real=()
case "${1:-}" in
--real) real=(--real) ;;
"") ;;
*)
    echo "usage: $0 [--real]" >&2
    exit 2
    ;;
esac
cd "$(dirname "$0")/../.."
build=${ZORV_RELEASE:-build/release}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$build/tools/zorvtool" demo "$work/demo" --users 1000000 >/dev/null
echo "load: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores"
run() {
    if ((${#real[@]})); then
        # A display of its own, picked free by xvfb-run.
        QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" \
            "$1" "${real[@]}" "$work/demo/zorvuser.dat"
    else
        QT_QPA_PLATFORM=offscreen "$1" "$work/demo/zorvuser.dat"
    fi
}
if [[ -n "${ZORV_BASE_WINBENCH:-}" ]]; then
    echo "--- earlier build ($ZORV_BASE_WINBENCH)"
    run "$ZORV_BASE_WINBENCH"
    echo "--- this build"
fi
run "$build/bench/zorvwinbench"
echo "load: $(cut -d' ' -f1-3 /proc/loadavg)"
