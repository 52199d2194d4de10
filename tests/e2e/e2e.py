#!/usr/bin/python3
"""Command line of the end-to-end scenarios (see README.md in this folder).

  e2e.py list [--guest-selection]  names of all scenarios (or of those the 32-bit program runs
                                   in the guest by default), one per line
  e2e.py [options] run NAME...     runs the named scenarios; exit 0 passed, 1 failed,
                                   77 skipped (the exe under test is not built yet)
  e2e.py [options] prepare         creates the master Wine prefix
  e2e.py [options] cleanup         stops Wine servers that interrupted runs left running
  e2e.py [options] guest-prepare [NAME...]
                                   writes the scenarios' inputs (all, or the named ones) for
                                   the 32-bit guest into the suite folder (guest.py)
  e2e.py [options] guest-check NAME
                                   checks what the guest left for the named scenario
Options: --work DIR (runs and prefixes; the suite folder of the guest), --exe-dir DIR
(cdk-setup.exe and its variants), --standin EXE, --runner EXE, --flavour win64|win32 (the
program's registry view, product codes and working folder; default win64). CDK_E2E_KEEP=1
keeps each run's prefix for a look inside.
"""

import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools"))

import guest  # noqa: E402
import harness  # noqa: E402
import scenarios  # noqa: E402
from cdk import cli  # noqa: E402
from cdk.wine import prepare_master  # noqa: E402


def main():
    parser = cli.parser(__doc__, "e2e-work")
    parser.add_argument("--flavour", choices=sorted(harness.FLAVOURS), default="win64")
    parser.add_argument("command", choices=["list", "run", "prepare", "cleanup",
                                            "guest-prepare", "guest-check"])
    parser.add_argument("--guest-selection", action="store_true")
    parser.add_argument("names", nargs="*")
    options = parser.parse_args()

    table = {s["name"]: s for s in scenarios.SCENARIOS}
    if len(table) != len(scenarios.SCENARIOS):
        sys.exit("scenario names are not unique")
    unknown = [n for n in scenarios.GUEST_SELECTION if n not in table]
    if unknown:
        sys.exit(f"the guest selection names unknown scenarios: {unknown}")
    if options.command == "list":
        print("\n".join(scenarios.GUEST_SELECTION if options.guest_selection else table))
        return 0
    config = harness.Config(options.work, options.exe_dir, options.standin, options.runner,
                            keep=cli.keep_work(), flavour=options.flavour)
    if options.command == "prepare":
        prepare_master(config.master)
        return 0
    if options.command == "cleanup":
        harness.stop_leftover_servers(config)
        return 0
    if options.command == "guest-prepare":
        chosen = [table[n] for n in options.names if n in table] or scenarios.SCENARIOS
        left_out = guest.prepare_suite(chosen, config, config.work)
        for name in left_out:
            print(f"left out {name}: its exe is not built")
        print(f"{len(chosen) - len(left_out)} scenarios prepared in {config.work}")
        return 0
    cli.check_names(options.names, table, "scenario")
    if options.command == "guest-check":
        return cli.run_each(options.names, lambda n: guest.check(table[n], config, config.work))
    return cli.run_each(options.names, lambda n: harness.run_scenario(table[n], config))


if __name__ == "__main__":
    sys.exit(main())
