#!/usr/bin/env python3
"""What the X server shows of a window, for the long-walk window test, with
nothing but Xlib and the standard library.
Usage:
  window_probe.py repaint WINDOW_ID   covers most of the window with a magenta
      window, takes it away again and waits (up to 60 s) until the window has
      drawn itself over the uncovered part: no magenta left, its buttons back
  window_probe.py ping WINDOW_ID      sends the window a _NET_WM_PING, as a window
      manager does, and waits (up to 60 s) for its answer on the root window
  window_probe.py cursor              the name and serial of the pointer's cursor"""
import ctypes
import select
import sys
import time

x11 = ctypes.CDLL("libX11.so.6")
xfixes = ctypes.CDLL("libXfixes.so.3")


class XWindowAttributes(ctypes.Structure):
    _fields_ = [("x", ctypes.c_int), ("y", ctypes.c_int), ("width", ctypes.c_int),
                ("height", ctypes.c_int), ("pad", ctypes.c_char * 256)]  # the rest unused


class XSetWindowAttributes(ctypes.Structure):
    _fields_ = [("background_pixmap", ctypes.c_ulong), ("background_pixel", ctypes.c_ulong),
                ("border_pixmap", ctypes.c_ulong), ("border_pixel", ctypes.c_ulong),
                ("bit_gravity", ctypes.c_int), ("win_gravity", ctypes.c_int),
                ("backing_store", ctypes.c_int), ("backing_planes", ctypes.c_ulong),
                ("backing_pixel", ctypes.c_ulong), ("save_under", ctypes.c_int),
                ("event_mask", ctypes.c_long), ("do_not_propagate_mask", ctypes.c_long),
                ("override_redirect", ctypes.c_int), ("colormap", ctypes.c_ulong),
                ("cursor", ctypes.c_ulong)]


class XClientMessageEvent(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", ctypes.c_ulong),
                ("message_type", ctypes.c_ulong), ("format", ctypes.c_int),
                ("data", ctypes.c_long * 5)]


class XEvent(ctypes.Union):
    _fields_ = [("type", ctypes.c_int), ("xclient", XClientMessageEvent),
                ("pad", ctypes.c_long * 24)]  # XEvent's size


class XCursorImage(ctypes.Structure):
    _fields_ = [("x", ctypes.c_short), ("y", ctypes.c_short), ("width", ctypes.c_ushort),
                ("height", ctypes.c_ushort), ("xhot", ctypes.c_ushort), ("yhot", ctypes.c_ushort),
                ("cursor_serial", ctypes.c_ulong), ("pixels", ctypes.c_void_p),
                ("atom", ctypes.c_ulong), ("name", ctypes.c_char_p)]


x11.XOpenDisplay.restype = ctypes.c_void_p
x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
x11.XDefaultRootWindow.restype = ctypes.c_ulong
x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
x11.XGetWindowAttributes.argtypes = [ctypes.c_void_p, ctypes.c_ulong,
                                     ctypes.POINTER(XWindowAttributes)]
x11.XTranslateCoordinates.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_ulong,
                                      ctypes.c_int, ctypes.c_int, ctypes.POINTER(ctypes.c_int),
                                      ctypes.POINTER(ctypes.c_int),
                                      ctypes.POINTER(ctypes.c_ulong)]
x11.XCreateWindow.restype = ctypes.c_ulong
x11.XCreateWindow.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int,
                              ctypes.c_uint, ctypes.c_uint, ctypes.c_uint, ctypes.c_int,
                              ctypes.c_uint, ctypes.c_void_p, ctypes.c_ulong,
                              ctypes.POINTER(XSetWindowAttributes)]
x11.XMapRaised.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
x11.XDestroyWindow.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
x11.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
x11.XGetImage.restype = ctypes.c_void_p
x11.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int,
                          ctypes.c_uint, ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
x11.XGetPixel.restype = ctypes.c_ulong
x11.XGetPixel.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_int]
x11.XDestroyImage.argtypes = [ctypes.c_void_p]
x11.XInternAtom.restype = ctypes.c_ulong
x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
x11.XSelectInput.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_long]
x11.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long,
                           ctypes.c_void_p]
x11.XPending.argtypes = [ctypes.c_void_p]
x11.XNextEvent.argtypes = [ctypes.c_void_p, ctypes.c_void_p]
x11.XConnectionNumber.argtypes = [ctypes.c_void_p]
xfixes.XFixesGetCursorImage.restype = ctypes.POINTER(XCursorImage)
xfixes.XFixesGetCursorImage.argtypes = [ctypes.c_void_p]

ALL_PLANES, Z_PIXMAP = 0xFFFFFFFF, 2
MAGENTA = 0xFF00FF
CW_BACK_PIXEL, CW_OVERRIDE_REDIRECT = 1 << 1, 1 << 9
CLIENT_MESSAGE = 33
STRUCTURE_NOTIFY, SUBSTRUCTURE_NOTIFY = 1 << 17, 1 << 19


def fail(why):
    sys.exit(f"window_probe.py: {why}")


def colours(display, root, x, y, width, height):
    """The set of pixel values the screen shows in the rectangle."""
    image = x11.XGetImage(display, root, x, y, width, height, ALL_PLANES, Z_PIXMAP)
    if not image:
        fail("the screen cannot be read")
    seen = {x11.XGetPixel(image, i, j) & 0xFFFFFF for j in range(height) for i in range(width)}
    x11.XDestroyImage(image)
    return seen


def repaint(display, window):
    root = x11.XDefaultRootWindow(display)
    attributes = XWindowAttributes()
    if not x11.XGetWindowAttributes(display, window, ctypes.byref(attributes)):
        fail("no such window")
    x, y, child = ctypes.c_int(), ctypes.c_int(), ctypes.c_ulong()
    x11.XTranslateCoordinates(display, window, root, 0, 0, ctypes.byref(x), ctypes.byref(y),
                              ctypes.byref(child))
    # All but a strip at the left: the buttons' right parts and captions,
    # and the empty client area.
    area = (x.value + 20, y.value, attributes.width - 20, attributes.height)
    cover_attributes = XSetWindowAttributes(background_pixel=MAGENTA, override_redirect=1)
    # No border, the parent's depth and visual, InputOutput.
    cover = x11.XCreateWindow(display, root, *area, 0, 0, 1, None,
                              CW_BACK_PIXEL | CW_OVERRIDE_REDIRECT, ctypes.byref(cover_attributes))
    x11.XMapRaised(display, cover)
    x11.XSync(display, False)
    deadline = time.monotonic() + 60
    while colours(display, root, *area) != {MAGENTA}:
        if time.monotonic() > deadline:
            fail("the cover did not show")
        time.sleep(0.05)
    x11.XDestroyWindow(display, cover)
    x11.XSync(display, False)
    # Drawn again: no magenta, and more than a background (the buttons'
    # frames and captions).
    deadline = time.monotonic() + 60
    while True:
        seen = colours(display, root, *area)
        if MAGENTA not in seen and len(seen) > 2:
            return
        if time.monotonic() > deadline:
            fail(f"the uncovered part was not drawn again in 60 s ({len(seen)} colours, "
                 f"magenta {'still' if MAGENTA in seen else 'gone'})")
        time.sleep(0.05)


def ping(display, window):
    root = x11.XDefaultRootWindow(display)
    protocols = x11.XInternAtom(display, b"WM_PROTOCOLS", False)
    ping_atom = x11.XInternAtom(display, b"_NET_WM_PING", False)
    # The client answers on the root window, where a window manager listens.
    x11.XSelectInput(display, root, STRUCTURE_NOTIFY | SUBSTRUCTURE_NOTIFY)
    event = XEvent()
    message = event.xclient
    message.type, message.display, message.window = CLIENT_MESSAGE, display, window
    message.message_type, message.format = protocols, 32
    stamp = int(time.monotonic() * 1000) & 0x7FFFFFFF
    message.data[0], message.data[1], message.data[2] = ping_atom, stamp, window
    if not x11.XSendEvent(display, window, False, 0, ctypes.byref(event)):
        fail("the ping could not be sent")
    x11.XSync(display, False)
    deadline = time.monotonic() + 60
    while time.monotonic() < deadline:
        while x11.XPending(display):
            answer = XEvent()
            x11.XNextEvent(display, ctypes.byref(answer))
            data = answer.xclient.data
            if (answer.type == CLIENT_MESSAGE and data[0] == ping_atom and data[1] == stamp
                    and data[2] == window):
                return
        select.select([x11.XConnectionNumber(display)], [], [], 0.1)
    fail("the ping was not answered in 60 s")


def main():
    display = x11.XOpenDisplay(None)
    if not display:
        fail("cannot open the display")
    if sys.argv[1] == "repaint":
        repaint(display, int(sys.argv[2], 0))
    elif sys.argv[1] == "ping":
        ping(display, int(sys.argv[2], 0))
    elif sys.argv[1] == "cursor":
        image = xfixes.XFixesGetCursorImage(display)
        if not image:
            fail("no cursor image")
        print((image.contents.name or b"").decode() or "(unnamed)",
              image.contents.cursor_serial)
    else:
        fail(f"unknown command {sys.argv[1]}")


main()
