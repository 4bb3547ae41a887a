#!/usr/bin/env python3
"""Draw Torvanix's bundled pictures.

Writes, relative to the repository root:
  resources/card.bmp      600x400 instruction card, 8-bit grey-palette BMP
  resources/torvanix.png  16x16 program icon, 4-bit palette PNG, drawn pixel by pixel
  resources/icons/torvanix-<N>.png  the same spirit level at N = 22 ... 256 pixels,
                          RGBA PNG, drawn from shapes with smoothed curves
  resources/icons/torvanix.svg      the same shapes as a scalable picture

The card text is rasterised by ImageMagick 6 (/usr/bin/convert) with a
DejaVu Serif TrueType font; everything else (BMP and PNG encoding, the
icon pixels and shapes) is done here with the standard library only, so repeated
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
# The spirit level at the larger sizes
# ---------------------------------------------------------------------------

# The 16x16 drawing in shapes, in its own pixel units: the black bar, rounded
# by one unit at the corners, from x 0 to 16 and y 4 to 12; a one-unit
# outline; the divider at x 8; a dark green band along the bottom of the
# liquid; the bubble hanging from the top of the left compartment.
ICON_SIZES = (22, 24, 32, 48, 64, 128, 256)
UNITS = 16
BAR_TOP, BAR_BOTTOM = 4, 12
OUTLINE = 1
DIVIDER_X = 8
BUBBLE_RIM = (3.5, 3.0)   # half-axes of the dark green rim
BUBBLE = (2.5, 2.0)       # half-axes of the white bubble
SUBSAMPLES = 16           # per pixel side, where a curve crosses a pixel

BLACK, GREEN, DARK, WHITE = (ICON_PALETTE[1], ICON_PALETTE[2],
                             ICON_PALETTE[3], ICON_PALETTE[4])


def icon_shapes(scale, snap):
    """The shapes, back to front, as (colour, kind, geometry) in pixels.

    Straight edges land on whole pixels (snap) so the small sizes stay sharp;
    the SVG takes the exact unit geometry (scale 1, no snapping).
    """
    def px(units):
        value = units * scale
        return float(int(value + 0.5)) if snap else value

    line = max(px(OUTLINE), 1.0)
    left, right = 0.0, px(UNITS)
    top, bottom = px(BAR_TOP), px(BAR_BOTTOM)
    inner_top, inner_bottom = top + line, bottom - line
    divider = px(DIVIDER_X)
    shapes = [
        (BLACK, "rounded", (left, top, right, bottom, px(OUTLINE) if snap else OUTLINE)),
        (GREEN, "rect", (left + line, inner_top, divider, inner_bottom)),
        (GREEN, "rect", (divider + line, inner_top, right - line, inner_bottom)),
        (DARK, "rect", (left + line, inner_bottom - line, divider, inner_bottom)),
        (DARK, "rect", (divider + line, inner_bottom - line, right - line, inner_bottom)),
    ]
    centre = (left + line + divider) / 2
    for colour, (rx, ry) in ((DARK, BUBBLE_RIM), (WHITE, BUBBLE)):
        shapes.append((colour, "half-ellipse",
                       (centre, inner_top, rx * scale, ry * scale)))
    return shapes


def inside(kind, geometry, x, y):
    if kind == "rect":
        x0, y0, x1, y1 = geometry
        return x0 <= x < x1 and y0 <= y < y1
    if kind == "rounded":
        x0, y0, x1, y1, r = geometry
        if not (x0 <= x < x1 and y0 <= y < y1):
            return False
        cx = min(max(x, x0 + r), x1 - r)
        cy = min(max(y, y0 + r), y1 - r)
        return (x - cx) ** 2 + (y - cy) ** 2 <= r * r
    cx, cy, rx, ry = geometry
    return y >= cy and ((x - cx) / rx) ** 2 + ((y - cy) / ry) ** 2 <= 1.0


def bounds(kind, geometry, size):
    if kind == "half-ellipse":
        cx, cy, rx, ry = geometry
        x0, y0, x1, y1 = cx - rx, cy, cx + rx, cy + ry
    else:
        x0, y0, x1, y1 = geometry[:4]
    return (max(int(x0), 0), max(int(y0), 0),
            min(int(x1) + 1, size), min(int(y1) + 1, size))


def coverage(kind, geometry, px, py):
    """The share of pixel (px, py) the shape covers.

    Every shape is convex: with all four corners inside, the whole pixel is.
    """
    corners = [inside(kind, geometry, px + dx, py + dy)
               for dx, dy in ((0, 0), (1, 0), (0, 1), (1, 1))]
    if all(corners):
        return 1.0
    step = 1.0 / SUBSAMPLES
    hits = 0
    for sy in range(SUBSAMPLES):
        for sx in range(SUBSAMPLES):
            if inside(kind, geometry, px + (sx + 0.5) * step, py + (sy + 0.5) * step):
                hits += 1
    return hits / (SUBSAMPLES * SUBSAMPLES)


def draw_icon(size):
    """RGBA rows of the spirit level at size x size pixels."""
    # Premultiplied red, green, blue, alpha per pixel, painted back to front.
    canvas = [[0.0, 0.0, 0.0, 0.0] for _ in range(size * size)]
    for colour, kind, geometry in icon_shapes(size / UNITS, snap=True):
        x0, y0, x1, y1 = bounds(kind, geometry, size)
        for py in range(y0, y1):
            for px in range(x0, x1):
                a = coverage(kind, geometry, px, py)
                if a == 0.0:
                    continue
                pixel = canvas[py * size + px]
                for i in range(3):
                    pixel[i] = colour[i] * a + pixel[i] * (1.0 - a)
                pixel[3] = a + pixel[3] * (1.0 - a)
    rows = []
    for py in range(size):
        row = bytearray()
        for px in range(size):
            r, g, b, a = canvas[py * size + px]
            if a <= 0.0:
                row += b"\0\0\0\0"
                continue
            row += bytes([min(255, int(c / a + 0.5)) for c in (r, g, b)])
            row.append(min(255, int(a * 255 + 0.5)))
        rows.append(bytes(row))
    return rows


def encode_png_rgba(rows):
    size = len(rows)
    raw = b"".join(b"\0" + row for row in rows)
    ihdr = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n"
            + png_chunk(b"IHDR", ihdr)
            + png_chunk(b"IDAT", zlib.compress(raw, 9))
            + png_chunk(b"IEND", b""))


def svg_number(value):
    text = ("%.3f" % value).rstrip("0").rstrip(".")
    return text if text else "0"


def icon_svg():
    def hex_colour(rgb):
        return "#%02x%02x%02x" % rgb

    parts = []
    for colour, kind, geometry in icon_shapes(1.0, snap=False):
        fill = hex_colour(colour)
        if kind == "half-ellipse":
            cx, cy, rx, ry = (svg_number(v) for v in geometry)
            start, end = (svg_number(geometry[0] - geometry[2]),
                          svg_number(geometry[0] + geometry[2]))
            parts.append('<path fill="%s" d="M%s %sA%s %s 0 0 0 %s %sZ"/>'
                         % (fill, start, cy, rx, ry, end, cy))
            continue
        x0, y0, x1, y1 = (svg_number(v) for v in geometry[:4])
        corner = ' rx="%s"' % svg_number(geometry[4]) if kind == "rounded" else ""
        parts.append('<rect fill="%s" x="%s" y="%s" width="%s" height="%s"%s/>'
                     % (fill, x0, y0, svg_number(geometry[2] - geometry[0]),
                        svg_number(geometry[3] - geometry[1]), corner))
    return ('<?xml version="1.0" encoding="UTF-8"?>\n'
            '<svg xmlns="http://www.w3.org/2000/svg" width="256" height="256" '
            'viewBox="0 0 16 16">\n'
            '<title>Torvanix</title>\n'
            + "".join("%s\n" % part for part in parts)
            + "</svg>\n").encode("ascii")


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
    icon_dir = os.path.join(RES_DIR, "icons")
    os.makedirs(icon_dir, exist_ok=True)
    for size in ICON_SIZES:
        write_file(os.path.join(icon_dir, "torvanix-%d.png" % size),
                   encode_png_rgba(draw_icon(size)))
    write_file(os.path.join(icon_dir, "torvanix.svg"), icon_svg())


if __name__ == "__main__":
    main()
