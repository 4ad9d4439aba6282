#!/usr/bin/env python3
"""The zip a hospital receives, from the two built programs and package/.

    make_package.py --version 1.0.0 --epoch SECONDS --efimport EFImport.exe
                    --efload efload.exe --out efimport-1.0.0-win64.zip
    make_package.py --version 1.0.0 --guide-only --out guide.html

scripts/package builds the programs and calls this; scripts/screenshot-guide
asks for the guide page alone. The zip holds, in this
order (the CONTENTS table below):
  EFImport.exe, efload.exe   the programs, as built
  データベース作成.bat         from *.bat.in: code page 932, CR LF line ends
  薬剤使用割合レポート.bat
  使い方ガイド.html            from guide.html.in: the version and the
                              screenshots (docs/*.png) put in as data URIs

The same inputs give the same bytes: every entry carries the time `--epoch`
(SOURCE_DATE_EPOCH, the commit's time), the entries come in a fixed order
with fixed attributes, and nothing of the machine or the moment is written.

Entry names. Explorer's built-in zip support reads a name without the UTF-8
flag (general purpose bit 11) in the PC's OEM code page, 932 on a Japanese
Windows, on every version of Windows; a name with the flag is read as UTF-8
only by newer ones (Windows 7's compressed folders ignore the flag and show
UTF-8 names garbled, as do older Japanese archivers). So the names are
written in code page 932 without the flag, and each Japanese name also in
UTF-8 in an Info-ZIP Unicode Path extra field (0x7075), which 7-Zip,
Info-ZIP's unzip and libarchive read on any system.
"""
import argparse
import base64
import datetime
import os
import struct
import sys
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)

BATCH_FILES = ["データベース作成.bat", "薬剤使用割合レポート.bat"]
GUIDE_NAME = "使い方ガイド.html"
# Images of the guide: placeholder in guide.html.in -> file under docs/.
GUIDE_IMAGES = {
    "@WINDOW_PNG@": "docs/screenshot.png",
    "@REPORT_PNG@": "docs/report.png",
}


# ---- The entries ----

def batch_file(name):
    """A batch file from its UTF-8 source: CR LF line ends, code page 932.
    cmd.exe reads batch files in the console's code page, 932 on a Japanese
    PC; a character that code page lacks is refused here."""
    with open(os.path.join(HERE, name + ".in"), encoding="utf-8") as source:
        text = source.read()
    if "\r" in text:
        sys.exit(f"make_package: {name}.in: write it with LF line ends, CR LF is made here")
    try:
        return text.replace("\n", "\r\n").encode("cp932")
    except UnicodeEncodeError as error:
        sys.exit(f"make_package: {name}.in: {error.object[error.start:error.end]!r} "
                 "is not in code page 932")


def data_uri(path):
    with open(os.path.join(ROOT, path), "rb") as image:
        return "data:image/png;base64," + base64.b64encode(image.read()).decode("ascii")


def guide(version):
    """The guide page: one self-contained file, the images inline."""
    with open(os.path.join(HERE, "guide.html.in"), encoding="utf-8") as source:
        text = source.read()
    text = text.replace("@VERSION@", version)
    for placeholder, path in GUIDE_IMAGES.items():
        text = text.replace(placeholder, data_uri(path))
    left = [word for word in text.split("@") if word.isupper() and word.replace("_", "").isalnum()]
    if left:
        sys.exit(f"make_package: guide.html.in: placeholders left unfilled: {sorted(set(left))}")
    return text.encode("utf-8")


# ---- The zip ----

UNICODE_PATH_FIELD = 0x7075   # Info-ZIP Unicode Path extra field
DEFLATED = 8
VERSION_NEEDED = 20           # 2.0: deflate
MADE_BY = 20                  # 2.0 on MS-DOS/FAT: attributes are DOS attributes
ARCHIVE_ATTRIBUTE = 0x20      # what Windows gives a file it writes


def dos_time(epoch):
    """The zip's date and time fields (local time of no zone, 2-second steps)
    for `epoch`, taken as UTC so that the machine's zone plays no part."""
    t = datetime.datetime.fromtimestamp(max(epoch, 315532800), datetime.timezone.utc)  # 1980 at least
    date = ((t.year - 1980) << 9) | (t.month << 5) | t.day
    time = (t.hour << 11) | (t.minute << 5) | (t.second // 2)
    return time, date


def stored_name(name):
    """The name as the header holds it, and its extra field (empty for ASCII)."""
    raw = name.encode("cp932")
    if raw == name.encode("utf-8"):
        return raw, b""
    utf8 = name.encode("utf-8")
    body = struct.pack("<BI", 1, zlib.crc32(raw)) + utf8  # version 1, CRC of the header's name
    return raw, struct.pack("<HH", UNICODE_PATH_FIELD, len(body)) + body


def deflate(data):
    compressor = zlib.compressobj(9, zlib.DEFLATED, -15, 9)
    return compressor.compress(data) + compressor.flush()


def write_zip(path, entries, epoch):
    """Writes `entries` ((name, bytes) in order) to `path`, replacing it whole."""
    time, date = dos_time(epoch)
    body = bytearray()
    directory = bytearray()
    for name, data in entries:
        raw, extra = stored_name(name)
        packed = deflate(data)
        crc = zlib.crc32(data)
        fields = struct.pack("<HHHHHIIIHH", VERSION_NEEDED, 0, DEFLATED, time, date, crc,
                             len(packed), len(data), len(raw), len(extra))
        offset = len(body)
        body += b"PK\x03\x04" + fields + raw + extra + packed
        directory += (b"PK\x01\x02" + struct.pack("<H", MADE_BY) + fields +
                      struct.pack("<HHHII", 0, 0, 0, ARCHIVE_ATTRIBUTE, offset) + raw + extra)
    end = b"PK\x05\x06" + struct.pack("<HHHHIIH", 0, 0, len(entries), len(entries), len(directory),
                                       len(body), 0)
    if len(body) + len(directory) >= 0xFFFFFFFF:
        sys.exit("make_package: the zip would need zip64")
    temporary = path + ".part"
    with open(temporary, "wb") as out:
        out.write(body + directory + end)
    os.replace(temporary, path)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--version", required=True)
    parser.add_argument("--epoch", type=int, help="SOURCE_DATE_EPOCH: the entries' time")
    parser.add_argument("--efimport", help="the built EFImport.exe")
    parser.add_argument("--efload", help="the built efload.exe")
    parser.add_argument("--guide-only", action="store_true", help="write the guide page alone to --out")
    parser.add_argument("--out", required=True, help="the zip to write (the page with --guide-only)")
    args = parser.parse_args()
    if args.guide_only:
        with open(args.out, "wb") as page:
            page.write(guide(args.version))
        return
    if args.epoch is None or not args.efimport or not args.efload:
        parser.error("the zip needs --epoch, --efimport and --efload")

    def program(path):
        with open(path, "rb") as exe:
            return exe.read()

    # CONTENTS: what the operator sees first comes first.
    entries = [
        ("EFImport.exe", program(args.efimport)),
        ("efload.exe", program(args.efload)),
        *[(name, batch_file(name)) for name in BATCH_FILES],
        (GUIDE_NAME, guide(args.version)),
    ]
    write_zip(args.out, entries, args.epoch)


if __name__ == "__main__":
    main()
