#!/usr/bin/python3
"""zorvtool export --format csv --for-spreadsheet read by LibreOffice Calc.

Usage: spreadsheet_test.py TOOL

Exports demo users with planted texts (Nordic letters, texts a spreadsheet
takes for formulas, commas and quotes) in the spreadsheet form, has
LibreOffice import it as UTF-8 CSV and save it as xlsx, then save that as
CSV again, and checks every cell: texts come back as the same texts (the
guarded ones with their "'", not evaluated), numbers as the same numbers.
Exits 77 (a skip) when LibreOffice (soffice) is not installed.
"""

import csv
import datetime
import io
import json
import os
import shutil
import subprocess
import sys
import tempfile

RECORD = 273
USERS = 30
SKIPPED = 77


def run(*args):
    p = subprocess.run(args, capture_output=True, timeout=300)
    if p.returncode != 0:
        sys.exit(f"{' '.join(args)}: exit {p.returncode}\n{p.stderr.decode(errors='replace')}")
    return p.stdout


def plant(data, user, offset, width, raw):
    data[user * RECORD + offset:user * RECORD + offset + width] = raw + b"\0" * (width - len(raw))


def cells_of(text):
    """CSV rows of (value, quoted) pairs: Calc quotes its text cells alone."""
    rows, row, i = [], [], 0
    while i < len(text):
        if text[i] == '"':
            value, i = "", i + 1
            while True:
                j = text.index('"', i)
                value += text[i:j]
                if text[j + 1:j + 2] == '"':
                    value, i = value + '"', j + 2
                    continue
                i = j + 1
                break
            row.append((value, True))
        else:
            j = min(k for k in (text.find(",", i), text.find("\n", i), len(text)) if k >= 0)
            row.append((text[i:j], False))
            i = j
        if i >= len(text) or text[i] == "\n":
            rows.append(row)
            row, i = [], i + 1
        else:
            i += 1  # the comma
    return rows


def late_by_one_second(want, got):
    try:
        delta = datetime.datetime.fromisoformat(want) - datetime.datetime.fromisoformat(got)
    except ValueError:
        return False
    return delta == datetime.timedelta(seconds=1)


def main():
    tool = sys.argv[1]
    soffice = shutil.which("soffice")
    if not soffice:
        print("LibreOffice (soffice, Debian package libreoffice-calc-nogui) is not installed: "
              "the spreadsheet form was not read by a spreadsheet program")
        sys.exit(SKIPPED)
    failures = []
    with tempfile.TemporaryDirectory() as tmp:
        run(tool, "demo", tmp, "--users", str(USERS), "--seed", "4")
        path = os.path.join(tmp, "zorvuser.dat")
        with open(path, "rb") as f:
            data = bytearray(f.read())
        plant(data, 0, 0, 30, b"=1+2")
        plant(data, 0, 46, 30, b"+47 22 33")
        plant(data, 0, 76, 30, b"-SUM(A1:A2)")
        plant(data, 0, 106, 18, b"@A1")
        plant(data, 1, 0, 30, b"\x92\x9d\x8f \x91\x9b\x86 \"Q\", X")  # ÆØÅ æøå "Q", X
        plant(data, 1, 46, 30, b"\tTAB")
        with open(path, "wb") as f:
            f.write(data)

        sheet = os.path.join(tmp, "users.csv")
        exported = run(tool, "export", path, "--format", "csv", "--for-spreadsheet")
        with open(sheet, "wb") as f:
            f.write(exported)
        # What the export says, as text: the expected cells.
        if not exported.startswith(b"\xef\xbb\xbf"):
            failures.append("no byte-order mark")
        rows = list(csv.reader(io.StringIO(exported.decode("utf-8-sig"), newline="")))
        # Number fields are those JSON gives as numbers.
        first = json.loads(run(tool, "export", path).split(b"\n")[0])
        numbers = {key for key, value in first.items() if isinstance(value, int)}

        # The profile lives in the temporary folder: no home is touched. The
        # import names the charset: the headless default ignores the mark.
        office = [soffice, f"-env:UserInstallation=file://{tmp}/profile", "--headless"]
        run(*office, '--infilter=CSV:44,34,76,1', "--convert-to", "xlsx", "--outdir", tmp, sheet)
        back = os.path.join(tmp, "back")
        run(*office, "--convert-to", "csv:Text - txt - csv (StarCalc):44,34,76,1", "--outdir",
            back, os.path.join(tmp, "users.xlsx"))
        with open(os.path.join(back, "users.csv"), encoding="utf-8", newline="") as f:
            cells = cells_of(f.read())

        if len(cells) != len(rows):
            failures.append(f"{len(cells)} rows came back for {len(rows)}")
        for r, (want, got) in enumerate(zip(rows, cells)):
            for key, w, (g, text) in zip(rows[0], want, got):
                if r > 0 and key in numbers:
                    ok = not text and int(g) == int(w)
                elif r > 0 and key.endswith("ISO") and w:
                    # Calc makes a date-time of it. Its xlsx keeps days to 15
                    # digits and shows the seconds cut, so one second less is
                    # Calc's rounding, not ours.
                    ok = g == w or (not text and late_by_one_second(w, g))
                else:
                    # A text of digits alone may become a number showing the same.
                    ok = g == w and (text or w.isdigit() or w == "")
                if not ok:
                    failures.append(f"row {r} {key}: {w!r} came back as {g!r}"
                                    f"{'' if text else ' (a number)'}")
        guarded = cells[1][1:5]
        if guarded != [("'=1+2", True), ("'+47 22 33", True), ("'-SUM(A1:A2)", True),
                       ("'@A1", True)]:
            failures.append(f"the guarded texts came back as {guarded}")
        if cells[2][1] != ("ÆØÅ æøå \"Q\", X", True):
            failures.append(f"the Nordic letters came back as {cells[2][1]!r}")

    for f in failures[:40]:
        print("FAIL:", f)
    if failures:
        sys.exit(1)
    print(f"LibreOffice read the spreadsheet form of {USERS} users: every text and number "
          "right, formula-like texts as text")


main()
