#!/usr/bin/env python3
"""efload against its ceiling and against the sqlite3 shell, at monthly scale.

For the E file and the F file, on a fresh copy of a database that already
holds another month, in rounds A B C A B C ...:
  A  efload run with that one file (wall time of the process; peak memory)
  B  the ceiling: bench/ceiling_load.cpp, rows already decoded and split
  C  the sqlite3 shell's .import of the same rows (UTF-8, keys in front)
Then the derivation alone (efload run with no file) at full scale, and at
SMALL_F F rows with and without the schema's indexes. Last, efload report
on that month (and the other month of the base, six months in all) with the
generated drug list written into kyak: wall time and peak memory.

Usage: run.py --efload PATH --ceiling PATH --work DIR [--rounds N]
       [--e-lines N --f-lines N --y-lines N --small-f N] [--report-only]
"""
import argparse
import os
import shutil
import sqlite3
import statistics
import subprocess
import sys
import time

KEY, OTHER = "202110", "202109"
TARGETS = {"ceiling_ratio": 0.85, "shell_ratio": 1.5, "derivation_s": 3.0, "peak_mb": 64,
           "report_s": 2.0, "report_mb": 64}
DRUG_LIST_DATE = "20211001"  # in force for KEY; OTHER falls back to it


def timed(cmd, stdin=None):
    """Runs cmd; returns (wall seconds, CPU seconds, peak resident KiB, stdout, stderr)."""
    start = time.monotonic()
    proc = subprocess.Popen(cmd, stdin=subprocess.PIPE if stdin else subprocess.DEVNULL,
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    if stdin:
        proc.stdin.write(stdin.encode())
        proc.stdin.close()
    out = proc.stdout.read()
    err = proc.stderr.read()
    _, status, usage = os.wait4(proc.pid, 0)
    seconds = time.monotonic() - start
    proc.returncode = os.waitstatus_to_exitcode(status)
    if proc.returncode != 0:
        sys.exit(f"bench: {' '.join(cmd)} failed with {proc.returncode}:\n{out.decode()}{err.decode()}")
    return seconds, usage.ru_utime + usage.ru_stime, usage.ru_maxrss, out.decode(), err.decode()


def step_time(stderr, status):
    """(wall, CPU) seconds of one step from efload's --timings lines."""
    prefix = f"efload: {status} took "
    for line in stderr.splitlines():
        if line.startswith(prefix):
            wall, cpu = line[len(prefix):].replace("(CPU ", "").replace(" s)", "").split(" s ")
            return float(wall), float(cpu)
    sys.exit(f"bench: efload printed no time for {status}:\n{stderr}")


def count(db, table, key=KEY):
    con = sqlite3.connect(db)
    try:
        return con.execute(f"select count(*) from {table} where yymm = ? and yymmkbn = '0'",
                           (key,)).fetchone()[0]
    finally:
        con.close()


def ensure_data(data, e_lines, f_lines, y_lines, small_f):
    """Generates the input files into `data` unless they are there in these
    sizes, made by this version of the generator (it also writes a drug list)."""
    sizes = f"{e_lines} {f_lines} {y_lines} {small_f} with-kyak"
    marker = os.path.join(data, "sizes")
    if not os.path.exists(marker) or open(marker).read() != sizes:
        shutil.rmtree(data, ignore_errors=True)
        subprocess.run([sys.executable, os.path.join(os.path.dirname(__file__), "generate.py"), data,
                        "--e-lines", str(e_lines), "--f-lines", str(f_lines),
                        "--y-lines", str(y_lines), "--small-f", str(small_f)], check=True)
        open(marker, "w").write(sizes)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--efload", required=True)
    ap.add_argument("--ceiling", required=True)
    ap.add_argument("--work", required=True)
    ap.add_argument("--rounds", type=int, default=3)
    ap.add_argument("--e-lines", type=int, default=400_000)
    ap.add_argument("--f-lines", type=int, default=1_500_000)
    ap.add_argument("--y-lines", type=int, default=20_000)
    ap.add_argument("--small-f", type=int, default=50_000)
    ap.add_argument("--report-only", action="store_true",
                    help="only the report's measurement (and the base it needs)")
    opts = ap.parse_args()
    efload, ceiling = os.path.abspath(opts.efload), os.path.abspath(opts.ceiling)
    work = os.path.abspath(opts.work)
    data = os.path.join(work, "data")
    os.makedirs(work, exist_ok=True)

    # 1. Input files (kept between runs with the same sizes)
    ensure_data(data, opts.e_lines, opts.f_lines, opts.y_lines, opts.small_f)
    f = lambda name: os.path.join(data, name)

    # 2. The base: the schema, another month of E and F rows, a Y list
    base = os.path.join(work, "base.sqlite3")
    if os.path.exists(base):
        os.remove(base)
    timed([efload, "init", "--db", base])
    timed([efload, "run", "--db", base, "--yymm", OTHER, "--en", f("en.txt"), "--fn", f("fn.txt"),
           "--y", f("y.csv")])
    print(f"base: {count(base, 'En', OTHER)} En and {count(base, 'Fn', OTHER)} Fn rows of {OTHER}, "
          f"{count(base, 'EFn', OTHER)} EFn rows")

    if opts.report_only:
        full = os.path.join(work, "derive.sqlite3")
        shutil.copyfile(base, full)
        timed([efload, "run", "--db", full, "--yymm", KEY, "--en", f("en.txt"), "--fn", f("fn.txt")])
        ok = report_figures(efload, full, f("kyak.tsv"), work, opts.rounds)
        return 0 if ok else 1

    trial = os.path.join(work, "trial.sqlite3")
    shell_setup = ("PRAGMA cache_size = 10000;\nPRAGMA locking_mode = Exclusive;\n"
                   "PRAGMA synchronous = Off;\nPRAGMA journal_mode = Delete;\nPRAGMA foreign_keys = On;\n")
    results = {}  # (table, variant) -> list of (wall, cpu)
    process = {}  # table -> list of efload's whole-process wall seconds
    peak_kib = 0
    derive_status = "入院、外来データ集計中"
    # 3. Loads, alternating. efload's figure is its load step (from its own
    #    --timings line: transaction, delete, reading, inserts, commit); the
    #    ceiling's is its open-to-close; the shell's its whole process.
    for table, option, name, expected, status in (
            ("En", "--en", "en", opts.e_lines, "Eファイル(入院)"),
            ("Fn", "--fn", "fn", opts.f_lines, "Fファイル(入院)")):
        for round_ in range(opts.rounds):
            for variant in ("efload", "ceiling", "sqlite3 shell"):
                shutil.copyfile(base, trial)
                if variant == "efload":
                    wall, cpu, rss, out, err = timed([efload, "run", "--db", trial, "--yymm", KEY, option,
                                                      f(name + ".txt"), "--timings"])
                    process.setdefault(table, []).append(wall)
                    peak_kib = max(peak_kib, rss)
                    wall, cpu = step_time(err, status)
                elif variant == "ceiling":
                    _, _, _, out, _ = timed([ceiling, trial, table, f(name + ".keyed.tsv")])
                    wall = float(out.split(" in ")[1].split()[0])
                    cpu = float(out.split("(CPU ")[1].split()[0])
                else:
                    wall, cpu, _, _, _ = timed(["sqlite3", trial], stdin=shell_setup +
                                               f"delete from {table} where yymm = '{KEY}' and yymmkbn = 0;\n"
                                               f".mode tabs\n.import '{f(name + '.keyed.tsv')}' {table}\n")
                got = count(trial, table)
                if got != expected:
                    sys.exit(f"bench: {variant} stored {got} {table} rows, expected {expected}")
                results.setdefault((table, variant), []).append((wall, cpu))
                print(f"  {table} round {round_ + 1} {variant:14s} {wall:7.3f} s wall {cpu:7.3f} s CPU "
                      f"{expected / wall:9.0f} rows/s" +
                      (f"  (process {process[table][-1]:.3f} s, peak {rss * 1024 / 1e6:.1f} MB)"
                       if variant == "efload" else ""), flush=True)

    # 4. The derivation alone at full scale: E and F of the key loaded, then a run without files
    full = os.path.join(work, "derive.sqlite3")
    shutil.copyfile(base, full)
    timed([efload, "run", "--db", full, "--yymm", KEY, "--en", f("en.txt"), "--fn", f("fn.txt")])
    derive = []
    for _ in range(opts.rounds):
        _, _, rss, _, err = timed([efload, "run", "--db", full, "--yymm", KEY, "--timings"])
        peak_kib = max(peak_kib, rss)
        derive.append(step_time(err, derive_status))
    derived_rows = count(full, "EFn")

    # 5. At SMALL_F F rows, with and without the schema's indexes
    small = os.path.join(work, "small.sqlite3")
    if os.path.exists(small):
        os.remove(small)
    timed([efload, "init", "--db", small])
    timed([efload, "run", "--db", small, "--yymm", KEY, "--en", f("en-small.txt"), "--fn", f("fn-small.txt"),
           "--y", f("y.csv")])
    small_indexed = step_time(timed([efload, "run", "--db", small, "--yymm", KEY, "--timings"])[4], derive_status)
    con = sqlite3.connect(small)
    for (index,) in con.execute("select name from sqlite_master where type = 'index' and sql is not null").fetchall():
        con.execute(f"drop index {index}")
    con.commit()
    con.close()
    small_bare = step_time(timed([efload, "run", "--db", small, "--yymm", KEY, "--timings"])[4], derive_status)
    small_rows = count(small, "EFn")

    # 6. Figures
    print()
    print(f"figures: best of {opts.rounds} rounds, wall clock (CPU time in brackets)")
    ok = True
    for table, n in (("En", opts.e_lines), ("Fn", opts.f_lines)):
        best = {v: min(results[(table, v)]) for v in ("efload", "ceiling", "sqlite3 shell")}
        best_cpu = {v: min(c for _, c in results[(table, v)]) for v in best}
        rate = {v: n / w for v, (w, _) in best.items()}
        r_ceiling, r_shell = rate["efload"] / rate["ceiling"], rate["efload"] / rate["sqlite3 shell"]
        c_ceiling = best_cpu["ceiling"] / best_cpu["efload"]
        c_shell = best_cpu["sqlite3 shell"] / best_cpu["efload"]
        print(f"  {table} ({n} rows): efload {rate['efload']:.0f} rows/s, ceiling {rate['ceiling']:.0f} rows/s, "
              f"sqlite3 shell {rate['sqlite3 shell']:.0f} rows/s; efload's whole process "
              f"{min(process[table]):.2f} s")
        print(f"      efload/ceiling {r_ceiling:.2f} ({c_ceiling:.2f}) target >= {TARGETS['ceiling_ratio']}; "
              f"efload/sqlite3-shell {r_shell:.2f} ({c_shell:.2f}) target >= {TARGETS['shell_ratio']}")
        ok &= r_ceiling >= TARGETS["ceiling_ratio"] and r_shell >= TARGETS["shell_ratio"]
    dw, dc = min(derive)
    print(f"  derivation at {opts.f_lines} F rows ({derived_rows} EFn rows): {dw:.2f} s ({dc:.2f} s); "
          f"target < {TARGETS['derivation_s']} s")
    print(f"  derivation at {small_rows and opts.small_f} F rows ({small_rows} EFn rows): {small_indexed[0]:.2f} s "
          f"with the indexes, {small_bare[0]:.2f} s ({small_bare[1]:.2f} s) without")
    peak_mb = peak_kib * 1024 / 1e6
    print(f"  efload peak resident memory: {peak_mb:.1f} MB (target < {TARGETS['peak_mb']} MB)")
    ok &= dw < TARGETS["derivation_s"] and peak_mb < TARGETS["peak_mb"]
    ok &= report_figures(efload, full, f("kyak.tsv"), work, opts.rounds)
    print("bench: every target met" if ok else "bench: a target was missed")
    return 0 if ok else 1


def report_figures(efload, db, kyak_tsv, work, rounds):
    """efload report on `db` (KEY and OTHER derived) once the drug list is in
    kyak: best wall time and peak memory of `rounds` runs. True when both
    targets are met."""
    con = sqlite3.connect(db)
    con.execute("delete from kyak where ymd = ?", (DRUG_LIST_DATE,))
    with open(kyak_tsv, encoding="utf-8") as rows:
        con.executemany("insert into kyak values (?, ?, ?, ?, ?, ?, ?, ?, ?)",
                        ([DRUG_LIST_DATE] + line.rstrip("\n").split("\t") for line in rows))
    con.commit()
    kyak_rows = con.execute("select count(*) from kyak").fetchone()[0]
    con.close()
    usage_rows = count(db, "EFn") + count(db, "EFn", OTHER)
    out = os.path.join(work, "report.html")
    runs = []
    for _ in range(rounds):
        wall, cpu, rss, stdout, _ = timed([efload, "report", "--db", db, "--yymm", KEY, "--out", out])
        runs.append((wall, cpu, rss))
    wall, cpu, _ = min(runs)
    peak_mb = max(rss for _, _, rss in runs) * 1024 / 1e6
    print(f"  report of {KEY} over 6 months ({usage_rows} EFn rows in {KEY} and {OTHER}, {kyak_rows} kyak rows): "
          f"{wall:.2f} s ({cpu:.2f} s CPU), peak {peak_mb:.1f} MB; "
          f"targets < {TARGETS['report_s']} s, < {TARGETS['report_mb']} MB")
    for line in stdout.splitlines()[2:4]:
        print("   " + line)
    return wall < TARGETS["report_s"] and peak_mb < TARGETS["report_mb"]


if __name__ == "__main__":
    sys.exit(main())
