#!/usr/bin/env bash
# Builds zorvtool for Windows (the `windows` preset) and packs the portable
# zip: build/windows/zorvtool-<version>-windows-x86_64.zip with the .exe,
# LICENSE and README.txt (CR LF line ends, as Windows' editors expect).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset windows >/dev/null
cmake --build --preset windows -j 2 --target zorvtool
version=$(sed -nE 's/^project\(zorvedit VERSION ([0-9.]+).*/\1/p' CMakeLists.txt)
[ -n "$version" ] || { echo "package-windows.sh: no version in CMakeLists.txt" >&2; exit 1; }
name="zorvtool-${version}-windows-x86_64"
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
mkdir "$stage/$name"
cp build/windows/tools/zorvtool.exe "$stage/$name/"
x86_64-w64-mingw32-strip "$stage/$name/zorvtool.exe"
sed 's/\r*$/\r/' LICENSE >"$stage/$name/LICENSE"
cp packaging/windows/README.txt "$stage/$name/README.txt"
if grep -q $'[^\r]$' "$stage/$name/README.txt"; then
  echo "package-windows.sh: README.txt has a line without CR LF" >&2
  exit 1
fi
# Stand-alone: it imports no DLL of the C++ runtime.
if x86_64-w64-mingw32-objdump -p "$stage/$name/zorvtool.exe" | grep -iqE 'DLL Name: (libstdc|libgcc|libwinpthread)'; then
  echo "package-windows.sh: zorvtool.exe needs the runtime's DLLs" >&2
  exit 1
fi
zip="$PWD/build/windows/$name.zip"
rm -f "$zip"
(cd "$stage" && zip -qX -r "$zip" "$name")
echo "package-windows.sh: $zip"
