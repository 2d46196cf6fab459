#!/usr/bin/env bash
# Cross-builds the core, zorvtool and their tests for Windows (the `windows`
# preset: mingw-w64) and runs the tests under wine, in a wine prefix made once
# for this run. Ends with ctest's summary.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

prefix="$(mktemp -d "${TMPDIR:-/tmp}/zorv-wine.XXXXXX")"
cleanup() {
  WINEPREFIX="$prefix" wineserver -k 2>/dev/null || true
  rm -rf "$prefix"
}
trap cleanup EXIT
export ZORV_WINEPREFIX="$prefix"
# Made once here (about 6 s): each test's start then takes under a second.
start=$(date +%s)
WINEDEBUG=-all WINEPREFIX="$prefix" wine wineboot -i >/dev/null 2>&1
WINEDEBUG=-all WINEPREFIX="$prefix" wineserver -w
echo "test-windows.sh: wine prefix made in $(($(date +%s) - start)) s"

cmake --preset windows
cmake --build --preset windows -j 2
ctest --preset windows "$@"
