"""Reading a PE file (the launcher and its test programs): headers, imported DLLs, resources
and string tables, with Python's struct module alone."""

import struct

RT_STRING = 6
RT_VERSION = 16
RT_MANIFEST = 24
MACHINES = {0x14C: "i386", 0x8664: "amd64"}


class PeFile:
    def __init__(self, path):
        with open(path, "rb") as f:
            self.data = f.read()
        data = self.data
        if data[:2] != b"MZ":
            raise ValueError(f"{path} is not an executable (no MZ header)")
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        if data[pe:pe + 4] != b"PE\0\0":
            raise ValueError(f"{path} is not a PE file")
        self.path = path
        self.machine, self.sections, self.timestamp = struct.unpack_from("<HHI", data, pe + 4)
        optional_size = struct.unpack_from("<H", data, pe + 20)[0]
        optional = pe + 24
        self.magic = struct.unpack_from("<H", data, optional)[0]
        self.subsystem = struct.unpack_from("<H", data, optional + 68)[0]
        directories = optional + (112 if self.magic == 0x20B else 96)
        self.import_rva = struct.unpack_from("<I", data, directories + 1 * 8)[0]
        self.resource_rva = struct.unpack_from("<I", data, directories + 2 * 8)[0]
        self.section_table = optional + optional_size

    def offset(self, rva):
        for i in range(self.sections):
            at = self.section_table + 40 * i
            size, address, raw_size, pointer = struct.unpack_from("<IIII", self.data, at + 8)
            if address <= rva < address + max(size, raw_size, 1):
                return rva - address + pointer
        raise ValueError(f"RVA {rva:#x} lies in no section of {self.path}")

    def _text(self, rva):
        start = self.offset(rva)
        return self.data[start:self.data.index(b"\0", start)].decode("ascii")

    def imports(self):
        """The names of the DLLs the import table names, in its order."""
        names = []
        at = self.offset(self.import_rva) if self.import_rva else None
        while at is not None:
            lookup, _, _, name, thunks = struct.unpack_from("<IIIII", self.data, at)
            if not (lookup or name or thunks):
                break
            names.append(self._text(name))
            at += 20
        return names

    def resources(self):
        """{(type, id): {language: bytes}}; a named type or id is an upper-case str."""
        if self.resource_rva == 0:
            return {}
        data = self.data
        base = self.offset(self.resource_rva)

        def entries(directory):
            named, numbered = struct.unpack_from("<HH", data, base + directory + 12)
            for i in range(named + numbered):
                name, target = struct.unpack_from("<II", data, base + directory + 16 + 8 * i)
                if name & 0x80000000:
                    at = base + (name & 0x7FFFFFFF)
                    length = struct.unpack_from("<H", data, at)[0]
                    name = data[at + 2:at + 2 + 2 * length].decode("utf-16-le").upper()
                yield name, target & 0x7FFFFFFF

        found = {}
        for kind, types in entries(0):
            for ident, languages in entries(types):
                for language, leaf in entries(languages):
                    rva, size = struct.unpack_from("<II", data, base + leaf)
                    start = self.offset(rva)
                    found.setdefault((kind, ident), {})[language] = data[start:start + size]
        return found


def first_language(resources):
    """{(type, id): bytes}: the first language of each resource, for a program that carries
    each resource once."""
    return {key: next(iter(languages.values())) for key, languages in resources.items()
            if languages}


def string_table(resources, language_id):
    """{id: text} of the string table in one language (a LANGID such as 0x0409)."""
    strings = {}
    for (kind, block), languages in resources.items():
        data = languages.get(language_id)
        if kind != RT_STRING or data is None:
            continue
        offset = 0
        for index in range(16):
            length = int.from_bytes(data[offset:offset + 2], "little")
            offset += 2
            if length:
                strings[(block - 1) * 16 + index] = data[offset:offset + 2 * length].decode(
                    "utf-16-le")
            offset += 2 * length
    return strings
