#!/usr/bin/env bash
# Builds the release tree and runs every benchmark script in scripts/bench/,
# each printing its figures next to the yardstick it is measured against.
#
#   bash scripts/bench.sh                   the release preset (build/release)
#   ZORV_HARDENED=1 bash scripts/bench.sh   a release tree with the package's
#                                           hardening flags (build/hardened)
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
if [ "${ZORV_HARDENED:-0}" = 1 ]; then
  # shellcheck source=hardening.sh
  source scripts/hardening.sh
  build=build/hardened
  cmake -S . -B "$build" -G Ninja "${hardened_cmake_args[@]}" -DZORV_TESTS=OFF \
    -DZORV_WERROR=ON >/dev/null
  cmake --build "$build" -j "$(nproc)" >/dev/null
else
  build=build/release
  cmake --preset release >/dev/null
  cmake --build --preset release -j "$(nproc)" >/dev/null
fi
export ZORV_RELEASE="$PWD/$build"
for s in scripts/bench/*.sh; do
  [ -e "$s" ] || continue
  echo "== $(basename "$s" .sh)"
  bash "$s" "$@"
done
