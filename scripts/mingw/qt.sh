#!/usr/bin/env bash
# Builds Qt for Windows (mingw-w64, posix threads) from Debian's own source of
# the qt6-base version installed here, into a cache folder outside the
# project, and prints that folder. Does nothing but print it when the cache is
# whole. The key names everything the build depends on: Qt's version, this
# script, the cross compiler and the host qt6-base-dev.
#
#   bash scripts/mingw/qt.sh            -> prints e.g. ~/.cache/zorvedit/qt-6.4.2-mingw64-<key>
#   ZORV_CACHE=DIR bash scripts/mingw/qt.sh
#
# Needs: g++-mingw-w64-x86-64-posix, qt6-base-dev, qt6-base-dev-tools, cmake,
# ninja-build, xz-utils (scripts/setup.sh installs them).
set -euo pipefail

script="$(readlink -f "$0")"
# The project's own cross toolchain, so that Qt and zorvedit are built alike.
toolchain="$(dirname "$script")/../../cmake/mingw-w64-x86_64.cmake"
cache_root="${ZORV_CACHE:-$HOME/.cache/zorvedit}"
cxx=x86_64-w64-mingw32-g++-posix

need() {
  command -v "$1" >/dev/null 2>&1 || {
    echo "qt.sh: $1 not found ($2)" >&2
    exit 1
  }
}
need "$cxx" "Debian package g++-mingw-w64-x86-64-posix"
need cmake "Debian package cmake"
need ninja "Debian package ninja-build"
need /usr/lib/qt6/libexec/moc "Debian package qt6-base-dev-tools"

host_qt=$(dpkg-query -W -f='${Version}' qt6-base-dev 2>/dev/null) || {
  echo "qt.sh: qt6-base-dev is not installed" >&2
  exit 1
}
tools_qt=$(dpkg-query -W -f='${Version}' qt6-base-dev-tools 2>/dev/null || true)
if [ "$tools_qt" != "$host_qt" ]; then
  echo "qt.sh: qt6-base-dev-tools ($tools_qt) is not the version of qt6-base-dev ($host_qt)" >&2
  exit 1
fi
# 6.4.2+dfsg-10 -> 6.4.2
qt_version=${host_qt%%+*}
qt_version=${qt_version%%-*}
gcc_version="$($cxx -dumpfullversion) $(dpkg-query -W -f='${Version}' g++-mingw-w64-x86-64-posix 2>/dev/null || true)"
key=$( (
  cat "$script" "$toolchain"
  echo "$gcc_version"
  echo "$host_qt"
) | sha256sum | cut -c1-12)
prefix="$cache_root/qt-$qt_version-mingw64-$key"

if [ -f "$prefix/.complete" ]; then
  echo "$prefix"
  exit 0
fi

mkdir -p "$cache_root"
# One build at a time per cache; a second run waits, then finds it whole.
exec 9>"$cache_root/.qt-$key.lock"
flock 9
if [ -f "$prefix/.complete" ]; then
  echo "$prefix"
  exit 0
fi

work="$cache_root/.qt-$key.work"
rm -rf "$work" "$prefix"
mkdir -p "$work/apt/parts" "$work/apt/lists/partial" "$work/src"
trap 'rm -rf "$work"' EXIT
start=$(date +%s)

# Source entries derived from apt's own configured ones, in a folder of
# ours: the machine's apt setup and the repository stay untouched.
n=0
for f in /etc/apt/sources.list.d/*.sources; do
  [ -f "$f" ] || continue
  sed -E 's/^Types:.*/Types: deb-src/' "$f" >"$work/apt/parts/$n.sources"
  n=$((n + 1))
done
if [ -f /etc/apt/sources.list ]; then
  sed -nE 's/^[[:space:]]*deb[[:space:]]/deb-src /p' /etc/apt/sources.list >"$work/apt/parts/list.list"
fi
apt_opts=(-o Dir::Etc::SourceList=/dev/null -o "Dir::Etc::SourceParts=$work/apt/parts"
  -o "Dir::State::Lists=$work/apt/lists" -o Debug::NoLocking=1)
echo "qt.sh: fetching qt6-base $host_qt source" >&2
apt-get "${apt_opts[@]}" -q update >&2
(cd "$work/src" && apt-get "${apt_opts[@]}" -q source --download-only "qt6-base=$host_qt" >&2)

dsc=$(ls "$work"/src/qt6-base_*.dsc)
orig=$(ls "$work"/src/qt6-base_*.orig.tar.*)
# apt checked the .dsc against the signed index; check the tarball against
# the .dsc ourselves before unpacking it.
want=$(awk -v f="$(basename "$orig")" '/^Checksums-Sha256:/ {s = 1; next} /^[^ ]/ {s = 0} s && $3 == f {print $1}' "$dsc")
have=$(sha256sum "$orig" | cut -d' ' -f1)
if [ -z "$want" ] || [ "$want" != "$have" ]; then
  echo "qt.sh: $(basename "$orig") does not match its .dsc (want '$want', have '$have')" >&2
  exit 1
fi
tar -xf "$orig" -C "$work/src"
srcdir=$(find "$work/src" -maxdepth 1 -type d -name 'qtbase-*' | head -1)
[ -n "$srcdir" ] || {
  echo "qt.sh: no qtbase folder in $(basename "$orig")" >&2
  exit 1
}


echo "qt.sh: configuring" >&2
# Without ccache: a cold cache would only cost space.
cmake -S "$srcdir" -B "$work/build" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
  -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
  -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=ON \
  -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF \
  -DFEATURE_sql=OFF -DFEATURE_network=OFF -DFEATURE_dbus=OFF -DINPUT_opengl=no \
  -DFEATURE_printsupport=OFF -DFEATURE_xml=OFF -DFEATURE_concurrent=OFF \
  -DFEATURE_tabletevent=OFF -DFEATURE_system_zlib=OFF -DBUILD_WITH_PCH=OFF \
  -DQT_USE_CCACHE=OFF >"$work/configure.log" 2>&1 || {
  tail -40 "$work/configure.log" >&2
  echo "qt.sh: configuring Qt failed" >&2
  exit 1
}
echo "qt.sh: building (about 20 minutes on 2 idle cores)" >&2
cmake --build "$work/build" --parallel "$(nproc)" >"$work/build.log" 2>&1 || {
  tail -40 "$work/build.log" >&2
  echo "qt.sh: building Qt failed" >&2
  exit 1
}
cmake --install "$work/build" >"$work/install.log" 2>&1 || {
  tail -20 "$work/install.log" >&2
  echo "qt.sh: installing Qt failed" >&2
  rm -rf "$prefix"
  exit 1
}
printf 'qt %s from qt6-base %s, %s\n' "$qt_version" "$host_qt" "$gcc_version" >"$prefix/.complete"
echo "qt.sh: built in $(($(date +%s) - start)) s" >&2
echo "$prefix"
