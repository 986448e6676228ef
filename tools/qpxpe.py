"""Reads what the build's checks, tests and benchmarks look at in a PE image: the header's
machine, kind and subsystem, the imported DLLs and the resources; writes a resource section
into an image that has none, on a page boundary of the file."""
import struct

PE32, PE32_PLUS = 0x10B, 0x20B
I386, AMD64 = 0x14C, 0x8664
DIRECTORY_IMPORT, DIRECTORY_RESOURCE, DIRECTORY_SECURITY, DIRECTORY_DEBUG = 1, 2, 4, 6
PAGE = 0x1000
# The language every resource is stored under (English, United States), as the resource
# compilers write it when the script names none.
RESOURCE_LANGUAGE = 0x409
# A section of initialised data that is read, not written or run.
READ_ONLY_DATA = 0x40000040
SECTION_HEADER = 40


class PeImage:
    def __init__(self, data):
        self.data = data
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        self.machine, count = struct.unpack_from("<HH", data, pe + 4)
        optional_size = struct.unpack_from("<H", data, pe + 20)[0]
        optional = pe + 24
        self.magic = struct.unpack_from("<H", data, optional)[0]
        self.subsystem = struct.unpack_from("<H", data, optional + 68)[0]
        self._optional = optional
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


def align(value, to):
    return -(-value // to) * to


def resource_key(key):
    """Named entries come first, in the order of their upper-cased names; numbered ones after,
    by number."""
    return (1, key, "") if isinstance(key, int) else (0, 0, key.upper())


def resource_section(resources, rva):
    """The bytes of a resource section that starts at `rva`, holding every (type, name, bytes)
    under RESOURCE_LANGUAGE; types and names are text or numbers (text is stored upper-cased,
    as the loader compares it)."""
    tree = {}
    for kind, name, data in resources:
        tree.setdefault(kind, {})[name] = data
    kinds = sorted(tree, key=resource_key)
    # Directories first (the root, one per type, one language level per name), then the data
    # entries, the names and the data.
    tables, leaves = [], []

    def table(keys):
        tables.append(keys)
        return len(tables) - 1

    root = table(kinds)
    type_tables = {kind: table(sorted(tree[kind], key=resource_key)) for kind in kinds}
    name_tables = {}
    for kind in kinds:
        for name in tables[type_tables[kind]]:
            name_tables[kind, name] = table([RESOURCE_LANGUAGE])
            leaves.append((kind, name))
    offsets, at = [], 0
    for keys in tables:
        offsets.append(at)
        at += 16 + 8 * len(keys)
    leaf_at = at
    at += 16 * len(leaves)
    strings = {}
    for key in sorted({k for keys in tables for k in keys if isinstance(k, str)}):
        strings[key] = at
        at += 2 + 2 * len(key)
    out = bytearray(align(at, 8))
    for key, where in strings.items():
        text = key.upper().encode("utf-16-le")
        out[where:where + 2 + len(text)] = struct.pack("<H", len(text) // 2) + text

    def write_table(index, targets):
        keys = tables[index]
        named = sum(isinstance(k, str) for k in keys)
        struct.pack_into("<IIHHHH", out, offsets[index], 0, 0, 0, 0, named, len(keys) - named)
        for i, (key, target) in enumerate(zip(keys, targets)):
            ident = strings[key] | 0x80000000 if isinstance(key, str) else key
            struct.pack_into("<II", out, offsets[index] + 16 + 8 * i, ident, target)

    write_table(root, [offsets[type_tables[k]] | 0x80000000 for k in kinds])
    for kind in kinds:
        write_table(type_tables[kind], [offsets[name_tables[kind, n]] | 0x80000000
                                        for n in tables[type_tables[kind]]])
    for i, (kind, name) in enumerate(leaves):
        write_table(name_tables[kind, name], [leaf_at + 16 * i])
        data = tree[kind][name]
        struct.pack_into("<IIII", out, leaf_at + 16 * i, rva + len(out), len(data), 0, 0)
        out += data + bytes(-len(data) % 8)
    return bytes(out)


def with_resources(data, resources):
    """The image (linked without resources) with a resource section of `resources` added as
    its last section. The section starts on a page of the file: Wine maps a section whose file
    offset is page-aligned and reads any other whole into memory when the program starts, so
    the payload archive, in the resources, is not read before the first window. The header's
    checksum is made again. Refuses images that have resources, a symbol table, debug data or
    a signature, or no room for another section header."""
    image = PeImage(data)
    if image.directory(DIRECTORY_RESOURCE) or image.directory(DIRECTORY_DEBUG) or \
            image.directory(DIRECTORY_SECURITY) or struct.unpack_from("<I", data, image._symbols)[0]:
        raise ValueError("the image has resources, symbols, debug data or a signature already")
    section_align, file_align = struct.unpack_from("<II", data, image._optional + 32)
    headers = struct.unpack_from("<I", data, image._optional + 60)[0]
    table_end = image._section_table + SECTION_HEADER * len(image._sections)
    if table_end + SECTION_HEADER > headers:
        raise ValueError("no room for another section header")
    rva = align(max(start + size for start, size, _ in image._sections), section_align)
    section = resource_section(resources, rva)
    raw_size = align(len(section), file_align)
    start = align(len(data), PAGE)
    out = bytearray(data + bytes(start - len(data)) + section + bytes(raw_size - len(section)))
    struct.pack_into("<8sIIIIIIHHI", out, table_end, b".rsrc", len(section), rva, raw_size, start,
                     0, 0, 0, 0, READ_ONLY_DATA)
    pe = struct.unpack_from("<I", out, 0x3C)[0]
    struct.pack_into("<H", out, pe + 6, len(image._sections) + 1)
    initialised = struct.unpack_from("<I", out, image._optional + 8)[0]
    struct.pack_into("<I", out, image._optional + 8, initialised + raw_size)
    struct.pack_into("<I", out, image._optional + 56, align(rva + len(section), section_align))
    struct.pack_into("<II", out, image._directories + 8 * DIRECTORY_RESOURCE, rva, len(section))
    struct.pack_into("<I", out, image._checksum, checksum(out, image._checksum))
    return bytes(out)


def resources_on_a_page(data):
    """Whether the image's resources start on a page of the file (or it has none)."""
    image = PeImage(data)
    rsrc = image.directory(DIRECTORY_RESOURCE)
    return not rsrc or image.offset(rsrc) % PAGE == 0


def checksum(data, field):
    """The PE header's checksum of the image: its 16-bit words summed with the carries folded
    in, the checksum field counted as zero, plus the file's length."""
    padded = bytes(data) + bytes(len(data) % 2)
    words = struct.unpack_from(f"<{len(padded) // 2}H", padded)
    total = sum(words) - sum(struct.unpack_from("<HH", padded, field))
    while total >> 16:
        total = (total & 0xFFFF) + (total >> 16)
    return total + len(data)
