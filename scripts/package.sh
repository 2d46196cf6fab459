#!/usr/bin/env bash
# Builds the Debian package with CPack: a release build of the two programs
# alone (no tests, no benchmarks) in a fresh folder with Debian's hardening
# flags (scripts/hardening.sh), dependencies found by dpkg-shlibdeps, the
# binaries stripped as Debian strips them (.comment and .note too).
#
#   bash scripts/package.sh      -> build/package/zorvedit_<version>_<arch>.deb
#
# Install it with:  sudo apt install ./build/package/zorvedit_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
# shellcheck source=hardening.sh
source scripts/hardening.sh
build=build/package
# Fresh: flags cached from an earlier configure must not survive.
rm -rf "$build"
cmake -S . -B "$build" -G Ninja "${hardened_cmake_args[@]}" \
  -DZORV_TESTS=OFF -DZORV_BENCH=OFF -DZORV_WERROR=ON >/dev/null
nice cmake --build "$build" -j "$(nproc)"
(cd "$build" && cpack -G DEB >/dev/null)
ls "$build"/*.deb
