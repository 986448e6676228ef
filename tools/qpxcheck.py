#!/usr/bin/env python3
"""Checks a product folder before it becomes an installer and reports every mistake found.

Messages read as a compiler's: "<file>:<line>: error: <text>" (the line only where the file has
lines that matter). Errors stop the build; warnings are printed and the build goes on.

Run alone:  qpxcheck.py --luac <Lua 5.2 compiler> [--strict] <product folder>
(--strict counts warnings as errors: the sample product must build without any.)
"""
import argparse
import collections
import functools
import os
import re
import struct
import subprocess
import sys
import unicodedata
import xml.parsers.expat
import zlib

import qpxlayout

# The uninstaller's pages and the skin folders its images come from, relative to the product.
UNINSTALL_LAYOUT = ("uninstall", "layout.xml")
UNINSTALL_SKINS = ("skin", "uninstall/skin")

# The hooks the installer calls in the install script.
HOOKS = ("QPXSE_BeforeInit", "QPXSE_BeforeInstall", "QPXSE_OnInstall", "QPXSE_BeforeComplete",
         "QPXSE_AfterComplete")

# Windows full paths stay below MAX_PATH (259 units and the terminator). The install folder is
# chosen on the customer's machine; a payload path must still fit below one of this length
# (for example "C:\Program Files (x86)\<company>\<product>" with room to spare).
INSTALL_FOLDER_UNITS = 100
MAX_FULL_PATH_UNITS = 259

RESERVED_NAMES = {"CON", "PRN", "AUX", "NUL"} | {f"COM{i}" for i in range(1, 10)} | \
                 {f"LPT{i}" for i in range(1, 10)}
FORBIDDEN_CHARACTERS = set('<>:"|?*\\')

# What the layout loader reads, element by element. `bkcolor` is accepted on containers: older
# layouts carry it and the loader ignores it without harm.
CONTAINER_ATTRIBUTES = {"rect", "type", "resId", "name", "visible", "enable", "bkcolor"}
CONTAINERS = {
    "Container": CONTAINER_ATTRIBUTES,
    "CaptionContainer": CONTAINER_ATTRIBUTES,
    "VerticalContainer": CONTAINER_ATTRIBUTES | {"row"},
    "GridContainer": CONTAINER_ATTRIBUTES | {"col", "row", "vertical"},
}
FONT = {"color", "bold", "size", "font"}
IMAGE = {"rect", "type", "resId", "name", "visible", "enable"}
CONTROLS = {
    "Button": IMAGE | {"action"},
    "Label": {"rect", "name", "visible", "enable", "align"} | FONT,
    "LinkLabel": IMAGE | FONT | {"action"},
    "CheckBox": IMAGE | FONT | {"rectChk", "rectLbl", "action", "checked"},
    "TextBox": IMAGE | FONT | {"clrect", "maxchar", "multiline"},
    "Progress": IMAGE,
    "Carousel": IMAGE | {"framecount", "interval", "fadeinterval"},
    "Picture": IMAGE,
}
FRONT_ATTRIBUTES = {"rect", "spr", "spl", "resId", "type"}
DLG_ATTRIBUTES = {"name", "width", "height"}
# Frames side by side in the image strip of each control that cuts one.
STRIP_FRAMES = {"Button": 4, "TextBox": 3, "CheckBox": 6}

# A skin image <number><suffix>.png, the resource type it is stored as and its size as a
# fraction (times / per) of the 100 % image's: the image drawn at 100 %, and the same image
# drawn at 150 % and 200 % (exactly that many times its size).
SkinScale = collections.namedtuple("SkinScale", "type times per")
SKIN_SCALES = {"": SkinScale("PNG", 1, 1), "@1.5x": SkinScale("PNG_150", 3, 2),
               "@2x": SkinScale("PNG_200", 2, 1)}
# The skin images the packer stores: <number>.png with a suffix of SKIN_SCALES, in any case.
SKIN_IMAGE_NAME = re.compile(r"(\d+)(%s)?\.png" % "|".join(map(re.escape, filter(None, SKIN_SCALES))),
                             re.IGNORECASE)

# A language file lang/<tag>.lua: a language tag such as en, de or zh-CN.
LANGUAGE_TAG = re.compile(r"[A-Za-z]{2,3}(-[A-Za-z0-9]{1,8})*")


class Report:
    """Collects messages in the order found; counts errors and warnings."""

    def __init__(self):
        self.messages = []
        self.errors = 0
        self.warnings = 0

    def error(self, where, text):
        self.messages.append(f"{where}: error: {text}")
        self.errors += 1

    def warning(self, where, text):
        self.messages.append(f"{where}: warning: {text}")
        self.warnings += 1


# ---- Layout ----

class LayoutChecker:
    """One program's layout document: its pages (qpxlayout's required and optional names) and
    the images they name, looked up in the skin folders (relative to the product; a later
    folder's image replaces an earlier one's, as the packer stores them)."""

    def __init__(self, product, path, report, program="installer", pages=qpxlayout.INSTALLER_PAGES,
                 skins=("skin",)):
        self.product, self.path, self.report = product, path, report
        self.program, self.pages, self.skins = program, pages, skins
        # resource number -> [(strip width or None, frame height or None, where, who)]
        self.needs = {}

    def at(self, element):
        return f"{self.path}:{element.line}"

    def who(self, dlg, element):
        return f'{dlg.get("name")}/{element.get("name") or element.tag}'

    def rect(self, element, name, required=True):
        """(width, height) of a rect attribute; None when missing or broken (reported)."""
        text = element.get(name)
        if text is None:
            if required:
                self.report.warning(self.at(element), f"<{element.tag}> has no {name}: it is empty")
            return None
        parts = text.split(",")
        if len(parts) != 4 or not all(re.fullmatch(r"\s*-?\d+\s*", p) for p in parts):
            self.report.error(self.at(element), f'{name}="{text}" is not "left,top,right,bottom"')
            return None
        left, top, right, bottom = (int(p) for p in parts)
        if right < left or bottom < top:
            self.report.error(self.at(element),
                              f'{name}="{text}": right or bottom lies left of or above its left or top')
            return None
        return right - left, bottom - top

    def color(self, element):
        text = element.get("color")
        if text is None:
            return
        parts = text.split(",")
        if len(parts) != 3 or not all(re.fullmatch(r"\s*\d+\s*", p) for p in parts):
            self.report.error(self.at(element), f'color="{text}" is not "red,green,blue"')
        elif any(int(p) > 255 for p in parts):
            self.report.warning(self.at(element), f'color="{text}": components above 255')

    def positive(self, element, name, default):
        text = element.get(name)
        if text is None:
            if default <= 0:
                self.report.error(self.at(element), f"<{element.tag}> needs {name} above 0")
            return default if default > 0 else None
        if not re.fullmatch(r"\s*-?\d+\s*", text) or int(text) <= 0:
            self.report.error(self.at(element), f'{name}="{text}": must be a number above 0')
            return None
        return int(text)

    def resource(self, element):
        """The image number an element names (low 16 bits), 0 when none; None when broken."""
        text = element.get("resId")
        if text is None:
            return 0
        if not re.fullmatch(r"\s*\d+\s*", text):
            self.report.error(self.at(element), f'resId="{text}" is not a number')
            return None
        number = int(text) & 0xFFFF
        if number and element.get("type") != "PNG":
            self.report.error(self.at(element),
                              f'resId="{text}" needs type="PNG": the skin images are PNG resources')
        return number

    def need(self, dlg, element, width, height, required=True):
        number = self.resource(element)
        if number is None:
            return
        if number == 0:
            if required:
                self.report.error(self.at(element), f"{self.who(dlg, element)} has no image (resId)")
            return
        self.needs.setdefault(number, []).append((width, height, self.at(element),
                                                  self.who(dlg, element)))

    def attributes(self, element, known):
        for name in element.attributes:
            if name not in known:
                self.report.warning(self.at(element),
                                    f'<{element.tag}>: attribute "{name}" is unknown and ignored')

    def container(self, dlg, element):
        self.attributes(element, CONTAINERS[element.tag])
        size = self.rect(element, "rect")
        self.need(dlg, element, *(size or (None, None)), required=False)
        if element.tag in ("VerticalContainer", "GridContainer"):
            self.positive(element, "row", 0)
        if element.tag == "GridContainer":
            self.positive(element, "col", 0)
        for child in element.children:
            if child.tag in CONTAINERS:
                self.container(dlg, child)
            elif child.tag in CONTROLS:
                self.control(dlg, child)
            else:
                self.report.warning(self.at(child),
                                    f"<{child.tag}> is unknown: skipped with everything in it")

    def control(self, dlg, element):
        tag = element.tag
        self.attributes(element, CONTROLS[tag])
        size = self.rect(element, "rect")
        width, height = size or (None, None)
        self.color(element)
        for child in element.children:
            if not (tag == "Progress" and child.tag == "Front"):
                self.report.warning(self.at(child), f"<{child.tag}> inside <{tag}> is ignored")
        if tag == "Label":
            if element.get("align", "left") not in ("left", "center"):
                self.report.warning(self.at(element),
                                    f'{self.who(dlg, element)}: align is "left" or "center"; drawn from the left')
            return
        if tag == "LinkLabel":
            if self.resource(element):
                self.report.error(self.at(element),
                                  f"{self.who(dlg, element)}: a link label takes no image (resId)")
            return
        if tag == "CheckBox":
            if (element.text or "").strip():
                width, height = self.rect(element, "rectChk") or (None, None)
                self.rect(element, "rectLbl")
            elif "rectChk" in element.attributes or "rectLbl" in element.attributes:
                self.report.warning(self.at(element),
                                    "a check box without text ignores rectChk and rectLbl")
        if tag == "TextBox":
            self.rect(element, "clrect", required=False)
        frames = STRIP_FRAMES.get(tag, 1)
        if tag == "Carousel":
            frames = self.positive(element, "framecount", 1)
        if tag == "Picture":  # drawn stretched over its rect
            width = height = None
        if not width or not height:  # nothing of the image is drawn; it must still be there
            width = height = None
        strip = None if width is None or frames is None else frames * width
        self.need(dlg, element, strip, height)
        if tag == "Progress":
            fronts = [c for c in element.children if c.tag == "Front"]
            if not fronts:
                self.report.error(self.at(element), f"{self.who(dlg, element)} has no <Front>")
                return
            front = fronts[0]
            self.attributes(front, FRONT_ATTRIBUTES)
            fill = self.rect(front, "rect")
            # The fill is stretched sideways only.
            self.need(dlg, front, None, fill[1] if fill and fill[1] else None)

    def dialog(self, dlg, opened):
        self.attributes(dlg, DLG_ATTRIBUTES)
        roots = [c for c in dlg.children if c.tag == "Container"]
        for child in dlg.children:
            if not roots or child is not roots[0]:
                self.report.warning(self.at(child), f'<{child.tag}> in <Dlg name="{dlg.get("name")}">'
                                    " is ignored: only the first <Container> is read")
        if not roots:
            if opened:
                self.report.error(self.at(dlg), f'<Dlg name="{dlg.get("name")}"> has no <Container>')
            return
        self.container(dlg, roots[0])

    def check(self):
        try:
            root = qpxlayout.parse(qpxlayout.read_text(self.path))
        except UnicodeDecodeError as e:
            self.report.error(self.path, f"not UTF-8 or UTF-16 text: {e}")
            return
        except xml.parsers.expat.ExpatError as e:
            self.report.error(f"{self.path}:{e.lineno}", xml.parsers.expat.ErrorString(e.code))
            return
        required, optional = self.pages
        seen = {}
        for dlg in root.children:
            if dlg.tag != "Dlg":
                self.report.warning(self.at(dlg), f"<{dlg.tag}> is unknown: skipped with everything in it")
                continue
            name = dlg.get("name", "")
            if name in seen:
                self.report.warning(self.at(dlg), f'<Dlg name="{name}"> again: the one at line '
                                    f"{seen[name].line} is used")
                continue
            seen[name] = dlg
            self.dialog(dlg, name in required + optional)
        for name in required:
            if name not in seen:
                self.report.error(self.at(root), f'no <Dlg name="{name}">: the {self.program} ends there')
        for name in optional:
            if name not in seen:
                self.report.warning(self.at(root), f'no <Dlg name="{name}">: the {self.program} ends '
                                    "without its last page unless the globals switch the page off")
        self.images()

    def images(self):
        for number, uses in sorted(self.needs.items()):
            name = skin_image(self.product, self.skins, number)
            size = png_size(os.path.join(self.product, name))
            if isinstance(size, str):
                for _, _, where, who in uses:
                    self.report.error(where, f"{who}: {name} {size}")
                continue
            width, height = size
            # Controls of different heights may share a strip: each draws it at its top, so it
            # is as high as the lowest of them.
            heights = [h for _, h, _, _ in uses if h is not None]
            for w, h, where, who in uses:
                if (w is not None and w != width) or (heights and height != min(heights)):
                    self.report.error(where, f"{who} needs {name} of "
                                      f"{w or 'any width'} x {min(heights)}; it is {width} x {height}")


def skin_image(product, skins, number):
    """The image of that number relative to the product: from the last skin folder that holds
    it, or the first folder's name for it when none does."""
    names = [f"{skin}/{number}.png" for skin in skins]
    return next((name for name in reversed(names) if os.path.exists(os.path.join(product, name))),
                names[0])


@functools.lru_cache(maxsize=None)  # the layout's images and the scaled images' checks share files
def png_size(path):
    """(width, height) of a PNG that decodes fully; otherwise the reason as text."""
    if not os.path.exists(path):
        return "is missing"
    data = open(path, "rb").read()
    if not data.startswith(b"\x89PNG\r\n\x1a\n"):
        return "is not a PNG image"
    position, header, compressed = 8, None, b""
    while True:
        if position + 8 > len(data):
            return "is cut short"
        length, kind = struct.unpack_from(">I4s", data, position)
        body = data[position + 8:position + 8 + length]
        if len(body) != length or position + 12 + length > len(data):
            return "is cut short"
        (crc,) = struct.unpack_from(">I", data, position + 8 + length)
        if zlib.crc32(kind + body) != crc:
            return f"has a damaged {kind.decode('latin-1')} chunk"
        position += 12 + length
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            compressed += body
        elif kind == b"IEND":
            break
    if header is None or not compressed:
        return "has no image data"
    width, height, depth, colour, _, _, interlace = header
    channels = {0: 1, 2: 3, 3: 1, 4: 2, 6: 4}.get(colour)
    if not width or not height or channels is None:
        return "has an invalid header"
    try:
        pixels = zlib.decompress(compressed)
    except zlib.error:
        return "has image data that does not decompress"

    def rows(w, h):
        return h * (1 + (w * channels * depth + 7) // 8) if w and h else 0
    if interlace:
        passes = [(0, 0, 8, 8), (4, 0, 8, 8), (0, 4, 4, 8), (2, 0, 4, 4), (0, 2, 2, 4), (1, 0, 2, 2),
                  (0, 1, 1, 2)]
        expected = sum(rows((width - x + dx - 1) // dx, (height - y + dy - 1) // dy)
                       for x, y, dx, dy in passes)
    else:
        expected = rows(width, height)
    if len(pixels) != expected:
        return "has image data of the wrong size"
    return width, height


def skin_image_name(name):
    """(number, scale suffix) of a skin image's file name ("301@2x.png": (301, "@2x")); None for
    a name the packer does not store."""
    match = SKIN_IMAGE_NAME.fullmatch(name)
    if not match:
        return None
    return int(match.group(1)), (match.group(2) or "").lower()


def check_scaled_image(product, skins, path, number, scale, report):
    """An image for 150 % or 200 % is exactly that many times its 100 % image: the one of its
    number in the last of `skins` that holds one (skin_image), as the packer stores them."""
    size = png_size(path)
    if isinstance(size, str):
        report.error(path, size)
        return
    base_path = os.path.join(product, skin_image(product, skins, number))
    if not os.path.exists(base_path):
        report.warning(path, f"has no {number}.png to scale: it is never drawn")
        return
    base = png_size(base_path)
    if isinstance(base, str):
        return  # the layout's check reports the image itself
    _, times, per = SKIN_SCALES[scale]
    if any(side * times % per for side in base) or size != tuple(side * times // per for side in base):
        wanted = " x ".join(f"{side * times / per:g}" for side in base)
        report.error(path, f"is {size[0]} x {size[1]}; at {scale[1:]} its image of {base[0]} x {base[1]} "
                     f"must be exactly {wanted}")


def check_skin_folder(product, skins, report):
    """The images of the last of a program's skin folders; an image at another scale is checked
    against its 100 % image there or, for the uninstaller's, in the installer's skin, which it
    goes over."""
    skin = os.path.join(product, skins[-1])
    if not os.path.isdir(skin):
        return
    for name in sorted(os.listdir(skin)):
        if os.path.splitext(name)[1].lower() != ".png":
            continue
        parsed = skin_image_name(name)
        if parsed is None:
            report.warning(os.path.join(skin, name), "not stored: skin images are named <number>.png, "
                           "<number>@1.5x.png or <number>@2x.png")
        elif not 0 < parsed[0] <= 0xFFFF:
            report.error(os.path.join(skin, name), "image numbers run from 1 to 65535")
        elif parsed[1]:
            check_scaled_image(product, skins, os.path.join(skin, name), *parsed, report)


# ---- Scripts ----

def compiler_message(text, path):
    """luac's "luac: file:line: message" as "file:line: error: message"."""
    text = text.strip().splitlines()[0] if text.strip() else "does not compile"
    text = re.sub(r"^[^:]*luac[^:]*: ", "", text)
    match = re.match(re.escape(path) + r":(\d+): (.*)", text)
    if match:
        return f"{path}:{match.group(1)}", match.group(2)
    return path, text


def compile_listing(luac, path, report):
    """The compiler's listing of a script; None, reported, when it does not compile."""
    result = subprocess.run([luac, "-p", "-l", path], capture_output=True, text=True, errors="replace")
    if result.returncode != 0:
        report.error(*compiler_message(result.stderr, path))
        return None
    return result.stdout


def language_files(product):
    """(tag, path) of every lang/<tag>.lua whose name is a language tag, by name."""
    folder = os.path.join(product, "lang")
    if not os.path.isdir(folder):
        return []
    files = []
    for name in sorted(os.listdir(folder)):
        stem, ext = os.path.splitext(name)
        if ext.lower() == ".lua" and LANGUAGE_TAG.fullmatch(stem):
            files.append((stem, os.path.join(folder, name)))
    return files


def check_languages(product, luac, report):
    """Every language file is named by its tag and compiles; no two name the same language."""
    folder = os.path.join(product, "lang")
    if not os.path.isdir(folder):
        return
    for name in sorted(os.listdir(folder)):
        stem, ext = os.path.splitext(name)
        if ext.lower() == ".lua" and not LANGUAGE_TAG.fullmatch(stem):
            report.error(os.path.join(folder, name), "not stored: language files are named <tag>.lua, "
                         "with a language tag such as en or zh-CN")
    seen = {}
    for tag, path in language_files(product):
        if tag.lower() in seen:
            report.error(path, f"names the language of {seen[tag.lower()]} again: tags are read "
                         "without regard to case")
        seen[tag.lower()] = path
        compile_listing(luac, path, report)


def check_scripts(product, luac, report):
    """Compiles every script; checks the install script's hooks in the compiler's listing."""
    scripts = os.path.join(product, "scripts")
    for name, required in (("global_var.lua", True), ("install.lua", True), ("uninstall.lua", False)):
        path = os.path.join(scripts, name)
        if not os.path.exists(path):
            if required:
                report.error(path, "missing: the installer runs this script")
            continue
        listing = compile_listing(luac, path, report)
        if listing is None:
            continue
        if name == "install.lua":
            # Any assignment to the global, a `function` statement included, stores it in _ENV.
            defined = set(re.findall(r'SETTABUP\s.*; _ENV "(QPXSE_\w+)"', listing))
            for hook in HOOKS:
                if hook not in defined:
                    report.warning(path, f"does not define {hook}: the installer calls it")


def need_disk_space(product):
    """global_need_disk_space as the globals script sets it with a plain number, else None.

    Read by pattern: the last top-level `global_need_disk_space = <digits>` line counts."""
    path = os.path.join(product, "scripts", "global_var.lua")
    if not os.path.exists(path):
        return None
    values = re.findall(r"^global_need_disk_space\s*=\s*(\d+)\s*(?:--.*)?$",
                        open(path, encoding="utf-8", errors="replace").read(), re.MULTILINE)
    return int(values[-1]) if values else None


# ---- Payload ----

def name_problem(name):
    if any(c in FORBIDDEN_CHARACTERS or ord(c) < 32 for c in name):
        return "holds a character Windows does not allow in names (<>:\"|?*\\ or a control character)"
    if name.endswith(".") or name.endswith(" "):
        return "ends in a dot or a blank, which Windows drops"
    if name.split(".", 1)[0].rstrip(" ").upper() in RESERVED_NAMES:
        return "is a device name on Windows"
    return None


def utf16_units(text):
    return len(text.encode("utf-16-le")) // 2


def payload_entries(payload, extra_files):
    """(name in the payload, where to report it, full path, is a file) of every entry the packer
    takes: the payload folder's tree, then the build's files at its root."""
    entries = []
    if os.path.isdir(payload):
        for folder, folders, files in os.walk(payload, followlinks=True):  # as the packer copies
            folders.sort()
            for name in sorted(folders) + sorted(files):
                full = os.path.join(folder, name)
                relative = os.path.relpath(full, payload)
                entries.append((relative, os.path.join(payload, relative), full, name in files))
    for path in extra_files:
        entries.append((os.path.basename(path), path, path, True))
    return entries


def check_payload(product, report, extra_files=()):
    payload = os.path.join(product, "payload")
    if not os.path.isdir(payload) and not extra_files:
        return
    folded, total = {}, 0
    for relative, where, full, is_file in payload_entries(payload, extra_files):
        problem = name_problem(os.path.basename(relative))
        if problem:
            report.error(where, problem)
        key = unicodedata.normalize("NFC", relative).casefold()
        if key in folded:
            report.error(where, f"differs from {folded[key]} only in letter case: "
                         "one would overwrite the other on Windows")
        else:
            folded[key] = where
        units = INSTALL_FOLDER_UNITS + 1 + utf16_units(relative)
        if units > MAX_FULL_PATH_UNITS:
            report.error(where, f"path too long: {units - INSTALL_FOLDER_UNITS - 1} units; "
                         f"below an install folder of {INSTALL_FOLDER_UNITS} it must stay within "
                         f"{MAX_FULL_PATH_UNITS - INSTALL_FOLDER_UNITS - 1}")
        if is_file and os.path.exists(full):
            total += os.path.getsize(full)
        elif is_file and full in extra_files:
            report.error(where, "payload file missing: it was not built")
    need = need_disk_space(product)
    globals_script = os.path.join(product, "scripts", "global_var.lua")
    if need is None:
        if os.path.exists(globals_script):
            report.warning(globals_script, "sets no global_need_disk_space = <bytes>: the free space "
                           f"is not checked against the payload's {total} bytes")
    elif need < total:
        report.warning(globals_script, f"global_need_disk_space is {need}, less than the "
                       f"{total} bytes the payload unpacks to")


def check_uninstaller_pages(product, report):
    """The uninstaller's own pages, read and checked as the installer's are; a product without
    them gets the engine's, and one without an uninstall script gets no uninstaller."""
    layout = os.path.join(product, *UNINSTALL_LAYOUT)
    if not os.path.exists(layout) or not os.path.exists(os.path.join(product, "scripts", "uninstall.lua")):
        return
    LayoutChecker(product, layout, report, "uninstaller", qpxlayout.UNINSTALLER_PAGES,
                  UNINSTALL_SKINS).check()
    check_skin_folder(product, UNINSTALL_SKINS, report)


def check_icon(product, report):
    icon = os.path.join(product, "icon.ico")
    if os.path.exists(icon) and open(icon, "rb").read(4) != b"\0\0\1\0":
        report.error(icon, "is not an icon file")


def check_product(product, luac, extra_payload=()):
    """Every check, in the order a product folder is built; returns the Report. `extra_payload`:
    files of the build that the installer adds to the payload's root."""
    report = Report()
    layout = os.path.join(product, "layout.xml")
    if os.path.exists(layout):
        LayoutChecker(product, layout, report).check()
    else:
        report.error(layout, "missing: the installer draws its windows from it")
    check_skin_folder(product, ("skin",), report)
    check_uninstaller_pages(product, report)
    check_scripts(product, luac, report)
    check_languages(product, luac, report)
    check_payload(product, report, extra_payload)
    check_icon(product, report)
    return report


def run(product, luac, strict=False, extra_payload=()):
    """Prints the messages; True when the product may be built."""
    report = check_product(product, luac, extra_payload)
    for message in report.messages:
        print(message, file=sys.stderr)
    return report.errors == 0 and not (strict and report.warnings)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--luac", required=True)
    ap.add_argument("--strict", action="store_true", help="warnings fail too")
    ap.add_argument("product")
    args = ap.parse_args()
    sys.exit(0 if run(args.product, args.luac, args.strict) else 1)


if __name__ == "__main__":
    main()
