#!/usr/bin/python3
"""Runs a batch of 32-bit Windows programs in the test guest, in one boot.

The guest (scripts/guest/build-image.sh) is a Debian system with 32-bit and 64-bit Wine, booted
by qemu-system-x86_64 under TCG from a throw-away qcow2 overlay of the cached image. A folder of
the host is shared with it over 9p: the programs go in, a job script runs them one after the
other through exit-code-runner.exe (which keeps all 32 bits of each exit code), and each
program's stdout, stderr and exit code come back in results/<name>/.

  run-batch.py --name BATCH --manifest FILE --results DIR --runner EXE [--timeout S]
              [--suite FOLDER]
      Runs the batch. FILE is JSON: a list of {"name", "program", "args", "env", "timeout",
      "wine_version"}. DIR/<name>/ receives stdout, stderr and exitcode. A suite FOLDER (the
      launcher's scenarios, tests/e2e/guest.py) is copied to DIR/share/suite and its run-all.sh
      runs first, while the guest's Wine prefix is untouched; what it leaves stays in
      DIR/share/suite, its output in DIR/share/suite.log. Exits 0 when the guest
      ran every program and gave back every result, whatever the programs' own exit codes;
      1, with a message naming the batch, on a kernel oops, a time-out, a job that did not
      finish or a missing result.
  run-batch.py --show DIR NAME
      Prints a program's result and exits 0 when its exit code was 0, 1 otherwise (also when
      the batch gave no result for it, with the reason).
  run-batch.py --boot-only --name BATCH --share DIR [--image-dir DIR] [--writable]
      Boots the guest once on a prepared share folder with a job.sh in it (used to build the
      image); --writable boots the image itself instead of an overlay.
"""

import argparse
import json
import os
import re
import shlex
import shutil
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "tools"))

from cdk import guest  # noqa: E402

DEFAULT_CACHE = guest.IMAGE_CACHE
# Signs in the guest's console that its kernel went wrong: the run does not count then.
KERNEL_TROUBLE = re.compile(
    r"Oops|BUG: |Kernel panic|general protection fault|kernel BUG|Call Trace:|RIP: 0010:")
GUEST_PREFIX = guest.PREFIX


class BatchFailure(Exception):
    pass


def log(message):
    print(f"run-batch: {message}", file=sys.stderr, flush=True)


def boot(batch, image_dir, share, timeout, writable=False):
    """Boots the guest with SHARE as hostshare; returns when it powered off. Raises
    BatchFailure on a time-out, a kernel oops or a job that wrote no job.rc."""
    disk = os.path.join(image_dir, "disk.raw")
    kernel = os.path.join(image_dir, "vmlinuz")
    initrd = os.path.join(image_dir, "initrd.img")
    for f in (disk, kernel, initrd):
        if not os.path.isfile(f):
            raise BatchFailure(f"batch {batch}: the guest image is missing {f} "
                               "(scripts/guest/build-image.sh builds it)")
    console = os.path.join(share, "console.log")
    for stale in ("job.rc", "job.log", "console.log"):
        if os.path.exists(os.path.join(share, stale)):
            os.remove(os.path.join(share, stale))
    if writable:
        drive = f"file={disk},format=raw,if=virtio"
        overlay = None
    else:
        overlay = os.path.join(share + ".overlay.qcow2")
        if os.path.exists(overlay):
            os.remove(overlay)
        subprocess.run(["qemu-img", "create", "-q", "-f", "qcow2", "-F", "raw", "-b", disk,
                        overlay], check=True)
        drive = f"file={overlay},format=qcow2,if=virtio"
    # -cpu max,-smap: with SMAP the guest kernel oopses as soon as Wine runs under this TCG.
    # oops=panic and panic=-1 with -no-reboot end the machine at once when the kernel fails.
    cmd = ["qemu-system-x86_64", "-accel", "tcg", "-cpu", "max,-smap", "-smp", "2", "-m", "3G",
           "-display", "none", "-monitor", "none", "-serial", f"file:{console}", "-no-reboot",
           "-kernel", kernel, "-initrd", initrd,
           "-append", "root=/dev/vda rw console=ttyS0 init=/sbin/cdk-init oops=panic panic=-1",
           "-drive", drive,
           "-virtfs", f"local,path={share},mount_tag=hostshare,security_model=none,id=hs",
           "-nic", "none"]
    start = time.monotonic()
    proc = subprocess.Popen(cmd, stdin=subprocess.DEVNULL)
    try:
        proc.wait(timeout=timeout)
    except subprocess.TimeoutExpired:
        proc.kill()
        proc.wait()
        raise BatchFailure(f"batch {batch}: TIMED OUT after {timeout} s; the guest was stopped "
                           f"(console: {console})")
    finally:
        if overlay and os.path.exists(overlay):
            os.remove(overlay)
    seconds = time.monotonic() - start
    text = ""
    if os.path.exists(console):
        with open(console, errors="replace") as f:
            text = f.read()
    trouble = KERNEL_TROUBLE.search(text)
    if trouble:
        lines = text[max(0, trouble.start() - 200):trouble.start() + 1500]
        raise BatchFailure(f"batch {batch}: the guest KERNEL FAILED ({trouble.group(0)!r} in "
                           f"{console}); no result of this boot counts:\n{lines}")
    if proc.returncode != 0:
        raise BatchFailure(f"batch {batch}: qemu exited {proc.returncode} (console: {console})")
    rc_file = os.path.join(share, "job.rc")
    if not os.path.exists(rc_file):
        tail = "\n".join(text.splitlines()[-30:])
        raise BatchFailure(f"batch {batch}: the guest's job did not finish (no job.rc; "
                           f"console: {console}):\n{tail}")
    with open(rc_file) as f:
        job_rc = f.read().strip()
    log(f"batch {batch}: guest boot took {seconds:.0f} s, job status {job_rc}")
    return job_rc, seconds


def job_script(items, per_default, suite=False):
    lines = ["# Made by run-batch.py: runs each program of the batch in turn."]
    if suite:
        # Before anything starts Wine in the ready prefix: the scenarios use it as the lower
        # layer of their overlays.
        lines.append("echo '=== suite'; sh /mnt/share/suite/run-all.sh >/mnt/share/suite.log "
                     "2>&1 </dev/null; echo \"=== suite: status $?\"")
    lines += [
        f"export WINEPREFIX={GUEST_PREFIX} WINEDEBUG=-all",
        "export WINEDLLOVERRIDES='mscoree=d;mshtml=d;winedbg.exe=d'",
        # The host's tests run with LANG=C.UTF-8; without a UTF-8 locale, Wine cannot map
        # non-ASCII Windows file names to Linux ones.
        "export LANG=C.UTF-8",
        "unset DISPLAY",
        "cp -r /mnt/share/bin /tmp/run",
        "cp /mnt/share/exit-code-runner.exe /tmp/run/",
        "mkdir -p /mnt/share/results",
        # One persistent wineserver with Wine's services up before the first program.
        "wineserver -p; wine cmd /c exit >/dev/null 2>&1",
    ]
    for item in items:
        name = item["name"]
        out = f"/mnt/share/results/{name}"
        exe_dir = f"/tmp/run/{item['dir']}"
        win_exe = "Z:" + f"{exe_dir}/{item['exe']}".replace("/", "\\")
        win_code = "Z:" + f"/tmp/run/{name}.exitcode".replace("/", "\\")
        env = " ".join(shlex.quote(f"{k}={v}") for k, v in sorted(item.get("env", {}).items()))
        args = " ".join(shlex.quote(a) for a in item.get("args", []))
        timeout = int(item.get("timeout") or per_default)
        lines.append(f"echo '=== {name}'; mkdir -p {out}; cd {exe_dir}; start=$(date +%s)")
        if item.get("wine_version"):
            lines.append("wine reg add 'HKCU\\Software\\Wine' /v Version /d "
                         f"{shlex.quote(item['wine_version'])} /f >/dev/null 2>&1")
        lines.append(
            f"env {env} timeout -k 20 {timeout} wine /tmp/run/exit-code-runner.exe "
            f"{shlex.quote(win_code)} {shlex.quote(win_exe)} {args} "
            f">{out}/stdout 2>{out}/stderr </dev/null; status=$?")
        lines.append(f"if [ $status -eq 124 ] || [ $status -eq 137 ]; then "
                     f"echo {timeout} >{out}/timed-out; wineserver -k; sleep 1; wineserver -p; fi")
        if item.get("wine_version"):
            lines.append("wine reg delete 'HKCU\\Software\\Wine' /v Version /f >/dev/null 2>&1")
        lines.append(f"echo $(( $(date +%s) - start )) >{out}/seconds")
        lines.append(f"[ -f /tmp/run/{name}.exitcode ] && cp /tmp/run/{name}.exitcode {out}/exitcode")
        lines.append(f"echo \"=== {name}: wine status $status, exit code "
                     f"$(cat {out}/exitcode 2>/dev/null || echo none)\"")
    lines += ["wineserver -k", "echo done >/mnt/share/results/ALL-DONE", "sync"]
    return "\n".join(lines) + "\n"


def run_batch(args):
    batch = args.name
    results = os.path.abspath(args.results)
    with open(args.manifest) as f:
        items = json.load(f)
    if os.path.exists(results):
        shutil.rmtree(results)
    share = os.path.join(results, "share")
    os.makedirs(os.path.join(share, "bin"))
    status = {"batch": batch, "ok": False, "reason": "the batch did not finish", "boots": 0}

    def write_status():
        with open(os.path.join(results, "batch.json"), "w") as f:
            json.dump(status, f, indent=1)

    write_status()
    # Each program's folder goes in whole (its .exe and .dll files): several tests start
    # helper programs or load libraries that sit beside them.
    dirs = {}
    for item in items:
        src = os.path.dirname(os.path.abspath(item["program"]))
        if src not in dirs:
            key = f"d{len(dirs)}"
            dirs[src] = key
            os.makedirs(os.path.join(share, "bin", key))
            for entry in os.listdir(src):
                if entry.lower().endswith((".exe", ".dll")):
                    shutil.copy2(os.path.join(src, entry), os.path.join(share, "bin", key))
        item["dir"] = dirs[src]
        item["exe"] = os.path.basename(item["program"])
    shutil.copy2(args.runner, os.path.join(share, "exit-code-runner.exe"))
    if args.suite:
        if not os.path.isfile(os.path.join(args.suite, "run-all.sh")):
            print(f"FAILED: batch {batch}: the suite {args.suite} has no run-all.sh",
                  file=sys.stderr)
            return 1
        shutil.copytree(args.suite, os.path.join(share, "suite"), symlinks=True)
    with open(os.path.join(share, "job.sh"), "w") as f:
        f.write(job_script(items, args.program_timeout, bool(args.suite)))
    timeout = args.timeout or (120 + sum(int(i.get("timeout") or args.program_timeout)
                                          for i in items))
    log(f"batch {batch}: {len(items)} programs in one boot (time-out {timeout} s)")
    try:
        status["boots"] = 1
        job_rc, seconds = boot(batch, args.image_dir, share, timeout)
        status["seconds"] = round(seconds)
        missing = []
        for item in items:
            name = item["name"]
            got = os.path.join(share, "results", name)
            dest = os.path.join(results, name)
            if os.path.isdir(got):
                shutil.copytree(got, dest)
            if not os.path.isfile(os.path.join(dest, "exitcode")):
                missing.append(name)
        if not os.path.exists(os.path.join(share, "results", "ALL-DONE")) or job_rc != "0":
            raise BatchFailure(f"batch {batch}: the guest's job stopped early (status {job_rc}; "
                               f"log: {share}/job.log)")
        if missing:
            raise BatchFailure(f"batch {batch}: NO RESULT for {', '.join(missing)} "
                               f"(log: {share}/job.log)")
    except BatchFailure as e:
        status["reason"] = str(e).splitlines()[0]
        write_status()
        print(f"FAILED: {e}", file=sys.stderr)
        return 1
    status["ok"] = True
    status["reason"] = ""
    write_status()
    for item in items:
        with open(os.path.join(results, item["name"], "exitcode")) as f:
            code = f.read().strip()
        print(f"{batch}: {item['name']}: exit code {code}")
    return 0


def show(args):
    results, name = args.show
    dest = os.path.join(results, name)
    batch = "?"
    reason = "no batch ran (no batch.json)"
    try:
        with open(os.path.join(results, "batch.json")) as f:
            st = json.load(f)
        batch, reason = st["batch"], st["reason"]
    except (OSError, ValueError, KeyError):
        pass
    code_file = os.path.join(dest, "exitcode")
    for stream in ("stdout", "stderr"):
        path = os.path.join(dest, stream)
        if os.path.isfile(path):
            with open(path, errors="replace") as f:
                text = f.read()
            if text:
                print(f"--- {stream} of {name} (in the guest):")
                print(text, end="" if text.endswith("\n") else "\n")
    if os.path.isfile(os.path.join(dest, "timed-out")):
        print(f"FAILED: {name} TIMED OUT in the guest (batch {batch})")
        return 1
    if not os.path.isfile(code_file):
        print(f"FAILED: batch {batch} gave NO RESULT for {name}: {reason or 'unknown reason'}")
        return 1
    with open(code_file) as f:
        text = f.read().strip()
    try:
        code = int(text)
    except ValueError:
        print(f"FAILED: {name} in batch {batch}: {text}")
        return 1
    print(f"{name}: exit code {code} (0x{code:08X}) in the guest, batch {batch}")
    return 0 if code == 0 else 1


def main():
    p = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    p.add_argument("--name", default="guest")
    p.add_argument("--image-dir", default=DEFAULT_CACHE)
    p.add_argument("--manifest")
    p.add_argument("--results")
    p.add_argument("--runner")
    p.add_argument("--timeout", type=int, default=0, help="of the whole boot, in seconds")
    p.add_argument("--program-timeout", type=int, default=300)
    p.add_argument("--suite", help="a folder with run-all.sh to run before the programs")
    p.add_argument("--show", nargs=2, metavar=("DIR", "NAME"))
    p.add_argument("--boot-only", action="store_true")
    p.add_argument("--share")
    p.add_argument("--writable", action="store_true")
    args = p.parse_args()
    if args.show:
        return show(args)
    if args.boot_only:
        try:
            job_rc, _ = boot(args.name, args.image_dir, os.path.abspath(args.share),
                             args.timeout or 1800, args.writable)
        except BatchFailure as e:
            print(f"FAILED: {e}", file=sys.stderr)
            return 1
        if job_rc != "0":
            print(f"FAILED: batch {args.name}: job status {job_rc} "
                  f"(log: {args.share}/job.log)", file=sys.stderr)
            return 1
        return 0
    if not (args.manifest and args.results and args.runner):
        p.error("--manifest, --results and --runner are needed to run a batch")
    return run_batch(args)


if __name__ == "__main__":
    sys.exit(main())
