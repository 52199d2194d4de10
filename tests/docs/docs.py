#!/usr/bin/python3
r"""Runs the examples of docs/ADMINISTRATORS.md with the end-to-end harness (tests/e2e).

  docs.py list                    names of the document's examples, one per line; an example
                                  the harness cannot run is listed as "NAME not-run"
  docs.py [options] run NAME...   runs the named examples; exit 0 passed, 1 failed, 77 skipped
                                  (a not-run example, or the launcher is not built yet)
  docs.py check                   the document's markers, and its option table against the
                                  option table of InstallConfigData.cpp
Options: --work DIR, --exe-dir DIR, --standin EXE, --runner EXE, as for tests/e2e/e2e.py.

Every fenced code block of the document is preceded by an HTML comment that says what it is:

  <!-- example NAME exit=N [OPTION ...] -->   a ```cmd block with one "cdk-setup.exe ..."
        line: run with the rest of the line as the launcher's command line; its exit code must
        be N. Options:
        kit-exit=N      the stand-in msiexec ends the kit install with N;
        kit-registers   the kit install registers its folder (C:\Corvid\CDK) and its public
                        runtime, as the real kit does; the runtime's database and transforms
                        lie in that folder and a stand-in is the updater's registration
                        program, so that the run goes on to the runtime and the updater;
        real-msiexec    Wine's own msiexec instead of the stand-in, which installs the test
                        kit; the kit's command line is then taken from the launcher's
                        "Executor.exec()" log record, and the msiexec block shows it alone;
        folder=PATH     a folder created before the run;
        creates=PATH    a file that must exist after the run.
  <!-- script NAME exit=N [OPTION ...] -->   a ```cmd block: a batch file that runs
        "cdk-setup.exe ..."; written to C:\scripts\NAME.cmd beside a copy of the launcher and
        run there by Wine's cmd.exe ("cmd.exe /c cd /d C:\scripts && NAME.cmd"); its exit
        code must be N. The options are those of an example.
  <!-- msiexec NAME -->          every msiexec command line of the run, one per line, in order
                                 ("none" for no msiexec run at all)
  <!-- output NAME -->           lines that a script prints (each one a whole line)
  <!-- file NAME PATH -->        a file written before the run (an install configuration file)
  <!-- settings-before NAME -->  the runtime settings file before the run
  <!-- settings-after NAME [crlf] -->  the runtime settings file after the run ("absent": no
                                 file); crlf: its lines end with CR LF (a file the launcher wrote)
  <!-- log NAME -->             records of cusched.log, which must appear in this order
  <!-- not-run NAME: reason -->  an example the harness cannot run; listed, reported as skipped
  <!-- illustration -->          a block that is no example (a syntax line, a format sketch)

In command lines shown in the document, "<Installer folder>" stands for the folder of msiexec,
"<Common Files>" for the common program files folder, and "<working folder>" and "<user data>"
for the launcher's folders of this machine.
"""

import os
import re
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(os.path.dirname(HERE))
DOCUMENT = os.path.join(SOURCE, "docs", "ADMINISTRATORS.md")
OPTION_TABLE = os.path.join(SOURCE, "src", "windows", "common", "installconfig",
                            "InstallConfigData.cpp")
sys.path.insert(0, os.path.join(SOURCE, "tests", "e2e"))
sys.path.insert(0, os.path.join(SOURCE, "tools"))

import harness  # noqa: E402
from cdk import cli, payload  # noqa: E402

CRE_KEY = "HKLM\\SOFTWARE\\Tarnwell\\Corvid Runtime Environment\\3.6.0_09"
KIT_KEY = "HKLM\\SOFTWARE\\Tarnwell\\Corvid Development Kit\\3.6.0_09"
KIT_HOME = "C:\\Corvid\\CDK"
CAUREG = "{COMMONFILES}\\Corvid\\Corvid Update\\caureg.exe"
KIT_DATABASE = payload.kit_database().name
LAUNCHER = "cdk-setup.exe"

_MARKER = re.compile(r"^<!--\s*(example|script|msiexec|output|file|settings-before|settings-after|"
                     r"log|not-run|illustration)\b(.*?)-->\s*$")
# Where a script example is written in the prefix, and the program that runs it.
SCRIPT_FOLDER = "C:\\scripts"
RUNS = ("example", "script", "not-run", "illustration")


class DocumentError(Exception):
    pass


def read_blocks(text):
    """[(marker kind, marker text, language, block lines, line number)] for every fenced block;
    a block without a marker right before it (blank lines between are allowed) is an error."""
    lines = text.split("\n")
    blocks = []
    pending = None
    i = 0
    while i < len(lines):
        line = lines[i]
        m = _MARKER.match(line.strip())
        if m:
            pending = (m.group(1), m.group(2).strip(), i + 1)
        elif line.startswith("```"):
            language = line[3:].strip()
            start = i + 1
            i += 1
            body = []
            while i < len(lines) and not lines[i].startswith("```"):
                body.append(lines[i])
                i += 1
            if i == len(lines):
                raise DocumentError(f"line {start}: the fenced block is not closed")
            if pending is None:
                raise DocumentError(f"line {start}: a fenced block without a marker comment")
            blocks.append((pending[0], pending[1], language, body, start))
            pending = None
        elif line.strip() and pending is not None and not line.startswith("<!--"):
            raise DocumentError(f"line {pending[2]}: the marker is not followed by a block")
        i += 1
    return blocks


def parse_examples(text):
    """{name: example dict} in document order."""
    examples = {}

    def example(name, line):
        if name not in examples:
            raise DocumentError(f"line {line}: no example {name!r} for this block")
        return examples[name]

    blocks = read_blocks(text)
    # Examples first: a file or settings block may stand before its example.
    ordered = [b for b in blocks if b[0] in RUNS]
    ordered += [b for b in blocks if b[0] not in RUNS]
    for kind, marker, language, body, line in ordered:
        # Words are separated by blanks; a value with blanks is quoted: folder="C:\a b".
        words = [w.replace('"', '') for w in re.findall(r'(?:[^\s"]+|"[^"]*")+', marker)]
        if kind == "illustration":
            for b in body:
                # A synopsis ("cdk-setup.exe [/s | ...]") is no command line.
                if b.strip().startswith(LAUNCHER + " ") and "[" not in b:
                    raise DocumentError(f"line {line}: a launcher command line in an "
                                        "illustration; mark it as an example or not-run")
            continue
        if kind == "not-run":
            name, _, reason = marker.partition(":")
            name = name.strip()
            if not reason.strip():
                raise DocumentError(f"line {line}: a not-run block needs a reason")
            if name in examples:
                raise DocumentError(f"line {line}: example name {name!r} used twice")
            examples[name] = {"name": name, "not_run": reason.strip(), "line": line}
            continue
        if not words:
            raise DocumentError(f"line {line}: the {kind} marker names no example")
        name = words[0]
        if kind in ("example", "script"):
            if name in examples:
                raise DocumentError(f"line {line}: example name {name!r} used twice")
            if language != "cmd":
                raise DocumentError(f"line {line}: example {name} is not a ```cmd block")
            commands = [b.strip() for b in body if b.strip()]
            options = {"name": name, "line": line, "files": {}, "kit_registers": False}
            if kind == "script":
                if not any(c.startswith(LAUNCHER + " ") for c in commands):
                    raise DocumentError(f"line {line}: script {name} does not run {LAUNCHER}")
                path = f"{SCRIPT_FOLDER}\\{name}.cmd"
                options["files"][path] = "\r\n".join(body) + "\r\n"
                options["script"] = True
                options["cmdline"] = f"/c cd /d {SCRIPT_FOLDER} && {name}.cmd"
            elif len(commands) != 1 or not commands[0].startswith(LAUNCHER):
                raise DocumentError(f"line {line}: example {name} must hold one line "
                                    f"'{LAUNCHER} ...'")
            else:
                options["cmdline"] = commands[0][len(LAUNCHER):].strip()
            for word in words[1:]:
                key, _, value = word.partition("=")
                if key == "exit":
                    options["exit"] = int(value)
                elif key == "kit-exit":
                    options["kit_exit"] = int(value)
                elif key == "kit-registers":
                    options["kit_registers"] = True
                elif key == "real-msiexec":
                    options["real_msiexec"] = True
                elif key == "folder":
                    options["files"][value] = harness.FOLDER
                elif key == "creates":
                    options.setdefault("creates", []).append(value)
                else:
                    raise DocumentError(f"line {line}: unknown example option {word!r}")
            if "exit" not in options:
                raise DocumentError(f"line {line}: example {name} states no exit code")
            examples[name] = options
        elif kind == "msiexec":
            commands = [b.rstrip() for b in body if b.strip()]
            example(name, line)["msiexec"] = [] if commands == ["none"] else commands
        elif kind == "output":
            example(name, line)["output"] = [b for b in body if b.strip()]
        elif kind == "file":
            path = marker[len(name):].strip()
            example(name, line)["files"][path] = "\n".join(body) + "\n"
        elif kind == "settings-before":
            example(name, line)["settings_before"] = "\n".join(body) + "\n"
        elif kind == "settings-after":
            # "crlf": the launcher wrote the file, whose lines end with CR LF.
            end = "\r\n" if words[1:] == ["crlf"] else "\n"
            after = end.join(body) + end
            example(name, line)["settings_after"] = None if after.strip() == "absent" else after
        elif kind == "log":
            example(name, line)["log"] = log_messages(body)
    for options in examples.values():
        if "not_run" not in options and "msiexec" not in options:
            raise DocumentError(f"line {options['line']}: example {options['name']} shows no "
                                "msiexec block")
    return examples


def log_messages(body):
    """The "LEVEL: message" texts of the records in a log excerpt."""
    return harness.parse_log("\n".join(body).encode("utf-8"), "utf-8")


def shown_to_placeholders(text):
    return (text.replace("<Installer folder>\\msiexec.exe", "{MSIEXEC_PATH}")
                .replace("<working folder>", "{WORKDIR}")
                .replace("<user data>", "{USERDATA}")
                .replace("<Common Files>", "{COMMONFILES}")
                .replace("C:\\users\\<user>\\", "{PROFILE}\\"))


def scenario_of(example, config):
    files = {path: content for path, content in example["files"].items()}
    if "settings_before" in example:
        files["{SETTINGS}"] = example["settings_before"]
    rules = []
    kit_actions = []
    if example["kit_registers"]:
        kit_actions.append(f"reg-set|64|{KIT_KEY}|CorvidHome|sz|{KIT_HOME}")
        kit_actions.append(f"reg-set|64|{CRE_KEY}|BuildNumber|sz|11")
        files[CAUREG] = harness.STANDIN
        # The public runtime's database and transforms, which the kit leaves in its folder.
        for name in ("cre.msi", "cre1041.MST", "cre2052.MST"):
            files[KIT_HOME + "\\" + name] = name
    if "kit_exit" in example:
        kit_actions.append(f"exit|{example['kit_exit']}")
    if kit_actions:
        rules.append({"when": KIT_DATABASE, "do": kit_actions})
    expect = {"exit": example["exit"], "files": {}}
    if "log" in example:
        expect["log"] = [shown_to_placeholders(text) for text in example["log"]]
    if "settings_after" in example:
        wanted = example["settings_after"]
        expect["files"]["{SETTINGS}"] = wanted
    for path in example.get("creates", []):
        expect["files"][path] = harness.PRESENT
    scenario = {
        "name": "docs." + example["name"],
        "cmdline": example["cmdline"],
        "files": files,
        "rules": rules,
        # The msiexec command lines are compared below, where trailing blanks of a shown line
        # do not count.
        "expect": expect,
    }
    if example.get("script"):
        # Wine's cmd.exe runs the script in its folder, which also holds a copy of the launcher.
        scenario["exe"] = os.path.join(config.master, "drive_c", "windows", "system32",
                                       "cmd.exe")
        with open(os.path.join(config.exe_dir, LAUNCHER), "rb") as f:
            files[SCRIPT_FOLDER + "\\" + LAUNCHER] = f.read()
    if example.get("real_msiexec"):
        scenario["msiexec"] = "real"
        # Wine's msiexec works a while on the kit's database.
        scenario["timeout"] = 45
    return scenario




def run_example(example, config):
    """(status, report) of one example, with the msiexec command lines compared exactly but
    for blanks at the end of a line, which a document cannot show."""
    if "not_run" in example:
        return cli.SKIP, (f"NOT RUN {example['name']}: {example['not_run']} "
                              f"(docs/ADMINISTRATORS.md line {example['line']})")
    launcher = os.path.join(config.exe_dir, LAUNCHER)
    if not os.path.isfile(launcher):
        return cli.SKIP, f"SKIP docs.{example['name']}: {launcher} does not exist yet"
    scenario = scenario_of(example, config)
    wanted = [shown_to_placeholders(c) for c in example["msiexec"]]
    run = harness.Run(scenario, config)
    if not os.path.isfile(run.exe):
        return cli.SKIP, f"SKIP {run.name}: {run.exe} does not exist yet"
    failures = ["the run did not finish"]
    try:
        run.execute()
        failures = run.check()
        expected = [c.rstrip() for c in run.expand(wanted)]
        if example.get("real_msiexec"):
            started = "INFO: Executor.exec(): "
            # The kit's command only: what follows it depends on the test kit's database.
            actual = [r[len(started):].rstrip() for r in run.log
                      if r.startswith(started) and KIT_DATABASE in r]
        else:
            actual = [c.rstrip() for c in run.commands]
        printed = run.runner_output.splitlines()
        for text in example.get("output", []):
            if text not in printed:
                failures.append(f"the output lacks the line {text!r}: {printed}")
        if expected != actual:
            failures.append("msiexec command lines differ:\n  expected:\n    " +
                            "\n    ".join(expected or ["(none)"]) + "\n  actual:\n    " +
                            "\n    ".join(actual or ["(none)"]))
    finally:
        run.cleanup(not failures)
    return (1 if failures else 0), run.report(failures)


# ---------------------------------------------------------------------------------------------
# The option table of the document against the code


def code_options():
    """{name: (persistent, msiProperty, msiPassThrough)} from kOptionRows."""
    with open(OPTION_TABLE, encoding="utf-8") as f:
        text = f.read()
    rows = re.findall(r'\{"([^"]+)",\s*G::\w+,\s*\w+,\s*(true|false),\s*(true|false),\s*'
                      r'(true|false),\s*(true|false),\s*(true|false)\}', text)
    return {r[0]: tuple(v == "true" for v in r[1:4]) for r in rows}


def document_options(text):
    """{name: (persistent, msiProperty, msiPassThrough)} from the document's option table:
    rows "| `NAME` | kind | settings file | msiexec | ..." where the settings-file column says
    "yes" for a persistent option and the msiexec column "passed", "CMDLINE" or "-"."""
    found = {}
    for line in text.split("\n"):
        m = re.match(r"^\|\s*`([^`]+)`\s*\|[^|]*\|\s*(yes|-)\s*\|\s*([^|]*?)\s*\|", line)
        if not m:
            continue
        msiexec = m.group(3)
        if msiexec not in ("passed", "CMDLINE", "-"):
            raise DocumentError(f"option {m.group(1)}: msiexec column {msiexec!r}")
        found[m.group(1)] = (m.group(2) == "yes", msiexec == "CMDLINE", msiexec == "passed")
    return found


def check_document(text):
    failures = []
    try:
        examples = parse_examples(text)
    except DocumentError as error:
        return [str(error)]
    code = code_options()
    if len(code) != 41:
        failures.append(f"the option table of the code has {len(code)} rows, not 41")
    try:
        shown = document_options(text)
    except DocumentError as error:
        return [str(error)]
    for name, flags in code.items():
        if name not in shown:
            failures.append(f"option {name} is missing from the document's option table")
        elif shown[name] != flags:
            failures.append(f"option {name}: the document says (settings file, CMDLINE, passed) "
                            f"= {shown[name]}, the code {flags}")
    for name in shown:
        if name not in code:
            failures.append(f"the document's option table names {name}, which the code lacks")
    run = [n for n, e in examples.items() if "not_run" not in e]
    not_run = [n for n, e in examples.items() if "not_run" in e]
    print(f"{len(examples)} examples: {len(run)} run by tests, {len(not_run)} not run "
          f"({', '.join(not_run) or 'none'}); {len(shown)} options in the table")
    return failures


def main():
    parser = cli.parser(__doc__, "docs-work")
    parser.add_argument("--document", default=DOCUMENT)
    parser.add_argument("command", choices=["list", "run", "check"])
    parser.add_argument("names", nargs="*")
    options = parser.parse_args()
    with open(options.document, encoding="utf-8") as f:
        text = f.read()
    if options.command == "check":
        failures = check_document(text)
        for failure in failures:
            print("FAILED: " + failure)
        return 1 if failures else 0
    examples = parse_examples(text)
    if options.command == "list":
        for name, example in examples.items():
            print(name + (" not-run" if "not_run" in example else ""))
        return 0
    config = harness.Config(options.work, options.exe_dir, options.standin, options.runner,
                            keep=cli.keep_work())
    cli.check_names(options.names, examples, "example")
    return cli.run_each(options.names, lambda n: run_example(examples[n], config))


if __name__ == "__main__":
    sys.exit(main())
