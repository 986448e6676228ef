#!/usr/bin/env python3
"""Writes the UI tests' skin: strips of solid frames whose colours tell the frames apart,
as PNG resources in one resource object, with one strip at 150 % and 200 % too, and the
wizard's dialog template (python3 make-test-skin.py <work> <windres>)."""
import os
import struct
import subprocess
import sys
import zlib

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools"))
import qpxcheck  # noqa: E402
import qpxres  # noqa: E402

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


def checkers(colours, width, height):
    """A strip whose frames are checkerboards of their colour and white: detail no image of
    half the size can show."""
    return png(width * len(colours), height, lambda x, y: (colours[x // width] if (x + y) % 2 == 0
                                                          else (255, 255, 255)) + (255,))


# Button strip 410 at 100 % (four 10 x 10 frames), at 200 % (checkerboards of the same colours)
# and at 150 % (each frame in the next frame's colour): a test tells which of them was drawn.
SCALED = {
    qpxcheck.SKIN_SCALES[""].type: strip(FRAMES[:4], 10, 10),
    qpxcheck.SKIN_SCALES["@2x"].type: checkers(FRAMES[:4], 20, 20),
    qpxcheck.SKIN_SCALES["@1.5x"].type: strip(FRAMES[1:5], 15, 15),
}

def dialog():
    """The wizard windows' template, from the packer's own figures, in the compiler's words."""
    points, face = qpxres.DIALOG_FONT
    return "\n".join([
        "%d DIALOGEX 0, 0, %d, %d" % ((qpxres.DIALOG_ID,) + qpxres.DIALOG_SIZE),
        "STYLE 0x%08X" % qpxres.DIALOG_STYLE,
        "EXSTYLE 0x%08X" % qpxres.DIALOG_EX_STYLE,
        'CLASS "%s"' % qpxres.DIALOG_CLASS,
        'CAPTION "%s"' % qpxres.DIALOG_CAPTION,
        'FONT %d, "%s", 0, 0, 0x1' % (points, face),
        "BEGIN", "END"])


def main():
    work, windres = sys.argv[1], sys.argv[2]
    os.makedirs(work, exist_ok=True)
    lines = ["#include <windows.h>", dialog()]  # the wizard's window, as installers carry it
    for number, data in IMAGES.items():
        path = os.path.join(work, "%d.png" % number)
        with open(path, "wb") as f:
            f.write(data)
        lines.append('%d PNG "%s"' % (number, path))
    for kind, data in SCALED.items():
        path = os.path.join(work, "410-%s.png" % kind)
        with open(path, "wb") as f:
            f.write(data)
        lines.append('410 %s "%s"' % (kind, path))
    broken = os.path.join(work, "broken.bin")
    with open(broken, "wb") as f:
        f.write(b"not an image")
    lines.append('409 PNG "%s"' % broken)
    rc = os.path.join(work, "skin.rc")
    with open(rc, "w") as f:
        f.write("\n".join(lines) + "\n")
    subprocess.run([windres, rc, "-O", "coff", "-o", os.path.join(work, "skin.o")], check=True)


main()
