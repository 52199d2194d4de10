#!/usr/bin/python3
"""Every message box of the launcher, raised by the real cdk-setup.exe in a real window.

Each case runs the launcher under wine64 in a throw-away clone of the end-to-end master prefix
(tests/e2e/harness.py does the cloning, the files, the registry preset and the placeholders),
inside Wine's virtual desktop on an Xvfb display of its own, in one UI language:

  1. Xvfb starts on a free display of its own; the registry preset names a virtual desktop,
     so that every program of the prefix runs in it and Wine draws the box's caption.
  2. ScenarioRunner.exe starts the launcher; the box is found with `xdotool search --name`
     (the box without caption by its window class), its title read with getwindowname.
  3. BoxText.exe, on the same desktop, prints the caption and the static text of the box; both
     are compared with MessageTexts.def (with the case's insertions).
  4. ImageMagick's `import -window` writes <lang>-<id>.png; `xdotool key Return` closes the box,
     and the launcher's exit code must be the expected one.
  5. The prefix's processes and the Xvfb server are ended, also when a step failed.

  screens.py [options] list [--subset]     names of the cases (<lang>-<id>), one per line
  screens.py [options] run NAME...         runs the named cases; exit 0 passed, 1 failed,
                                           77 skipped (the launcher is not built yet)
  screens.py [options] all [--jobs N]      every case in every language
Options: --work DIR, --exe-dir DIR, --standin EXE, --runner EXE, --boxtext EXE, --old-msi DLL,
--master DIR (the e2e master prefix), --out DIR (the pictures).
"""

import concurrent.futures
import ctypes
import fcntl
import os
import random
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
# No __pycache__ folders in the source tree.
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.join(HERE, "..", "e2e"))
sys.path.insert(0, os.path.join(HERE, "..", "..", "tools"))

import harness  # noqa: E402
from cdk import cli, registry, wine  # noqa: E402
from cdk.messages import message_texts  # noqa: E402
from cdk.pe import PeFile, first_language  # noqa: E402

# UI language: the locale that gives it to the Windows process (see tests/e2e/README.md).
LANGUAGES = {"1033": "C.UTF-8", "1041": "ja_JP.UTF-8", "2052": "zh_CN.UTF-8"}
DESKTOP = "cdkshots"
DESKTOP_SIZE = "800x600"

KIT_KEY = "HKLM\\SOFTWARE\\Tarnwell\\Corvid Development Kit\\3.6.0_09"
KIT_UNINSTALL = ("HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
                 "{64C7E2B9-5D31-42A8-9F06-3E8A1C460090}")
CFG = "C:\\cfg\\install.cfg"
MISSING_CFG = "C:\\cfg\\missing.cfg"
# Where Wine keeps the common application data folder (ProgramData), and a folder that makes
# the runtime settings file's path 260 bytes or more: longer than the settings store takes.
MACHINE_FOLDERS = "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders"
LONG_FOLDER = "C:\\" + "d" * 230
SETTINGS = "C:\\ProgramData\\Quillon\\Corvid\\corvid.settings.cfg"
ANY = None  # an insertion whose text the case does not fix

# One case per message box: the caption and the text as ids of MessageTexts.def (a str is a
# literal text, a caption of None an empty one), the insertions for its "%s", the set-up as
# e2e scenario fields, and the exit code after the box is closed. "old_msi" puts a msi.dll of
# version 1.0.0.0 in the system folder.
CASES = [
    {"id": "4", "caption": None, "text": 4, "exit": -2, "old_msi": True, "scenario": {}},
    {"id": "120", "caption": 119, "text": 120, "exit": -1,
     "scenario": {"files": {"{FLAG}": ""}, "hold": "{FLAG}"}},
    # A warning only: after it the interactive install goes on (the stand-in answers 0).
    {"id": "121", "caption": 116, "text": 121, "exit": 0, "scenario": {"windows": "winxp64"}},
    {"id": "2048", "caption": 2049, "text": 2048, "exit": -1,
     "scenario": {"registry": {KIT_KEY: {"BuildNumber": "12"}, KIT_UNINSTALL: {}}}},
    # The argument check refuses an install configuration path of 260 bytes or more (3089), so
    # the long path is the runtime settings file's: the common application data folder moved.
    {"id": "3074", "caption": 3073, "text": 3074, "exit": -80,
     "scenario": {"registry": {MACHINE_FOLDERS: {"Common AppData": LONG_FOLDER}},
                  "files": {LONG_FOLDER: harness.FOLDER}}},
    {"id": "3075", "caption": 3073, "text": 3075, "insert": [MISSING_CFG], "exit": -80,
     "scenario": {"args": ["INSTALLCFG=" + MISSING_CFG]}},
    {"id": "3076", "caption": 3073, "text": 3076, "insert": [CFG], "exit": -80,
     "scenario": {"args": ["INSTALLCFG=" + CFG],
                  "files": {CFG: b"INSTALLDIR=C:\\Kit\xff\xfe\r\n"}}},
    {"id": "3077", "caption": 3073, "text": 3077, "exit": -80,
     "scenario": {"args": ["INSTALLCFG=C:\\..\\install.cfg"]}},
    {"id": "3079", "caption": 3073, "text": 3079, "insert": [SETTINGS, "2"], "exit": -80,
     "scenario": {"files": {"{SETTINGS}": "AUTO_UPDATE=Enable\n=Enable\n"}}},
    {"id": "3088", "caption": 3073, "text": 3088, "insert": [CFG], "exit": -80,
     "scenario": {"args": ["INSTALLCFG=" + CFG], "files": {CFG: b"\n" * (0x100000 + 1)}}},
    {"id": "3089", "caption": 3073, "text": 3089, "insert": [ANY], "exit": -80,
     "scenario": {"args": ["/S"]}},
    # The payload's working folder cannot be made (a file has its name): the fatal box, shown
    # also in silent runs, with the system's text for error 3.
    {"id": "Error", "caption": "Error", "text": "Installer : Wrapper.CreateFile  failed with "
                                                "error 3: %s", "insert": [ANY], "exit": 3,
     "scenario": {"args": ["/s"], "files": {"{WORKDIR}": "not a folder"}}},
]

# What CTest runs: every box in English, one in Japanese and one in Chinese.
SUBSET = [f"1033-{case['id']}" for case in CASES] + ["1041-121", "2052-3079"]


def case_names():
    return [f"{lang}-{case['id']}" for lang in LANGUAGES for case in CASES]


# ---------------------------------------------------------------------------------------------
# Expected texts


def expected_pattern(template, insertions):
    """A regular expression for a text whose "%s" take the insertions in turn (ANY: any text)."""
    pieces = template.split("%s")
    pattern = re.escape(pieces[0])
    for i, piece in enumerate(pieces[1:]):
        value = insertions[i] if i < len(insertions) else ""
        pattern += "(?s:.+?)" if value is ANY else re.escape(value)
        pattern += re.escape(piece)
    return re.compile(pattern + r"\Z", re.S)


def expected_texts(case, lang, texts):
    def text_of(ident):
        if ident is None:
            return ""
        return ident if isinstance(ident, str) else texts[ident][int(lang)]

    return text_of(case["caption"]), expected_pattern(text_of(case["text"]),
                                                      case.get("insert", []))


# ---------------------------------------------------------------------------------------------
# X server and windows


def _end_with_parent():
    """Asks Linux to send SIGTERM to this child when its parent ends (PR_SET_PDEATHSIG)."""
    try:
        ctypes.CDLL(None, use_errno=True).prctl(1, signal.SIGTERM)
    except (OSError, AttributeError):
        pass


class Display:
    """An Xvfb server on a free display number; stopped by close().

    `Xvfb -displayfd` can name a display that belongs to a server that is just ending (whose
    socket is still there), so the number is picked here: the first one from a random start
    without a lock file or socket, one server starting at a time (a lock shared by every
    process of this user), and the server counts as started once it answers there."""

    LOCK = os.path.join(tempfile.gettempdir(), f"cdk-screens-xvfb-{os.getuid()}.lock")

    def __init__(self, log_path):
        self.process = None
        with open(self.LOCK, "w") as lock:
            fcntl.flock(lock, fcntl.LOCK_EX)
            start = random.randrange(100, 900)
            for number in range(start, start + 50):
                if (os.path.exists(f"/tmp/.X{number}-lock")
                        or os.path.exists(f"/tmp/.X11-unix/X{number}")):
                    continue
                if self._start(number, log_path):
                    self.name = f":{number}"
                    return
                self.close()
        raise RuntimeError(f"Xvfb did not start (see {log_path})")

    def _start(self, number, log_path):
        with open(log_path, "ab") as log:
            # The server ends with this process, also when CTest kills it at a time-out.
            self.process = subprocess.Popen(
                # -noreset: by default the server resets whenever its last client leaves,
                # and a client that connects during the reset (Wine's next process) fails.
                ["Xvfb", f":{number}", "-screen", "0", "1024x768x24", "-nolisten", "tcp",
                 "-noreset"],
                stdin=subprocess.DEVNULL, stdout=log, stderr=log, preexec_fn=_end_with_parent)
        deadline = time.monotonic() + 20
        while self.alive() and time.monotonic() < deadline:
            answer = subprocess.run(["xdotool", "getdisplaygeometry"],
                                    env={**os.environ, "DISPLAY": f":{number}"},
                                    capture_output=True, check=False, timeout=10)
            if answer.returncode == 0:
                return self.alive()
            time.sleep(0.1)
        return False

    def alive(self):
        return self.process is not None and self.process.poll() is None

    def close(self):
        if self.alive():
            self.process.terminate()
            try:
                self.process.wait(timeout=5)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()


def xdotool(display, *args):
    # A UTF-8 locale, so that the regular expressions match Japanese and Chinese titles.
    result = subprocess.run(["xdotool", *args],
                            env={**os.environ, "DISPLAY": display, "LC_ALL": "C.UTF-8"},
                            capture_output=True, check=False, timeout=10)
    return result.stdout.decode("utf-8", errors="replace").strip()


def ere_escape(text):
    return re.sub(r"([.\[\]()*+?{}|^$\\])", r"\\\1", text)


def find_box(display, caption):
    """The window id of the box: by its title; a box without caption by the launcher's class
    (the launcher's other window is Wine's "Default IME")."""
    if caption:
        # xdotool matches names byte by byte: a run of non-ASCII characters becomes ".+", and
        # the candidates are then compared whole.
        pattern = re.sub(r"[^\x00-\x7f]+", ".+", ere_escape(caption))
        ids = [w for w in xdotool(display, "search", "--name", f"^{pattern}$").split()
               if xdotool(display, "getwindowname", w) == caption]
    else:
        ids = [w for w in xdotool(display, "search", "--classname", r"^cdk-setup\.exe$").split()
               if xdotool(display, "getwindowname", w) != "Default IME"]
    return ids[0] if ids else None


# ---------------------------------------------------------------------------------------------
# One case


class Paths:
    def __init__(self, options):
        self.work = os.path.abspath(options.work)
        self.out = os.path.abspath(options.out)
        self.boxtext = os.path.abspath(options.boxtext)
        self.old_msi = os.path.abspath(options.old_msi)
        self.config = harness.Config(os.path.join(self.work), options.exe_dir, options.standin,
                                     options.runner,
                                     keep=cli.keep_work())
        if options.master:
            self.config.master = os.path.abspath(options.master)


def decode_box_text(value):
    return re.sub(r"\\(.)", lambda m: {"n": "\n", "r": "\r"}.get(m.group(1), m.group(1)), value)


def run_case(name, paths, texts):
    """Runs one case; returns (status, report): 0 passed, 1 failed, SKIP skipped."""
    lang, _, ident = name.partition("-")
    case = next(c for c in CASES if c["id"] == ident)
    caption, text_pattern = expected_texts(case, lang, texts)
    scenario = dict(case["scenario"], name=f"screens.{name}")
    scenario["env"] = {"LC_ALL": LANGUAGES[lang]}
    scenario["registry"] = {**scenario.get("registry", {}),
                            "HKCU\\Software\\Wine\\Explorer": {"Desktop": DESKTOP},
                            "HKCU\\Software\\Wine\\Explorer\\Desktops": {DESKTOP: DESKTOP_SIZE}}
    run = harness.Run(scenario, paths.config)
    if not os.path.isfile(run.exe):
        return cli.SKIP, f"SKIP {name}: {run.exe} is not built yet"

    failures = []
    notes = []
    started = time.monotonic()
    display = None
    runner = None
    picture = os.path.join(paths.out, f"{name}.png")
    try:
        run_setup(run, case, paths)
        display = Display(run._file("xvfb.txt"))
        env = wine.wine_environment(run.prefix, {
            "DISPLAY": display.name,
            "CDK_STANDIN_RECORD": run._file("record.txt"),
            "CDK_STANDIN_RULES": run._file("rules.txt"),
            "CDK_E2E_COMMAND_FILE": run._file("command.txt"),
            "CDK_E2E_DIRECTORY": os.path.dirname(run.values["EXE_PATH"]),
            "CDK_E2E_TIMEOUT_MS": "60000",
        })
        if scenario.get("hold"):
            env["CDK_E2E_HOLD_FILE"] = run.expand(scenario["hold"])
        wine.start_server(env, ("regedit", "/S", wine.host_to_windows(run._file("preset.reg"))),
                          timeout=60)

        # Wine's errors and the text of each box it creates, for the report of a failed run.
        runner_env = {**env, **scenario["env"], "WINEDEBUG": "-all,err+all,trace+msgbox"}
        if case.get("old_msi"):
            # Wine answers for its built-in msi.dll unless the file in the system folder is
            # preferred.
            runner_env["WINEDLLOVERRIDES"] += ";msi=n"
        with open(run._file("wine-stderr.txt"), "wb") as errors:
            runner = subprocess.Popen([wine.WINE64, paths.config.runner], env=runner_env, stdin=subprocess.DEVNULL,
                                      stdout=subprocess.PIPE, stderr=errors)
        window = None
        deadline = time.monotonic() + 40
        while window is None and runner.poll() is None and time.monotonic() < deadline:
            time.sleep(0.1)
            window = find_box(display.name, caption)
        if window is None:
            present = [xdotool(display.name, "getwindowname", w)
                       for w in xdotool(display.name, "search", "--name", ".").split()]
            failures.append(f"no window titled {caption!r} appeared (windows: {present}"
                            + ("" if display.alive() else "; the X server has ended") + ")")
            runner.kill()
        else:
            title = xdotool(display.name, "getwindowname", window)
            if title != caption:
                failures.append(f"window title {title!r}, expected {caption!r}")
            failures += check_box_text(env, paths, caption, text_pattern, notes)
            os.makedirs(paths.out, exist_ok=True)
            if not take_picture(display.name, window, picture):
                failures.append(f"no picture written to {picture}")
            close_box(display.name, window, caption)
        try:
            output, _ = runner.communicate(timeout=60)
        except subprocess.TimeoutExpired:
            runner.kill()
            output, _ = runner.communicate()
        run.runner_output = output.decode("utf-8", errors="replace").replace("\r", "")
    except Exception as error:  # noqa: BLE001 - reported as a failure, with cleanup below
        failures.append(f"the run did not finish: {error!r}")
        run.runner_output = ""
    finally:
        if runner is not None and runner.poll() is None:
            runner.kill()
            runner.wait()
        if os.path.isdir(run.prefix):
            wine.stop_wineserver(run.prefix)
        if display is not None:
            display.close()
    m = re.search(r"^exit-code (-?\d+)$", run.runner_output, re.M)
    exit_code = int(m.group(1)) if m else run.runner_output.strip() or None
    if exit_code != case["exit"]:
        failures.append(f"exit code {exit_code}, expected {case['exit']}")
    passed = not failures
    if not paths.config.keep:
        shutil.rmtree(run.folder if passed else run.prefix, ignore_errors=True)
    lines = [f"box {name}: " + ("passed" if passed else "FAILED")]
    lines += ["  - " + f.replace("\n", "\n    ") for f in failures]
    lines += ["  " + n for n in notes]
    if not passed:
        lines.append(f"  files of this run: {run.folder}")
    lines.append(f"  picture {picture}, {time.monotonic() - started:.1f} s")
    return (0 if passed else 1), "\n".join(lines)


def run_setup(run, case, paths):
    """The set-up part of harness.Run.execute: clone, files, registry preset, command line."""
    wine.prepare_master(paths.config.master)
    if os.path.isdir(run.prefix):
        wine.stop_wineserver(run.prefix)
    shutil.rmtree(run.folder, ignore_errors=True)
    os.makedirs(run.folder)
    wine.clone_prefix(paths.config.master, run.prefix)
    run.resources = first_language(PeFile(run.exe).resources())
    run.values = run._values()
    run._place_files()
    if case.get("old_msi"):
        # place_file never writes through the hard link that the clone shares with the master.
        wine.place_file(paths.old_msi,
                           run._host(harness.SYSTEM_FOLDER + "\\msi.dll"))
    with open(run._file("preset.reg"), "w", encoding="utf-16") as f:
        f.write(registry.registry_file_text(run._registry_preset()))
    with open(run._file("rules.txt"), "w", encoding="utf-8") as f:
        f.write(run._rules_text())
    with open(run._file("command.txt"), "w", encoding="utf-8") as f:
        f.write(run._command_line())


def check_box_text(env, paths, caption, text_pattern, notes):
    """Compares the caption and static text that BoxText.exe reads from the box."""
    result = subprocess.run([wine.WINE64, paths.boxtext], env=env, stdin=subprocess.DEVNULL,
                            capture_output=True, check=False, timeout=30)
    output = result.stdout.decode("utf-8", errors="replace").replace("\r\n", "\n")
    boxes = re.findall(r"^caption (.*)\ntext (.*)$", output, re.M)
    if not boxes:
        return [f"BoxText.exe found no message box (exit {result.returncode})"]
    failures = []
    box_caption, box_text = (decode_box_text(v) for v in boxes[0])
    if box_caption != caption:
        failures.append(f"box caption {box_caption!r}, expected {caption!r}")
    if not text_pattern.match(box_text):
        failures.append(f"box text {box_text!r} does not match {text_pattern.pattern!r}")
    notes.append("text: " + box_text.replace("\r", "").replace("\n", " / ")[:160])
    return failures


def take_picture(display, window, picture):
    """Writes the box's window as a PNG file; tried again when the server was busy."""
    for _ in range(3):
        result = subprocess.run(["import", "-window", window, picture],
                                env={**os.environ, "DISPLAY": display}, capture_output=True,
                                check=False, timeout=30)
        if result.returncode == 0 and os.path.isfile(picture) and os.path.getsize(picture) > 500:
            return True
        time.sleep(0.3)
    return False


def close_box(display, window, caption):
    """Presses Return until the box is gone (the first press may come before it has focus)."""
    for _ in range(3):
        xdotool(display, "key", "Return")
        for _ in range(30):
            time.sleep(0.1)
            if window not in xdotool(display, "search", "--classname", r"^cdk-setup\.exe$").split():
                return


# ---------------------------------------------------------------------------------------------
# Command line


def main():
    parser = cli.parser(__doc__, "screens-work")
    parser.add_argument("--master", default="")
    parser.add_argument("--boxtext", default="BoxText.exe")
    parser.add_argument("--old-msi", default="old-msi/msi.dll")
    parser.add_argument("--out", default="screenshots")
    parser.add_argument("--subset", action="store_true")
    parser.add_argument("--jobs", type=int, default=1)
    parser.add_argument("command", choices=["list", "run", "all"])
    parser.add_argument("names", nargs="*")
    options = parser.parse_args()

    if options.command == "list":
        print("\n".join(SUBSET if options.subset else case_names()))
        return 0
    for tool in ("Xvfb", "xdotool", "import"):
        if shutil.which(tool) is None:
            print(f"SKIP: {tool} is not installed (scripts/setup.sh installs it)")
            return cli.SKIP
    names = case_names() if options.command == "all" else options.names
    cli.check_names(names, case_names(), "case")
    paths = Paths(options)
    texts = message_texts()
    wine.prepare_master(paths.config.master)
    with concurrent.futures.ThreadPoolExecutor(max(1, options.jobs)) as pool:
        results = list(pool.map(lambda n: run_case(n, paths, texts), names))
    for _, report in results:
        print(report, flush=True)
    statuses = [status for status, _ in results]
    if statuses.count(1):
        print(f"{statuses.count(1)} of {len(names)} boxes FAILED")
    return cli.overall(statuses)


if __name__ == "__main__":
    sys.exit(main())
