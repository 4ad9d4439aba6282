#!/usr/bin/env python3
"""efload interrupted by SIGINT (Ctrl+C) and SIGTERM (a scheduler's stop).

Starts `efload run` on a large F file, then on a large drug list workbook,
for keys that already hold rows, and sends a signal at moments spread over
the load. After each: efload exits with 128 + the signal's number and says
which step it interrupted (or, when the load finished first, exits 0); the
database is intact ("ok" from PRAGMA integrity_check); the key holds exactly
its old rows or exactly its new ones, never a mix; another key is untouched;
and no temporary CSV vornexport-*.csv is left beside efload.

Usage: interrupt.py EFLOAD [--moments N]. Prints the figures and ends with
"interrupt: N passed, M failed". POSIX only: it sends POSIX signals.
"""
import argparse
import glob
import os
import shutil
import signal
import sqlite3
import subprocess
import sys
import tempfile
import time
import zipfile

KEY, OTHER = "202110", "202109"
LIST_DATE = "20211101"


def f_lines(seed, count):
    """`count` F records of 21 tab-separated fields, CP932, CR LF."""
    lines = []
    for i in range(count):
        fields = ["0123456789", f"{seed}{i // 7:08d}", "20211001", "20210920", "1", f"{i % 7 + 1}",
                  f"{i % 3}", "611170508", f"{620000000 + i % 500}", "21", f"薬剤{i % 500}号　錠",
                  f"{i % 4 + 0.5}", "錠", "10", "", "", "1", "0", "", "", ""]
        lines.append("\t".join(fields))
    return ("\r\n".join(lines) + "\r\n").encode("cp932")


def workbook(path, seed, rows):
    """A drug list workbook: four heading rows, then `rows` rows of eight
    inline-string cells, in the parts the built-in reader needs."""
    ns = 'xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main"'
    rel_ns = 'xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships"'

    def row(n, cells):
        return f'<row r="{n}">' + "".join(f'<c t="inlineStr"><is><t>{c}</t></is></c>' for c in cells) + "</row>"

    body = [row(n, [f"heading {n}"]) for n in range(1, 5)]
    body += [row(n + 5, [f"{seed}{n:08d}", "成分", "品名", str(n % 3 + 1), "", "", "", str(n % 2)])
             for n in range(rows)]
    parts = {
        "[Content_Types].xml": '<?xml version="1.0"?><Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types"/>',
        "_rels/.rels": '<?xml version="1.0"?><Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships"/>',
        "xl/workbook.xml": f'<?xml version="1.0"?><workbook {ns} {rel_ns}><sheets>'
                           '<sheet name="list" sheetId="1" r:id="rId1"/></sheets></workbook>',
        "xl/_rels/workbook.xml.rels":
            '<?xml version="1.0"?><Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
            '<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet" '
            'Target="worksheets/sheet1.xml"/></Relationships>',
        "xl/worksheets/sheet1.xml": f'<?xml version="1.0"?><worksheet {ns}><sheetData>' + "".join(body) +
                                    "</sheetData></worksheet>",
    }
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as z:
        for name, text in parts.items():
            z.writestr(name, text.encode("utf-8"))


def fingerprint(db, sql, args):
    con = sqlite3.connect(db)
    try:
        return sorted(con.execute(sql, args).fetchall())
    finally:
        con.close()


def integrity(db):
    con = sqlite3.connect(db)
    try:
        return con.execute("PRAGMA integrity_check").fetchone()[0]
    finally:
        con.close()


class Case:
    """One kind of load: the argument that names its file, and the rows of its key."""

    def __init__(self, name, option, old, new, key_sql, key_args):
        self.name, self.option, self.old, self.new = name, option, old, new
        self.key_sql, self.key_args = key_sql, key_args


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("efload")
    ap.add_argument("--moments", type=int, default=6)
    opts = ap.parse_args()
    efload = os.path.abspath(opts.efload)
    folder = os.path.dirname(efload)
    work = tempfile.mkdtemp(prefix="efi-interrupt-")
    failures = 0
    checks = 0
    try:
        db = os.path.join(work, "vorn.sqlite3")
        subprocess.run([efload, "init", "--db", db], check=True, stdout=subprocess.DEVNULL)
        for name, data in (("f_old.txt", f_lines(1, 5)), ("f_new.txt", f_lines(2, 300_000)),
                           ("f_other.txt", f_lines(3, 7))):
            with open(os.path.join(work, name), "wb") as f:
                f.write(data)
        workbook(os.path.join(work, f"tp{LIST_DATE}-old.xlsx"), 7, 5)
        workbook(os.path.join(work, f"tp{LIST_DATE}-new.xlsx"), 8, 150_000)

        def load(*args):
            subprocess.run([efload, "run", "--db", db, *args], check=True,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

        load("--yymm", OTHER, "--fn", os.path.join(work, "f_other.txt"))
        other_before = fingerprint(db, "select * from Fn where yymm = ?", (OTHER,))
        cases = [
            Case("F load", "--fn", os.path.join(work, "f_old.txt"), os.path.join(work, "f_new.txt"),
                 "select * from Fn where yymm = ?", (KEY,)),
            Case("ETC load", "--etc", os.path.join(work, f"tp{LIST_DATE}-old.xlsx"),
                 os.path.join(work, f"tp{LIST_DATE}-new.xlsx"), "select * from kyak where ymd = ?",
                 (LIST_DATE,)),
        ]
        for case in cases:
            load("--yymm", KEY, case.option, case.new)
            new_rows = fingerprint(db, case.key_sql, case.key_args)
            load("--yymm", KEY, case.option, case.old)
            old_rows = fingerprint(db, case.key_sql, case.key_args)
            start = time.monotonic()
            load("--yymm", KEY, case.option, case.new)
            full = time.monotonic() - start
            load("--yymm", KEY, case.option, case.old)
            counts = {"interrupted": 0, "finished first": 0}
            for sig in (signal.SIGINT, signal.SIGTERM):
                for k in range(opts.moments):
                    delay = full * (k + 0.5) / opts.moments
                    proc = subprocess.Popen([efload, "run", "--db", db, "--yymm", KEY, case.option, case.new],
                                            stdout=subprocess.PIPE, stderr=subprocess.PIPE)
                    time.sleep(delay)
                    proc.send_signal(sig)
                    out, err = proc.communicate()
                    rows = fingerprint(db, case.key_sql, case.key_args)
                    what = f"{case.name}, {signal.Signals(sig).name} after {delay:.2f} s"
                    problems = []
                    if proc.returncode == 128 + sig:
                        counts["interrupted"] += 1
                        if b"interrupted during the step" not in err:
                            problems.append(f"no word of the interruption: {err!r}")
                        # The load itself rolled back; or it had committed and
                        # the derivation after it was the step interrupted.
                        in_derivation = b"rows of EFn, EFg" in err
                        if rows != (new_rows if in_derivation else old_rows):
                            problems.append("the key's rows are a mix, or not those the message says")
                    elif proc.returncode == 0:
                        counts["finished first"] += 1
                        if rows != new_rows:
                            problems.append("finished, but the key's rows are not the new ones")
                    else:
                        problems.append(f"exit status {proc.returncode}: {err!r}")
                    if integrity(db) != "ok":
                        problems.append("integrity check failed")
                    if fingerprint(db, "select * from Fn where yymm = ?", (OTHER,)) != other_before:
                        problems.append("another key changed")
                    left = glob.glob(os.path.join(folder, "vornexport-*.csv"))
                    own = [p for p in left if p.endswith(f"-{proc.pid}.csv")]
                    if own:
                        problems.append(f"temporary file left: {own}")
                    checks += 1
                    if problems:
                        failures += 1
                        print(f"FAIL {what}: " + "; ".join(problems))
                    # back to the old rows for the next moment
                    load("--yymm", KEY, case.option, case.old)
            print(f"interrupt {case.name}: load takes {full:.2f} s; signals {checks}, "
                  f"interrupted {counts['interrupted']}, finished first {counts['finished first']}")
            if counts["interrupted"] == 0:
                failures += 1
                print(f"FAIL {case.name}: no signal landed inside the load")
            checks = 0
    finally:
        shutil.rmtree(work, ignore_errors=True)
    print(f"interrupt: {1 if failures == 0 else 0} passed, {0 if failures == 0 else 1} failed")
    return 0 if failures == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
