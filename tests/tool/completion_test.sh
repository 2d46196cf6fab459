#!/usr/bin/env bash
# The bash completion offers what zorvtool's help lists: every command, every
# option of each command, what each command's words take (a conference's
# files, a command's name, the status names), and the record's field names as
# `show --json` gives them.
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
registered=$(grep -c '^  zorvtool ' <<<"$help")
found=0
while read -r name; do
  found=$((found + 1))
  grep -qxF -- "$name" <<<"$commands" || fail "command '$name' is not completed"
  [ "$name" = help ] || [ "$name" = --version ] ||
    offers "$name" zorvtool help ""
done < <(sed -n 's/^  zorvtool \([a-z-]*\) .*/\1/p' <<<"$help")
[ "$found" -eq "$registered" ] || fail "found $found commands in the help, which lists $registered"
[ "$found" -gt 10 ] || fail "only $found commands in the help"

# Each command's options, as its help line writes them, and --help.
while read -r line; do
  name=$(awk '{ print $2 }' <<<"$line")
  [ "$name" = --version ] && continue
  for option in $(grep -o -- '--[a-z-]*' <<<"${line%%  *}" | sort -u) --help; do
    offers "$option" zorvtool "$name" file.dat --
  done
done < <(grep '^  zorvtool ' <<<"$help")
[ -z "$(complete_words zorvtool --version --)" ] || fail "--version offers options"

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
offers --format=csv zorvtool export f.dat --format=
offers --status=kill+boot zorvtool find f.dat TEXT --status=k
offers --in=name,address zorvtool find f.dat TEXT --in=name,a
# After "--" a word is a word: no options, and it counts.
[ -z "$(complete_words zorvtool find f.dat -- --)" ] || fail "options offered after --"
offers killed zorvtool status -- -f.dat k

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

# Files by what the command takes: a conference by either of its files, a
# folder for demo.
mkdir "$work/conf" "$work/conf/sub"
touch "$work/conf/resume.hdr" "$work/conf/resume.txt" "$work/conf/zorvuser.dat"
cd "$work/conf"
offers resume.hdr zorvtool resume ""
offers resume.txt zorvtool resume ""
complete_words zorvtool resume "" | grep -qxF zorvuser.dat && fail "resume offers a user file"
offers zorvuser.dat zorvtool count ""
complete_words zorvtool demo "" | grep -qxF zorvuser.dat && fail "demo offers a file for DIR"
offers sub zorvtool demo ""
[ -z "$(complete_words zorvtool show zorvuser.dat "")" ] || fail "show offers files for N"
cd - >/dev/null

if [ "$failures" -gt 0 ]; then
  echo "$failures failures"
  exit 1
fi
echo "completion covers every command, option and field"
