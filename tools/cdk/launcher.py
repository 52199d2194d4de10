"""What a run of the launcher leaves to read, and a run in a fresh copy of a prefix: the
records of cusched.log, the exit codes the scenario runner prints, Windows command lines."""

import os
import re
import shutil
import subprocess

from . import wine


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


def runner_exit_codes(output):
    """The launchers' exit codes that the runner printed, in start order; "timeout" when the
    time ran out."""
    if "timeout" in output:
        return ["timeout"]
    return [int(m) for m in re.findall(r"^exit-code (-?\d+)$", output, re.M)]


def windows_quote(args):
    """A Windows command line for an argument vector, by the rules of the C runtime."""
    return subprocess.list2cmdline(args)


class PrefixRun:
    """One run of the scenario runner in a fresh copy of a master prefix (the demo, the
    benchmarks). Windows paths may name the prefix's user as {user}."""

    def __init__(self, master, folder):
        self.folder = folder
        self.prefix = os.path.join(folder, "prefix")
        if os.path.isdir(self.prefix):
            wine.stop_wineserver(self.prefix)
        shutil.rmtree(folder, ignore_errors=True)
        os.makedirs(folder)
        wine.clone_prefix(master, self.prefix)
        self.user = wine.prefix_user(self.prefix)

    def host(self, windows_path):
        return wine.windows_to_host(self.prefix, windows_path.format(user=self.user))

    def place(self, source, windows_path):
        wine.place_file(source, self.host(windows_path))

    def run(self, runner, command_line, variables=None, timeout=900):
        """Runs the command line (as it stands: {user} is not filled in here) through the runner
        and returns what the runner printed. The
        persistent server and Wine's services are up before the runner starts them (so that a
        timed start does not include them) and stopped afterwards."""
        command_file = os.path.join(self.folder, "command.txt")
        with open(command_file, "w", encoding="utf-8") as f:
            f.write(command_line)
        env = wine.wine_environment(self.prefix)
        wine.start_server(env)
        env.update({"CDK_E2E_COMMAND_FILE": command_file, **(variables or {})})
        try:
            done = subprocess.run([wine.WINE64, runner], env=env, stdin=subprocess.DEVNULL,
                                  stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                                  check=False, timeout=timeout)
        finally:
            wine.stop_wineserver(self.prefix)
        return done.stdout.decode("utf-8", "replace").replace("\r", "")

    def log_records(self):
        with open(self.host("C:\\users\\{user}\\Temp\\cusched.log"), "rb") as f:
            return parse_log(f.read(), "cp1252")

    def remove(self):
        shutil.rmtree(self.folder, ignore_errors=True)
