#!/usr/bin/python3
"""Checks a built launcher against the payload folder it was built from.

  check-payload.py [options] EXE PAYLOAD_DIR

Every payload file named in cmake/CdkPayload.cmake (CDK_PAYLOAD_RESOURCES) must be a resource of
EXE under its type and id, in one language only, with the same bytes as the file in PAYLOAD_DIR;
a file that the folder lacks fails the check (the build leaves it out with a warning only). The
exe must carry no other resource of a payload type. Its manifest (RT_MANIFEST 1) must ask for
administrator rights and name the version of src/windows/common/constants/BuildVersion.h, and
its version resource (RT_VERSION 1) must hold that version, as numbers and as texts.

Options:
  --exclude NAME_OR_ID   a payload file or resource id that the exe must NOT carry (test
                         variants of the launcher); may be repeated
  --machine i386|amd64   the processor the exe must be built for
  --version-header FILE  BuildVersion.h to take the expected version from (default: the one of
                         this source tree)

Prints one line per check; exit status 0 when all hold, 1 when one does not, 2 when the exe or
the folder cannot be read.
"""

import argparse
import os
import re
import struct
import sys
import xml.etree.ElementTree as ElementTree

SOURCE_ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
PAYLOAD_CMAKE = os.path.join(SOURCE_ROOT, "cmake", "CdkPayload.cmake")
VERSION_HEADER = os.path.join(SOURCE_ROOT, "src", "windows", "common", "constants",
                              "BuildVersion.h")

RT_VERSION = 16
RT_MANIFEST = 24
MACHINES = {0x14C: "i386", 0x8664: "amd64"}


# ---------------------------------------------------------------------------------------------
# What the build promises


def payload_table(path=PAYLOAD_CMAKE):
    """[(file name, resource type, id)] from CDK_PAYLOAD_RESOURCES, the build's own table."""
    with open(path, encoding="utf-8") as f:
        text = f.read()
    block = re.search(r"set\(CDK_PAYLOAD_RESOURCES(.*?)\)", text, re.S)
    if not block:
        raise ValueError(f"no CDK_PAYLOAD_RESOURCES in {path}")
    rows = re.findall(r'"([^"|]+)\|([A-Za-z0-9_]+)\|(\d+)"', block.group(1))
    return [(name, kind.upper(), int(ident)) for name, kind, ident in rows]


def build_version(path=VERSION_HEADER):
    """The #define values of BuildVersion.h: numbers as int, texts as str."""
    values = {}
    with open(path, encoding="utf-8") as f:
        for m in re.finditer(r'^#define\s+(CDK_\w+)\s+(\d+|"[^"]*")\s*$', f.read(), re.M):
            raw = m.group(2)
            values[m.group(1)] = raw[1:-1] if raw.startswith('"') else int(raw)
    return values


# ---------------------------------------------------------------------------------------------
# Reading a PE file


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
        self.machine = struct.unpack_from("<H", data, pe + 4)[0]
        self.sections = struct.unpack_from("<H", data, pe + 6)[0]
        optional_size = struct.unpack_from("<H", data, pe + 20)[0]
        optional = pe + 24
        magic = struct.unpack_from("<H", data, optional)[0]
        directories = optional + (112 if magic == 0x20B else 96)
        self.resource_rva = struct.unpack_from("<I", data, directories + 2 * 8)[0]
        self.section_table = optional + optional_size

    def offset(self, rva):
        for i in range(self.sections):
            at = self.section_table + 40 * i
            size, address, raw_size, pointer = struct.unpack_from("<IIII", self.data, at + 8)
            if address <= rva < address + max(size, raw_size, 1):
                return rva - address + pointer
        raise ValueError(f"RVA {rva:#x} lies in no section")

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


def version_resource(block):
    """(fixed file version, fixed product version, {string name: value}) of a VS_VERSIONINFO
    block; versions as 4-tuples."""

    def node(at):
        length, value_length, kind = struct.unpack_from("<HHH", block, at)
        end_key = at + 6
        while block[end_key:end_key + 2] != b"\0\0":
            end_key += 2
        key = block[at + 6:end_key].decode("utf-16-le")
        value_at = (end_key + 2 + 3) & ~3
        value_size = value_length * 2 if kind == 1 else value_length
        children_at = (value_at + value_size + 3) & ~3
        return key, value_at, value_size, kind, children_at, at + length

    def children(start, end):
        at = start
        while at + 6 <= end:
            length = struct.unpack_from("<H", block, at)[0]
            if length == 0:
                break
            yield at
            at = (at + length + 3) & ~3

    key, value_at, _, _, children_at, end = node(0)
    if key != "VS_VERSION_INFO":
        raise ValueError("the version resource does not begin with VS_VERSION_INFO")
    signature, _, file_ms, file_ls, product_ms, product_ls = struct.unpack_from(
        "<IIIIII", block, value_at)
    if signature != 0xFEEF04BD:
        raise ValueError("the version resource has no VS_FIXEDFILEINFO")
    split = lambda ms, ls: (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)  # noqa: E731
    strings = {}
    for info in children(children_at, end):
        info_key, _, _, _, tables_at, info_end = node(info)
        if info_key != "StringFileInfo":
            continue
        for table in children(tables_at, info_end):
            _, _, _, _, strings_at, table_end = node(table)
            for entry in children(strings_at, table_end):
                name, at, size, _, _, _ = node(entry)
                strings[name] = block[at:at + size].decode("utf-16-le").rstrip("\0")
    return split(file_ms, file_ls), split(product_ms, product_ls), strings


# ---------------------------------------------------------------------------------------------
# The checks


class Report:
    def __init__(self):
        self.failed = 0

    def ok(self, text):
        print(f"ok      {text}")

    def fail(self, text):
        self.failed += 1
        print(f"FAILED  {text}")

    def check(self, condition, text, why=""):
        if condition:
            self.ok(text)
        else:
            self.fail(text + (f": {why}" if why else ""))


def check_payload(report, resources, folder, table, excluded):
    for name, kind, ident in table:
        label = f"{kind}/{ident} {name}"
        languages = resources.get((kind, ident), {})
        if name in excluded or str(ident) in excluded:
            report.check(not languages, f"{label} left out")
            continue
        path = os.path.join(folder, name)
        if not os.path.isfile(path):
            report.fail(f"{label}: absent from {folder}" +
                        (" and from the exe" if not languages else ""))
            continue
        with open(path, "rb") as f:
            expected = f.read()
        if not languages:
            report.fail(f"{label}: not a resource of the exe")
        elif len(languages) != 1:
            report.fail(f"{label}: in {len(languages)} languages {sorted(languages)}, "
                        "expected one")
        else:
            data = next(iter(languages.values()))
            if data == expected:
                report.ok(f"{label}: {len(data)} bytes, the same as the file")
            else:
                first = next((i for i, (a, b) in enumerate(zip(data, expected)) if a != b),
                             min(len(data), len(expected)))
                report.fail(f"{label}: {len(data)} bytes, the file {len(expected)}; first "
                            f"difference at byte {first}")
    payload_types = {kind for _, kind, _ in table}
    known = {(kind, ident) for _, kind, ident in table}
    for key in sorted(resources, key=str):
        if key[0] in payload_types and key not in known:
            report.fail(f"{key[0]}/{key[1]}: a payload-type resource that no payload file "
                        "names")


def check_manifest(report, resources, version):
    languages = resources.get((RT_MANIFEST, 1), {})
    if len(languages) != 1:
        report.fail(f"manifest: RT_MANIFEST 1 in {len(languages)} languages, expected one")
        return
    text = next(iter(languages.values()))
    try:
        root = ElementTree.fromstring(text)
    except ElementTree.ParseError as error:
        report.fail(f"manifest: not well-formed XML: {error}")
        return
    identity = root.find("{urn:schemas-microsoft-com:asm.v1}assemblyIdentity")
    wanted = "{CDK_VERSION_MAJOR}.{CDK_VERSION_MINOR}.{CDK_VERSION_MICRO}.{CDK_VERSION_BUILD}" \
        .format(**version)
    found = identity.get("version") if identity is not None else None
    report.check(found == wanted, f"manifest: assembly version {wanted}", f"found {found}")
    level = None
    for element in root.iter():
        if element.tag.endswith("}requestedExecutionLevel"):
            level = element.get("level")
    report.check(level == "requireAdministrator", "manifest: asks for administrator rights",
                 f"requested execution level {level}")


def check_version(report, resources, version):
    languages = resources.get((RT_VERSION, 1), {})
    if len(languages) != 1:
        report.fail(f"version: RT_VERSION 1 in {len(languages)} languages, expected one")
        return
    try:
        file_version, product_version, strings = version_resource(
            next(iter(languages.values())))
    except (ValueError, struct.error) as error:
        report.fail(f"version: unreadable: {error}")
        return
    numbers = tuple(version[k] for k in ("CDK_VERSION_MAJOR", "CDK_VERSION_MINOR",
                                         "CDK_VERSION_MICRO", "CDK_VERSION_BUILD"))
    dotted = ".".join(map(str, numbers))
    report.check(file_version == numbers, f"version: file version {dotted}",
                 f"found {'.'.join(map(str, file_version))}")
    report.check(product_version == numbers, f"version: product version {dotted}",
                 f"found {'.'.join(map(str, product_version))}")
    for name, wanted in (("ProductName", version["CDK_PRODUCT_NAME"]),
                         ("CompanyName", version["CDK_COMPANY_NAME"]),
                         ("FileVersion", version["CDK_FULL_VERSION_TEXT"]),
                         ("ProductVersion", version["CDK_FULL_VERSION_TEXT"]),
                         ("OriginalFilename", "cdk-setup.exe")):
        found = strings.get(name)
        report.check(found == wanted, f"version: {name} {wanted!r}", f"found {found!r}")


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("exe")
    parser.add_argument("payload_dir")
    parser.add_argument("--exclude", action="append", default=[])
    parser.add_argument("--machine", choices=sorted(MACHINES.values()))
    parser.add_argument("--version-header", default=VERSION_HEADER)
    options = parser.parse_args()

    try:
        table = payload_table()
        version = build_version(options.version_header)
        exe = PeFile(options.exe)
        resources = exe.resources()
    except (OSError, ValueError, struct.error) as error:
        print(f"check-payload: {error}", file=sys.stderr)
        return 2
    if not os.path.isdir(options.payload_dir):
        print(f"check-payload: {options.payload_dir} is not a folder", file=sys.stderr)
        return 2
    names = {name for name, _, _ in table} | {str(ident) for _, _, ident in table}
    unknown = [e for e in options.exclude if e not in names]
    if unknown:
        print(f"check-payload: --exclude {unknown} names no payload file or id", file=sys.stderr)
        return 2

    print(f"{options.exe} ({MACHINES.get(exe.machine, hex(exe.machine))}) against "
          f"{options.payload_dir}")
    report = Report()
    if options.machine:
        report.check(MACHINES.get(exe.machine) == options.machine,
                     f"built for {options.machine}",
                     f"built for {MACHINES.get(exe.machine, hex(exe.machine))}")
    check_payload(report, resources, options.payload_dir, table, set(options.exclude))
    check_manifest(report, resources, version)
    check_version(report, resources, version)
    print(f"{report.failed} check(s) failed" if report.failed else "all checks passed")
    return 1 if report.failed else 0


if __name__ == "__main__":
    sys.exit(main())
