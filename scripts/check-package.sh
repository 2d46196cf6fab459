#!/usr/bin/env bash
# Checks the package that scripts/package.sh built: unpacked into a temporary
# root, its programs run from there, and its dependencies were found.
set -euo pipefail
cd "$(dirname "$0")/.."
deb=$(ls build/package/zorvedit_*.deb)
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT

depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
case "$depends" in
  *libqt6widgets6*) ;;
  *) echo "the package does not depend on Qt's widgets library" >&2; exit 1 ;;
esac

dpkg -x "$deb" "$root"
for f in usr/bin/zorvedit usr/bin/zorvtool usr/share/applications/zorvedit.desktop \
         usr/share/icons/hicolor/scalable/apps/zorvedit.svg \
         usr/share/man/man1/zorvtool.1.gz usr/share/man/man1/zorvedit.1.gz; do
  [ -f "$root/$f" ] || { echo "missing in the package: $f" >&2; exit 1; }
done
desktop-file-validate "$root/usr/share/applications/zorvedit.desktop"
"$root/usr/bin/zorvtool" --version
"$root/usr/bin/zorvtool" demo "$root/demo"
"$root/usr/bin/zorvtool" count "$root/demo/zorvuser.dat"
QT_QPA_PLATFORM=offscreen "$root/usr/bin/zorvedit" --version
echo "package ok: $deb"
