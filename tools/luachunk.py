#!/usr/bin/env python3
"""Reads and rewrites compiled Lua 5.2 chunks for the 32-bit engine.

A chunk records the compiler's sizeof(size_t), and the i686 engine refuses one written with
8-byte string sizes. The build compiles scripts with the 64-bit host luac only (some build
machines run no 32-bit code), so this rewrites the chunk with the target's size_t: the result is
byte for byte what a 32-bit luac writes for the same source. The binary check uses describe() to
make sure an installer's chunks are stripped and carry the target's size_t.

    luachunk.py --size-t 4 IN OUT    rewrite IN with 4-byte string sizes into OUT
    luachunk.py --describe FILE      print the header's sizes and whether FILE is stripped

Exits with 1 and a message naming the offset when a file is not a well-formed chunk.
"""
import argparse
import dataclasses
import struct
import sys

SIGNATURE = b"\x1bLua"
VERSION, FORMAT = 0x52, 0
TAIL = b"\x19\x93\r\n\x1a\n"
HEADER_SIZE = 18
SIZE_T_OFFSET = 8
# The only layout the engine loads besides size_t: little-endian, 4-byte int and Instruction,
# an 8-byte floating lua_Number.
FIXED_FIELDS = {"endianness": (6, 1), "sizeof(int)": (7, 4), "sizeof(Instruction)": (9, 4),
                "sizeof(lua_Number)": (10, 8), "integral flag": (11, 0)}
SIZE_TS = (4, 8)
NIL, BOOLEAN, NUMBER, STRING = 0, 1, 3, 4
# The compiler cannot nest functions this deep (its parser stops at 200 C levels), so a deeper
# chunk is damaged, and stopping here keeps the recursion bounded.
MAX_DEPTH = 200


class ChunkError(ValueError):
    """The bytes are not a complete, well-formed Lua 5.2 chunk of a layout the engine loads."""


@dataclasses.dataclass(frozen=True)
class ChunkInfo:
    size_t: int
    int_size: int
    instruction_size: int
    number_size: int
    integral: bool
    functions: int
    stripped: bool  # no source name, line info, locals or upvalue names in any function


def _first_difference(found, wanted):
    return next(i for i, (a, b) in enumerate(zip(found, wanted)) if a != b)


class _Copier:
    """Walks a chunk from its first byte, copying it to `out` with string sizes re-encoded in
    `size_t` bytes, and notes whether any debug information was met."""

    def __init__(self, data, size_t=None):
        self.data, self.at, self.out = bytes(data), 0, bytearray()
        self.size_t = size_t  # None: the chunk's own
        self.functions, self.debug = 0, False

    def fail(self, message, at=None):
        raise ChunkError(f"offset {self.at if at is None else at}: {message}")

    def take(self, count, what):
        if count > len(self.data) - self.at:
            self.fail(f"truncated: {what} needs {count} bytes, {len(self.data) - self.at} left")
        piece = self.data[self.at:self.at + count]
        self.at += count
        return piece

    def copy(self, count, what):
        piece = self.take(count, what)
        self.out += piece
        return piece

    def byte(self, what):
        return self.copy(1, what)[0]

    def int(self, what):
        """A non-negative int, as the loader requires of every int it reads one by one."""
        at = self.at
        value = struct.unpack("<i", self.copy(4, what))[0]
        if value < 0:
            self.fail(f"{what} is negative ({value})", at)
        return value

    def header(self):
        header = self.take(HEADER_SIZE, "the header")
        if header[:4] != SIGNATURE:
            self.fail("not a Lua chunk (no \\x1bLua signature)", _first_difference(header, SIGNATURE))
        if header[4] != VERSION:
            self.fail(f"version {header[4]:#x}, not Lua 5.2 (0x52)", 4)
        if header[5] != FORMAT:
            self.fail(f"format {header[5]}, not the official format 0", 5)
        for name, (at, wanted) in FIXED_FIELDS.items():
            if header[at] != wanted:
                self.fail(f"{name} is {header[at]}, the engine loads only {wanted}", at)
        self.source_size_t = header[SIZE_T_OFFSET]
        if self.source_size_t not in SIZE_TS:
            self.fail(f"sizeof(size_t) is {self.source_size_t}, not 4 or 8", SIZE_T_OFFSET)
        self.size_t = self.size_t or self.source_size_t
        if header[12:] != TAIL:
            self.fail("damaged header tail", 12 + _first_difference(header[12:], TAIL))
        self.out += header[:SIZE_T_OFFSET] + bytes([self.size_t]) + header[SIZE_T_OFFSET + 1:]
        return header

    def string(self, what, required=False):
        """Copies a string with its size re-encoded; returns whether it was present."""
        at = self.at
        size = int.from_bytes(self.take(self.source_size_t, f"the size of {what}"), "little")
        if size >= 1 << (8 * self.size_t):
            self.fail(f"{what} of {size} bytes does not fit in a {self.size_t}-byte size_t", at)
        if required and size == 0:
            self.fail(f"{what} has no text (size 0)", at)
        self.out += size.to_bytes(self.size_t, "little")
        if size and self.copy(size, what)[-1] != 0:
            self.fail(f"{what} does not end in NUL", self.at - 1)
        return size != 0

    def constants(self):
        for i in range(self.int("constant count")):
            at, kind = self.at, self.byte(f"the type of constant {i}")
            if kind == BOOLEAN:
                self.byte(f"boolean constant {i}")
            elif kind == NUMBER:
                self.copy(8, f"number constant {i}")
            elif kind == STRING:
                self.string(f"string constant {i}", required=True)  # NULL would crash the loader
            elif kind != NIL:
                self.fail(f"constant {i} has unknown type {kind}", at)

    def debug_info(self, upvalues):
        found = self.string("the source name")
        lines = self.int("line info count")
        self.copy(4 * lines, "the line info")
        locals_ = self.int("local count")
        for i in range(locals_):
            found |= self.string(f"the name of local {i}")
            self.int(f"the start of local {i}")
            self.int(f"the end of local {i}")
        at, names = self.at, self.int("upvalue name count")
        if names > upvalues:  # the loader would write past the function's upvalues
            self.fail(f"{names} upvalue names for {upvalues} upvalues", at)
        for i in range(names):
            found |= self.string(f"the name of upvalue {i}")
        self.debug |= found or lines > 0 or locals_ > 0 or names > 0

    def function(self, depth=1):
        if depth > MAX_DEPTH:
            self.fail(f"functions nested more than {MAX_DEPTH} deep")
        self.functions += 1
        self.int("the first line")
        self.int("the last line")
        self.copy(3, "the parameter count, vararg flag and stack size")
        self.copy(4 * self.int("instruction count"), "the code")
        self.constants()
        for _ in range(self.int("function count")):
            self.function(depth + 1)
        upvalues = self.int("upvalue count")
        self.copy(2 * upvalues, "the upvalues")
        self.debug_info(upvalues)

    def chunk(self):
        """Walks the whole chunk; returns its header."""
        header = self.header()
        self.function()
        if self.at != len(self.data):
            self.fail(f"{len(self.data) - self.at} bytes after the chunk's end")
        return header


def retarget(data: bytes, size_t_bytes: int) -> bytes:
    """The chunk written again with `size_t_bytes`-byte string sizes, all else unchanged."""
    if size_t_bytes not in SIZE_TS:
        raise ValueError(f"size_t must be 4 or 8, not {size_t_bytes}")
    copier = _Copier(data, size_t_bytes)
    copier.chunk()
    return bytes(copier.out)


def describe(data: bytes) -> ChunkInfo:
    """The header's sizes and whether the chunk carries any debug information, after checking
    the whole chunk."""
    copier = _Copier(data)
    header = copier.chunk()
    return ChunkInfo(size_t=header[SIZE_T_OFFSET], int_size=header[7], instruction_size=header[9],
                     number_size=header[10], integral=bool(header[11]),
                     functions=copier.functions, stripped=not copier.debug)


def main(argv=None):
    ap = argparse.ArgumentParser(description="Rewrite or describe a compiled Lua 5.2 chunk.")
    action = ap.add_mutually_exclusive_group(required=True)
    action.add_argument("--size-t", type=int, choices=SIZE_TS, help="rewrite IN into OUT")
    action.add_argument("--describe", metavar="FILE")
    ap.add_argument("files", nargs="*", metavar="FILE", help="IN and OUT of --size-t")
    args = ap.parse_args(argv)
    if args.size_t and len(args.files) != 2:
        ap.error("--size-t takes IN and OUT")
    if args.describe and args.files:
        ap.error("--describe takes one FILE")
    path = args.describe or args.files[0]
    try:
        with open(path, "rb") as f:
            data = f.read()
        if args.describe:
            for field, value in dataclasses.asdict(describe(data)).items():
                print(f"{field}: {value}")
        else:
            converted = retarget(data, args.size_t)
            with open(args.files[1], "wb") as f:
                f.write(converted)
    except ChunkError as e:
        print(f"{path}: {e}", file=sys.stderr)
        return 1
    except OSError as e:
        print(e, file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
