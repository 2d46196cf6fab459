#!/usr/bin/env bash
# Installs the Debian packages that building, testing and screenshots need.
# Does nothing when they are all present already.
#
#   ZORV_SPREADSHEET=1 bash scripts/setup.sh   also LibreOffice Calc (about 80 MB),
#                                              for the test that opens the export in it
set -euo pipefail

packages=(
  g++ cmake ninja-build ccache pkg-config
  qt6-base-dev libgl-dev
  libgtest-dev libgmock-dev libbenchmark-dev libcli11-dev
  clang libclang-rt-14-dev clang-format
  xvfb xauth xdotool imagemagick x11-apps
  fonts-dejavu-core
  g++-mingw-w64-x86-64-posix wine64 wine fonts-wine
  desktop-file-utils dpkg-dev file librsvg2-bin
  lintian appstream python3 bash-completion
)
if [ "${ZORV_SPREADSHEET:-0}" = 1 ]; then
  packages+=(libreoffice-calc-nogui)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing: ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
$SUDO apt-get update -q
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
