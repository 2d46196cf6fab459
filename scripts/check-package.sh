#!/usr/bin/env bash
# Checks the package that scripts/package.sh built: Debian's own checker
# (lintian --pedantic, information tags included) finds nothing but the one
# override the package carries, the programs are hardened as Debian's are
# (stack protector, FORTIFY, BIND_NOW), the AppStream metainfo validates,
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
         usr/share/doc/zorvedit/copyright usr/share/doc/zorvedit/changelog.gz \
         usr/share/lintian/overrides/zorvedit; do
  [ -f "$root/$f" ] || { echo "missing in the package: $f" >&2; exit 1; }
done

# Hardened as Debian builds: the stack protector's and FORTIFY's checked
# functions imported, every symbol bound at start (BIND_NOW), and no section
# Debian's strip removes.
for program in zorvedit zorvtool; do
  bin="$root/usr/bin/$program"
  imports=$(nm -D --undefined-only "$bin")
  grep -qw __stack_chk_fail <<<"$imports" ||
    { echo "$program: no stack protector (__stack_chk_fail not imported)" >&2; exit 1; }
  grep -qE ' __[a-z0-9_]+_chk(@|$)' <<<"$(grep -v __stack_chk_fail <<<"$imports")" ||
    { echo "$program: no FORTIFY (no __*_chk function imported)" >&2; exit 1; }
  readelf -d "$bin" | grep -qE '\(FLAGS\).*BIND_NOW|\(FLAGS_1\).*NOW' ||
    { echo "$program: not linked with BIND_NOW" >&2; exit 1; }
  if readelf -S --wide "$bin" | grep -qE ' \.(comment|note) '; then
    echo "$program: .comment or .note left in" >&2
    exit 1
  fi
  echo "$program: hardened ($(grep -cE ' __[a-z0-9_]+_chk(@|$)' <<<"$imports") checked functions imported, BIND_NOW)"
done
desktop-file-validate "$root/usr/share/applications/invalid.zorv_bbs.zorvedit.desktop"
appstreamcli validate --no-net "$root/usr/share/metainfo/invalid.zorv_bbs.zorvedit.metainfo.xml"
# Every tag down to pedantic, overridden ones too: only the package's own
# override may appear. (lintian's note on running as root is no tag.)
tags=$(lintian --pedantic -I --show-overrides "$deb" 2>&1 | grep -v 'running with root privileges' || true)
printf '%s\n' "$tags"
# lintian shows the override's comment beside it, as N: lines.
comment=$(sed -n 's/^# \?/N: /p' "$root/usr/share/lintian/overrides/zorvedit")
unexpected=$(grep -vE '^O: zorvedit: spelling-error-in-binary Preffered Preferred \[usr/bin/zorv(edit|tool)\]$' <<<"$tags" |
  grep -vxF -f <(printf '%s\n' "$comment") | grep -v '^$' || true)
if [ -n "$unexpected" ]; then
  echo "lintian: tags besides the one override:" >&2
  printf '%s\n' "$unexpected" >&2
  exit 1
fi
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
