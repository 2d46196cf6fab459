#!/usr/bin/env bash
# Builds the editor and starts it. The first time it makes demo data in ./demo
# and starts there, so that its open dialog shows demo/zorvuser.dat; later runs
# open the user file the editor remembers.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset default >/dev/null
cmake --build --preset default --target zorvedit zorvtool -j "$(nproc)"
if [ ! -f demo/zorvuser.dat ]; then
  build/default/tools/zorvtool demo demo
fi
cd demo
exec ../build/default/src/zorvedit
