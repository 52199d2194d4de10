#!/usr/bin/env python3
"""Writes a cabinet of deterministic, incompressible content for a test payload.

usage: make-cabinet.py [--gcab PROGRAM] OUT.cab NAME=SIZE [NAME=SIZE ...]

Each member NAME holds SIZE bytes (a number, optionally with the suffix K or M for 1024 and
1048576) of SHAKE-256 output seeded with the cabinet's file name and the member's name, so the
same arguments give the same bytes on every machine and nothing compresses them. gcab stores
the members uncompressed. Members carry a fixed time stamp, so the cabinet is reproducible too.
"""

import argparse
import hashlib
import os
import re
import subprocess
import sys
import tempfile

# 2020-01-01 00:00:00 UTC: a cabinet stores DOS time stamps, which begin in 1980.
FIXED_TIME = 1577836800


def parse_size(text):
    match = re.fullmatch(r"(\d+)([KM]?)", text)
    if not match:
        raise ValueError(f"bad size {text!r}")
    factor = {"": 1, "K": 1024, "M": 1024 * 1024}[match.group(2)]
    return int(match.group(1)) * factor


def member_bytes(cabinet_name, member_name, size):
    seed = f"{cabinet_name}/{member_name}".encode()
    return hashlib.shake_256(seed).digest(size)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--gcab", default="gcab")
    parser.add_argument("output")
    parser.add_argument("members", nargs="+", metavar="NAME=SIZE")
    args = parser.parse_args()

    cabinet_name = os.path.basename(args.output)
    os.makedirs(os.path.dirname(os.path.abspath(args.output)), exist_ok=True)
    with tempfile.TemporaryDirectory(dir=os.path.dirname(os.path.abspath(args.output))) as tmp:
        paths = []
        for entry in args.members:
            name, _, size = entry.partition("=")
            if not name or "/" in name or not size:
                parser.error(f"expected NAME=SIZE, got {entry!r}")
            path = os.path.join(tmp, name)
            with open(path, "wb") as member:
                member.write(member_bytes(cabinet_name, name, parse_size(size)))
            os.utime(path, (FIXED_TIME, FIXED_TIME))
            paths.append(path)

        partial = args.output + ".part"
        env = dict(os.environ, TZ="UTC")
        result = subprocess.run([args.gcab, "--create", "--nopath", partial, *paths], env=env)
        if result.returncode != 0:
            return result.returncode
        os.replace(partial, args.output)
    return 0


if __name__ == "__main__":
    sys.exit(main())
