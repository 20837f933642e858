"""A player's hands and eyes on an X display: xdotool for the mouse and the
keyboard, ImageMagick for screenshots and tesseract for reading a window."""

import os
import re
import shutil
import subprocess
import tempfile
import time


def run(*args, check=True):
    result = subprocess.run(list(args), stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    if check and result.returncode != 0:
        raise RuntimeError("%s failed: %s" % (" ".join(args), result.stderr.strip()))
    return result.stdout


def windows(name=None, visible=True, pid=None):
    """Window ids, optionally whose title matches the regular expression `name`."""
    args = ["xdotool", "search", "--all"]
    if visible:
        args.append("--onlyvisible")
    if pid is not None:
        args += ["--pid", str(pid)]
    args += ["--name", name if name is not None else ".*"]
    out = run(*args, check=False)
    return [int(line) for line in out.split()]


def title(window):
    return run("xdotool", "getwindowname", str(window), check=False).rstrip("\n")


def wait_for_window(name, timeout=60.0, pid=None, settle=0.3):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        found = windows(name, pid=pid)
        if found:
            time.sleep(settle)  # let it paint
            return found[-1]
        time.sleep(0.02)
    raise AssertionError("no window %r appeared within %.0f s" % (name, timeout))


def wait_gone(window, timeout=30.0):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if window not in windows():
            return
        time.sleep(0.1)
    raise AssertionError("window %s (%r) did not go" % (window, title(window)))


def geometry(window):
    """(x, y, width, height) of the window on the screen."""
    out = run("xdotool", "getwindowgeometry", "--shell", str(window))
    values = dict(line.split("=", 1) for line in out.split() if "=" in line)
    return int(values["X"]), int(values["Y"]), int(values["WIDTH"]), int(values["HEIGHT"])


def click(window, x, y, settle=0.2):
    """A left click at (x, y) of the window's client area, as a player's mouse does it."""
    run("xdotool", "mousemove", "--window", str(window), str(int(x)), str(int(y)))
    time.sleep(settle * 0.75)
    run("xdotool", "click", "1")
    time.sleep(settle)


def focus(window):
    run("xdotool", "windowfocus", "--sync", str(window), check=False)


def key(window, *keys):
    focus(window)
    run("xdotool", "key", "--clearmodifiers", *keys)
    time.sleep(0.2)


def type_text(window, text):
    focus(window)
    run("xdotool", "type", "--delay", "20", text)
    time.sleep(0.2)


def screenshot(window, path):
    os.makedirs(os.path.dirname(path) or ".", exist_ok=True)
    run("import", "-window", str(window), path)
    return path


def screenshot_screen(path, crop=None):
    os.makedirs(os.path.dirname(path) or ".", exist_ok=True)
    args = ["import", "-window", "root"]
    if crop:
        args += ["-crop", "%dx%d+%d+%d" % crop]
    run(*args, path)
    return path


def read_text(window):
    """What a person reads in the window: its pixels through OCR, blanks folded."""
    if shutil.which("tesseract") is None:
        raise AssertionError("tesseract is needed to read windows")
    with tempfile.TemporaryDirectory() as scratch:
        shot = screenshot(window, os.path.join(scratch, "w.png"))
        big = os.path.join(scratch, "big.png")
        run("convert", shot, "-resize", "300%", "-colorspace", "Gray", big)
        text = run("tesseract", big, "-", "--psm", "6", check=False)
    return re.sub(r"\s+", " ", text).strip()


def find_colour(window, rgb, tolerance=12, region=None):
    """The middle of the first run of pixels of colour `rgb` in the window,
    scanning rows from the top within `region` (x, y, width, height), or None.
    Finds a button by its look, as a player's eye does."""
    out = subprocess.run(["import", "-window", str(window), "-depth", "8", "ppm:-"], stdout=subprocess.PIPE,
                         check=True).stdout
    # P6 header: magic, width, height, maximum, each followed by one blank.
    fields, at = [], 0
    while len(fields) < 4:
        while out[at:at + 1].isspace():
            at += 1
        start = at
        while not out[at:at + 1].isspace():
            at += 1
        fields.append(out[start:at])
    width, height = int(fields[1]), int(fields[2])
    pixels = out[at + 1:]
    x0, y0, w, h = region or (0, 0, width, height)
    for y in range(y0, min(y0 + h, height)):
        row = pixels[(y * width) * 3:(y * width + width) * 3]
        run_start = None
        for x in range(x0, min(x0 + w, width)):
            r, g, b = row[x * 3], row[x * 3 + 1], row[x * 3 + 2]
            near = abs(r - rgb[0]) <= tolerance and abs(g - rgb[1]) <= tolerance and abs(b - rgb[2]) <= tolerance
            if near and run_start is None:
                run_start = x
            elif not near and run_start is not None:
                if x - run_start >= 10:
                    return (run_start + x) // 2, y + 6
                run_start = None
    return None
