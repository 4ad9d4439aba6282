#!/usr/bin/python3
"""Writes the small .xlsx fixtures of the workbook reader's tests.

Run from anywhere: /usr/bin/python3 tests/data/workbooks/make_workbooks.py
Needs Debian's python3-openpyxl. The files are committed; rerun only to change
them. Workbooks that openpyxl cannot write (inline strings, rich text,
phonetic runs, cells without references, Excel's escapes) and the damaged
files are zipped by hand from their XML parts.
"""
import datetime
import io
import os
import re
import zipfile

import openpyxl

HERE = os.path.dirname(os.path.abspath(__file__))


def path(name):
    return os.path.join(HERE, name)


def fixed_zip(name, parts):
    """A zip with fixed timestamps, so reruns give the same bytes."""
    with zipfile.ZipFile(path(name), "w", zipfile.ZIP_DEFLATED) as z:
        for part, text in parts:
            info = zipfile.ZipInfo(part, date_time=(2021, 11, 1, 0, 0, 0))
            info.compress_type = zipfile.ZIP_DEFLATED
            z.writestr(info, text.encode("utf-8") if isinstance(text, str) else text)


def save(wb, name):
    buffer = io.BytesIO()
    wb.save(buffer)
    # re-zip with fixed timestamps, inside the document properties too
    parts = []
    with zipfile.ZipFile(io.BytesIO(buffer.getvalue())) as src:
        for info in src.infolist():
            data = src.read(info.filename)
            if info.filename == "docProps/core.xml":
                data = re.sub(rb"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ", b"2021-11-01T00:00:00Z", data)
            parts.append((info.filename, data))
    fixed_zip(name, parts)


def values():
    """Strings, numbers, booleans, gaps, quoting, Japanese, dates."""
    wb = openpyxl.Workbook()
    ws = wb.active
    ws.title = "値"
    ws.append(["code", "name", "amount", "flag", None, "last"])
    ws.append([1, 0.1, 1e-7, 1e20, 123456789012345, -3.5])
    ws.append([0.1 + 0.2, 2.5e-5, 1234567.891, -0.0, 100000000000000000, 0.0001])
    ws.append([True, False, None, "x"])                # padded to column F
    ws.append(["a,b", 'say "hi"', "two\nlines", " lead", "trail ", "cr\rhere"])
    ws.append(["ハロタン", "チトゾール注用０．５ｇ", "★", "☆", "①髙", "𠮷"])
    ws["A7"] = datetime.date(2021, 11, 1)
    ws["A7"].number_format = "mm-dd-yy"                 # built-in format 14
    ws["B7"] = datetime.datetime(2021, 11, 1, 13, 5, 9)
    ws["B7"].number_format = "yyyy/mm/dd hh:mm:ss"
    ws["C7"] = datetime.time(9, 30)
    ws["C7"].number_format = "h:mm"                     # built-in format 20
    ws["D7"] = 44501.75
    ws["D7"].number_format = 'yyyy"年"m"月"d"日" AM/PM h"時"'
    ws["E7"] = 12.5
    ws["E7"].number_format = "0.00"                     # not a date: General text
    ws["F7"] = "=1+1"                                   # a formula without cached value
    save(wb, "values.xlsx")


def sheets():
    """Three sheets; the second is active."""
    wb = openpyxl.Workbook()
    first = wb.active
    first.title = "First"
    first.append(["first sheet", 1])
    active = wb.create_sheet("Active")
    active.append(["active", "sheet"])
    active.append([2, 3])
    third = wb.create_sheet("Third")
    third.append(["third"])
    wb.active = 1
    save(wb, "sheets.xlsx")


def large():
    """20,000 rows of eight columns, like the drug list."""
    wb = openpyxl.Workbook()
    ws = wb.active
    for i in range(20000):
        ws.append([f"{1112700000000 + i:012d}", "成分名" + str(i), f"品名 {i}", i % 4 or None,
                   None, "", i * 0.5, "備考"])
    save(wb, "large.xlsx")


NS = 'xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" ' \
     'xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships"'
CONTENT_TYPES = """<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">
<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>
<Default Extension="xml" ContentType="application/xml"/>
</Types>"""
ROOT_RELS = """<?xml version="1.0" encoding="UTF-8"?>
<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">
<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument" Target="xl/workbook.xml"/>
</Relationships>"""
WORKBOOK = f"""<?xml version="1.0" encoding="UTF-8"?>
<workbook {NS}><sheets><sheet name="Sheet1" sheetId="1" r:id="rId1"/></sheets></workbook>"""
WORKBOOK_RELS = """<?xml version="1.0" encoding="UTF-8"?>
<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">
<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet" Target="/xl/worksheets/../worksheets/sheet1.xml"/>
{strings}</Relationships>"""
STRINGS_REL = '<Relationship Id="rId2" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/sharedStrings" Target="strings.xml"/>\n'


def hand_made(name, sheet, strings=None):
    parts = [("[Content_Types].xml", CONTENT_TYPES), ("_rels/.rels", ROOT_RELS),
             ("xl/workbook.xml", WORKBOOK), ("xl/_rels/workbook.xml.rels",
              WORKBOOK_RELS.format(strings=STRINGS_REL if strings is not None else "")),
             ("xl/worksheets/sheet1.xml", sheet)]
    if strings is not None:
        parts.append(("xl/strings.xml", strings))
    fixed_zip(name, parts)


def strings():
    """Rich text, phonetic runs, inline strings, escapes, cells and rows
    without references, formula results, a used range that starts at B2."""
    shared = f"""<?xml version="1.0" encoding="UTF-8"?>
<sst {NS} count="3" uniqueCount="3">
<si><t>plain</t></si>
<si><r><rPr><b/></rPr><t>rich </t></r><r><t xml:space="preserve">text </t></r><rPh sb="0" eb="1"><t>フリガナ</t></rPh><phoneticPr fontId="1"/></si>
<si><t>line_x000D_
break_x005F_x0041_</t></si>
</sst>"""
    sheet = f"""<?xml version="1.0" encoding="UTF-8"?>
<worksheet {NS}><dimension ref="B2:E5"/><sheetData>
<row r="2"><c r="B2" t="s"><v>0</v></c><c t="s"><v>1</v></c><c r="E2" t="s"><v>2</v></c></row>
<row><c r="C3" t="inlineStr"><is><r><t>in</t></r><r><t>line</t></r><rPh><t>イン</t></rPh></is></c></row>
<row r="5"><c r="B5" t="str"><f>A1&amp;"x"</f><v>x,y</v></c><c r="C5" t="e"><f>1/0</f><v>#DIV/0!</v></c><c r="D5"><f>1+1</f><v>2</v></c><c r="E5" t="b"><v>1</v></c></row>
</sheetData></worksheet>"""
    hand_made("strings.xlsx", sheet, shared)


def ranges():
    """Sheets whose dimension does not give the used range."""
    hand_made("no_dimension.xlsx", f"""<?xml version="1.0" encoding="UTF-8"?>
<worksheet {NS}><sheetData>
<row r="3"><c r="B3"><v>1</v></c></row><row r="5"><c r="D5"><v>2</v></c></row>
</sheetData></worksheet>""")
    hand_made("stale_dimension.xlsx", f"""<?xml version="1.0" encoding="UTF-8"?>
<worksheet {NS}><dimension ref="A1:B1"/><sheetData>
<row r="1"><c r="A1"><v>1</v></c></row><row r="2"><c r="C2"><v>2</v></c></row>
</sheetData></worksheet>""")
    hand_made("empty_sheet.xlsx", f"""<?xml version="1.0" encoding="UTF-8"?>
<worksheet {NS}><dimension ref="A1"/><sheetData/></worksheet>""")


def damaged():
    # the dimension lets the reader write as it parses: the damage is met
    # after the output file exists
    hand_made("damaged_sheet.xlsx", f"""<?xml version="1.0" encoding="UTF-8"?>
<worksheet {NS}><dimension ref="A1:A2"/><sheetData>
<row r="1"><c r="A1"><v>1</v></c></row>
<row r="2"><c r="A2"><v>1</v></c>
</sheetData></worksheet>""")
    hand_made("column_beyond_xfd.xlsx", f"""<?xml version="1.0" encoding="UTF-8"?>
<worksheet {NS}><sheetData><row r="1"><c r="XFE1"><v>1</v></c></row></sheetData></worksheet>""")
    hand_made("bad_shared_index.xlsx", f"""<?xml version="1.0" encoding="UTF-8"?>
<worksheet {NS}><sheetData><row r="1"><c r="A1" t="s"><v>7</v></c></row></sheetData></worksheet>""")
    hand_made("doctype.xlsx", f"""<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE worksheet [<!ENTITY a "aaaaaaaaaa">]>
<worksheet {NS}><sheetData><row r="1"><c r="A1" t="inlineStr"><is><t>&a;</t></is></c></row></sheetData></worksheet>""")
    # a sheet part that inflates to 4 MiB of blanks (the tests lower the limit)
    hand_made("inflates.xlsx", f"""<?xml version="1.0" encoding="UTF-8"?>
<worksheet {NS}>{" " * (4 << 20)}<sheetData/></worksheet>""")
    fixed_zip("no_workbook.xlsx", [("readme.txt", "not a workbook\n")])
    with open(path("not_a_zip.xlsx"), "wb") as f:
        f.write("コード,名前\r\n1,a\r\n".encode("utf-8"))
    with open(path("values.xlsx"), "rb") as f:
        whole = f.read()
    with open(path("truncated.xlsx"), "wb") as f:
        f.write(whole[: len(whole) // 2])


if __name__ == "__main__":
    values()
    sheets()
    large()
    strings()
    ranges()
    damaged()
