#!/usr/bin/python3
"""Checks the shape of a built launcher program without running it; check-payload.py checks
its payload and version resource.

    check-program.py EXE --flavour win32|win64 [--messages MessageTexts.def]

- the PE kind (PE32 i386 for win32, PE32+ x86-64 for win64), the GUI subsystem, no link time
  stamp (two builds of one tree are the same bytes);
- imports from system DLLs only (no runtime DLL of the compiler beside the program);
- the manifest: requireAdministrator without UI access, exactly the Windows Vista and Windows 7
  compatibility entries, common controls version 6;
- the string tables: every message of MessageTexts.def (default: the one of this source tree)
  in 1033, 1041 and 2052, text for text.

Prints one line per check and exits 1 when any check fails. Needs Debian's python3-pefile.
"""

import argparse
import os
import re
import sys
import xml.etree.ElementTree as ET

import pefile

SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "advapi32.dll", "shell32.dll", "ole32.dll",
               "version.dll", "msvcrt.dll", "crypt32.dll", "gdi32.dll", "comctl32.dll"}
VISTA = "{e2011457-1546-43c5-a5fe-008deee3d3f0}"
WINDOWS7 = "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}"
LANGUAGES = {1033: (0x09, 0x01), 1041: (0x11, 0x01), 2052: (0x04, 0x02)}

failures = []


def check(ok, text):
    print(("ok    " if ok else "FAIL  ") + text)
    if not ok:
        failures.append(text)


def message_texts(def_path):
    """{id: {1033: text, 1041: text, 2052: text}} from the message definitions."""
    source = open(def_path, encoding="utf-8").read()
    macros = dict(re.findall(r'#define\s+(\w+)\s+"((?:[^"\\]|\\.)*)"', source))
    body = re.sub(r"//[^\n]*", "", source)
    messages = {}
    for m in re.finditer(r"CDK_MESSAGE\((.*?)\)\s*(?=CDK_MESSAGE|\Z)", body, re.S):
        arguments, current, pieces = [], [], re.findall(r'"(?:[^"\\]|\\.)*"|[\w]+|,', m.group(1))
        for piece in pieces:
            if piece == ",":
                arguments.append(current)
                current = []
            else:
                current.append(piece)
        arguments.append(current)

        def text(tokens):
            escapes = {"n": "\n", "t": "\t", '"': '"', "\\": "\\"}
            out = ""
            for token in tokens:
                literal = token[1:-1] if token.startswith('"') else macros[token]
                out += re.sub(r"\\(.)", lambda e: escapes[e.group(1)], literal)
            return out

        ident = int(arguments[1][0])
        messages[ident] = {1033: text(arguments[2]), 1041: text(arguments[3]),
                           2052: text(arguments[4])}
    return messages


def resources(pe):
    """{(type, id, language): bytes} of every resource; type and id as int or str."""
    found = {}
    if not hasattr(pe, "DIRECTORY_ENTRY_RESOURCE"):
        return found
    for kind in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        kind_key = str(kind.name) if kind.name is not None else kind.id
        for entry in kind.directory.entries:
            entry_key = str(entry.name) if entry.name is not None else entry.id
            for language in entry.directory.entries:
                data = language.data.struct
                found[(kind_key, entry_key, language.id)] = pe.get_data(
                    data.OffsetToData, data.Size)
    return found


def string_table(found, language):
    """{id: text} of one language's string table."""
    primary, sub = LANGUAGES[language]
    lang_id = (sub << 10) | primary
    strings = {}
    for (kind, block, lang), data in found.items():
        if kind != 6 or lang != lang_id:
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


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("exe")
    parser.add_argument("--flavour", choices=["win32", "win64"], required=True)
    parser.add_argument("--messages", default=os.path.join(
        os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "src", "windows", "common",
        "messages", "MessageTexts.def"))
    options = parser.parse_args()

    pe = pefile.PE(options.exe)
    win64 = options.flavour == "win64"
    check(pe.FILE_HEADER.Machine == (0x8664 if win64 else 0x14C),
          f"machine {hex(pe.FILE_HEADER.Machine)} is {'x86-64' if win64 else 'i386'}")
    check(pe.OPTIONAL_HEADER.Magic == (0x20B if win64 else 0x10B),
          f"{'PE32+' if win64 else 'PE32'} optional header")
    check(pe.OPTIONAL_HEADER.Subsystem == 2, "Windows GUI subsystem")
    check(pe.FILE_HEADER.TimeDateStamp == 0, "no link time stamp (reproducible)")

    imported = sorted(entry.dll.decode().lower() for entry in pe.DIRECTORY_ENTRY_IMPORT)
    check(set(imported) <= SYSTEM_DLLS, f"imports from system DLLs only: {', '.join(imported)}")

    found = resources(pe)
    manifests = [data for (kind, _, _), data in found.items() if kind == 24]
    check(len(manifests) == 1, "one manifest")
    if manifests:
        root = ET.fromstring(manifests[0].decode("utf-8"))
        level = [e for e in root.iter() if e.tag.endswith("requestedExecutionLevel")]
        check(len(level) == 1 and level[0].get("level") == "requireAdministrator"
              and level[0].get("uiAccess") == "false",
              "manifest: requireAdministrator, uiAccess false")
        oses = sorted(e.get("Id").lower() for e in root.iter() if e.tag.endswith("supportedOS"))
        check(oses == sorted([VISTA, WINDOWS7]), f"manifest: supported OS exactly Vista and 7 "
              f"({', '.join(oses)})")
        controls = [e for e in root.iter() if e.tag.endswith("assemblyIdentity")
                    and e.get("name") == "Microsoft.Windows.Common-Controls"]
        check(len(controls) == 1 and controls[0].get("version", "").startswith("6."),
              "manifest: common controls version 6")

    messages = message_texts(options.messages)
    for language in LANGUAGES:
        table = string_table(found, language)
        wrong = [ident for ident, texts_by_language in messages.items()
                 if table.get(ident) != texts_by_language[language]]
        check(not wrong and messages, f"string table {language}: {len(messages)} messages"
              + (f", wrong or missing: {wrong}" if wrong else ""))

    print(f"{len(failures)} check(s) failed" if failures else "all checks passed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
