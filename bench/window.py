#!/usr/bin/env python3
"""The window against efload.exe, both under Wine, on the same F file.

In rounds W E W E ..., each on a fresh copy of a database with the schema:
  W  efi_bench_window (bench/window_load.cpp): the real window loads the F
     file (inpatient) from a press of 実行 to the completion box, while
     messages posted to the GUI thread are timed from post to answer
  E  efload.exe run --fn ... --timings
Figures, best of the rounds: the F step's rows per second for each (from the
step's status text to the next: the delete, the reading, the inserts, the
commit), their ratio, and the longest wait of a message posted while the
window inserted rows. Last, the window loads the file once more over its own
rows, as an operator re-loading a month does: the time before its first row
(the old rows are deleted first) is time without answers.

Usage: window.py --wine PATH --bench-window EXE --efload EXE --work DIR
                 [--rounds N] [--f-lines N]
Run by scripts/bench-window, which provides the Wine prefix and the display.
"""
import argparse
import os
import re
import shutil
import sqlite3
import subprocess
import sys
import time

from run import ensure_data

KEY = "202110"
F_STATUS = "Fファイル(入院)"
GOALS = {"ratio": 0.9, "wait_ms": 100.0}


def windows_path(path):
    """The path as a Windows program under Wine opens it (drive Z: is /)."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def wine(opts, args, cwd):
    """Runs a Windows program; returns (wall seconds, stdout, stderr)."""
    env = dict(os.environ, LC_ALL="ja_JP.UTF-8", WINEDEBUG="-all")
    start = time.monotonic()
    proc = subprocess.run([opts.wine, *args], cwd=cwd, env=env, capture_output=True)
    seconds = time.monotonic() - start
    out = proc.stdout.decode("utf-8", "replace")
    err = proc.stderr.decode("utf-8", "replace")
    if proc.returncode != 0:
        sys.exit(f"bench-window: {' '.join(args)} failed with {proc.returncode}:\n{out}{err}")
    return seconds, out, err


def f_rows(db):
    con = sqlite3.connect(db)
    try:
        return con.execute("select count(*) from Fn where yymm = ? and yymmkbn = '0'", (KEY,)).fetchone()[0]
    finally:
        con.close()


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--wine", required=True)
    ap.add_argument("--bench-window", required=True)
    ap.add_argument("--efload", required=True)
    ap.add_argument("--work", required=True)
    ap.add_argument("--rounds", type=int, default=2)
    ap.add_argument("--f-lines", type=int, default=1_500_000)
    opts = ap.parse_args()
    work = os.path.abspath(opts.work)
    data = os.path.join(work, "data")
    os.makedirs(work, exist_ok=True)

    # 1. The input (shared with scripts/bench when the sizes agree) and a
    #    database with the schema.
    ensure_data(data, 400_000, opts.f_lines, 20_000, 50_000)
    f_file = windows_path(os.path.join(data, "fn.txt"))
    base = os.path.join(work, "window-base.sqlite3")
    if os.path.exists(base):
        os.remove(base)
    wine(opts, [opts.efload, "init", "--db", windows_path(base)], work)

    # 2. Rounds, alternating.
    trial_folder = os.path.join(work, "window-trial")  # the window opens vorn.sqlite3 here
    os.makedirs(trial_folder, exist_ok=True)
    trial = os.path.join(trial_folder, "vorn.sqlite3")
    window_runs, efload_runs = [], []

    def window_run():
        _, out, _ = wine(opts, [opts.bench_window, f_file, KEY], trial_folder)
        m = re.search(r"window: (\d+) rows; load ([0-9.]+) s \(step ([0-9.]+) s, first row after ([0-9.]+) s, "
                      r"inserting ([0-9.]+) s\); mid-load (\d+) messages answered, max ([0-9.]+) ms, "
                      r"median ([0-9.]+) ms; before the first row max ([0-9.]+) ms; "
                      r"whole run max ([0-9.]+) ms; bar painted (\d+) times, moved at most ([0-9.]+) ms apart",
                      out)
        if not m:
            sys.exit(f"bench-window: unexpected output of the window bench:\n{out}")
        run = dict(zip(("rows", "load", "step", "first_row", "inserting", "answered", "max_ms", "median_ms",
                        "before_max_ms", "run_max_ms", "paints", "bar_gap_ms"), map(float, m.groups())))
        if f_rows(trial) != opts.f_lines:
            sys.exit(f"bench-window: the window stored {f_rows(trial)} Fn rows, expected {opts.f_lines}")
        return run

    for round_ in range(opts.rounds):
        shutil.copyfile(base, trial)
        run = window_run()
        window_runs.append(run)
        print(f"  round {round_ + 1} window     F step {run['step']:7.3f} s {opts.f_lines / run['step']:9.0f} rows/s"
              f"  (実行 to completion box {run['load']:.2f} s; {int(run['answered'])} messages posted mid-load,"
              f" longest wait {run['max_ms']:.1f} ms; bar moves at most {run['bar_gap_ms']:.0f} ms apart)",
              flush=True)

        shutil.copyfile(base, trial)
        wall, _, err = wine(opts, [opts.efload, "run", "--db", windows_path(trial), "--yymm", KEY,
                                   "--fn", f_file, "--timings"], work)
        m = re.search(re.escape(F_STATUS) + r"\s*took ([0-9.]+) s", err)
        if not m:
            sys.exit(f"bench-window: efload.exe printed no time for the F step:\n{err}")
        if f_rows(trial) != opts.f_lines:
            sys.exit(f"bench-window: efload.exe stored {f_rows(trial)} Fn rows, expected {opts.f_lines}")
        efload_runs.append({"step": float(m.group(1)), "process": wall})
        print(f"  round {round_ + 1} efload.exe F step {efload_runs[-1]['step']:7.3f} s "
              f"{opts.f_lines / efload_runs[-1]['step']:9.0f} rows/s  (whole process {wall:.2f} s)", flush=True)

    # 3. The month loaded again over its own rows (the trial holds efload's).
    reload = window_run()
    print(f"  re-load    window     F step {reload['step']:7.3f} s; first row after {reload['first_row']:.2f} s "
          f"(longest wait before it {reload['before_max_ms']:.0f} ms)", flush=True)

    # 4. Figures
    best_window = min(r["step"] for r in window_runs)
    best_efload = min(r["step"] for r in efload_runs)
    rate_window, rate_efload = opts.f_lines / best_window, opts.f_lines / best_efload
    ratio = rate_window / rate_efload
    longest = max(r["max_ms"] for r in window_runs)
    print()
    print(f"figures: best of {opts.rounds} rounds, under Wine, F file of {opts.f_lines} lines")
    print(f"  F step: window {rate_window:.0f} rows/s, efload.exe {rate_efload:.0f} rows/s; "
          f"window/efload.exe {ratio:.2f} (goal >= {GOALS['ratio']})")
    print(f"  実行 to the completion box: {min(r['load'] for r in window_runs):.2f} s; "
          f"efload.exe's whole process {min(r['process'] for r in efload_runs):.2f} s")
    print(f"  a message posted while rows were inserted waited at most {longest:.1f} ms "
          f"(median {max(r['median_ms'] for r in window_runs):.1f} ms; goal <= {GOALS['wait_ms']:.0f} ms); "
          f"the bar was painted {int(min(r['paints'] for r in window_runs))} times per load")
    print(f"  no messages are processed while the step counts the file's lines before its first row "
          f"({min(r['first_row'] for r in window_runs):.2f} s; longest wait "
          f"{max(r['before_max_ms'] for r in window_runs):.0f} ms), nor during the commit and the derivation "
          f"(longest wait of the whole run {max(r['run_max_ms'] for r in window_runs):.0f} ms)")
    print(f"  loading the month again over its {opts.f_lines} rows: the first row after "
          f"{reload['first_row']:.2f} s, while the old rows are deleted (longest wait "
          f"{reload['before_max_ms']:.0f} ms)")
    ok = ratio >= GOALS["ratio"] and longest <= GOALS["wait_ms"]
    print("bench-window: every goal met" if ok else "bench-window: a goal was missed")
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
