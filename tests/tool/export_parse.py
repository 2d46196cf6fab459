#!/usr/bin/python3
"""zorvtool export read back by Python's own json and csv modules.

Usage: export_parse.py TOOL

Makes a demo user file, plants awkward stored texts (quotes, commas, CR and
LF, backslashes, control bytes, code page 865 letters and graphics, a text
filling its whole field) and checks that every line of the JSON lines and
every row of both CSV encodings says what `show --json` says for that user,
and that the texts are what Python's own cp865 codec makes of the bytes; the
keys after show's (ISO call times, the status name) are worked out here from
the bytes, and the spreadsheet form is the UTF-8 CSV behind a byte-order mark
with its formula-like texts guarded.
"""

import calendar
import csv
import io
import json
import os
import re
import struct
import subprocess
import sys
import tempfile

RECORD = 273
# Stored texts: (key, offset, width), as the record lays them out.
TEXTS = [("Name", 0, 30), ("address", 46, 30), ("postnr", 76, 30), ("Tlf", 106, 18),
         ("birth", 124, 18)]
USERS = 40
STATUS_NAMES = ["active", "getlost", "killed", "kill+boot"]
DERIVED = ["lastcallISO", "firstcallISO", "statusName"]

failures = []


def check(cond, what):
    if not cond:
        failures.append(what)


def run(tool, *args, expect=0):
    p = subprocess.run([*tool, *args], capture_output=True)
    if p.returncode != expect:
        sys.exit(f"zorvtool {' '.join(args)}: exit {p.returncode}, wanted {expect}\n"
                 f"{p.stderr.decode(errors='replace')}")
    return p


def plant(data, user, offset, width, raw):
    """Puts `raw` at the field, NUL-ended when it is shorter than the field."""
    assert len(raw) <= width
    field = raw + b"\0" * (width - len(raw))
    at = user * RECORD + offset
    data[at:at + width] = field


def stored_texts(data, user):
    rec = data[user * RECORD:(user + 1) * RECORD]
    return {key: rec[off:off + width].split(b"\0")[0].decode("cp865")
            for key, off, width in TEXTS}


def iso(packed):
    """A packed DOS date-time as export's ISO text, None when no valid date-time."""
    sec, mi, h = 2 * (packed & 0x1F), packed >> 5 & 0x3F, packed >> 11 & 0x1F
    d, mo, y = packed >> 16 & 0x1F, packed >> 21 & 0x0F, 1980 + (packed >> 25)
    if not (1 <= mo <= 12 and 1 <= d <= calendar.monthrange(y, mo)[1]) or h > 23 or mi > 59 \
            or sec > 59:
        return None
    return f"{y:04}-{mo:02}-{d:02}T{h:02}:{mi:02}:{sec:02}"


def derived(data, user):
    """export's keys after show's, from the record's bytes."""
    last, first = struct.unpack_from("<II", data, user * RECORD + 241)
    status = data[user * RECORD + 142]
    return {"lastcallISO": iso(last), "firstcallISO": iso(first),
            "statusName": STATUS_NAMES[status] if status < 4 else None}


def main():
    # The tool's path, after the program that runs it where one is needed
    # (wine for a Windows build).
    tool = sys.argv[1:]
    with tempfile.TemporaryDirectory() as tmp:
        run(tool, "demo", tmp, "--users", str(USERS), "--seed", "21")
        path = os.path.join(tmp, "zorvuser.dat")
        with open(path, "rb") as f:
            data = bytearray(f.read())
        pristine = os.path.join(tmp, "pristine.dat")
        with open(pristine, "wb") as f:
            f.write(data)

        plant(data, 0, 0, 30, b'KARI "K", NORDMANN')
        plant(data, 0, 46, 30, b'back\\slash "q" ,,')
        plant(data, 1, 46, 30, b"Line one\r\nLine two")
        plant(data, 1, 76, 30, b"A\nB\rC")
        plant(data, 2, 0, 30, b"\x92\x9d\x8f \x91\x9b\x86 \xe1")  # ÆØÅ æøå ß
        plant(data, 2, 106, 18, b"\xb0\xb1\xdb \xe0\x9e\xec")  # graphics, Greek: no cp1252
        plant(data, 3, 0, 30, b"\x01\x1b\x7f\t=1+2")
        plant(data, 4, 0, 30, b"X" * 28 + b",\"")  # no NUL: the whole field
        plant(data, 5, 124, 18, b"")
        struct.pack_into("<i", data, 5 * RECORD + 161, -5)  # logins
        plant(data, 6, 0, 30, b"=1+2")  # what a spreadsheet takes for formulas
        plant(data, 6, 46, 30, b"-x, y")
        plant(data, 6, 76, 30, b"@home")
        plant(data, 6, 106, 18, b"+47")
        plant(data, 6, 124, 18, b"\r\n")
        data[7 * RECORD + 142] = 9  # a status the board does not know
        # 29 February 2023 (no such day); 23:59:58 on 29 February 2024.
        struct.pack_into("<II", data, 7 * RECORD + 241, 43 << 25 | 2 << 21 | 29 << 16,
                         44 << 25 | 2 << 21 | 29 << 16 | 23 << 11 | 59 << 5 | 29)
        with open(path, "wb") as f:
            f.write(data)

        shows = [json.loads(run(tool, "show", path, str(u), "--json").stdout.decode("utf-8"))
                 for u in range(USERS)]
        keys = ["user"] + list(shows[0].keys()) + DERIVED
        expected = [dict({"user": u}, **shows[u], **derived(data, u)) for u in range(USERS)]
        check(expected[7]["statusName"] is None and expected[7]["lastcallISO"] is None and
              expected[7]["firstcallISO"] == "2024-02-29T23:59:58", "user 7's derived keys")
        check(any(e["lastcallISO"] for e in expected), "some users have called")
        for u in range(USERS):
            for key, text in stored_texts(data, u).items():
                check(shows[u][key] == text, f"show --json user {u} {key}: {shows[u][key]!r} != {text!r}")
        check(expected[5]["logins"] == -5, "negative numbers stay negative")
        check(len(expected[4]["Name"]) == 30, "a text filling its field is read whole")

        # JSON lines: one object a line, the keys in show's order after "user".
        out = run(tool, "export", path).stdout
        lines = out.decode("utf-8").split("\n")
        check(lines[-1] == "", "the last JSON line ends in LF")
        lines = lines[:-1]
        check(len(lines) == USERS, f"{len(lines)} JSON lines for {USERS} users")
        for u, line in enumerate(lines):
            obj = json.loads(line)
            check(list(obj.keys()) == keys, f"jsonl user {u}: keys {list(obj.keys())}")
            check(obj == expected[u], f"jsonl user {u}: {obj} != {expected[u]}")

        # CSV, UTF-8: header row, then each user; every value as show's text.
        def csv_rows(raw, encoding):
            text = raw.decode(encoding)
            check(text.endswith("\r\n"), f"{encoding} CSV ends in CR LF")
            return list(csv.reader(io.StringIO(text, newline="")))

        def as_text(value):
            return "" if value is None else value if isinstance(value, str) else str(value)

        rows = csv_rows(run(tool, "export", path, "--format", "csv").stdout, "utf-8")
        check(rows[0] == keys, f"CSV header {rows[0]}")
        check(len(rows) == USERS + 1, f"{len(rows)} CSV rows for {USERS} users")
        for u, row in enumerate(rows[1:]):
            want = [as_text(expected[u][k]) for k in keys]
            check(row == want, f"CSV user {u}: {row} != {want}")

        # The spreadsheet form: the same after a byte-order mark, a text that
        # begins as a formula does behind a "'".
        raw = run(tool, "export", path, "--format", "csv", "--for-spreadsheet").stdout
        check(raw.startswith(b"\xef\xbb\xbf"), "the spreadsheet form begins with a BOM")
        sheet = csv_rows(raw, "utf-8-sig")
        texts = {k for k, v in expected[0].items() if isinstance(v, str)} | set(DERIVED)
        for u, row in enumerate(sheet[1:]):
            want = []
            for k in keys:
                text = as_text(expected[u][k])
                guard = k in texts and text[:1] in ("=", "+", "-", "@", "\t", "\r")
                want.append("'" + text if guard else text)
            check(row == want, f"spreadsheet CSV user {u}: {row} != {want}")
        check(sheet[7][1:6] == ["'=1+2", "'-x, y", "'@home", "'+47", "'\r\n"], f"{sheet[7]}")
        check(sheet[6][keys.index("logins")] == "-5", "numbers are never guarded")

        # CSV, cp1252: what cp1252 lacks is "?", counted on stderr.
        p = run(tool, "export", path, "--format", "csv", "--encoding", "cp1252")
        rows = csv_rows(p.stdout, "cp1252")
        lacking = 0
        for u, row in enumerate(rows[1:]):
            want = []
            for k in keys:
                text = as_text(expected[u][k])
                narrow = text.encode("cp1252", errors="replace").decode("cp1252")
                lacking += sum(1 for a, b in zip(text, narrow) if a != b)
                want.append(narrow)
            check(row == want, f"cp1252 CSV user {u}: {row} != {want}")
        check(rows[3][keys.index("Name")] == "ÆØÅ æøå ß", "Nordic letters in cp1252")
        m = re.search(rb"(\d+) characters that cp1252 lacks were written as '\?' \(the first: "
                      rb"user 2, Tlf, U\+2591\)", p.stderr)
        check(m is not None and int(m.group(1)) == lacking,
              f"stderr names {lacking} lacking characters: {p.stderr!r}")

        # diff --json: one object a user, the changed keys with show's values.
        before = [json.loads(run(tool, "show", pristine, str(u), "--json").stdout) for u in
                  range(USERS)]
        p = run(tool, "diff", pristine, path, "--json", expect=1)
        lines = p.stdout.decode("utf-8").splitlines()
        changed = set()
        for line in lines:
            obj = json.loads(line)
            u = obj["user"]
            changed.add(u)
            check(obj["diff"] == "changed", f"diff user {u}: {obj['diff']}")
            want = {k: [before[u][k], shows[u][k]] for k in shows[u] if before[u][k] != shows[u][k]}
            check(obj["fields"] == want, f"diff user {u}: {obj['fields']} != {want}")
            for run_ in obj["bytes"]:
                at = u * RECORD + run_["at"]
                old_bytes, new_bytes = bytes.fromhex(run_["old"]), bytes.fromhex(run_["new"])
                check(data[at:at + len(new_bytes)] == new_bytes, f"diff user {u} bytes {run_}")
        check(changed == set(range(8)), f"diff lists users {sorted(changed)}")

        # Refused command lines write nothing.
        for args in (["--encoding", "cp1252"], ["--format", "xml"], ["--encoding", "latin1"]):
            p = run(tool, "export", path, *args, expect=2)
            check(p.stdout == b"", f"export {args} writes nothing")
        p = run(tool, "export", os.path.join(tmp, "missing.dat"), expect=2)
        check(b"missing.dat" in p.stderr, f"a missing file is named: {p.stderr!r}")

    for f in failures:
        print("FAIL:", f)
    if failures:
        sys.exit(1)
    print(f"export parsed back: {USERS} users, jsonl and CSV in UTF-8 and cp1252")


main()
