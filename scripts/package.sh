#!/usr/bin/env bash
# Builds the Debian package with CPack: a release build of the two programs
# alone (no tests, no benchmarks), dependencies found by dpkg-shlibdeps.
#
#   bash scripts/package.sh      -> build/package/zorvedit_<version>_<arch>.deb
#
# Install it with:  sudo apt install ./build/package/zorvedit_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
build=build/package
# -O2: gcc 12 at -O3 warns falsely (-Wrestrict) inside the standard library.
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" \
  -DZORV_TESTS=OFF -DZORV_BENCH=OFF -DZORV_WERROR=ON >/dev/null
nice cmake --build "$build" -j "$(nproc)"
rm -f "$build"/*.deb
(cd "$build" && cpack -G DEB >/dev/null)
ls "$build"/*.deb
