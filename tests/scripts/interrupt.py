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

# The kill test's input files: its F records and its ministry-shaped drug list
# workbooks (python3-openpyxl), and its integrity check.
from crash_safety import integrity, write_f, write_list

KEY, OTHER = "202110", "202109"
LIST_DATE = "20211101"


def fingerprint(db, sql, args):
    con = sqlite3.connect(db)
    try:
        return sorted(con.execute(sql, args).fetchall())
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
        for name, seed, count in (("f_old.txt", 1, 5), ("f_new.txt", 2, 300_000), ("f_other.txt", 3, 7)):
            write_f(os.path.join(work, name), seed, count)
        write_list(os.path.join(work, f"tp{LIST_DATE}-old.xlsx"), 7, 5)
        write_list(os.path.join(work, f"tp{LIST_DATE}-new.xlsx"), 8, 150_000)

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
