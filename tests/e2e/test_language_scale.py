"""The wizard in the product's language and at the display's scale, run under Wine as a person
would: the language a product asks for, the user's language found through the locale, a
product's own texts over the engine's and /LANG=; then the window at 150 % and 200 % of the
prefix's DPI, its pictures from the skin's @2x images, and a clicked installation at 200 %.
Run by pytest with the options of tests/conftest.py."""
import contextlib
import os
import subprocess
import sys
import tempfile
import time

import pytest

ARGS = None  # the options, set by tests/conftest.py
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from flowrun import FlowRun, layout_fixture, session  # noqa: E402,F401
from wizarddriver import Helper, screenshot, set_dpi, wine_path  # noqa: E402

CHINESE_TITLE = "FlowTest安装"
ENGLISH_TITLE = "FlowTest Setup"
# The product's own text (tests/products/lang/en.lua) over the engine's English one.
ENGLISH_REFUSAL = "FlowTest cannot be installed into this folder."
CHINESE_REFUSAL = "安装路径非法，请重新修改！"
LOCALES = ("zh_CN", "en_US", "de_DE")

layout = layout_fixture(sys.modules[__name__])


@pytest.fixture(scope="module")
def locales():
    """The folder of the UTF-8 locales the cases run Wine in, made here: a machine need not
    have them installed."""
    folder = os.path.join(ARGS.build, "test-locales")
    for name in LOCALES:
        if not os.path.isdir(os.path.join(folder, name + ".UTF-8")):
            os.makedirs(folder, exist_ok=True)
            subprocess.run(["localedef", "-i", name, "-f", "UTF-8", os.path.join(folder, name + ".UTF-8")],
                           check=True, capture_output=True)
    return folder


def start(title, *switches, product="language", **kwargs):
    """A run of the language test product (the test scripts, the sample's layout and skin, the
    test's language files) that traces the language its hooks see, or of another test product."""
    return FlowRun(ARGS, title, *switches, product=product, QPX_TRACE_LANGUAGE="1", **kwargs)


def helper(*args):
    return Helper(ARGS.tests).run(*args)


def refused_unattended(expected, *switches, **kwargs):
    """An unattended run into a folder the options refuse: it ends with the refusal's text in
    its log file (UTF-8, whatever the code page), in the run's language. Its trace."""
    log_path = os.path.join(tempfile.mkdtemp(prefix="qpx-e2e-log-"), "log.txt")
    run = start(CHINESE_TITLE, "/S", f"/LOG={wine_path(log_path)}", *switches, "/D=relative\\dir", **kwargs)
    try:
        assert run.finish() == 0
        log = open(log_path, encoding="utf-8").read()
        assert f"xm unattended installation stopped: {expected}" in log, log
        return run.trace()
    finally:
        run.kill()


def test_chinese_by_default_and_english_when_the_product_asks():
    trace = refused_unattended(CHINESE_REFUSAL)
    assert "global_chosen_language=zh-CN" in trace and "global_greeting=欢迎" in trace, trace

    trace = refused_unattended(ENGLISH_REFUSAL, QPX_LANGUAGE="en")
    assert "global_chosen_language=en" in trace and "global_greeting=Welcome" in trace, trace
    # The wizard: its titles and the engine's own boxes speak the product's language, but for
    # the text the product replaced.
    run = start(ENGLISH_TITLE, QPX_LANGUAGE="en")
    try:
        run.window()
        run.click("InitDlg", "CloseBtn")
        box, text = run.box("Quit setup")
        assert text == "Are you sure you want to quit setup?", text
        helper("press", box, "ok")
        assert run.finish() == 0
        assert "xm language en, asked for en" in run.log(), run.log()
    finally:
        run.kill()


@pytest.mark.parametrize("locale, language", [("en_US", "en"), ("zh_CN", "zh-CN"), ("de_DE", "zh-CN")])
def test_auto_finds_the_users_language_and_falls_back_on_the_products_first(locales, locale, language):
    """The user's UI language comes from Wine's locale; German is none of the product's, whose
    first is Chinese."""
    os.environ["LOCPATH"] = locales
    try:
        expected = ENGLISH_REFUSAL if language == "en" else CHINESE_REFUSAL
        trace = refused_unattended(expected, locale=f"{locale}.UTF-8", QPX_LANGUAGE="auto")
        assert f"global_chosen_language={language}" in trace, trace
    finally:
        del os.environ["LOCPATH"]


def test_the_command_line_chooses_over_the_product():
    trace = refused_unattended(ENGLISH_REFUSAL, "/LANG=en", QPX_LANGUAGE="zh-CN")
    assert "global_chosen_language=en" in trace, trace


# --- display scale -------------------------------------------------------------------------

# A part of the options dialog's background, in its pixels at 100 %: the product's name over the
# coloured top, all of it opaque.
NAME = (230, 100, 370, 145)


@pytest.fixture(scope="module", autouse=True)
def starts_at_the_default_dpi(module_args):
    """A run that was ended in the middle of a case may have left the prefix at another DPI."""
    set_dpi(None)


@contextlib.contextmanager
def prefix_dpi(dpi):
    """The prefix's display at `dpi` for what runs inside, and at its default of 96 afterwards."""
    set_dpi(dpi, check=True)
    try:
        yield
    finally:
        set_dpi(None)


def rgb(source, area, resize=None):
    """The RGB bytes of `area` (left, top, right, bottom) of an image file, after resizing it to
    `resize` percent, over black as the screen shows a layered window."""
    left, top, right, bottom = area
    command = ["convert", source] + (["-filter", "Catrom", "-resize", f"{resize}%"] if resize else [])
    command += ["-crop", f"{right - left}x{bottom - top}+{left}+{top}", "+repage", "-background", "black",
                "-flatten", "-depth", "8", "rgb:-"]
    return subprocess.run(command, capture_output=True, check=True).stdout


def distance(a, b):
    assert len(a) == len(b) and a, (len(a), len(b))
    return sum(abs(x - y) for x, y in zip(a, b)) / len(a)


@pytest.mark.parametrize("dpi", [144, 192])
def test_the_window_grows_with_the_dpi_and_its_pictures_come_from_the_2x_images(dpi):
    scale = dpi / 96
    skin = os.path.join(ARGS.source, "resources", "skin")
    with prefix_dpi(dpi):
        run = start(CHINESE_TITLE, product="wizard", scale=scale)
        try:
            run.window()
            left, top, right, bottom = run.helper.window_rect(run.hwnd)
            assert (right - left, bottom - top) == (round(600 * scale), round(430 * scale))
            shot = os.path.join(run.folder, "screen.png")
            screenshot(shot)
            area = [round(v * scale) for v in NAME]
            on_screen = rgb(shot, (left + area[0], top + area[1], left + area[2], top + area[3]))
            from_2x = rgb(os.path.join(skin, "301@2x.png"), area, None if dpi == 192 else round(100 * dpi / 192))
            from_1x = rgb(os.path.join(skin, "301.png"), area, round(100 * scale))
            # The glyphs' edges of the @2x image, which the 100 % image made larger lacks.
            assert distance(from_1x, from_2x) > 2, "the check cannot tell the images apart"
            if dpi == 192:
                assert distance(on_screen, from_2x) < 0.5, distance(on_screen, from_2x)
            assert distance(on_screen, from_2x) < distance(on_screen, from_1x) / 2, \
                (distance(on_screen, from_2x), distance(on_screen, from_1x))
        finally:
            run.kill()


def test_a_clicked_installation_at_200_percent():
    with prefix_dpi(192):
        run = start(CHINESE_TITLE, product="wizard", scale=2, QPX_INSTALL_PATH="C:\\qpx_e2e\\Scaled\\")
        try:
            run.window()
            run.click("InitDlg", "InstallBtn")
            end = time.time() + 90
            while "QPXSE_BeforeComplete" not in run.trace():
                assert time.time() < end, "the installation did not finish"
                time.sleep(0.3)
            completion = run.next_window(timeout=30)
            left, top, right, bottom = run.helper.window_rect(completion)
            assert right - left == 1200
            run.click("CompleteDlg", "CloseBtn")
            assert run.finish() == 1
            trace = run.trace()
            assert "InstallPath=C:\\qpx_e2e\\Scaled" in trace, trace
            assert trace[-1] == "QPXSE_AfterComplete", trace
        finally:
            run.kill()
