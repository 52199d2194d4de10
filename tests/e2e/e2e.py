#!/usr/bin/python3
"""Command line of the end-to-end scenarios (see README.md in this folder).

  e2e.py list                      names of all scenarios, one per line
  e2e.py [options] run NAME...     runs the named scenarios; exit 0 passed, 1 failed,
                                   77 skipped (the exe under test is not built yet)
  e2e.py [options] prepare         creates the master Wine prefix
  e2e.py [options] cleanup         stops Wine servers that interrupted runs left running
Options: --work DIR (runs and prefixes), --exe-dir DIR (cdk-setup.exe and its variants),
--standin EXE, --runner EXE. CDK_E2E_KEEP=1 keeps each run's prefix for a look inside.
"""

import argparse
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import harness  # noqa: E402
import scenarios  # noqa: E402


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--work", default="e2e-work")
    parser.add_argument("--exe-dir", default=".")
    parser.add_argument("--standin", default="standin/msiexec.exe")
    parser.add_argument("--runner", default="ScenarioRunner.exe")
    parser.add_argument("command", choices=["list", "run", "prepare", "cleanup"])
    parser.add_argument("names", nargs="*")
    options = parser.parse_args()

    table = {s["name"]: s for s in scenarios.SCENARIOS}
    if len(table) != len(scenarios.SCENARIOS):
        sys.exit("scenario names are not unique")
    if options.command == "list":
        print("\n".join(table))
        return 0
    config = harness.Config(options.work, options.exe_dir, options.standin, options.runner,
                            keep=os.environ.get("CDK_E2E_KEEP", "") not in ("", "0"))
    if options.command == "prepare":
        harness.prepare_master(config.master)
        return 0
    if options.command == "cleanup":
        harness.stop_leftover_servers(config)
        return 0
    unknown = [n for n in options.names if n not in table]
    if unknown or not options.names:
        sys.exit(f"unknown or no scenario names: {unknown}")
    statuses = []
    for name in options.names:
        status, report = harness.run_scenario(table[name], config)
        print(report, flush=True)
        statuses.append(status)
    if any(s == 1 for s in statuses):
        return 1
    return harness.SKIP if all(s == harness.SKIP for s in statuses) else 0


if __name__ == "__main__":
    sys.exit(main())
