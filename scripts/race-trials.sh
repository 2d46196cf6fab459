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
#   One trial by hand, with the save's messages and the board's shortening or
#   rename times on stderr:
#   RACE_VERBOSE=1 build/default/tests/race_trial USERFILE WORKINGCOPY EVERY LOCKING SEED
#
# The accounting. Every question the save asks is answered "Keep the board's"
# where that button is offered, else "Cancel" (the whole-file overwrite is never
# taken). So whatever the board wrote last to a user must be in the file at the
# end, whenever it wrote it; and a user the board never wrote holds the
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
# Goal: 0 of every kind with the locking board; with the lock-free board at
# most 1 lost per 10,000 board writes to changed users during the saves, and
# no "Saved" into a replaced file. The last line, for the locking board:
#   race trials: N saves, L lost       (L: every kind together)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${ZORV_BUILD:-build/default}
trials=${1:-300}
records=${RECORDS:-2000}
every=${EVERY:-4}
tool="$PWD/$build/tests/race_trial"
[ -x "$tool" ] || { echo "race-trials: build $tool first" >&2; exit 2; }
[[ "$trials" =~ ^[1-9][0-9]*$ ]] || { echo "race-trials: TRIALS must be a positive number" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
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
      printf "%d %d\n", n, lost + zero + regrown + wrong > "/dev/stderr"
    }' "$1"
}

run 0
run 1
summary "$work/0.log" lock-free 2>/dev/null
summary "$work/1.log" locking 2>"$work/total"
read -r n total <"$work/total"
echo "race trials: $n saves, $total lost"
