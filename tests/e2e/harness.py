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
import fcntl
import os
import re
import shutil
import signal
import struct
import subprocess
import time

# Exit status that CTest reports as "skipped" (SKIP_RETURN_CODE).
SKIP = 77

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


# ---------------------------------------------------------------------------------------------
# Wine


def _first_executable(*candidates):
    for candidate in candidates:
        if candidate and os.access(candidate, os.X_OK):
            return candidate
    return None


WINE64 = _first_executable("/usr/lib/wine/wine64", shutil.which("wine64"))
WINESERVER = _first_executable("/usr/lib/wine/wineserver64", shutil.which("wineserver"))

# Files that no scenario changes: shared with the master prefix through hard links. Everything
# else is copied, because Wine rewrites some files in place (win.ini, for one).
_SHARED_SUFFIXES = {".dll", ".exe", ".sys", ".drv", ".nls", ".acm", ".cpl", ".ocx", ".tlb",
                    ".ds", ".ax", ".com", ".msstyles"}


# No Mono/Gecko installers; a crash ends the process at once instead of starting the debugger;
# no menu entries in the host's home folder.
WINE_DLL_OVERRIDES = "mscoree=d;mshtml=d;winedbg.exe=d;winemenubuilder.exe=d"


def wine_environment(prefix, extra=None):
    # No display: message boxes return at once. No LANGUAGE: the UI language comes from LC_ALL.
    env = {k: v for k, v in os.environ.items()
           if k not in ("DISPLAY", "WAYLAND_DISPLAY", "LANGUAGE", "LANG")}
    env.update({
        "WINEPREFIX": prefix,
        "WINEARCH": "win64",
        "WINEDEBUG": "-all",
        "WINEDLLOVERRIDES": WINE_DLL_OVERRIDES,
        # A locale that always exists, so that Wine's Unix side decodes UTF-8.
        "LC_ALL": "C.UTF-8",
    })
    env.update(extra or {})
    return env


def wine_version():
    out = subprocess.run([WINE64, "--version"], capture_output=True, text=True, check=False)
    return out.stdout.strip()


def stop_wineserver(prefix):
    """Ends every process of the prefix; the server writes the registry files as it exits."""
    env = wine_environment(prefix)
    subprocess.run([WINESERVER, "-k"], env=env, stdin=subprocess.DEVNULL,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=False)
    subprocess.run([WINESERVER, "-w"], env=env, stdin=subprocess.DEVNULL,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=False, timeout=30)


def _running(pid):
    """Whether the process exists and has not ended (a zombie has)."""
    try:
        with open(f"/proc/{pid}/stat", "rb") as f:
            return f.read().rsplit(b")", 1)[1].split()[0] != b"Z"
    except (OSError, IndexError):
        return False


def kill_prefix(prefix):
    """Ends every process of the prefix at once (SIGKILL), its server included, and removes the
    server's socket folder. Faster than stop_wineserver by the server's orderly exit (about
    0.75 s a run), but the server does not write the registry files: only for runs whose
    registry nobody reads afterwards (the fault sweep)."""
    marker = b"\0WINEPREFIX=" + os.fsencode(prefix) + b"\0"
    pids = []
    folders = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open(f"/proc/{entry}/environ", "rb") as f:
                if marker not in b"\0" + f.read():
                    continue
            pids.append(int(entry))
            if os.path.basename(os.readlink(f"/proc/{entry}/exe")).startswith("wineserver"):
                folders.append(os.readlink(f"/proc/{entry}/cwd"))
        except OSError:
            continue
    for pid in pids:
        try:
            os.kill(pid, signal.SIGKILL)
        except ProcessLookupError:
            pass
    deadline = time.monotonic() + 10
    while pids and time.monotonic() < deadline:
        pids = [pid for pid in pids if _running(pid)]
        if pids:
            time.sleep(0.01)
    for folder in folders:
        if os.path.basename(folder).startswith("server-"):
            shutil.rmtree(folder, ignore_errors=True)


def prepare_master(master):
    """Creates the master prefix once (wineboot), under a lock; recreated when Wine changes."""
    os.makedirs(os.path.dirname(master), exist_ok=True)
    stamp = master + ".ready"
    with open(master + ".lock", "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        version = wine_version()
        if os.path.isdir(master) and os.path.exists(stamp):
            with open(stamp) as f:
                if f.read() == version:
                    return
        shutil.rmtree(master, ignore_errors=True)
        env = wine_environment(master)
        subprocess.run([WINE64, "wineboot", "-i"], env=env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=False)
        subprocess.run([WINESERVER, "-w"], env=env, check=False)
        if not os.path.isfile(os.path.join(master, "system.reg")):
            raise RuntimeError(f"wineboot did not create a prefix in {master}")
        with open(stamp, "w") as f:
            f.write(version)


def clone_prefix(master, destination):
    def link_or_copy(source, target):
        if os.path.splitext(source)[1].lower() in _SHARED_SUFFIXES:
            os.link(source, target)
        else:
            shutil.copy2(source, target)

    shutil.copytree(master, destination, symlinks=True, copy_function=link_or_copy)
    detach_host_folders(destination)


def detach_host_folders(prefix):
    """Wine links the user's Desktop, Documents, Downloads and the like to the host's home
    folder. A prefix of its own must not share them with other prefixes (or the host): each such
    link becomes an empty folder of the prefix."""
    users = os.path.join(prefix, "drive_c", "users")
    for user in os.listdir(users) if os.path.isdir(users) else []:
        folder = os.path.join(users, user)
        if not os.path.isdir(folder) or os.path.islink(folder):
            continue
        for name in os.listdir(folder):
            path = os.path.join(folder, name)
            if os.path.islink(path) and not os.path.realpath(path).startswith(
                    os.path.realpath(prefix) + os.sep):
                os.unlink(path)
                os.makedirs(path)


def place_file(source, target):
    """Hard-links a file of the build tree into a prefix, or copies it across file systems."""
    os.makedirs(os.path.dirname(target), exist_ok=True)
    if os.path.lexists(target):
        os.unlink(target)  # never write through a link shared with the master
    try:
        os.link(source, target)
    except OSError:
        shutil.copy2(source, target)


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
# Paths of the Windows side


def windows_to_host(prefix, path):
    """Maps C:\\... in the prefix to the host path, matching existing names without regard to
    case as Windows does; missing parts keep the given spelling."""
    if not re.match(r"^[cC]:\\", path):
        raise ValueError(f"only paths on drive C: can be placed or checked: {path}")
    current = os.path.join(prefix, "drive_c")
    for part in [p for p in path[3:].split("\\") if p]:
        candidate = os.path.join(current, part)
        if not os.path.lexists(candidate) and os.path.isdir(current):
            for name in os.listdir(current):
                if name.lower() == part.lower():
                    candidate = os.path.join(current, name)
                    break
        current = candidate
    return current


def host_to_windows(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def prefix_user(prefix):
    users = os.path.join(prefix, "drive_c", "users")
    names = [n for n in sorted(os.listdir(users)) if n.lower() != "public"]
    if not names:
        raise RuntimeError(f"no user folder in {users}")
    return names[0]


# ---------------------------------------------------------------------------------------------
# Registry


def _registry_parts(key):
    """'HKLM\\SOFTWARE\\X' -> ('HKEY_LOCAL_MACHINE', 'SOFTWARE\\X'); HKLM32 names the 32-bit
    view, which a 64-bit regedit sees below SOFTWARE\\Wow6432Node."""
    root, _, rest = key.partition("\\")
    if root == "HKLM32":
        head, _, tail = rest.partition("\\")
        if head.lower() != "software":
            raise ValueError(f"HKLM32 keys must lie below SOFTWARE: {key}")
        return "HKEY_LOCAL_MACHINE", "SOFTWARE\\Wow6432Node" + ("\\" + tail if tail else "")
    roots = {"HKLM": "HKEY_LOCAL_MACHINE", "HKCU": "HKEY_CURRENT_USER"}
    if root not in roots:
        raise ValueError(f"registry root must be HKLM, HKLM32 or HKCU: {key}")
    return roots[root], rest


def _reg_string(text):
    return '"' + text.replace("\\", "\\\\").replace('"', '\\"') + '"'


def registry_file_text(preset):
    """A regedit file that applies a preset {key: {name: value} or None}. A str value is
    REG_SZ, an int REG_DWORD, bytes REG_BINARY, None deletes the value; a key mapped to None is
    deleted."""
    lines = ["Windows Registry Editor Version 5.00", ""]
    for key, values in preset.items():
        root, path = _registry_parts(key)
        if values is None:
            lines += [f"[-{root}\\{path}]", ""]
            continue
        lines.append(f"[{root}\\{path}]")
        for name, value in values.items():
            quoted = "@" if name == "" else _reg_string(name)
            if value is None:
                lines.append(f"{quoted}=-")
            elif isinstance(value, bool) or not isinstance(value, (int, str, bytes)):
                raise ValueError(f"unsupported registry value {value!r} for {key}\\{name}")
            elif isinstance(value, bytes):
                lines.append(f"{quoted}=hex:" + ",".join(f"{b:02x}" for b in value))
            elif isinstance(value, int):
                lines.append(f"{quoted}=dword:{value & 0xFFFFFFFF:08x}")
            else:
                lines.append(f"{quoted}={_reg_string(value)}")
        lines.append("")
    return "\r\n".join(lines) + "\r\n"


def _unescape_wine_string(text):
    out = []
    i = 0
    while i < len(text):
        c = text[i]
        if c == "\\" and i + 1 < len(text):
            n = text[i + 1]
            if n == "x":
                m = re.match(r"[0-9a-fA-F]{1,4}", text[i + 2:])
                out.append(chr(int(m.group(0), 16)))
                i += 2 + len(m.group(0))
                continue
            out.append({"n": "\n", "r": "\r", "t": "\t", "0": "\0"}.get(n, n))
            i += 2
            continue
        out.append(c)
        i += 1
    return "".join(out)


def read_wine_registry(path):
    """Parses a Wine registry file into {lower-case key path: {lower-case name: value}}: REG_SZ
    as str, REG_DWORD as int, REG_BINARY as bytes, anything else as its raw text."""
    keys = {}
    current = None
    with open(path, encoding="utf-8", errors="replace") as f:
        text = f.read().replace("\\\n", "")
    for line in text.splitlines():
        if line.startswith("["):
            m = re.match(r"^\[(.*)\]", line)
            current = keys.setdefault(_unescape_wine_string(m.group(1)).lower(), {})
            continue
        if current is None or not line or line[0] not in '"@':
            continue
        if line.startswith("@="):
            name, raw = "", line[2:]
        else:
            m = re.match(r'^"((?:[^"\\]|\\.)*)"=(.*)$', line)
            if not m:
                continue
            name, raw = _unescape_wine_string(m.group(1)), m.group(2)
        if raw.startswith('"') and raw.endswith('"'):
            value = _unescape_wine_string(raw[1:-1])
        elif raw.startswith("str(2):\"") and raw.endswith('"'):
            value = _unescape_wine_string(raw[8:-1])
        elif raw.startswith("dword:"):
            value = int(raw[6:], 16)
        elif raw.startswith("hex:"):
            value = bytes.fromhex(raw[4:].replace(",", "").replace(" ", ""))
        else:
            value = raw
        current[name.lower()] = value
    return keys


class RegistrySnapshot:
    def __init__(self, prefix):
        self.machine = read_wine_registry(os.path.join(prefix, "system.reg"))
        self.user = read_wine_registry(os.path.join(prefix, "user.reg"))

    def key(self, key):
        root, path = _registry_parts(key)
        hive = self.machine if root == "HKEY_LOCAL_MACHINE" else self.user
        return hive.get(path.lower())


# ---------------------------------------------------------------------------------------------
# Resources of a PE file


def pe_resources(path):
    """{(type, id): bytes} for every resource of a PE file; a type or id is an int, or an
    upper-case str for a named one. Only the first language of each resource is taken."""
    with open(path, "rb") as f:
        data = f.read()
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    if data[pe:pe + 4] != b"PE\0\0":
        raise ValueError(f"{path} is not a PE file")
    sections = struct.unpack_from("<H", data, pe + 6)[0]
    optional_size = struct.unpack_from("<H", data, pe + 20)[0]
    optional = pe + 24
    magic = struct.unpack_from("<H", data, optional)[0]
    directories = optional + (112 if magic == 0x20B else 96)
    resource_rva, _ = struct.unpack_from("<II", data, directories + 2 * 8)
    table = optional + optional_size

    def offset(rva):
        for i in range(sections):
            s = table + 40 * i
            size, address, _, pointer = struct.unpack_from("<IIII", data, s + 8)
            if address <= rva < address + max(size, 1):
                return rva - address + pointer
        raise ValueError(f"RVA {rva:#x} lies in no section of {path}")

    if resource_rva == 0:
        return {}
    base = offset(resource_rva)

    def entries(directory):
        named, numbered = struct.unpack_from("<HH", data, base + directory + 12)
        for i in range(named + numbered):
            name, target = struct.unpack_from("<II", data, base + directory + 16 + 8 * i)
            if name & 0x80000000:
                at = base + (name & 0x7FFFFFFF)
                length = struct.unpack_from("<H", data, at)[0]
                name = data[at + 2:at + 2 + 2 * length].decode("utf-16-le").upper()
            yield name, target

    found = {}
    for type_name, types in entries(0):
        for ident, languages in entries(types & 0x7FFFFFFF):
            for _, leaf in entries(languages & 0x7FFFFFFF):
                rva, size = struct.unpack_from("<II", data, base + leaf)
                found[(type_name, ident)] = data[offset(rva):offset(rva) + size]
                break
    return found


# ---------------------------------------------------------------------------------------------
# What a run left behind


_LOG_HEADER = re.compile(r"^\[\d{4}/\d{2}/\d{2} \d{2}:\d{2}:\d{2}\.\d{3}, .*\]$")


def ansi_codec(lc_all):
    """The ANSI code page that Wine chooses for a locale name, as a Python codec."""
    name = (lc_all or "").lower()
    if name.startswith("ja"):
        return "cp932"
    if name.startswith("zh_cn") or name.startswith("zh_sg"):
        return "gbk"
    if name.startswith("zh"):
        return "big5"
    return "cp1252"


def parse_log(data, codec):
    """Records of cusched.log as "LEVEL: message" texts (a message may span lines)."""
    records = []
    text = data.decode(codec, errors="replace").replace("\r\n", "\n")
    if text.endswith("\n"):
        text = text[:-1]  # the line break that ends the last record
    for line in text.split("\n"):
        if _LOG_HEADER.match(line):
            records.append([])
        elif records:
            records[-1].append(line[1:] if not records[-1] and line.startswith("\t") else line)
    return ["\n".join(r) for r in records]


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


def runner_exit_codes(output):
    """The launchers' exit codes that the runner printed, in start order; "timeout" when the
    time ran out."""
    if "timeout" in output:
        return ["timeout"]
    return [int(m) for m in re.findall(r"^exit-code (-?\d+)$", output, re.M)]


def windows_quote(args):
    """A Windows command line for an argument vector, by the rules of the C runtime."""
    return subprocess.list2cmdline(args)


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
            "MSI": workdir + "\\cdk3.6.0_09.msi",
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
        place_file(source, self._host(windows_path))

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
        self.resources = pe_resources(self.exe)
        self.values = self._values()
        for path, size in self.expand(self.scenario.get("small_disk", {})).items():
            mount_small_disk(self._host(path), size)
        self._place_files()
        self.timings["clone"] = time.monotonic() - started
        self._write_inputs()

        scenario_env = self.expand(self.scenario.get("env", {}))
        timeout = self.scenario.get("timeout", 30)
        env = wine_environment(self.prefix, self._harness_variables(self.folder, timeout))

        quiet = {"stdin": subprocess.DEVNULL, "stdout": subprocess.DEVNULL,
                 "stderr": subprocess.DEVNULL}
        try:
            step = time.monotonic()
            # A persistent server, with the services started by the first program (regedit),
            # none of which may hold this harness's output open.
            subprocess.run([WINESERVER, "-p"], env=env, check=False, **quiet)
            subprocess.run([WINE64, "regedit", "/S", host_to_windows(self._file("preset.reg"))],
                           env=env, check=False, timeout=60, **quiet)
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
