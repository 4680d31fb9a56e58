#!/usr/bin/env python3
"""Plays a user on the X display through XTest: xtest.py click X Y | type TEXT | key NAME | move X Y."""
import ctypes, sys, time

x11 = ctypes.CDLL("libX11.so.6")
xtst = ctypes.CDLL("libXtst.so.6")
x11.XOpenDisplay.restype = ctypes.c_void_p
x11.XStringToKeysym.restype = ctypes.c_ulong
x11.XKeysymToKeycode.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
xtst.XTestFakeKeyEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int, ctypes.c_ulong]
xtst.XTestFakeButtonEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int, ctypes.c_ulong]
xtst.XTestFakeMotionEvent.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_int, ctypes.c_int, ctypes.c_ulong]
x11.XFlush.argtypes = [ctypes.c_void_p]
display = x11.XOpenDisplay(None)
if not display:
    sys.exit("no display")

NAMES = {" ": "space", ".": "period", ":": "colon", "/": "slash", "-": "minus", "_": "underscore",
         ",": "comma", "#": "numbersign"}
SHIFTED = set(':_#') | set('ABCDEFGHIJKLMNOPQRSTUVWXYZ')

def key(name, shift=False):
    code = x11.XKeysymToKeycode(display, x11.XStringToKeysym(name.encode()))
    shift_code = x11.XKeysymToKeycode(display, x11.XStringToKeysym(b"Shift_L"))
    if shift:
        xtst.XTestFakeKeyEvent(display, shift_code, 1, 0)
    xtst.XTestFakeKeyEvent(display, code, 1, 0)
    xtst.XTestFakeKeyEvent(display, code, 0, 0)
    if shift:
        xtst.XTestFakeKeyEvent(display, shift_code, 0, 0)
    x11.XFlush(display)
    time.sleep(0.05)

def click(x, y):
    xtst.XTestFakeMotionEvent(display, -1, x, y, 0)
    x11.XFlush(display)
    time.sleep(0.1)
    xtst.XTestFakeButtonEvent(display, 1, 1, 0)
    xtst.XTestFakeButtonEvent(display, 1, 0, 0)
    x11.XFlush(display)
    time.sleep(0.2)

args = sys.argv[1:]
while args:
    verb = args.pop(0)
    if verb == "click":
        click(int(args.pop(0)), int(args.pop(0)))
    elif verb == "move":
        xtst.XTestFakeMotionEvent(display, -1, int(args.pop(0)), int(args.pop(0)), 0)
        x11.XFlush(display)
        time.sleep(0.1)
    elif verb == "type":
        for ch in args.pop(0):
            key(NAMES.get(ch, ch), ch in SHIFTED)
    elif verb == "key":
        key(args.pop(0))
    elif verb == "sleep":
        time.sleep(float(args.pop(0)))
