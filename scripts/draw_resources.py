#!/usr/bin/env python3
"""Draw Torvanix's bundled pictures.

Writes, relative to the repository root:
  resources/card.bmp      600x400 instruction card, 8-bit grey-palette BMP
  resources/torvanix.png  16x16 program icon, 4-bit palette PNG

The card text is rasterised by ImageMagick 6 (/usr/bin/convert) with a
DejaVu Serif TrueType font; everything else (BMP and PNG encoding, the
icon pixels) is done here with the standard library only, so repeated
runs produce byte-identical files.

Usage: scripts/draw_resources.py   (from anywhere; paths are resolved
against the repository that contains this script)
"""

import os
import struct
import subprocess
import sys
import zlib

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
RES_DIR = os.path.join(ROOT, "resources")

CONVERT = "/usr/bin/convert"
FONT_DIR = "/usr/share/fonts/truetype/dejavu"
FONT_REGULAR = os.path.join(FONT_DIR, "DejaVuSerif.ttf")
FONT_BOLD = os.path.join(FONT_DIR, "DejaVuSerif-Bold.ttf")


def fail(msg):
    sys.stderr.write("draw_resources: " + msg + "\n")
    sys.exit(1)


# ---------------------------------------------------------------------------
# Instruction card
# ---------------------------------------------------------------------------

CARD_W, CARD_H = 600, 400

TITLE_SIZE = 24          # px (ImageMagick's default 72 dpi: 1 pt == 1 px)
BODY_SIZE = 15           # px

MARGIN_X = 46            # left edge of the title, the list labels and lines 7-8
ITEM_INDENT = 78         # left edge of the list texts (right of "[a]" etc.)
MIN_MARGIN = 24          # ink must stay at least this far from every border

TITLE_BASELINE = 94
TITLE_TO_BODY = 42       # title baseline -> first body baseline
LINE_STEP = 25           # baseline to baseline inside a group
GROUP_GAP = 11           # extra space between groups

# A line without a label but indented continues the previous list item.
TITLE = "Torvanix by Dalvester"
BODY = [
    # label, text, indented, new group
    ("[a]", "Drag\u2019n\u2019drop any image file into the main window of Torvanix,", True, False),
    (None, "or press \u27e8Ctrl\u27e9 + \u27e8V\u27e9 to paste an image from the Clipboard;", True, False),
    ("[b]", "click on the image to set the extremities of the segment", True, True),
    (None, "whose inclination you want to know;", True, False),
    ("[c]", "read the inclination in the title bar of Torvanix.", True, True),
    (None, "Press \u27e8Esc\u27e9 to reset the measuring segment.", False, True),
    (None, "Press \u27e8F1\u27e9 to open the ReadMe.", False, False),
]


def im_text(s):
    """Quote a string for -annotate so ImageMagick draws it literally."""
    if s.startswith("@"):
        fail("annotation text must not start with '@': %r" % s)
    if "\\" in s:
        fail("annotation text must not contain a backslash: %r" % s)
    return s.replace("%", "%%")


def run_convert(args):
    env = dict(os.environ)
    env["MAGICK_THREAD_LIMIT"] = "1"
    try:
        proc = subprocess.run([CONVERT] + args, stdout=subprocess.PIPE,
                              stderr=subprocess.PIPE, env=env, check=False)
    except OSError as exc:
        fail("cannot run %s: %s" % (CONVERT, exc))
    if proc.returncode != 0:
        fail("%s failed (%d): %s" % (CONVERT, proc.returncode,
                                     proc.stderr.decode("utf-8", "replace")))
    return proc.stdout


def card_layout():
    """Return a list of (font, size, x, baseline, text) annotations.

    With no -gravity set, the y of -annotate +x+y is the text baseline.
    """
    items = [(FONT_BOLD, TITLE_SIZE, MARGIN_X, TITLE_BASELINE, TITLE)]
    y = TITLE_BASELINE + TITLE_TO_BODY
    first = True
    for label, text, indented, new_group in BODY:
        if not first:
            y += LINE_STEP + (GROUP_GAP if new_group else 0)
        first = False
        if label is not None:
            items.append((FONT_REGULAR, BODY_SIZE, MARGIN_X, y, label))
        x = ITEM_INDENT if indented else MARGIN_X
        items.append((FONT_REGULAR, BODY_SIZE, x, y, text))
    return items


def render_card():
    for path in (FONT_REGULAR, FONT_BOLD):
        if not os.path.isfile(path):
            fail("font file not found: %s (install fonts-dejavu-core / "
                 "fonts-dejavu-extra)" % path)
    if not os.access(CONVERT, os.X_OK):
        fail("ImageMagick not found at %s" % CONVERT)

    args = ["-size", "%dx%d" % (CARD_W, CARD_H), "xc:white",
            "-antialias", "-fill", "black", "-stroke", "none"]
    for font, size, x, y, text in card_layout():
        args += ["-font", font, "-pointsize", str(size),
                 "-annotate", "+%d+%d" % (x, y), im_text(text)]
    args += ["-colorspace", "Gray", "-depth", "8", "gray:-"]
    grey = run_convert(args)
    if len(grey) != CARD_W * CARD_H:
        fail("unexpected raster size from ImageMagick: %d bytes" % len(grey))
    check_card_margins(grey)
    return grey


def check_card_margins(grey):
    """Refuse to write a card whose text runs into (or past) the border."""
    xs, ys = [], []
    for y in range(CARD_H):
        row = grey[y * CARD_W:(y + 1) * CARD_W]
        for x, v in enumerate(row):
            if v < 250:
                xs.append(x)
                ys.append(y)
    if not xs:
        fail("card came out blank")
    left, right = min(xs), max(xs)
    top, bottom = min(ys), max(ys)
    if (left < MIN_MARGIN or top < MIN_MARGIN
            or right > CARD_W - 1 - MIN_MARGIN
            or bottom > CARD_H - 1 - MIN_MARGIN):
        fail("card text too close to the border: ink box x %d..%d, y %d..%d"
             % (left, right, top, bottom))


def encode_bmp_grey8(width, height, grey):
    """8-bit BI_RGB BMP, 256-entry palette with entry i == RGB(i, i, i)."""
    stride = (width + 3) & ~3
    pad = b"\0" * (stride - width)
    palette = b"".join(struct.pack("<BBBB", i, i, i, 0) for i in range(256))
    pixel_offset = 14 + 40 + len(palette)
    image_size = stride * height
    file_size = pixel_offset + image_size

    file_header = struct.pack("<2sIHHI", b"BM", file_size, 0, 0, pixel_offset)
    info_header = struct.pack("<IiiHHIIiiII",
                              40,          # biSize
                              width,
                              height,      # positive: rows stored bottom-up
                              1,           # biPlanes
                              8,           # biBitCount
                              0,           # biCompression = BI_RGB
                              image_size,
                              2835, 2835,  # 72 dpi
                              256,         # biClrUsed
                              0)           # biClrImportant (all)
    rows = []
    for y in range(height - 1, -1, -1):
        rows.append(grey[y * width:(y + 1) * width] + pad)
    return file_header + info_header + palette + b"".join(rows)


# ---------------------------------------------------------------------------
# Program icon: a spirit level seen from the side
# ---------------------------------------------------------------------------

# One character per pixel.
ICON_LEGEND = {
    ".": 0,   # transparent
    "K": 1,   # black outline and vial mark
    "G": 2,   # bright green liquid
    "D": 3,   # dark green: bubble rim, shading
    "W": 4,   # white bubble
}
ICON_PALETTE = [
    (0, 0, 0),        # 0 transparent (see tRNS)
    (0, 0, 0),        # 1 black
    (40, 230, 40),    # 2 bright green
    (0, 110, 0),      # 3 dark green
    (255, 255, 255),  # 4 white
]
ICON_ALPHA = [0]      # tRNS: entry 0 fully transparent, the rest opaque

ICON = [
    "................",
    "................",
    "................",
    "................",
    ".KKKKKKKKKKKKKK.",
    "KDWWWWWDKGGGGGGK",
    "KGDWWWDGKGGGGGGK",
    "KGGDDDGGKGGGGGGK",
    "KGGGGGGGKGGGGGGK",
    "KGGGGGGGKGGGGGGK",
    "KDDDDDDDKDDDDDDK",
    ".KKKKKKKKKKKKKK.",
    "................",
    "................",
    "................",
    "................",
]


def png_chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + \
        struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


def encode_png_palette4(grid, legend, palette, alpha):
    height = len(grid)
    width = len(grid[0])
    if len(palette) > 16:
        fail("icon palette has more than 16 colours")
    raw = bytearray()
    for y, line in enumerate(grid):
        if len(line) != width:
            fail("icon row %d is %d wide, expected %d" % (y, len(line), width))
        raw.append(0)  # filter type: None
        idx = []
        for ch in line:
            if ch not in legend:
                fail("icon row %d: unknown pixel %r" % (y, ch))
            idx.append(legend[ch])
        if len(idx) % 2:
            idx.append(0)
        for i in range(0, len(idx), 2):
            raw.append((idx[i] << 4) | idx[i + 1])
    ihdr = struct.pack(">IIBBBBB", width, height, 4, 3, 0, 0, 0)
    plte = b"".join(struct.pack("BBB", *rgb) for rgb in palette)
    trns = bytes(alpha)
    return (b"\x89PNG\r\n\x1a\n"
            + png_chunk(b"IHDR", ihdr)
            + png_chunk(b"PLTE", plte)
            + png_chunk(b"tRNS", trns)
            + png_chunk(b"IDAT", zlib.compress(bytes(raw), 9))
            + png_chunk(b"IEND", b""))


# ---------------------------------------------------------------------------


def write_file(path, data):
    tmp = path + ".tmp"
    with open(tmp, "wb") as f:
        f.write(data)
    os.replace(tmp, path)
    print("wrote %s (%d bytes)" % (os.path.relpath(path, ROOT), len(data)))


def main():
    os.makedirs(RES_DIR, exist_ok=True)
    grey = render_card()
    write_file(os.path.join(RES_DIR, "card.bmp"),
               encode_bmp_grey8(CARD_W, CARD_H, grey))
    write_file(os.path.join(RES_DIR, "torvanix.png"),
               encode_png_palette4(ICON, ICON_LEGEND, ICON_PALETTE, ICON_ALPHA))


if __name__ == "__main__":
    main()
