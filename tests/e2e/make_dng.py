#!/usr/bin/env python3
"""Writes a linear DNG, as a camera's raw file: four coloured quadrants, 16 bits a sample,
uncompressed, in one strip. libraw and dcraw open it like any camera's.

usage: make_dng.py WIDTH HEIGHT ORIENTATION OUTPUT
The stored picture has red at the top left, green at the top right, blue at the bottom left
and white at the bottom right; ORIENTATION is the TIFF orientation tag (1 to 8).
"""
import struct
import sys

SHORT, LONG, RATIONAL, SRATIONAL, BYTE, ASCII = 3, 4, 5, 10, 1, 2
QUADRANTS = ((0xFFFF, 0, 0), (0, 0xFFFF, 0), (0, 0, 0xFFFF), (0xFFFF, 0xFFFF, 0xFFFF))


def pixels(width, height):
    left, right = width // 2, width - width // 2
    top = struct.pack("<3H", *QUADRANTS[0]) * left + struct.pack("<3H", *QUADRANTS[1]) * right
    bottom = struct.pack("<3H", *QUADRANTS[2]) * left + struct.pack("<3H", *QUADRANTS[3]) * right
    return top * (height // 2) + bottom * (height - height // 2)


def main():
    width, height, orientation = (int(a) for a in sys.argv[1:4])
    data = pixels(width, height)
    model = b"Torvanix test\0"
    identity = [(1, 1), (0, 1), (0, 1), (0, 1), (1, 1), (0, 1), (0, 1), (0, 1), (1, 1)]
    # tag, type, values; offsets to out-of-line values are filled in below
    entries = [
        (254, LONG, [0]),                      # NewSubFileType: the main picture
        (256, LONG, [width]), (257, LONG, [height]),
        (258, SHORT, [16, 16, 16]),            # BitsPerSample
        (259, SHORT, [1]),                     # uncompressed
        (262, SHORT, [34892]),                 # LinearRaw
        (271, ASCII, b"Torvanix\0"),           # Make
        (272, ASCII, model),                   # Model
        (273, LONG, [0]),                      # StripOffsets, set below
        (274, SHORT, [orientation]),
        (277, SHORT, [3]), (278, LONG, [height]), (279, LONG, [len(data)]),
        (284, SHORT, [1]),                     # chunky
        (50706, BYTE, [1, 4, 0, 0]),           # DNGVersion
        (50707, BYTE, [1, 1, 0, 0]),           # DNGBackwardVersion
        (50708, ASCII, model),                 # UniqueCameraModel
        (50721, SRATIONAL, identity),          # ColorMatrix1
        (50728, RATIONAL, [(1, 1)] * 3),       # AsShotNeutral
        (50778, SHORT, [21]),                  # CalibrationIlluminant1: D65
    ]
    sizes = {BYTE: 1, ASCII: 1, SHORT: 2, LONG: 4, RATIONAL: 8, SRATIONAL: 8}
    codes = {SHORT: "H", LONG: "I", BYTE: "B"}
    ifd_at = 8
    extra_at = ifd_at + 2 + 12 * len(entries) + 4
    extra = bytearray()
    encoded = []
    for tag, kind, values in entries:
        if kind == ASCII:
            raw, count = bytes(values), len(values)
        elif kind in (RATIONAL, SRATIONAL):
            raw = b"".join(struct.pack("<ii" if kind == SRATIONAL else "<II", *v) for v in values)
            count = len(values)
        else:
            raw = struct.pack("<%d%s" % (len(values), codes[kind]), *values)
            count = len(values)
        encoded.append([tag, kind, count, raw])
    for item in encoded:
        if len(item[3]) > 4:
            offset = extra_at + len(extra)
            extra += item[3] + (b"\0" if len(item[3]) % 2 else b"")
            item.append(struct.pack("<I", offset))
        else:
            item.append(item[3].ljust(4, b"\0"))
    data_at = extra_at + len(extra)
    for item in encoded:
        if item[0] == 273:
            item[4] = struct.pack("<I", data_at)
    out = bytearray(b"II*\0" + struct.pack("<I", ifd_at))
    out += struct.pack("<H", len(encoded))
    for tag, kind, count, _, field in encoded:
        out += struct.pack("<HHI", tag, kind, count) + field
    out += struct.pack("<I", 0) + extra + data
    with open(sys.argv[4], "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main()
