#!/usr/bin/env bash
# The installer is a PE32 GUI program for i386, carries no application manifest, and imports
# only DLLs that Windows always takes from the system directory (the known DLLs).
set -euo pipefail
exe=$1
tools=$(cd "$(dirname "$0")/../tools" && pwd)
python3 - "$exe" "$tools" <<'PY'
import sys
sys.path.insert(0, sys.argv[2])
from qpxpe import PE32, PeImage
image = PeImage(open(sys.argv[1], "rb").read())
fail = []
if image.machine != 0x14C: fail.append("machine is not i386: %#x" % image.machine)
if image.magic != PE32: fail.append("not PE32: %#x" % image.magic)
if image.subsystem != 2: fail.append("not a GUI program: subsystem %d" % image.subsystem)
known = {"advapi32.dll", "comdlg32.dll", "gdi32.dll", "gdiplus.dll", "imm32.dll", "kernel32.dll",
         "msvcrt.dll", "ole32.dll", "oleaut32.dll", "psapi.dll", "shell32.dll", "shlwapi.dll",
         "user32.dll", "rpcrt4.dll", "ws2_32.dll", "setupapi.dll", "imagehlp.dll"}
names = [name.lower() for name in image.imports()]
for n in names:
    if n not in known: fail.append("imports a DLL that may be searched for: " + n)
if any(kind == 24 for kind, _, _ in image.resources()): fail.append("carries an application manifest")
print("imports:", ", ".join(names))
for f in fail: print("FAIL:", f)
sys.exit(1 if fail else 0)
PY
