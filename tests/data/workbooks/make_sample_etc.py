#!/usr/bin/python3
"""Writes samples/tp20211101-01_05.xlsx, a drug list workbook laid out like
the ministry's: three heading rows and the column headings above the data
(the import skips the first four lines of the CSV), then the 30 rows of
/work/shared/data/mhlw_ge_20211101_utf8_excerpt.csv, or of the file given as
the first argument. Needs Debian's python3-openpyxl.
"""
import csv
import os
import sys

import openpyxl

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from make_workbooks import save  # noqa: E402  (fixed timestamps)

ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", ".."))
SOURCE = sys.argv[1] if len(sys.argv) > 1 else "/work/shared/data/mhlw_ge_20211101_utf8_excerpt.csv"


def main():
    with open(SOURCE, encoding="utf-8", newline="") as f:
        rows = list(csv.reader(f))
    header, data = rows[0], rows[1:]
    wb = openpyxl.Workbook()
    ws = wb.active
    ws.title = "後発医薬品の有無"
    ws.append(["各先発医薬品の後発医薬品の有無に関する情報（令和3年11月1日適用）"])
    ws.append([])
    ws.append(["注）「各先発医薬品の後発医薬品の有無に関する情報」欄の区分は別紙のとおり"])
    ws.append(header)
    for row in data:
        row = (row + [""] * 8)[:8]
        # the flag column holds numbers 1 to 3 as numbers, ★ and ☆ as text
        flag = int(row[3]) if row[3].isdigit() else (row[3] or None)
        ws.append([row[0], row[1], row[2], flag] + [v or None for v in row[4:]])
    target = os.path.join(ROOT, "samples", "tp20211101-01_05.xlsx")
    # save() writes beside the fixtures; give it the sample's full path
    save(wb, target)
    print(target)


if __name__ == "__main__":
    main()
