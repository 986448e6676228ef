#!/usr/bin/env python3
"""Turns a product folder into the installer's resource object.

A product folder holds:
  layout.xml            the window layout (UTF-8 or UTF-16 text; stored as UTF-16LE with BOM)
  skin/<number>.png     the skin images, stored as "PNG" resources by number
  scripts/global_var.lua, scripts/install.lua, scripts/uninstall.lua
                        compiled, stripped, to GLOBAL_VAR.LUAC, INSTSCRIPT.LUAC, UNINSTSCRIPT.LUAC
  payload/              packed with 7zz into "_7Z" "APP.7Z", first two bytes exchanged
  icon.ico              optional; the engine's default icon otherwise
  pack.conf             optional 7zz switches for the payload instead of PACK_SWITCHES
"""
import argparse
import os
import shutil
import subprocess
import sys

# LZMA2 with 7-Zip's automatic filters (x86 code gets BCJ), solid. The installer decodes
# through a window of the dictionary's size, so 12 MiB keeps extracting any payload under
# 32 MiB of memory whatever its size.
PACK_SWITCHES = ["-m0=LZMA2", "-md=12m", "-ms=on"]

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
    data = open(source, "rb").read()
    if data.startswith(b"\xff\xfe") or data.startswith(b"\xfe\xff"):
        text = data.decode("utf-16")
    else:
        text = data.decode("utf-8-sig")
    with open(target, "wb") as out:
        out.write(b"\xff\xfe" + text.encode("utf-16-le"))


def pack_switches(product):
    """The product's pack.conf (7zz switches, any number per line, # comments), or ours."""
    conf = os.path.join(product, "pack.conf")
    if not os.path.exists(conf):
        return PACK_SWITCHES
    with open(conf, encoding="utf-8") as f:
        return [word for line in f for word in line.split("#", 1)[0].split()]


def pack_payload(payload, target):
    if os.path.exists(target):
        os.remove(target)
    entries = sorted(os.listdir(payload))
    if not entries:
        return False
    switches = pack_switches(os.path.dirname(os.path.abspath(payload)))
    subprocess.run(["7zz", "a", "-t7z", "-bd", "-bso0", "-bsp0", *switches, target] + entries,
                   cwd=payload, check=True)
    with open(target, "r+b") as f:
        head = f.read(2)
        f.seek(0)
        f.write(head[::-1])
    return True


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--product", required=True)
    ap.add_argument("--work", required=True)
    ap.add_argument("--luac", required=True)
    ap.add_argument("--windres", required=True)
    ap.add_argument("--defaults", required=True, help="folder with the engine's default icon")
    args = ap.parse_args()
    product, work = os.path.abspath(args.product), os.path.abspath(args.work)
    os.makedirs(work, exist_ok=True)
    lines = ["#include <windows.h>", ""]

    icon = os.path.join(product, "icon.ico")
    if not os.path.exists(icon):
        icon = os.path.join(args.defaults, "icon.ico")
    lines.append("128 ICON " + rc_path(icon))
    lines.append(DIALOG)

    for source, name in SCRIPTS:
        path = os.path.join(product, "scripts", source)
        if not os.path.exists(path):
            continue
        out = os.path.join(work, name)
        result = subprocess.run([args.luac, "-s", "-o", out, path], capture_output=True, text=True)
        if result.returncode != 0:
            fail(result.stderr.strip() or f"{path}: does not compile")
        lines.append(f'{name} LUA {rc_path(out)}')

    layout = os.path.join(product, "layout.xml")
    if os.path.exists(layout):
        out = os.path.join(work, "LAYOUT.XML")
        layout_utf16(layout, out)
        lines.append(f'LAYOUT.XML XML {rc_path(out)}')

    skin = os.path.join(product, "skin")
    if os.path.isdir(skin):
        for name in sorted(os.listdir(skin)):
            stem, ext = os.path.splitext(name)
            if ext.lower() == ".png" and stem.isdigit():
                lines.append(f'{int(stem)} PNG {rc_path(os.path.join(skin, name))}')

    payload = os.path.join(product, "payload")
    archive = os.path.join(work, "APP.7Z")
    if os.path.isdir(payload) and pack_payload(payload, archive):
        lines.append(f'APP.7Z _7Z {rc_path(archive)}')

    rc = os.path.join(work, "resources.rc")
    with open(rc, "w", encoding="utf-8") as f:
        f.write("\n".join(lines) + "\n")
    subprocess.run([args.windres, "-c", "65001", "-O", "coff", "-i", rc,
                    "-o", os.path.join(work, "resources.o")], check=True)


if __name__ == "__main__":
    main()
