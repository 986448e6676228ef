#!/usr/bin/env bash
# The installer is a PE32 GUI program for i386, carries no application manifest, and imports
# only DLLs that Windows always takes from the system directory (the known DLLs).
set -euo pipefail
exe=$1
python3 - "$exe" <<'PY'
import struct, sys
data = open(sys.argv[1], "rb").read()
fail = []
pe = struct.unpack_from("<I", data, 0x3C)[0]
machine, nsections, _, _, _, optsize, _ = struct.unpack_from("<HHIIIHH", data, pe + 4)
opt = pe + 24
magic = struct.unpack_from("<H", data, opt)[0]
subsystem = struct.unpack_from("<H", data, opt + 68)[0]
if machine != 0x14C: fail.append("machine is not i386: %#x" % machine)
if magic != 0x10B: fail.append("not PE32: %#x" % magic)
if subsystem != 2: fail.append("not a GUI program: subsystem %d" % subsystem)
dirs = opt + 96
sections = []
for i in range(nsections):
    s = opt + optsize + 40 * i
    vsize, va, rawsize, rawptr = struct.unpack_from("<IIII", data, s + 8)
    sections.append((va, max(vsize, rawsize), rawptr))
def off(rva):
    for va, size, raw in sections:
        if va <= rva < va + size: return rva - va + raw
    raise ValueError(rva)
# Imports.
known = {"advapi32.dll", "comdlg32.dll", "gdi32.dll", "gdiplus.dll", "imm32.dll", "kernel32.dll",
         "msvcrt.dll", "ole32.dll", "oleaut32.dll", "psapi.dll", "shell32.dll", "shlwapi.dll",
         "user32.dll", "rpcrt4.dll", "ws2_32.dll", "setupapi.dll", "imagehlp.dll"}
imp_rva = struct.unpack_from("<I", data, dirs + 8)[0]
names = []
p = off(imp_rva)
while True:
    name_rva = struct.unpack_from("<I", data, p + 12)[0]
    if name_rva == 0: break
    q = off(name_rva); names.append(data[q:data.index(b"\0", q)].decode().lower()); p += 20
for n in names:
    if n not in known: fail.append("imports a DLL that may be searched for: " + n)
# No manifest resource (type 24).
rsrc_rva = struct.unpack_from("<I", data, dirs + 16)[0]
if rsrc_rva:
    r = off(rsrc_rva)
    named, ids = struct.unpack_from("<HH", data, r + 12)
    types = [struct.unpack_from("<I", data, r + 16 + 8 * i)[0] for i in range(named + ids)]
    if 24 in types: fail.append("carries an application manifest")
print("imports:", ", ".join(names))
for f in fail: print("FAIL:", f)
sys.exit(1 if fail else 0)
PY
