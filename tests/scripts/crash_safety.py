#!/usr/bin/env python3
"""Crash safety of a load under SIGKILL.

Starts `efload run` on a large F file for a key that already holds rows and
kills it with SIGKILL at many moments spread from its first transaction to its
commit; then the same during the derivation. After every kill a fresh
connection checks that the database is intact ("ok" from PRAGMA
integrity_check), that the key holds exactly its old rows or exactly its new
ones, and that every other key's rows are untouched.

Usage: crash_safety.py EFLOAD [--kills N]. Prints the figures and ends with
"crash-safety: N passed, M failed".
"""
import argparse
import hashlib
import os
import shutil
import signal
import sqlite3
import subprocess
import sys
import tempfile
import time

KEY = "202110"      # the key that is reloaded and killed
OTHER = "202109"    # a key that must never change


def f_line(yymm_seed, i):
    """One F record of 21 tab-separated fields (19 read), CP932 text."""
    fields = [
        "0123456789",                     # scode: facility code
        f"{yymm_seed}{i // 7:08d}",       # dscode: data identifier
        "20211001", "20210920",           # taiymd, nyuymd
        "1", f"{i % 7 + 1}", f"{i % 3}",  # dkbn, jno, kmno
        "611170508", f"{620000000 + i % 500}",  # tencode, rdcode
        "21", f"薬剤{i % 500}号　錠", f"{(i % 4) + 0.5}", "錠",
        "10", "", "", "1", "0", "", "", ""]
    return "\t".join(fields)


def write_f(path, seed, count):
    with open(path, "w", encoding="cp932", newline="") as out:
        for i in range(count):
            out.write(f_line(seed, i) + "\r\n")


def e_line(seed, i):
    # the same eight key columns as F record i, so every F row finds its E row
    fields = ["0123456789", f"{seed}{i // 7:08d}", "20211001", "20210920", "1", f"{i % 7 + 1}",
              "1", "611170508", "21", "内服薬", "10", "", "", "1", "3", "", "", "20211001",
              "", "", "", "", "", "", ""]
    return "\t".join(fields)


def write_e(path, seed, count):
    with open(path, "w", encoding="cp932", newline="") as out:
        for i in range(count):
            out.write(e_line(seed, i) + "\r\n")


def digest(db, table, key):
    """Hash of a key's rows in storage order, with a fresh connection."""
    con = sqlite3.connect(db)
    try:
        h = hashlib.sha256()
        n = 0
        for row in con.execute(f"select * from {table} where yymm = ? order by rowid", (key,)):
            h.update(repr(row).encode())
            n += 1
        return h.hexdigest(), n
    finally:
        con.close()


def integrity(db):
    con = sqlite3.connect(db)
    try:
        return con.execute("pragma integrity_check").fetchone()[0]
    finally:
        con.close()


def run(efload, db, args, check=True):
    res = subprocess.run([efload, "run", "--db", db] + args, stdout=subprocess.DEVNULL,
                         stderr=subprocess.DEVNULL)
    if check and res.returncode != 0:
        sys.exit(f"crash-safety: setup run {args} failed with {res.returncode}")


def timed_run(efload, db, args):
    start = time.monotonic()
    run(efload, db, args)
    return time.monotonic() - start


def kill_series(efload, base_db, work, args, kills, duration, checks, label):
    """Kills one run per moment in (0, duration) and checks each outcome."""
    results = {"kills": 0, "integrity_failures": 0, "mixed": 0, "other_changed": 0, "completed": 0}
    for k in range(kills):
        db = os.path.join(work, f"{label}-{k}.sqlite3")
        shutil.copyfile(base_db, db)
        # spread over the run, leaving its last tenth so the kills land inside it
        delay = duration * 0.9 * (k + 0.5) / kills
        proc = subprocess.Popen([efload, "run", "--db", db] + args,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        time.sleep(delay)
        if proc.poll() is None:
            proc.send_signal(signal.SIGKILL)
            results["kills"] += 1
        else:
            results["completed"] += 1
        proc.wait()
        if integrity(db) != "ok":
            results["integrity_failures"] += 1
        for table, key, allowed, must_equal in checks:
            got = digest(db, table, key)
            if must_equal and got != allowed[0]:
                results["other_changed"] += 1
            elif not must_equal and got not in allowed:
                results["mixed"] += 1
        os.remove(db)
    return results


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("efload")
    ap.add_argument("--kills", type=int, default=36)
    ap.add_argument("--rows", type=int, default=200_000)
    opts = ap.parse_args()
    efload = os.path.abspath(opts.efload)

    work = tempfile.mkdtemp(prefix="efi-crash-")
    try:
        f_old, f_new, f_other = (os.path.join(work, n) for n in ("old.txt", "new.txt", "other.txt"))
        e_key, y_list = os.path.join(work, "e.txt"), os.path.join(work, "y.csv")
        write_f(f_old, 1, 2_000)
        write_f(f_other, 2, 2_000)
        write_f(f_new, 3, opts.rows)
        write_e(e_key, 3, opts.rows)
        with open(y_list, "w", encoding="cp932", newline="") as out:
            for c in range(500):
                fields = [f'"{x}"' for x in ["1", "0", str(620000000 + c), "1", f"薬剤{c}号"] + [""] * 26 +
                          [f"62{c:010d}"] + [""] * 10]
                out.write(",".join(fields) + "\r\n")

        base = os.path.join(work, "base.sqlite3")
        if subprocess.run([efload, "init", "--db", base], stdout=subprocess.DEVNULL).returncode != 0:
            sys.exit("crash-safety: efload init failed")
        run(efload, base, ["--yymm", OTHER, "--fn", f_other])
        run(efload, base, ["--yymm", KEY, "--fn", f_old, "--y", y_list])

        old_f = digest(base, "Fn", KEY)
        other_f = digest(base, "Fn", OTHER)
        # The finished reload gives the "new" state and the time a run takes.
        done = os.path.join(work, "done.sqlite3")
        shutil.copyfile(base, done)
        load_seconds = timed_run(efload, done, ["--yymm", KEY, "--fn", f_new])
        new_f = digest(done, "Fn", KEY)
        if new_f[1] != opts.rows:
            sys.exit(f"crash-safety: the reload stored {new_f[1]} rows, expected {opts.rows}")

        load = kill_series(efload, base, work, ["--yymm", KEY, "--fn", f_new], opts.kills, load_seconds,
                           [("Fn", KEY, [old_f, new_f], False), ("Fn", OTHER, [other_f], True)], "load")

        # Derivation: a database holding the new F rows and their E rows; a run
        # with no source only rebuilds EFn for the key.
        run(efload, done, ["--yymm", KEY, "--en", e_key])
        old_ef = digest(done, "EFn", KEY)
        other_ef = digest(done, "EFn", OTHER)
        derived = os.path.join(work, "derived.sqlite3")
        shutil.copyfile(done, derived)
        # Change the E rows' kaisu underneath so that a new derivation differs.
        con = sqlite3.connect(derived)
        con.execute("update En set kaisu = '5' where yymm = ?", (KEY,))
        con.commit()
        con.close()
        derive_base = os.path.join(work, "derive-base.sqlite3")
        shutil.copyfile(derived, derive_base)
        derive_seconds = timed_run(efload, derived, ["--yymm", KEY])
        new_ef = digest(derived, "EFn", KEY)
        if new_ef == old_ef:
            sys.exit("crash-safety: the derivation did not change EFn; the check would prove nothing")
        derive = kill_series(efload, derive_base, work, ["--yymm", KEY], max(opts.kills // 2, 15),
                             derive_seconds, [("EFn", KEY, [old_ef, new_ef], False),
                                              ("EFn", OTHER, [other_ef], True)], "derive")
    finally:
        shutil.rmtree(work, ignore_errors=True)

    bad = 0
    for name, r, seconds in (("load", load, load_seconds), ("derivation", derive, derive_seconds)):
        print(f"crash-safety {name}: run takes {seconds:.2f} s; kills {r['kills']}, finished before the kill "
              f"{r['completed']}, integrity failures {r['integrity_failures']}, keys with mixed rows "
              f"{r['mixed']}, other keys changed {r['other_changed']}")
        bad += r["integrity_failures"] + r["mixed"] + r["other_changed"]
    enough = load["kills"] >= 30 and derive["kills"] >= 10
    if not enough:
        print("crash-safety: too few kills landed inside the runs")
    passed = (1 if bad == 0 and enough else 0)
    print(f"crash-safety: {passed} passed, {1 - passed} failed")
    return 0 if passed else 1


if __name__ == "__main__":
    sys.exit(main())
