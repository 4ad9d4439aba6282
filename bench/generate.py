#!/usr/bin/env python3
"""Monthly-scale input for the benchmarks, written into one folder.

  en.txt      E file, inpatient: E_LINES acts, 25 tab-separated fields, CP932, CR LF
  fn.txt      F file, inpatient: the acts' details (3.75 per act on average),
              19 fields; about 60 % are drugs whose receipt code (field 8) is
              in the Y list
  y.csv       Y drug code list: Y_LINES lines of 42 quoted fields, CP932, CR LF;
              field 31 maps each receipt code to a 12-character price-list code
  kyak.tsv    the drug list for those price-list codes (code, ingredient,
              product, class, four notes; tab-separated UTF-8): the classes in
              the proportions of the ministry's April 2026 list, some items
              excluded, crude drugs and Kampo among the unclassed, and 1 % of
              the codes left out; written into the database by the benchmark
              (loading it would need a workbook)
  en.keyed.tsv, fn.keyed.tsv
              the same rows decoded to UTF-8, with the keys yymm and yymmkbn
              put in front: the input of the ceiling loader and of the sqlite3
              shell's .import
  en-small.txt, fn-small.txt (and .keyed.tsv)
              the first SMALL_F detail lines and their acts, for the
              derivation without indexes

Usage: generate.py OUTDIR [--e-lines N] [--f-lines N] [--y-lines N] [--small-f N]
       [--yymm TEXT]
The output depends only on the arguments.
"""
import argparse
import os

FACILITY = "131234567"
KANJI_ITEMS = ["内服薬剤", "注射薬剤", "外用薬剤", "処置", "検査", "画像診断", "入院料"]
PROCEDURES = [("190117710", "急性期一般入院料１", "1650"), ("160008010", "末梢血液一般検査", "21"),
              ("160019410", "ＣＲＰ", "16"), ("130008810", "点滴注射", "102"),
              ("140000610", "創傷処置（１００平方センチメートル未満）", "52")]
DRUG_NAMES = ["錠", "カプセル", "散", "注射液", "顆粒", "シロップ", "軟膏"]
UNITS = [("016", "錠"), ("015", "カプセル"), ("033", "ｇ"), ("036", "ｍＬ"), ("019", "管")]


def y_code(i):
    return f"{610000000 + i * 7:09d}"


def drug_name(i):
    return f"サンプル{DRUG_NAMES[i % len(DRUG_NAMES)]}{i % 500 + 1}ｍｇ「効能{i % 97}」"


def details_of_act(act):
    """Number of F lines of act number `act`: 6 for every fourth, else 3 (3.75 on average)."""
    return 6 if act % 4 == 0 else 3


def act_key(act):
    """The six leading fields that an act's E line and its F lines share."""
    patient = act // 40
    day = patient % 28 + 1
    stay = patient % 9 + 2
    discharge = "00000000" if patient % 5 == 0 else f"202110{min(day + stay, 31):02d}"
    return [FACILITY, f"{patient + 1:010d}", discharge, f"202110{day:02d}",
            ("21", "33", "60", "90", "50")[act % 5], f"{act % 40 + 1:04d}"]


def e_line(act):
    key = act_key(act)
    proc = PROCEDURES[act % len(PROCEDURES)]
    return key + [f"{act % 1000000:012d}", proc[0], "", KANJI_ITEMS[act % len(KANJI_ITEMS)],
                  str(act % 900 + 10), str(act % 300), "0", "0", str(act % 14 + 1), "06131019",
                  "1112", key[3], "01", "010", f"{1000000100 + act % 60}",
                  f"{300 + act % 12:010d}", "1", "0", "001"]


def f_line(act, k, y_lines):
    key = act_key(act)
    n = act * 4 + k
    if n % 5 < 3:  # a drug of the list
        d = (n * 31) % y_lines
        unit = UNITS[d % len(UNITS)]
        code, name, amount, unit_code = y_code(d), drug_name(d), f"{(n % 8) * 0.5 + 0.5:g}", unit[0]
        kmtensu, kmyakuzai = "0", f"{(n % 400) * 1.7:.1f}"
    else:
        proc = PROCEDURES[n % len(PROCEDURES)]
        code, name, amount, unit_code = proc[0], proc[1], "1", ""
        kmtensu, kmyakuzai = proc[2], "0"
    return key + [f"{k + 1:03d}", f"{n % 1000000:012d}", code, "", name, amount, unit_code,
                  kmtensu, kmyakuzai, "0", "0", "", "000000000000"]


def price_code(i):
    """The price-list code of Y list entry i: 12 characters; every fiftieth a
    crude drug (510...) and the next a Kampo preparation (520...)."""
    category = "5100" if i % 50 == 0 else "5200" if i % 50 == 1 else "2100"
    # i % 1000, i % 9 and i % 7 tell entries apart up to 63,000 of them
    return f"{category}{i % 1000:03d}F{i % 9 + 1}0{i % 10}{i % 7}"


# Classes by i % 1000, in the proportions of the April 2026 list (12,292
# rows): 1 19.5 %, 2 8.0 %, ☆ 2.3 %, 3 31.1 %, ★ 4.6 %, blank 34.5 %.
CLASS_STEPS = [(195, "1"), (275, "2"), (298, "☆"), (609, "3"), (655, "★"), (1000, "")]


def kyak_row(i):
    """The drug list row of Y entry i, or None for the 1 % the list lacks."""
    if i % 100 == 99:
        return None
    code = price_code(i)
    flag = "" if code.startswith(("510", "520")) else next(f for step, f in CLASS_STEPS if i % 1000 < step)
    # excluded items: 82 of 988 class 2 and 238 of 3,823 class 3 in that list
    excluded = "1" if (flag == "2" and i % 12 == 5) or (flag == "3" and i % 16 == 7) else ""
    return [code, f"成分{i % 997}", drug_name(i), flag, "", "", "", excluded]


def y_line(i):
    unit = UNITS[i % len(UNITS)]
    name = drug_name(i)
    fields = ["0", "Y", y_code(i), str(len(name)), name, "10", f"ｻﾝﾌﾟﾙ{i}", unit[0].lstrip("0"), "1",
              unit[1], "1", f"{(i % 3000) / 10 + 5.6:.2f}", "0", "0", "0", "0", "0", "0", "0", "0", "0",
              "1", "0", "1", f"{(i % 3000) / 10 + 6.1:.2f}", "0", "0", "1", "", "20250401", "99999999",
              price_code(i), f"{i * 3:09d}", "0", name, "0", "", "",
              "0", "0", "0", "1"]
    return ",".join(f'"{f}"' for f in fields)


class Writer:
    """A CP932 file and its keyed UTF-8 twin, written in blocks."""

    def __init__(self, folder, name, yymm, with_keyed=True):
        self.cp932 = open(os.path.join(folder, name + ".txt"), "wb")
        self.keyed = open(os.path.join(folder, name + ".keyed.tsv"), "wb") if with_keyed else None
        self.prefix = f"{yymm}\t0\t"
        self.a, self.b, self.count = [], [], 0

    def add(self, fields):
        line = "\t".join(fields)
        self.a.append(line)
        if self.keyed:
            self.b.append(self.prefix + line)
        self.count += 1
        if len(self.a) >= 20000:
            self.flush()

    def flush(self):
        if self.a:
            self.cp932.write(("\r\n".join(self.a) + "\r\n").encode("cp932"))
        if self.b:
            self.keyed.write(("\n".join(self.b) + "\n").encode("utf-8"))
        self.a, self.b = [], []

    def close(self):
        self.flush()
        self.cp932.close()
        if self.keyed:
            self.keyed.close()


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("outdir")
    ap.add_argument("--e-lines", type=int, default=400_000)
    ap.add_argument("--f-lines", type=int, default=1_500_000)
    ap.add_argument("--y-lines", type=int, default=20_000)
    ap.add_argument("--small-f", type=int, default=50_000)
    ap.add_argument("--yymm", default="202110")
    opts = ap.parse_args()
    os.makedirs(opts.outdir, exist_ok=True)

    en, fn = Writer(opts.outdir, "en", opts.yymm), Writer(opts.outdir, "fn", opts.yymm)
    en_small, fn_small = Writer(opts.outdir, "en-small", opts.yymm), Writer(opts.outdir, "fn-small", opts.yymm)
    act = 0
    while en.count < opts.e_lines or fn.count < opts.f_lines:
        if en.count < opts.e_lines:
            line = e_line(act)
            en.add(line)
            if fn_small.count < opts.small_f:
                en_small.add(line)
        for k in range(details_of_act(act)):
            if fn.count < opts.f_lines:
                line = f_line(act, k, opts.y_lines)
                fn.add(line)
                if fn_small.count < opts.small_f:
                    fn_small.add(line)
        act += 1
    for w in (en, fn, en_small, fn_small):
        w.close()
    with open(os.path.join(opts.outdir, "y.csv"), "wb") as out:
        out.write(("\r\n".join(y_line(i) for i in range(opts.y_lines)) + "\r\n").encode("cp932"))
    with open(os.path.join(opts.outdir, "kyak.tsv"), "w", encoding="utf-8") as out:
        for i in range(opts.y_lines):
            row = kyak_row(i)
            if row is not None:
                out.write("\t".join(row) + "\n")
    print(f"generated: E {en.count}, F {fn.count}, Y {opts.y_lines}, small E {en_small.count}, "
          f"small F {fn_small.count} lines in {opts.outdir}")


if __name__ == "__main__":
    main()
