#!/usr/bin/env python3
"""Asks an X window to close the way a window manager does when the user
clicks its close button: a WM_DELETE_WINDOW message. Plain Xvfb has no
window manager to do it. Usage: close_window.py WINDOW_ID"""
import ctypes
import sys

x11 = ctypes.CDLL("libX11.so.6")
x11.XOpenDisplay.restype = ctypes.c_void_p
x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
x11.XInternAtom.restype = ctypes.c_ulong
x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
x11.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long,
                           ctypes.c_void_p]
x11.XFlush.argtypes = [ctypes.c_void_p]
x11.XCloseDisplay.argtypes = [ctypes.c_void_p]

CLIENT_MESSAGE = 33


class ClientMessage(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", ctypes.c_ulong),
                ("message_type", ctypes.c_ulong), ("format", ctypes.c_int),
                ("data", ctypes.c_long * 5)]


class Event(ctypes.Union):
    _fields_ = [("xclient", ClientMessage), ("pad", ctypes.c_long * 24)]  # XEvent's size


def main():
    window = int(sys.argv[1], 0)
    display = x11.XOpenDisplay(None)
    if not display:
        sys.exit("close_window.py: cannot open the display")
    event = Event()
    message = event.xclient
    message.type = CLIENT_MESSAGE
    message.display = display
    message.window = window
    message.message_type = x11.XInternAtom(display, b"WM_PROTOCOLS", False)
    message.format = 32
    message.data[0] = x11.XInternAtom(display, b"WM_DELETE_WINDOW", False)
    message.data[1] = 0  # CurrentTime
    if not x11.XSendEvent(display, window, False, 0, ctypes.byref(event)):
        sys.exit("close_window.py: the message could not be sent")
    x11.XFlush(display)
    x11.XCloseDisplay(display)


main()
