#!/usr/bin/python3
"""Writes samples/tp20211101-01_05.xlsx, a drug list workbook laid out like
the ministry's: three heading rows and the column headings above the data
(the import skips the first four lines of the CSV), then the 30 rows of
/work/shared/data/mhlw_ge_20211101_utf8_excerpt.csv, or of the file given as
the first argument. Needs Debian's python3-openpyxl.

write_drug_list() writes the same layout for other rows; generated_rows()
makes as many made-up data rows as a test needs (the kill test loads a large
list this way).
"""
import csv
import os
import sys

import openpyxl

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from make_workbooks import save  # noqa: E402  (fixed timestamps)

ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", ".."))
EXCERPT = "/work/shared/data/mhlw_ge_20211101_utf8_excerpt.csv"
SHEET = "後発医薬品の有無"
HEADINGS = [
    ["各先発医薬品の後発医薬品の有無に関する情報（令和3年11月1日適用）"],
    [],
    ["注）「各先発医薬品の後発医薬品の有無に関する情報」欄の区分は別紙のとおり"],
]
COLUMNS = ["薬価基準収載医薬品コード", "成分名", "品名", "各先発医薬品の後発医薬品の有無に関する情報",
           "収載年月日", "経過措置による使用期限", "備考", "診療報酬における加算等の算定対象から除外する品目"]


def cells(row):
    """A CSV row as the workbook holds it: eight cells, the flag column's
    numbers 1 to 3 as numbers and ★ and ☆ as text, empty cells empty."""
    row = (list(row) + [""] * 8)[:8]
    flag = int(row[3]) if row[3].isdigit() else (row[3] or None)
    return [row[0], row[1], row[2], flag] + [v or None for v in row[4:]]


def write_drug_list(target, header, rows, write_only=False):
    """The headings, `header` and `rows` (lists of eight values) into
    `target`. write_only streams the rows, for lists of many thousands."""
    wb = openpyxl.Workbook(write_only=write_only)
    if write_only:
        ws = wb.create_sheet(SHEET)
    else:
        ws = wb.active
        ws.title = SHEET
    for heading in HEADINGS:
        ws.append(heading)
    ws.append(header)
    for row in rows:
        ws.append(row)
    save(wb, target)


def generated_rows(count, seed=0):
    """`count` data rows like the ministry's, different for each seed."""
    for i in range(count):
        code = f"{1112700 + i // 1000:07d}X{seed % 10}{i % 1000:03d}"
        yield [code, f"成分{seed}-{i % 997}", f"品名{seed}-{i}　{i % 50 + 1}mg1錠",
               i % 3 + 1 if i % 5 else "★", f"2021{i % 12 + 1:02d}01", None, "備考" if i % 7 == 0 else None,
               "○" if i % 11 == 0 else None]


def main():
    source = sys.argv[1] if len(sys.argv) > 1 else EXCERPT
    with open(source, encoding="utf-8", newline="") as f:
        rows = list(csv.reader(f))
    header, data = rows[0], rows[1:]
    target = os.path.join(ROOT, "samples", "tp20211101-01_05.xlsx")
    # save() writes beside the fixtures; give it the sample's full path
    write_drug_list(target, header, [cells(row) for row in data])
    print(target)


if __name__ == "__main__":
    main()
