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

Prints one line per check and exits 1 when any check fails.
"""

import argparse
import os
import sys
import xml.etree.ElementTree as ET

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tools"))

from cdk.messages import LANGUAGES, MESSAGE_TEXTS, message_texts  # noqa: E402
from cdk.pe import RT_MANIFEST, PeFile, string_table  # noqa: E402

SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "advapi32.dll", "shell32.dll", "ole32.dll",
               "version.dll", "msvcrt.dll", "crypt32.dll", "gdi32.dll", "comctl32.dll"}
VISTA = "{e2011457-1546-43c5-a5fe-008deee3d3f0}"
WINDOWS7 = "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}"

failures = []


def check(ok, text):
    print(("ok    " if ok else "FAIL  ") + text)
    if not ok:
        failures.append(text)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("exe")
    parser.add_argument("--flavour", choices=["win32", "win64"], required=True)
    parser.add_argument("--messages", default=MESSAGE_TEXTS)
    options = parser.parse_args()

    pe = PeFile(options.exe)
    win64 = options.flavour == "win64"
    check(pe.machine == (0x8664 if win64 else 0x14C),
          f"machine {hex(pe.machine)} is {'x86-64' if win64 else 'i386'}")
    check(pe.magic == (0x20B if win64 else 0x10B), f"{'PE32+' if win64 else 'PE32'} optional header")
    check(pe.subsystem == 2, "Windows GUI subsystem")
    check(pe.timestamp == 0, "no link time stamp (reproducible)")

    imported = sorted(name.lower() for name in pe.imports())
    check(set(imported) <= SYSTEM_DLLS, f"imports from system DLLs only: {', '.join(imported)}")

    found = pe.resources()
    manifests = [data for (kind, _), languages in found.items() if kind == RT_MANIFEST
                 for data in languages.values()]
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
