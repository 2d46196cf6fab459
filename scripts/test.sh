#!/usr/bin/env bash
# Configures, builds and runs every test headless; ends with ctest's summary.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

export QT_QPA_PLATFORM=offscreen
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
  export XDG_RUNTIME_DIR="$(mktemp -d)"
  chmod 700 "$XDG_RUNTIME_DIR"
fi

cmake --preset default
cmake --build --preset default -j "$(nproc)"
ctest --preset default "$@"
