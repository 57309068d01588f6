#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Draws the clock keeper's three tray icons: a 32 x 32, 16-colour round
clock face filled green, yellow or red, with a black rim, four hour marks and
two black hands.  Writes clock_green.ico, clock_yellow.ico, clock_red.ico
next to this script.  Standard library only; the output is deterministic."""
import math
import os
import struct

SIZE = 32
# The standard 16-colour palette, as (red, green, blue).
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, GREEN, YELLOW, RED = 0, 10, 11, 9
CENTRE = (SIZE - 1) / 2
RADIUS = 14.8
RIM = 1.6


def distance_to_segment(px, py, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    t = max(0.0, min(1.0, ((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy)))
    return math.hypot(px - (ax + t * dx), py - (ay + t * dy))


def hand_end(clock_hours, length):
    """Where a hand pointing at `clock_hours` (0-12, 12 up) ends; y grows downwards."""
    angle = clock_hours / 12 * 2 * math.pi
    return CENTRE + length * math.sin(angle), CENTRE - length * math.cos(angle)


def draw(fill):
    """Rows top to bottom of (colour index, opaque)."""
    minute = hand_end(0, 11.0)   # ten past ten, the classic clock-face pose
    hour = hand_end(10.3, 7.5)
    marks = [hand_end(h, RADIUS - RIM - 1.5) for h in (0, 3, 6, 9)]
    rows = []
    for y in range(SIZE):
        row = []
        for x in range(SIZE):
            r = math.hypot(x - CENTRE, y - CENTRE)
            if r > RADIUS:
                row.append((0, False))
            elif (r > RADIUS - RIM
                  or distance_to_segment(x, y, CENTRE, CENTRE, *minute) <= 0.8
                  or distance_to_segment(x, y, CENTRE, CENTRE, *hour) <= 1.1
                  or any(math.hypot(x - mx, y - my) <= 0.9 for mx, my in marks)):
                row.append((BLACK, True))
            else:
                row.append((fill, True))
        rows.append(row)
    return rows


def icon_file(fill):
    rows = draw(fill)
    xor = bytearray()
    mask = bytearray()
    for row in reversed(rows):  # device-independent bitmaps are stored bottom-up
        for x in range(0, SIZE, 2):
            xor.append(row[x][0] << 4 | row[x + 1][0])
        bits = 0
        for x, (_, opaque) in enumerate(row):
            if not opaque:
                bits |= 1 << (SIZE - 1 - x)
        mask += struct.pack(">I", bits)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PALETTE)
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 4, 0, len(xor) + len(mask), 0, 0, 16, 0)
    image = header + palette + bytes(xor) + bytes(mask)
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 16, 0, 1, 4, len(image), 6 + 16)
    return directory + entry + image


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    for name, fill in (("green", GREEN), ("yellow", YELLOW), ("red", RED)):
        with open(os.path.join(here, f"clock_{name}.ico"), "wb") as out:
            out.write(icon_file(fill))


if __name__ == "__main__":
    main()
