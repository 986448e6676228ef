#!/usr/bin/env python3
"""Turns a product folder into the installer's resource object.

A product folder holds:
  layout.xml            the window layout (UTF-8 or UTF-16 text; stored as UTF-16LE with BOM)
  skin/<number>.png     the skin images, stored as "PNG" resources by number; skin/<number>@2x.png
                        and skin/<number>@1.5x.png, the same images at 200 % and 150 %, as
                        "PNG_200" and "PNG_150" resources of the same number
  scripts/global_var.lua, scripts/install.lua, scripts/uninstall.lua
                        compiled, stripped, to GLOBAL_VAR.LUAC, INSTSCRIPT.LUAC, UNINSTSCRIPT.LUAC
                        with the target's size_t (--lua-size-t)
  lang/<tag>.lua        optional language files, compiled the same way to LANG_<tag>.LUAC
  payload/              packed with 7zz into "_7Z" "APP.7Z", first two bytes exchanged, together
                        with the build's own files given by --payload-file (at the payload's root)
  icon.ico              optional; the engine's default icon otherwise
  pack.conf             optional 7zz switches for the payload instead of PACK_SWITCHES
  date.conf             optional date of the payload's files (see payload_time)
  signing.conf          optional certificate and key to sign the installer with (qpxsign.py)

With --uninstaller it makes the resources of the product's uninstaller instead: the icon, the
dialog template, the pages of uninstall/layout.xml over skin/ and uninstall/skin/ (the engine's
default pages when the product has none) and the language files; no other scripts and no
payload.

The folder is checked first (qpxcheck.py); any error stops the build. The same folder gives the
same bytes on every build: the payload is packed from a copy with fixed times and modes, with
switches that leave out what differs between checkouts.
"""
import argparse
import datetime
import os
import shutil
import subprocess
import sys
import xml.etree.ElementTree as ET

import luachunk
import qpxcheck

# LZMA2 with 7-Zip's automatic filters (x86 code gets BCJ), solid. The installer decodes
# through a window of the dictionary's size, so 12 MiB keeps extracting any payload under
# 32 MiB of memory whatever its size.
PACK_SWITCHES = ["-m0=LZMA2", "-md=12m", "-ms=on"]

# Always given ahead of the product's switches: store only modification times (the copy's, see
# payload_time), and a fixed thread count, since LZMA2 cuts its stream into blocks by threads.
REPRODUCIBLE_SWITCHES = ["-mtm=on", "-mtc=off", "-mta=off", "-mmt=2"]

# Payload time when neither SOURCE_DATE_EPOCH nor the product's date.conf gives one.
DEFAULT_PAYLOAD_TIME = 946684800  # 2000-01-01 00:00:00 UTC

SCRIPTS = [("global_var.lua", "GLOBAL_VAR.LUAC"),
           ("install.lua", "INSTSCRIPT.LUAC"),
           ("uninstall.lua", "UNINSTSCRIPT.LUAC")]

# Dialog template shared by every wizard window: the class name lets a second start find it.
DIALOG = """129 DIALOGEX 0, 0, 187, 98
STYLE DS_SETFONT | DS_MODALFRAME | DS_FIXEDSYS | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX
EXSTYLE WS_EX_LAYERED
CLASS "Qpx_Installer"
CAPTION "QPXInstaller"
FONT 8, "MS Shell Dlg", 0, 0, 0x1
BEGIN
END
"""


def fail(message):
    print(message, file=sys.stderr)
    sys.exit(1)


def rc_path(path):
    return '"' + path.replace("\\", "/").replace('"', '\\"') + '"'


def layout_utf16(source, target):
    """The layout as the engine reads it: UTF-16LE with its byte-order mark."""
    text = qpxcheck.read_layout_text(source)
    with open(target, "wb") as out:
        out.write(b"\xff\xfe" + text.encode("utf-16-le"))


def pack_switches(product):
    """The product's pack.conf (7zz switches, any number per line, # comments), or ours."""
    conf = os.path.join(product, "pack.conf")
    if not os.path.exists(conf):
        return PACK_SWITCHES
    with open(conf, encoding="utf-8") as f:
        return [word for line in f for word in line.split("#", 1)[0].split()]


def given_time(product):
    """Seconds since 1970 the build is told to date things with: SOURCE_DATE_EPOCH when set,
    else the product's date.conf (one line: "2026-12-01" or "2026-12-01T08:30:00", UTC);
    None when neither is there."""
    epoch = os.environ.get("SOURCE_DATE_EPOCH", "").strip()
    if epoch:
        if not epoch.isdigit():
            fail(f'SOURCE_DATE_EPOCH: error: "{epoch}" is not a number of seconds')
        return int(epoch)
    conf = os.path.join(product, "date.conf")
    if os.path.exists(conf):
        text = open(conf, encoding="utf-8").read().split("#", 1)[0].strip()
        try:
            when = datetime.datetime.fromisoformat(text)
        except ValueError:
            fail(f'{conf}: error: "{text}" is not a date like 2026-12-01 or 2026-12-01T08:30:00')
        return int(when.replace(tzinfo=when.tzinfo or datetime.timezone.utc).timestamp())
    return None


def payload_time(product):
    """The time every payload file carries: the given one, else 2000-01-01."""
    seconds = given_time(product)
    return DEFAULT_PAYLOAD_TIME if seconds is None else seconds


def stage_payload(payload, files, stage, seconds):
    """A copy of the payload folder (when there is one) and the given files at its root, whose
    times and modes do not depend on the checkout; links are copied as the files they name,
    which is what Windows gets."""
    if os.path.exists(stage):
        shutil.rmtree(stage)
    if os.path.isdir(payload):
        shutil.copytree(payload, stage)
    else:
        os.makedirs(stage)
    for path in files:
        target = os.path.join(stage, os.path.basename(path))
        if not os.path.isfile(path):
            fail(f"{path}: error: payload file missing")
        if os.path.lexists(target):
            fail(f"{path}: error: the product's payload already holds {os.path.basename(path)}")
        shutil.copyfile(path, target)
        shutil.copymode(path, target)
    for folder, _, names in os.walk(stage, topdown=False):
        for name in names:
            path = os.path.join(folder, name)
            os.chmod(path, 0o755 if os.stat(path).st_mode & 0o111 else 0o644)
            os.utime(path, (seconds, seconds))
        os.chmod(folder, 0o755)
        os.utime(folder, (seconds, seconds))


def pack_payload(product, files, target, stage):
    """Packs the product's payload folder and `files` into `target`; False when both are empty."""
    payload = os.path.join(product, "payload")
    if os.path.exists(target):
        os.remove(target)
    if not files and not (os.path.isdir(payload) and os.listdir(payload)):
        return False
    stage_payload(payload, files, stage, payload_time(product))
    entries = sorted(os.listdir(stage))
    switches = REPRODUCIBLE_SWITCHES + pack_switches(product)
    subprocess.run(["7zz", "a", "-t7z", "-bd", "-bso0", "-bsp0", *switches, target] + entries,
                   cwd=stage, check=True)
    shutil.rmtree(stage)
    with open(target, "r+b") as f:
        head = f.read(2)
        f.seek(0)
        f.write(head[::-1])
    return True


# The pages the uninstaller runs, in order.
UNINSTALL_PAGES = ("UninstallDlg", "UninstallingDlg", "UninstalledDlg")


def layout_lines(layout, work):
    """The layout stored as UTF-16 for the engine."""
    out = os.path.join(work, "LAYOUT.XML")
    layout_utf16(layout, out)
    return [f'LAYOUT.XML XML {rc_path(out)}']


def skin_lines(folders):
    """Every <number>.png of the folders, and every <number>@2x.png and <number>@1.5x.png under
    its scale's type; a later folder's image replaces an earlier one's."""
    images = {}
    for skin in folders:
        if os.path.isdir(skin):
            for name in sorted(os.listdir(skin)):
                parsed = qpxcheck.skin_image_name(name)
                if parsed:
                    number, scale = parsed
                    images[(number, qpxcheck.SKIN_SCALES[scale])] = os.path.join(skin, name)
    return [f'{number} {kind} {rc_path(path)}' for (number, kind), path in sorted(images.items())]


def compile_script(luac, size_t, source, out):
    """The script compiled and stripped into `out`, its chunk written for the target's size_t."""
    result = subprocess.run([luac, "-s", "-o", out, source], capture_output=True, text=True)
    if result.returncode != 0:
        fail(result.stderr.strip() or f"{source}: does not compile")
    with open(out, "rb") as f:
        chunk = luachunk.retarget(f.read(), size_t)
    with open(out, "wb") as f:
        f.write(chunk)


def language_lines(product, work, luac, size_t):
    """Every lang/<tag>.lua of the product, compiled, as the script LANG_<tag>.LUAC."""
    lines = []
    for tag, source in qpxcheck.language_files(product):
        out = os.path.join(work, f"LANG_{tag}.LUAC")
        compile_script(luac, size_t, source, out)
        lines.append(f'LANG_{tag}.LUAC LUA {rc_path(out)}')
    return lines


def uninstaller_look(product, defaults):
    """The uninstaller's layout and skin folders: the product's own uninstall/ (over its skin)
    when it has one, else the engine's default pages with their skin."""
    base = product if os.path.exists(os.path.join(product, "uninstall", "layout.xml")) else defaults
    layout = os.path.join(base, "uninstall", "layout.xml")
    root = ET.fromstring(open(layout, "rb").read())
    names = {d.get("name") for d in root.iter("Dlg")}
    missing = [page for page in UNINSTALL_PAGES if page not in names]
    if missing:
        fail(f"{layout}: error: no Dlg named {', '.join(missing)}: the uninstaller shows them")
    return layout, [os.path.join(base, "skin"), os.path.join(base, "uninstall", "skin")]


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--product", required=True)
    ap.add_argument("--work", required=True)
    ap.add_argument("--luac", required=True, help="this machine's Lua 5.2 compiler")
    ap.add_argument("--lua-size-t", type=int, choices=(4, 8), required=True,
                    help="the target engine's size_t: 4 for i686, 8 for x86_64")
    ap.add_argument("--windres", required=True)
    ap.add_argument("--defaults", required=True, help="the sample product: default icon and pages")
    ap.add_argument("--unchecked", action="store_true",
                    help="skip the checks: for test products that are broken on purpose")
    ap.add_argument("--uninstaller", action="store_true", help="the uninstaller's resources")
    ap.add_argument("--payload-file", action="append", default=[],
                    help="a file of the build to put at the payload's root (repeatable)")
    args = ap.parse_args()
    product, work = os.path.abspath(args.product), os.path.abspath(args.work)
    defaults = os.path.abspath(args.defaults)
    files = [os.path.abspath(path) for path in args.payload_file]
    if not args.uninstaller and not args.unchecked and not qpxcheck.run(product, args.luac,
                                                                         extra_payload=files):
        fail(f"{product}: not built, mend the errors above")
    os.makedirs(work, exist_ok=True)
    lines = ["#include <windows.h>", ""]

    icon = os.path.join(product, "icon.ico")
    if not os.path.exists(icon):
        icon = os.path.join(defaults, "icon.ico")
    lines.append("128 ICON " + rc_path(icon))
    lines.append(DIALOG)

    lines += language_lines(product, work, args.luac, args.lua_size_t)
    if args.uninstaller:
        layout, skins = uninstaller_look(product, defaults)
        lines += layout_lines(layout, work) + skin_lines(skins)
    else:
        for source, name in SCRIPTS:
            path = os.path.join(product, "scripts", source)
            if not os.path.exists(path):
                continue
            out = os.path.join(work, name)
            compile_script(args.luac, args.lua_size_t, path, out)
            lines.append(f'{name} LUA {rc_path(out)}')
        layout = os.path.join(product, "layout.xml")
        if os.path.exists(layout):
            lines += layout_lines(layout, work)
        lines += skin_lines([os.path.join(product, "skin")])
        archive = os.path.join(work, "APP.7Z")
        if pack_payload(product, files, archive, os.path.join(work, "payload")):
            lines.append(f'APP.7Z _7Z {rc_path(archive)}')

    rc = os.path.join(work, "resources.rc")
    with open(rc, "w", encoding="utf-8") as f:
        f.write("\n".join(lines) + "\n")
    subprocess.run([args.windres, "-c", "65001", "-O", "coff", "-i", rc,
                    "-o", os.path.join(work, "resources.o")], check=True)


if __name__ == "__main__":
    main()
