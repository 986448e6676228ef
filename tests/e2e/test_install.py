"""The sample product's installer run as a person would, in a Wine prefix that is put back
to the same state before each case: every effect of a real installation (files, registry,
shortcuts, service, shell extension, statistics report, the product started at the end) is
checked on the machine afterwards. Run by pytest with the options of tests/conftest.py."""
import contextlib
import glob
import hashlib
import os
import shutil
import subprocess
import sys
import tempfile
import time

import pytest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools"))
from qpxpe import PeImage  # noqa: E402
from wizarddriver import (Helper, Layout, Wizard, end_session, fresh_session, host_path,  # noqa: E402
                          wine_path)

ARGS = None  # the options, set by tests/conftest.py
TITLE = "Corvane安装"
UNINSTALL_TITLE = "Corvane卸载"
CAPTION = "Corvane - 安装"
ERROR_CAPTION = ":-( 杯具，脚本执行时发生错误"
PROGRAMS = ["Corvane.exe", "CorvaneSearch.exe", "CorvaneUpdate.exe", "CorvaneStat.dll",
            "CorvaneShell.dll", "CorvaneExt.dll", "CorvaneExt64.dll", "Uninstall.exe"]
REG = "SOFTWARE\\Corvane"
UNINST = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Corvane"
MENU = "Directory\\Background\\shell\\开启桌面整理"
RUN_KEY = "Software\\Microsoft\\Windows\\CurrentVersion\\Run"
SESSION_MANAGER = "System\\CurrentControlSet\\Control\\Session Manager"
SHELL_EXT_CLSID = "CLSID\\{6F1C2A4E-3B7D-4E59-9A0C-2D8E5B1F7C43}\\InprocServer32"
REPORT = ["stat_unionid(4003)", "stat_appid(22)", "stat_level(2)", "stat_version_ex(2,0,3,159)",
          "stat_install_addr(stats.corvane.example,8502)", "stat_init()", "stat_install(1)",
          "stat_http_post(https://stats.corvane.example/install,nil,0,1)", "stat_close()"]
REGISTRY_FILES = ["system.reg", "user.reg", "userdef.reg"]


def helper(*args, timeout=60):
    return Helper(ARGS.tests).run(*args, timeout=timeout)


def win64():
    return ARGS.arch == "win64"


def installer_64bit():
    return PeImage(open(ARGS.installer, "rb").read()).is_64bit


def own_view():
    """The registry view the installer's own calls see: the 32-bit one for the i686 installer
    (on 64-bit Windows that is Wow6432Node), the native one for the x86_64 installer."""
    return "64" if installer_64bit() else "32"


def default_folder():
    wow64 = win64() and not installer_64bit()
    return "C:\\Program Files (x86)\\Corvane" if wow64 else "C:\\Program Files\\Corvane"


def special_folder(csidl):
    return Helper(ARGS.tests).special_folder(csidl)


def link_arguments(link):
    """The command-line arguments a shell link file holds (empty when none)."""
    with open(host_path(link), "rb") as f:
        data = f.read()
    flags = int.from_bytes(data[20:24], "little")
    at = 0x4C
    if flags & 0x01:  # the target's item id list
        at += 2 + int.from_bytes(data[at:at + 2], "little")
    if flags & 0x02:  # the link info
        at += int.from_bytes(data[at:at + 4], "little")
    width = 2 if flags & 0x80 else 1
    # Description, relative path, working folder, then the arguments: counted strings.
    for bit in (0x04, 0x08, 0x10, 0x20):
        if not flags & bit:
            continue
        count = int.from_bytes(data[at:at + 2], "little")
        text = data[at + 2:at + 2 + count * width]
        at += 2 + count * width
        if bit == 0x20:
            return text.decode("utf-16-le" if width == 2 else "latin-1").rstrip("\0")
    return ""


def shortcuts():
    """The shortcut files the installation may create, by what they are."""
    return {
        "desktop": special_folder(16) + "\\Corvane.lnk",
        "quick launch": special_folder(26) + "\\Microsoft\\Internet Explorer\\Quick Launch\\Corvane.lnk",
        "start menu": special_folder(23) + "\\Corvane\\Corvane.lnk",
        "start menu uninstaller": special_folder(23) + "\\Corvane\\卸载Corvane.lnk",
    }


def values(root, key, view=None):
    return Helper(ARGS.tests).reg_values(root, key, view or own_view())


def service_state():
    return Helper(ARGS.tests).service_state("CorvaneSearch")


# --- the machine before each case ----------------------------------------------------------

class Machine:
    """Puts the prefix back to the state it had when the run began: the registry files are
    restored while no Wine process runs, and the files an installation leaves are removed."""

    def __init__(self):
        self.saved = tempfile.mkdtemp(prefix="qpx-registry-")
        end_session()
        for name in REGISTRY_FILES:
            shutil.copy2(os.path.join(os.environ["WINEPREFIX"], name), self.saved)

    def reset(self):
        end_session()
        for name in REGISTRY_FILES:
            shutil.copy2(os.path.join(self.saved, name), os.environ["WINEPREFIX"])
        c = os.path.join(os.environ["WINEPREFIX"], "drive_c")
        # An uninstaller's temporary copy is removed by a process that ending the session kills.
        for pattern in ["Program Files*/Corvane", "Corvane Test", "users/*/Temp/qpx-uninstall-*",
                        "users/*/Desktop/*.lnk",
                        "users/*/AppData/Roaming/Microsoft/Internet Explorer/Quick Launch/*.lnk",
                        "ProgramData/Microsoft/Windows/Start Menu/Programs/Corvane"]:
            for path in glob.glob(os.path.join(c, pattern)):
                shutil.rmtree(path) if os.path.isdir(path) else os.remove(path)
        fresh_session()


@pytest.fixture(scope="module")
def machine(module_args):
    """The prefix of the cases (the run's own, or one made for them), as it was when they began
    and is again after the last."""
    ARGS.layout = Layout(ARGS.layout)
    ARGS.uninstall_layout = Layout(ARGS.uninstall_layout)
    if ARGS.arch == "win32" and installer_64bit():
        pytest.skip("a 32-bit Windows runs no 64-bit installer")
    if ARGS.prefix:
        tools = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools")
        subprocess.run(["bash", "-c", f'source "{tools}/wine-env.sh" && qpx_wine_prefix "$0" {ARGS.arch}',
                        ARGS.prefix], check=True, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
        os.environ.update(WINEPREFIX=ARGS.prefix, WINEARCH=ARGS.arch)
    machine = Machine()
    yield machine
    machine.reset()
    if ARGS.prefix:
        end_session()


@pytest.fixture(autouse=True)
def reset_machine(machine):
    machine.reset()


# --- one installer run ---------------------------------------------------------------------

class Install(Wizard):
    def __init__(self, installer=None, args=()):
        self.folder = tempfile.mkdtemp(prefix="qpx-install-")
        super().__init__(Helper(ARGS.tests), installer or ARGS.installer, TITLE, ARGS.layout,
                         self.folder, args=args)

    def untick(self, *boxes):
        for box in boxes:
            self.click("InitDlg", box)

    def through_progress(self, timeout=120):
        """Confirms the options dialog and waits for the completion dialog after the progress
        dialog (which stays for seconds: the install hook pauses for the service and shell)."""
        self.click("InitDlg", "InstallBtn")
        self.to_completion(timeout)

    def to_completion(self, timeout=120):
        self.next_window(timeout=30)
        self.next_window(timeout=timeout)

    def complete(self, start_product=False):
        self.through_progress()
        self.click("CompleteDlg", "UseBtn" if start_product else "CloseBtn")
        return self.finish()


def install(installer=None, args=(), untick=(), start_product=False):
    """One installation through the wizard to its end, confirming the options as they are
    but for the boxes to untick; the finished run (its log stays readable)."""
    run = Install(installer, args)
    try:
        run.window()
        run.untick(*untick)
        run.code = run.complete(start_product)
        if start_product:
            run.product_window = helper("wait-window", "CorvaneWnd", "Corvane", "15000")[0] == 0
        return run
    finally:
        run.kill()


def renamed_installer(source, name):
    folder = tempfile.mkdtemp(prefix="qpx-renamed-")
    path = os.path.join(folder, name)
    shutil.copy(source, path)
    return path


class ShellWindow:
    """The desktop shell's window, which Wine lacks: the product is started with its token."""

    def __enter__(self):
        self.process = subprocess.Popen(["wine", os.path.join(ARGS.tests, "qpxtesthelper.exe"),
                                         "shell-window"], stdout=subprocess.PIPE,
                                        stderr=subprocess.DEVNULL)
        self.process.stdout.readline()
        return self

    def __exit__(self, *exc):
        self.process.kill()
        self.process.wait()


# --- checks --------------------------------------------------------------------------------

def check_files(folder):
    host = host_path(folder)
    for name in PROGRAMS:
        built = ARGS.uninstaller if name == "Uninstall.exe" else os.path.join(ARGS.programs, name)
        with open(os.path.join(host, name), "rb") as f, open(built, "rb") as g:
            assert f.read() == g.read(), f"{name} differs from the built program"
    assert os.path.exists(os.path.join(host, "readme.txt"))
    for copy, resource in (("Uninst.dar0", "GLOBAL_VAR.LUAC"), ("Uninst.dar1", "UNINSTSCRIPT.LUAC")):
        with open(os.path.join(host, copy), "rb") as f, open(os.path.join(ARGS.resources, resource), "rb") as g:
            assert f.read() == g.read(), f"{copy} is not the {resource} resource"


def check_registry(folder, union_id=4003, oem_id=4001):
    for root in ("HKLM", "HKCU"):
        product = values(root, REG)
        assert product is not None, f"{root}\\{REG} missing"
        expected = {"AppPath": ("REG_SZ", folder), "UnionId": ("REG_DWORD", str(union_id)),
                    "OEMUnionId": ("REG_DWORD", str(oem_id)), "OemID": ("REG_DWORD", "1"),
                    "UserID": ("REG_BINARY", "00")}
        if root == "HKCU":
            expected.update({"Version": ("REG_DWORD", "200030159"), "DisplayVersion": ("REG_SZ", "2.0.3.159")})
        assert product == expected, (root, product)
    uninstall = values("HKLM", UNINST)
    assert uninstall == {
        "DisplayIcon": ("REG_SZ", folder + "\\Corvane.exe"),
        "DisplayName": ("REG_SZ", "Corvane"),
        "DisplayVersion": ("REG_SZ", "2.0.3.159"),
        "EstimatedSize": ("REG_DWORD", str(57999360 // 1024)),
        "NoModify": ("REG_DWORD", "1"),
        "NoRepair": ("REG_DWORD", "1"),
        "Publisher": ("REG_SZ", "Corvane Software"),
        "UninstallString": ("REG_SZ", f'"{folder}\\Uninstall.exe"'),
        "InstallLocation": ("REG_SZ", folder),
        "InstallDate": ("REG_SZ", time.strftime("%Y%m%d")),
    }, uninstall
    assert values("HKCR", MENU) == {"Icon": ("REG_SZ", folder + "\\Corvane.exe,0")}, values("HKCR", MENU)
    assert values("HKCR", MENU + "\\command") == {"": ("REG_SZ", f'"{folder}\\Corvane.exe"')}


def check_shell_extension(folder):
    """The build of the system's own bitness is registered, in that registry view only."""
    if win64():
        assert values("HKCR", SHELL_EXT_CLSID, "64").get("") == ("REG_SZ", folder + "\\CorvaneExt64.dll")
        assert values("HKCR", SHELL_EXT_CLSID, "32") is None
    else:
        assert values("HKCR", SHELL_EXT_CLSID, "32").get("") == ("REG_SZ", folder + "\\CorvaneExt.dll")


def report(folder):
    with open(os.path.join(host_path(folder), "CorvaneStat.log"), encoding="utf-8") as f:
        return f.read().splitlines()


def run_value():
    return (values("HKCU", RUN_KEY) or {}).get("Corvane")


def wine_reg_add(key, name, data):
    subprocess.run(["wine", "reg", "add", key, "/v", name, "/d", data, "/f", "/reg:" + own_view()], check=True,
                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def pending_renames():
    return (values("HKLM", SESSION_MANAGER, "64" if win64() else "32") or {}).get(
        "PendingFileRenameOperations", ("", ""))[1]


# --- cases ---------------------------------------------------------------------------------

def test_a_full_run_with_the_default_options_installs_everything():
    folder = default_folder()
    with ShellWindow():
        run = install(start_product=True)
        assert run.code == 1
        assert run.product_window, "the product's window did not appear"
    check_files(folder)
    check_registry(folder)
    check_shell_extension(folder)
    for what, link in shortcuts().items():
        assert os.path.exists(host_path(link)), f"no {what} shortcut"
    with open(host_path(shortcuts()["desktop"]), "rb") as f:
        link = f.read()
    assert b"Corvane.exe" in link or "Corvane.exe".encode("utf-16-le") in link
    assert link_arguments(shortcuts()["start menu"]) == "/menu"
    assert run_value() == ("REG_SZ", f'"{folder}\\Corvane.exe"')
    assert service_state() == 4, "the service is not running"
    assert report(folder) == REPORT, report(folder)


def test_unticked_boxes_leave_their_shortcuts_run_value_and_service_out():
    wine_reg_add("HKCU\\" + RUN_KEY, "Corvane", "C:\\old\\Corvane.exe")
    assert run_value() is not None
    assert install(untick=("QuickLaunchChk", "ShouldStartWithWindowsChk", "StartMenuShortcutChk",
                           "InstallSearchServer")).code == 1
    links = shortcuts()
    assert os.path.exists(host_path(links["desktop"])), "the desktop shortcut has no box of its own"
    for what in ("quick launch", "start menu", "start menu uninstaller"):
        assert not os.path.exists(host_path(links[what])), f"a {what} shortcut although unticked"
    assert run_value() is None, "the old Run value stayed"
    assert service_state() is None, "the service was installed although unticked"
    assert report(default_folder()) == REPORT


def test_command_line_folder_and_channel_on_a_clean_machine():
    target = wine_path(tempfile.mkdtemp(prefix="qpx-cmdline-")) + "\\Corvane"
    # An empty folder or a channel that is not a number changes nothing.
    assert install(args=["-path:" + target, "/uid:4100", "-path:", "/uid:x"]).code == 1
    assert os.path.exists(os.path.join(host_path(target), "Corvane.exe"))
    assert values("HKLM", REG)["UnionId"] == ("REG_DWORD", "4100")
    assert values("HKCU", REG)["UnionId"] == ("REG_DWORD", "4100")
    assert report(target)[0] == "stat_unionid(4100)"


def test_an_earlier_installation_wins_over_the_default_and_loses_to_the_command_line():
    earlier = "C:\\Earlier\\Corvane"
    wine_reg_add("HKLM\\" + UNINST, "InstallLocation", earlier)
    assert install().code == 1
    assert os.path.exists(os.path.join(host_path(earlier), "Corvane.exe")), "not installed where it was before"
    assert not os.path.exists(host_path(default_folder()))

    given = wine_path(tempfile.mkdtemp(prefix="qpx-cmdline-")) + "\\Corvane"
    assert install(args=["-path=" + given]).code == 1
    assert os.path.exists(os.path.join(host_path(given), "Corvane.exe")), "the command line did not win"
    assert values("HKLM", UNINST)["InstallLocation"] == ("REG_SZ", given)


def install_as(installer, name):
    assert install(renamed_installer(installer, name)).code == 1
    return values("HKLM", REG), values("HKCU", REG)


def test_the_installer_file_name_gives_the_oem_channel_but_not_the_channel_as_shipped():
    for product in install_as(ARGS.installer, "Corvane_4100_x-4200.exe"):
        assert product["UnionId"] == ("REG_DWORD", "4003"), product
        assert product["OEMUnionId"] == ("REG_DWORD", "4200"), product


def test_the_installer_file_name_gives_the_channel_when_analysis_is_on():
    for product in install_as(ARGS.analyze_installer, "Corvane_4100_x.exe"):
        assert product["UnionId"] == ("REG_DWORD", "4100"), product
        assert product["OEMUnionId"] == ("REG_DWORD", "4001"), product


def start_product():
    product = subprocess.Popen(["wine", os.path.join(ARGS.programs, "Corvane.exe")],
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    assert helper("wait-window", "CorvaneWnd", "-", "15000")[0] == 0, "the product did not start"
    return product


def test_a_running_product_is_closed_only_when_the_user_agrees():
    product = start_product()
    try:
        run = Install()
        try:
            run.window()
            run.click("InitDlg", "InstallBtn")
            box, text = run.box(CAPTION)
            assert text.replace("\r\n", "\n") == "检测到 Corvane 正在运行\n选择[确定]强制关闭，[取消]取消安装", text
            helper("press", box, "cancel")
            assert run.finish() == 0
        finally:
            run.kill()
        assert product.poll() is None, "the product was closed although the user cancelled"
        # The options dialog made the folder when it checked it; nothing was put in it.
        assert not os.listdir(host_path(default_folder())), "installed although cancelled"

        run = Install()
        try:
            run.window()
            run.click("InitDlg", "InstallBtn")
            box, _ = run.box(CAPTION)
            helper("press", box, "ok")
            run.to_completion()
            run.click("CompleteDlg", "CloseBtn")
            assert run.finish() == 1
        finally:
            run.kill()
        product.wait(timeout=30)
        check_files(default_folder())
    finally:
        if product.poll() is None:
            product.kill()


def hold_dll(path):
    """A program that keeps the DLL at `path` (a path inside Wine) loaded until it is killed."""
    holder = subprocess.Popen(["wine", os.path.join(ARGS.tests, "qpxtesthelper.exe"), "hold-dll", path],
                              stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    if holder.stdout.readline().strip() != b"ready":
        holder.kill()
        holder.wait()
        raise AssertionError(f"{path} could not be held")
    return holder


def test_a_locked_file_is_moved_aside_and_deleted_at_restart():
    apps = tempfile.mkdtemp(prefix="qpx-apps-")
    folder = wine_path(apps) + "\\Corvane"
    os.makedirs(os.path.join(apps, "Corvane"))
    locked = os.path.join(apps, "Corvane", "CorvaneExt.dll")
    shutil.copy(os.path.join(ARGS.programs, "CorvaneStat.dll"), locked)  # an older file, in use
    holder = hold_dll(wine_path(locked))
    try:
        run = install(args=["-path:" + folder])
        assert run.code == 1
        check_files(folder)
        staging = wine_path(apps) + "\\del_reboot"
        assert f"xm {folder}\\CorvaneExt.dll" in run.log(), run.log()
        pending = pending_renames()
        # The system keeps three letters of the prefix "JsZip" in temporary names.
        assert "\\??\\" + staging + "\\JsZ" in pending, pending
        # The holder let the moved file go: the staging folder is removed at the end.
        assert not os.path.exists(os.path.join(apps, "del_reboot")), "the staging folder stayed"
    finally:
        holder.kill()
        holder.wait()


def test_a_payload_without_the_statistics_dll_ends_with_the_script_error_box():
    run = Install(ARGS.nostat_installer)
    try:
        run.window()
        run.click("InitDlg", "InstallBtn")
        box, text = run.box(ERROR_CAPTION, timeout=120)
        assert "LoadLibrary " + default_folder() + "\\CorvaneStat.dll failed" in text, text
        # Everything but the report is in place before the box shows.
        check_registry(default_folder())
        assert service_state() == 4
        helper("press", box, "ok")
        assert run.finish() == 0
    finally:
        run.kill()


# --- unattended runs ----------------------------------------------------------------------

def installation_state(folder):
    """What an installation left, to compare two: its files and their bytes, the product's
    registry rows and shell extension, the shortcuts, the Run value and the service."""
    host = host_path(folder)
    files = {}
    for top, _, names in os.walk(host):
        for name in names:
            with open(os.path.join(top, name), "rb") as f:
                data = f.read()
            if name == "Uninst.jnl":  # the same records, but for the time each run began
                data = b"".join(line for line in data.splitlines(True) if not line.startswith(b"begin\t"))
            files[os.path.relpath(os.path.join(top, name), host)] = hashlib.sha256(data).hexdigest()
    keys = [("HKLM", REG), ("HKCU", REG), ("HKLM", UNINST), ("HKCR", MENU), ("HKCR", MENU + "\\command"),
            ("HKCR", SHELL_EXT_CLSID)]
    return {"files": files, "registry": {key: values(*key) for key in keys},
            "shortcuts": {what: os.path.exists(host_path(link)) for what, link in shortcuts().items()},
            "run": run_value(), "service": service_state()}


def state_difference(state, expected):
    """What differs between two installation states, file by file."""
    differences = {k: (state[k], expected[k]) for k in state if k != "files" and state[k] != expected[k]}
    files, wanted = state["files"], expected["files"]
    changed = sorted(name for name in set(files) | set(wanted) if files.get(name) != wanted.get(name))
    if changed:
        differences["files"] = changed
    return differences


class Silent:
    """An unattended run through the helper, its debug lines collected, watched for any dialog
    or message box until it ends."""

    def __init__(self, args, installer=None):
        folder = tempfile.mkdtemp(prefix="qpx-silent-")
        self.debug_path = os.path.join(folder, "debug.log")
        self.process = Helper(ARGS.tests).start_logged(self.debug_path, installer or ARGS.installer,
                                                       args=["/S", *args])
        self.window_seen = False

    def finish(self, timeout=120):
        end = time.time() + timeout
        while self.process.poll() is None:
            assert time.time() < end, "the unattended run did not end"
            for kind in ("Qpx_Installer", "#32770"):
                self.window_seen |= helper("wait-window", kind, "-", "0")[0] == 0
            time.sleep(0.2)
        return self.process.returncode

    def debug_lines(self):
        return open(self.debug_path, encoding="utf-8", newline="").read()


def log_file_texts(path):
    """The texts of a /LOG= file, without their time and thread."""
    lines = open(path, encoding="utf-8", newline="").read().split("\r\n")
    assert lines[-1] == "", "the last line is not complete"
    texts = []
    for line in lines[:-1]:
        milliseconds, thread, text = line.split(None, 2)
        assert milliseconds.isdigit() and thread.isdigit(), line
        texts.append(text)
    return texts


def log_so_far(path):
    """What a running program has written to its /LOG= file yet."""
    if not os.path.exists(path):
        return ""
    with open(path, encoding="utf-8", errors="replace") as f:
        return f.read()


def ascii_only(text):
    """The debug output passes the ANSI code page: compare what both keep."""
    return "".join(c if ord(c) < 128 else "?" for c in text)


def test_a_silent_installation_installs_what_the_wizard_installs_and_logs_every_line(machine):
    folder = "C:\\Corvane Test\\Corvane"  # /D= takes the rest of the line, blank and all (reset removes it)
    clicked = install(args=["/D=" + folder])
    assert clicked.code == 1
    expected = installation_state(folder)
    assert "Corvane.exe" in expected["files"], "the wizard did not install into the /D= folder"
    machine.reset()

    log = os.path.join(tempfile.mkdtemp(prefix="qpx-log-"), "install.log")
    run = Silent(["/LOG=" + wine_path(log), "/D=" + folder])
    assert run.finish() == 1
    assert not run.window_seen, "a window showed in a silent run"
    state = installation_state(folder)
    assert state == expected, state_difference(state, expected)
    texts = log_file_texts(log)
    assert texts[0] == "xm unattended installation", texts[:3]
    assert ascii_only("\n".join(texts)) == ascii_only(run.debug_lines().rstrip("\n"))
    assert "xm script_version:1.0.2.57" in texts  # the script's own lines


def test_silent_runs_that_stop_say_why_in_the_log():
    log = os.path.join(tempfile.mkdtemp(prefix="qpx-log-"), "install.log")
    assert Silent(["/LOG=" + wine_path(log)], ARGS.nostat_installer).finish() == 0
    errors = [t for t in log_file_texts(log) if t.startswith("xm message box answered 1: " + ERROR_CAPTION)]
    assert len(errors) == 1 and "LoadLibrary " + default_folder() + "\\CorvaneStat.dll failed" in errors[0], errors

    # A second start while one runs ends at once; a log file it cannot open is only reported.
    first = Silent([])
    time.sleep(1.5)  # past the single-instance check; the installation takes seconds more
    second = Silent(["/LOG=Z:\\qpx\\no such folder\\install.log"])
    assert second.finish(timeout=30) == 0
    assert first.process.poll() is None, "the first run ended before the second"
    lines = second.debug_lines()
    assert "xm CreateAppInstance return true" in lines, lines
    assert lines.count("cannot be opened") == 1, lines
    assert first.finish() == 1


@contextlib.contextmanager
def drive_d(size):
    """A drive D: of its own file system (a tmpfs of `size`) while the case runs; the case is
    skipped where the machine refuses the mount. Yields the mount's host folder."""
    mount = tempfile.mkdtemp(prefix="qpx-drive-")
    if subprocess.run(["mount", "-t", "tmpfs", "-o", f"size={size}", "tmpfs", mount],
                      capture_output=True).returncode != 0:
        pytest.skip(f"a {size} drive needs a tmpfs mount, which this machine refuses")
    drive = os.path.join(os.environ["WINEPREFIX"], "dosdevices", "d:")
    try:
        os.symlink(mount, drive)
        fresh_session()  # the server sees drives it starts with
        yield mount
    finally:
        end_session()
        if os.path.lexists(drive):
            os.remove(drive)
        subprocess.run(["umount", mount], capture_output=True)


def test_a_silent_run_into_a_too_small_drive_stops_with_0_and_says_so():
    with drive_d("20m") as mount:
        log = os.path.join(tempfile.mkdtemp(prefix="qpx-log-"), "install.log")
        assert Silent(["/LOG=" + wine_path(log), "/D=D:\\Corvane"]).finish() == 0
        assert "xm unattended installation stopped: 磁盘剩余可用空间不足,安装程序需要55.31MB的空间来完成安装！" \
            in log_file_texts(log)
        assert not os.path.exists(os.path.join(mount, "Corvane", "Corvane.exe"))


# --- uninstallation -------------------------------------------------------------------------

def registry_keys():
    """Every key of the prefix's registry, as Wine writes it out when its session ends."""
    end_session()
    keys = set()
    for name in REGISTRY_FILES:
        with open(os.path.join(os.environ["WINEPREFIX"], name), encoding="utf-8", errors="replace") as f:
            keys.update(line[1:line.index("]")].lower() for line in f if line.startswith("[") and "]" in line)
    fresh_session()
    return keys


def uninstaller_copies():
    return glob.glob(os.path.join(os.environ["WINEPREFIX"], "drive_c", "users", "*", "Temp", "qpx-uninstall-*"))


def check_nothing_left(folder, keys_before):
    """No file, shortcut, registry row, service or temporary copy of the product is left."""
    assert not os.path.exists(host_path(folder)), os.listdir(host_path(folder))
    for what, link in shortcuts().items():
        assert not os.path.exists(host_path(link)), f"the {what} shortcut is left"
    for key in [("HKLM", REG), ("HKCU", REG), ("HKLM", UNINST), ("HKCR", MENU)]:
        assert values(*key) is None, f"{key} is left"
    for view in ("32", "64"):
        assert values("HKCR", SHELL_EXT_CLSID, view) is None, f"the shell extension is left ({view})"
    assert run_value() is None
    assert service_state() is None, "the service is left"
    end = time.time() + 15
    while uninstaller_copies() and time.time() < end:
        time.sleep(0.5)
    assert not uninstaller_copies(), "the uninstaller's temporary copy is left"
    # What Wine itself keeps (its session, device and shell state) is not the installation's.
    new = {k for k in registry_keys() - keys_before if "corvane" in k or "6f1c2a4e" in k}
    assert not new, new


class Uninstall(Wizard):
    def __init__(self, program, env=None):
        self.folder = tempfile.mkdtemp(prefix="qpx-uninstall-")
        environment = dict(os.environ, **(env or {}))
        super().__init__(Helper(ARGS.tests), program, UNINSTALL_TITLE, ARGS.uninstall_layout, self.folder,
                         environment)


def keep_uninstaller(folder):
    """A copy of the installed uninstaller and its scripts, to start again once it is gone."""
    kept = tempfile.mkdtemp(prefix="qpx-kept-")
    for name in ("Uninstall.exe", "Uninst.dar0", "Uninst.dar1"):
        shutil.copy(os.path.join(host_path(folder), name), kept)
    return os.path.join(kept, "Uninstall.exe")


def test_the_uninstaller_removes_a_clicked_installation_through_its_pages_and_nothing_is_left():
    before = registry_keys()
    assert install().code == 1
    folder = default_folder()
    kept = keep_uninstaller(folder)
    stat_log = os.path.join(tempfile.mkdtemp(prefix="qpx-stat-"), "stat.log")
    run = Uninstall(folder + "\\Uninstall.exe", {"CORVANE_STAT_LOG": wine_path(stat_log)})
    try:
        run.window()
        run.click("UninstallDlg", "Vote2Chk")
        run.click("UninstallDlg", "Vote4Chk")
        run.click("UninstallDlg", "SuggestionEdit")
        run.type("too slow")
        run.click("UninstallDlg", "ContactEdit")
        run.type("me@example.com")
        run.click("UninstallDlg", "UninstallBtn")
        run.next_window(timeout=30)
        run.next_window(timeout=120)
        run.click("UninstalledDlg", "DoneBtn")
        assert run.finish() == 1
    finally:
        run.kill()
    reported = open(stat_log, encoding="utf-8").read().splitlines()
    assert "stat_uninstall_reason(2,4,too slow,me@example.com)" in reported, reported
    check_nothing_left(folder, before)

    # Started again, it finds nothing to remove and says so.
    log = os.path.join(tempfile.mkdtemp(prefix="qpx-log-"), "uninstall.log")
    assert Silent(["/LOG=" + wine_path(log)], kept).finish() == 0
    assert "xm message box answered 1: Corvane - 卸载: Corvane 未安装或已被卸载。" in log_file_texts(log)


def test_a_silent_installation_is_uninstalled_silently_and_a_file_in_use_stays_until_restart():
    before = registry_keys()
    assert Silent([]).finish() == 1
    folder = default_folder()
    # What the user put into the install folder is not the installation's: it stays, and so does
    # the folder that holds it.
    host = host_path(folder)
    os.makedirs(os.path.join(host, "notes"))
    for name in ("mine.txt", os.path.join("notes", "mine.txt")):
        with open(os.path.join(host, name), "w") as f:
            f.write("the user's own")
    log = os.path.join(tempfile.mkdtemp(prefix="qpx-log-"), "uninstall.log")
    run = Silent(["/LOG=" + wine_path(log)], folder + "\\Uninstall.exe")
    assert run.finish() == 1
    assert not run.window_seen, "a window showed in a silent run"
    texts = log_file_texts(log)
    assert texts[0] == "xm unattended uninstallation"
    assert sorted(os.listdir(host)) == ["mine.txt", "notes"] and os.listdir(os.path.join(host, "notes")) == ["mine.txt"]
    for kept in ("mine.txt", "notes"):
        assert f"xm kept {folder}\\{kept}: the installation did not make it" in texts, texts
    assert not [t for t in texts if "removed at the next restart" in t], texts
    shutil.rmtree(host)
    check_nothing_left(folder, before)

    assert Silent([]).finish() == 1
    held = folder + "\\CorvaneShell.dll"
    holder = hold_dll(held)
    try:
        assert Silent(["/LOG=" + wine_path(log)], folder + "\\Uninstall.exe").finish() == 1
        assert os.listdir(host_path(folder)) == ["CorvaneShell.dll"]
        texts = log_file_texts(log)
        assert f"xm install folder {folder} is still there" in texts, texts
        assert f"xm in use, removed at the next restart: {held}" in texts, texts
        pending = pending_renames()
        assert "\\??\\" + held in pending and "\\??\\" + folder in pending, pending
    finally:
        holder.kill()
        holder.wait()

    # A file let go soon after the script has tried to remove it goes, and the folder with it:
    # the program holding it ends once the script is past its removal. The restart has removed
    # what waited for it: a folder that was there before an installation is not its to remove.
    shutil.rmtree(host_path(folder))
    assert Silent([]).finish() == 1
    holder = hold_dll(held)
    log = os.path.join(tempfile.mkdtemp(prefix="qpx-log-"), "uninstall.log")
    try:
        run = Silent(["/LOG=" + wine_path(log)], folder + "\\Uninstall.exe")
        end = time.time() + 120
        while "xm Delete Value HKCU" not in log_so_far(log):
            assert run.process.poll() is None and time.time() < end, "the script did not get past its removal"
            time.sleep(0.05)
    finally:
        holder.kill()
        holder.wait()
    assert run.finish() == 1
    assert not os.path.exists(host_path(folder)), os.listdir(host_path(folder))
    texts = log_file_texts(log)
    assert not [t for t in texts if "is still there" in t or "removed at the next restart" in t], texts



def test_the_uninstaller_refuses_folders_that_are_not_a_products_own():
    kept = keep_uninstaller_from_the_build()
    marker = os.path.join(os.environ["WINEPREFIX"], "drive_c", "users")
    for folder in ("C:\\", "C:\\windows", "C:\\Program Files", "C:\\users", special_folder(40),
                   "C:\\Program Files\\Corvane\\..\\..\\windows\\system32"):
        wine_reg_add("HKLM\\" + UNINST, "InstallLocation", folder)
        log = os.path.join(tempfile.mkdtemp(prefix="qpx-log-"), "uninstall.log")
        assert Silent(["/LOG=" + wine_path(log)], kept).finish() == 0, folder
        refusals = [t for t in log_file_texts(log) if t.startswith("xm uninstallation refused: ")]
        assert len(refusals) == 1, (folder, refusals)
        assert os.path.isdir(marker) and os.path.isdir(os.path.join(os.environ["WINEPREFIX"], "drive_c", "windows"))


def keep_uninstaller_from_the_build():
    """The built uninstaller with the sample's scripts beside it, outside any installation."""
    kept = tempfile.mkdtemp(prefix="qpx-kept-")
    shutil.copy(ARGS.uninstaller, kept)
    for copy, resource in (("Uninst.dar0", "GLOBAL_VAR.LUAC"), ("Uninst.dar1", "UNINSTSCRIPT.LUAC")):
        shutil.copy(os.path.join(ARGS.resources, resource), os.path.join(kept, copy))
    return os.path.join(kept, "Uninstall.exe")


# --- what an installation owns ---------------------------------------------------------------

def variant(name):
    return os.path.join(ARGS.variants, name + ".exe")


def test_a_failed_upgrade_is_rolled_back_to_the_first_version_exactly_or_without_rollback_stays_as_it_got(machine):
    folder = default_folder()
    # The service is left out: stopping and starting it again is the script's to undo.
    assert install(variant("corvane_first"), untick=("InstallSearchServer",)).code == 1
    first = installation_state(folder)
    assert "Uninst.jnl" in first["files"]
    log = os.path.join(tempfile.mkdtemp(prefix="qpx-log-"), "install.log")
    run = Silent(["/LOG=" + wine_path(log)], variant("corvane_second"))
    assert run.finish() == 0
    assert not run.window_seen
    state = installation_state(folder)
    assert state == first, state_difference(state, first)
    texts = log_file_texts(log)
    assert "xm rollback: the installation did not reach its end" in texts, texts
    assert texts.index("xm rollback: done") > texts.index("xm rollback: the installation did not reach its end")
    assert f"xm rollback: put back {folder}\\readme.txt" in texts, texts

    # Without the rollback the second version stays as far as it got, as it always did.
    machine.reset()
    assert install(untick=("InstallSearchServer",)).code == 1
    first = installation_state(folder)
    assert Silent([], variant("corvane_second_norollback")).finish() == 0
    state = installation_state(folder)
    assert "second.txt" in state["files"] and state["files"]["readme.txt"] != first["files"]["readme.txt"]
    assert values("HKLM", REG)["SecondOnly"] == ("REG_SZ", "2")
    assert values("HKLM", UNINST)["DisplayVersion"] == ("REG_SZ", "2.1.0.1")


def test_an_installation_ended_in_the_middle_of_its_extraction_is_removed_by_its_journal_and_nothing_else():
    folder = default_folder()
    host = host_path(folder)
    os.makedirs(host)
    with open(os.path.join(host, "other.txt"), "w") as f:
        f.write("not the installation's")
    assert Silent([], variant("corvane_crash")).finish() == 9
    written = sorted(set(os.listdir(host)) - {"other.txt", "Uninst.jnl"})
    assert len(written) == 3, written
    kept = keep_uninstaller_from_the_build()
    wine_reg_add("HKLM\\" + UNINST, "InstallLocation", folder)
    assert Silent([], kept).finish() == 1
    assert os.listdir(host) == ["other.txt"]


def test_a_folder_of_the_system_is_refused_however_it_is_written():
    programs = "C:\\Program Files (x86)" if win64() and not installer_64bit() else "C:\\Program Files"
    short = Helper(ARGS.tests).short_path(programs)
    assert short != programs
    for spelling in (short, programs.replace("\\", "/"), "\\\\?\\" + programs, programs + "\\.\\",
                     programs.lower() + "\\Corvane\\.."):
        log = os.path.join(tempfile.mkdtemp(prefix="qpx-log-"), "install.log")
        assert Silent(["/LOG=" + wine_path(log), "/D=" + spelling]).finish() == 0, spelling
        stopped = [t for t in log_file_texts(log) if t.startswith("xm unattended installation stopped: ")]
        assert len(stopped) == 1 and "Program Files" in stopped[0], (spelling, stopped)
    assert not os.path.exists(host_path(programs + "\\Corvane.exe"))


# --- an uninstaller that stops, an installation on another drive ------------------------------

def uninstaller_with_script(folder, script):
    """An installation's uninstaller in `folder` (a host path): the built program, the sample's
    globals and an uninstall script of `script` (source text), found through the uninstall
    entry as the sample finds its installation."""
    os.makedirs(folder, exist_ok=True)
    shutil.copy(ARGS.uninstaller, folder)
    shutil.copy(os.path.join(ARGS.resources, "GLOBAL_VAR.LUAC"), os.path.join(folder, "Uninst.dar0"))
    with open(os.path.join(folder, "Uninst.dar1"), "w") as f:
        f.write('function QPXSE_BeforeInit() global_install_path = '
                'Lua_RegQuery("HKLM", global_uninst_sub_key, "InstallLocation") end\n' + script)


def test_an_uninstallation_that_stops_before_its_end_keeps_its_uninstaller_and_logs_where_it_was_started():
    folder = "C:\\Corvane Test\\Corvane"  # the reset removes it
    wine_reg_add("HKLM\\" + UNINST, "InstallLocation", folder)
    for script, code in (('function QPXSE_OnUninstall() error("stops here") end', 0),
                         ('function QPXSE_OnUninstall() os.exit(3) end', 3)):
        uninstaller_with_script(host_path(folder), script)
        started = tempfile.mkdtemp(prefix="qpx-started-")
        run = subprocess.run(["wine", folder + "\\Uninstall.exe", "/S", "/LOG=uninstall.log"], cwd=started,
                             stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                             timeout=120)
        assert run.returncode == code, script
        assert os.path.exists(os.path.join(host_path(folder), "Uninstall.exe")), "the uninstaller is lost"
        # The copy writes the log where the original's relative name puts it, not in its own folder.
        texts = log_file_texts(os.path.join(started, "uninstall.log"))
        assert "xm unattended uninstallation" in texts and f"xm put {folder}\\Uninstall.exe back" in texts, texts


def test_an_installation_on_another_drive_is_removed_whole_without_a_restart():
    with drive_d("100m") as mount:
        assert Silent(["/D=D:\\Corvane"]).finish() == 1
        log = os.path.join(tempfile.mkdtemp(prefix="qpx-log-"), "uninstall.log")
        assert Silent(["/LOG=" + wine_path(log)], "D:\\Corvane\\Uninstall.exe").finish() == 1
        end = time.time() + 15
        while os.path.exists(os.path.join(mount, "Corvane")) and time.time() < end:
            time.sleep(0.5)
        assert not os.path.exists(os.path.join(mount, "Corvane")), os.listdir(os.path.join(mount, "Corvane"))
        texts = log_file_texts(log)
        assert "xm removed once the uninstaller has ended: D:\\Corvane\\Uninstall.exe" in texts, texts
        assert "D:\\Corvane" not in pending_renames()
