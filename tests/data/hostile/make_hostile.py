#!/usr/bin/python3
"""Writes the hostile input corpus that tests/cli/hostile_corpus_test.cpp runs
through efload: broken encodings, odd line breaks, control bytes, short lines.

Run from anywhere: /usr/bin/python3 tests/data/hostile/make_hostile.py
The small files are committed; rerun only to change them. The 100 MB single
line is not committed: the test writes it into its temporary folder, and
`make_hostile.py --large DIR` writes the same file for trying it by hand.
Needs Debian's python3-openpyxl for the drug list workbook.
"""
import io
import os
import random
import re
import sys
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
CRLF = b"\r\n"


def e_line(serial, name="内服薬", fields=25):
    """One E line of `fields` tab-separated fields; CP932 unless re-encoded."""
    values = ["131234567", "0000099999", "20211031", "20211001", "21", "%04d" % serial,
              "000000406079", "610406079", "", name, "5", "47.85", "0", "0", "7", "06131019",
              "1112", "20211003", "01", "010", "1000000101", "0000000301", "1", "0", "001"]
    values = values[:fields] + ["x"] * (fields - len(values))
    return "\t".join(values)


def cp932(text):
    return text.encode("cp932")


def y_line(fields=32):
    values = ["0", "Y", "610406079", "7", "ガスター散２％"] + ["0"] * 26 + ["001425000"]
    return ",".join(values[:fields]).encode("cp932")


def write(name, data):
    with open(os.path.join(HERE, name), "wb") as f:
        f.write(data)


def large_line(path):
    """100 MB in one line of four fields: no break anywhere."""
    with open(path, "wb") as f:
        f.write(b"a\tb\tc\t")
        block = b"x" * (1 << 20)
        for _ in range(100):
            f.write(block)


def etc_workbook():
    """A drug list as the ministry lays it out: four heading rows, then rows
    of eight columns (the last one empty in the second row)."""
    import openpyxl

    wb = openpyxl.Workbook()
    ws = wb.active
    ws.title = "一覧"
    ws.append(["薬価基準収載品目リスト"])
    ws.append(["令和3年11月1日適用"])
    ws.append([])
    ws.append(["コード", "成分名", "品名", "区分", "備考1", "備考2", "備考3", "備考4"])
    ws.append(["2325003B2029", "ファモチジン", "ガスター散２％", "内", "1", "2", "3", "4"])
    ws.append(["5100133A1011", "テルミサルタン", "ミカルディス錠", "内", "a", "b", "c", None])
    ws.append(["6132002F1020", "セファゾリン", "セファメジン注", "注", "x", "y", "z", "w"])
    buffer = io.BytesIO()
    wb.save(buffer)
    # fixed timestamps, inside the document properties too, so reruns give the same bytes
    with zipfile.ZipFile(io.BytesIO(buffer.getvalue())) as src, \
            zipfile.ZipFile(os.path.join(HERE, "etc_good.xlsx"), "w", zipfile.ZIP_DEFLATED) as out:
        for info in src.infolist():
            data = src.read(info.filename)
            if info.filename == "docProps/core.xml":
                data = re.sub(rb"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ", b"2021-11-01T00:00:00Z", data)
            fixed = zipfile.ZipInfo(info.filename, date_time=(2021, 11, 1, 0, 0, 0))
            fixed.compress_type = zipfile.ZIP_DEFLATED
            out.writestr(fixed, data)


def main():
    if len(sys.argv) == 3 and sys.argv[1] == "--large":
        large_line(os.path.join(sys.argv[2], "large_line.txt"))
        return

    good = cp932(e_line(1)) + CRLF + cp932(e_line(2)) + CRLF

    write("zero_bytes.txt", b"")
    write("bom_only.txt", b"\xef\xbb\xbf")                      # a mark and no text
    write("only_breaks.txt", b"\r\n\n\r\r\n")                  # three empty lines
    # NUL ends the line for splitting: line 2 has three fields
    write("nul_in_line.txt", cp932(e_line(1)) + CRLF + b"131234567\t0000099999\t2021\x001031\t" +
          cp932(e_line(2)).split(b"\t", 3)[3] + CRLF)
    # NUL after the 25th field: what follows it is not split, the rows load
    write("nul_after_fields.txt", cp932(e_line(1)) + b"\x00\tjunk\tjunk" + CRLF +
          cp932(e_line(2)) + b"\x00" + CRLF)
    # 0x1A stays inside its field; as a DOS end-of-file mark it is a line of one field
    write("sub_in_field.txt", cp932(e_line(1, "内\x1a服")) + CRLF)
    write("eof_mark.txt", good + b"\x1a")
    write("lone_cr.txt", cp932(e_line(1)) + b"\r" + cp932(e_line(2)) + b"\r")
    write("lf_cr.txt", cp932(e_line(1)) + b"\n\r" + cp932(e_line(2)) + b"\n\r")
    # a mark, a good line, then C3 28 (a lead byte without its continuation)
    write("utf8_invalid.txt", b"\xef\xbb\xbf" + e_line(1).encode("utf-8") + CRLF +
          e_line(2, "内服X").encode("utf-8").replace(b"X", b"\xc3(") + CRLF)
    utf16 = (e_line(1, "ガスター散２％") + "\r\n" + e_line(2, "𠮷野家") + "\r\n")
    write("utf16_odd.txt", b"\xff\xfe" + utf16.encode("utf-16-le") + b"\x00")
    write("utf16_unpaired.txt", b"\xff\xfe" + e_line(1).encode("utf-16-le") + b"\r\x00\n\x00" +
          e_line(2, "X").encode("utf-16-le").replace("X".encode("utf-16-le"), b"\x00\xd8") +
          b"\r\x00\n\x00")
    write("utf16be.txt", b"\xfe\xff" + utf16.encode("utf-16-be"))
    rng = random.Random(20211001)
    noise = bytes(rng.randrange(256) for _ in range(4096))
    assert noise[:2] not in (b"\xff\xfe", b"\xfe\xff") and noise[:3] != b"\xef\xbb\xbf"
    write("random.bin", noise)
    write("e_24_fields.txt", cp932(e_line(1)) + CRLF + cp932(e_line(2, fields=24)) + CRLF)
    write("y_31_fields.csv", y_line() + CRLF + y_line(31) + CRLF)
    etc_workbook()


if __name__ == "__main__":
    main()
