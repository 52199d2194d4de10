#!/usr/bin/python3
r"""Runs the shell commands of docs/RELEASE.md, block by block in document order.

  release.py [--tests DIR] [--product DIR] [--work DIR] [--document FILE]

Every ```sh block of the document is read; lines ending in a backslash are joined, comment
lines dropped. Each command must match one row of COMMANDS, which says how it runs here; a
command that matches none fails the run, so that a new command in the document gets a row (and
with it a decision on what it may touch) before it counts as tested. The document's placeholders
are then replaced (PLACEHOLDERS) and the command runs under /bin/sh from the top of the source
tree. A command that exits non-zero fails the run with its block and its output.

The build block builds the 32-bit program into a scratch folder instead of build/win32, with the
payload that build/win32 embeds, and the result must be the same bytes as
build/win32/bin/cdk-setup.exe: two builds of one tree and payload, in two folders, one with the
tests and one without. The later blocks work on that scratch build.

Exit status: 0 passed, 1 failed, 77 skipped (build/win32 is not built, or this run was started
by the document's own ctest command).
"""

import argparse
import os
import re
import shlex
import shutil
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(os.path.dirname(HERE))
DOCUMENT = os.path.join(SOURCE, "docs", "RELEASE.md")
SKIP = 77
# Set for the commands of a run: the document's "ctest -L release" would otherwise run this
# test again inside itself.
NESTED = "CDK_DOCS_RELEASE_RUNNING"

# The placeholders of the document and what stands for them here (keys of Paths.values()).
# One pass over each command, so a replacement is never itself replaced.
PLACEHOLDERS = [
    (r"/path/to/payload\b", "payload"),      # the test payload that build/win32 embeds
    (r"\bbuild/win32\b", "build"),           # the documented build, in a scratch folder
    (r"\bbuild/win64\b", "tests"),           # the tests of this test's own tree (Paths)
    (r"\brelease-cert\.pem\b", "cert"),      # a throw-away self-signed certificate ...
    (r"\brelease-key\.pem\b", "key"),        # ... its key
    (r"\bca\.pem\b", "cert"),                # ... and itself as the trusted root
    (r"(?<![\w/.-])cdk-setup\.exe\b", "signed"),  # the signed copy, outside the source tree
    (r" -t http://timestamp\.example\.com\b", None),  # no network here: no time stamp
]
# What a placeholder left unreplaced looks like.
UNMAPPED = re.compile(r"/path/to/|\.example\.com|<[\w -]+>")

# Every command the document may show: (pattern of the whole documented command, the command
# that runs here in its place or None when it runs as written, a pattern its output must match
# besides exit code 0). Placeholders are replaced afterwards in both cases.
COMMANDS = [
    # The release build configures and builds a scratch folder (what build/win32 stands for in
    # PLACEHOLDERS), never the real build/win32: the preset's own folder is overridden.
    (r"cmake --preset win32(?P<rest> .*)?", r"cmake --preset win32 -B build/win32\g<rest>",
     None),
    (r"cmake --build --preset win32", "cmake --build build/win32", None),
    (r"/usr/bin/python3 scripts/check-(payload|program)\.py .*", None, r"all checks passed"),
    (r"osslsigncode sign .*", None, r"Succeeded"),
    (r"osslsigncode verify .*", None, r"Signature verification: ok"),
    # The release checks of this test's own tree (build/win64); finding no test is no pass.
    (r"ctest --test-dir build/win64 .*", None, r"100% tests passed, 0 tests failed out of"),
]
BUILD_COMMAND = COMMANDS[1][0]


class Paths:
    """The folders of a run. The document's ctest command runs the tests of build/win64 from a
    folder of its own, whose CTestTestfile.cmake only includes that tree: the same tests, but
    their logs go to that folder's Testing/, not to the one the ctest running this test is
    writing at the same time."""

    def __init__(self, tests, product, work):
        self.tests = tests
        self.product = product
        self.work = work
        self.build = os.path.join(work, "build")
        self.shipped = os.path.join(product, "bin", "cdk-setup.exe")
        self.payload = os.path.join(product, "payload", "out")

    def values(self):
        return {
            "payload": self.payload,
            "build": self.build,
            "tests": os.path.join(self.work, "tests"),
            "cert": os.path.join(self.work, "cert.pem"),
            "key": os.path.join(self.work, "key.pem"),
            "signed": os.path.join(self.work, "signed", "cdk-setup.exe"),
            None: "",
        }


def sh_blocks(text, shown_as):
    """[(line number, [command, ...])] of every block of shell commands (```sh, or another
    shell's name, so that such a block is not passed over)."""
    blocks = []
    lines = text.split("\n")
    i = 0
    while i < len(lines):
        if lines[i].strip() not in ("```sh", "```bash", "```shell", "```console"):
            i += 1
            continue
        start = i + 1
        commands, pending = [], ""
        i += 1
        while i < len(lines) and lines[i].strip() != "```":
            line = lines[i].strip()
            if line.endswith("\\"):
                pending += line[:-1].rstrip() + " "
            elif pending or (line and not line.startswith("#")):
                commands.append(pending + line)
                pending = ""
            i += 1
        if i == len(lines) or pending:
            raise SystemExit(f"{shown_as} line {start}: the block is not closed")
        blocks.append((start, commands))
        i += 1
    return blocks


def substitute(command, values):
    pattern = "|".join(f"(?P<p{i}>{p})" for i, (p, _) in enumerate(PLACEHOLDERS))

    def replace(match):
        value = values[PLACEHOLDERS[int(match.lastgroup[1:])][1]]
        return shlex.quote(value) if value else value

    return re.sub(pattern, replace, command)


def as_run_here(command, values):
    """(the command as it runs here, the pattern its output must match), or raises ValueError
    when the test has no row for it."""
    for pattern, instead, expected in COMMANDS:
        match = re.fullmatch(pattern, command)
        if not match:
            continue
        if instead:
            command = match.expand(instead)
        command = substitute(command, values)
        left = UNMAPPED.search(command)
        if left:
            raise ValueError(f"the placeholder {left.group(0)!r} has no replacement here")
        return command, expected
    raise ValueError("no row of COMMANDS in tests/docs/release.py runs this command")


def first_difference(a, b):
    with open(a, "rb") as f:
        x = f.read()
    with open(b, "rb") as f:
        y = f.read()
    if x == y:
        return None
    at = next((i for i, (p, q) in enumerate(zip(x, y)) if p != q), min(len(x), len(y)))
    return f"{len(x)} and {len(y)} bytes, first difference at offset {at:#x}"


def compare_with_product(paths):
    """Failure text when the scratch build's program is not build/win32's, else None."""
    built = os.path.join(paths.build, "bin", "cdk-setup.exe")
    if not os.path.isfile(built):
        return f"the build wrote no {built}"
    difference = first_difference(built, paths.shipped)
    if difference is None:
        return None
    # A build/win32 older than the sources differs for that reason alone.
    pending = subprocess.run(["cmake", "--build", paths.product, "--target", "cdk-setup",
                              "--", "-n"], stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                             text=True)
    stale = pending.returncode == 0 and "no work to do" not in pending.stdout
    return (f"{built} differs from {paths.shipped} ({difference})" +
            ("; build/win32 is out of date: run cmake --build --preset win32 first"
             if stale else "; two builds of one tree and payload must be the same bytes"))


def run(paths, document):
    shown_as = os.path.relpath(document, SOURCE)
    if shown_as.startswith(".."):
        shown_as = document
    with open(document, encoding="utf-8") as f:
        blocks = sh_blocks(f.read(), shown_as)
    if not blocks:
        return [f"{shown_as} holds no ```sh block"]
    values = paths.values()
    # Every block is checked before anything runs, so an unmapped one fails at once.
    planned = []
    for line, commands in blocks:
        for command in commands:
            try:
                planned.append((line, commands, command) + as_run_here(command, values))
            except ValueError as error:
                return [f"{shown_as} line {line}: {error}:\n    {command}"]

    shutil.rmtree(paths.work, ignore_errors=True)
    os.makedirs(os.path.dirname(values["signed"]))
    os.makedirs(values["tests"])
    with open(os.path.join(values["tests"], "CTestTestfile.cmake"), "w", encoding="utf-8") as f:
        f.write(f'subdirs("{paths.tests}")\n')
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                    "-subj", "/CN=Corvid test signing", "-keyout", values["key"],
                    "-out", values["cert"]], check=True, capture_output=True)
    env = dict(os.environ, **{NESTED: "1"})
    env.setdefault("CMAKE_BUILD_PARALLEL_LEVEL", "2")
    for line, commands, shown, command, expected in planned:
        began = time.monotonic()
        done = subprocess.run(["/bin/sh", "-c", command], cwd=SOURCE, env=env,
                              stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        seconds = time.monotonic() - began
        failure, output = None, done.stdout.rstrip()
        if done.returncode != 0:
            failure = f"exit code {done.returncode}"
        elif expected and not re.search(expected, done.stdout):
            failure = f"the output lacks {expected!r}"
        elif re.fullmatch(BUILD_COMMAND, shown):
            # The build itself went well: its output would tell nothing.
            failure, output = compare_with_product(paths), "(the build's, not shown)"
        if failure:
            return [f"{shown_as} line {line}: {failure}\n  the block:\n    " +
                    "\n    ".join(commands) + f"\n  ran: {command}\n  output:\n" + output]
        print(f"ok    line {line}, {seconds:.0f} s: {command}", flush=True)
        if re.fullmatch(BUILD_COMMAND, shown):
            print(f"ok    the same bytes as {paths.shipped}", flush=True)
    print(f"{len(planned)} commands of {len(blocks)} blocks passed")
    return []


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--tests", default=os.path.join(SOURCE, "build", "win64"),
                        help="the tree of build/win64 (the document's ctest command)")
    parser.add_argument("--product", default=os.path.join(SOURCE, "build", "win32"),
                        help="the tree of build/win32, built with its tests")
    parser.add_argument("--work", default=None,
                        help="scratch folder, emptied first (default: TESTS/tests/docs/release)")
    parser.add_argument("--document", default=DOCUMENT)
    options = parser.parse_args()
    if os.environ.get(NESTED):
        print(f"SKIP: started by a command of {options.document} itself")
        return SKIP
    work = options.work or os.path.join(options.tests, "tests", "docs", "release")
    paths = Paths(os.path.abspath(options.tests), os.path.abspath(options.product),
                  os.path.abspath(work))
    for needed in (paths.shipped, paths.payload):
        if not os.path.exists(needed):
            print(f"SKIP: {needed} does not exist: build the win32 preset first "
                  "(cmake --preset win32 && cmake --build --preset win32)")
            return SKIP
    failures = run(paths, options.document)
    for failure in failures:
        print("FAILED " + failure)
    if failures:
        if os.path.isdir(paths.work):
            print(f"the scratch folder is kept: {paths.work}")
        return 1
    shutil.rmtree(paths.work, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
