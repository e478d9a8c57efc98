#!/usr/bin/env python3
"""Draws the application icon: a rounded tile with two arrows swapping places,
one pointing right (activate) above one pointing left (deactivate).

Every size is drawn for itself from the same shapes. Up to 32 pixels the
shapes are placed on whole pixels from a table and drawn without
smoothing, so that edges and arrow heads stay sharp; from 48 pixels on they
are measured from the size and smoothed.

Writes brennel.ico (32x32 at 1 bit, 32x32 at 4 bits, 16x16 at 4 bits, for
the .exe and the Linux window) and icons/brennel-N.png (N = 16, 24, 32, 48,
64, 128 and 256, for the desktop's icon theme). Run it again after changing
the drawing; the outputs are committed so builds need no Python.
"""
import struct
import zlib
from pathlib import Path

# The 16-colour Windows palette, in its usual order.
PALETTE = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
           (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0),
           (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255)]
BLACK, NAVY, TEAL, YELLOW, WHITE = 0, 4, 6, 11, 15
PNG_SIZES = (16, 24, 32, 48, 64, 128, 256)

# Whole-pixel shapes of the small sizes: the tile's corner radius and
# border, the arrows' left and right ends, the shaft's and the head's half
# heights, and the rows the two arrows are centred on.
SMALL = {
    16: dict(radius=2.5, edge=1, left=2, right=14, shaft=0.5, head=3, top=5.5, bottom=10.5),
    24: dict(radius=4, edge=1, left=4, right=20, shaft=1.5, head=4.5, top=7.5, bottom=16.5),
    32: dict(radius=6, edge=1, left=5, right=27, shaft=1.5, head=5.5, top=10.5, bottom=21.5),
}


def shapes(n):
    """The shapes of the n-pixel icon, in pixels."""
    if n in SMALL:
        return SMALL[n]
    s = n / 32
    # Straight edges on whole pixels, so that only curves and slopes blur.
    shaft = round(3.2 * s)

    def row(centre):
        return round(centre - shaft / 2) + shaft / 2

    return dict(radius=6 * s, edge=max(1, round(1.25 * s)), left=round(5 * s),
                right=round(27 * s), shaft=shaft / 2, head=round(5.5 * s), top=row(10.5 * s),
                bottom=row(21.5 * s))


def in_rounded_square(x, y, low, high, radius):
    cx = min(max(x, low + radius), high - radius)
    cy = min(max(y, low + radius), high - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius * radius


def in_arrow(x, y, g, row, pointing_right):
    """An arrow across the tile whose shaft is centred on `row`."""
    if not pointing_right:
        x = g["left"] + g["right"] - x  # mirror
    neck = g["right"] - g["head"]
    if g["left"] <= x <= neck and abs(y - row) <= g["shaft"]:
        return True
    return neck <= x <= g["right"] and abs(y - row) <= g["right"] - x


def part_at(x, y, n, g):
    """Which part of the icon the point x, y (in pixels) lies in, or None."""
    if not in_rounded_square(x, y, 0, n, g["radius"]):
        return None
    edge = g["edge"]
    if not in_rounded_square(x, y, edge, n - edge, max(g["radius"] - edge, 0)):
        return "edge"
    if in_arrow(x, y, g, g["top"], True):
        return "top"
    if in_arrow(x, y, g, g["bottom"], False):
        return "bottom"
    return "tile"


def draw(n, colours):
    """A grid of palette indices (or None where clear), one sample a pixel."""
    g = shapes(n)
    return [[colours.get(part_at(x + 0.5, y + 0.5, n, g)) for x in range(n)] for y in range(n)]


def draw_smooth(n, colours, samples):
    """Rows of RGBA pixels, each the mean of samples x samples points."""
    g = shapes(n)
    offsets = [(i + 0.5) / samples for i in range(samples)]
    rows = []
    for y in range(n):
        row = []
        for x in range(n):
            total, alpha = [0, 0, 0], 0
            for dy in offsets:
                for dx in offsets:
                    index = colours.get(part_at(x + dx, y + dy, n, g))
                    if index is None:
                        continue
                    alpha += 1
                    for c in range(3):
                        total[c] += PALETTE[index][c]
            if alpha:
                row.append(tuple(round(t / alpha) for t in total)
                           + (round(255 * alpha / samples ** 2),))
            else:
                row.append((0, 0, 0, 0))
        rows.append(row)
    return rows


def pack_rows(rows, bits):
    """Bottom-up rows of `bits`-per-pixel values, each padded to 4 bytes."""
    out = bytearray()
    for row in reversed(rows):
        acc, nbits, line = 0, 0, bytearray()
        for v in row:
            acc = (acc << bits) | v
            nbits += bits
            if nbits == 8:
                line.append(acc)
                acc, nbits = 0, 0
        if nbits:
            line.append(acc << (8 - nbits))
        while len(line) % 4:
            line.append(0)
        out += line
    return bytes(out)


def ico_image(grid, bits, palette):
    n = len(grid)
    header = struct.pack("<IiiHHIIiiII", 40, n, 2 * n, 1, bits, 0, 0, 0, 0, len(palette), 0)
    colours = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in palette)
    xor = pack_rows([[0 if v is None else v for v in row] for row in grid], bits)
    mask = pack_rows([[1 if v is None else 0 for v in row] for row in grid], 1)
    return header + colours + xor + mask


def write_ico(path, images):
    """images: (grid, bits, palette) triples."""
    blobs = [ico_image(*image) for image in images]
    offset = 6 + 16 * len(blobs)
    out = bytearray(struct.pack("<HHH", 0, 1, len(blobs)))
    for (grid, bits, palette), blob in zip(images, blobs):
        n = len(grid)
        out += struct.pack("<BBBBHHII", n, n, len(palette), 0, 1, bits, len(blob), offset)
        offset += len(blob)
    for blob in blobs:
        out += blob
    Path(path).write_bytes(bytes(out))


def write_png(path, rows):
    """rows: lists of RGBA tuples."""
    raw = b"".join(b"\0" + b"".join(bytes(pixel) for pixel in row) for row in rows)

    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data
                + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))

    n = len(rows)
    png = (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", n, n, 8, 6, 0, 0, 0))
           + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))
    Path(path).write_bytes(png)


def main():
    here = Path(__file__).resolve().parent
    colour = {"edge": NAVY, "tile": TEAL, "top": YELLOW, "bottom": WHITE}
    mono = {"edge": BLACK, "tile": 1, "top": BLACK, "bottom": BLACK}
    write_ico(here / "brennel.ico", [(draw(32, mono), 1, [(0, 0, 0), (255, 255, 255)]),
                                     (draw(32, colour), 4, PALETTE),
                                     (draw(16, colour), 4, PALETTE)])
    (here / "icons").mkdir(exist_ok=True)
    for n in PNG_SIZES:
        samples = 1 if n in SMALL else 4
        write_png(here / "icons" / f"brennel-{n}.png", draw_smooth(n, colour, samples))


if __name__ == "__main__":
    main()
