#!/usr/bin/env python3
"""Saves what an X window shows as a PNG file, with nothing but Xlib and
the standard library. A window that has just been shown may not be drawn
yet: it waits (up to 30 s) until the window holds more than its background.
With --framed, the window's frame is taken with it: the window manager's
window that holds it (without a window manager, the window itself).
Usage: screenshot.py [--framed] WINDOW_ID FILE.png"""
import ctypes
import struct
import sys
import time
import zlib

x11 = ctypes.CDLL("libX11.so.6")


class XWindowAttributes(ctypes.Structure):
    _fields_ = [("x", ctypes.c_int), ("y", ctypes.c_int), ("width", ctypes.c_int),
                ("height", ctypes.c_int), ("pad", ctypes.c_char * 256)]  # the rest unused


class XImage(ctypes.Structure):
    _fields_ = [("width", ctypes.c_int), ("height", ctypes.c_int), ("xoffset", ctypes.c_int),
                ("format", ctypes.c_int), ("data", ctypes.POINTER(ctypes.c_ubyte)),
                ("byte_order", ctypes.c_int), ("bitmap_unit", ctypes.c_int),
                ("bitmap_bit_order", ctypes.c_int), ("bitmap_pad", ctypes.c_int),
                ("depth", ctypes.c_int), ("bytes_per_line", ctypes.c_int),
                ("bits_per_pixel", ctypes.c_int), ("red_mask", ctypes.c_ulong),
                ("green_mask", ctypes.c_ulong), ("blue_mask", ctypes.c_ulong)]


x11.XOpenDisplay.restype = ctypes.c_void_p
x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
x11.XGetWindowAttributes.argtypes = [ctypes.c_void_p, ctypes.c_ulong,
                                     ctypes.POINTER(XWindowAttributes)]
x11.XQueryTree.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.POINTER(ctypes.c_ulong),
                           ctypes.POINTER(ctypes.c_ulong),
                           ctypes.POINTER(ctypes.POINTER(ctypes.c_ulong)),
                           ctypes.POINTER(ctypes.c_uint)]
x11.XFree.argtypes = [ctypes.c_void_p]
x11.XGetImage.restype = ctypes.POINTER(XImage)
x11.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int,
                          ctypes.c_uint, ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
ALL_PLANES, Z_PIXMAP = 0xFFFFFFFF, 2


def shift_of(mask):
    return (mask & -mask).bit_length() - 1


def rgb_rows(image):
    """The image's pixels as PNG rows of 8-bit RGB (it must be 32 bits a pixel)."""
    if image.bits_per_pixel != 32:
        sys.exit(f"screenshot.py: {image.bits_per_pixel} bits a pixel is not supported")
    masks = (image.red_mask, image.green_mask, image.blue_mask)
    data = ctypes.string_at(image.data, image.bytes_per_line * image.height)
    order = "<" if image.byte_order == 0 else ">"
    rows = bytearray()
    for y in range(image.height):
        rows.append(0)  # no filter
        line = data[y * image.bytes_per_line:]
        for (pixel,) in struct.iter_unpack(order + "I", line[:4 * image.width]):
            rows += bytes((pixel & mask) >> shift_of(mask) for mask in masks)
    return bytes(rows)


def write_png(path, width, height, rows):
    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data
                + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))

    with open(path, "wb") as out:
        out.write(b"\x89PNG\r\n\x1a\n"
                  + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
                  + chunk(b"IDAT", zlib.compress(rows, 9)) + chunk(b"IEND", b""))


def grab(display, window):
    attributes = XWindowAttributes()
    if not x11.XGetWindowAttributes(display, window, ctypes.byref(attributes)):
        sys.exit("screenshot.py: no such window")
    image = x11.XGetImage(display, window, 0, 0, attributes.width, attributes.height,
                          ALL_PLANES, Z_PIXMAP)
    if not image:
        sys.exit("screenshot.py: the window cannot be read (is it shown?)")
    return image.contents.width, image.contents.height, rgb_rows(image.contents)


def drawn(width, rows):
    """More than two colours: text or a frame, not just a background."""
    stride, colours = 3 * width + 1, set()
    for start in range(1, len(rows), stride):
        line = rows[start:start + 3 * width]
        colours.update(line[x:x + 3] for x in range(0, len(line), 3))
        if len(colours) > 2:
            return True
    return False


def frame_of(display, window):
    """The ancestor of the window that is a child of the root window."""
    while True:
        root, parent = ctypes.c_ulong(), ctypes.c_ulong()
        children, count = ctypes.POINTER(ctypes.c_ulong)(), ctypes.c_uint()
        if not x11.XQueryTree(display, window, ctypes.byref(root), ctypes.byref(parent),
                              ctypes.byref(children), ctypes.byref(count)):
            sys.exit("screenshot.py: no such window")
        if children:
            x11.XFree(children)
        if parent.value in (0, root.value):
            return window
        window = parent.value


def main():
    arguments = sys.argv[1:]
    framed = arguments[:1] == ["--framed"]
    window, path = int(arguments[framed], 0), arguments[framed + 1]
    display = x11.XOpenDisplay(None)
    if not display:
        sys.exit("screenshot.py: cannot open the display")
    if framed:
        window = frame_of(display, window)
    deadline = time.monotonic() + 30
    width, height, rows = grab(display, window)
    while not drawn(width, rows) and time.monotonic() < deadline:
        time.sleep(0.1)
        width, height, rows = grab(display, window)
    write_png(path, width, height, rows)


main()
