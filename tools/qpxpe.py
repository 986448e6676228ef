"""Reads what the build's checks, tests and benchmarks look at in a PE image: the header's
machine, kind and subsystem, the imported DLLs and the resources."""
import struct

PE32, PE32_PLUS = 0x10B, 0x20B
I386, AMD64 = 0x14C, 0x8664
DIRECTORY_IMPORT, DIRECTORY_RESOURCE = 1, 2


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
        self._sections = []
        for i in range(count):
            virtual_size, rva, raw_size, raw = struct.unpack_from("<IIII", data, optional + optional_size + 40 * i + 8)
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
