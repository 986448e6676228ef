"""The wizard of a real installer driven as a person would: clicks and keys through X
(xdotool), message boxes and the folder browser through the test helper inside Wine.
Run by pytest with the options of tests/conftest.py, each case in a fresh Wine session."""
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import time

TITLE = "FlowTest安装"
ARGS = None  # the options, set by tests/conftest.py
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from flowrun import FlowRun, layout_fixture, session  # noqa: E402,F401
from wizarddriver import Helper, fresh_session, wine_path, xdotool  # noqa: E402

layout = layout_fixture(sys.modules[__name__])


def helper(*args, timeout=60):
    return Helper(ARGS.tests).run(*args, timeout=timeout)


class Run(FlowRun):
    """One run of the wizard test product."""

    def __init__(self, **env):
        super().__init__(ARGS, TITLE, **env)

    def keys(self, *keys):
        self.focus()
        for key in keys:
            xdotool("key", key)
            time.sleep(0.2)


def install_to_completion(run, timeout=90):
    """From the options dialog through progress to the completion dialog: the progress
    window is gone once the hook after it has run, so the next wizard window is the last."""
    run.click("InitDlg", "InstallBtn")
    end = time.time() + timeout
    while "QPXSE_BeforeComplete" not in run.trace():
        assert time.time() < end, "the installation did not finish"
        time.sleep(0.3)
    run.next_window(timeout=30)


def float32(value):
    return struct.unpack("f", struct.pack("f", value))[0]


def open_browser(run):
    """Clicks the options' browse button; the folder browser's window."""
    run.click("InitDlg", "SelectDirBtn")
    # By its title: a new prefix may show other dialogs of its own (configuration update).
    code, browser = helper("wait-window", "#32770", "Browse for Folder", "20000")
    assert code == 0, "no folder browser"
    return browser


# --- cases ---------------------------------------------------------------------------------

# First: after other wizard runs in the same prefix, Wine's browser has been seen to keep its
# own first selection although ours showed in its edit box.
def test_folder_browser_choice_gets_the_product_folder_appended():
    chosen = os.path.join(os.environ["WINEPREFIX"], "drive_c", "qpx_e2e", "Browse")
    os.makedirs(chosen, exist_ok=True)
    run = Run()
    try:
        run.window()
        browser = open_browser(run)
        # The browser selects its initial folder once it has initialised: wait for that,
        # or it would replace our choice.
        end = time.time() + 20
        while not helper("item-text", browser, "0x3745")[1]:
            assert time.time() < end, "the browser never selected the initial folder"
            time.sleep(0.3)
        time.sleep(0.5)
        assert helper("browse-select", browser, "C:\\qpx_e2e\\Browse")[0] == 0
        time.sleep(1)
        install_to_completion(run)
        run.click("CompleteDlg", "CloseBtn")
        assert run.finish() == 1
        assert "InstallPath=C:\\qpx_e2e\\Browse\\FlowTest" in run.trace(), run.trace()
    finally:
        run.kill()


def test_enter_and_escape_never_close_and_the_close_button_asks():
    run = Run()
    try:
        run.window()
        run.keys("Return", "Escape")
        time.sleep(0.5)
        assert run.window_alive(), "Enter or Escape closed the dialog"
        run.click("InitDlg", "CloseBtn")
        box, text = run.box("提醒")
        assert text == "您确定要退出安装程序？", text
        helper("press", box, "cancel")
        time.sleep(0.5)
        assert run.window_alive(), "Cancel closed the dialog"
        run.click("InitDlg", "CloseBtn")
        box, _ = run.box("提醒")
        helper("press", box, "ok")
        assert run.finish() == 0
        assert "QPXSE_BeforeInstall" not in run.trace(), run.trace()
    finally:
        run.kill()


def test_a_close_while_the_quit_box_or_the_browser_is_open_waits_for_it():
    """A close from the system arriving while a button's handler waits in a box or the
    folder browser ends the dialog only once the handler has returned."""
    run = Run()
    try:
        run.window()
        run.click("InitDlg", "CloseBtn")
        box, _ = run.box("提醒")
        helper("close", run.hwnd)
        time.sleep(0.5)
        assert run.process.poll() is None, "the close did not wait for the box"
        helper("press", box, "cancel")
        assert run.finish() == 0
        assert "QPXSE_BeforeInstall" not in run.trace(), run.trace()
    finally:
        run.kill()
    run = Run()
    try:
        run.window()
        browser = open_browser(run)
        helper("close", run.hwnd)
        time.sleep(0.5)
        assert run.process.poll() is None, "the close did not wait for the browser"
        helper("press", browser, "cancel")
        assert run.finish() == 0
    finally:
        run.kill()


def test_licence_box_governs_the_install_button_and_a_full_run_ends_with_1():
    run = Run(QPX_INSTALL_PATH="C:\\qpx_e2e\\Full\\")
    try:
        run.window()
        run.click("InitDlg", "LicenceChk")  # untick: the button goes disabled
        run.click("InitDlg", "InstallBtn")
        time.sleep(1)
        assert run.window_alive() and "QPXSE_BeforeInstall" not in run.trace(), run.trace()
        run.click("InitDlg", "LicenceChk")  # tick again
        install_to_completion(run)
        run.click("CompleteDlg", "CloseBtn")
        assert run.finish() == 1
        trace = run.trace()
        assert "InstallPath=C:\\qpx_e2e\\Full" in trace, trace  # trailing backslash dropped
        assert "LicenceChk=true" in trace, trace
        assert "global_install_progress_pos=100" in trace, trace
        assert trace[-1] == "QPXSE_AfterComplete", trace
        assert os.path.isdir(os.path.join(os.environ["WINEPREFIX"], "drive_c", "qpx_e2e", "Full"))
    finally:
        run.kill()


def test_unc_and_driveless_paths_are_refused():
    for path in ("\\\\server\\share\\dir", "relative\\dir"):
        fresh_session()
        run = Run(QPX_INSTALL_PATH=path)
        try:
            run.window()
            run.click("InitDlg", "InstallBtn")
            box, text = run.box("错误")
            assert text == "安装路径非法，请重新修改！", text
            helper("press", box, "ok")
            time.sleep(0.5)
            assert run.window_alive()
        finally:
            run.kill()


def test_too_little_disk_space_shows_the_need_in_megabytes():
    need = 999999999999999  # more than any test drive has
    megabytes = float32(float32(float32(need) * 0.0009765625) * 0.0009765625)
    run = Run(QPX_INSTALL_PATH="C:\\qpx_e2e\\Space\\", QPX_NEED_DISK=need)
    try:
        run.window()
        run.click("InitDlg", "InstallBtn")
        box, text = run.box("提示")
        expected = "磁盘剩余可用空间不足,安装程序需要%0.2fMB的空间来完成安装！" % megabytes
        assert text == expected, (text, expected)
        helper("press", box, "ok")
        time.sleep(0.5)
        assert run.window_alive()
        # The folder was made before the space was checked.
        assert os.path.isdir(os.path.join(os.environ["WINEPREFIX"], "drive_c", "qpx_e2e", "Space"))
    finally:
        run.kill()


def test_a_typed_path_reaches_the_script():
    run = Run()
    try:
        run.window()
        run.click("InitDlg", "InstallPath")
        run.keys("ctrl+a", "BackSpace")
        run.type("C:\\qpx_e2e\\Typed")
        install_to_completion(run)
        run.click("CompleteDlg", "CloseBtn")
        assert run.finish() == 1
        assert "InstallPath=C:\\qpx_e2e\\Typed" in run.trace(), run.trace()
    finally:
        run.kill()


def test_a_long_install_hook_holds_the_bar_until_it_ends():
    run = Run(QPX_INSTALL_SECONDS=3)
    try:
        run.window()
        started = time.time()
        install_to_completion(run)
        assert time.time() - started >= 3, "the progress dialog ended before the hook"
        run.click("CompleteDlg", "CloseBtn")
        assert run.finish() == 1
        trace = run.trace()
        assert "global_install_progress_pos=100" in trace, trace
        assert "global_install_progress_elapse=0" in trace, trace  # no payload: no pace
    finally:
        run.kill()


def test_a_system_close_during_the_install_waits_for_the_hook():
    run = Run(QPX_INSTALL_SECONDS=4)
    try:
        run.window()
        run.click("InitDlg", "InstallBtn")
        while "QPXSE_OnInstall" not in run.trace():
            time.sleep(0.2)
        progress = run.next_window()
        helper("close", progress)  # as the system would close it: wParam 0
        time.sleep(1)
        assert run.process.poll() is None, "the installer ended under the running hook"
        assert run.finish() == 0
        trace = run.trace()
        assert "QPXSE_BeforeComplete" not in trace, trace
    finally:
        run.kill()


def test_a_script_error_on_the_worker_rolls_the_installation_back_after_its_box():
    folder = tempfile.mkdtemp(prefix="qpx-rollback-")
    target = os.path.join(folder, "FlowTest")
    run = Run(QPX_ROLLBACK=1, QPX_FAIL_HOOK="QPXSE_OnInstall", QPX_INSTALL_MAKES=1,
              QPX_INSTALL_PATH=wine_path(target))
    try:
        run.window()
        run.click("InitDlg", "InstallBtn")
        code, box = helper("wait-window", "#32770", ":-( 杯具，脚本执行时发生错误", "30000")
        assert code == 0, "no error box"
        assert os.path.isdir(os.path.join(target, "made", "deeper"))
        helper("press", box, "ok")
        assert run.finish() == 0
        trace = run.trace()
        assert trace[-2:] == ["QPXSE_OnInstall", "QPXSE_OnRollback"], trace
        # The folder the options made for the installation goes with what the hook made.
        assert not os.path.exists(target), os.listdir(target)
        code, _ = helper("reg-values", "HKCU", "Software\\QPXFlowTest", "64")  # a key both views share
        assert code == 1, "the registry value stayed"
    finally:
        run.kill()


def launched(folder):
    path = os.path.join(folder, "launched.txt")
    for _ in range(50):
        if os.path.exists(path):
            time.sleep(0.2)
            return open(path, encoding="utf-16-le").read().split("\n")
        time.sleep(0.2)
    return None


def test_use_button_starts_the_product_with_and_without_the_shell_token():
    product = tempfile.mkdtemp(prefix="qpx-product-")
    shutil.copy(os.path.join(ARGS.tests, "launchprobe.exe"), product)
    folder = wine_path(product)
    shell = subprocess.Popen(["wine", os.path.join(ARGS.tests, "qpxtesthelper.exe"), "shell-window"],
                             stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    try:
        shell.stdout.readline()  # "ready"
        for level in ("1", "0"):
            record = os.path.join(product, "launched.txt")
            if os.path.exists(record):
                os.remove(record)
            run = Run(QPX_INSTALL_PATH=folder, QPX_MAIN_APP="launchprobe.exe",
                      QPX_START_PARAMETER="--first second", QPX_SHELL_LEVEL=level)
            try:
                run.window()
                install_to_completion(run)
                run.click("CompleteDlg", "UseBtn")
                assert run.finish() == 1
                lines = launched(product)
                assert lines, f"the product was not started (shell level {level})"
                program = folder + "\\launchprobe.exe"
                if level == "1":
                    assert lines[0] == f'"{program}" --first second', lines
                    assert lines[1].lower() == folder.lower(), lines
                else:
                    assert lines[0].endswith("--first second"), lines
            finally:
                run.kill()
    finally:
        shell.kill()
        shell.wait()


def test_close_button_of_the_completion_page_starts_nothing():
    product = tempfile.mkdtemp(prefix="qpx-product-")
    shutil.copy(os.path.join(ARGS.tests, "launchprobe.exe"), product)
    run = Run(QPX_INSTALL_PATH=wine_path(product), QPX_MAIN_APP="launchprobe.exe")
    try:
        run.window()
        install_to_completion(run)
        run.click("CompleteDlg", "CloseBtn")
        assert run.finish() == 1
        assert run.trace()[-1] == "QPXSE_AfterComplete", run.trace()
        time.sleep(1)
        assert not os.path.exists(os.path.join(product, "launched.txt"))
    finally:
        run.kill()


def test_a_second_start_brings_the_first_forward_and_ends():
    first = Run()
    try:
        first.window()
        second = Run()
        assert second.finish() == 0
        assert "xm CreateAppInstance return true" in second.log(), second.log()
        code, foreground = helper("foreground")
        assert foreground.startswith("Qpx_Installer"), foreground
    finally:
        first.kill()

