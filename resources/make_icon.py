#!/usr/bin/env python3
"""Draws the application icon: a rounded tile with two arrows swapping places,
one pointing right (activate) above one pointing left (deactivate).

Writes brennel.ico (32x32 at 1 bit, 32x32 at 4 bits, 16x16 at 4 bits) and
brennel.png (256x256, for Linux desktops). Run it again after changing the
drawing; the outputs are committed so builds need no Python.
"""
import struct
import zlib
from pathlib import Path

# The 16-colour Windows palette, in its usual order.
PALETTE = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
           (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0),
           (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255)]
BLACK, NAVY, TEAL, YELLOW, WHITE = 0, 4, 6, 11, 15
CLEAR = None


def in_tile(x, y, n):
    """Inside a square with rounded corners filling the n x n image."""
    r = n // 5
    cx = min(max(x, r), n - 1 - r)
    cy = min(max(y, r), n - 1 - r)
    return (x - cx) ** 2 + (y - cy) ** 2 <= r * r + r // 2


def arrow(x, y, n, row, pointing_right):
    """An arrow across the tile whose shaft is centred on `row`."""
    s = n / 32
    shaft = round(2 * s)
    head = round(5 * s)
    left, right = round(6 * s), n - 1 - round(6 * s)
    if not pointing_right:
        x = left + right - x  # mirror
    if left <= x <= right - head and abs(y - row) <= shaft - (1 if n == 16 else 0):
        return True
    dx = x - (right - head)
    return 0 <= dx <= head and abs(y - row) <= head - dx


def draw(n, colours):
    """A grid of palette indices (or CLEAR) for an n x n image."""
    grid = []
    for y in range(n):
        line = []
        for x in range(n):
            if not in_tile(x, y, n):
                line.append(CLEAR)
            elif not (in_tile(x - 1, y, n) and in_tile(x + 1, y, n) and in_tile(x, y - 1, n)
                      and in_tile(x, y + 1, n)):
                line.append(colours["edge"])
            elif arrow(x, y, n, round(n * 0.34), True):
                line.append(colours["top"])
            elif arrow(x, y, n, round(n * 0.66) - 1, False):
                line.append(colours["bottom"])
            else:
                line.append(colours["tile"])
        grid.append(line)
    return grid


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


def write_png(path, grid, scale):
    n = len(grid) * scale
    raw = bytearray()
    for row in grid:
        line = bytearray([0])
        for v in row:
            pixel = (0, 0, 0, 0) if v is None else PALETTE[v] + (255,)
            line += bytes(pixel) * scale
        raw += bytes(line) * scale

    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data
                + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))

    png = (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", n, n, 8, 6, 0, 0, 0))
           + chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b""))
    Path(path).write_bytes(png)


def main():
    here = Path(__file__).resolve().parent
    colour = {"edge": NAVY, "tile": TEAL, "top": YELLOW, "bottom": WHITE}
    mono = {"edge": 0, "tile": 1, "top": 0, "bottom": 0}
    big, small = draw(32, colour), draw(16, colour)
    write_ico(here / "brennel.ico", [(draw(32, mono), 1, [(0, 0, 0), (255, 255, 255)]),
                                     (big, 4, PALETTE), (small, 4, PALETTE)])
    write_png(here / "brennel.png", big, 8)


if __name__ == "__main__":
    main()
