"""The product builder on this machine: each kind of mistake in a product folder gives its
message and stops the build, the sample builds without a word, the same folder packs to the
same bytes, a signed installer still carries its payload, and the resources written into the
stub start on a page of the file.

Run by pytest with the options of tests/conftest.py.
"""
import os
import re
import shutil
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools"))
from qpxpe import PeImage, checksum, resources_on_a_page, with_resources  # noqa: E402

ARGS = None  # the options, set by tests/conftest.py


def tools():
    return os.path.join(ARGS.source, "tools")


def sample(where):
    """A copy of the sample product in a fresh folder."""
    product = os.path.join(where, "product")
    shutil.copytree(os.path.join(ARGS.source, "resources"), product)
    return product


def edit(path, old, new, count=1):
    text = open(path, encoding="utf-8").read()
    assert old in text, f"{old!r} not in {path}"
    open(path, "w", encoding="utf-8").write(text.replace(old, new, count))


def build_resources(product, work, env=None, payload_files=()):
    """qpxbuild.py as the build runs it, the installer written to <work>/setup.exe: (exit code,
    messages)."""
    extra = [word for path in payload_files for word in ("--payload-file", path)]
    result = subprocess.run([sys.executable, os.path.join(tools(), "qpxbuild.py"), product,
                             "-o", installer_of(work), "--work", work, "--luac", ARGS.luac,
                             "--stubs", os.path.join(ARGS.build, "stubs"),
                             "--defaults", os.path.join(ARGS.source, "resources"), *extra],
                            capture_output=True, text=True, env=env)
    return result.returncode, result.stderr


def installer_of(work):
    return os.path.join(work, "setup.exe")


def line_of(path, text):
    for number, line in enumerate(open(path, encoding="utf-8"), 1):
        if text in line:
            return number
    raise AssertionError(f"{text!r} not in {path}")


def expect_failure(where, product, pattern):
    code, output = build_resources(product, os.path.join(where, "work"))
    assert code != 0, "the build went on:\n" + output
    assert re.search(pattern, output, re.MULTILINE), f"no {pattern!r} in:\n{output}"
    assert not os.path.exists(installer_of(os.path.join(where, "work"))), "installer written"


def expect_warning(where, product, pattern):
    code, output = build_resources(product, os.path.join(where, "work"))
    assert code == 0, "the build stopped:\n" + output
    assert re.search(pattern, output, re.MULTILINE), f"no {pattern!r} in:\n{output}"


# ---- The sample ----

def test_sample_builds_without_any_message(where):
    code, output = build_resources(sample(where), os.path.join(where, "work"))
    assert code == 0 and output == "", output
    assert os.path.exists(installer_of(os.path.join(where, "work")))


# ---- Layout ----

def layout_case(where, old, new, severity, message, line_text=None):
    """Edits the sample's layout; the message must name layout.xml and the edited line."""
    product = sample(where)
    layout = os.path.join(product, "layout.xml")
    edit(layout, old, new)
    line = line_of(layout, line_text or new.splitlines()[0]) if (line_text or new) else None
    pattern = re.escape(f"{layout}:{line}: {severity}: ") + message
    (expect_failure if severity == "error" else expect_warning)(where, product, pattern)


def test_layout_that_does_not_parse(where):
    layout_case(where, '<Button name="UseBtn"', '<Button name="UseBtn" <', "error", "not well-formed")


def test_layout_without_init_dlg(where):
    layout_case(where, '<Dlg name="InitDlg"', '<Dlg name="FirstDlg"', "error",
                'no <Dlg name="InitDlg">', "<Window>")


def test_layout_without_install_dlg(where):
    layout_case(where, '<Dlg name="InstallDlg"', '<Dlg name="ProgressDlg"', "error",
                'no <Dlg name="InstallDlg">', "<Window>")


def test_layout_without_complete_dlg_only_warns(where):
    layout_case(where, '<Dlg name="CompleteDlg"', '<Dlg name="DoneDlg"', "warning",
                'no <Dlg name="CompleteDlg">', "<Window>")


def test_unknown_element_warns(where):
    layout_case(where, '<Button name="UseBtn"', '<Spacer rect="0,0,1,1"/><Button name="UseBtn"', "warning",
                "<Spacer> is unknown")


def test_unknown_attribute_warns(where):
    layout_case(where, 'name="UseBtn"', 'name="UseBtn" acton="106"', "warning",
                '<Button>: attribute "acton" is unknown')


def test_label_alignment_other_than_left_or_center_warns(where):
    layout_case(where, '<Label name="TitleLbl"', '<Label name="TitleLbl" align="right"', "warning",
                '.*align is "left" or "center"')


def test_image_that_is_missing(where):
    layout_case(where, 'resId="315"', 'resId="399"', "error", r"CompleteDlg/UseBtn: skin/399\.png is missing")


def test_image_that_does_not_decode(where):
    product = sample(where)
    image = os.path.join(product, "skin", "315.png")
    data = bytearray(open(image, "rb").read())
    data[-30] ^= 0xFF  # inside the last image data chunk: its check sum no longer matches
    open(image, "wb").write(data)
    layout = os.path.join(product, "layout.xml")
    line = line_of(layout, 'name="UseBtn"')
    expect_failure(where, product, re.escape(f"{layout}:{line}: error: ") +
                   r"CompleteDlg/UseBtn: skin/315\.png has a damaged")


def test_button_strip_of_the_wrong_size(where):
    # 308 is four frames of 170 x 45; a button of 171 needs 684 x 45.
    layout_case(where, 'rect="215,230,385,275"', 'rect="215,230,386,275"', "error",
                r"InitDlg/InstallBtn needs skin/308\.png of 684 x 45; it is 680 x 45")


def test_check_box_strip_follows_its_check_rect(where):
    layout_case(where, 'rectChk="221,297,237,313"', 'rectChk="221,297,238,313"', "error",
                r"InitDlg/LicenceChk needs skin/303\.png of 102 x")


def test_carousel_strip_follows_its_frame_count(where):
    layout_case(where, 'framecount="2"', 'framecount="3"', "error",
                r"InstallDlg/InstallCarousel needs skin/309\.png of 1800 x 430")


def test_link_label_with_an_image(where):
    layout_case(where, 'name="LicenceLnk"', 'name="LicenceLnk" type="PNG" resId="302"', "error",
                "InitDlg/LicenceLnk: a link label takes no image")


def test_zero_frame_count(where):
    layout_case(where, 'framecount="2"', 'framecount="0"', "error",
                'framecount="0": must be a number above 0')


def test_grid_without_columns(where):
    layout_case(where, '<Container name="Body" rect="0,270,600,430">',
                '<Container name="Body" rect="0,270,600,430"><GridContainer rect="0,0,10,10" row="2"/>',
                "error", "<GridContainer> needs col above 0")


def test_colour_with_two_components(where):
    layout_case(where, ' color="255,255,255"', ' color="255,255"', "error",
                'color="255,255" is not "red,green,blue"')


def test_rect_turned_inside_out(where):
    layout_case(where, 'rect="560,15,580,35" type="PNG" resId="302" action="100"/>\n      </CaptionContainer>\n      <Container name="Body" rect="0,270',
                'rect="580,15,560,35" type="PNG" resId="302" action="100"/>\n      </CaptionContainer>\n      <Container name="Body" rect="0,270',
                "error", r'rect="580,15,560,35": right or bottom lies left', 'rect="580,15,560,35"')


# ---- Images at other scales, language files ----

def test_scaled_image_not_exactly_its_scale(where):
    product = sample(where)
    image = os.path.join(product, "skin", "302@2x.png")
    subprocess.run(["convert", os.path.join(product, "skin", "302.png"), "-resize", "161x40!", "PNG32:" + image],
                   check=True)
    expect_failure(where, product, re.escape(f"{image}: error: is 161 x 40; at 2x its image of 80 x 20 must be "
                                             "exactly 160 x 40"))
    os.remove(image)
    image = os.path.join(product, "uninstall", "skin", "402@1.5x.png")
    subprocess.run(["convert", os.path.join(product, "uninstall", "skin", "402.png"), "PNG32:" + image], check=True)
    expect_failure(where, product, re.escape(f"{image}: error: is 600 x 42; at 1.5x its image of 600 x 42 must be "
                                             "exactly 900 x 63"))


def test_scaled_images_and_language_files_become_resources_of_both_programs(where):
    product = sample(where)
    subprocess.run(["convert", os.path.join(product, "skin", "302.png"), "-resize", "150%",
                    "PNG32:" + os.path.join(product, "skin", "302@1.5x.png")], check=True)
    os.makedirs(os.path.join(product, "lang"))
    for tag, text in (("en", "Welcome"), ("zh-CN", "欢迎")):
        open(os.path.join(product, "lang", tag + ".lua"), "w", encoding="utf-8").write(f'global_greeting = "{text}"\n')
    work = os.path.join(where, "work")
    code, output = build_resources(product, work)
    assert code == 0 and output == "", output
    for program, expected in ((installer_of(work), {("PNG_150", 302), ("PNG_200", 302), ("PNG_200", 301)}),
                              (os.path.join(work, "Uninstall.exe"), {("PNG_200", 401)})):
        kinds = {(kind, name) for kind, name, _ in PeImage(open(program, "rb").read()).resources()}
        assert {("LUA", "LANG_EN.LUAC"), ("LUA", "LANG_ZH-CN.LUAC")} | expected <= kinds, (program, kinds)


def test_language_files_named_by_their_tag_that_compile(where):
    product = sample(where)
    os.makedirs(os.path.join(product, "lang"))
    wrong = os.path.join(product, "lang", "english.lua")
    open(wrong, "w").write("global_greeting = 'Welcome'\n")
    expect_failure(where, product, re.escape(f"{wrong}: error: not stored: language files are named <tag>.lua"))
    os.remove(wrong)
    broken = os.path.join(product, "lang", "en.lua")
    open(broken, "w").write("global_greeting = = 'Welcome'\n")
    expect_failure(where, product, re.escape(f"{broken}:1: error: ") + "unexpected symbol")


# ---- Scripts ----

def test_script_that_does_not_compile(where):
    product = sample(where)
    script = os.path.join(product, "scripts", "install.lua")
    text = open(script, encoding="utf-8").read().splitlines(keepends=True)
    text.insert(4, "local broken = = 1\n")
    open(script, "w", encoding="utf-8").write("".join(text))
    expect_failure(where, product, re.escape(f"{script}:5: error: ") + "unexpected symbol")


def test_install_script_without_a_hook(where):
    product = sample(where)
    script = os.path.join(product, "scripts", "install.lua")
    edit(script, "function QPXSE_AfterComplete(", "local function AfterComplete(")
    expect_warning(where, product, re.escape(f"{script}: warning: does not define QPXSE_AfterComplete"))


def test_missing_globals_script(where):
    product = sample(where)
    os.remove(os.path.join(product, "scripts", "global_var.lua"))
    expect_failure(where, product, r"global_var\.lua: error: missing")


# ---- Payload ----

def payload_case(where, names, message):
    product = sample(where)
    for name in names:
        path = os.path.join(product, "payload", name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        open(path, "w").write("x")
    expect_failure(where, product, re.escape(os.path.join(product, "payload", names[-1])) +
                   ": error: " + message)


def test_names_that_differ_only_in_case(where):
    payload_case(where, ["Docs/Guide.txt", "docs/guide.TXT"], "differs from .* only in letter case")


def test_reserved_device_name(where):
    payload_case(where, ["bin/Com1.dll"], "is a device name on Windows")


def test_name_ending_in_a_dot(where):
    payload_case(where, ["notes."], "ends in a dot or a blank")


def test_name_with_a_forbidden_character(where):
    payload_case(where, ["what?.txt"], "holds a character Windows does not allow")


def test_path_too_long(where):
    payload_case(where, ["a" * 60 + "/" + "b" * 60 + "/" + "c" * 40 + ".txt"], "path too long: 166 units")


def test_disk_need_below_the_payload_size(where):
    product = sample(where)
    globals_script = os.path.join(product, "scripts", "global_var.lua")
    edit(globals_script, "global_need_disk_space = 57999360", "global_need_disk_space = 10")
    size = os.path.getsize(os.path.join(product, "payload", "readme.txt")) + \
        os.path.getsize(os.path.join(ARGS.build, "stubs", "Uninstall.exe"))
    expect_warning(where, product, re.escape(
        f"{globals_script}: warning: global_need_disk_space is 10, less than the {size} bytes"))


def built_files(where, names):
    """Files standing in for programs of the build, in a folder outside the product."""
    folder = os.path.join(where, "build")
    os.makedirs(folder, exist_ok=True)
    paths = [os.path.join(folder, name) for name in names]
    for path in paths:
        open(path, "wb").write(b"MZ" + b"\0" * 1000)
    return paths


def test_built_files_join_an_empty_payload_at_its_root(where):
    product = sample(where)
    os.remove(os.path.join(product, "payload", "readme.txt"))
    work = os.path.join(where, "work")
    code, output = build_resources(product, work, payload_files=built_files(where, ["A.exe", "b.dll"]))
    assert code == 0, output
    unswap(work)
    listing = subprocess.run(["7zz", "l", "-slt", os.path.join(work, "payload.7z")],
                             capture_output=True, text=True, check=True).stdout
    assert re.findall(r"^Path = (.*)$", listing, re.MULTILINE)[1:] == ["A.exe", "b.dll", "Uninstall.exe"], listing
    assert archive_times(work) == {"2000-01-01 00:00:00.0000000"}, archive_times(work)


def test_built_file_clashing_with_the_payload_in_case(where):
    product = sample(where)
    [path] = built_files(where, ["README.TXT"])
    code, output = build_resources(product, os.path.join(where, "work"), payload_files=[path])
    assert code != 0 and re.search(re.escape(path) + ": error: differs from .* only in letter case",
                                   output), output


def test_built_files_count_toward_the_disk_need(where):
    product = sample(where)
    globals_script = os.path.join(product, "scripts", "global_var.lua")
    edit(globals_script, "global_need_disk_space = 57999360", "global_need_disk_space = 10")
    size = os.path.getsize(os.path.join(product, "payload", "readme.txt")) + 1002 + \
        os.path.getsize(os.path.join(ARGS.build, "stubs", "Uninstall.exe"))
    code, output = build_resources(product, os.path.join(where, "work"),
                                   payload_files=built_files(where, ["A.exe"]))
    assert code == 0 and f"less than the {size} bytes" in output, output


# ---- Reproducible output ----

def test_same_folder_twice_gives_the_same_bytes(where):
    # Two copies at different paths with different file times, as two clones would have.
    first, second = sample(os.path.join(where, "one")), sample(os.path.join(where, "two"))
    for folder, _, files in os.walk(second):
        for name in files:
            os.utime(os.path.join(folder, name), (1e9, 1e9))
    os.chmod(os.path.join(second, "payload", "readme.txt"), 0o600)
    outputs = []
    for product in (first, second):
        work = os.path.join(os.path.dirname(product), "work")
        code, output = build_resources(product, work)
        assert code == 0, output
        outputs.append(open(installer_of(work), "rb").read())
    assert outputs[0] == outputs[1], "the resources differ"


def archive_times(work):
    listing = subprocess.run(["7zz", "l", "-slt", os.path.join(work, "payload.7z")],
                             capture_output=True, text=True, check=True,
                             env=dict(os.environ, TZ="UTC")).stdout
    return set(re.findall(r"^Modified = (.*)$", listing, re.MULTILINE))


def unswap(work):
    data = bytearray(open(os.path.join(work, "APP.7Z"), "rb").read())
    data[0:2] = data[1::-1]
    open(os.path.join(work, "payload.7z"), "wb").write(data)


def test_payload_times_from_one_source(where):
    product = sample(where)
    work = os.path.join(where, "work")
    env = {k: v for k, v in os.environ.items() if k != "SOURCE_DATE_EPOCH"}
    for setting, expected in ((None, "2000-01-01 00:00:00"), ("2026-12-01", "2026-12-01 00:00:00"),
                              ("epoch", "2001-09-09 01:46:40")):
        if setting == "epoch":
            env["SOURCE_DATE_EPOCH"] = "1000000000"
        elif setting:
            open(os.path.join(product, "date.conf"), "w").write(setting + "\n")
        code, output = build_resources(product, work, env)
        assert code == 0, output
        unswap(work)
        times = archive_times(work)
        assert times == {expected + ".0000000"}, f"{setting}: {times}"


def test_installer_has_no_build_path(where):
    data = open(ARGS.installer, "rb").read()
    for path in (ARGS.source, ARGS.build):
        assert path.encode() not in data, f"{path} in the installer"


def test_two_builds_give_the_same_installer(where):
    assert open(ARGS.installer, "rb").read() == open(ARGS.second_installer, "rb").read(), \
        f"{ARGS.installer} and {ARGS.second_installer} differ"


# ---- Signing ----

def throwaway_certificate(where):
    cert, key = os.path.join(where, "cert.pem"), os.path.join(where, "key.pem")
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                    "-subj", "/CN=Throw-away test signer", "-keyout", key, "-out", cert],
                   capture_output=True, check=True)
    return cert, key


def check_signed(where, installer):
    result = subprocess.run(["osslsigncode", "verify", "-in", installer], capture_output=True, text=True)
    output = result.stdout + result.stderr
    assert "Subject: /CN=Throw-away test signer" in output, output
    digests = re.findall(r"^(?:Current|Calculated) message digest\s*: (\w+)", output, re.MULTILINE)
    assert len(digests) == 2 and digests[0] == digests[1], output
    work = os.path.join(where, "extract")
    os.makedirs(work)
    open(os.path.join(work, "APP.7Z"), "wb").write(
        PeImage(open(installer, "rb").read()).resource("_7Z", "APP.7Z"))
    unswap(work)
    subprocess.run(["7zz", "t", os.path.join(work, "payload.7z")], capture_output=True, check=True)


def test_resources_are_written_on_a_page_of_the_file_with_nothing_else_changed():
    stub = open(os.path.join(ARGS.build, "stubs", "QPXSetup.exe"), "rb").read()
    resources = [("PNG", 7, b"seven"), ("XML", "LAYOUT.XML", b"<x/>" * 3), (3, 1, b"i"), ("LUA", "B", b"")]
    written = with_resources(stub, resources)
    image = PeImage(written)
    assert resources_on_a_page(written)
    assert sorted(image.resources(), key=str) == sorted(resources, key=str)
    assert image.imports() == PeImage(stub).imports()
    assert written[image._checksum:image._checksum + 4] == checksum(written, image._checksum).to_bytes(4, "little")
    try:
        with_resources(written, resources)
    except ValueError as e:
        assert "resources" in str(e)
    else:
        raise AssertionError("resources written over resources")


def test_signed_from_the_command(where):
    cert, key = throwaway_certificate(where)
    installer = os.path.join(where, "setup.exe")
    shutil.copy(ARGS.installer, installer)
    subprocess.run([sys.executable, os.path.join(tools(), "qpxsign.py"), "--product",
                    os.path.join(ARGS.source, "resources"), "--cert", cert, "--key", key, installer],
                   capture_output=True, check=True)
    check_signed(where, installer)


def test_signed_from_the_product_folder(where):
    product = sample(where)
    throwaway_certificate(product)
    open(os.path.join(product, "signing.conf"), "w").write("# test signer\ncert = cert.pem\nkey = key.pem\n")
    open(os.path.join(product, "date.conf"), "w").write("2026-12-01\n")
    signed = []
    for name in ("setup.exe", "again.exe"):  # with a date given, signing twice gives the same bytes
        installer = os.path.join(where, name)
        shutil.copy(ARGS.installer, installer)
        subprocess.run([sys.executable, os.path.join(tools(), "qpxsign.py"), "--product", product,
                        "--cert", "", "--key", "", installer], capture_output=True, check=True)
        signed.append(open(installer, "rb").read())
    assert signed[0] == signed[1], "two signatures differ"
    check_signed(where, installer)


def test_unsigned_without_certificate(where):
    installer = os.path.join(where, "setup.exe")
    shutil.copy(ARGS.installer, installer)
    subprocess.run([sys.executable, os.path.join(tools(), "qpxsign.py"), "--product",
                    os.path.join(ARGS.source, "resources"), "--cert", "", "--key", "", installer],
                   capture_output=True, check=True)
    assert open(installer, "rb").read() == open(ARGS.installer, "rb").read()
