#!/usr/bin/env python3
"""Deterministic hostile archives: small 7z archives of every method the extractor decodes,
packed by the real 7-Zip, then mutated (bit flips, truncations, overwritten runs and changed
sizes, counts and CRCs, in headers and in packed streams, and damage where a packed stream
ends). For each mutant, what 7-Zip makes
of it: REFUSED when its test refuses the mutant (the extractor must refuse it too), else the
files its extraction writes; the files before the mutation when it cannot tell in time, cannot
write what its test accepted, or refuses a mutant for its file properties alone (see
PROPERTIES_ONLY). Writes <out>/mutants/<n>.7z, <out>/trees/<name>.tree and
<out>/manifest.txt (one line per mutant: file, tree or REFUSED, what was done).
    mutate_archives.py <out> <count> [seed]"""
import os
import random
import shutil
import subprocess
import sys
import tempfile
import zlib

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "natives"))
from sevenzheader import (K_END, K_FILES_INFO, K_HEADER, fix_crcs, fix_start_crc,  # noqa: E402
                          header_span, pack_streams, read_number, stream_ends, write_number)

SEVENZ = "7zz"
# 7-Zip takes well under a second for any of these; a mutant that holds it longer is one it
# cannot tell about in time.
SEVENZ_TIMEOUT = 20
# The manifest's tree for a mutant 7-Zip's test refuses.
REFUSED = "REFUSED"
# A mutant changed only in the file properties of a plain header (names, times, attributes,
# padding) that 7-Zip refuses with a header error may be accepted with the files as they were
# before the mutation. 7-Zip refuses properties that are not framed as it writes them: padding
# that is not zero, a size unlike what the values take, an empty property of an id that holds
# values. The LZMA SDK's reader, which the extractor uses, reads the values and skips the rest,
# and the properties describe no stream: the files come out as the archive holds them, each
# checked against its CRC.
HEADER_ERROR = "Headers Error"
# Words the manifest adds to what was done: a mutant refused for its file properties alone, and
# one 7-Zip could not tell about in time.
PROPERTIES_ONLY, UNDECIDED = "properties", "undecided"

SEEDS = {
    "copy": ["-m0=Copy"],
    "lzma": ["-m0=LZMA:d=64k", "-ms=on"],
    "lzma_plainhdr": ["-m0=LZMA:d=64k", "-mhc=off"],
    "lzma_mark": ["-m0=LZMA:d=64k:eos", "-ms=on"],
    "lzma2": ["-m0=LZMA2:d=64k", "-ms=off"],
    "lzma2_plainhdr": ["-m0=LZMA2:d=64k", "-mhc=off", "-ms=on"],
    "bcj_lzma2": ["-m0=BCJ", "-m1=LZMA2:d=64k", "-ms=on"],
    "arm_lzma": ["-m0=ARM", "-m1=LZMA:d=64k", "-ms=on", "-mhc=off"],
    "bcj2": ["-mf=BCJ2", "-m0=LZMA2:d=64k", "-ms=on"],
}


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def make_tree(src):
    """A few small files: text, repeats, machine code for the branch filters, nesting."""
    write(f"{src}/a.txt", "".join(f"line {i}: the quick brown fox\n" for i in range(300)).encode())
    write(f"{src}/empty.bin", b"")
    write(f"{src}/dir/rep.bin", bytes(range(256)) * 40)
    write(f"{src}/dir/sub/名字.txt", "安装\n".encode() * 50)
    with open(shutil.which(SEVENZ), "rb") as f:
        f.seek(4096)
        write(f"{src}/code.exe", f.read(48 << 10))
    os.makedirs(f"{src}/emptydir")


def windows_name(path):
    """The name Windows gives a path: components lose trailing dots and blanks, case is not
    told apart."""
    parts = [p.rstrip(". ") for p in path.split("/")]
    return "/".join(p for p in parts if p).lower()


def tree_of(folder):
    """Every file below `folder`: its Windows name, size and CRC-32, sorted."""
    lines = []
    for top, _, files in os.walk(folder):
        for name in files:
            path = os.path.join(top, name)
            if os.path.islink(path):
                continue
            with open(path, "rb") as f:
                data = f.read()
            relative = os.path.relpath(path, folder).replace(os.sep, "/")
            lines.append(f"{windows_name(relative)}\t{len(data)}\t{zlib.crc32(data):08x}")
    return sorted(lines)


def sevenzip_tests(archive):
    """Whether 7-Zip's test of `archive` passes (None when it takes too long to tell), and
    what it printed."""
    try:
        done = subprocess.run([SEVENZ, "t", "-bd", archive], stdin=subprocess.DEVNULL,
                              capture_output=True, text=True, errors="replace",
                              timeout=SEVENZ_TIMEOUT)
    except subprocess.TimeoutExpired:
        return None, ""
    return done.returncode == 0, done.stdout + done.stderr


def sevenzip_tree(archive, scratch):
    """The files 7-Zip extracts from `archive`, or None when it refuses it."""
    shutil.rmtree(scratch, ignore_errors=True)
    os.makedirs(scratch)
    try:
        done = subprocess.run([SEVENZ, "x", "-y", "-bd", "-o" + scratch, archive],
                              stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL, timeout=SEVENZ_TIMEOUT)
    except subprocess.TimeoutExpired:
        return None
    return tree_of(scratch) if done.returncode == 0 else None


def properties_end(header, at):
    """Where the file properties that start at `at` (the file count, then id, size and value of
    each) end with their kEnd; None when they do not parse."""
    try:
        _, at = read_number(header, at)
        while True:
            prop, at = read_number(header, at)
            if prop == K_END:
                return at
            size, at = read_number(header, at)
            at += size
    except IndexError:
        return None


def file_properties(data):
    """The byte range of a plain header's file properties, or None (an encoded header): the
    kFilesInfo whose properties run to the header's own kEnd."""
    offset, size = header_span(data)
    header = data[offset:offset + size]
    if not header or header[0] != K_HEADER or header[-1] != K_END:
        return None
    for start, byte in enumerate(header):
        if byte == K_FILES_INFO and properties_end(header, start + 1) == len(header) - 1:
            return offset + start + 1, offset + size - 1
    return None


def in_properties_only(seed, mutant):
    """Whether every byte the mutation changed (beside the CRCs it made right again) lies in
    the seed's file properties."""
    span = file_properties(seed)
    if span is None or len(seed) != len(mutant):
        return False
    crcs = set(range(8, 12)) | set(range(28, 32))
    changed = [i for i in range(len(seed)) if seed[i] != mutant[i] and i not in crcs]
    return bool(changed) and all(span[0] <= i < span[1] for i in changed)


def region(data, rng):
    """A byte range to mutate: the start header, the next header or the packed streams."""
    offset, size = header_span(data)
    choice = rng.random()
    if choice < 0.15:
        return 0, 32
    if choice < 0.65 and size > 0:
        return offset, offset + size
    return 32, max(33, offset)


def cut_stream_end(data, rng):
    """Damage where a packed stream ends, in what only the coder's end tells: a bit of its last
    bytes (LZMA2's end byte, LZMA's end mark or last range-coder bytes, any of BCJ2's four), or
    for a plain header a size that leaves its last byte out. An encoded header names its own
    stream, which begins where the files' end."""
    start, sizes, encoded = pack_streams(data)
    ends = stream_ends(start, sizes) + ([start] if encoded else [])
    index = rng.randrange(len(sizes))
    if not encoded and sizes[index][2] > 0 and rng.random() < 0.5:
        at, end, size = sizes[index]
        write_number(data, at, end, size - 1)
        fix_crcs(data)
        return
    at = rng.choice(ends) - rng.randint(1, 3)
    data[at] ^= 1 << rng.randrange(8)


def mutate(original, rng):
    """One mutation of `original`; its bytes and a word for what was done."""
    data = bytearray(original)
    kind = rng.choice(["flip", "flip", "truncate", "run", "number", "number", "crcfix", "size",
                       "end"])
    start, end = region(data, rng)
    end = min(end, len(data))
    if end <= start:
        start, end = 32, len(data)
    if kind == "flip":
        for _ in range(rng.randint(1, 6)):
            at = rng.randrange(start, end)
            data[at] ^= 1 << rng.randrange(8)
    elif kind == "truncate":
        del data[rng.randrange(0, len(data)):]
    elif kind == "run":
        at = rng.randrange(start, end)
        length = rng.randint(1, 48)
        fill = rng.choice([b"\x00", b"\xff", None])
        run = bytes(fill * length) if fill else bytes(rng.randrange(256) for _ in range(length))
        data[at:at + length] = run[:len(data) - at]
    elif kind in ("number", "crcfix"):
        # A size, count, property or CRC byte changed where the parser reads it: the header
        # CRCs are made right again, so the change reaches the parser.
        at = rng.randrange(start, end)
        data[at] = rng.choice([0, 1, 0x7F, 0x80, 0xFF, (data[at] + 1) & 0xFF, (data[at] - 1) & 0xFF,
                               rng.randrange(256)])
        fix_crcs(data)
    elif kind == "end":
        cut_stream_end(data, rng)
    else:  # the start header's next-header offset or size
        field = rng.choice([12, 20])
        value = int.from_bytes(data[field:field + 8], "little")
        value = rng.choice([0, value + 1, max(0, value - 1), value * 2, 2 ** 63 - 1, 2 ** 64 - 1,
                            len(data)])
        data[field:field + 8] = value.to_bytes(8, "little")
        if rng.random() < 0.7:
            fix_start_crc(data)
    return bytes(data), kind


def main():
    out, count = os.path.abspath(sys.argv[1]), int(sys.argv[2])
    seed = int(sys.argv[3]) if len(sys.argv) > 3 else 15
    os.environ["TZ"] = "UTC"
    shutil.rmtree(out, ignore_errors=True)
    os.makedirs(os.path.join(out, "mutants"))
    os.makedirs(os.path.join(out, "trees"))
    work = tempfile.mkdtemp(prefix="qpx-fuzz-")
    try:
        src = os.path.join(work, "src")
        make_tree(src)
        seeds, seed_trees = {}, {}
        for name, switches in SEEDS.items():
            archive = os.path.join(out, name + ".7z")
            subprocess.run([SEVENZ, "a", "-t7z", "-bd", "-bso0", "-bsp0", "-mtm=off", *switches,
                            archive, "."], cwd=src, check=True)
            tree = sevenzip_tree(archive, os.path.join(work, "x"))
            assert tree, f"7-Zip refuses its own {name}"
            with open(os.path.join(out, "trees", name + ".tree"), "w", encoding="utf-8") as f:
                f.write("".join(line + "\n" for line in tree))
            seeds[name] = open(archive, "rb").read()
            seed_trees[name] = tree
        rng = random.Random(seed)
        names = sorted(seeds)
        with open(os.path.join(out, "manifest.txt"), "w", encoding="utf-8") as manifest:
            for n in range(count):
                name = names[n % len(names)]
                mutant, kind = mutate(seeds[name], rng)
                file = f"{n:05}.7z"
                path = os.path.join(out, "mutants", file)
                write(path, mutant)
                tested, said = sevenzip_tests(path)
                tree = sevenzip_tree(path, os.path.join(work, "x")) if tested else None
                tree_name = name
                if tested is None:
                    kind += " " + UNDECIDED
                elif not tested:
                    if HEADER_ERROR in said and in_properties_only(seeds[name], mutant):
                        kind += " " + PROPERTIES_ONLY
                    else:
                        tree_name = REFUSED
                if tree is not None and tree != seed_trees[name]:
                    tree_name = f"{n:05}"
                    with open(os.path.join(out, "trees", tree_name + ".tree"), "w", encoding="utf-8") as f:
                        f.write("".join(line + "\n" for line in tree))
                manifest.write(f"{file}\t{tree_name}\t{name} {kind}\n")
    finally:
        shutil.rmtree(work, ignore_errors=True)


main()
