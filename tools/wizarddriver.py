"""Drives a running installer as a person would, from this machine: clicks and keys
through X (xdotool) at the layout's coordinates, windows and message boxes through the
test helper running inside Wine. Used by the wizard tests and by the demo."""
import os
import subprocess
import time
import xml.etree.ElementTree as ET

# Wine reads command lines in the locale's character set, and window titles are Chinese.
UTF8_ENV = dict(os.environ, LC_ALL="C.UTF-8")


def wine_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def xdotool(*args):
    subprocess.run(["xdotool", *args], check=True, capture_output=True, timeout=30)


def screenshot(path):
    shot = subprocess.run(["xwd", "-root", "-silent"], capture_output=True, check=True).stdout
    subprocess.run(["convert", "xwd:-", path], input=shot, check=True)


def fresh_session():
    """Nothing left of an earlier run: Wine keeps processes and windows per wineserver."""
    # The server and Wine's services outlive these calls: they must not hold our pipes.
    quiet = dict(stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    subprocess.run(["wineserver", "-k"], **quiet)
    subprocess.run(["wineserver", "-w"], **quiet)
    subprocess.run(["wineserver", "-p"], **quiet)
    subprocess.run(["wine", "cmd.exe", "/c", "exit", "0"], **quiet)


class Helper:
    """The test helper program inside Wine (tests/support/qpxtesthelper.cpp)."""

    def __init__(self, folder):
        self.exe = os.path.join(folder, "qpxtesthelper.exe")

    def run(self, *args, timeout=60):
        out = subprocess.run(["wine", self.exe, *args], capture_output=True, timeout=timeout,
                             env=UTF8_ENV)
        return out.returncode, out.stdout.decode("utf-8", "replace").strip()

    def start_logged(self, log_path, program, env=None):
        """Starts `program` under the helper's debugger loop; its debug lines go to log_path."""
        return subprocess.Popen(["wine", self.exe, "run-logged", wine_path(log_path), wine_path(program)],
                                env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def click(self, hwnd, x, y):
        """A left click at client point x, y of a window (no window manager: the window's
        screen rectangle is where X shows it)."""
        code, rect = self.run("window-rect", hwnd)
        assert code == 0, "window has no rectangle"
        left, top = (int(v) for v in rect.split()[:2])
        xdotool("mousemove", "--sync", str(left + x), str(top + y))
        time.sleep(0.15)
        xdotool("click", "1")
        time.sleep(0.4)


class Layout:
    """Control positions from a product's layout document."""

    def __init__(self, path):
        self.root = ET.parse(path).getroot()

    def centre(self, dlg, name):
        for d in self.root.iter("Dlg"):
            if d.get("name") != dlg:
                continue
            for e in d.iter():
                if e.get("name") == name:
                    l, t, r, b = (int(v) for v in e.get("rect").split(","))
                    return (l + r) // 2, (t + b) // 2
        raise KeyError(f"{dlg}/{name}")
