#!/usr/bin/env bash
# Runs a Windows program under wine, quietly, in the prefix of this run
# ($ZORV_WINEPREFIX, made once by scripts/test-windows.sh; else one of its own
# under the build folder's parent, made on first use).
#   wine-run.sh PROGRAM.exe [ARGS...]
set -euo pipefail
export WINEDEBUG=-all
export WINEPREFIX="${ZORV_WINEPREFIX:-${WINEPREFIX:-${TMPDIR:-/tmp}/zorv-wine-$(id -u)}}"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$WINEPREFIX"
  wine wineboot -i >/dev/null 2>&1
  wineserver -w
fi
exec wine "$@"
