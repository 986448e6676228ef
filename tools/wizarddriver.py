"""Drives a running installer as a person would, from this machine: clicks and keys
through X (xdotool) at the layout's coordinates, windows and message boxes through the
test helper running inside Wine. Used by the wizard tests and by the demo."""
import os
import subprocess
import tempfile
import time
import xml.etree.ElementTree as ET


def utf8_env(env=None, locale="C.UTF-8"):
    """Wine reads command lines in the locale's character set, and window titles are Chinese:
    a UTF-8 locale, the neutral one unless another is asked for."""
    return dict(env or os.environ, LC_ALL=locale)


def wine_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def host_path(path):
    """The file on this machine behind a Wine path on C: or Z: of the current prefix."""
    drive, rest = path[:2].upper(), path[3:].replace("\\", "/")
    assert drive in ("C:", "Z:"), path
    return os.path.join(os.environ["WINEPREFIX"], "drive_c", rest) if drive == "C:" else "/" + rest


def xdotool(*args):
    subprocess.run(["xdotool", *args], check=True, capture_output=True, timeout=30)


def screenshot(path):
    shot = subprocess.run(["xwd", "-root", "-silent"], capture_output=True, check=True).stdout
    subprocess.run(["convert", "xwd:-", path], input=shot, check=True)


# The server and Wine's services outlive these calls: they must not hold our pipes.
QUIET = dict(stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
# Where the prefix keeps its display's DPI (LogPixels).
DESKTOP = "HKCU\\Control Panel\\Desktop"


def end_session():
    """Every Wine process of the prefix ended and its registry written out."""
    subprocess.run(["wineserver", "-k"], **QUIET)
    subprocess.run(["wineserver", "-w"], **QUIET)


def fresh_session():
    """Nothing left of an earlier run: Wine keeps processes and windows per wineserver."""
    end_session()
    subprocess.run(["wineserver", "-p"], **QUIET)
    subprocess.run(["wine", "cmd.exe", "/c", "exit", "0"], **QUIET)


def set_dpi(dpi, check=False):
    """The prefix's display at `dpi` for the programs started from now on; None deletes the
    value, which leaves the display at its default of 96. `check`: a failed change raises."""
    if dpi is None:
        command = ["wine", "reg", "delete", DESKTOP, "/v", "LogPixels", "/f"]
    else:
        command = ["wine", "reg", "add", DESKTOP, "/v", "LogPixels", "/t", "REG_DWORD", "/d", str(dpi), "/f"]
    subprocess.run(command, check=check, **QUIET)


class Helper:
    """The test helper program inside Wine (tests/support/qpxtesthelper.cpp)."""

    def __init__(self, folder):
        self.exe = os.path.join(folder, "qpxtesthelper.exe")

    def run(self, *args, timeout=60):
        # Output goes through a file, not a pipe: a Wine service or the desktop process that
        # this call happens to start inherits the handle and would keep a pipe open for good.
        with tempfile.TemporaryFile() as output:
            code = subprocess.run(["wine", self.exe, *args], stdin=subprocess.DEVNULL, stdout=output,
                                  stderr=subprocess.DEVNULL, timeout=timeout, env=utf8_env()).returncode
            output.seek(0)
            text = output.read().decode("utf-8", "replace")
        # Only line ends go: a registry line of the default value begins with its empty name.
        return code, text.strip("\r\n")

    def start_logged(self, log_path, program, env=None, args=(), locale="C.UTF-8"):
        """Starts `program` (a path on this machine, or a Windows path such as C:\\x.exe) through
        the helper, which collects its debug lines into log_path; in `locale` (a UTF-8 one)."""
        program = program if program[1:3] == ":\\" else wine_path(program)
        return subprocess.Popen(["wine", self.exe, "run-logged", wine_path(log_path), program,
                                 *args], env=utf8_env(env, locale),
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def reg_values(self, root, key, view="32"):
        """The values of one key in one registry view as {name: (type, data)}, or None when
        the key is absent."""
        code, out = self.run("reg-values", root, key, view)
        if code != 0:
            return None
        result = {}
        for line in out.splitlines():
            if not line:
                continue
            name, kind, data = (line.split("\t") + ["", ""])[:3]
            result[name] = (kind, data)
        return result

    def service_state(self, name):
        """The service's state number (4 running, 1 stopped), or None when it is not installed."""
        code, out = self.run("service-state", name)
        return int(out) if code == 0 else None

    def special_folder(self, csidl):
        code, path = self.run("folder", str(csidl))
        assert code == 0, f"no special folder {csidl}"
        return path

    def short_path(self, path):
        code, short = self.run("short-path", path)
        assert code == 0, f"no short name of {path}"
        return short

    def window_rect(self, hwnd):
        """[left, top, right, bottom] of a window on the screen."""
        code, rect = self.run("window-rect", hwnd)
        assert code == 0, "the window has no rectangle"
        return [int(v) for v in rect.split()[:4]]

    def click(self, hwnd, x, y):
        """A left click at client point x, y of a window (no window manager: the window's
        screen rectangle is where X shows it)."""
        left, top = self.window_rect(hwnd)[:2]
        xdotool("mousemove", "--sync", str(left + x), str(top + y))
        time.sleep(0.15)
        xdotool("click", "1")
        time.sleep(0.4)


class Layout:
    """Control positions from a product's layout document, in its pixels (96 DPI)."""

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


class Wizard:
    """One installer process started through the helper, and its wizard's windows, drawn at
    `scale` (the display's DPI / 96) in `locale`."""

    def __init__(self, helper, installer, title, layout, folder, env=None, args=(), scale=1, locale="C.UTF-8"):
        self.helper, self.title, self.layout, self.scale = helper, title, layout, scale
        self.log_path = os.path.join(folder, "installer.log")
        self.process = helper.start_logged(self.log_path, installer, env, args, locale)
        self.hwnd = None

    def window(self, timeout=30):
        code, out = self.helper.run("wait-window", "Qpx_Installer", self.title, str(timeout * 1000))
        assert code == 0, "no wizard window"
        self.hwnd = out
        time.sleep(0.7)  # mapped and painted once
        return out

    def next_window(self, timeout=30):
        old = self.hwnd
        end = time.time() + timeout
        while time.time() < end:
            code, out = self.helper.run("wait-window", "Qpx_Installer", self.title, "1000")
            if code == 0 and out != old:
                self.hwnd = out
                time.sleep(0.7)
                return out
            time.sleep(0.2)
        raise AssertionError("the next dialog did not come")

    def window_alive(self):
        code, out = self.helper.run("wait-window", "Qpx_Installer", self.title, "0")
        return code == 0 and out == self.hwnd

    def click(self, dlg, name):
        self.helper.click(self.hwnd, *(round(v * self.scale) for v in self.layout.centre(dlg, name)))

    def focus(self, name=None):
        """Gives the X window of the wizard (or of the window named `name`) the keyboard: there
        is no window manager to do it. The wizard's X window is found by the ASCII part of its
        title, which X names reliably."""
        name = name or "".join(c for c in self.title if ord(c) < 128)
        ids = subprocess.run(["xdotool", "search", "--name", name], capture_output=True,
                             text=True).stdout.split()
        assert ids, "no X window for the wizard"
        xdotool("windowfocus", "--sync", ids[-1])

    def type(self, text):
        """Types into the focused control of the wizard, key by key."""
        self.focus()
        xdotool("type", "--delay", "60", text)
        time.sleep(0.3)

    def box(self, caption, timeout=15):
        code, hwnd = self.helper.run("wait-window", "#32770", caption, str(timeout * 1000))
        assert code == 0, f"no message box '{caption}'"
        return hwnd, self.helper.run("box-text", hwnd)[1]

    def no_box(self, caption):
        return self.helper.run("wait-window", "#32770", caption, "800")[0] != 0

    def finish(self, timeout=60):
        try:
            return self.process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            self.process.kill()
            raise AssertionError("the installer did not end")

    def log(self):
        try:
            return open(self.log_path, encoding="utf-8").read()
        except FileNotFoundError:
            return ""

    def kill(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()
