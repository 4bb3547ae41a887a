#!/usr/bin/env python3
"""Writes a linear DNG, as a camera's raw file: 16-bit RGB, uncompressed, in one strip, with
red, green / blue, white quadrants as stored. libraw and dcraw open it like any camera's.

usage: make_dng.py WIDTH HEIGHT ORIENTATION OUTPUT   (ORIENTATION: the TIFF tag, 1 to 8)
"""
import struct
import sys

BYTE, ASCII, SHORT, LONG, RATIONAL, SRATIONAL = 1, 2, 3, 4, 5, 10
FORMATS = {BYTE: "B", ASCII: "B", SHORT: "H", LONG: "I", RATIONAL: "I", SRATIONAL: "i"}

width, height, orientation = (int(a) for a in sys.argv[1:4])
pixel = lambda r, g, b: struct.pack("<3H", r * 65535, g * 65535, b * 65535)
left, right = width // 2, width - width // 2
data = ((pixel(1, 0, 0) * left + pixel(0, 1, 0) * right) * (height // 2) +
        (pixel(0, 0, 1) * left + pixel(1, 1, 1) * right) * (height - height // 2))
model = list(b"Torvanix test\0")
entries = [  # tag, type, values (rationals as flat pairs)
    (254, LONG, [0]), (256, LONG, [width]), (257, LONG, [height]), (258, SHORT, [16] * 3),
    (259, SHORT, [1]), (262, SHORT, [34892]), (271, ASCII, list(b"Torvanix\0")),
    (272, ASCII, model), (273, LONG, [0]), (274, SHORT, [orientation]), (277, SHORT, [3]),
    (278, LONG, [height]), (279, LONG, [len(data)]), (284, SHORT, [1]),
    (50706, BYTE, [1, 4, 0, 0]), (50707, BYTE, [1, 1, 0, 0]), (50708, ASCII, model),
    (50721, SRATIONAL, [1, 1, 0, 1, 0, 1, 0, 1, 1, 1, 0, 1, 0, 1, 0, 1, 1, 1]),  # ColorMatrix1
    (50728, RATIONAL, [1, 1] * 3), (50778, SHORT, [21]),  # AsShotNeutral, D65
]
extra_at = 8 + 2 + 12 * len(entries) + 4
extra, fields = b"", []
for tag, kind, values in entries:
    raw = struct.pack("<%d%s" % (len(values), FORMATS[kind]), *values)
    count = len(values) // 2 if kind in (RATIONAL, SRATIONAL) else len(values)
    if len(raw) > 4:
        raw, extra = struct.pack("<I", extra_at + len(extra)), extra + raw + b"\0" * (len(raw) % 2)
    fields.append(struct.pack("<HHI", tag, kind, count) + raw.ljust(4, b"\0"))
fields[entries.index((273, LONG, [0]))] = struct.pack("<HHII", 273, LONG, 1, extra_at + len(extra))
with open(sys.argv[4], "wb") as out:
    out.write(b"II*\0" + struct.pack("<IH", 8, len(entries)) + b"".join(fields) +
              struct.pack("<I", 0) + extra + data)
