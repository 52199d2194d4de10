"""The front end that the harness programs run by CTest share: the options that place a run
(work folder, the exe folder, the msiexec stand-in, the scenario runner), and the one status a
set of cases ends with."""

import argparse
import os
import sys

# Exit status that CTest reports as "skipped" (SKIP_RETURN_CODE).
SKIP = 77


def parser(description, work):
    """An argument parser with the options that place a run; `work` is the default work
    folder."""
    result = argparse.ArgumentParser(description=description,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    result.add_argument("--work", default=work)
    result.add_argument("--exe-dir", default=".")
    result.add_argument("--standin", default="standin/msiexec.exe")
    result.add_argument("--runner", default="ScenarioRunner.exe")
    return result


def keep_work():
    """Whether CDK_E2E_KEEP asks to keep each run's folder."""
    return os.environ.get("CDK_E2E_KEEP", "") not in ("", "0")


def check_names(names, known, what):
    """Ends the program when no name or an unknown name is given."""
    unknown = [n for n in names if n not in known]
    if unknown or not names:
        sys.exit(f"unknown or no {what} names: {unknown}")


def overall(statuses):
    """1 when a case failed; SKIP when every case was skipped; else 0."""
    if any(s == 1 for s in statuses):
        return 1
    return SKIP if all(s == SKIP for s in statuses) else 0


def run_each(names, run_one):
    """Runs run_one(name) -> (status, report) for each name, prints each report as it comes,
    and returns the overall status."""
    statuses = []
    for name in names:
        status, report = run_one(name)
        print(report, flush=True)
        statuses.append(status)
    return overall(statuses)
