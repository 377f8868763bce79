#!/usr/bin/env python3
"""Draws the program's icon, two text pages side by side with one differing line, and writes it
as a Windows .ico holding a 32 by 32 and a 16 by 16 image in the 16 standard colours, or as the
icons of the hicolor theme for the Linux desktop, all from the same two drawings.

    make_icon.py OUTPUT.ico      write the icon
    make_icon.py --hicolor DIR   write DIR/SIZExSIZE/apps/tandrel.png for 16, 32, 48, 128 and
                                 256 pixels and DIR/scalable/apps/tandrel.svg
    make_icon.py --preview       print both images as text

The output depends on nothing but this file, so the committed res/tandrel.ico can always be
made again byte for byte. The larger PNGs are the drawings enlarged by whole pixels (48 is the
16 by 16 drawing three times, 128 and 256 the 32 by 32 drawing four and eight times), and the
SVG is the 32 by 32 drawing as squares, so every size shows the same picture."""

import os
import struct
import sys
import zlib

# The 16 standard Windows colours (red, green, blue), in their usual palette order.
PALETTE = [
    (0x00, 0x00, 0x00), (0x80, 0x00, 0x00), (0x00, 0x80, 0x00), (0x80, 0x80, 0x00),
    (0x00, 0x00, 0x80), (0x80, 0x00, 0x80), (0x00, 0x80, 0x80), (0xC0, 0xC0, 0xC0),
    (0x80, 0x80, 0x80), (0xFF, 0x00, 0x00), (0x00, 0xFF, 0x00), (0xFF, 0xFF, 0x00),
    (0x00, 0x00, 0xFF), (0xFF, 0x00, 0xFF), (0x00, 0xFF, 0xFF), (0xFF, 0xFF, 0xFF),
]
# Drawing letters: '.' is transparent; the others name palette entries.
INK = {"K": 0, "N": 4, "S": 7, "R": 9, "Y": 11, "W": 15}


def page(width, height, fold, margin, lines, band):
    """One page with a folded top-right corner. lines maps a row to the length of its text line,
    drawn from the margin; the rows of band (first and last included) are the differing stretch,
    yellow with red text."""
    rows = []
    for y in range(height):
        row = []
        for x in range(width):
            corner = width - 1 - fold  # first column of the folded corner
            if y < fold and x > corner + y:
                row.append(".")
            elif y == 0 or y == height - 1 or x == 0 or x == width - 1:
                row.append("K")
            elif y <= fold and x >= corner:
                # the fold: its outline, then grey paper behind it
                row.append("K" if x == corner or y == fold or x == corner + y else "S")
            else:
                row.append("W")
        rows.append(row)
    first, last = band
    for y in range(first, last + 1):
        for x in range(1, width - 1):
            rows[y][x] = "Y"
    for y, length in lines.items():
        for x in range(margin, margin + length):
            rows[y][x] = "R" if first <= y <= last else "N"
    return ["".join(row) for row in rows]


def side_by_side(left, right, gap, top, size):
    """Places two pages of equal height next to each other on a transparent square."""
    blank = "." * size
    body = [(l + "." * gap + r).ljust(size, ".") for l, r in zip(left, right)]
    return [blank] * top + body + [blank] * (size - top - len(body))


def text_lines(first_row, lengths):
    """Text lines on every other row from first_row, one length each."""
    return {first_row + 2 * k: length for k, length in enumerate(lengths)}


def large():
    band = (11, 15)
    left = page(14, 28, 4, 2, text_lines(6, [9, 7, 10, 8, 9, 6, 10, 8, 7, 9]), band)
    right = page(14, 28, 4, 2, text_lines(6, [9, 7, 10, 5, 10, 6, 10, 8, 7, 9]), band)
    return side_by_side(left, right, 4, 2, 32)


def small():
    band = (7, 9)
    left = page(7, 14, 2, 2, text_lines(4, [3, 2, 3, 3, 2]), band)
    right = page(7, 14, 2, 2, text_lines(4, [3, 2, 1, 3, 2]), band)
    return side_by_side(left, right, 2, 1, 16)


def dib(art):
    """The image as an icon stores it: a bitmap header for twice the height (colour and mask),
    the palette, the 4-bit colour rows and the 1-bit transparency mask, both bottom-up and each
    row padded to four bytes."""
    size = len(art)
    colour_row = (size * 4 + 31) // 32 * 4
    mask_row = (size + 31) // 32 * 4
    colours = bytearray()
    mask = bytearray()
    for line in reversed(art):
        packed = bytearray(colour_row)
        bits = bytearray(mask_row)
        for x, letter in enumerate(line):
            if letter == ".":
                bits[x // 8] |= 0x80 >> (x % 8)
            else:
                packed[x // 2] |= INK[letter] << (0 if x % 2 else 4)
        colours += packed
        mask += bits
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 4, 0,
                         len(colours) + len(mask), 0, 0, 16, 0)
    palette = b"".join(struct.pack("BBBB", b, g, r, 0) for r, g, b in PALETTE)
    return header + palette + bytes(colours) + bytes(mask)


def ico(images):
    """The .ico file: its header, one directory entry per image, then the images."""
    data = [dib(art) for art in images]
    offset = 6 + 16 * len(images)
    out = struct.pack("<HHH", 0, 1, len(images))
    for art, image in zip(images, data):
        out += struct.pack("<BBBBHHII", len(art), len(art), 16, 0, 1, 4, len(image), offset)
        offset += len(image)
    return out + b"".join(data)


def enlarged(art, factor):
    """The drawing with every pixel repeated factor times in both directions."""
    return ["".join(letter * factor for letter in line) for line in art for _ in range(factor)]


def png(art):
    """An 8-bit RGBA PNG of the drawing, '.' fully transparent."""
    raw = bytearray()
    for line in art:
        raw.append(0)  # no filter
        for letter in line:
            raw += bytes(PALETTE[INK[letter]] + (255,)) if letter != "." else bytes(4)

    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data +
                struct.pack(">I", zlib.crc32(kind + data)))

    size = len(art)
    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
            chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b""))


def svg(art):
    """The drawing as an SVG of one rectangle per horizontal stretch of a colour."""
    size = len(art)
    shapes = []
    for y, line in enumerate(art):
        x = 0
        while x < size:
            end = x
            while end < size and line[end] == line[x]:
                end += 1
            if line[x] != ".":
                colour = "#%02x%02x%02x" % PALETTE[INK[line[x]]]
                shapes.append(f'<rect x="{x}" y="{y}" width="{end - x}" height="1" '
                              f'fill="{colour}"/>')
            x = end
    return ('<?xml version="1.0" encoding="UTF-8"?>\n'
            f'<svg xmlns="http://www.w3.org/2000/svg" width="{size}" height="{size}" '
            f'viewBox="0 0 {size} {size}" shape-rendering="crispEdges">\n' +
            "\n".join(shapes) + "\n</svg>\n")


def hicolor(directory, big, little):
    """The theme's files: size name to drawing, then the scalable one."""
    sizes = {16: little, 32: big, 48: enlarged(little, 3), 128: enlarged(big, 4),
             256: enlarged(big, 8)}
    for size, art in sizes.items():
        folder = os.path.join(directory, f"{size}x{size}", "apps")
        os.makedirs(folder, exist_ok=True)
        with open(os.path.join(folder, "tandrel.png"), "wb") as out:
            out.write(png(art))
    folder = os.path.join(directory, "scalable", "apps")
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "tandrel.svg"), "w", encoding="ascii") as out:
        out.write(svg(big))


def main(argv):
    images = [large(), small()]
    if len(argv) == 3 and argv[1] == "--hicolor":
        hicolor(argv[2], *images)
        return 0
    if argv[1:] == ["--preview"]:
        for art in images:
            print("\n".join(art) + "\n")
        return 0
    if len(argv) != 2:
        print(__doc__, file=sys.stderr)
        return 2
    with open(argv[1], "wb") as out:
        out.write(ico(images))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
