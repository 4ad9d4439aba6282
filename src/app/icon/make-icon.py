#!/usr/bin/env python3
"""Makes efimport.ico, the icon of EFImport.exe and efload.exe, from its sources:

  efimport.svg   the picture, drawn for 32 px and up: rendered at 24, 32, 48 and
                 256 px (rsvg-convert, from librsvg2-bin)
  PIXELS_16      the same picture set pixel by pixel for 16 px (below): scaled
                 down, the cylinder's curves blur into one colour at that size

ImageMagick puts the sizes into one .ico (small sizes as bitmaps, 256 px as PNG).
The .ico is committed, so a build needs none of these tools.
Usage: make-icon.py [OUT.ico]   (default: efimport.ico beside this script)
"""
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import zlib

COLOURS = {  # RGBA; the same colours as efimport.svg
    ".": (0, 0, 0, 0),
    "D": (0x17, 0x3F, 0x73, 255),  # cylinder outline
    "L": (0x9C, 0xC4, 0xEE, 255),  # cylinder top
    "B": (0x2F, 0x6D, 0xB5, 255),  # cylinder body
    "o": (0x8A, 0x4B, 0x00, 255),  # arrow outline
    "O": (0xF5, 0x9A, 0x12, 255),  # arrow
}

PIXELS_16 = [
    "..........oooo..",
    "...DDDDDD.oOOo..",
    ".DDLLLLLLDoOOo..",
    "DLLLLLLLLLoOOo..",
    "DDDLLLLLLDoOOo..",
    "DBBDDDDDDBoOOo..",
    "DBBBBBBBBBoOOo..",
    "DBBBBBBBoooOOooo",
    "DDDBBBBBBoOOOOo.",
    "DBBDDDDDDBoOOo..",
    "DBBBBBBBBBBoo...",
    "DBBBBBBBBBBD....",
    "DBBBBBBBBBBD....",
    ".DDBBBBBBDD.....",
    "...DDDDDD.......",
    "................",
]
SVG_SIZES = (24, 32, 48, 256)


def png_from_pixels(rows):
    """An RGBA PNG of the character rows, one pixel per character."""
    raw = b"".join(b"\0" + b"".join(bytes(COLOURS[c]) for c in row) for row in rows)
    chunk = lambda kind, data: (struct.pack(">I", len(data)) + kind + data +
                                struct.pack(">I", zlib.crc32(kind + data)))
    header = struct.pack(">IIBBBBB", len(rows[0]), len(rows), 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9)) +
            chunk(b"IEND", b""))


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "efimport.ico"))
    assert len(PIXELS_16) == 16 and all(len(row) == 16 for row in PIXELS_16)
    for tool in ("rsvg-convert", "/usr/bin/convert"):
        if not shutil.which(tool):
            sys.exit(f"make-icon: {tool} is missing (scripts/setup installs it)")
    with tempfile.TemporaryDirectory() as work:
        pngs = [os.path.join(work, "16.png")]
        with open(pngs[0], "wb") as f:
            f.write(png_from_pixels(PIXELS_16))
        for size in SVG_SIZES:
            pngs.append(os.path.join(work, f"{size}.png"))
            subprocess.run(["rsvg-convert", "-w", str(size), "-h", str(size), "-o", pngs[-1],
                            os.path.join(here, "efimport.svg")], check=True)
        subprocess.run(["/usr/bin/convert", *pngs, out], check=True)
    print(f"make-icon: {out}")


if __name__ == "__main__":
    main()
