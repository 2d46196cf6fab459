#!/usr/bin/env bash
# Builds the program and shows the first demo user (demo data made on first use).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset default >/dev/null
cmake --build --preset default --target zorvtool -j "$(nproc)"
tool=build/default/tools/zorvtool
if [ ! -f demo/zorvuser.dat ]; then
  "$tool" demo demo
fi
"$tool" show demo/zorvuser.dat 0
