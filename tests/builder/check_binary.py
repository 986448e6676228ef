#!/usr/bin/env python3
"""The installer as built for its architecture: a GUI program (PE32 for i386, PE32+ for x64)
with no application manifest, importing only DLLs that Windows always takes from the system
directory (the known DLLs), whose script chunks are stripped and carry the target's size_t,
and whose resources (the payload) start on a page of the file, so Wine maps them.
    check_binary.py <installer.exe> <i686|x86_64>"""
import os
import re
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools"))
from luachunk import ChunkError, describe  # noqa: E402
from qpxpe import AMD64, I386, PE32, PE32_PLUS, PeImage, resources_on_a_page  # noqa: E402

# machine, optional header magic and the engine's size_t, by architecture
TARGETS = {"i686": (I386, PE32, 4), "x86_64": (AMD64, PE32_PLUS, 8)}
KNOWN_DLLS = {"advapi32.dll", "comdlg32.dll", "gdi32.dll", "gdiplus.dll", "imm32.dll",
              "kernel32.dll", "msvcrt.dll", "ole32.dll", "oleaut32.dll", "psapi.dll",
              "shell32.dll", "shlwapi.dll", "user32.dll", "rpcrt4.dll", "ws2_32.dll",
              "setupapi.dll", "imagehlp.dll"}
SCRIPTS = {"GLOBAL_VAR.LUAC", "INSTSCRIPT.LUAC", "UNINSTSCRIPT.LUAC"}
# A product's language file lang/<tag>.lua, as the packer stores it.
LANGUAGE_FILE = re.compile(r"LANG_[A-Z0-9-]+\.LUAC")
MANIFEST = 24


def problems(image, arch):
    machine, magic, size_t = TARGETS[arch]
    if image.machine != machine:
        yield f"machine is {image.machine:#x}, not {machine:#x} ({arch})"
    if image.magic != magic:
        yield f"optional header magic is {image.magic:#x}, not {magic:#x}"
    if image.subsystem != 2:
        yield f"not a GUI program: subsystem {image.subsystem}"
    for name in image.imports():
        if name.lower() not in KNOWN_DLLS:
            yield "imports a DLL that may be searched for: " + name
    if not resources_on_a_page(image.data):
        yield "resources do not start on a page of the file: Wine would read them whole at start"
    resources = image.resources()
    if any(kind == MANIFEST for kind, _, _ in resources):
        yield "carries an application manifest"
    chunks = {name: data for kind, name, data in resources if kind == "LUA"}
    scripts = {name for name in chunks if not LANGUAGE_FILE.fullmatch(name)}
    if scripts != SCRIPTS:
        yield f"script resources are {sorted(scripts)}, not {sorted(SCRIPTS)} (and language files)"
    for name, data in sorted(chunks.items()):
        try:
            info = describe(data)
        except ChunkError as e:
            yield f"{name}: {e}"
            continue
        if info.size_t != size_t:
            yield f"{name}: written for a {info.size_t}-byte size_t, the engine's is {size_t}"
        if not info.stripped:
            yield f"{name}: carries debug information"


def main(path, arch):
    image = PeImage(open(path, "rb").read())
    print(f"{arch}: imports", ", ".join(image.imports()))
    found = list(problems(image, arch))
    for problem in found:
        print("FAIL:", problem)
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:]))
