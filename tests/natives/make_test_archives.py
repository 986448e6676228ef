#!/usr/bin/env python3
"""Builds the archive test data with the real 7-Zip: a source tree, archives in every
method the extractor handles, damaged archives, 7-Zip's own extraction of each archive and
a listing of what each archive stores (name, kind, last-write time, attributes)."""
import datetime
import os
import shutil
import stat
import subprocess
import sys

from sevenzheader import fix_crcs, fix_start_crc, header_span, pack_streams, stream_ends, write_number

out = os.path.abspath(sys.argv[1])
windres = sys.argv[2] if len(sys.argv) > 2 else None
SEVENZ = "7zz"

def run(*args, cwd=None):
    subprocess.run([SEVENZ, *args, "-bd", "-bso0", "-bsp0"], cwd=cwd, check=True)

def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)

def text_lines(seed, count):
    return "".join(f"line {seed}-{i}: the quick brown fox {i * seed % 977}\n"
                   for i in range(count)).encode()

def make_tree(src):
    shutil.rmtree(src, ignore_errors=True)
    write(f"{src}/top.txt", text_lines(1, 200))
    write(f"{src}/empty.bin", b"")
    os.makedirs(f"{src}/emptydir/inner_empty")
    write(f"{src}/a/b/c/deep.txt", text_lines(2, 50))
    write(f"{src}/中文目录/文件名.txt", "安装程序测试\n".encode() * 30)
    write(f"{src}/readonly.txt", b"read only\n" * 10)
    write(f"{src}/hidden.txt", b"hidden\n" * 10)
    # Over 4 MiB, so writes and decoding both take several chunks.
    big = bytearray()
    for i in range(5 * 1024 + 7):
        big += (text_lines(i, 3) + bytes(range(256)) * 2)[:1024]
    write(f"{src}/big.bin", bytes(big))
    # Real machine code, so the branch filters have calls and jumps to convert.
    with open(shutil.which("7zz"), "rb") as f:
        write(f"{src}/code/tool.exe", f.read(3 << 20))
    for i in range(300):
        write(f"{src}/many/{i // 50}/f{i:03}.txt", text_lines(i, i % 7))
    base = datetime.datetime(2021, 3, 4, 5, 6, 7).timestamp()
    paths = sorted(os.path.join(d, n) for d, _, files in os.walk(src) for n in files)
    for i, path in enumerate(paths):
        t = int((base + i * 3601) * 1e9) + i * 1234500
        os.utime(path, ns=(t, t))
    os.chmod(f"{src}/readonly.txt", stat.S_IRUSR | stat.S_IRGRP)

ARCHIVES = {
    "copy": ["-m0=Copy"],
    "lzma_solid": ["-m0=LZMA", "-ms=on"],
    "lzma2_nonsolid": ["-m0=LZMA2", "-ms=off"],
    "lzma2_blocks": ["-m0=LZMA2", "-ms=40f1m"],
    "bcj_lzma2": ["-m0=BCJ", "-m1=LZMA2", "-ms=on"],
    "arm_lzma": ["-m0=ARM", "-m1=LZMA", "-ms=on"],
    "bcj2": ["-mf=BCJ2", "-m0=LZMA2", "-ms=on"],
    "attrs": ["-m0=LZMA2", "-mhc=off"],
}
# The attributes archive holds a few entries, so its header is small and plain.
ATTRS_ENTRIES = ["top.txt", "readonly.txt", "hidden.txt", "empty.bin", "emptydir"]

def set_hidden(archive, name):
    """7-Zip on Linux never stores the hidden attribute: set it in the uncompressed header
    and fix the header's CRCs, as an archive made on Windows would hold it."""
    data = bytearray(open(archive, "rb").read())
    listing = subprocess.run([SEVENZ, "l", "-slt", archive], capture_output=True, text=True).stdout
    next_offset, next_size = header_span(data)
    header = data[next_offset:next_offset + next_size]
    # The attribute of `name`: files are stored in the listing's order, each value 32 bits.
    names = [l[7:] for l in listing.splitlines() if l.startswith("Path = ")][1:]
    index = names.index(name)
    marker = header.find(b"\x15")  # kAttributes
    while marker >= 0:
        # property id, size (one byte here), allDefined=1, external=0, then the values
        size = header[marker + 1]
        if size == 2 + 4 * len(names) and header[marker + 2] == 1 and header[marker + 3] == 0:
            break
        marker = header.find(b"\x15", marker + 1)
    assert marker >= 0, "attributes property not found"
    at = next_offset + marker + 4 + 4 * index
    value = int.from_bytes(data[at:at + 4], "little") | 0x2
    data[at:at + 4] = value.to_bytes(4, "little")
    fix_crcs(data)
    open(archive, "wb").write(data)

def files_streams(data):
    """Where a plain header's packed streams start and their sizes (see pack_streams)."""
    streams = pack_streams(data)
    assert streams and not streams[2], "no plain header with pack information first"
    return streams[:2]

def stream_end(data, index):
    return stream_ends(*files_streams(data))[index]

def resize_stream(data, index, change):
    _, sizes = files_streams(data)
    at, end, size = sizes[index]
    write_number(data, at, end, size + change)
    fix_crcs(data)

def flip_last_byte(data, index):
    data[stream_end(data, index) - 1] ^= 0x01

def cut_last_byte(data, index):
    """The stream's last byte falls outside it: the stream is one byte short."""
    resize_stream(data, index, -1)

def add_byte(data, index):
    """One more byte at the end of the stream, inside it; the header moves on by one."""
    end = stream_end(data, index)
    data[end:end] = b"\x00"
    data[12:20] = (int.from_bytes(data[12:20], "little") + 1).to_bytes(8, "little")
    resize_stream(data, index, 1)

# Archives whose streams must end where the header says, each with a plain header so the test
# data can change its packed streams; LZMA once with an end mark.
ENDS = {
    "lzma2": ["-m0=LZMA2"],
    "lzma": ["-m0=LZMA"],
    "lzma_mark": ["-m0=LZMA:eos"],
    "bcj_lzma2": ["-m0=BCJ", "-m1=LZMA2"],
    "arm_lzma": ["-m0=ARM", "-m1=LZMA"],
    "bcj2": ["-mf=BCJ2", "-m0=LZMA2"],
}
# What is done to which packed stream; BCJ2's are its main, range coder, call and jump streams.
ENDS_DAMAGE = [("lzma2", 0, flip_last_byte), ("lzma2", 0, cut_last_byte),
               ("lzma2", 0, add_byte), ("lzma", 0, flip_last_byte), ("lzma", 0, add_byte),
               ("lzma_mark", 0, flip_last_byte), ("lzma_mark", 0, cut_last_byte),
               ("bcj_lzma2", 0, flip_last_byte), ("arm_lzma", 0, add_byte)]
ENDS_DAMAGE += [("bcj2", i, damage) for i in range(4) for damage in (flip_last_byte, add_byte)]

def make_ends(out):
    """Each archive of ENDS as 7-Zip makes it (ends_<name>.7z), its damaged copies
    (bad/ends/<name>_<what>_<stream>.7z) and their list, ends.txt: one line per damaged copy,
    the archive it was made from and its file."""
    src = os.path.join(out, "ends_src")
    write(f"{src}/notes.txt", text_lines(3, 400))
    with open(shutil.which(SEVENZ), "rb") as f:
        f.seek(4096)
        write(f"{src}/code.bin", f.read(96 << 10))
    for name, switches in ENDS.items():
        archive = os.path.join(out, f"ends_{name}.7z")
        run("a", "-t7z", "-mhc=off", "-ms=on", *switches, archive, ".", cwd=src)
        run("x", archive, "-o" + os.path.join(out, "expected", f"ends_{name}"))
        listing(archive, os.path.join(out, f"ends_{name}.list"))
    lines = []
    for name, index, damage in ENDS_DAMAGE:
        data = bytearray(open(os.path.join(out, f"ends_{name}.7z"), "rb").read())
        damage(data, index)
        damaged = f"bad/ends/{name}_{damage.__name__}_{index}.7z"
        write(f"{out}/{damaged}", bytes(data))
        lines.append(f"ends_{name}\t{damaged.replace('/', chr(92))}\n")
    with open(os.path.join(out, "ends.txt"), "w", encoding="utf-8") as f:
        f.writelines(lines)

def make_small_dictionary(out):
    """LZMA with a 4 KiB dictionary whose property then says 256 bytes: the decoder raises
    any dictionary below 4 KiB to 4 KiB and takes match distances up to that. 7-Zip extracts
    it byte for byte."""
    src = os.path.join(out, "smalldict_src")
    unit = bytes((i * 7 + i // 13) % 251 for i in range(3000))
    write(f"{src}/repeats.bin", unit * 41)
    archive = os.path.join(out, "smalldict.7z")
    run("a", "-t7z", "-m0=LZMA:d=4k", "-mhc=off", archive, "repeats.bin", cwd=src)
    data = bytearray(open(archive, "rb").read())
    coder = b"\x23\x03\x01\x01\x05\x5d\x00\x10\x00\x00"  # LZMA, 5 props, 4096
    at = data.find(coder)
    assert at >= 0 and data.find(coder, at + 1) < 0, "LZMA coder properties not found"
    data[at + 6:at + 10] = (256).to_bytes(4, "little")
    fix_crcs(data)
    open(archive, "wb").write(data)
    run("x", archive, "-o" + os.path.join(out, "expected", "smalldict"))
    listing(archive, os.path.join(out, "smalldict.list"))

def filetime(text):
    # "2021-03-04 05:06:07.1234567" in local time (7-Zip prints it so); TZ is UTC here.
    date, _, fraction = text.partition(".")
    dt = datetime.datetime.strptime(date, "%Y-%m-%d %H:%M:%S").replace(
        tzinfo=datetime.timezone.utc)
    ticks = (int(dt.timestamp()) + 11644473600) * 10_000_000
    return ticks + int((fraction + "0000000")[:7])

def listing(archive, target):
    text = subprocess.run([SEVENZ, "l", "-slt", archive], capture_output=True, text=True,
                          check=True, env={**os.environ, "TZ": "UTC"}).stdout
    entries, entry = [], {}
    for line in text.split("----------", 1)[1].splitlines() + [""]:
        if not line.strip():
            if "Path" in entry:
                entries.append(entry)
            entry = {}
            continue
        key, _, value = line.partition(" = ")
        entry[key] = value
    with open(target, "w", encoding="utf-8") as f:
        for e in entries:
            raw = e.get("Attributes", "")
            kind = "D" if raw.startswith("D") else "F"
            letters = raw.split(" ")[0]
            attributes = 0
            for letter, bit in (("R", 1), ("H", 2), ("S", 4), ("D", 16), ("A", 32)):
                if letter in letters:
                    attributes |= bit
            f.write(f"{kind}\t{e['Path'].replace('/', chr(92))}\t"
                    f"{filetime(e['Modified']) if e.get('Modified') else 0}\t{attributes}\n")

def main():
    os.environ["TZ"] = "UTC"
    shutil.rmtree(out, ignore_errors=True)
    os.makedirs(out)
    src = os.path.join(out, "src")
    make_tree(src)
    for name, switches in ARCHIVES.items():
        archive = os.path.join(out, name + ".7z")
        entries = ATTRS_ENTRIES if name == "attrs" else ["."]
        run("a", "-t7z", "-mtm=on", *switches, archive, *entries, cwd=src)
        if name == "attrs":
            set_hidden(archive, "hidden.txt")
        expected = os.path.join(out, "expected", name)
        run("x", archive, "-o" + expected)
        listing(archive, os.path.join(out, name + ".list"))
    make_small_dictionary(out)
    make_ends(out)
    # Damaged and hostile archives.
    good = open(os.path.join(out, "lzma_solid.7z"), "rb").read()
    write(f"{out}/bad/truncated.7z", good[:len(good) // 2])
    flipped = bytearray(good)
    flipped[32 + len(good) // 3] ^= 0x40
    write(f"{out}/bad/flipped.7z", bytes(flipped))
    copied = bytearray(open(os.path.join(out, "copy.7z"), "rb").read())
    copied[32 + 100] ^= 0x01  # inside top.txt's stored bytes: only its CRC can tell
    write(f"{out}/bad/badcrc.7z", bytes(copied))
    write(f"{out}/bad/notarchive.7z", b"This is not an archive.\r\n" * 40)
    write(f"{out}/bad/zero.7z", b"")
    # The start header names no next header but says where it lies: the header was lost.
    lost = bytearray(good)
    lost[20:28] = bytes(8)
    fix_start_crc(lost)
    write(f"{out}/bad/lostheader.7z", bytes(lost))
    write(f"{out}/hostile/keep.txt", b"inside\n")
    write(f"{out}/hostile/evil.txt", b"outside\n")
    for name, target in (("dotdot", "../escape.txt"), ("absolute", "/abs/escape.txt"),
                         ("drive", "C:/escape.txt"), ("inner", "sub/../../escape.txt"),
                         ("device", "con.txt"), ("device_folder", "sub/Lpt3/x.txt"),
                         ("device_console", "CONOUT$"), ("device_blank", "aux .log"),
                         ("through_link", "linked/escape.txt")):
        archive = f"{out}/bad/{name}.7z"
        run("a", "-t7z", archive, "keep.txt", "evil.txt", cwd=f"{out}/hostile")
        run("rn", archive, "evil.txt", target)
    # A destination holding a link to a folder outside it, as a junction or symbolic link
    # would: Wine shows a host link to a folder as a reparse point.
    os.makedirs(f"{out}/links/outside")
    os.makedirs(f"{out}/links/dest")
    os.symlink("../outside", f"{out}/links/dest/linked")
    # For a link in the very place of an entry's file (the test makes the link itself).
    write(f"{out}/hostile/filelink", b"inside\n")
    run("a", "-t7z", f"{out}/bad/filelink.7z", "filelink", cwd=f"{out}/hostile")
    # The test program's own archive resource: stored with its first two bytes exchanged.
    resource = bytearray(good)
    resource[0], resource[1] = resource[1], resource[0]
    write(f"{out}/app7z.bin", bytes(resource))
    write(f"{out}/plain.bin", b"\x37\x7a plain resource bytes\x00\x01\x02")
    with open(f"{out}/test_archive.rc", "w", encoding="utf-8") as f:
        f.write(f'APP.7Z _7Z "{out}/app7z.bin"\nNOTE.BIN TXT "{out}/plain.bin"\n'
                f'7 TXT "{out}/plain.bin"\n')
    if windres:
        subprocess.run([windres, "-c", "65001", "-O", "coff", "-i", f"{out}/test_archive.rc",
                        "-o", f"{out}/test_archive_res.o"], check=True)

main()
