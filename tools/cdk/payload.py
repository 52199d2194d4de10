"""The payload table: which file of the payload folder becomes which resource of the launcher.
It is read from the one file that states it (src/windows/common/constants/PayloadTable.def, which
the C++ code includes and CMake reads), with the product version of BuildVersion.h filled into
the file names, so that the tools, the build and the program cannot disagree."""

import functools
import os
import re
from collections import namedtuple

from . import ROOT

CONSTANTS = os.path.join(ROOT, "src", "windows", "common", "constants")
PAYLOAD_TABLE = os.path.join(CONSTANTS, "PayloadTable.def")
BUILD_VERSION = os.path.join(CONSTANTS, "BuildVersion.h")

# name: the file name; key: the resource's C++ name (kKitDatabase, ...).
Row = namedtuple("Row", "name type id key")


def product_version(path=BUILD_VERSION):
    with open(path, encoding="utf-8") as f:
        found = re.search(r'^#define CDK_PRODUCT_VERSION_TEXT "([^"]+)"', f.read(), re.M)
    if not found:
        raise ValueError(f"no product version in {path}")
    return found.group(1)


def digits(version):
    """The major, minor, micro and update parts written together ("3.6.0_09": "36009")."""
    found = re.fullmatch(r"([^.]+)\.([^.]+)\.([^_]+)(?:_(.+))?", version)
    if not found:
        raise ValueError(f"{version!r} is not a product version of the form 3.6.0_09")
    major, minor, micro, update = found.groups()
    return major + minor + micro + (update or "00")


@functools.lru_cache(maxsize=None)
def table(path=PAYLOAD_TABLE, version=None):
    """(Row(file name, resource type, id, key), ...) in the order the launcher writes them."""
    version = version or product_version()
    with open(path, encoding="utf-8") as f:
        lines = [line for line in f if line.startswith("CDK_PAYLOAD_RESOURCE(")]
    rows = []
    for line in lines:
        found = re.fullmatch(r'CDK_PAYLOAD_RESOURCE\((k\w+), (\d+), ([A-Z0-9_]+), "([^"]+)"\)\s*',
                             line)
        if not found:
            raise ValueError(f"{path}: cannot read the line {line.strip()!r}")
        key, ident, kind, template = found.groups()
        name = template.replace("{version}", version).replace("{digits}", digits(version))
        rows.append(Row(name, kind, int(ident), key))
    return tuple(rows)


def _by_key(key):
    return next(row for row in table() if row.key == key)


def kit_database():
    return _by_key("kKitDatabase")


def updater_database():
    return _by_key("kUpdaterDatabase")


def cabinets():
    """The kit's cabinets, in the order the launcher writes them."""
    return [row for row in table() if row.type.startswith("CORVID_CAB")]
