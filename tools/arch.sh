#!/usr/bin/env bash
# Chooses the Windows architecture whose programs this machine can run under Wine, and says
# why: "<i686|x86_64> <reason>". i686 where the kernel runs 32-bit programs and 32-bit Wine
# starts; x86_64 (64-bit Wine, PE32+ programs) where it cannot. An argument forces the choice.
#   tools/arch.sh [i686|x86_64]
set -uo pipefail
case "${1:-}" in
  i686|x86_64) echo "$1 asked for with ARCH=$1"; exit 0 ;;
  "") ;;
  *) echo "ARCH must be i686 or x86_64, not '$1'" >&2; exit 1 ;;
esac

# The smallest i386 program: exit(0) through int 0x80, built here so that no 32-bit toolchain
# or library is needed to ask the kernel.
probe=$(mktemp)
trap 'rm -f "$probe"' EXIT
python3 - "$probe" <<'PY'
import struct, sys
code = bytes.fromhex("b801000000" "31db" "cd80")  # mov eax, 1; xor ebx, ebx; int 0x80
base, headers = 0x08048000, 52 + 32
elf = struct.pack("<4sBBBB8xHHIIIIIHHHHHH", b"\x7fELF", 1, 1, 1, 0, 2, 3, 1, base + headers, 52,
                  0, 0, 52, 32, 1, 0, 0, 0)
segment = struct.pack("<8I", 1, 0, base, base, headers + len(code), headers + len(code), 5, 0x1000)
open(sys.argv[1], "wb").write(elf + segment + code)
PY
chmod +x "$probe"
if ! error=$("$probe" 2>&1); then
  echo "x86_64 this machine's kernel runs no 32-bit programs (${error##*: })"
  exit 0
fi
if ! error=$(/usr/lib/wine/wine --version 2>&1); then
  echo "x86_64 this machine runs 32-bit programs but not 32-bit Wine (${error##*: })"
  exit 0
fi
echo "i686 this machine runs 32-bit programs and 32-bit Wine"
