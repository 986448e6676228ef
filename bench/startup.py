#!/usr/bin/env python3
"""Start-up benchmark: time from process start to a program's first frame on screen, watched
through X. The installer's options dialog against a program that only shows a window, in
interleaved runs on one warm wineserver session, in rounds until two rounds in a row agree on
the ratio; each keeps the median of the last two rounds. Then the options dialog's first frame
with the display at 200 % (the prefix's DPI at 192) against the same at 100 %, measured alike."""
import argparse
import ctypes
import os
import signal
import statistics
import subprocess
import sys
import time
import xml.etree.ElementTree as ET

import summary

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tools"))
from wizarddriver import fresh_session, set_dpi  # noqa: E402

TARGET_RATIO = 1.15
# The first frame at 200 % against the same at 100 %.
SCALED_DPI = 192
SCALED_TARGET_RATIO = 1.3
# Rounds of runs go on until two in a row give ratios this close (a share of the smaller).
AGREEMENT = 0.10
MAX_ROUNDS = 4
POLL_SECONDS = 0.002
TIMEOUT_SECONDS = 30
IS_VIEWABLE = 2
Z_PIXMAP = 2
ALL_PLANES = 0xFFFFFFFFFFFFFFFF


class WindowAttributes(ctypes.Structure):
    _fields_ = [("x", ctypes.c_int), ("y", ctypes.c_int), ("width", ctypes.c_int),
                ("height", ctypes.c_int), ("border_width", ctypes.c_int), ("depth", ctypes.c_int),
                ("visual", ctypes.c_void_p), ("root", ctypes.c_ulong), ("c_class", ctypes.c_int),
                ("bit_gravity", ctypes.c_int), ("win_gravity", ctypes.c_int),
                ("backing_store", ctypes.c_int), ("backing_planes", ctypes.c_ulong),
                ("backing_pixel", ctypes.c_ulong), ("save_under", ctypes.c_int),
                ("colormap", ctypes.c_ulong), ("map_installed", ctypes.c_int),
                ("map_state", ctypes.c_int), ("all_event_masks", ctypes.c_long),
                ("your_event_mask", ctypes.c_long), ("do_not_propagate_mask", ctypes.c_long),
                ("override_redirect", ctypes.c_int), ("screen", ctypes.c_void_p)]


class Screen:
    """The X display, read directly through Xlib: polling costs no process per look."""

    def __init__(self):
        self.x = ctypes.CDLL("libX11.so.6")
        self.x.XOpenDisplay.restype = ctypes.c_void_p
        self.x.XOpenDisplay.argtypes = [ctypes.c_char_p]
        self.x.XDefaultRootWindow.restype = ctypes.c_ulong
        self.x.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        self.x.XDisplayHeight.argtypes = [ctypes.c_void_p, ctypes.c_int]
        self.x.XQueryTree.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.POINTER(ctypes.c_ulong),
                                      ctypes.POINTER(ctypes.c_ulong),
                                      ctypes.POINTER(ctypes.POINTER(ctypes.c_ulong)),
                                      ctypes.POINTER(ctypes.c_uint)]
        self.x.XGetWindowAttributes.argtypes = [ctypes.c_void_p, ctypes.c_ulong,
                                                ctypes.POINTER(WindowAttributes)]
        self.x.XGetImage.restype = ctypes.c_void_p
        self.x.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int,
                                     ctypes.c_uint, ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
        self.x.XGetPixel.restype = ctypes.c_ulong
        self.x.XGetPixel.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_int]
        self.x.XDestroyImage.argtypes = [ctypes.c_void_p]
        self.x.XFree.argtypes = [ctypes.c_void_p]
        self.x.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
        self.display = self.x.XOpenDisplay(None)
        if not self.display:
            sys.exit("startup: no X display")
        # A window can go between two requests; Xlib's default handler would end this program.
        self.on_error = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p, ctypes.c_void_p)(
            lambda display, event: 0)
        self.x.XSetErrorHandler(self.on_error)
        self.root = self.x.XDefaultRootWindow(self.display)
        self.height = self.x.XDisplayHeight(self.display, 0)

    def windows(self):
        root, parent = ctypes.c_ulong(), ctypes.c_ulong()
        children, count = ctypes.POINTER(ctypes.c_ulong)(), ctypes.c_uint()
        if not self.x.XQueryTree(self.display, self.root, ctypes.byref(root), ctypes.byref(parent),
                                 ctypes.byref(children), ctypes.byref(count)):
            return []
        found = [children[i] for i in range(count.value)]
        if children:
            self.x.XFree(children)
        return found

    def attributes(self, window):
        attributes = WindowAttributes()
        if not self.x.XGetWindowAttributes(self.display, window, ctypes.byref(attributes)):
            return None
        return attributes

    def pixels(self, window, width, height, grid=8):
        """A grid of the window's pixels (colour only), or None when it cannot be read."""
        image = self.x.XGetImage(self.display, window, 0, 0, width, height, ALL_PLANES, Z_PIXMAP)
        if not image:
            return None
        try:
            return [self.x.XGetPixel(image, width * (i + 1) // (grid + 1),
                                     height * (j + 1) // (grid + 1)) & 0xFFFFFF
                    for i in range(grid) for j in range(grid)]
        finally:
            self.x.XDestroyImage(image)


def first_frame(screen, command, size, before):
    """Seconds from starting `command` until a new viewable top-level window of `size` shows a
    painted picture: most of a grid of its pixels differ from the empty screen (`before`)."""
    start = time.perf_counter()
    process = subprocess.Popen(command, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
    try:
        while time.perf_counter() - start < TIMEOUT_SECONDS:
            for window in screen.windows():
                if window in before:
                    continue
                attributes = screen.attributes(window)
                if (attributes is None or attributes.map_state != IS_VIEWABLE or
                        (attributes.width, attributes.height) != size):
                    continue
                # Only what lies on the screen can be read: a window at 200 % may reach below it.
                pixels = screen.pixels(window, size[0], min(size[1], screen.height - max(attributes.y, 0)))
                if pixels and sum(p != 0 for p in pixels) > len(pixels) // 2:
                    return time.perf_counter() - start
            time.sleep(POLL_SECONDS)
        return None
    finally:
        # The process Wine runs the program in is the one started here (the launcher execs it).
        process.send_signal(signal.SIGKILL)
        process.wait()
        gone = time.perf_counter()
        while time.perf_counter() - gone < 5 and any(
                w not in before and (a := screen.attributes(w)) and a.map_state == IS_VIEWABLE
                for w in screen.windows()):
            time.sleep(0.02)


def timeline(program, runs):
    """The median of each start-up step over `runs` warm runs of the timeline program, in the
    program's order: (step, ms the step took, ms since process creation)."""
    steps = {}
    for _ in range(runs):
        out = subprocess.run(["wine", program], capture_output=True, text=True, stdin=subprocess.DEVNULL)
        if out.returncode != 0:
            print(f"  start-up timeline: {program} ended with {out.returncode}")
            return []
        for line in out.stdout.splitlines():
            fields = line.split("\t")
            if len(fields) >= 2:
                steps.setdefault(fields[0], []).append([float(v) for v in fields[1:]])
    return [(name, *(statistics.median(v[i] for v in values) if len(values[0]) > i else None
                     for i in range(2)))
            for name, values in steps.items()]


def measure_round(screen, programs, runs):
    """`runs` first frames of each program (name, file, window size, display DPI or None for the
    prefix's own), interleaved: their times, failures and the first's ratio to the second."""
    times = {name: [] for name, _, _, _ in programs}
    failed = {name: 0 for name, _, _, _ in programs}
    for run in range(runs):
        # Runs alternate which program goes first, so a change in load touches both alike.
        for name, exe, size, dpi in programs if run % 2 == 0 else programs[::-1]:
            if any(p[3] for p in programs):
                set_dpi(dpi)
            before = set(screen.windows())
            seconds = first_frame(screen, ["wine", exe], size, before)
            if seconds is None:
                failed[name] += 1
            else:
                times[name].append(seconds)
    installer, floor = (times[name] for name, _, _, _ in programs)
    ratio = statistics.median(installer) / statistics.median(floor) if installer and floor else None
    return {"times": times, "failed": failed, "ratio": ratio}


def measure(screen, programs, runs):
    """Rounds of `measure_round` until two in a row agree on the ratio within AGREEMENT (a busy
    moment of the machine moves one round): the rounds, whether they agreed, and each program's
    times and failures over the last two."""
    rounds = []
    agreed = False
    while len(rounds) < MAX_ROUNDS and not agreed:
        rounds.append(measure_round(screen, programs, runs))
        ratios = [r["ratio"] for r in rounds[-2:]]
        agreed = len(ratios) == 2 and None not in ratios and abs(ratios[0] - ratios[1]) <= AGREEMENT * min(ratios)
    shown_ratios = " ".join("-" if r["ratio"] is None else f"{r['ratio']:.2f}x" for r in rounds)
    print(f"  rounds of {runs} runs each, ratio per round: {shown_ratios}; "
          + ("the last two agree within 10 %" if agreed
             else f"no two rounds in a row agreed within 10 % in {MAX_ROUNDS}"))
    times = {name: [v for r in rounds[-2:] for v in r["times"][name]] for name, _, _, _ in programs}
    failed = {name: sum(r["failed"][name] for r in rounds[-2:]) for name, _, _, _ in programs}
    medians = {}
    for name, _, _, _ in programs:
        values = times[name]
        medians[name] = statistics.median(values) if values else None
        shown = " ".join(f"{v:.3f}" for v in values)
        print(f"  {name:26} median {medians[name] or 0:.3f} s  ({shown})"
              f"{f'  {failed[name]} runs showed no frame' if failed[name] else ''}")
    return rounds, times, medians


def measure_scaled(screen, installer, size, runs, summary_path):
    """The options dialog's first frame at 200 % against 100 %, one row of the summary."""
    scaled_size = tuple(round(side * SCALED_DPI / 96) for side in size)
    programs = [("options dialog at 200 %", installer, scaled_size, SCALED_DPI),
                ("options dialog at 100 %", installer, size, None)]
    try:
        _, times, medians = measure(screen, programs, runs)
    finally:
        set_dpi(None)
    scaled, base = (medians[name] for name, _, _, _ in programs)
    if scaled is None or base is None:
        summary.add(summary_path, "start-up at 200 %: first frame", "no frame seen",
                    f"<= {SCALED_TARGET_RATIO}x of 100 %", False)
        return 1
    ratio = scaled / base
    print(f"  ratio 200 %/100 % {ratio:.2f}x (target at most {SCALED_TARGET_RATIO}x)")
    summary.add(summary_path, "start-up at 200 %: options dialog first frame",
                f"{scaled:.3f} s = {ratio:.2f}x of 100 %", f"<= {SCALED_TARGET_RATIO}x of 100 %",
                ratio <= SCALED_TARGET_RATIO)
    return 0


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--installer", required=True)
    ap.add_argument("--floor", required=True, help="the program that only shows a window")
    ap.add_argument("--layout", required=True, help="the installer's layout (the dialog's size)")
    ap.add_argument("--timeline", help="the program that times the installer's start-up steps")
    ap.add_argument("--runs", type=int, default=9)
    ap.add_argument("--summary")
    args = ap.parse_args()
    dialog = next(d for d in ET.parse(args.layout).getroot().iter("Dlg") if d.get("name") == "InitDlg")
    size = (int(dialog.get("width", 400)), int(dialog.get("height", 300)))
    programs = [("installer options dialog", args.installer, size, None),
                ("trivial window (floor)", args.floor, (600, 430), None)]
    screen = Screen()
    fresh_session()
    # One start of each first: the first start of a program in a session loads its file and
    # DLLs from disk; the series measures warm starts.
    before = set(screen.windows())
    for _, exe, window_size, _ in programs:
        first_frame(screen, ["wine", exe], window_size, before)
    rounds, times, medians = measure(screen, programs, args.runs)
    if args.timeline:
        print(f"  where the installer's time goes (the steps timed alone, median of {args.runs} runs; "
              "ms the step took, ms since the process was created):")
        for name, took, since in timeline(args.timeline, args.runs):
            print(f"    {took:7.1f} {'' if since is None else f'{since:7.1f}':7}  {name}")
    installer, floor = (name for name, _, _, _ in programs)
    if medians[installer] is None or medians[floor] is None:
        print("  start-up: no frame seen")
        summary.add(args.summary, "start-up: first frame", "no frame seen", f"<= {TARGET_RATIO}x floor",
                    False)
        return 1
    ratio = medians[installer] / medians[floor]
    print(f"  ratio installer/floor {ratio:.2f}x (target at most {TARGET_RATIO}x)")
    summary.add(args.summary, "start-up: options dialog first frame",
                f"{medians[installer]:.3f} s (median of {len(times[installer])}, {len(rounds)} rounds)")
    summary.add(args.summary, "start-up: trivial window (floor)", f"{medians[floor]:.3f} s")
    summary.add(args.summary, "start-up: ratio to the floor", f"{ratio:.2f}x", f"<= {TARGET_RATIO}x",
                ratio <= TARGET_RATIO)
    print("  the options dialog at 200 % against 100 % (the prefix's DPI at 192 and at 96):")
    return measure_scaled(screen, args.installer, size, args.runs, args.summary)


if __name__ == "__main__":
    sys.exit(main())
