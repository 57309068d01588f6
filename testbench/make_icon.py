#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Draws probedesk.ico: a 32x32 board with a square-wave time code trace.

Run from this folder after changing the drawing; the icon is committed."""
import struct

SIZE = 32
BOARD = (0x1E, 0x6B, 0x2E)      # green circuit board
EDGE = (0x0C, 0x3A, 0x16)
TRACE = (0xFF, 0xD0, 0x30)      # gold pulse trace
PAD = (0xC8, 0xC8, 0xC8)        # edge connector fingers


def pixel(x, y):
    """RGBA of the pixel at (x, y), y downwards; None is transparent."""
    if not (2 <= x <= 29 and 5 <= y <= 26):
        if 6 <= x <= 25 and 27 <= y <= 29 and x % 3 != 0:
            return PAD
        return None
    if x in (2, 29) or y in (5, 26):
        return EDGE
    # A pulse train: high for a short, long, short then long mark.
    high = [(4, 7), (10, 15), (19, 21), (24, 27)]
    is_high = any(a <= x <= b for a, b in high)
    level = 10 if is_high else 20
    edge = any(x in (a, b) for a, b in high)
    if y == level or (edge and 10 <= y <= 20):
        return TRACE
    return BOARD


def icon_bytes():
    rows = []
    mask_rows = []
    for y in reversed(range(SIZE)):  # bitmaps are stored bottom-up
        row = b""
        bits = 0
        mask = b""
        for x in range(SIZE):
            colour = pixel(x, y)
            if colour is None:
                row += b"\0\0\0\0"
                bits = (bits << 1) | 1
            else:
                r, g, b = colour
                row += bytes((b, g, r, 0xFF))
                bits <<= 1
            if x % 8 == 7:
                mask += bytes((bits,))
                bits = 0
        rows.append(row)
        mask_rows.append(mask)
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    image = header + b"".join(rows) + b"".join(mask_rows)
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 0, 0, 1, 32, len(image), 6 + 16)
    return directory + entry + image


if __name__ == "__main__":
    with open("probedesk.ico", "wb") as f:
        f.write(icon_bytes())
