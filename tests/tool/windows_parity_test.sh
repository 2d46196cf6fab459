#!/usr/bin/env bash
# zorvtool.exe under wine gives the Linux build's bytes for the reading
# commands, on the same files; a reader that goes away ends it with 141.
#   windows_parity_test.sh LINUX_ZORVTOOL WINDOWS_ZORVTOOL EMULATOR
# Exit 77 (skipped) when the Linux build is not there.
set -uo pipefail
linux=$1 windows=$2 emulator=$3
if [ ! -x "$linux" ]; then
  echo "windows_parity_test.sh: no Linux zorvtool at $linux (build the default preset); skipped"
  exit 77
fi
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
"$linux" demo "$tmp/demo" --users 500 --seed 7 >/dev/null || fail "the demo data"
file="$tmp/demo/zorvuser.dat"

same() { # NAME ARGS...: both builds' stdout, stderr and exit code alike
  local name=$1
  shift
  "$linux" "$@" >"$tmp/l.out" 2>"$tmp/l.err"
  local lc=$?
  "$emulator" "$windows" "$@" >"$tmp/w.out" 2>"$tmp/w.err"
  local wc=$?
  [ "$lc" -eq "$wc" ] || fail "$name: exit $lc on Linux, $wc under wine"
  cmp -s "$tmp/l.out" "$tmp/w.out" || fail "$name: standard output differs ($(cmp "$tmp/l.out" "$tmp/w.out" 2>&1))"
  cmp -s "$tmp/l.err" "$tmp/w.err" || fail "$name: standard error differs: $(head -c 300 "$tmp/w.err")"
  [ -s "$tmp/l.out" ] || [ "$lc" -ne 0 ] || fail "$name: printed nothing"
}
same show show "$file" 3
same "show --json" show "$file" 42 --json
same totals totals "$file"
same "totals --json" totals "$file" --json
same find find "$file" a --in name,city
same "find, status only" find "$file" "" --in none --status killed
same list list "$file"
same "list sorted" list "$file" --sort 1 --desc
same stats stats "$file"
same export export "$file"
same "export csv" export "$file" --format csv --for-spreadsheet
same "export cp1252" export "$file" --format csv --encoding cp1252
same "a user past the end" show "$file" 500
same "no such file" totals "$tmp/none.dat"

# Privacy from the folder's DACL: a folder every user may write (wine gives a
# 0777 folder an Everyone entry) is refused, with a message and nothing
# written; one only its owner may use is taken.
mkdir "$tmp/open" "$tmp/closed"
cp "$file" "$tmp/open/zorvuser.dat"
cp "$file" "$tmp/closed/zorvuser.dat"
chmod 0777 "$tmp/open"
chmod 0700 "$tmp/closed"
if "$emulator" "$windows" set "$tmp/open/zorvuser.dat" 3 "Name=Kari" 2>"$tmp/open.err"; then
  fail "a save into a folder every user may write was not refused"
fi
grep -q "writable by every user" "$tmp/open.err" || fail "no message for the open folder: $(cat "$tmp/open.err")"
cmp -s "$file" "$tmp/open/zorvuser.dat" || fail "the refused save changed the file"
"$emulator" "$windows" set "$tmp/closed/zorvuser.dat" 3 "Name=Kari" 2>"$tmp/closed.err" ||
  fail "a save into a private folder was refused: $(cat "$tmp/closed.err")"
[ "$(ls "$tmp/closed")" = "$(printf 'zorvuser.dat\nzorvuser.dat.bak\nzorvuser.dat.lock')" ] ||
  fail "the private folder holds more than the file, its backup and its lock: $(ls "$tmp/closed")"

# A reader that reads one line and goes: quietly, 141, as on Linux. The list
# is larger than any pipe's buffer.
"$linux" demo "$tmp/big" --users 30000 >/dev/null || fail "the large demo data"
"$emulator" "$windows" list "$tmp/big/zorvuser.dat" 2>"$tmp/pipe.err" | head -1 >"$tmp/head.out"
code=${PIPESTATUS[0]}
[ "$code" -eq 141 ] || fail "list | head -1: exit $code, not 141"
[ ! -s "$tmp/pipe.err" ] || fail "list | head -1 said: $(cat "$tmp/pipe.err")"
[ "$(wc -l <"$tmp/head.out")" -eq 1 ] || fail "head -1 got no line"

[ "$failures" -eq 0 ] && echo "windows_parity_test.sh: the same bytes under wine as on Linux"
exit $((failures > 0))
