"""Reads what the build's checks, tests and benchmarks look at in a PE image: the header's
machine, kind and subsystem, the imported DLLs and the resources; moves the resource section
to a page boundary of the file:
    qpxpe.py <program.exe>...   (each one in place)"""
import struct

PE32, PE32_PLUS = 0x10B, 0x20B
I386, AMD64 = 0x14C, 0x8664
DIRECTORY_IMPORT, DIRECTORY_RESOURCE, DIRECTORY_SECURITY, DIRECTORY_DEBUG = 1, 2, 4, 6
PAGE = 0x1000


class PeImage:
    def __init__(self, data):
        self.data = data
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        self.machine, count = struct.unpack_from("<HH", data, pe + 4)
        optional_size = struct.unpack_from("<H", data, pe + 20)[0]
        optional = pe + 24
        self.magic = struct.unpack_from("<H", data, optional)[0]
        self.subsystem = struct.unpack_from("<H", data, optional + 68)[0]
        self._directories = optional + (96 if self.magic == PE32 else 112)
        self._symbols = pe + 12
        self._checksum = optional + 64
        self._section_table = optional + optional_size
        self._sections = []
        for i in range(count):
            virtual_size, rva, raw_size, raw = struct.unpack_from("<IIII", data, self._section_table + 40 * i + 8)
            self._sections.append((rva, max(virtual_size, raw_size), raw))

    @property
    def is_64bit(self):
        return self.machine == AMD64

    def offset(self, rva):
        for start, size, raw in self._sections:
            if start <= rva < start + size:
                return raw + rva - start
        raise ValueError(f"rva {rva:#x} outside every section")

    def directory(self, index):
        return struct.unpack_from("<I", self.data, self._directories + 8 * index)[0]

    def imports(self):
        """The names of the imported DLLs, as written."""
        names, at = [], self.offset(self.directory(DIRECTORY_IMPORT))
        while True:
            name_rva = struct.unpack_from("<I", self.data, at + 12)[0]
            if name_rva == 0:
                return names
            start = self.offset(name_rva)
            names.append(self.data[start:self.data.index(b"\0", start)].decode())
            at += 20

    def resources(self):
        """Every resource as (type, name, bytes); named types and names as text, others as
        numbers."""
        rva = self.directory(DIRECTORY_RESOURCE)
        if not rva:
            return []
        base = self.offset(rva)

        def entries(directory):
            named, numbered = struct.unpack_from("<HH", self.data, base + directory + 12)
            for i in range(named + numbered):
                key, target = struct.unpack_from("<II", self.data, base + directory + 16 + 8 * i)
                if key & 0x80000000:
                    at = base + (key & 0x7FFFFFFF)
                    length = struct.unpack_from("<H", self.data, at)[0]
                    key = self.data[at + 2:at + 2 + 2 * length].decode("utf-16-le")
                yield key, target & 0x7FFFFFFF

        found = []
        for kind, names in entries(0):
            for name, languages in entries(names):
                for _, leaf in entries(languages):
                    address, size = struct.unpack_from("<II", self.data, base + leaf)
                    start = self.offset(address)
                    found.append((kind, name, self.data[start:start + size]))
        return found

    def resource(self, kind, name):
        return next(data for k, n, data in self.resources() if k == kind and n == name)


def page_align_resources(data):
    """The image with its resource section's bytes moved to a page boundary of the file (and the
    sections after it moved as far), or the image as it is when they are there already. Wine
    maps a section whose file offset is page-aligned and reads any other whole into memory
    when the program starts: the payload archive, in the resources, would be read before the
    first window, and kept. Refuses images with debug data or a signature, whose file
    offsets it would have to follow; the header's checksum is made again."""
    image = PeImage(data)
    rsrc = image.directory(DIRECTORY_RESOURCE)
    if not rsrc:
        return data
    start = next(raw for rva, size, raw in image._sections if rva <= rsrc < rva + size)
    pad = -start % PAGE
    if pad == 0:
        return data
    if image.directory(DIRECTORY_DEBUG) or image.directory(DIRECTORY_SECURITY):
        raise ValueError("the image has debug data or a signature")
    out = bytearray(data[:start] + bytes(pad) + data[start:])
    fields = [image._section_table + 40 * i + 20 for i in range(len(image._sections))]
    for field in fields + [image._symbols]:
        offset = struct.unpack_from("<I", out, field)[0]
        if offset >= start:
            struct.pack_into("<I", out, field, offset + pad)
    struct.pack_into("<I", out, image._checksum, checksum(out, image._checksum))
    return bytes(out)


def checksum(data, field):
    """The PE header's checksum of the image: its 16-bit words summed with the carries folded
    in, the checksum field counted as zero, plus the file's length."""
    padded = bytes(data) + bytes(len(data) % 2)
    words = struct.unpack_from(f"<{len(padded) // 2}H", padded)
    total = sum(words) - sum(struct.unpack_from("<HH", padded, field))
    while total >> 16:
        total = (total & 0xFFFF) + (total >> 16)
    return total + len(data)


if __name__ == "__main__":
    import sys
    for path in sys.argv[1:]:
        with open(path, "rb") as f:
            before = f.read()
        after = page_align_resources(before)
        if after is not before:
            with open(path, "wb") as f:
                f.write(after)
