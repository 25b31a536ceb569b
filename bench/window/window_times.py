#!/usr/bin/env python3
"""Prints how long doccam keeps its user waiting at each frame size of the virtual document camera:
from the start to the window, from the start to the first picture in the preview, and from a click
on the window's close button to the end of the process, once after the first picture and once at
the moment the window shows (while the camera is still getting its first picture ready).

Runs doccam from a fresh folder holding a CameraConf.ini that gives the virtual document camera the
one size measured, so that the start opens that size. Needs an X display; without one it starts
itself again under xvfb-run.

Usage: window_times.py DOCCAM [--rounds N] [--sizes 3264x2448,1920x1080,...]
"""
import argparse
import ctypes
import ctypes.util
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

IS_VIEWABLE = 2
Z_PIXMAP = 2
CLIENT_MESSAGE = 33
# Where the end-to-end tests look at the preview: inside the label, below the menu and tool bars.
PREVIEW_PIXEL = (60, 77)
POLL_SECONDS = 0.005
LIMIT_SECONDS = 60


class WindowAttributes(ctypes.Structure):
    _fields_ = [("x", ctypes.c_int), ("y", ctypes.c_int), ("width", ctypes.c_int), ("height", ctypes.c_int),
                ("border_width", ctypes.c_int), ("depth", ctypes.c_int), ("visual", ctypes.c_void_p),
                ("root", ctypes.c_ulong), ("c_class", ctypes.c_int), ("bit_gravity", ctypes.c_int),
                ("win_gravity", ctypes.c_int), ("backing_store", ctypes.c_int),
                ("backing_planes", ctypes.c_ulong), ("backing_pixel", ctypes.c_ulong),
                ("save_under", ctypes.c_int), ("colormap", ctypes.c_ulong),
                ("map_installed", ctypes.c_int), ("map_state", ctypes.c_int),
                ("all_event_masks", ctypes.c_long), ("your_event_mask", ctypes.c_long),
                ("do_not_propagate_mask", ctypes.c_long), ("override_redirect", ctypes.c_int),
                ("screen", ctypes.c_void_p)]


class ImageHead(ctypes.Structure):
    _fields_ = [("width", ctypes.c_int), ("height", ctypes.c_int), ("xoffset", ctypes.c_int),
                ("format", ctypes.c_int), ("data", ctypes.POINTER(ctypes.c_uint8))]


class ClientMessageEvent(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", ctypes.c_ulong), ("message_type", ctypes.c_ulong),
                ("format", ctypes.c_int), ("data", ctypes.c_long * 5)]


class Event(ctypes.Union):
    _fields_ = [("client", ClientMessageEvent), ("pad", ctypes.c_long * 24)]


class Display:
    """The few Xlib calls needed to find the window, read one of its pixels and ask it to close."""

    def __init__(self):
        x = ctypes.CDLL(ctypes.util.find_library("X11") or "libX11.so.6")
        x.XOpenDisplay.restype = ctypes.c_void_p
        x.XOpenDisplay.argtypes = [ctypes.c_char_p]
        x.XDefaultRootWindow.restype = ctypes.c_ulong
        x.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        x.XQueryTree.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.POINTER(ctypes.c_ulong),
                                 ctypes.POINTER(ctypes.c_ulong), ctypes.POINTER(ctypes.POINTER(ctypes.c_ulong)),
                                 ctypes.POINTER(ctypes.c_uint)]
        x.XFetchName.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.POINTER(ctypes.c_char_p)]
        x.XGetWindowAttributes.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.POINTER(WindowAttributes)]
        x.XGetImage.restype = ctypes.POINTER(ImageHead)
        x.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int, ctypes.c_uint,
                                ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
        x.XInternAtom.restype = ctypes.c_ulong
        x.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
        x.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long,
                                 ctypes.POINTER(Event)]
        x.XFree.argtypes = [ctypes.c_void_p]
        x.XFlush.argtypes = [ctypes.c_void_p]
        x.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
        # A window that goes away between two calls must not end the tool.
        self.handler = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p, ctypes.c_void_p)(lambda d, e: 0)
        x.XSetErrorHandler(self.handler)
        self.x = x
        self.display = x.XOpenDisplay(None)
        if not self.display:
            sys.exit("window_times: cannot open the display")

    def viewable_window(self, title):
        """The viewable top-level window named title, or None."""
        x = self.x
        root, parent = ctypes.c_ulong(), ctypes.c_ulong()
        children = ctypes.POINTER(ctypes.c_ulong)()
        count = ctypes.c_uint()
        if not x.XQueryTree(self.display, x.XDefaultRootWindow(self.display), ctypes.byref(root),
                            ctypes.byref(parent), ctypes.byref(children), ctypes.byref(count)):
            return None
        found = None
        for i in range(count.value):
            name = ctypes.c_char_p()
            if x.XFetchName(self.display, children[i], ctypes.byref(name)) and name.value:
                attributes = WindowAttributes()
                if (name.value == title and x.XGetWindowAttributes(self.display, children[i],
                                                                   ctypes.byref(attributes))
                        and attributes.map_state == IS_VIEWABLE):
                    found = children[i]
                x.XFree(name)
        if children:
            x.XFree(children)
        return found

    def pixel(self, window, at):
        """The pixel's bytes, or None while the window cannot be read."""
        image = self.x.XGetImage(self.display, window, at[0], at[1], 1, 1, ~0, Z_PIXMAP)
        if not image:
            return None
        value = bytes(image.contents.data[i] for i in range(3))
        self.x.XFree(image.contents.data)
        self.x.XFree(image)
        return value

    def close(self, window):
        """Asks the window to close, as a window manager's close button does."""
        event = Event()
        event.client.type = CLIENT_MESSAGE
        event.client.window = window
        event.client.message_type = self.x.XInternAtom(self.display, b"WM_PROTOCOLS", 0)
        event.client.format = 32
        event.client.data[0] = self.x.XInternAtom(self.display, b"WM_DELETE_WINDOW", 0)
        self.x.XSendEvent(self.display, window, 0, 0, ctypes.byref(event))
        self.x.XFlush(self.display)


def poll(condition):
    """Polls condition until it gives something other than None, for at most LIMIT_SECONDS."""
    end = time.monotonic() + LIMIT_SECONDS
    while time.monotonic() < end:
        value = condition()
        if value is not None:
            return value
        time.sleep(POLL_SECONDS)
    raise RuntimeError("nothing happened within %d s" % LIMIT_SECONDS)


def one_run(display, doccam, folder, wait_for_picture):
    """Seconds from the start to the window, to the first picture (None when not waited for), and
    from the close request to the end of the process."""
    start = time.monotonic()
    app = subprocess.Popen([doccam], cwd=folder, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        window = poll(lambda: display.viewable_window(b"MainWindow"))
        shown = time.monotonic() - start
        picture = None
        if wait_for_picture:
            blank = poll(lambda: display.pixel(window, PREVIEW_PIXEL))
            poll(lambda: True if display.pixel(window, PREVIEW_PIXEL) not in (None, blank) else None)
            picture = time.monotonic() - start
        asked = time.monotonic()
        display.close(window)
        app.wait(timeout=LIMIT_SECONDS)
        return shown, picture, time.monotonic() - asked
    finally:
        if app.poll() is None:
            app.kill()
            app.wait()


def figures(values):
    values = sorted(value * 1000 for value in values)
    return "%.0f / %.0f" % (statistics.median(values), values[-1])


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("doccam")
    parser.add_argument("--rounds", type=int, default=3)
    parser.add_argument("--sizes", default="3264x2448,2592x1944,1920x1080,1280x720,640x480")
    options = parser.parse_args()
    if not os.environ.get("DISPLAY"):
        os.execvp("xvfb-run", ["xvfb-run", "-a", "-s", "-screen 0 1024x768x24", sys.executable] + sys.argv)

    doccam = os.path.abspath(options.doccam)
    display = Display()
    print("doccam %s, %d rounds per size, wall-clock milliseconds as median / largest" % (doccam, options.rounds))
    print("%-10s %14s %14s %14s %14s" % ("size", "window", "first picture", "close", "close at once"))
    for size in options.sizes.split(","):
        folder = tempfile.mkdtemp(prefix="doccam-window-")
        try:
            with open(os.path.join(folder, "CameraConf.ini"), "w") as config:
                config.write("[library]\nbackend = virtual\n[camera0]\nresolutions = %s\n[camera1]\n" % size.upper())
            after_picture = [one_run(display, doccam, folder, True) for _ in range(options.rounds)]
            at_once = [one_run(display, doccam, folder, False) for _ in range(options.rounds)]
        finally:
            shutil.rmtree(folder)
        print("%-10s %14s %14s %14s %14s" % (size, figures(run[0] for run in after_picture),
                                             figures(run[1] for run in after_picture),
                                             figures(run[2] for run in after_picture),
                                             figures(run[2] for run in at_once)))


if __name__ == "__main__":
    main()
