#!/usr/bin/env python3
"""Moves the measuring line of the program's window under sway, with the tests' own pointer and
with wtype, and after each step compares the window's title with what the line's rules give,
worked out here from the rules alone. Run as the program's user, beside wayland_pointer.py:
    wayland_lines.py PID PICTURE_WIDTH PICTURE_HEIGHT LABEL presses|keys COUNT SEED
presses: presses, drags and releases at random positions between pixels, a quarter of them in
the last half pixel at the window's right or bottom edge; keys: a line drawn, then arrows,
Shift+arrows and Tab. The window shows a picture of the given size and label; its line is
reset with Escape first."""
import json
import math
import random
import struct
import subprocess
import sys
import time

from wayland_pointer import VirtualPointer

CREDIT = "Torvanix by Dalvester"
PI = 3.14159265358979  # the readout divides by this, not by full-precision pi
NUDGES = {"Left": (-1, 0), "Right": (1, 0), "Up": (0, -1), "Down": (0, 1)}


def f32(value):
    return struct.unpack("<f", struct.pack("<f", value))[0]


def clng(value):
    return round(value)  # to the nearest whole number, halves to even


class Line:
    """Both ends as fractions of the client area (twips: 15 a logical pixel). A point moves the
    nearer end, measured in whole twips, the second end on a tie; a nudge moves the active end by
    pixels of the picture, within it unless it already lay outside."""

    def __init__(self, client, picture):
        self.client, self.picture = client, picture
        self.w, self.h = f32(client[0] * 15), f32(client[1] * 15)
        self.ends = [[0.5, 0.5], [0.5, 0.5]]
        self.active = 1

    def point(self, x, y):
        X, Y = clng(f32(x * 15)), clng(f32(y * 15))
        d = [(X - clng(self.w * ex)) ** 2 + (Y - clng(self.h * ey)) ** 2 for ex, ey in self.ends]
        self.active = 1 if d[0] >= d[1] else 0
        self.ends[self.active] = [X / self.w, Y / self.h]

    def nudge(self, steps):
        end = self.ends[self.active]
        for axis in (0, 1):
            if steps[axis]:
                moved = end[axis] + steps[axis] / self.picture[axis]
                end[axis] = min(max(moved, min(end[axis], 0.0)), max(end[axis], 1.0))

    def title(self, label):
        (x1, y1), (x2, y2) = [(f32(self.w * ex), f32(self.h * ey)) for ex, ey in self.ends]
        if (x1, y1) == (x2, y2):
            return CREDIT + label
        # Into the picture's own units (HIMETRIC, from 96 pixels an inch): the window's stretch
        # is undone.
        himetric = [clng(p * 2540 / 96) for p in self.picture]
        dx = (x2 - x1) * himetric[0] / (self.client[0] * 15)
        dy = (y2 - y1) * himetric[1] / (self.client[1] * 15)
        if abs(dy) > abs(dx):
            axis, degrees = "Vertical", math.atan(dx / dy) * 180 / PI
        else:
            axis, degrees = "Horizontal", math.atan(dy / dx) * -180 / PI
        sign = "+" if degrees > 0 else ""
        reading = axis + sign + (f"{degrees:.2f}°" if degrees != 0 else "")
        return f"{reading} - {CREDIT}{label}"


def sway(kind):
    answer = subprocess.run(["swaymsg", "-r", "-t", kind], check=True, capture_output=True)
    return json.loads(answer.stdout)


def window(pid):
    nodes = [sway("get_tree")]
    while nodes:
        node = nodes.pop()
        if node.get("pid") == pid:
            return node
        nodes += node.get("nodes", []) + node.get("floating_nodes", [])
    sys.exit(f"sway shows no window of process {pid}")


class Window:
    """The program's window as sway shows it, moved with a pointer and keys of the test's own."""

    def __init__(self, pid):
        self.pid = pid
        node = window(pid)
        rect, inner = node["rect"], node["window_rect"]
        self.client = (inner["width"], inner["height"])
        self.origin = (rect["x"] + inner["x"], rect["y"] + inner["y"])
        outputs = [o["rect"] for o in sway("get_outputs")]
        self.pointer = VirtualPointer(max(r["x"] + r["width"] for r in outputs),
                                      max(r["y"] + r["height"] for r in outputs))

    def expect(self, after, title):
        deadline = time.monotonic() + 10
        while (got := window(self.pid)["name"]) != title:
            if time.monotonic() > deadline:
                size = f"{self.client[0]} x {self.client[1]}"
                sys.exit(f"after {after} in a {size} window: the title is {got!r}, "
                         f"the rules give {title!r}")
            time.sleep(0.02)

    def gesture(self, points):
        """Presses at the first point, drags through the others and releases at the last."""
        for i, (x, y) in enumerate(points):
            self.pointer.move(self.origin[0] + x, self.origin[1] + y)
            if i == 0:
                self.pointer.button(True)
        self.pointer.button(False)
        self.pointer.roundtrip()


def key(*keys):
    subprocess.run(["wtype", *keys], check=True)


def main():
    pid, picture, label = int(sys.argv[1]), (int(sys.argv[2]), int(sys.argv[3])), sys.argv[4]
    mode, count, rng = sys.argv[5], int(sys.argv[6]), random.Random(int(sys.argv[7]))
    shown = Window(pid)
    width, height = shown.client
    line = Line(shown.client, picture)

    def gesture(points):
        shown.gesture(points)
        for x, y in points + points[-1:]:  # the release is one more point, where the drag ended
            line.point(x, y)

    def somewhere():
        x, y = rng.randrange(256 * width) / 256, rng.randrange(256 * height) / 256
        # A quarter within the last half pixel, where Qt rounds the position out of the picture.
        edge = rng.random()
        if edge < 0.125:
            x = width - rng.randrange(1, 129) / 256
        elif edge < 0.25:
            y = height - rng.randrange(1, 129) / 256
        return x, y

    key("-k", "Escape")
    shown.expect("Escape", CREDIT + label)
    if mode == "presses":
        for step in range(count):
            points = [somewhere() for _ in range(rng.randrange(1, 4))]
            gesture(points)
            what = "a press" if len(points) == 1 else "a drag"
            shown.expect(f"{what} through {points} (step {step})", line.title(label))
    else:
        gesture([(width * 0.3, height * 0.6)])
        gesture([(width * 0.8, height * 0.35)])
        for step in range(count):
            name = rng.choice([*NUDGES, "Tab"])
            shift = name != "Tab" and rng.random() < 0.3
            key(*(["-M", "shift", "-k", name, "-m", "shift"] if shift else ["-k", name]))
            if name == "Tab":
                line.active = 1 - line.active
            else:
                line.nudge([n * (10 if shift else 1) for n in NUDGES[name]])
            shown.expect(f"{'Shift+' if shift else ''}{name} (step {step})", line.title(label))
    # A title that happened to read as expected early is read once more after everything.
    time.sleep(0.3)
    shown.expect("the last step", line.title(label))


if __name__ == "__main__":
    main()
