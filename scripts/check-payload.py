#!/usr/bin/python3
"""Checks a built launcher against the payload folder it was built from.

  check-payload.py [options] EXE PAYLOAD_DIR

Every payload file of the payload table (src/windows/common/constants/PayloadTable.def) must be a
resource of EXE under its type and id, in one language only, with the same bytes as the file in
PAYLOAD_DIR;
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

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tools"))

from cdk import ROOT  # noqa: E402
from cdk.payload import table as payload_table  # noqa: E402
from cdk.pe import MACHINES, RT_MANIFEST, RT_VERSION, PeFile  # noqa: E402

VERSION_HEADER = os.path.join(ROOT, "src", "windows", "common", "constants", "BuildVersion.h")


# ---------------------------------------------------------------------------------------------
# What the build promises


def build_version(path=VERSION_HEADER):
    """The #define values of BuildVersion.h: numbers as int, texts as str."""
    values = {}
    with open(path, encoding="utf-8") as f:
        for m in re.finditer(r'^#define\s+(CDK_\w+)\s+(\d+|"[^"]*")\s*$', f.read(), re.M):
            raw = m.group(2)
            values[m.group(1)] = raw[1:-1] if raw.startswith('"') else int(raw)
    return values


# ---------------------------------------------------------------------------------------------
# The version resource


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
    for name, kind, ident, _ in table:
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
    payload_types = {row.type for row in table}
    known = {(row.type, row.id) for row in table}
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
    names = {row.name for row in table} | {str(row.id) for row in table}
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
