#!/usr/bin/env bash
# Real saves against a board process that keeps writing the user file while
# they run (tests/trials/race_trial.cpp): it writes changed and unchanged users,
# appends users, and in some trials shortens the file (a purge of the last few
# users) or renames a fresh copy over it, at random moments. Each trial runs
# once against a board that takes fcntl record locks (its record's 273 bytes
# for a write or append, the whole file for a shortening or rename) and once
# against a board that takes none.
#
#   scripts/race-trials.sh [TRIALS]   (default 300 per board; build/default must be built)
#   RECORDS=2000 EVERY=4 ZORV_BUILD=build/default scripts/race-trials.sh 50
#   WRITER_TRIALS=100 USERS=20000 scripts/race-trials.sh   (the writers' trials below;
#   ZORVTOOL=PATH runs another zorvtool binary in them)
#   One trial by hand, with the save's messages and the board's shortening or
#   rename times on stderr:
#   RACE_VERBOSE=1 build/default/tests/race_trial USERFILE WORKINGCOPY EVERY LOCKING SEED
#   RACE_VERBOSE=1 build/default/tests/writers_trial KIND ZORVTOOL DIR USERS SEED KILL_MS
#
# The accounting. Every question the save asks is answered "Keep the board's"
# where that button is offered, else "Cancel" (the whole-file overwrite is never
# taken). So whatever the board wrote last to a user must be in the file at the
# end, whenever it wrote it (in a user both changed, but for the fields the
# operator changed and the board did not: the save merges field by field);
# and a user the board never wrote holds the
# operator's change after a save reported "Saved" (or "Partial"), else its
# loaded bytes. The board's writes carry their own number, so the file's bytes
# say whose they are. Counted:
#   lost          a user whose last board write is not in the file: the save
#                 wrote over it. Split by the save's step timestamps: "before the
#                 re-read" (the write had completed before the save began to read
#                 the record again, or the save never read it again: always a
#                 fault) and "in the window" (it completed during that read or
#                 between it and the save's own write: what a lock-free board can
#                 still slip into). The save's hook stamps each record's check
#                 after the read; the read began after the save's previous step.
#   zero/regrown  all-zero users, and users past the end the board left (a save
#                 that wrote past a shortening grows the file back).
#   saved wrong   saves reported "Saved" or "Partial" whose changes are not in the
#                 file at the path: written into a replaced file (the rename had
#                 completed before the save's last record write), or missing from
#                 users the board never touched. A board copy read before the save's last
#                 write and renamed in after its flush is the board's own doing
#                 and not counted.
#   half-applied  saves not reported "Saved" (or "Partial") whose changes are in
#                 the file all the same (a board copy renamed in after the save's
#                 first write may hold them, and is not counted).
# Goal: 0 of every kind with the locking board; with the lock-free board at
# most 1 lost per 10,000 board writes to changed users during the saves, and
# no "Saved" into a replaced file.
#
# Then the writers' trials (tests/trials/writers_trial.cpp): real zorvtool runs
# (status, set) and the editor's save, started in the board's folder, in
# another folder by a relative path or by the absolute path, killed (-9) at
# random moments in half the trials; what was killed is recovered as the
# editor's start does, from yet another folder. The board rewrites users
# under classic locks; its purges take none. Kinds, WRITER_TRIALS each
# (CUT_TRIALS, RENUMBER_TRIALS, WRITERS_TRIALS, RELATIVE_TRIALS override):
#   cut       one run while a purge cuts the file to half at a random moment
#   renumber  one status run while a purge renames a renumbered copy over it
#   writers   a status run, a second tool run (status or set) and the editor's
#             save at once
#   relative  one tool run from another folder by a relative path, always killed
# Counted:
#   zero/regrown  all-zero users, and users past the end the purge left
#   half-applied  a run killed with some of its users changed and some not, a
#                 run that exited 0 (or 3, less the users it named) without all
#                 of them, or one that failed (exit 2) with any of them changed;
#                 users the board rewrote since are not counted. Not for
#                 renumber: the copy renamed in holds the file as it was before the
#                 runs, whatever they wrote into the old one
#   wrong user    users holding a run's change though status listed another name
#                 at their place (or none), or set and the editor never meant them,
#                 found by their names
# Goal: 0 of every kind. The last two lines:
#   race trials: N saves, L lost       (the locking board; L: every kind together)
#   writer trials: N runs, F faults (Z all-zero/regrown users, H half-applied runs, W wrong users)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${ZORV_BUILD:-build/default}
trials=${1:-300}
records=${RECORDS:-2000}
every=${EVERY:-4}
writer_trials=${WRITER_TRIALS:-100}
users=${USERS:-20000}
tool="$PWD/$build/tests/race_trial"
writers="$PWD/$build/tests/writers_trial"
zorvtool=${ZORVTOOL:-$PWD/$build/tools/zorvtool}
for t in "$tool" "$writers" "$zorvtool"; do
  [ -x "$t" ] || { echo "race-trials: build $t first" >&2; exit 2; }
done
for n in "$trials" "$writer_trials" "$users" ${CUT_TRIALS:-1} ${RENUMBER_TRIALS:-1} \
  ${WRITERS_TRIALS:-1} ${RELATIVE_TRIALS:-1}; do
  [[ "$n" =~ ^[0-9]+$ ]] || { echo "race-trials: trial counts must be numbers" >&2; exit 2; }
done
[[ "$trials" =~ ^[1-9][0-9]*$ ]] || { echo "race-trials: TRIALS must be a positive number" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Neither the runs' settings nor their state touch the caller's.
export XDG_CONFIG_HOME="$work/config" XDG_STATE_HOME="$work/state"
# Random users: none all-zero, none looking like a board write.
head -c $((273 * records)) /dev/urandom >"$work/base.dat"

run() { # $1: 1 locking, 0 lock-free; prints the trials' lines to $work/$1.log
  : >"$work/$1.log"
  for ((i = 1; i <= trials; i++)); do
    d="$work/t"
    rm -rf "$d"
    mkdir "$d"
    cp "$work/base.dat" "$d/zorvuser.dat"
    "$tool" "$d/zorvuser.dat" "$d/zorvedit.dat" "$every" "$1" "$((RANDOM * 32768 + RANDOM))" \
      >>"$work/$1.log"
  done
  rm -rf "$work/t"
}

summary() { # $1: log, $2: the board's name
  awk -v board="$2" '
    {
      for (i = 1; i <= NF; i++) { split($i, kv, "="); v[kv[1]] = kv[2] }
      n++; out[v["outcome"]]++
      before += v["lost_before"]; window += v["lost_window"]; damaged += v["damaged"]
      zero += v["zero"]; regrown += v["regrown"]
      if (v["saved_missing"] > 0 || v["saved_replaced"] > 0) wrong++
      if (v["half"] > 0) half++
      halfusers += v["half"]
      replaced += v["saved_replaced"]; missing += v["saved_missing"]
      cw += v["changed_writes"]; bw += v["board_writes"]; q += v["questions"]
      ms += v["save_ms"]; shortened += v["shortened"]; renamed += v["renamed"]
    }
    END {
      lost = before + window + damaged
      printf "race trials, %s board: %d saves (%d Saved, %d Partial, %d Cancelled, %d Failed), %.0f ms a save\n",
        board, n, out["Saved"], out["Partial"], out["Cancelled"], out["Failed"], ms / (n ? n : 1)
      printf "  board: %d writes, %d of them to changed users during a save; %d shortenings, %d renames; %d questions asked\n",
        bw, cw, shortened, renamed, q
      printf "  board writes lost:      %d (before the re-read %d, in the window %d, users gone %d): %.2f per 10,000 writes to changed users\n",
        lost, before, window, damaged, cw ? lost * 10000 / cw : 0
      printf "  all-zero/regrown users: %d (%d all-zero, %d regrown)\n", zero + regrown, zero, regrown
      printf "  \"Saved\" without its changes at the path: %d saves (%d into a replaced file, %d users missing)\n",
        wrong, replaced, missing
      printf "  half-applied saves:     %d (%d users changed by saves not reported saved)\n", half, halfusers
      printf "%d %d\n", n, lost + zero + regrown + wrong + half > "/dev/stderr"
    }' "$1"
}

# The writers' trials of one kind: $1 kind, $2 trials; lines to $work/w-$1.log.
writer_run() {
  : >"$work/w-$1.log"
  for ((i = 1; i <= $2; i++)); do
    rm -rf "$work/w"
    "$writers" "$1" "$zorvtool" "$work/w" "$users" "$((RANDOM * 32768 + RANDOM))" "$kill_ms" \
      >>"$work/w-$1.log"
  done
  rm -rf "$work/w"
}

writer_summary() { # $1 kind, $2 what it is
  awk -v kind="$1" -v what="$2" '
    {
      for (i = 1; i <= NF; i++) { split($i, kv, "="); v[kv[1]] = kv[2] }
      n++; runs += v["runs"]; killed += v["killed"]; purged += v["purged"]
      e0 += v["exit0"]; e2 += v["exit2"]; e3 += v["exit3"]; bw += v["board_writes"]
      zero += v["zero"]; regrown += v["regrown"]; half += v["half"]; wrong += v["wrong"]
      halfrel += v["half_relative"]
      if (v["wrong"] > 0) wrongtrials++
    }
    END {
      printf "writer trials, %s: %d trials, %d runs (%d killed; exit 0 %d, 2 %d, 3 %d)\n",
        what, n, runs, killed, e0, e2, e3
      printf "  board: %d writes; %d purges\n", bw, purged
      printf "  all-zero/regrown users: %d (%d all-zero, %d regrown)\n", zero + regrown, zero, regrown
      if (kind == "renumber")
        printf "  half-applied runs:      not counted (the copy renamed in holds the file from before the runs)\n"
      else
        printf "  half-applied runs:      %d (%d of them started by a relative path)\n", half, halfrel
      printf "  wrong user:             %d users (in %d trials)\n", wrong, wrongtrials
      printf "%d %d %d %d\n", runs, zero + regrown, kind == "renumber" ? 0 : half, wrong > "/dev/stderr"
    }' "$work/w-$1.log"
}

run 0
run 1
summary "$work/0.log" lock-free 2>/dev/null
summary "$work/1.log" locking 2>"$work/total"
read -r n total <"$work/total"

# How long the runs take left alone (KILL_MS 0), for the moments of the kills
# and purges: a status run alone, and the three runs at once.
timed() { # $1 kind: the longest run of two trials, and a fifth more
  for ((i = 1; i <= 2; i++)); do
    rm -rf "$work/w"
    "$writers" "$1" "$zorvtool" "$work/w" "$users" "$((RANDOM * 32768 + RANDOM))" 0
  done | grep -o '_ms=[0-9]*' | cut -d= -f2 | sort -n | tail -1 | awk '{ print int($1 * 1.2) + 10 }'
}
alone_ms=$(timed renumber)
together_ms=$(timed writers)
echo "writer trials: $users users a file; runs killed within $alone_ms ms of their start ($together_ms ms for the three at once)"
wn=0 wzero=0 whalf=0 wwrong=0
for kind in cut renumber writers relative; do
  kill_ms=$alone_ms
  [ "$kind" = writers ] && kill_ms=$together_ms
  case $kind in
    cut) count=${CUT_TRIALS:-$writer_trials}; what="lock-free purge cutting half the file" ;;
    renumber) count=${RENUMBER_TRIALS:-$writer_trials}; what="renumbered file renamed in during status" ;;
    writers) count=${WRITERS_TRIALS:-$writer_trials}; what="two tool writers and the editor's save at once" ;;
    relative) count=${RELATIVE_TRIALS:-$writer_trials}; what="killed runs from another folder by a relative path" ;;
  esac
  [ "$count" -gt 0 ] || continue
  writer_run "$kind" "$count"
  writer_summary "$kind" "$what" 2>"$work/wtotal"
  read -r a b c d <"$work/wtotal"
  wn=$((wn + a)) wzero=$((wzero + b)) whalf=$((whalf + c)) wwrong=$((wwrong + d))
done
echo "race trials: $n saves, $total lost"
echo "writer trials: $wn runs, $((wzero + whalf + wwrong)) faults ($wzero all-zero/regrown users, $whalf half-applied runs, $wwrong wrong users)"
