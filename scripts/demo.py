#!/usr/bin/env python3
"""The demo: the real 64-bit launcher, built with the generated test payload, installs the kit
with Wine's own msiexec in a fresh Wine prefix, then runs a second time over its own install.

  demo.py BUILD_DIR [ARGUMENT...] [--args "TEXT"]    the launcher's arguments follow "/s"

After each run it prints the exit code and its meaning, the kit's files, the registry values the
kit and the updater wrote, the runtime settings file and this run's records of cusched.log.
"""

import os
import shlex
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tools"))

from cdk import launcher, wine  # noqa: E402
from cdk.registry import RegistrySnapshot  # noqa: E402

MEANINGS = {
    0: "the kit was installed",
    3010: "installed; Windows must restart to finish",
    1641: "installed; msiexec started a restart",
    1: "this build carries no kit database",
    -1: "another installation runs, or a prior install could not be removed, or a newer build is installed",
    -2: "Windows Installer 2.0 or later is missing",
    -3: "msiexec could not be found",
    -80: "the install options could not be loaded",
    -81: "the runtime settings file could not be written; nothing was installed",
    -82: "an msiexec command line would be too long; nothing was installed",
    -83: "an unexpected error ended the launcher",
    1602: "msiexec: the user cancelled the install",
    1603: "msiexec: a fatal error during the install",
    1618: "msiexec: another installation is already running",
}

KIT_KEY = "HKLM\\SOFTWARE\\Tarnwell\\Corvid Development Kit\\3.6.0_09"
KEYS = [
    KIT_KEY,
    "HKLM\\SOFTWARE\\Tarnwell\\Corvid Runtime Environment\\3.6.0_09",
    "HKLM\\SOFTWARE\\Tarnwell\\Corvid Public Runtime\\3.6.0_09",
    "HKLM32\\SOFTWARE\\Tarnwell\\Auto Update",
]
SETTINGS = "C:\\ProgramData\\Quillon\\Corvid\\corvid.settings.cfg"


def heading(text):
    print(f"\n== {text}")


def run_launcher(run, runner, command_line, exe_folder):
    output = run.run(runner, command_line, {"CDK_E2E_DIRECTORY": exe_folder,
                                            "CDK_E2E_TIMEOUT_MS": "240000"}, timeout=300)
    codes = launcher.runner_exit_codes(output)
    return codes[0] if codes and codes[0] != "timeout" else None


def show_run(prefix, log_path, log_offset, exit_code):
    heading("Exit code")
    meaning = MEANINGS.get(exit_code, "msiexec's own code for the kit, passed through")
    print(f"{exit_code}: {meaning}")

    registry = RegistrySnapshot(prefix)
    kit = registry.key(KIT_KEY) or {}
    home = kit.get("corvidhome")
    heading("Kit files" + (f" under {home}" if home else ""))
    if home:
        root = wine.windows_to_host(prefix, home.rstrip("\\"))
        for folder, _, files in sorted(os.walk(root)):
            for name in sorted(files):
                path = os.path.join(folder, name)
                relative = os.path.relpath(path, root).replace("/", "\\")
                print(f"  {relative:<28} {os.path.getsize(path):>8} bytes")
    else:
        print("  (no kit registered)")

    heading("Registry values")
    for key in KEYS:
        values = registry.key(key)
        print(f"  {key}" + ("" if values is not None else "  (absent)"))
        for name, value in sorted((values or {}).items()):
            print(f"      {name} = {value!r}")
    au = registry.key(KEYS[-1]) or {}
    print("  updater: " + (f"installed, version {au['auversion']}" if "auversion" in au
                           else "not installed"))

    heading("Runtime settings file " + SETTINGS)
    settings = wine.windows_to_host(prefix, SETTINGS)
    if os.path.exists(settings):
        with open(settings, "rb") as f:
            print(f.read().decode("utf-8", "replace").replace("\r\n", "\n").rstrip("\n"))
    else:
        print("  (none: the run wrote no persistent option)")

    heading("Log records of this run (cusched.log)")
    with open(log_path, "rb") as f:
        f.seek(log_offset)
        data = f.read()
    for record in launcher.parse_log(data, "cp1252"):
        if record.startswith("TRACE:"):
            continue
        print("  " + record.replace("\n", "\n  "))


def main():
    build = os.path.abspath(sys.argv[1])
    rest = sys.argv[2:]
    arguments = ["/s"]
    while rest:
        if rest[0] == "--args" and len(rest) > 1:
            # One text of Windows arguments, split at blanks; backslashes stay as they are.
            arguments += shlex.split(rest[1], posix=False)
            rest = rest[2:]
        else:
            arguments.append(rest.pop(0))
    exe = os.path.join(build, "bin", "cdk-setup.exe")
    runner = os.path.join(build, "tests", "e2e", "ScenarioRunner.exe")
    master = os.path.join(build, "demo-prefix")

    started = time.monotonic()
    wine.prepare_master(master)
    run = launcher.PrefixRun(master, os.path.join(build, "demo-run"))
    prefix = run.prefix
    exe_windows = f"C:\\users\\{run.user}\\Downloads\\cdk-setup.exe"
    run.place(exe, exe_windows)
    command_line = launcher.windows_quote([exe_windows] + arguments)
    log_path = run.host("C:\\users\\{user}\\Temp\\cusched.log")

    print(f"Prefix: {prefix} (a fresh copy of {master})")
    print(f"Command: {command_line}")
    for attempt, title in ((1, "First run: a machine without the kit"),
                           (2, "Second run: the same version is installed, so it is removed "
                               "first and installed again")):
        print("\n" + "#" * 96 + f"\n# {title}\n" + "#" * 96)
        offset = os.path.getsize(log_path) if os.path.exists(log_path) else 0
        code = run_launcher(run, runner, command_line, os.path.dirname(exe_windows))
        show_run(prefix, log_path, offset, code)
        if code != 0:
            break
    print(f"\nDemo finished in {time.monotonic() - started:.1f} s. The prefix stays in {prefix}.")


if __name__ == "__main__":
    main()
