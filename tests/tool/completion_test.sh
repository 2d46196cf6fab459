#!/usr/bin/env bash
# The bash completion offers what zorvtool's help lists: every command, every
# option of each command, and the record's field names as `show --json` gives
# them.
#   completion_test.sh TOOL COMPLETION_FILE
set -uo pipefail
tool=$1
completion=$2
# shellcheck disable=SC1091
source /usr/share/bash-completion/bash_completion
# shellcheck disable=SC1090
source "$completion"

failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# Completes the words of a command line whose last word is being typed.
complete_words() {
  COMP_WORDS=("$@")
  COMP_CWORD=$(($# - 1))
  COMP_LINE="$*"
  COMP_POINT=${#COMP_LINE}
  COMPREPLY=()
  _zorvtool zorvtool "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
  printf '%s\n' "${COMPREPLY[@]}" | sort
}

offers() { # offers WORD COMMAND-LINE...
  local want=$1
  shift
  complete_words "$@" | grep -qxF -- "$want" || fail "'$*' does not offer '$want'"
}

help=$("$tool" help)
commands=$(complete_words zorvtool "")
while read -r name; do
  grep -qxF -- "$name" <<<"$commands" || fail "command '$name' is not completed"
done < <(sed -n 's/^  zorvtool \([a-z-]*\).*/\1/p' <<<"$help")

# Each command's options, as its help line writes them.
while read -r line; do
  name=$(awk '{ print $2 }' <<<"$line")
  [ "$name" = help ] || [ "$name" = --version ] && continue
  for option in $(grep -o -- '--[a-z-]*' <<<"${line%%  *}" | sort -u); do
    offers "$option" zorvtool "$name" file.dat --
  done
done < <(grep '^  zorvtool ' <<<"$help")

# Values of the options that take a word from a list.
offers csv zorvtool export f.dat --format ""
offers jsonl zorvtool export f.dat --format ""
offers cp1252 zorvtool export f.dat --encoding ""
offers html zorvtool list f.dat --format ""
offers "kill+boot" zorvtool find f.dat TEXT --status k
offers "name,address" zorvtool find f.dat TEXT --in name,a
offers getlost zorvtool status f.dat ""
offers killed zorvtool status f.dat active --status-is ""
offers --dry-run zorvtool status f.dat killed --user 3 --

# set: FIELD= after the user's number, with every key of show --json.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$tool" demo "$work" --users 1 >/dev/null
keys=$("$tool" show "$work/zorvuser.dat" 0 --json | grep -o '"[A-Za-z]*": ' | tr -d '": ')
[ -n "$keys" ] || fail "no keys in show --json"
fields=$(complete_words zorvtool set f.dat 3 "")
for key in $keys; do
  grep -qxF -- "$key=" <<<"$fields" || fail "set does not offer '$key='"
done
[ "$(wc -l <<<"$fields")" -eq "$(wc -w <<<"$keys")" ] ||
  fail "set offers $(wc -l <<<"$fields") fields, show --json has $(wc -w <<<"$keys")"
offers logins= zorvtool set f.dat 3 limit=5 lo
[ -z "$(complete_words zorvtool set f.dat "")" ] || fail "set offers fields in place of N"

if [ "$failures" -gt 0 ]; then
  echo "$failures failures"
  exit 1
fi
echo "completion covers every command, option and field"
