#!/usr/bin/env python3
"""Writes the UI tests' skin: strips of solid frames whose colours tell the frames apart,
as PNG resources in one resource object (python3 make-test-skin.py <work> <windres>)."""
import os
import struct
import subprocess
import sys
import zlib

# Frame colours, one per frame index, all opaque and far apart.
FRAMES = [(255, 0, 0), (0, 255, 0), (0, 0, 255), (255, 255, 0), (255, 0, 255), (0, 255, 255)]
LIGHT = [(240, 240, 240), (200, 255, 200), (255, 200, 200)]


def png(width, height, pixel):
    """A 32-bit RGBA PNG whose pixel (x, y) is pixel(x, y) = (r, g, b, a)."""
    rows = b"".join(b"\0" + b"".join(bytes(pixel(x, y)) for x in range(width))
                    for y in range(height))
    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data +
                struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))
    header = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
            chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b""))


def strip(colours, width, height):
    return png(width * len(colours), height, lambda x, y: colours[x // width] + (255,))


def slices(x):
    """Progress fill: 5 red columns, 20 green, 5 blue."""
    return (255, 0, 0, 255) if x < 5 else (0, 255, 0, 255) if x < 25 else (0, 0, 255, 255)


IMAGES = {
    301: png(4, 4, lambda x, y: (10, 20, 30, 255)),
    401: strip(FRAMES[:4], 20, 20),                    # button
    402: strip(FRAMES, 16, 16),                        # check box
    403: strip(LIGHT, 120, 30),                        # text box
    404: png(200, 200, lambda x, y: (40, 40, 40, 255)),  # container background
    405: strip([(255, 0, 0), (0, 0, 255)], 100, 50),   # carousel
    406: png(600, 20, lambda x, y: (128, 128, 128, 255)),  # progress background
    407: png(30, 10, lambda x, y: slices(x)),          # progress fill
    408: strip(FRAMES[:4], 60, 20),                    # wide button
}


def main():
    work, windres = sys.argv[1], sys.argv[2]
    os.makedirs(work, exist_ok=True)
    lines = []
    for number, data in IMAGES.items():
        path = os.path.join(work, "%d.png" % number)
        with open(path, "wb") as f:
            f.write(data)
        lines.append('%d PNG "%s"' % (number, path))
    broken = os.path.join(work, "broken.bin")
    with open(broken, "wb") as f:
        f.write(b"not an image")
    lines.append('409 PNG "%s"' % broken)
    rc = os.path.join(work, "skin.rc")
    with open(rc, "w") as f:
        f.write("\n".join(lines) + "\n")
    subprocess.run([windres, rc, "-O", "coff", "-o", os.path.join(work, "skin.o")], check=True)


main()
