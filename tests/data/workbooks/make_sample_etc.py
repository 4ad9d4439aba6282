#!/usr/bin/python3
"""Writes samples/tp20211101-01_05.xlsx, a drug list workbook laid out like
the ministry's: three heading rows and the column headings above the data
(the import skips the first four lines of the CSV), then 30 rows of the
public list of 2021-11-01 (各先発医薬品の後発医薬品の有無に関する情報), as
published: its first rows (/work/shared/data/mhlw_ge_20211101_utf8_excerpt.csv)
and the rows of the products the sample month uses, so the sample month has
a generic drug share. Needs Debian's python3-openpyxl.

write_drug_list() writes the same layout for other rows; generated_rows()
makes as many made-up data rows as a test needs (the kill test loads a large
list this way).
"""
import os
import sys

import openpyxl

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from make_workbooks import save  # noqa: E402  (fixed timestamps)

ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", ".."))
SHEET = "後発医薬品の有無"
HEADINGS = [
    ["各先発医薬品の後発医薬品の有無に関する情報（令和3年11月1日適用）"],
    [],
    ["注）「各先発医薬品の後発医薬品の有無に関する情報」欄の区分は別紙のとおり"],
]


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


HEADER = ["薬価基準収載医薬品コード", "成分名", "品名", "各先発医薬品の後発医薬品の有無に関する情報",
          "収載年月日", "経過措置による使用期限", "備考", "診療報酬における加算等の算定対象から除外する品目"]
# code, ingredient, product, class, listed on, transitional until, note, excluded
ROWS = [
    ["1112700X1011", "ハロタン", "ハロタン", "", "", "", "", ""],
    ["1114700X1016", "麻酔用エーテル", "麻酔用エーテル", "", "", "", "", ""],
    ["1115400X1019", "チオペンタールナトリウム", "注射用チオペンタールナトリウム", "", "", "", "", ""],
    ["1119400A1031", "ケタミン塩酸塩", "ケタラール静注用２００ｍｇ", "", "", "", "", ""],
    ["1119401A1036", "ドロペリドール", "ドロレプタン注射液２５ｍｇ", "1", "", "", "", ""],
    ["1119402A1014", "プロポフォール", "プロポフォール２００ｍｇ２０ｍＬ注射液", "3", "", "", "", ""],
    ["1119402A1022", "プロポフォール", "１％ディプリバン注", "2", "", "", "", ""],
    ["1119702G1062", "セボフルラン", "セボフレン吸入麻酔液", "2", "", "", "", ""],
    ["1124003F2281", "ニトラゼパム", "ニトラゼパム錠５ｍｇ「イセイ」", "3", "", "R4.3.31まで", "", ""],
    ["1124007F1011", "トリアゾラム", "トリアゾラム０．１２５ｍｇ錠", "3", "", "", "", "1"],
    ["1124007F1020", "トリアゾラム", "ハルシオン０．１２５ｍｇ錠", "2", "", "", "", "1"],
    ["1124017F2135", "ジアゼパム", "２ｍｇセルシン錠", "", "", "", "", ""],
    ["1124020F1017", "ブロマゼパム", "ブロマゼパム１ｍｇ錠", "★", "", "", "", ""],
    ["1124020F1025", "ブロマゼパム", "レキソタン錠１", "☆", "", "", "", ""],
    ["1129009F1092", "ゾルピデム酒石酸塩", "ゾルピデム酒石酸塩錠５ｍｇ「Ｆ」", "3", "", "R4.3.31まで", "", "1"],
    ["1129010F1028", "エスゾピクロン", "ルネスタ錠１ｍｇ", "2", "", "", "", ""],
    ["1129010F1036", "エスゾピクロン", "エスゾピクロン錠１ｍｇ「ＤＳＥＰ」", "3", "20210618", "", "", ""],
    ["1139004F2190", "バルプロ酸ナトリウム", "バルプロ酸Ｎａ錠２００ｍｇ「フジナガ」", "3", "", "", "", ""],
    ["1139004Q1100", "バルプロ酸ナトリウム", "デパケンシロップ５％", "2", "", "", "", ""],
    ["1179025F1026", "エチゾラム", "デパス錠０．５ｍｇ", "2", "", "", "", ""],
    ["1179025F2286", "エチゾラム", "エチゾラム錠１ｍｇ「ＪＧ」", "3", "", "", "", ""],
    ["2325003B2010", "ファモチジン", "ファモチジン２％散", "3", "", "", "", ""],
    ["2325003B2029", "ファモチジン", "ガスター散２％", "2", "", "", "", ""],
    ["2329021F1099", "レバミピド", "レバミピド錠１００ｍｇ「サワイ」", "3", "", "", "", ""],
    ["2329021F1102", "レバミピド", "ムコスタ錠１００ｍｇ", "2", "", "", "", ""],
    ["2329027D1028", "ポラプレジンク", "プロマック顆粒１５％", "2", "", "", "", ""],
    ["2329027D1044", "ポラプレジンク", "ポラプレジンク顆粒１５％「ＣＨ」", "3", "", "", "", ""],
    ["2329030F1020", "ボノプラザンフマル酸塩", "タケキャブ錠１０ｍｇ", "1", "", "", "", ""],
    ["2344009F2031", "酸化マグネシウム", "マグミット錠３３０ｍｇ", "3", "", "", "", ""],
    ["5100133A1011", "テンマ", "テンマ末", "", "", "", "", ""],
]


def main():
    target = os.path.join(ROOT, "samples", "tp20211101-01_05.xlsx")
    # save() writes beside the fixtures; give it the sample's full path
    write_drug_list(target, HEADER, [cells(row) for row in ROWS])
    print(target)


if __name__ == "__main__":
    main()
