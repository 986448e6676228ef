"""Turns a product folder into the resources of its installer and of its uninstaller.

A product folder holds:
  layout.xml            the window layout (UTF-8 or UTF-16 text; stored as UTF-16LE with BOM)
  skin/<number>.png     the skin images, stored as "PNG" resources by number; skin/<number>@2x.png
                        and skin/<number>@1.5x.png, the same images at 200 % and 150 %, as
                        "PNG_200" and "PNG_150" resources of the same number
  scripts/global_var.lua, scripts/install.lua, scripts/uninstall.lua
                        compiled, stripped, to GLOBAL_VAR.LUAC, INSTSCRIPT.LUAC, UNINSTSCRIPT.LUAC
                        with the target's size_t (the stub's)
  lang/<tag>.lua        optional language files, compiled the same way to LANG_<tag>.LUAC, in the
                        installer and the uninstaller
  payload/              packed with 7zz into "_7Z" "APP.7Z", first two bytes exchanged, together
                        with the build's own files (at the payload's root: the uninstaller and
                        those of qpxbuild's --payload-file)
  icon.ico              optional; the engine's default icon otherwise; stored as the icon group
                        128 with its images, beside the wizard's dialog template 129
  pack.conf             optional 7zz switches for the payload instead of PACK_SWITCHES
  date.conf             optional date of the payload's files (see payload_time)
  signing.conf          optional certificate and key to sign the installer with (qpxsign.py)

The uninstaller's resources are the icon, the dialog template, the pages of uninstall/layout.xml
over skin/ and uninstall/skin/ (the engine's default pages when the product has none) and the
language files; no other scripts and no payload.

The same folder gives the same bytes on every build: the payload is packed from a copy with
fixed times and modes, with switches that leave out what differs between checkouts.
"""
import datetime
import os
import shutil
import struct
import subprocess
import sys

import luachunk
import qpxcheck
import qpxlayout

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

# Dialog template shared by every wizard window, as a DIALOGEX template: no controls, 187 x 98
# dialog units, the 8-point shell font. The class name lets a second start find the window.
DIALOG_ID = 129
DIALOG_STYLE = 0x00CA00C8  # WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | DS_MODALFRAME | DS_SETFONT | DS_FIXEDSYS
DIALOG_EX_STYLE = 0x00080000  # WS_EX_LAYERED
DIALOG_SIZE = (187, 98)
DIALOG_CLASS = "QPX_INSTALLER"
DIALOG_CAPTION = "QPXInstaller"
DIALOG_FONT = (8, "MS Shell Dlg")
ICON_GROUP_ID = 128
RT_ICON, RT_DIALOG, RT_GROUP_ICON = 3, 5, 14
ICON_HEADER = 6
ICON_ENTRY = 16


def fail(message):
    print(message, file=sys.stderr)
    sys.exit(1)


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


def text_z(text):
    return (text + "\0").encode("utf-16-le")


def dialog_template():
    """The wizard windows' template in the DIALOGEX form."""
    head = struct.pack("<HHIIIHhhhh", 1, 0xFFFF, 0, DIALOG_EX_STYLE, DIALOG_STYLE, 0, 0, 0, *DIALOG_SIZE)
    points, face = DIALOG_FONT
    return head + b"\0\0" + text_z(DIALOG_CLASS) + text_z(DIALOG_CAPTION) + \
        struct.pack("<HHBB", points, 0, 0, 1) + text_z(face)


def icon_resources(path):
    """An .ico file as its images (RT_ICON, numbered from 1) and their group (RT_GROUP_ICON)."""
    data = open(path, "rb").read()
    _, kind, count = struct.unpack_from("<HHH", data)
    if kind != 1:
        fail(f"{path}: error: is not an icon file")
    group = struct.pack("<HHH", 0, 1, count)
    images = []
    for number in range(1, count + 1):
        entry = ICON_HEADER + ICON_ENTRY * (number - 1)
        size, offset = struct.unpack_from("<II", data, entry + 8)
        if offset + size > len(data):
            fail(f"{path}: error: is cut short")
        images.append((RT_ICON, number, data[offset:offset + size]))
        group += data[entry:entry + 12] + struct.pack("<H", number)
    return images + [(RT_GROUP_ICON, ICON_GROUP_ID, group)]


def skin_resources(folders):
    """Every <number>.png of the folders, and every <number>@2x.png and <number>@1.5x.png under
    its scale's type; a later folder's image replaces an earlier one's."""
    images = {}
    for skin in folders:
        if os.path.isdir(skin):
            for name in sorted(os.listdir(skin)):
                parsed = qpxcheck.skin_image_name(name)
                if parsed:
                    number, scale = parsed
                    images[(qpxcheck.SKIN_SCALES[scale].type, number)] = os.path.join(skin, name)
    return [(kind, number, read(path)) for (kind, number), path in sorted(images.items())]


def read(path):
    with open(path, "rb") as f:
        return f.read()


def frame_resources(product, defaults):
    """What every program of the product carries: its icon (or the engine's) and the template."""
    icon = os.path.join(product, "icon.ico")
    if not os.path.exists(icon):
        icon = os.path.join(defaults, "icon.ico")
    return icon_resources(icon) + [(RT_DIALOG, DIALOG_ID, dialog_template())]


def uninstaller_resources(product, defaults, languages):
    """The uninstaller's resources: the icon, the template, the pages of uninstall/layout.xml
    over skin/ and uninstall/skin/ (the engine's default pages when the product has none) and
    the language files (`languages`, as language_resources gives them); no other scripts and no
    payload."""
    base = product if os.path.exists(os.path.join(product, *qpxcheck.UNINSTALL_LAYOUT)) else defaults
    skins = [os.path.join(base, folder) for folder in qpxcheck.UNINSTALL_SKINS]
    return frame_resources(product, defaults) + \
        [("XML", "LAYOUT.XML", qpxlayout.engine_bytes(os.path.join(base, *qpxcheck.UNINSTALL_LAYOUT)))] + \
        skin_resources(skins) + languages


def compile_script(luac, source, target, size_t):
    """A script compiled and stripped by this machine's compiler, for the target's size_t; the
    chunk is also left in `target`."""
    result = subprocess.run([luac, "-s", "-o", target, source], capture_output=True, text=True)
    if result.returncode != 0:
        fail(result.stderr.strip() or f"{source}: does not compile")
    chunk = luachunk.retarget(read(target), size_t)
    with open(target, "wb") as f:
        f.write(chunk)
    return chunk


def language_resources(product, work, luac, size_t):
    """Every lang/<tag>.lua of the product, compiled, as the script LANG_<tag>.LUAC."""
    return [("LUA", f"LANG_{tag}.LUAC", compile_script(luac, source, os.path.join(work, f"LANG_{tag}.LUAC"), size_t))
            for tag, source in qpxcheck.language_files(product)]


def installer_resources(product, work, luac, size_t, defaults, files, languages):
    """The installer's resources: the frame's, the compiled scripts, the layout, the skin, the
    language files (`languages`, as language_resources gives them) and the payload archive of the
    product's payload/ and `files` (at its root). The chunks and the archive are left in `work`."""
    resources = frame_resources(product, defaults)
    for source, name in SCRIPTS:
        path = os.path.join(product, "scripts", source)
        if os.path.exists(path):
            resources.append(("LUA", name, compile_script(luac, path, os.path.join(work, name), size_t)))
    layout = os.path.join(product, "layout.xml")
    if os.path.exists(layout):
        resources.append(("XML", "LAYOUT.XML", qpxlayout.engine_bytes(layout)))
    resources += skin_resources([os.path.join(product, "skin")])
    resources += languages
    archive = os.path.join(work, "APP.7Z")
    if pack_payload(product, files, archive, os.path.join(work, "payload")):
        resources.append(("_7Z", "APP.7Z", read(archive)))
    return resources
