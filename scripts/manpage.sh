#!/usr/bin/env bash
# zorvtool's man page, made from its own help text so that the two never part.
#
#   bash scripts/manpage.sh TOOL            the page on stdout
#   bash scripts/manpage.sh TOOL --check    fails when packaging/zorvtool.1 differs
#   bash scripts/manpage.sh TOOL --write    rewrites packaging/zorvtool.1
#
# After adding a command:  bash scripts/manpage.sh build/default/tools/zorvtool --write
set -euo pipefail
tool=${1:?usage: manpage.sh TOOL [--check|--write]}
mode=${2:-}
page="$(cd "$(dirname "$0")/.." && pwd)/packaging/zorvtool.1"

# Text for troff: backslashes, hyphens and leading control characters escaped.
roff() { sed -e 's/\\/\\e/g' -e 's/-/\\-/g' -e "s/^\([.']\)/\\\\\&\1/"; }

generate() {
  local help
  help=$("$tool" help)
  # No version here: it lives in CMakeLists.txt alone (zorvtool --version says it).
  cat <<HEAD
.TH ZORVTOOL 1 "" "zorvedit" "User Commands"
.SH NAME
zorvtool \- the ZORV BBS user file for scripts and tests
.SH SYNOPSIS
.B zorvtool
.I COMMAND
.RI [ ARGS ...]
.br
.B zorvtool \-\-version
.SH DESCRIPTION
.B zorvtool
reads the user file of a ZORV bulletin\-board system,
.I zorvuser.dat
(fixed 273\-byte records, no header), and its resume conference without a window,
and answers as the editor
.BR zorvedit (1)
would show it. It exports every user for other programs, changes users with the
editor's safe save, and makes demo data to try the editor on.
.SH COMMANDS
HEAD
  # "  zorvtool SYNOPSIS  DESCRIPTION": the description starts after two blanks.
  printf '%s\n' "$help" | sed -n 's/^  zorvtool //p' | while IFS= read -r line; do
    synopsis=$(printf '%s' "$line" | sed -E 's/ {2,}.*$//')
    description=$(printf '%s' "$line" | sed -E 's/^[^ ]+( [^ ]+)*( {2,}|$)//')
    printf '.TP\n.B %s\n' "$(printf '%s' "$synopsis" | roff)"
    [ -n "$description" ] && printf '%s\n' "$(printf '%s' "$description" | roff)"
  done
  cat <<'TAIL'
.SH EXPORT
.B export
writes one line a user, in record order: a JSON object (UTF\-8) or, with
.BR "\-\-format csv" ,
a CSV row after a header row of the names, lines ending in CR LF, fields holding a
comma, a quote or a line break quoted with the quotes doubled. The names and values
are those of
.BR "show \-\-json" ,
after
.B user
(the user's number, from 0), followed by three more:
.B lastcallISO
and
.B firstcallISO
(the call times as ISO 8601 local time,
.IR 2012\-03\-03T05:21:58 ;
null, or an empty CSV field, where the file holds no valid date and time, as for a
user who never called) and
.B statusName
.RB ( active ", " getlost ", " killed " or " kill+boot ,
the names
.B status
takes; null above code 3). New keys are only ever added at the end. Stored texts are
decoded from code page 865.
.PP
Which form for what: JSON lines for programs
.RB ( jq ,
Python); the plain CSV (UTF\-8, no byte\-order mark, every text as it is) for
pipelines and databases;
.B "\-\-format csv \-\-for\-spreadsheet"
for a spreadsheet program: UTF\-8 behind a byte\-order mark, by which a spreadsheet's
CSV import knows the encoding (its default reads Windows\-1252, and \(AE \(/O \(oA
come out garbled), and every text field beginning with
.BR = ", " + ", " \- ", " @ ,
TAB or CR behind a
.B \(aq
so that a caller's name such as
.I =1+2
is shown as text and never run as a formula (number fields are never changed).
LibreOffice's headless import ignores the mark: name the charset there
.RI ( \-\-infilter=CSV:44,34,76,1 ).
For a program that reads only Windows\-1252, add
.BR "\-\-encoding cp1252" :
a character that cp1252 lacks is written as a question mark, and the run says on
standard error how many there were and where the first was.
.SH FILES
.B set
and
.B status
write beside the user file
.IR FILE :
.TP
.IB FILE .bak ", " FILE .bak.2 ", ..."
the file as it was before a run's first write, once every check has passed
(one younger than an hour is kept as it is; in the editor's state folder where
the user file's folder cannot be written); the editor's settings value
.B Backups
says how many (default 3, above 99 counts as 99, 0 none)
.TP
.IB FILE .journal
the users a run is writing, before and after; a killed run's is undone by the
next writing run or the editor, from any folder. One whose file is gone is kept as
.IB FILE .journal.unapplied\- DATE\-TIME
(the newest five)
.TP
.IB FILE .lock
one writing run at a time, the editor's Save File included: a run waits at most
10 seconds for the one before it. The file stays.
.PP
Anything else at these names (a folder, a FIFO, another user's file, a hard link)
is left as it is and named, and nothing is written.
.SH EXIT STATUS
0 on success; 2 for a wrong command line or a failed file operation, including a
failed write to standard output (a full disk), with the reason on standard error
.RB ( set
and
.B status
then write nothing:
.B status
writes its list out whole before it changes a user).
A reader that closes the pipe early ends the command quietly by SIGPIPE.
.B resume
gives 1 when the conference holds no such message.
.B set
and
.B status
give 3 for an unsettled clash: a user the board wrote between the tool's read and
its write is read again and changed again once; when the board has written it once
more, the tool stops with nothing more written.
.B status
changes only the users it listed, in the file it read them from: it gives 2,
writing nothing, when another file has been put in that file's place since (a purge
that renumbered the users), and 3 when a user it listed holds another name by the
time it is written; that user is left as it is and named.
.SH SEE ALSO
.BR zorvedit (1)
TAIL
}

case "$mode" in
  "") generate ;;
  --write) generate >"$page.new" && mv "$page.new" "$page" && echo "wrote $page" ;;
  --check)
    if ! diff -u "$page" <(generate); then
      echo "packaging/zorvtool.1 is out of date: bash scripts/manpage.sh $tool --write" >&2
      exit 1
    fi ;;
  *) echo "usage: manpage.sh TOOL [--check|--write]" >&2; exit 2 ;;
esac
