#!/usr/bin/env bash
# scripts/check-posix.sh passes the project's own sources and refuses one
# outside src/os/ (core, session or window) that reaches the system itself: a
# POSIX header, a POSIX type, a POSIX call. What comments, strings, member
# functions and src/os/ say is no such reach.
#   check_posix_test.sh SOURCE_ROOT
set -uo pipefail
root=$1
check="$root/scripts/check-posix.sh"
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

bash "$check" "$root" >/dev/null || fail "the project's own core is refused"

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
mkdir -p "$tmp/src/userfile" "$tmp/src/os/posix" "$tmp/src/editor/ui" "$tmp/src/session"
cat >"$tmp/src/userfile/clean.cpp" <<'CPP'
// Calls ::fsync( through the layer; "pread(" in a string is text.
#include "os/file.h"
bool save(Key& k) { return k.open(true) && os::flush(h) && k->close(); }
const char* text = "::open( and pread( are words here";
CPP
# The layer itself may do as it must; a window calls QWidget::close().
echo '#include <unistd.h>' >"$tmp/src/os/posix/file.cpp"
echo 'void W::done() { QDialog::close(); }' >"$tmp/src/editor/ui/window.cpp"
bash "$check" "$tmp" >/dev/null || fail "a clean core is refused"

planted() { # NAME LINE [FOLDER]: the check must refuse a file holding LINE
  local at="src/${3:-userfile}/planted.cpp"
  printf '%s\n' "$2" >"$tmp/$at"
  if out=$(bash "$check" "$tmp" 2>&1); then
    fail "$1 not found: $2"
  elif ! grep -q "$at:1:" <<<"$out"; then
    fail "$1 found but not named with its line: $out"
  fi
  rm -f "$tmp/$at"
}
planted header '#include <fcntl.h>'
planted "a sys/ header" '#  include <sys/file.h>'
planted "the signal header" '#include <csignal>'
planted "struct stat" 'bool f(const struct stat& st);'
planted off_t 'off_t at = 0;'
planted "a bare POSIX call" 'if (fsync(fd) != 0) return;'
planted "a global call" '    const int fd = ::open(path.c_str(), 0);'
planted "a call after an operator" 'x = !::pread(fd, b, n, 0);'
planted "a header in a window" '#include <sys/stat.h>' editor/ui
planted "a POSIX type in the session" 'struct stat st {};' session

# zorvtool is held to the same rule as the core.
mkdir -p "$tmp/tools"
echo '#include <unistd.h>' >"$tmp/tools/main.cpp"
if out=$(bash "$check" "$tmp" 2>&1) || ! grep -q 'tools/main.cpp:1:' <<<"$out"; then
  fail "a POSIX header in tools/ is not refused: $out"
fi

[ "$failures" -eq 0 ] && echo "check-posix.sh: all cases behave"
exit $((failures > 0))
