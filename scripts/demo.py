#!/usr/bin/env python3
"""The demo: the real 64-bit launcher, built with the generated test payload, installs the kit
with Wine's own msiexec in a fresh Wine prefix, then runs a second time over its own install.

  demo.py BUILD_DIR [ARGUMENT...] [--args "TEXT"]    the launcher's arguments follow "/s"

After each run it prints the exit code and its meaning, the kit's files, the registry values the
kit and the updater wrote, the runtime settings file and this run's records of cusched.log.
"""

import os
import shlex
import shutil
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
import harness  # noqa: E402

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


def run_launcher(prefix, runner, command_file, exe_folder):
    env = harness.wine_environment(prefix, {
        "CDK_E2E_COMMAND_FILE": command_file,
        "CDK_E2E_DIRECTORY": exe_folder,
        "CDK_E2E_TIMEOUT_MS": "240000",
    })
    quiet = {"stdin": subprocess.DEVNULL, "stdout": subprocess.DEVNULL,
             "stderr": subprocess.DEVNULL}
    subprocess.run([harness.WINESERVER, "-p"], env=env, check=False, **quiet)
    result = subprocess.run([harness.WINE64, runner], env=env, stdin=subprocess.DEVNULL,
                            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, check=False,
                            timeout=300)
    harness.stop_wineserver(prefix)
    for line in result.stdout.decode("utf-8", "replace").splitlines():
        if line.startswith("exit-code "):
            return int(line.split()[1])
    return None


def show_run(prefix, log_path, log_offset, exit_code):
    heading("Exit code")
    meaning = MEANINGS.get(exit_code, "msiexec's own code for the kit, passed through")
    print(f"{exit_code}: {meaning}")

    registry = harness.RegistrySnapshot(prefix)
    kit = registry.key(KIT_KEY) or {}
    home = kit.get("corvidhome")
    heading("Kit files" + (f" under {home}" if home else ""))
    if home:
        root = harness.windows_to_host(prefix, home.rstrip("\\"))
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
    settings = harness.windows_to_host(prefix, SETTINGS)
    if os.path.exists(settings):
        with open(settings, "rb") as f:
            print(f.read().decode("utf-8", "replace").replace("\r\n", "\n").rstrip("\n"))
    else:
        print("  (none: the run wrote no persistent option)")

    heading("Log records of this run (cusched.log)")
    with open(log_path, "rb") as f:
        f.seek(log_offset)
        data = f.read()
    for record in harness.parse_log(data, "cp1252"):
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
    demo = os.path.join(build, "demo-run")
    master = os.path.join(build, "demo-prefix")
    prefix = os.path.join(demo, "prefix")

    started = time.monotonic()
    harness.prepare_master(master)
    if os.path.isdir(prefix):
        harness.stop_wineserver(prefix)
    shutil.rmtree(demo, ignore_errors=True)
    os.makedirs(demo)
    harness.clone_prefix(master, prefix)
    user = harness.prefix_user(prefix)
    exe_windows = f"C:\\users\\{user}\\Downloads\\cdk-setup.exe"
    harness.place_file(exe, harness.windows_to_host(prefix, exe_windows))
    command_file = os.path.join(demo, "command.txt")
    with open(command_file, "w", encoding="utf-8") as f:
        f.write(harness.windows_quote([exe_windows] + arguments))
    log_path = harness.windows_to_host(prefix, f"C:\\users\\{user}\\Temp\\cusched.log")

    print(f"Prefix: {prefix} (a fresh copy of {master})")
    print(f"Command: {harness.windows_quote([exe_windows] + arguments)}")
    for attempt, title in ((1, "First run: a machine without the kit"),
                           (2, "Second run: the same version is installed, so it is removed "
                               "first and installed again")):
        print("\n" + "#" * 96 + f"\n# {title}\n" + "#" * 96)
        offset = os.path.getsize(log_path) if os.path.exists(log_path) else 0
        code = run_launcher(prefix, runner, command_file, os.path.dirname(exe_windows))
        show_run(prefix, log_path, offset, code)
        if code != 0:
            break
    print(f"\nDemo finished in {time.monotonic() - started:.1f} s. The prefix stays in {prefix}.")


if __name__ == "__main__":
    main()
