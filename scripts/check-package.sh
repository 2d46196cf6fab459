#!/usr/bin/env bash
# Checks the package that scripts/package.sh built: Debian's own checker
# (lintian) finds no error or warning, the AppStream metainfo validates,
# unpacked into a temporary root its programs run from there, and its
# dependencies were found.
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
for f in usr/bin/zorvedit usr/bin/zorvtool usr/share/applications/invalid.zorv_bbs.zorvedit.desktop \
         usr/share/metainfo/invalid.zorv_bbs.zorvedit.metainfo.xml \
         usr/share/icons/hicolor/scalable/apps/zorvedit.svg \
         usr/share/man/man1/zorvtool.1.gz usr/share/man/man1/zorvedit.1.gz \
         usr/share/bash-completion/completions/zorvtool \
         usr/share/doc/zorvedit/copyright usr/share/doc/zorvedit/changelog.gz; do
  [ -f "$root/$f" ] || { echo "missing in the package: $f" >&2; exit 1; }
done
desktop-file-validate "$root/usr/share/applications/invalid.zorv_bbs.zorvedit.desktop"
appstreamcli validate --no-net "$root/usr/share/metainfo/invalid.zorv_bbs.zorvedit.metainfo.xml"
# Errors and warnings fail; information tags are shown but do not.
lintian --fail-on error,warning --display-level '>=info' "$deb"
version=$(dpkg-deb -f "$deb" Version)
first=$(zcat "$root/usr/share/doc/zorvedit/changelog.gz" | sed -n 1p)
case "$first" in
  "zorvedit ($version) "*) ;;
  *) echo "the changelog's first entry is not version $version: $first" >&2; exit 1 ;;
esac
grep -qF "<release version=\"$version\"" \
  "$root/usr/share/metainfo/invalid.zorv_bbs.zorvedit.metainfo.xml" ||
  { echo "the metainfo's release is not version $version" >&2; exit 1; }
[ "$("$root/usr/bin/zorvtool" --version)" = "zorvtool $version" ] ||
  { echo "zorvtool --version is not the package's $version" >&2; exit 1; }
"$root/usr/bin/zorvtool" demo "$root/demo"
"$root/usr/bin/zorvtool" count "$root/demo/zorvuser.dat"
[ "$(QT_QPA_PLATFORM=offscreen "$root/usr/bin/zorvedit" --version)" = "zorvedit $version" ] ||
  { echo "zorvedit --version is not the package's $version" >&2; exit 1; }
echo "package ok: $deb"
