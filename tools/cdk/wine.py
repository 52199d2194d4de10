"""Wine prefixes for the harnesses: the environment a run gets, a master prefix made once and
cheap clones of it, the prefix's persistent server, and paths between the Windows side and the
host."""

import fcntl
import os
import re
import shutil
import signal
import subprocess
import time


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


def place_file(source, target, link=True):
    """Hard-links a file of the build tree into a prefix, or copies it across file systems.
    With link=False it is always copied: for a file that a program in the prefix may overwrite
    in place (CopyFile onto an existing file keeps its inode), which through a hard link would
    change the build tree's file for every later run."""
    os.makedirs(os.path.dirname(target), exist_ok=True)
    if os.path.lexists(target):
        os.unlink(target)  # never write through a link shared with the master
    if link:
        try:
            os.link(source, target)
            return
        except OSError:
            pass
    shutil.copy2(source, target)


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


def start_server(env, first_program=("cmd", "/c", "exit", "0"), timeout=120):
    """Starts the prefix's persistent server and Wine's services (the first program starts
    them), with no output of the caller open: they outlive it."""
    quiet = {"stdin": subprocess.DEVNULL, "stdout": subprocess.DEVNULL,
             "stderr": subprocess.DEVNULL}
    subprocess.run([WINESERVER, "-p"], env=env, check=False, **quiet)
    if first_program:
        subprocess.run([WINE64, *first_program], env=env, check=False, timeout=timeout, **quiet)
