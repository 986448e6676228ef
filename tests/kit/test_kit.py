"""The builder kit as a product team uses it: unpacked from its tarball into an empty folder
outside the checkout, run with a PATH that holds Python, 7-Zip and the shell's tools but no
compiler and no CMake. The starter product it writes builds for both architectures, twice to
the same bytes; the folder shapes the README documents build (or stop with the checker's
message); the starter installs and uninstalls under Wine, silently and through its pages (the
i686 one where 32-bit Wine runs).
Run by pytest with the options of tests/conftest.py."""
import glob
import os
import shutil
import subprocess
import sys
import tempfile
import types

import pytest

here = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(here, "..", "..", "tools"))
sys.path.insert(0, os.path.join(here, "..", "builder"))
from check_binary import problems  # noqa: E402
from qpxpe import PeImage  # noqa: E402
from wizarddriver import Helper, Layout, Wizard, fresh_session, host_path, wine_path  # noqa: E402

ARGS = None  # the options, set by tests/conftest.py
NAME = "Kit Starter"
FOLDER_NAME = "KitStarter"
UNINST = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + FOLDER_NAME
# What a machine without a toolchain still has: the interpreter, 7-Zip, the shell and its tools.
TOOLS = ("python3", "7zz", "sh", "dirname", "readlink")


def run(kit, *args, check=True):
    result = subprocess.run([os.path.join(kit.root, "bin", "qpxbuild"), *args], capture_output=True,
                            text=True, env=kit.env, cwd=kit.work)
    if check:
        assert result.returncode == 0, result.stdout + result.stderr
    return result


@pytest.fixture(scope="module")
def kit():
    work = tempfile.mkdtemp(prefix="qpx-kit-")
    subprocess.run(["tar", "xzf", ARGS.kit, "-C", work], check=True)
    [root] = glob.glob(os.path.join(work, "qpx-kit-*"))
    bin_folder = os.path.join(work, "path")
    os.makedirs(bin_folder)
    for tool in TOOLS:
        # The programs themselves, not launchers that look for others on the PATH.
        found = sys.executable if tool == "python3" else shutil.which(tool)
        os.symlink(os.path.realpath(found), os.path.join(bin_folder, tool))
    env = {"PATH": bin_folder, "HOME": work, "LC_ALL": "C.UTF-8"}
    for tool in ("cmake", "gcc", "i686-w64-mingw32-gcc", "x86_64-w64-mingw32-gcc", "windres"):
        assert shutil.which(tool, path=env["PATH"]) is None, tool
    yield types.SimpleNamespace(root=root, work=work, env=env)
    shutil.rmtree(work)


@pytest.fixture(scope="module")
def starter(kit):
    """The starter written by --new and its installers: (folder, {arch: installer})."""
    result = run(kit, "--new", "starter", "--name", NAME)
    assert "starter" in result.stdout
    folder = os.path.join(kit.work, "starter")
    installers = {}
    for arch in ("i686", "x86_64"):
        installers[arch] = os.path.join(kit.work, f"setup-{arch}.exe")
        run(kit, "starter", "-o", installers[arch], "--arch", arch, "--strict")
    return folder, installers


def test_the_starter_builds_for_both_architectures_twice_to_the_same_bytes(kit, starter):
    folder, installers = starter
    for arch, installer in installers.items():
        data = open(installer, "rb").read()
        assert not list(problems(PeImage(data), arch)), list(problems(PeImage(data), arch))
        again = os.path.join(kit.work, f"again-{arch}.exe")
        run(kit, "starter", "-o", again, "--arch", arch)
        assert open(again, "rb").read() == data, f"two {arch} builds differ"
    image = PeImage(open(installers["i686"], "rb").read())
    layout = image.resource("XML", "LAYOUT.XML").decode("utf-16")
    # The name comes from the settings: neither the layout nor the language files hold it.
    assert "$global_text_welcome$" in layout and NAME not in layout
    for tag in ("en", "zh-CN"):
        text = open(os.path.join(folder, "lang", tag + ".lua"), encoding="utf-8").read()
        assert "global_product_name" in text and NAME not in text
    assert f'global_product_name = "{NAME}"' in open(os.path.join(folder, "scripts", "global_var.lua")).read()


def shape(kit, starter, name, change):
    """A copy of the starter changed by `change(folder)`, built: (result, installer)."""
    folder = os.path.join(kit.work, name)
    shutil.copytree(starter[0], folder)
    change(folder)
    installer = os.path.join(kit.work, name + ".exe")
    return run(kit, name, "-o", installer, check=False), installer


def payload_names(installer, where):
    archive = os.path.join(where, "payload.7z")
    data = bytearray(PeImage(open(installer, "rb").read()).resource("_7Z", "APP.7Z"))
    data[0:2] = data[1::-1]
    open(archive, "wb").write(data)
    listing = subprocess.run(["7zz", "l", "-slt", archive], capture_output=True, text=True, check=True).stdout
    return [line[7:] for line in listing.splitlines() if line.startswith("Path = ")][1:]


def test_every_documented_folder_shape_builds_and_a_broken_layout_stops_with_its_line(kit, starter):
    result, installer = shape(kit, starter, "nouninstall",
                              lambda f: os.remove(os.path.join(f, "scripts", "uninstall.lua")))
    assert result.returncode == 0, result.stderr
    assert payload_names(installer, kit.work) == ["readme.txt"]
    assert "UNINSTSCRIPT.LUAC" not in {n for k, n, _ in PeImage(open(installer, "rb").read()).resources()}

    result, installer = shape(kit, starter, "nopayload", lambda f: shutil.rmtree(os.path.join(f, "payload")))
    assert result.returncode == 0, result.stderr
    assert payload_names(installer, kit.work) == ["Uninstall.exe"]

    result, installer = shape(kit, starter, "bare", lambda f: (
        shutil.rmtree(os.path.join(f, "payload")), shutil.rmtree(os.path.join(f, "uninstall")),
        os.remove(os.path.join(f, "scripts", "uninstall.lua"))))
    assert result.returncode == 0, result.stderr
    kinds = {kind for kind, _, _ in PeImage(open(installer, "rb").read()).resources()}
    assert "_7Z" not in kinds and 14 in kinds, kinds  # no archive; the engine's icon

    def icon(folder):
        shutil.copy(os.path.join(kit.root, "engine", "icon.ico"), os.path.join(folder, "icon.ico"))
    result, installer = shape(kit, starter, "icon", icon)
    assert result.returncode == 0, result.stderr

    def break_layout(folder):
        path = os.path.join(folder, "layout.xml")
        text = open(path, encoding="utf-8").read().replace('resId="308"', 'resId="399"')
        open(path, "w", encoding="utf-8").write(text)
    result, installer = shape(kit, starter, "broken", break_layout)
    layout = os.path.join(kit.work, "broken", "layout.xml")
    line = next(n for n, text in enumerate(open(layout, encoding="utf-8"), 1) if 'resId="399"' in text)
    assert result.returncode != 0 and not os.path.exists(installer)
    assert f"{layout}:{line}: error: InitDlg/InstallBtn: skin/399.png is missing" in result.stderr, result.stderr

    def break_uninstall_pages(folder):
        path = os.path.join(folder, "uninstall", "layout.xml")
        text = open(path, encoding="utf-8").read().replace('name="UninstalledDlg"', 'name="ByeDlg"')
        open(path, "w", encoding="utf-8").write(text)
    result, installer = shape(kit, starter, "brokenpages", break_uninstall_pages)
    layout = os.path.join(kit.work, "brokenpages", "uninstall", "layout.xml")
    assert result.returncode != 0 and not os.path.exists(installer)
    line = next(n for n, text in enumerate(open(layout, encoding="utf-8"), 1) if "<Window>" in text)
    assert f'{layout}:{line}: error: no <Dlg name="UninstalledDlg">: the uninstaller ends there' in result.stderr, \
        result.stderr


# --- under Wine ------------------------------------------------------------------------------

def helper():
    return Helper(ARGS.tests)


def wine_arch():
    """The installer that runs here: the tree's architecture (i686 where 32-bit Wine runs)."""
    return ARGS.tree_arch


def install_folder():
    programs = "Program Files (x86)" if wine_arch() == "i686" else "Program Files"
    return f"C:\\{programs}\\{FOLDER_NAME}"


def uninstall_entry():
    return helper().reg_values("HKLM", UNINST, "32" if wine_arch() == "i686" else "64")


def shortcuts():
    menu = helper().special_folder(23) + "\\" + NAME + "\\"
    return {"start menu": menu + NAME + ".lnk", "start menu uninstaller": menu + "Uninstall " + NAME + ".lnk",
            "desktop": helper().special_folder(16) + "\\" + NAME + ".lnk"}


def run_logged(program, args, folder):
    log = os.path.join(folder, "run.log")
    process = helper().start_logged(os.path.join(folder, "debug.log"), program,
                                    args=[*args, "/LOG=" + wine_path(log)])
    return process, log


def log_text(log):
    return open(log, encoding="utf-8", errors="replace").read() if os.path.exists(log) else ""


def check_installed(desktop):
    host = host_path(install_folder())
    assert sorted(os.listdir(host)) == ["Uninst.dar0", "Uninst.dar1", "Uninst.jnl", "Uninstall.exe", "readme.txt"], \
        os.listdir(host)
    assert NAME in open(os.path.join(host, "readme.txt")).read()
    entry = uninstall_entry()
    assert entry["DisplayName"] == ("REG_SZ", NAME), entry
    assert entry["InstallLocation"] == ("REG_SZ", install_folder()), entry
    links = shortcuts()
    assert os.path.exists(host_path(links["start menu"])) and os.path.exists(host_path(links["start menu uninstaller"]))
    assert os.path.exists(host_path(links["desktop"])) == desktop


def check_uninstalled():
    assert not os.path.exists(host_path(install_folder())), os.listdir(host_path(install_folder()))
    assert uninstall_entry() is None
    for what, link in shortcuts().items():
        assert not os.path.exists(host_path(link)), f"the {what} shortcut is left"


def through_pages(run, clicks, last):
    """A wizard run from its first page (these clicks) through its progress page to its last
    page's done button, ending with 1."""
    try:
        run.window()
        for page, name in clicks:
            run.click(page, name)
        run.next_window(timeout=30)
        run.next_window(timeout=120)
        run.click(last, "DoneBtn")
        assert run.finish() == 1, run.log()
    finally:
        run.kill()


def fresh_machine():
    """No earlier run's installation left in the prefix (a case that failed half-way leaves
    one): its folder and shortcuts; the registry entry is written anew by the installation."""
    fresh_session()
    for path in [install_folder(), *shortcuts().values()]:
        host = host_path(path)
        if os.path.isdir(host):
            shutil.rmtree(host)
        elif os.path.exists(host):
            os.remove(host)


def test_the_starter_installs_and_uninstalls_silently(kit, starter):
    fresh_machine()
    folder = tempfile.mkdtemp(prefix="qpx-kit-silent-")
    # In its second language: the Chinese texts' file runs in both programs without a fault.
    process, log = run_logged(starter[1][wine_arch()], ["/S", "/LANG=zh-CN"], folder)
    assert process.wait(timeout=120) == 1, log_text(log)
    assert "language zh-CN, asked for zh-CN" in log_text(log), log_text(log)
    check_installed(desktop=False)
    process, log = run_logged(install_folder() + "\\Uninstall.exe", ["/S", "/LANG=zh-CN"], folder)
    assert process.wait(timeout=120) == 1, log_text(log)
    assert "language zh-CN, asked for zh-CN" in log_text(log), log_text(log)
    check_uninstalled()


def test_the_starter_installs_and_uninstalls_through_its_pages(kit, starter):
    fresh_machine()
    folder = tempfile.mkdtemp(prefix="qpx-kit-wizard-")
    layout = Layout(os.path.join(starter[0], "layout.xml"))
    through_pages(Wizard(helper(), starter[1][wine_arch()], NAME + " Setup", layout, folder),
                  [("InitDlg", "DesktopShortcutChk"), ("InitDlg", "InstallBtn")], "CompleteDlg")
    check_installed(desktop=True)

    pages = Layout(os.path.join(starter[0], "uninstall", "layout.xml"))
    through_pages(Wizard(helper(), install_folder() + "\\Uninstall.exe", NAME + " Uninstall", pages, folder),
                  [("UninstallDlg", "UninstallBtn")], "UninstalledDlg")
    check_uninstalled()
