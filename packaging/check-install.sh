#!/usr/bin/env bash
# Installs a build folder into a temporary prefix and checks what lands there.
#   bash packaging/check-install.sh BUILD_DIR
set -euo pipefail
build=$1
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
cmake --install "$build" --prefix "$root/usr" >/dev/null
for f in bin/zorvedit bin/zorvtool share/applications/invalid.zorv_bbs.zorvedit.desktop \
         share/icons/hicolor/scalable/apps/zorvedit.svg \
         share/icons/hicolor/16x16/apps/zorvedit.png share/icons/hicolor/256x256/apps/zorvedit.png \
         share/man/man1/zorvtool.1.gz share/man/man1/zorvedit.1.gz \
         share/metainfo/invalid.zorv_bbs.zorvedit.metainfo.xml \
         share/bash-completion/completions/zorvtool \
         share/doc/zorvedit/copyright share/doc/zorvedit/changelog.gz; do
  [ -f "$root/usr/$f" ] || { echo "missing: $f" >&2; exit 1; }
done
"$root/usr/bin/zorvtool" --version
"$root/usr/bin/zorvtool" demo "$root/demo" --users 20 >/dev/null
[ "$("$root/usr/bin/zorvtool" count "$root/demo/zorvuser.dat")" = 20 ]
echo "install tree complete"
