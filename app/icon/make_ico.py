#!/usr/bin/env python3
"""Builds the .ico file of the program's icon from its text description.

usage: make_ico.py SOURCE.txt OUTPUT.ico

The source holds a "palette" line of 16 RRGGBB colours and "image N" blocks of N rows of
N characters: a hex digit picks a palette colour, "." is transparent. The output holds one
4-bit image per block, in the order of the blocks, and is the same for the same source.
"""
import struct
import sys


def parse(path):
    palette = None
    images = []
    current = None
    for number, raw in enumerate(open(path, encoding="ascii"), 1):
        line = raw.rstrip("\n")
        if line.startswith("#"):
            continue
        if line.startswith("palette "):
            palette = [int(c, 16) for c in line.split()[1:]]
            if len(palette) != 16:
                sys.exit("%s:%d: the palette needs 16 colours" % (path, number))
            continue
        if line.startswith("image "):
            current = (int(line.split()[1]), [])
            images.append(current)
            continue
        if not line.strip():
            continue
        if current is None:
            sys.exit("%s:%d: pixels outside an image block" % (path, number))
        if len(line) != current[0] or any(c not in "0123456789ABCDEF." for c in line):
            sys.exit("%s:%d: a row of %d pixels expected" % (path, number, current[0]))
        current[1].append(line)
    if palette is None or not images:
        sys.exit("%s: no palette or no image" % path)
    for size, rows in images:
        if len(rows) != size:
            sys.exit("%s: image %d has %d rows" % (path, size, len(rows)))
    return palette, images


def image_bytes(palette, size, rows):
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 4, 0, 0, 0, 0, 16, 0)
    colours = b"".join(struct.pack("<BBBB", c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF, 0) for c in palette)
    xor = b""
    mask = b""
    for row in reversed(rows):  # bitmaps are stored bottom-up
        indices = [0 if c == "." else int(c, 16) for c in row]
        line = bytes((indices[i] << 4) | indices[i + 1] for i in range(0, size, 2))
        xor += line + b"\0" * (-len(line) % 4)
        bits = 0
        line = b""
        for i, c in enumerate(row):
            bits = (bits << 1) | (1 if c == "." else 0)
            if i % 8 == 7:
                line += bytes([bits])
                bits = 0
        mask += line + b"\0" * (-len(line) % 4)
    return header + colours + xor + mask


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    palette, images = parse(sys.argv[1])
    blobs = [image_bytes(palette, size, rows) for size, rows in images]
    out = struct.pack("<HHH", 0, 1, len(blobs))
    offset = 6 + 16 * len(blobs)
    for (size, _), blob in zip(images, blobs):
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 16, 0, 1, 4, len(blob), offset)
        offset += len(blob)
    out += b"".join(blobs)
    with open(sys.argv[2], "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main()
