#!/usr/bin/env python3
"""Crash safety of loads under SIGKILL.

Kills `efload run` with SIGKILL at many moments spread from its first
transaction to its end, in four series:
  load        a large F file reloaded for a key that already holds rows;
  derivation  a run without sources, which only rebuilds EFn for the key;
  drug list   a large drug list workbook (ETC: converted to a temporary CSV,
              then loaded) reloaded for a list date that already holds rows;
  all six     E and F inpatient and outpatient, the drug list and the Y list
              together, then the derivation, for keys that all hold rows.
After every kill a fresh connection checks that the database is intact ("ok"
from PRAGMA integrity_check), that each key that was being loaded holds
exactly its old rows or exactly its new ones (the steps of one run commit
one by one, so each table's key is checked on its own), and that every other
key's rows are untouched.

The drug list's temporary CSV, vornexport-<pid>.csv in efload's folder, is
left behind by a killed efload. After each series that loads a drug list one
more complete run follows, as the operator's next import would: it must
remove them, so any file of a killed run still there counts as "temporary
files left" (and fails the check), and is removed here so the build folder
stays clean.

Usage: crash_safety.py EFLOAD [--kills N] [--rows N]. Needs python3-openpyxl
(for the workbooks). Prints the figures and ends with
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

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "data", "workbooks"))
from make_sample_etc import HEADER, generated_rows, write_drug_list  # noqa: E402

KEY = "202110"        # the key that is reloaded and killed
OTHER = "202109"      # a key that must never change
LIST_DATE = "20211101"    # the drug list date that is reloaded
OTHER_DATE = "20211001"   # a list date that must never change


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


def write_y(path, count, name_seed=""):
    """A Y list whose codes are the F records' rdcodes (620000000 + c)."""
    with open(path, "w", encoding="cp932", newline="") as out:
        for c in range(count):
            fields = [f'"{x}"' for x in ["1", "0", str(620000000 + c), "1", f"薬剤{c}号{name_seed}"] +
                      [""] * 26 + [f"62{c:010d}"] + [""] * 10]
            out.write(",".join(fields) + "\r\n")


def write_list(path, seed, count):
    write_drug_list(path, HEADER, generated_rows(count, seed), write_only=True)


def digest(db, table, column, key):
    """Hash of a key's rows in storage order, with a fresh connection."""
    con = sqlite3.connect(db)
    try:
        h = hashlib.sha256()
        n = 0
        for row in con.execute(f"select * from {table} where {column} = ? order by rowid", (key,)):
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


def timed_run(efload, base_db, done_db, args, runs=3):
    """Runs `args` on copies of `base_db`, the last one left as `done_db`,
    and returns the shortest time a run took. The machine may be shared: a
    kill series spread over a run slowed down by others would see later runs
    finish before their kills."""
    seconds = []
    for _ in range(runs):
        shutil.copyfile(base_db, done_db)
        start = time.monotonic()
        run(efload, done_db, args)
        seconds.append(time.monotonic() - start)
    return min(seconds)


class Check:
    """One key of one table: its digest must be one of `allowed`."""

    def __init__(self, table, column, key, allowed, may_change):
        self.table, self.column, self.key = table, column, key
        self.allowed = allowed          # the old digest, and the new one if the key is reloaded
        self.may_change = may_change    # False: a key that no run touches

    def holds(self, db):
        return digest(db, self.table, self.column, self.key) in self.allowed


def reloaded(table, column, key, old_db, new_db):
    old, new = digest(old_db, table, column, key), digest(new_db, table, column, key)
    if old == new:
        sys.exit(f"crash-safety: {table} {key} is the same before and after the run; the check would prove nothing")
    return Check(table, column, key, [old, new], True)


def untouched(table, column, key, db):
    return Check(table, column, key, [digest(db, table, column, key)], False)


def temporary_csv(efload, pid):
    return os.path.join(os.path.dirname(efload), f"vornexport-{pid}.csv")


def kill_series(efload, base_db, work, args, kills, duration, checks, label):
    """Kills one run per moment in (0, duration) and checks each outcome."""
    results = {"kills": 0, "integrity_failures": 0, "mixed": 0, "other_changed": 0, "completed": 0,
               "killed_pids": []}
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
            results["killed_pids"].append(proc.pid)
        else:
            results["completed"] += 1
        proc.wait()
        if integrity(db) != "ok":
            results["integrity_failures"] += 1
        for check in checks:
            if not check.holds(db):
                results["mixed" if check.may_change else "other_changed"] += 1
        os.remove(db)
    return results


def temporary_files_left(efload, work, base_db, next_args, results):
    """After the series, one complete run as the next import; then the
    temporary CSVs of killed runs still there, counted and removed."""
    db = os.path.join(work, "next.sqlite3")
    shutil.copyfile(base_db, db)
    run(efload, db, next_args)
    os.remove(db)
    left = [p for p in (temporary_csv(efload, pid) for pid in results["killed_pids"]) if os.path.exists(p)]
    for path in left:
        os.remove(path)
    results["temporary_files_left"] = len(left)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("efload")
    ap.add_argument("--kills", type=int, default=36)
    ap.add_argument("--rows", type=int, default=200_000)
    opts = ap.parse_args()
    efload = os.path.abspath(opts.efload)
    series = []  # (name, results, seconds, enough kills)

    work = tempfile.mkdtemp(prefix="efi-crash-")
    try:
        def file(name):
            return os.path.join(work, name)

        f_old, f_new, f_other = file("old.txt"), file("new.txt"), file("other.txt")
        e_key, y_list = file("e.txt"), file("y.csv")
        write_f(f_old, 1, 2_000)
        write_f(f_other, 2, 2_000)
        write_f(f_new, 3, opts.rows)
        write_e(e_key, 3, opts.rows)
        write_y(y_list, 500)

        base = file("base.sqlite3")
        if subprocess.run([efload, "init", "--db", base], stdout=subprocess.DEVNULL).returncode != 0:
            sys.exit("crash-safety: efload init failed")
        run(efload, base, ["--yymm", OTHER, "--fn", f_other])
        run(efload, base, ["--yymm", KEY, "--fn", f_old, "--y", y_list])

        # 1. Load: the finished reload gives the "new" state and the time a run takes.
        done = file("done.sqlite3")
        load_args = ["--yymm", KEY, "--fn", f_new]
        load_seconds = timed_run(efload, base, done, load_args)
        if digest(done, "Fn", "yymm", KEY)[1] != opts.rows:
            sys.exit(f"crash-safety: the reload did not store {opts.rows} rows")
        load = kill_series(efload, base, work, load_args, opts.kills, load_seconds,
                           [reloaded("Fn", "yymm", KEY, base, done), untouched("Fn", "yymm", OTHER, base)],
                           "load")
        series.append(("load", load, load_seconds, load["kills"] >= 30))

        # 2. Derivation: a database holding the new F rows and their E rows; a
        # run with no source only rebuilds EFn for the key.
        run(efload, done, ["--yymm", KEY, "--en", e_key])
        derived = file("derived.sqlite3")
        shutil.copyfile(done, derived)
        # Change the E rows' kaisu underneath so that a new derivation differs.
        con = sqlite3.connect(derived)
        con.execute("update En set kaisu = '5' where yymm = ?", (KEY,))
        con.commit()
        con.close()
        derive_base = file("derive-base.sqlite3")
        shutil.copyfile(derived, derive_base)
        derive_seconds = timed_run(efload, derive_base, derived, ["--yymm", KEY])
        derive = kill_series(efload, derive_base, work, ["--yymm", KEY], max(opts.kills // 2, 15),
                             derive_seconds, [reloaded("EFn", "yymm", KEY, derive_base, derived),
                                              untouched("EFn", "yymm", OTHER, derive_base)], "derive")
        series.append(("derivation", derive, derive_seconds, derive["kills"] >= 10))

        # 3. Drug list: the list date holds a small list, another date one more;
        # a large list (characters 3 to 10 of its name are the date) replaces it.
        list_old, list_new = file(f"tp{LIST_DATE}-old.xlsx"), file(f"tp{LIST_DATE}-new.xlsx")
        list_other = file(f"tp{OTHER_DATE}-01_05.xlsx")
        write_list(list_old, 1, 200)
        write_list(list_other, 3, 200)
        write_list(list_new, 2, max(opts.rows * 3 // 10, 1_000))
        etc_base = file("etc-base.sqlite3")
        shutil.copyfile(base, etc_base)
        run(efload, etc_base, ["--yymm", KEY, "--etc", list_other])
        run(efload, etc_base, ["--yymm", KEY, "--etc", list_old])
        etc_done = file("etc-done.sqlite3")
        etc_args = ["--yymm", KEY, "--etc", list_new]
        etc_seconds = timed_run(efload, etc_base, etc_done, etc_args)
        etc_kills = max(opts.kills * 2 // 3, 15)
        etc = kill_series(efload, etc_base, work, etc_args, etc_kills, etc_seconds,
                          [reloaded("kyak", "ymd", LIST_DATE, etc_base, etc_done),
                           untouched("kyak", "ymd", OTHER_DATE, etc_base),
                           untouched("Fn", "yymm", KEY, etc_base)], "etc")
        temporary_files_left(efload, work, etc_base, etc_args, etc)
        series.append(("drug list", etc, etc_seconds, etc["kills"] >= etc_kills // 2))

        # 4. All six sources and the derivation: every key holds the rows of
        # small files; one run reloads all of them from larger ones.
        small, large = 2_000, max(opts.rows // 8, 1_000)
        old_files = {"en": file("en-old.txt"), "fn": f_old, "eg": file("eg-old.txt"),
                     "fg": file("fg-old.txt"), "etc": list_old, "y": y_list}
        new_files = {"en": file("en-new.txt"), "fn": file("fn-new.txt"), "eg": file("eg-new.txt"),
                     "fg": file("fg-new.txt"), "etc": list_new, "y": file("y-new.csv")}
        write_e(old_files["en"], 1, small)
        write_e(old_files["eg"], 4, small)
        write_f(old_files["fg"], 4, small)
        write_e(new_files["en"], 5, large)
        write_f(new_files["fn"], 5, large)
        write_e(new_files["eg"], 6, large)
        write_f(new_files["fg"], 6, large)
        write_y(new_files["y"], 500, name_seed="新")

        def sources(files):
            return [arg for kind in ("en", "fn", "eg", "fg", "etc", "y") for arg in (f"--{kind}", files[kind])]

        six_base = file("six-base.sqlite3")
        shutil.copyfile(base, six_base)
        run(efload, six_base, ["--yymm", OTHER, "--etc", list_other])
        run(efload, six_base, ["--yymm", KEY] + sources(old_files))
        six_done = file("six-done.sqlite3")
        six_args = ["--yymm", KEY] + sources(new_files)
        six_seconds = timed_run(efload, six_base, six_done, six_args)
        today = time.strftime("%Y%m%d")  # the Y list's key: efload's local date
        six_checks = [reloaded(t, "yymm", KEY, six_base, six_done)
                      for t in ("En", "Fn", "Eg", "Fg", "EFn", "EFg")]
        six_checks += [reloaded("kyak", "ymd", LIST_DATE, six_base, six_done),
                       reloaded("yak", "ymd", today, six_base, six_done),
                       untouched("Fn", "yymm", OTHER, six_base),
                       untouched("EFn", "yymm", OTHER, six_base),
                       untouched("kyak", "ymd", OTHER_DATE, six_base)]
        six_kills = max(opts.kills * 2 // 3, 15)
        six = kill_series(efload, six_base, work, six_args, six_kills, six_seconds, six_checks, "six")
        temporary_files_left(efload, work, six_base, six_args, six)
        series.append(("all six and the derivation", six, six_seconds, six["kills"] >= six_kills // 2))
    finally:
        shutil.rmtree(work, ignore_errors=True)

    bad = 0
    enough = True
    for name, r, seconds, has_enough_kills in series:
        left = r.get("temporary_files_left")
        print(f"crash-safety {name}: run takes {seconds:.2f} s; kills {r['kills']}, finished before the kill "
              f"{r['completed']}, integrity failures {r['integrity_failures']}, keys with mixed rows "
              f"{r['mixed']}, other keys changed {r['other_changed']}" +
              ("" if left is None else f", temporary files left {left}"))
        bad += r["integrity_failures"] + r["mixed"] + r["other_changed"] + (left or 0)
        enough = enough and has_enough_kills
    if not enough:
        print("crash-safety: too few kills landed inside the runs")
    passed = (1 if bad == 0 and enough else 0)
    print(f"crash-safety: {passed} passed, {1 - passed} failed")
    return 0 if passed else 1


if __name__ == "__main__":
    sys.exit(main())
