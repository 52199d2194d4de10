"""The payload table: which file of the payload folder becomes which resource of the launcher.
The build's own table (CDK_PAYLOAD_RESOURCES in cmake/CdkPayload.cmake) is read, so that the
tools and the build cannot disagree."""

import functools
import os
import re
from collections import namedtuple

from . import ROOT

PAYLOAD_CMAKE = os.path.join(ROOT, "cmake", "CdkPayload.cmake")

Row = namedtuple("Row", "name type id")

KIT_DATABASE_ID = 101
UPDATER_DATABASE_ID = 1119


@functools.lru_cache(maxsize=None)
def table(path=PAYLOAD_CMAKE):
    """(Row(file name, resource type, id), ...) in the build's order (the cabinets in the order
    the launcher writes them)."""
    with open(path, encoding="utf-8") as f:
        text = f.read()
    block = re.search(r"set\(CDK_PAYLOAD_RESOURCES(.*?)\)", text, re.S)
    if not block:
        raise ValueError(f"no CDK_PAYLOAD_RESOURCES in {path}")
    rows = re.findall(r'"([^"|]+)\|([A-Za-z0-9_]+)\|(\d+)"', block.group(1))
    return tuple(Row(name, kind.upper(), int(ident)) for name, kind, ident in rows)


def _by_id(ident):
    return next(row for row in table() if row.id == ident)


def kit_database():
    return _by_id(KIT_DATABASE_ID)


def updater_database():
    return _by_id(UPDATER_DATABASE_ID)


def cabinets():
    """The kit's cabinets, in the order the launcher writes them."""
    return [row for row in table() if row.type.startswith("CORVID_CAB")]
