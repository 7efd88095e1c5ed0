#!/usr/bin/env python3
"""Draws quillshade.ico from quillshade_icon.txt: 16x16, 32x32 and 48x48, 16 colours each.

Usage: make_icon.py [ART] [ICO]  (defaults: the art beside this script, ../quillshade.ico)
"""
import os
import struct
import sys

# The standard 16-colour Windows palette, as (red, green, blue).
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
SIZES = (16, 32, 48)


def read_art(path):
    rows = [line.rstrip("\n") for line in open(path, encoding="utf-8") if not line.startswith("#")]
    rows = [r for r in rows if r]
    if len(rows) != 16 or any(len(r) != 16 for r in rows):
        sys.exit(f"{path}: the art must be 16 rows of 16 characters")
    for r in rows:
        for c in r:
            if c != "." and c not in "0123456789ABCDEF":
                sys.exit(f"{path}: unknown pixel {c!r}")
    return rows


def image(rows, size):
    """One icon image: a 4-bit bottom-up colour bitmap and its 1-bit transparency mask."""
    scale = size // 16
    pixel = lambda x, y: rows[y // scale][x // scale]
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 4, 0, 0, 0, 0, 16, 0)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PALETTE)
    colour_stride = ((size * 4 + 31) // 32) * 4
    mask_stride = ((size + 31) // 32) * 4
    colours, mask = b"", b""
    for y in reversed(range(size)):
        line = bytearray(colour_stride)
        bits = bytearray(mask_stride)
        for x in range(size):
            p = pixel(x, y)
            index = 0 if p == "." else int(p, 16)
            line[x // 2] |= index << (4 if x % 2 == 0 else 0)
            if p == ".":
                bits[x // 8] |= 0x80 >> (x % 8)
        colours += bytes(line)
        mask += bytes(bits)
    return header + palette + colours + mask


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    art = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "quillshade_icon.txt")
    out = sys.argv[2] if len(sys.argv) > 2 else os.path.join(here, "..", "quillshade.ico")
    rows = read_art(art)
    images = [image(rows, s) for s in SIZES]
    data = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, img in zip(SIZES, images):
        data += struct.pack("<BBBBHHII", size, size, 16, 0, 1, 4, len(img), offset)
        offset += len(img)
    data += b"".join(images)
    with open(out, "wb") as f:
        f.write(data)


if __name__ == "__main__":
    main()
