#!/usr/bin/env bash
# Compiles the settings store with its Windows registry backend using the mingw-w64
# cross compiler, so that the code built only on Windows cannot rot unnoticed.
# Skips (exit 0, with a message) when the cross compiler is not installed.
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
cxx="${MINGW_CXX:-x86_64-w64-mingw32-g++}"
if ! command -v "$cxx" >/dev/null 2>&1; then
  echo "check-win32: $cxx not found (Debian package g++-mingw-w64-x86-64-win32); skipped"
  exit 0
fi

sources=("$root"/src/settings/*.cpp "$root"/src/settings/win32/*.cpp)
status=0
for f in "${sources[@]}"; do
  if ! "$cxx" -std=c++20 -Wall -Wextra -Werror -fsyntax-only -I"$root/src" "$f"; then
    echo "check-win32: FAILED ${f#$root/}"
    status=1
  fi
done
if [ $status -eq 0 ]; then
  echo "check-win32: ${#sources[@]} files compile for Windows"
fi
exit $status
