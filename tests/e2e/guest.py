"""The scenarios of the 32-bit program, run in the qemu guest of scripts/guest/ with 32-bit Wine.

Three phases, so that one boot serves the whole table:
  1. prepare (host): each scenario's inputs go into SUITE/<name>/: the files it places (a
     skeleton of the prefix, without the programs), the registry preset, the stand-in's rules,
     the command line and run.sh, the shell script that runs it in the guest. SUITE/bin holds the
     programs once; SUITE/run-all.sh runs every scenario.
  2. the guest (scripts/guest/run-batch.py --suite SUITE): run.sh mounts an overlay of the
     guest's ready Wine prefix, places the files and links the programs into it, imports the
     preset, starts the runner as the host harness does, stops the Wine server and packs what
     changed in the prefix (the overlay's upper layer) into SUITE/<name>/out/prefix.tar, beside
     the runner's output, the stand-in's record and Wine's messages.
  3. check (host): the tar is unpacked and the same checks as for the 64-bit program run on it.
Files that the run did not touch are not in the tar, so a scenario's file checks may only name
files that it placed or that the launcher writes, which is what they do.
"""

import hashlib
import os
import shlex
import shutil
import tarfile

import harness
from cdk import cli
from cdk import guest as guest_facts
from cdk.pe import PeFile, first_language
from cdk.wine import WINE_DLL_OVERRIDES

# The guest's ready prefix (scripts/guest/build-image.sh) and its Unix user, root.
GUEST_PREFIX = guest_facts.PREFIX
GUEST_USER = "root"
# Where the suite lies in the guest (the shared folder) and where runs keep their prefixes.
GUEST_SUITE = "/mnt/share/suite"
GUEST_BIN = "/tmp/e2e-bin"
GUEST_WORK = "/tmp/e2e"
# Under emulation programs run about 4 times slower when the host is busy.
SLOWDOWN = 4
# Scenarios run at the same time in the guest, each in its own prefix with its own server.
PARALLEL = 2
# Services of a new prefix that start with Wine and that the launcher never uses: devices
# (PlugPlay, with the USB and HID drivers it loads), the network and the event log.
UNUSED_SERVICES = ["PlugPlay", "NDIS", "nsiproxy", "Eventlog"]


def guest_path_to_windows(path):
    return "Z:" + path.replace("/", "\\")


def server_folder_name(name):
    """The folder below /tmp that holds the Wine server of one scenario. Debian's Wine keeps
    that folder's name in the prefix's file "wineserver", and the prefix's path alone does not
    tell scenarios apart: every overlay root has inode 2 and the device numbers of unmounted
    overlays come back. A folder of its own per scenario keeps each scenario's processes with
    its own server, whatever ran before it."""
    return "wine-" + hashlib.sha1(name.encode("utf-8")).hexdigest()[:6]


class GuestRun(harness.Run):
    """One scenario of the 32-bit program: its inputs for the guest, then its checks."""

    def __init__(self, scenario, config, suite):
        super().__init__(scenario, config)
        self.suite = suite
        self.folder = os.path.join(suite, self.name)
        self.prefix = os.path.join(self.folder, "prefix")
        self.out = os.path.join(self.folder, "out")
        self.links = []

    def _user(self):
        return GUEST_USER

    def _place_program(self, source, windows_path):
        # Linked in the guest to its one copy in the suite's bin folder.
        self.links.append((os.path.relpath(self._host(windows_path), self.prefix),
                           program_name(source, self.config)))

    # -- phase 1 ------------------------------------------------------------------------------

    def prepare(self):
        shutil.rmtree(self.folder, ignore_errors=True)
        os.makedirs(os.path.join(self.prefix, "drive_c"))
        self.resources = first_language(PeFile(self.exe).resources())
        self.values = self._values()
        self.small_disks = [(os.path.relpath(self._host(path), self.prefix), size)
                            for path, size in self.expand(self.scenario.get("small_disk",
                                                                            {})).items()]
        self._place_files()
        self._write_inputs()
        with open(self._file("run.sh"), "w", encoding="utf-8") as f:
            f.write(self._script())

    def _script(self):
        work = f"{GUEST_WORK}/{self.name}"
        inputs = f"{GUEST_SUITE}/{self.name}"
        out = f"{inputs}/out"
        merged = f"{work}/prefix"
        timeout = self.scenario.get("timeout", 30) * SLOWDOWN
        variables = self._harness_variables(work, timeout)
        variables.update({"WINEPREFIX": merged, "WINEDEBUG": "-all",
                          "LC_ALL": variables.get("LC_ALL", "C.UTF-8")})
        variables.setdefault("WINEDLLOVERRIDES", WINE_DLL_OVERRIDES)
        q = shlex.quote
        lines = [
            f"# Scenario {self.name} of the 32-bit program (made by tests/e2e/guest.py).",
            f"echo '=== {self.name}'",
            f"rm -rf {q(out)} {q(work)}; mkdir -p {q(out)} {work}/upper {work}/work {q(merged)}",
            "started=$(date +%s)",
            f"stamp() {{ echo \"$1 $(date +%s.%N)\" >>{q(out)}/steps; }}",
            "stamp begin",
            f"mount -t overlay overlay -o lowerdir={GUEST_WORK}/base/upper:{GUEST_PREFIX},"
            f"upperdir={work}/upper,"
            f"workdir={work}/work {q(merged)} || {{ echo overlay >{q(out)}/error; exit 0; }}",
            f"[ -d {q(merged)}/drive_c/users/{GUEST_USER} ] || "
            f"{{ echo 'no user folder {GUEST_USER} in the prefix' >{q(out)}/error; "
            f"umount {q(merged)}; exit 0; }}",
        ]
        folder = server_folder_name(self.name)
        server = "/tmp/" + folder
        lines += [f"rm -rf {server}; mkdir -m 700 {server}",
                  f"printf %s {folder} >{q(merged)}/wineserver"]
        # The user's Desktop, Downloads and the like link to the guest's home folder, which
        # scenarios running at the same time would share: each gets folders of its own.
        lines.append(f"for d in {q(merged)}/drive_c/users/{GUEST_USER}/*; do "
                     "if [ -L \"$d\" ]; then rm \"$d\" && mkdir \"$d\"; fi; done")
        for path, size in self.small_disks:
            lines.append(f"mkdir -p {q(merged + '/' + path)} && mount -t tmpfs -o "
                         f"size={size},mode=0755 cdk-e2e-small-disk {q(merged + '/' + path)}")
        lines.append(f"cp -r {q(inputs)}/prefix/. {q(merged)}/")
        for path, program in self.links:
            target = merged + "/" + path
            lines.append(f"mkdir -p {q(os.path.dirname(target))} && rm -rf {q(target)} && "
                         f"ln -s {GUEST_BIN}/{program} {q(target)}")
        for name in ("preset.reg", "rules.txt", "command.txt"):
            lines.append(f"cp {q(inputs)}/{name} {work}/")
        lines.append("stamp placed")
        lines += [f"export {name}={q(value)}" for name, value in sorted(variables.items())]
        lines += [
            # A persistent server with Wine's services, started by the 64-bit regedit (a
            # 32-bit one would write its HKLM32 keys below Wow6432Node twice).
            "wineserver -p",
            f"/usr/lib/wine/wine64 regedit /S {q(guest_path_to_windows(work + '/preset.reg'))}"
            " >/dev/null 2>&1 </dev/null",
            "stamp preset",
        ]
        runner = (f"timeout -k 10 {timeout + 15 * SLOWDOWN} wine {GUEST_BIN}/ScenarioRunner.exe"
                  " </dev/null")
        trace = "WINEDEBUG=-all,err+all,trace+resource"

        def timed_out(name):
            # timeout(1) exits 124 when it ended the runner, 137 when it had to kill it.
            return (f"; case $? in 124|137) echo timeout >>{q(out)}/{name}; "
                    "wineserver -k; wineserver -w;; esac")
        first = self.scenario.get("first_run")
        if first is not None:
            kill = first.get("kill_on_event")
            extra = f"CDK_E2E_KILL_ON_EVENT={q(kill)} " if kill else ""
            lines.append(f"{trace} {extra}{runner} >{q(out)}/first-output.txt "
                         f"2>{q(out)}/wine-stderr-first.txt{timed_out('first-output.txt')}")
            lines += self._pack("first.tar", work, merged, out)
        together = self.scenario.get("together")
        extra = f"CDK_E2E_TOGETHER={together} " if together else ""
        lines += [
            f"{trace} {extra}{runner} >{q(out)}/runner-output.txt 2>{q(out)}/wine-stderr.txt"
            + timed_out("runner-output.txt"),
            "stamp run",
            "wineserver -k; wineserver -w",
            "stamp stopped",
            # Every Wine process of the scenario, the preset's import and the runner's tree,
            # must have used the one server of this prefix; anything else makes the results
            # meaningless, and the check says so instead of reporting what the launcher did.
            f"servers=$(ls {server} | tr '\\n' ' '); named=$(cat {q(merged)}/wineserver)",
            f"[ \"$(ls {server} | wc -l)\" -le 1 ] && "
            f"[ \"$named\" = {folder} ] || "
            f"echo \"servers: $servers; the prefix names: $named\" >{q(out)}/server-mismatch",
            f"[ -f {work}/record.txt ] && cp {work}/record.txt {q(out)}/",
        ]
        lines += self._pack("prefix.tar", work, merged, out)
        for path, _ in reversed(self.small_disks):
            lines.append(f"umount {q(merged + '/' + path)}")
        lines += ["stamp packed", f"umount {q(merged)}", f"rm -rf {work} {server}",
                  f"echo $(( $(date +%s) - started )) >{q(out)}/seconds",
                  f"echo done >{q(out)}/done"]
        return "\n".join(lines) + "\n"

    def _pack(self, name, work, merged, out):
        """Packs what the run changed: the overlay's upper layer, and the small disks, which
        lie outside it."""
        q = shlex.quote
        lines = [f"tar -C {work}/upper -cf {q(out)}/{name} ."]
        for path, _ in self.small_disks:
            lines.append(f"tar -C {q(merged)} -rf {q(out)}/{name} {q(path)}")
        return lines

    # -- phase 3 ------------------------------------------------------------------------------

    def collect(self):
        """Reads what the guest left; returns the failures that stop the checks (no result)."""
        self.resources = first_language(PeFile(self.exe).resources())
        self.values = self._values()
        if os.path.exists(os.path.join(self.out, "error")):
            with open(os.path.join(self.out, "error")) as f:
                return [f"the guest could not set up the scenario: {f.read().strip()}"]
        mismatch = os.path.join(self.out, "server-mismatch")
        if os.path.exists(mismatch):
            with open(mismatch) as f:
                return ["the scenario's Wine processes did not all use its one Wine server "
                        f"({f.read().strip()}); its results say nothing about the launcher"]
        if not os.path.exists(os.path.join(self.out, "done")):
            return ["the guest gave NO RESULT for this scenario (see the batch's job.log)"]
        with open(os.path.join(self.out, "seconds")) as f:
            self.timings["guest"] = float(f.read().strip() or 0)
        first = self.scenario.get("first_run")
        if first is not None:
            self.prefix = os.path.join(self.folder, "prefix-first")
            unpack(os.path.join(self.out, "first.tar"), self.prefix)
            self.first_output = read_text(os.path.join(self.out, "first-output.txt"))
            self.first_failures = self._check_first_run(first.get("expect", {}))
        self.prefix = os.path.join(self.folder, "prefix-after")
        unpack(os.path.join(self.out, "prefix.tar"), self.prefix)
        self.runner_output = read_text(os.path.join(self.out, "runner-output.txt"))
        self.folder = self.out  # record.txt, wine-stderr.txt
        self._observe(self.scenario.get("env", {}).get("LC_ALL"))
        return []


def program_name(source, config):
    """The name of a program in the suite's bin folder."""
    if os.path.abspath(source) == config.standin:
        return "standin/msiexec.exe"
    return os.path.basename(source)


def read_text(path):
    if not os.path.exists(path):
        return ""
    with open(path, "rb") as f:
        return f.read().decode("utf-8", errors="replace").replace("\r", "")


def unpack(archive, destination):
    """Unpacks a tar of an overlay's upper layer; whiteouts (device nodes that mark files
    deleted from the lower layer) are left out, as the checks only see the upper layer."""
    shutil.rmtree(destination, ignore_errors=True)
    os.makedirs(destination)
    if not os.path.exists(archive):
        return
    with tarfile.open(archive) as tar:
        members = [m for m in tar.getmembers() if not (m.isdev() or m.isfifo())]
        tar.extractall(destination, members=members)


def prepare_suite(scenarios, config, suite):
    """Phase 1 for every scenario; returns the scenarios whose exe is not built (left out)."""
    shutil.rmtree(suite, ignore_errors=True)
    os.makedirs(os.path.join(suite, "bin", "standin"))
    shutil.copy2(config.standin, os.path.join(suite, "bin", "standin", "msiexec.exe"))
    shutil.copy2(config.runner, os.path.join(suite, "bin", "ScenarioRunner.exe"))
    names, missing = [], []
    for scenario in scenarios:
        run = GuestRun(scenario, config, suite)
        if not os.path.isfile(run.exe):
            missing.append(scenario["name"])
            continue
        target = os.path.join(suite, "bin", os.path.basename(run.exe))
        if run.exe != config.standin and not os.path.exists(target):
            shutil.copy2(run.exe, target)
        run.prepare()
        names.append(scenario["name"])
    folders = {server_folder_name(name) for name in names}
    if len(folders) != len(names):
        raise ValueError("two scenarios of the suite would share a Wine server folder")
    with open(os.path.join(suite, "run-all.sh"), "w", encoding="utf-8") as f:
        f.write(run_all_script(names))
    return missing


def run_all_script(names):
    """The guest's part: the programs into the guest's own memory, the base layer, then every
    scenario, a few at a time, each in its own prefix."""
    base = f"{GUEST_WORK}/base"
    disable = " ".join(f"/usr/lib/wine/wine64 reg add 'HKLM\\System\\CurrentControlSet\\"
                       f"Services\\{service}' /v Start /t REG_DWORD /d 4 /f >/dev/null 2>&1;"
                       for service in UNUSED_SERVICES)
    lines = [
        "# Runs every scenario of the suite (made by tests/e2e/guest.py).",
        f"rm -rf {GUEST_BIN} {GUEST_WORK}; mkdir -p {GUEST_WORK}",
        f"cp -r {GUEST_SUITE}/bin {GUEST_BIN}",
        "modprobe overlay 2>/dev/null",
        # The base layer: the ready prefix without the services that start on their own and
        # that the launcher never uses, made once. Starting them took most of each run's time
        # under the emulator.
        f"mkdir -p {base}/upper {base}/work {base}/prefix",
        f"mount -t overlay overlay -o lowerdir={GUEST_PREFIX},upperdir={base}/upper,"
        f"workdir={base}/work {base}/prefix",
        f"(export WINEPREFIX={base}/prefix WINEDEBUG=-all; wineserver -p; {disable} "
        "wineserver -k; wineserver -w)",
        f"umount {base}/prefix",
        f"[ -f {base}/upper/system.reg ] || {{ echo 'the base layer was not made'; exit 1; }}",
        f"cat >{GUEST_WORK}/names <<'NAMES'",
        *names,
        "NAMES",
        f"xargs -P {PARALLEL} -I NAME sh {GUEST_SUITE}/NAME/run.sh <{GUEST_WORK}/names",
        "echo suite done",
    ]
    return "\n".join(lines) + "\n"


def check(scenario, config, suite):
    """Phase 3 for one scenario: (status, report) as harness.run_scenario gives them."""
    run = GuestRun(scenario, config, suite)
    if not os.path.isfile(run.exe):
        return cli.SKIP, f"SKIP {run.name}: {run.exe} is not built"
    failures = run.collect()
    if failures:
        # Nothing of the launcher's run was read: the report names the reason and the folder.
        lines = [f"scenario {run.name}: FAILED"] + ["  - " + f for f in failures]
        return 1, "\n".join(lines + [f"files of this run: {run.out}"])
    failures = run.check()
    report = run.report(failures)
    if not failures and not config.keep:
        for name in ("prefix-first", "prefix-after"):
            shutil.rmtree(os.path.join(suite, run.name, name), ignore_errors=True)
        for name in ("prefix.tar", "first.tar"):
            path = os.path.join(suite, run.name, "out", name)
            if os.path.exists(path):
                os.remove(path)
    return (1 if failures else 0), report

