#!/usr/bin/env bash
# zorvtool's man page, made from its own help text and each command's usage
# (`zorvtool CMD --help`), so that they never part.
#
#   bash scripts/manpage.sh TOOL            the page on stdout
#   bash scripts/manpage.sh TOOL --check    fails when packaging/zorvtool.1 differs
#   bash scripts/manpage.sh TOOL --write    rewrites packaging/zorvtool.1
#
# After adding a command or an option:  bash scripts/manpage.sh build/default/tools/zorvtool --write
# The page keeps @PROJECT_VERSION@ and @ZORV_RELEASE_DATE@ in its .TH line; the
# build puts the version and the changelog's date there (packaging/CMakeLists.txt).
set -euo pipefail
tool=${1:?usage: manpage.sh TOOL [--check|--write]}
mode=${2:-}
page="$(cd "$(dirname "$0")/.." && pwd)/packaging/zorvtool.1"

# Text for troff: backslashes, hyphens and leading control characters escaped.
roff() { sed -e 's/\\/\\e/g' -e 's/-/\\-/g' -e "s/^\([.']\)/\\\\\&\1/"; }

# "TERM  TEXT": the part before the first two blanks, and the rest.
term() { printf '%s' "$1" | sed -E 's/ {2,}.*$//'; }
text() { printf '%s' "$1" | sed -E 's/^[^ ]+( [^ ]+)*( {2,}|$)//'; }

generate() {
  local help listed=0 registered line synopsis description name usage item
  help=$("$tool" help)
  registered=$(grep -c '^  zorvtool ' <<<"$help")
  cat <<HEAD
.TH ZORVTOOL 1 "@ZORV_RELEASE_DATE@" "zorvedit @PROJECT_VERSION@" "User Commands"
.SH NAME
zorvtool \- the ZORV BBS user file for scripts and tests
.SH SYNOPSIS
.B zorvtool
.I COMMAND
.RI [ ARGS ...]
.br
.B zorvtool
.I COMMAND
.B \-\-help
.br
.B zorvtool \-\-version
.SH DESCRIPTION
.B zorvtool
reads the user file of a ZORV bulletin\-board system,
.I zorvuser.dat
(fixed 273\-byte records, no header), and its resume conference without a window,
and answers as the editor
.BR zorvedit (1)
would show it. It exports every user for other programs, compares two user files,
changes users with the editor's safe save, and makes demo data to try the editor on.
.PP
An option's value follows it as the next word or after
.BR = ,
as in
.BR "\-\-format csv" " or " \-\-format=csv ;
options may come before, between or after the other words, and each is given once
.RB ( "status \-\-user"
as often as wanted). After
.B \-\-
every word is taken as it is, an option's name too
.RB ( "find FILE \-\- \-TEXT" ).
.IB COMMAND " \-\-help"
prints the command's usage, the explanations below, on standard output.
.SH COMMANDS
HEAD
  # "  zorvtool SYNOPSIS  DESCRIPTION": the description starts after two blanks.
  while IFS= read -r line; do
    synopsis=$(term "$line")
    description=$(text "$line")
    name=${synopsis%% *}
    [ -n "$synopsis" ] && [ -n "$description" ] || continue
    printf '.TP\n.B %s\n%s\n' "$(roff <<<"$synopsis")" "$(roff <<<"$description")"
    # The command's usage: its first line is the synopsis, then "  TERM  TEXT".
    usage=$("$tool" "$name" --help)
    [ "$(sed -n 1p <<<"$usage")" = "usage: zorvtool $synopsis" ] || {
      echo "manpage.sh: '$name --help' does not begin with the synopsis of its help line" >&2
      return 1
    }
    if [ "$(wc -l <<<"$usage")" -gt 1 ]; then
      printf '.RS\n'
      while IFS= read -r item; do
        printf '.TP\n.B %s\n%s\n' "$(term "${item#  }" | roff)" "$(text "${item#  }" | roff)"
      done < <(sed 1d <<<"$usage")
      printf '.RE\n'
    fi
    listed=$((listed + 1))
  done < <(sed -n 's/^  zorvtool //p' <<<"$help")
  if [ "$listed" -lt "$registered" ]; then
    echo "manpage.sh: $listed commands on the page, but the help lists $registered" >&2
    return 1
  fi
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
.SH DIFF
.B diff
matches the users of OLD and NEW by their numbers: a user whose 273 bytes differ is
listed with each field that differs, under show's label with both values (with
.BR \-\-json ,
under show \-\-json's keys with both values as it gives them), and with every run
of bytes that no field shows (the reserved bytes, unused bits, the bytes after a
text's NUL) in hexadecimal, after its offset in the record. The numbers past the
shorter file's end are listed as added or removed. A purge or anything else that
moves users to other numbers shows as every user from the first moved one on
changed, into the user that now has that number, and the last ones removed.
A file whose size is no multiple of 273 is said to be so; its bytes after the last
whole record are not compared. Control characters in texts are written as
.BI \ex NN
in the text form. Exit 0 when every byte of the whole records is equal, 1 when any
differs, 2 on an error.
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
1 is only ever a negative answer:
.B resume
gives it when the conference holds no such message,
.B diff
when the files differ.
.B demo
over existing files gives 2 and writes nothing.
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
    made=$(generate)
    if ! diff -u "$page" <(printf '%s\n' "$made"); then
      echo "packaging/zorvtool.1 is out of date: bash scripts/manpage.sh $tool --write" >&2
      exit 1
    fi ;;
  *) echo "usage: manpage.sh TOOL [--check|--write]" >&2; exit 2 ;;
esac
