#!/usr/bin/env python3
"""Writes the sample data of the main job into samples/.

One small month (202110) of a made-up hospital, laid out as the real files:

  EN_202110.txt, FN_202110.txt   E and F file, inpatient: tab-separated,
  EG_202110.txt, FG_202110.txt   E and F file, outpatient  CP932, CR LF
  etc_tp20211101-01_05_converted.csv
                                 what converting the MHLW drug list workbook
                                 tp20211101-01_05.xlsx gives: UTF-8 with a
                                 byte-order mark, four heading lines, then
                                 code, ingredient, product, flag, four notes
  y_20250813.csv                 input, not written here: 35 rows of the Y
                                 drug code list as the list is laid out
                                 (42 quoted fields, CP932, CR LF): 21 rows of
                                 the public list of 2025-08-13, and 14 rows
                                 in its layout for products of the drug list
                                 workbook (generics among them), whose receipt
                                 codes 629990001 to 629990014 are made up

Every E row is one act (data class, order number); its F rows are the act's
details and share its eight key columns. Drug details carry a receipt code
(F field 8) taken from the Y list, so the derivation finds them; two drugs
and every procedure carry codes that the list does not hold. The drugs are
brands and generics of the drug list workbook tp20211101-01_05.xlsx, so the
month has a generic drug share (efload report): inpatient 50 / 136.5 =
36.6 %, outpatient 210 / 370 = 56.8 %; the enteral nutrient (エンシュア・Ｈ)
is absent from that list and shows under data quality.

Usage: scripts/make-samples.py [OUTDIR]   (default: samples/ beside scripts/)
The output is the same on every run.
"""
import csv
import os
import sys

FACILITY = "131234567"  # facility code (9 digits)
YYMM = "202110"

# Drugs used, by receipt code from the Y list: code -> (name, unit code, unit, price)
def read_y_list(path):
    drugs = {}
    with open(path, encoding="cp932", newline="") as f:
        for row in csv.reader(f):
            drugs[row[2]] = (row[4], row[7].zfill(3), row[9], row[11])
    return drugs

# Drugs a hospital uses that this excerpt of the list does not hold.
UNLISTED = {
    "620004520": ("生理食塩液「ヒカリ」　２０ｍＬ", "036", "管", "62"),
    "620098801": ("ロキソプロフェンＮａ錠６０ｍｇ「サワイ」", "016", "錠", "10.1"),
}

# Procedures: receipt code -> (name, points)
PROCEDURES = {
    "190117710": ("急性期一般入院料１", "1650"),
    "160008010": ("末梢血液一般検査", "21"),
    "160019410": ("ＣＲＰ", "16"),
    "112007410": ("再診料", "73"),
    "120001210": ("処方料（その他）", "42"),
    "130008810": ("点滴注射", "102"),
}


def money(text):
    return f"{float(text):.2f}".rstrip("0").rstrip(".")


class Month:
    """Collects the E and F lines of one kind (inpatient or outpatient)."""

    def __init__(self):
        self.e_lines = []
        self.f_lines = []

    def act(self, key, dkbn, jno, jisymd, kaisu, details, drugs, extra):
        """One act: one E line and one F line per detail.

        key      the patient's four leading fields (facility, data id, two dates)
        details  list of (receipt code, amount)
        extra    E fields 15 to 24 (insurer, receipt type, ... facility type)
        """
        jno_text = f"{jno:04d}"
        points = 0.0
        drug_cost = 0.0
        f_rows = []
        for kmno, (code, amount) in enumerate(details, start=1):
            if code in PROCEDURES:
                name, pts = PROCEDURES[code]
                unit_code, price = "", "0"
                kmtensu, kmyakuzai = pts, "0"
                points += float(pts)
            else:
                name, unit_code, _unit, price = drugs.get(code) or UNLISTED[code]
                kmtensu = "0"
                kmyakuzai = money(float(price) * float(amount))
                drug_cost += float(price) * float(amount)
            f_rows.append([
                *key, dkbn, jno_text, f"{kmno:03d}",
                f"{int(code) % 1000000:012d}",   # hospital's own item code
                code, "", name, amount, unit_code,
                kmtensu, kmyakuzai, "0", "0",      # detail points, drug cost, material cost, yen/point
                kmtensu if kmtensu != "0" else "", "000000000000",
            ])
        act_points = int(points + round(drug_cost / 10.0))
        first_code = details[0][0]
        first_name = PROCEDURES[first_code][0] if first_code in PROCEDURES else (
            "内服薬剤" if dkbn == "21" else "注射薬剤" if dkbn == "33" else "薬剤")
        self.e_lines.append([
            *key, dkbn, jno_text,
            f"{int(first_code) % 1000000:012d}", first_code, "",
            first_name, str(act_points), money(drug_cost) if drug_cost else "0", "0", "0",
            str(kaisu), *extra[:2], jisymd, *extra[2:],
        ])
        self.f_lines.extend(f_rows)


def inpatient(drugs):
    m = Month()
    extra = lambda doctor, ward: ["06131019", "1112", "01", "010", doctor, ward, "1", "0", "001"]
    # patient: data id, discharge date (00000000: still in hospital), admission date
    p1 = [FACILITY, "0000012345", "20211015", "20211003"]
    m.act(p1, "90", 1, "20211003", 12, [("190117710", "1")], drugs, extra("1000000101", "0000000301"))
    m.act(p1, "21", 2, "20211003", 7, [("610406079", "1.5"), ("629990001", "3")], drugs,
          extra("1000000101", "0000000301"))
    m.act(p1, "21", 3, "20211010", 5, [("629990002", "2")], drugs, extra("1000000101", "0000000301"))
    m.act(p1, "33", 4, "20211004", 3, [("620004520", "1"), ("610407025", "250")], drugs,
          extra("1000000101", "0000000301"))
    m.act(p1, "60", 5, "20211004", 1, [("160008010", "1"), ("160019410", "1")], drugs,
          extra("1000000101", "0000000301"))

    p2 = [FACILITY, "0000012346", "00000000", "20210925"]
    m.act(p2, "90", 1, "20211001", 31, [("190117710", "1")], drugs, extra("1000000102", "0000000302"))
    m.act(p2, "21", 2, "20211001", 14, [("629990003", "1"), ("610406389", "1"), ("620098801", "3")],
          drugs, extra("1000000102", "0000000302"))
    m.act(p2, "21", 3, "20211015", 16, [("629990004", "1"), ("629990005", "3")], drugs,
          extra("1000000102", "0000000302"))
    m.act(p2, "33", 4, "20211002", 10, [("610407025", "500"), ("130008810", "1")], drugs,
          extra("1000000102", "0000000302"))
    m.act(p2, "60", 5, "20211002", 4, [("160008010", "1")], drugs, extra("1000000102", "0000000302"))

    p3 = [FACILITY, "0000012350", "20211028", "20211020"]
    m.act(p3, "90", 1, "20211020", 8, [("190117710", "1")], drugs, extra("1000000103", "0000000301"))
    m.act(p3, "21", 2, "20211020", 8, [("629990006", "1"), ("629990007", "2"), ("629990008", "1")],
          drugs, extra("1000000103", "0000000301"))
    m.act(p3, "21", 3, "20211024", 4, [("610406193", "0.5")], drugs, extra("1000000103", "0000000301"))
    m.act(p3, "33", 4, "20211021", 2, [("620004520", "2"), ("130008810", "1")], drugs,
          extra("1000000103", "0000000301"))
    m.act(p3, "60", 5, "20211021", 2, [("160008010", "1"), ("160019410", "1")], drugs,
          extra("1000000103", "0000000301"))

    p4 = [FACILITY, "0000012361", "20211009", "20211006"]
    m.act(p4, "90", 1, "20211006", 4, [("190117710", "1")], drugs, extra("1000000104", "0000000303"))
    m.act(p4, "21", 2, "20211006", 3, [("629990009", "1"), ("629990010", "2")], drugs,
          extra("1000000104", "0000000303"))
    m.act(p4, "60", 3, "20211007", 1, [("160008010", "1")], drugs, extra("1000000104", "0000000303"))
    return m


def outpatient(drugs):
    m = Month()
    extra = lambda doctor: ["39131015", "1122", "01", "010", doctor, "", "", "1", "001"]
    # patient: data id, birthday, visit date
    visits = [
        ([FACILITY, "0000020001", "19450312", "20211005"], "1000000101",
         [("629990011", "2"), ("610406079", "1")], 28),
        ([FACILITY, "0000020002", "19620718", "20211007"], "1000000102",
         [("629990012", "1"), ("620098801", "3")], 14),
        ([FACILITY, "0000020003", "19801130", "20211012"], "1000000103",
         [("629990013", "3")], 30),
        ([FACILITY, "0000020004", "19391201", "20211019"], "1000000101",
         [("629990014", "1"), ("629990005", "2"), ("629990001", "3")], 21),
        ([FACILITY, "0000020001", "19450312", "20211026"], "1000000101",
         [("629990011", "2")], 28),
    ]
    for key, doctor, prescription, days in visits:
        visit = key[3]
        m.act(key, "12", 1, visit, 1, [("112007410", "1")], drugs, extra(doctor))
        m.act(key, "21", 2, visit, days, prescription, drugs, extra(doctor))
        m.act(key, "60", 3, visit, 1, [("160008010", "1"), ("160019410", "1")], drugs, extra(doctor))
    return m


# What the conversion of tp20211101-01_05.xlsx gives: four heading lines, then
# code, ingredient, product, flag and four notes (excerpt of the public list).
ETC_HEADING = [
    ["各先発医薬品の後発医薬品の有無に関する情報（令和3年11月1日適用）"],
    [""],
    ["注）「各先発医薬品の後発医薬品の有無に関する情報」欄の区分は別紙のとおり"],
    ["薬価基準収載医薬品コード", "成分名", "品名", "各先発医薬品の後発医薬品の有無に関する情報",
     "収載年月日", "経過措置による使用期限", "備考", "診療報酬における加算等の算定対象から除外する品目"],
]
ETC_ROWS = [
    ["1119401A1036", "ドロペリドール", "ドロレプタン注射液２５ｍｇ", "1", "", "", "", ""],
    ["1119402A1014", "プロポフォール", "プロポフォール２００ｍｇ２０ｍＬ注射液", "3", "", "", "", ""],
    ["1119402A1022", "プロポフォール", "１％ディプリバン注", "2", "", "", "", ""],
    ["1119403F1024", "レミマゾラムベシル酸塩", "アネレム静注用５０ｍｇ", "1", "", "", "", ""],
    ["1119702G1062", "セボフルラン", "セボフレン吸入麻酔液", "2", "", "", "", ""],
    ["1124003F2281", "ニトラゼパム", "ニトラゼパム錠５ｍｇ「イセイ」", "3", "", "R4.3.31まで", "", ""],
    ["1124007F1011", "トリアゾラム", "トリアゾラム０．１２５ｍｇ錠", "3", "", "", "", "1"],
    ["1124007F1020", "トリアゾラム", "ハルシオン０．１２５ｍｇ錠", "2", "", "", "", "1"],
    ["1124020F1017", "ブロマゼパム", "ブロマゼパム１ｍｇ錠", "★", "", "", "", ""],
    ["1124020F1025", "ブロマゼパム", "レキソタン錠１", "☆", "", "", "", ""],
    ["1129010F1036", "エスゾピクロン", "エスゾピクロン錠１ｍｇ「ＤＳＥＰ」", "3", "20210618", "", "", ""],
    ["1129400G1022", "デクスメデトミジン塩酸塩",
     "プレセデックス静注液２００μｇ／５０ｍＬシリンジ「ファイザー」", "2", "", "", "", ""],
    ["1139004Q1100", "バルプロ酸ナトリウム", "デパケンシロップ５％", "2", "", "", "", ""],
    ["2325003B2029", "ファモチジン", "ガスター散２％", "2", "", "", "", ""],
]


def write_tsv(path, lines):
    with open(path, "w", encoding="cp932", newline="") as out:
        for fields in lines:
            out.write("\t".join(fields) + "\r\n")


def write_csv_utf8_bom(path, rows):
    with open(path, "w", encoding="utf-8-sig", newline="") as out:
        csv.writer(out, lineterminator="\r\n").writerows(rows)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    outdir = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "samples")
    drugs = read_y_list(os.path.join(here, "..", "samples", "y_20250813.csv"))
    inp, out = inpatient(drugs), outpatient(drugs)
    os.makedirs(outdir, exist_ok=True)
    write_tsv(os.path.join(outdir, f"EN_{YYMM}.txt"), inp.e_lines)
    write_tsv(os.path.join(outdir, f"FN_{YYMM}.txt"), inp.f_lines)
    write_tsv(os.path.join(outdir, f"EG_{YYMM}.txt"), out.e_lines)
    write_tsv(os.path.join(outdir, f"FG_{YYMM}.txt"), out.f_lines)
    write_csv_utf8_bom(os.path.join(outdir, "etc_tp20211101-01_05_converted.csv"), ETC_HEADING + ETC_ROWS)
    for kind, m in (("inpatient", inp), ("outpatient", out)):
        listed = sum(1 for f in m.f_lines if f[8] in drugs)
        print(f"{kind}: {len(m.e_lines)} E lines, {len(m.f_lines)} F lines, "
              f"{listed} F lines with a code of the Y list")
    print(f"ETC: {len(ETC_ROWS)} rows after 4 heading lines; Y: {len(drugs)} rows")


if __name__ == "__main__":
    main()
