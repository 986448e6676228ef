"""tools/luachunk.py: the 64-bit host compiler's chunks, rewritten with a 4-byte size_t, are
byte for byte what a 32-bit compiler writes; rewriting back gives the original; damaged chunks
are refused; describe() tells stripped chunks from the others.

Run by pytest with the options of tests/conftest.py; a case this machine cannot run is skipped
with the reason.
"""
import glob
import os
import re
import struct
import subprocess
import sys

import pytest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools"))
from luachunk import ChunkError, describe, retarget  # noqa: E402

ARGS = None  # the options, set by tests/conftest.py
CORPUS = "tests/builder/luachunk/corpus.lua"
# What a 32-bit luac writes for CORPUS, unstripped and stripped, made in the source folder with
#   gcc -m32 -O2 -DLUA_COMPAT_ALL -DLUA_USE_POSIX -o /tmp/luac32 <third_party/lua/src/*.c but lua.c> -lm
#   /tmp/luac32 -o tests/builder/luachunk/corpus32.luac tests/builder/luachunk/corpus.lua
#   /tmp/luac32 -s -o tests/builder/luachunk/corpus32-stripped.luac tests/builder/luachunk/corpus.lua
GOLDEN = {False: "tests/builder/luachunk/corpus32.luac",
          True: "tests/builder/luachunk/corpus32-stripped.luac"}


def scripts():
    """The corpus and the engine's real scripts, relative to the source folder."""
    found = [CORPUS]
    for folder in ("resources/scripts", "tests/products/scripts"):
        found += sorted(os.path.relpath(path, ARGS.source)
                        for path in glob.glob(os.path.join(ARGS.source, folder, "*.lua")))
    return found


def compile_lua(luac, path, strip, where):
    """The chunk luac writes for `path`, run in the source folder so that the source name is
    the relative path."""
    out = os.path.join(where, "out.luac")
    subprocess.run([luac, *(["-s"] if strip else []), "-o", out, path], cwd=ARGS.source,
                   capture_output=True, check=True)
    return open(out, "rb").read()


def first_difference(a, b):
    return next((i for i, (x, y) in enumerate(zip(a, b)) if x != y), min(len(a), len(b)))


def build_luac32(where):
    """A 32-bit luac from the same sources; the case is skipped where this machine builds or runs
    none."""
    sources = sorted(path for path in glob.glob(os.path.join(ARGS.source, "third_party/lua/src/*.c"))
                     if os.path.basename(path) != "lua.c")
    assert sources, "no Lua sources in third_party/lua/src"
    luac = os.path.join(where, "luac32")
    try:
        built = subprocess.run(["gcc", "-m32", "-O2", "-DLUA_COMPAT_ALL", "-DLUA_USE_POSIX", "-o", luac,
                                *sources, "-lm"], capture_output=True, text=True)
        if built.returncode != 0:
            pytest.skip("this machine runs no 32-bit programs: gcc -m32 fails: " +
                        (built.stderr.strip().splitlines() or ["no message"])[-1])
        subprocess.run([luac, "-v"], capture_output=True, check=True)
    except OSError as e:  # no gcc, or "Exec format error" where the kernel runs no 32-bit code
        pytest.skip(f"this machine runs no 32-bit programs: {e}")
    return luac


# Hand-made chunks, for what no compiler writes. RETURN 0 1 is the only instruction.

def header(size_t=8):
    return b"\x1bLua\x52\x00\x01\x04" + bytes([size_t]) + b"\x04\x08\x00\x19\x93\r\n\x1a\n"


def dumped(text, size_t=8):
    return bytes(size_t) if text is None else (len(text) + 1).to_bytes(size_t, "little") + text + b"\0"


def function(constants=b"", count=0, nested=(), upvalues=0, source=None, lines=0, names=()):
    return (struct.pack("<iiBBBiIi", 0, 0, 0, 1, 2, 1, 0x0080001F, count) + constants +
            struct.pack("<i", len(nested)) + b"".join(nested) +
            struct.pack("<i", upvalues) + b"\x01\x00" * upvalues + dumped(source) +
            struct.pack("<i", lines) + bytes(4 * lines) + struct.pack("<ii", 0, len(names)) +
            b"".join(dumped(name) for name in names))


def refused(data, pattern, size_t=4):
    try:
        retarget(data, size_t)
    except ChunkError as e:
        assert re.search(pattern, str(e)), f"{pattern!r} not in {e}"
    else:
        raise AssertionError(f"accepted, expected {pattern!r}")


# ---- Cases ----

def test_corpus_matches_the_32_bit_compilers_bytes(where):
    for strip, golden in GOLDEN.items():
        converted = retarget(compile_lua(ARGS.luac, CORPUS, strip, where), 4)
        expected = open(os.path.join(ARGS.source, golden), "rb").read()
        assert converted == expected, f"{golden}: differs from offset {first_difference(converted, expected)}"


def test_every_script_matches_a_32_bit_compiler_here(where):
    luac32 = build_luac32(where)
    for path in scripts():
        for strip in (False, True):
            converted = retarget(compile_lua(ARGS.luac, path, strip, where), 4)
            expected = compile_lua(luac32, path, strip, where)
            assert converted == expected, f"{path} (strip {strip}): differs from offset " \
                                          f"{first_difference(converted, expected)}"


def test_rewriting_back_gives_the_original(where):
    for path in scripts():
        for strip in (False, True):
            original = compile_lua(ARGS.luac, path, strip, where)
            own = describe(original).size_t
            other = retarget(original, 12 - own)
            assert describe(other).size_t == 12 - own, path
            assert retarget(other, own) == original and retarget(original, own) == original, path


def test_damaged_chunks_are_refused(where):
    source = os.path.join(where, "small.lua")
    open(source, "w").write("local s = 'two' return function() return s, 1, nil end\n")
    small = compile_lua(ARGS.luac, source, False, where)
    for length in range(len(small)):
        refused(small[:length], "truncated")
    refused(small + b"\0", r"offset \d+: 1 bytes after the chunk's end")
    # Each header field but the size_t's other supported value, and one byte of the tail.
    for at, value in ((0, 0x1C), (4, 0x51), (5, 1), (6, 0), (7, 8), (8, 2), (9, 8), (10, 4), (11, 1),
                      (15, 0)):
        refused(small[:at] + bytes([value]) + small[at + 1:], f"offset {at}: ")
    # The first constant's type byte is at 18 + 11 + 4 + 4 + 4 = 41.
    refused(header() + function(b"\x05", 1), "offset 41: constant 0 has unknown type 5")
    refused(header() + function(b"\x04\x03" + bytes(7) + b"ab!", 1), "does not end in NUL")
    oversized = header() + function(b"\x04" + (1 << 32).to_bytes(8, "little"), 1)
    refused(oversized, "offset 42: string constant 0 of 4294967296 bytes does not fit in a 4-byte size_t")
    refused(oversized, "truncated", size_t=8)
    refused(header() + function(b"\x04" + dumped(None), 1), "offset 42: string constant 0 has no text")
    refused(header() + function(count=-1), "constant count is negative")
    refused(header() + function(names=[b"_ENV"]), "1 upvalue names for 0 upvalues")
    deep = function()
    for _ in range(200):
        deep = function(nested=[deep])
    refused(header() + deep, "nested more than 200 deep")
    accepted = header() + function(b"\x00\x01\x01\x03" + bytes(8) + b"\x04" + dumped(b"s"), 4, upvalues=1)
    assert retarget(retarget(accepted, 4), 8) == accepted


def test_describe_tells_stripped_chunks(where):
    for strip in (False, True):
        info = describe(compile_lua(ARGS.luac, CORPUS, strip, where))
        assert (info.size_t, info.stripped, info.functions) == (8, strip, 8), info
        info = describe(open(os.path.join(ARGS.source, GOLDEN[strip]), "rb").read())
        assert (info.size_t, info.int_size, info.instruction_size, info.number_size, info.integral,
                info.stripped) == (4, 4, 4, 8, False, strip), info
    # Debug information deep in the tree is enough to be unstripped.
    for inner in (function(lines=1), function(upvalues=1, names=[b"x"]), function(source=b"@x.lua")):
        assert not describe(header() + function(nested=[function(nested=[inner])])).stripped


def test_command_line(where):
    tool = [sys.executable, os.path.join(ARGS.source, "tools", "luachunk.py")]
    chunk, out = os.path.join(where, "in.luac"), os.path.join(where, "out.luac")
    open(chunk, "wb").write(compile_lua(ARGS.luac, CORPUS, True, where))
    subprocess.run([*tool, "--size-t", "4", chunk, out], check=True)
    assert open(out, "rb").read() == open(os.path.join(ARGS.source, GOLDEN[True]), "rb").read()
    result = subprocess.run([*tool, "--describe", out], capture_output=True, text=True, check=True)
    assert "size_t: 4\n" in result.stdout and "stripped: True\n" in result.stdout, result.stdout
    open(chunk, "wb").write(open(out, "rb").read()[:-1])
    for command in (["--size-t", "8", chunk, out], ["--describe", chunk]):
        result = subprocess.run([*tool, *command], capture_output=True, text=True)
        assert result.returncode == 1 and re.match(re.escape(chunk) + r": offset \d+: truncated",
                                                   result.stderr), result
