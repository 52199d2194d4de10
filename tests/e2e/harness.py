"""End-to-end harness: runs a launcher exe under wine64 in a throw-away Wine prefix and checks
what it did.

One scenario (a dict in scenarios.py) runs like this:
  1. A ready Wine prefix (the master, made once with wineboot) is cloned: the Windows
     program files are hard-linked, everything that Wine or the launcher may write (registry
     files, .ini files, user folders) is copied.
  2. The launcher and the msiexec stand-in are placed in the clone, the scenario's files are
     written, and its registry preset is imported with one regedit run, which also starts the
     clone's persistent wineserver and Wine's services.
  3. ScenarioRunner.exe starts the launcher, waits for it and for every process it started,
     and prints the full 32-bit exit code.
  4. The wineserver is stopped (which writes the registry back to system.reg and user.reg),
     and the exit code, the stand-in's record, the log cusched.log, the registry, the files
     and the string resources the launcher loaded are compared with the expectations.
"""

import difflib
import os
import re
import shutil
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools"))

from cdk import payload  # noqa: E402
from cdk.cli import SKIP  # noqa: E402
from cdk.launcher import ansi_codec, parse_log, runner_exit_codes, windows_quote  # noqa: E402
from cdk.pe import PeFile, first_language  # noqa: E402
from cdk.registry import RegistrySnapshot, registry_file_text  # noqa: E402
from cdk.wine import (WINE64, WINE_DLL_OVERRIDES, clone_prefix,  # noqa: E402
                      host_to_windows, place_file, prefix_user, prepare_master, stop_wineserver,
                      start_server, wine_environment, windows_to_host)

# ---------------------------------------------------------------------------------------------
# Values used in scenarios


class _Marker:
    def __init__(self, name):
        self.name = name

    def __repr__(self):
        return self.name

    # Markers are compared by identity: copies of a scenario keep the same marker.
    def __copy__(self):
        return self

    def __deepcopy__(self, memo):
        return self


# A file or registry value that must exist, whatever its content.
PRESENT = _Marker("PRESENT")
# A folder (to place, or expected).
FOLDER = _Marker("FOLDER")
# A copy of the msiexec stand-in (to place, e.g. as the updater's registration program).
STANDIN = _Marker("STANDIN")


class Resource:
    """The data of one resource of the exe under test, by type name and id."""

    def __init__(self, type_name, ident):
        self.type_name = type_name
        self.ident = ident

    def __repr__(self):
        return f"resource {self.type_name}/{self.ident}"


class Contains:
    """A file whose text contains all the given pieces and none of the excluded ones."""

    def __init__(self, *pieces, absent=()):
        self.pieces = pieces
        self.absent = absent

    def __repr__(self):
        return f"text containing {self.pieces!r} without {self.absent!r}"


class ReadOnly:
    """A file to place with the read-only attribute: Wine keeps that attribute as the Unix
    write bits being off."""

    def __init__(self, content):
        self.content = content

    def __repr__(self):
        return f"read-only file {self.content!r}"


class SkipScenario(Exception):
    """This machine cannot set up what the scenario needs; the scenario is skipped."""


# ---------------------------------------------------------------------------------------------
# Small file systems: a folder of the prefix that holds only a few bytes


def mount_small_disk(folder, size):
    """Mounts an empty tmpfs of `size` bytes on the host folder. Needs the right to mount (root,
    or CAP_SYS_ADMIN); without it the scenario is skipped."""
    os.makedirs(folder, exist_ok=True)
    result = subprocess.run(["mount", "-t", "tmpfs", "-o", f"size={size},mode=0755",
                             "cdk-e2e-small-disk", folder],
                            capture_output=True, text=True, check=False)
    if result.returncode != 0:
        raise SkipScenario(f"cannot mount a {size}-byte tmpfs on {folder}: "
                           f"{(result.stderr or result.stdout).strip()} (mounting needs root)")


def unmount_below(folder):
    """Unmounts every file system mounted at or below the host folder, deepest first."""
    root = os.path.realpath(folder)
    with open("/proc/self/mounts") as f:
        points = [line.split()[1].replace("\\040", " ") for line in f]
    for point in sorted((p for p in points if p == root or p.startswith(root + "/")),
                        key=len, reverse=True):
        subprocess.run(["umount", "-l", point], capture_output=True, check=False)


# ---------------------------------------------------------------------------------------------
# What a run left behind


_LOAD_STRING = re.compile(r"^([0-9a-f]+):trace:resource:LoadString[AW] instance = \w+, id = "
                          r"([0-9a-f]+),")


def loaded_strings(wine_errors):
    """Ids of the string resources loaded with LoadStringA/W, from Wine's resource trace."""
    ids = []
    for line in wine_errors.splitlines():
        m = _LOAD_STRING.match(line)
        if m:
            ids.append(int(m.group(2), 16))
    return ids


# ---------------------------------------------------------------------------------------------
# Running one scenario


class Config:
    """Where things are: given by CMake on the command line of e2e.py."""

    def __init__(self, work, exe_dir, standin, runner, keep=False, flavour="win64"):
        self.work = os.path.abspath(work)
        self.exe_dir = os.path.abspath(exe_dir)
        self.standin = os.path.abspath(standin)
        self.runner = os.path.abspath(runner)
        self.keep = keep
        self.flavour = FLAVOURS[flavour]
        self.master = os.path.join(self.work, "prefix-master")


STANDIN_FOLDER = "C:\\Program Files\\Stand-in Installer"
SYSTEM_FOLDER = "C:\\windows\\system32"


class Flavour:
    """What differs between the 64-bit and the 32-bit program, as the scenarios see it: the
    registry view the launcher uses, the architecture digits of its product codes, its working
    folder's name, where the system folder of a 32-bit process lies on the disk (Windows
    redirects its system32 to syswow64), and its common program files folder."""

    def __init__(self, name, bits, workdir_suffix, system_folder_on_disk, common_files):
        self.name = name
        self.bits = bits
        self.workdir_suffix = workdir_suffix
        self.system_folder_on_disk = system_folder_on_disk
        # The common program files folder that the program is given (CSIDL_PROGRAM_FILES_COMMON).
        self.common_files = common_files

    def values(self):
        own, other = ("HKLM", "HKLM32") if self.bits == 64 else ("HKLM32", "HKLM")
        return {"HKLM": own, "HKLM_OTHER": other, "VIEW": str(self.bits),
                "VIEW_OTHER": "32" if self.bits == 64 else "64", "ARCH": str(self.bits)}


FLAVOURS = {
    "win64": Flavour("win64", 64, "_x64", SYSTEM_FOLDER, "C:\\Program Files\\Common Files"),
    "win32": Flavour("win32", 32, "", "C:\\windows\\syswow64",
                     "C:\\Program Files (x86)\\Common Files"),
}
# Windows versions whose user data folder is the roaming one (OS level below Vista).
_PRE_VISTA = {"winxp", "winxp64", "win2003", "win2k", "nt40"}


class Run:
    """One scenario in its own prefix clone: set-up, execution and the observations."""

    def __init__(self, scenario, config):
        self.scenario = scenario
        self.config = config
        self.name = scenario["name"]
        # One folder per process, so that two runs of the same scenario never share a prefix.
        self.folder = os.path.join(config.work, "runs", f"{self.name}.{os.getpid()}")
        self.prefix = os.path.join(self.folder, "prefix")
        self.timings = {}
        self.first_output = ""
        self.first_failures = []
        self.exit_codes = []
        exe = scenario.get("exe", "cdk-setup.exe")
        self.exe = config.standin if exe is STANDIN else os.path.join(config.exe_dir, exe)

    # -- placeholders -------------------------------------------------------------------------

    def _user(self):
        return prefix_user(self.prefix)

    def _values(self):
        user = self._user()
        profile = f"C:\\users\\{user}"
        old = self.scenario.get("windows") in _PRE_VISTA
        userdata = profile + ("\\AppData\\Roaming" if old else "\\AppData\\LocalLow")
        msiexec_mode = self.scenario.get("msiexec", "standin")
        msiexec_folder = STANDIN_FOLDER if msiexec_mode == "standin" else SYSTEM_FOLDER
        flavour = self.config.flavour
        workdir_name = "cdk3.6.0_09" + flavour.workdir_suffix
        other_name = "cdk3.6.0_09" + ("" if flavour.workdir_suffix else "_x64")
        workdir = userdata + "\\Halvard\\Corvid\\" + workdir_name
        values = {
            **flavour.values(),
            "WORKDIR_NAME": workdir_name,
            "OTHER_WORKDIR": userdata + "\\Halvard\\Corvid\\" + other_name,
            "USER": user,
            "PROFILE": profile,
            "USERDATA": userdata,
            "TEMP": profile + "\\Temp",
            "WORKDIR": workdir,
            "MSI": workdir + "\\" + payload.kit_database().name,
            "FLAG": userdata + "\\Halvard\\Corvid\\CORVID_INSTALL_FLAG",
            "AUMSI": userdata + "\\Quillon\\Corvid\\AU\\au.msi",
            "SETTINGS": "C:\\ProgramData\\Quillon\\Corvid\\corvid.settings.cfg",
            "COMMONFILES": flavour.common_files,
            "STANDIN_FOLDER": STANDIN_FOLDER,
            "MSIEXEC_PATH": msiexec_folder + "\\msiexec.exe",
            "EXE_PATH": f"{profile}\\Downloads\\{os.path.basename(self.exe)}",
        }
        values["MSIEXEC"] = '"' + values["MSIEXEC_PATH"] + '"'
        values["LAUNCHER"] = '"' + values["EXE_PATH"] + '"'
        fill = self.scenario.get("fill")
        if fill:
            # {FILL} makes the command template exactly `length` characters long (ASCII, so
            # characters and UTF-16 units are the same), whatever the flavour's paths are.
            self.values = {**values, "FILL": ""}
            values["FILL"] = "F" * (fill["length"] - len(self.expand(fill["command"])))
        return values

    def expand(self, value):
        """Fills {NAME} and {SIZE:TYPE:ID} placeholders in texts, lists and dict keys."""
        if isinstance(value, str):
            def fill(m):
                name = m.group(1)
                if name.startswith("SIZE:"):
                    _, type_name, ident = name.split(":")
                    return str(len(self.resources[(type_name, int(ident))]))
                return self.values[name]
            return re.sub(r"\{([A-Z_]+(?::[A-Z0-9_]+:\d+)?)\}", fill, value)
        if isinstance(value, list):
            return [self.expand(v) for v in value]
        if isinstance(value, dict):
            return {self.expand(k): self.expand(v) for k, v in value.items()}
        return value

    # -- set-up -------------------------------------------------------------------------------

    def _host(self, windows_path):
        return windows_to_host(self.prefix, windows_path)

    def _place_program(self, source, windows_path):
        # The stand-in is copied: scenarios put it where installs write real programs (the
        # updater's caureg.exe), and a write through a hard link would replace the build's
        # stand-in for every later scenario. The launcher is linked; nothing writes to it.
        place_file(source, self._host(windows_path), link=source != self.config.standin)

    def _place_files(self):
        self._place_program(self.exe, self.values["EXE_PATH"])
        mode = self.scenario.get("msiexec", "standin")
        if mode in ("standin", "system", "none"):
            self._place_program(self.config.standin, STANDIN_FOLDER + "\\msiexec.exe")
        if mode == "system":
            self._place_program(self.config.standin,
                                self.config.flavour.system_folder_on_disk + "\\msiexec.exe")
        for path, content in self.expand(self.scenario.get("files", {})).items():
            target = self._host(path)
            if content is FOLDER:
                os.makedirs(target, exist_ok=True)
            elif content is STANDIN:
                self._place_program(self.config.standin, path)
            else:
                read_only = isinstance(content, ReadOnly)
                if read_only:
                    content = content.content
                os.makedirs(os.path.dirname(target), exist_ok=True)
                with open(target, "wb") as f:
                    f.write(content if isinstance(content, bytes) else content.encode("utf-8"))
                if read_only:
                    os.chmod(target, 0o444)
        # Unix symbolic links, which Wine follows as Windows programs follow links. The target
        # is written relative to the link's folder, so that the prefix may move (the guest
        # copies it elsewhere). A folder of the prefix in the link's place is moved to the
        # target first, as an administrator moves a system folder and leaves a link behind.
        for path, target in self.expand(self.scenario.get("links", {})).items():
            link = self._host(path)
            os.makedirs(os.path.dirname(link), exist_ok=True)
            if os.path.isdir(link) and not os.path.islink(link):
                os.makedirs(os.path.dirname(self._host(target)), exist_ok=True)
                shutil.move(link, self._host(target))
            os.symlink(os.path.relpath(self._host(target), os.path.dirname(link)), link)

    def _registry_preset(self):
        preset = {}
        mode = self.scenario.get("msiexec", "standin")
        installer = self.expand("{HKLM}\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer")
        if mode in ("standin", "system"):
            preset[installer] = {"InstallerLocation": STANDIN_FOLDER}
        elif mode == "real":
            preset[installer] = {"InstallerLocation": SYSTEM_FOLDER}
        else:  # a new Wine 8 prefix names the system folder
            preset[installer] = {"InstallerLocation": None}
        if self.scenario.get("windows"):
            preset["HKCU\\Software\\Wine"] = {"Version": self.scenario["windows"]}
        preset.update(self.expand(self.scenario.get("registry", {})))
        return preset

    def _rules_text(self):
        lines = []
        for rule in self.expand(self.scenario.get("rules", [])):
            lines.append("when|" + rule.get("when", ""))
            if rule.get("once"):
                lines.append("once")
            lines += rule.get("do", [])
        return "\n".join(lines) + "\n"

    def _command_line(self):
        if "cmdline" in self.scenario:
            tail = self.expand(self.scenario["cmdline"])
        else:
            tail = windows_quote(self.expand(self.scenario.get("args", [])))
        return self.values["LAUNCHER"] + (" " + tail if tail else "")

    def _file(self, name):
        return os.path.join(self.folder, name)

    def _write_inputs(self):
        """The registry preset, the stand-in's rules and the launcher's command line, as files
        of the run's folder."""
        with open(self._file("preset.reg"), "w", encoding="utf-16") as f:
            f.write(registry_file_text(self._registry_preset()))
        with open(self._file("rules.txt"), "w", encoding="utf-8") as f:
            f.write(self._rules_text())
        with open(self._file("command.txt"), "w", encoding="utf-8") as f:
            f.write(self._command_line())

    def _harness_variables(self, folder, timeout):
        """What the runner and the stand-in take from the environment, with the run's files in
        `folder` (a path of the machine that runs Wine), the scenario's own variables last."""
        variables = {
            "CDK_STANDIN_RECORD": folder + "/record.txt",
            "CDK_STANDIN_RULES": folder + "/rules.txt",
            "CDK_E2E_COMMAND_FILE": folder + "/command.txt",
            "CDK_E2E_DIRECTORY": self.values["EXE_PATH"].rsplit("\\", 1)[0],
            "CDK_E2E_TIMEOUT_MS": str(timeout * 1000),
        }
        if self.scenario.get("msiexec") == "system":
            # Wine runs its built-in msiexec for the system folder's file unless told not to.
            variables["WINEDLLOVERRIDES"] = WINE_DLL_OVERRIDES + ";msiexec.exe=n"
        if self.scenario.get("hold"):
            variables["CDK_E2E_HOLD_FILE"] = self.expand(self.scenario["hold"])
        if self.scenario.get("set_event"):
            variables["CDK_E2E_SET_EVENT"] = self.expand(self.scenario["set_event"])
        variables.update(self.expand(self.scenario.get("env", {})))
        return variables

    # -- execution ----------------------------------------------------------------------------

    def stop_server(self):
        """Ends the prefix's processes; the server writes the registry files as it exits."""
        stop_wineserver(self.prefix)

    def execute(self):
        started = time.monotonic()
        prepare_master(self.config.master)
        if os.path.isdir(self.prefix):  # left by an interrupted run, maybe with its server
            stop_wineserver(self.prefix)
        unmount_below(self.folder)
        shutil.rmtree(self.folder, ignore_errors=True)
        os.makedirs(self.folder)
        clone_prefix(self.config.master, self.prefix)
        self.resources = first_language(PeFile(self.exe).resources())
        self.values = self._values()
        for path, size in self.expand(self.scenario.get("small_disk", {})).items():
            mount_small_disk(self._host(path), size)
        self._place_files()
        self.timings["clone"] = time.monotonic() - started
        self._write_inputs()

        scenario_env = self.expand(self.scenario.get("env", {}))
        timeout = self.scenario.get("timeout", 30)
        env = wine_environment(self.prefix, self._harness_variables(self.folder, timeout))

        try:
            step = time.monotonic()
            # The first program, which starts the services, applies the registry preset.
            start_server(env, ("regedit", "/S", host_to_windows(self._file("preset.reg"))),
                         timeout=60)
            self.timings["start"] = time.monotonic() - step

            # Wine's errors, and the string resources the programs load (message texts).
            env["WINEDEBUG"] = "-all,err+all,trace+resource"
            first = self.scenario.get("first_run")
            if first is not None:
                step = time.monotonic()
                first_env = dict(env)
                if first.get("kill_on_event"):
                    first_env["CDK_E2E_KILL_ON_EVENT"] = first["kill_on_event"]
                first_env.update(self.expand(first.get("env", {})))
                self.first_output = self._run_runner(first_env, timeout, "wine-stderr-first.txt")
                self.first_failures = self._check_first_run(first.get("expect", {}))
                self.timings["first run"] = time.monotonic() - step

            step = time.monotonic()
            if self.scenario.get("together"):
                env["CDK_E2E_TOGETHER"] = str(self.scenario["together"])
            self.runner_output = self._run_runner(env, timeout, "wine-stderr.txt")
            self.timings["run"] = time.monotonic() - step
        except subprocess.TimeoutExpired:
            self.runner_output = "timeout harness"
        finally:
            step = time.monotonic()
            self.stop_server()
            self.timings["stop"] = time.monotonic() - step
        self._observe(scenario_env.get("LC_ALL"))
        self.timings["total"] = time.monotonic() - started

    def _run_runner(self, env, timeout, errors_name):
        """Runs ScenarioRunner.exe once and returns what it printed."""
        try:
            with open(self._file(errors_name), "wb") as errors:
                result = subprocess.run([WINE64, self.config.runner], env=env,
                                        stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                        stderr=errors, check=False, timeout=timeout + 15)
        except subprocess.TimeoutExpired:
            return "timeout harness"
        return result.stdout.decode("utf-8", errors="replace").replace("\r", "")

    def _check_first_run(self, expect):
        """Checks a first run's expectations at once, while its files are as it left them."""
        failures = []
        codes = runner_exit_codes(self.first_output)
        if "exit" in expect and [expect["exit"]] != codes:
            failures.append(f"first run: exit code: expected {expect['exit']}, got {codes} "
                            f"(runner said: {self.first_output.strip()!r})")
        for line in self.expand(expect.get("runner", [])):
            if line not in self.first_output.splitlines():
                failures.append(f"first run: the runner did not say {line!r} "
                                f"(it said: {self.first_output.strip()!r})")
        for path, wanted in self.expand(expect.get("files", {})).items():
            failures += ["first run: " + f for f in self._check_file(path, wanted)]
        return failures

    def _observe(self, lc_all):
        # A time-out of the launcher or of what it started counts, whatever the exit code.
        self.exit_codes = runner_exit_codes(self.runner_output)
        self.exit_code = self.exit_codes[0] if self.exit_codes else None
        self.record = []
        if os.path.exists(self._file("record.txt")):
            with open(self._file("record.txt"), encoding="utf-8", errors="replace") as f:
                self.record = f.read().splitlines()
        self.commands = [line[4:] for line in self.record if line.startswith("cmd ")]
        log_path = self._host(self.values["TEMP"] + "\\cusched.log")
        self.log_bytes = b""
        if os.path.exists(log_path):
            with open(log_path, "rb") as f:
                self.log_bytes = f.read()
            shutil.copy(log_path, self._file("cusched.log"))
        self.log = parse_log(self.log_bytes, ansi_codec(lc_all))
        self.wine_errors = ""
        if os.path.exists(self._file("wine-stderr.txt")):
            with open(self._file("wine-stderr.txt"), encoding="utf-8", errors="replace") as f:
                self.wine_errors = f.read()
        self.strings = loaded_strings(self.wine_errors)
        self.registry = RegistrySnapshot(self.prefix)

    def cleanup(self, passed):
        """Removes the prefix; a passed run leaves nothing, a failed one its records. A small
        disk goes in any case."""
        unmount_below(self.folder)
        if not self.config.keep:
            shutil.rmtree(self.folder if passed else self.prefix, ignore_errors=True)

    # -- checks -------------------------------------------------------------------------------

    def check(self):
        """Returns the list of failures, each a readable text; empty when all expectations
        hold."""
        expect = self.scenario.get("expect", {})
        failures = list(self.first_failures)
        if "exit" in expect and expect["exit"] != self.exit_code:
            failures.append(f"exit code: expected {expect['exit']}, got {self.exit_code}"
                            f" (runner said: {self.runner_output.strip()!r})")
        # Launchers started together finish in any order.
        if "exits" in expect and sorted(expect["exits"], key=str) != sorted(self.exit_codes,
                                                                             key=str):
            failures.append(f"exit codes: expected {expect['exits']} in any order, got "
                            f"{self.exit_codes} (runner said: {self.runner_output.strip()!r})")
        if "commands" in expect:
            wanted = self.expand(expect["commands"])
            if wanted != self.commands:
                diff = difflib.unified_diff(wanted, self.commands, "expected", "actual",
                                            lineterm="", n=1)
                failures.append("msiexec command lines differ:\n  " + "\n  ".join(diff))
        for line in self.expand(expect.get("runner", [])):
            if line not in self.runner_output.splitlines():
                failures.append(f"the runner did not say {line!r} "
                                f"(it said: {self.runner_output.strip()!r})")
        failures += self._check_log(expect)
        for line in self.expand(expect.get("record", [])):
            if line not in self.record:
                failures.append(f"stand-in record lacks the line {line!r}")
        for line in self.expand(expect.get("record_absent", [])):
            if line in self.record:
                failures.append(f"stand-in record has the line {line!r}")
        for ident in expect.get("strings", []):
            if ident not in self.strings:
                failures.append(f"string resource {ident} was not loaded "
                                f"(loaded: {self.strings})")
        for ident in expect.get("strings_absent", []):
            if ident in self.strings:
                failures.append(f"string resource {ident} was loaded")
        for path, wanted in self.expand(expect.get("files", {})).items():
            failures += self._check_file(path, wanted)
        for key, values in self.expand(expect.get("registry", {})).items():
            failures += self._check_key(key, values)
        return failures

    def _check_log(self, expect):
        failures = []
        position = 0
        for text in self.expand(expect.get("log", [])):
            found = next((i for i in range(position, len(self.log)) if text in self.log[i]), None)
            if found is None:
                earlier = any(text in r for r in self.log[:position])
                failures.append(f"log lacks {text!r}" + (" after the texts before it (it "
                                                         "appears earlier)" if earlier else ""))
            else:
                position = found
        for text in self.expand(expect.get("log_absent", [])):
            for record in self.log:
                if text in record:
                    failures.append(f"log has {text!r} in the record {record!r}")
        return failures

    def _check_file(self, path, wanted):
        target = self._host(path)
        exists = os.path.lexists(target)
        if wanted is None:
            return [f"file {path} exists, expected none"] if exists else []
        if not exists:
            return [f"file {path} is missing (expected {wanted!r})"]
        if wanted is FOLDER:
            return [] if os.path.isdir(target) else [f"{path} is not a folder"]
        if os.path.isdir(target):
            return [f"{path} is a folder, expected {wanted!r}"]
        with open(target, "rb") as f:
            data = f.read()
        if wanted is PRESENT:
            return []
        if isinstance(wanted, Resource):
            expected = self.resources.get((wanted.type_name, wanted.ident))
            if expected is None:
                return [f"the exe has no {wanted!r} to compare {path} with"]
            if data != expected:
                return [f"file {path} ({len(data)} bytes) differs from {wanted!r} "
                        f"({len(expected)} bytes)"]
            return []
        if isinstance(wanted, int):
            return [] if len(data) == wanted else [f"file {path}: {len(data)} bytes, "
                                                   f"expected {wanted}"]
        text = data.decode("utf-8", errors="replace")
        if isinstance(wanted, Contains):
            missing = [p for p in wanted.pieces if p not in text]
            extra = [p for p in wanted.absent if p in text]
            if missing or extra:
                return [f"file {path}: lacks {missing}, has {extra}; content {text!r}"]
            return []
        wanted_bytes = wanted if isinstance(wanted, bytes) else wanted.encode("utf-8")
        return [] if data == wanted_bytes else [f"file {path}: content {data!r}, expected "
                                                f"{wanted_bytes!r}"]

    def _check_key(self, key, values):
        actual = self.registry.key(key)
        if values is None:
            return [f"registry key {key} exists: {actual}"] if actual is not None else []
        if actual is None:
            return [f"registry key {key} is missing"]
        failures = []
        for name, wanted in values.items():
            value = actual.get(name.lower())
            if wanted is None and value is not None:
                failures.append(f"registry value {key}\\{name} = {value!r}, expected none")
            elif wanted is PRESENT and value is None:
                failures.append(f"registry value {key}\\{name} is missing")
            elif wanted not in (None, PRESENT) and value != wanted:
                failures.append(f"registry value {key}\\{name} = {value!r}, expected {wanted!r}")
        return failures

    def report(self, failures):
        lines = [f"scenario {self.name}: " + ("FAILED" if failures else "passed")]
        lines += ["  - " + f.replace("\n", "\n    ") for f in failures]
        if failures:
            lines.append(f"exit code: {self.exit_code}")
            if self.first_output:
                lines.append("first run, the runner said: " + self.first_output.strip())
            command = self._command_line()
            lines.append("command line: " + (command if len(command) < 400 else
                                             f"{command[:400]}... ({len(command)} characters)"))
            lines.append("stand-in record:")
            lines += ["  " + line for line in self.record] or ["  (empty)"]
            lines.append("last records of cusched.log:")
            for record in self.log[-25:] or ["(no log)"]:
                lines.append("  " + record.replace("\n", "\n  "))
            noise = [line for line in self.wine_errors.splitlines()
                     if ":trace:" not in line and "nodrv_CreateWindow" not in line]
            if noise:
                lines.append("wine's own messages (last 15):")
                lines += ["  " + line for line in noise[-15:]]
            lines.append(f"files of this run: {self.folder}")
        timing = ", ".join(f"{k} {v:.2f} s" for k, v in self.timings.items())
        lines.append(f"timing: {timing}")
        return "\n".join(lines)


def stop_leftover_servers(config):
    """Stops the servers of prefixes that interrupted runs left behind, and unmounts their
    small disks."""
    runs = os.path.join(config.work, "runs")
    for name in sorted(os.listdir(runs)) if os.path.isdir(runs) else []:
        prefix = os.path.join(runs, name, "prefix")
        if os.path.isdir(prefix):
            stop_wineserver(prefix)
    if os.path.isdir(runs):
        unmount_below(runs)


def run_scenario(scenario, config):
    """Runs one scenario; returns (status, report): 0 passed, 1 failed, SKIP skipped."""
    run = Run(scenario, config)
    if not os.path.isfile(run.exe):
        return SKIP, (f"SKIP {run.name}: {run.exe} does not exist yet; this scenario runs once "
                      "the launcher and its payload variants are built")
    failures = ["the run did not finish"]
    try:
        run.execute()
        failures = run.check()
    except SkipScenario as reason:
        return SKIP, f"SKIP {run.name}: {reason}"
    finally:
        run.cleanup(not failures)
    return (1 if failures else 0), run.report(failures)
