#!/usr/bin/env bash
# Builds the release tree and runs every benchmark script in scripts/bench/,
# each printing its figures next to the yardstick it is measured against.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)" >/dev/null
export ZORV_RELEASE="$PWD/build/release"
for s in scripts/bench/*.sh; do
  [ -e "$s" ] || continue
  echo "== $(basename "$s" .sh)"
  bash "$s" "$@"
done
