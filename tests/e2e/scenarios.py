"""The end-to-end scenarios, as data. README.md in this folder describes every field.

Names: "<group>.<what it shows>"; each becomes the CTest test "e2e.<name>".
"""

from harness import FOLDER, PRESENT, STANDIN, Contains, Resource

# ---------------------------------------------------------------------------------------------
# Facts of the 64-bit flavour under test

KIT_KEY = "HKLM\\SOFTWARE\\Tarnwell\\Corvid Development Kit\\3.6.0_09"
CRE_KEY = "HKLM\\SOFTWARE\\Tarnwell\\Corvid Runtime Environment\\3.6.0_09"
UNINSTALL = "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall"
AU_KEY = "HKLM32\\SOFTWARE\\Tarnwell\\Auto Update"
POLICY = "HKLM32\\SOFTWARE\\Tarnwell\\Corvid Update\\Policy"
KIT_CODE = "{64C7E2B9-5D31-42A8-9F06-3E8A1C460090}"
OLD_UPDATER_CODE = "{6D2F84B1-39C7-4E5A-8B16-0C7E93A5F2D4}"
KIT_HOME = "C:\\Corvid\\CDK"
CAUREG = "{COMMONFILES}\\Corvid\\Corvid Update\\caureg.exe"
CABINETS = ["ss360090.cab", "st360090.cab", "sj360090.cab", "sz360090.cab"]
CABINET_RESOURCES = {"ss360090.cab": ("CORVID_CAB9", 110), "st360090.cab": ("CORVID_CAB10", 111),
                     "sj360090.cab": ("CORVID_CAB7", 108), "sz360090.cab": ("CORVID_CAB11", 112)}


def cre_code(update):
    """Product code of the public runtime of update number 0 to 9, in the 64-bit view."""
    return f"{{5B1C93D0-7E42-4F18-A3C6-1D764160{update:02d}FF}}"


# Command lines as msiexec receives them.
SILENT = " /qn ADDLOCAL=PubliccreFeature,ToolsFeature"
KIT_SILENT = '{MSIEXEC} /i "{MSI}" ' + SILENT + " WRAPPER=1"
KIT_INTERACTIVE = '{MSIEXEC} /i "{MSI}"  WRAPPER=1'


def kit_silent(language):
    return '{MSIEXEC} /i "{MSI}" TRANSFORMS=:' + str(language) + " " + SILENT + " WRAPPER=1"


def uninstall(code):
    return "{MSIEXEC} /x " + code + " /qb!"


CRE_1033 = '{MSIEXEC} /i "' + KIT_HOME + '\\cre.msi" /qn ADDLOCAL=ALL SDKSILENT=1'
AU_INSTALL = '{MSIEXEC} /i "{AUMSI}" ALLUSERS=1 /qn'
AU_REMOVE_OLD = "{MSIEXEC} /x " + OLD_UPDATER_CODE + " /qn"
CAUREG_RUN = '"' + CAUREG + '" -r cre 3.6.0_09-b11'

# Stand-in rules that match one kind of msiexec run.
ON_KIT = "cdk3.6.0_09.msi"
ON_CRE = "cre.msi"
ON_AU = "au.msi"


def kit_installs(*extra):
    """The kit database's visible effects: it registers the kit folder and the runtime."""
    return {"when": ON_KIT, "do": [
        f"reg-set|64|{KIT_KEY}|CorvidHome|sz|{KIT_HOME}",
        f"reg-set|64|{CRE_KEY}|BuildNumber|sz|11",
        *extra]}


# The public runtime's files that the kit leaves in its folder.
CRE_FILES = {KIT_HOME + "\\cre.msi": "cre", KIT_HOME + "\\cre1041.MST": "ja",
             KIT_HOME + "\\cre2052.MST": "zh"}
CRE_FILES_GONE = {path: None for path in CRE_FILES}
CAUREG_STANDIN = {CAUREG: STANDIN}

NO_PRIOR = ["No same version CDK exists", "No same version CRE exists"]
FAILED = "CDK installation failed.  Return Code: "

SCENARIOS = [
    # -----------------------------------------------------------------------------------------
    # The harness itself: the stand-in started directly as the program under test. These run
    # before the launcher exists and show that exit codes, records, rules, registry and file
    # checks work end to end.
    {
        "name": "harness.exit_code_registry_and_text",
        "exe": STANDIN,
        "args": ["first", "C:\\Café", "C:\\日本語", 'quoted "inner"'],
        "env": {"LC_ALL": "ja_JP.UTF-8"},
        "rules": [{"when": "first", "do": [
            "reg-set|64|HKLM\\SOFTWARE\\Tarnwell|InstallStatus|sz|reinstall",
            "reg-set|32|HKLM\\SOFTWARE\\Tarnwell\\Auto Update|AUVersion|sz|5.4.1.2",
            "reg-set|64|HKLM\\SOFTWARE\\Tarnwell\\Gone|Value|dword|7",
            "reg-delete-key|64|HKLM\\SOFTWARE\\Tarnwell\\Gone",
            "reg-delete|64|HKLM\\SOFTWARE\\Tarnwell\\Preset|Old",
            "exit|-80"]}],
        "registry": {"HKLM\\SOFTWARE\\Tarnwell\\Preset": {"Old": "x", "Kept": 3}},
        "expect": {
            "exit": -80,
            "commands": ['{LAUNCHER} first C:\\Café C:\\日本語 "quoted \\"inner\\""'],
            "registry": {
                "HKLM\\SOFTWARE\\Tarnwell": {"InstallStatus": "reinstall"},
                AU_KEY: {"AUVersion": "5.4.1.2"},
                "HKLM\\SOFTWARE\\Tarnwell\\Auto Update": None,
                "HKLM\\SOFTWARE\\Tarnwell\\Gone": None,
                "HKLM\\SOFTWARE\\Tarnwell\\Preset": {"Old": None, "Kept": 3},
            },
        },
    },
    {
        "name": "harness.once_rule_and_nested_run",
        "exe": STANDIN,
        "args": ["first"],
        "rules": [
            {"when": "first", "once": True, "do": ["run|{LAUNCHER} first", "exit|3010"]},
            {"when": "first", "do": ["exit|1603"]},
        ],
        "expect": {
            "exit": 3010,
            "commands": ["{LAUNCHER} first", "{LAUNCHER} first"],
            "record": ["rule 1", "rule 2", "run 1603"],
        },
    },
    {
        "name": "harness.events_files_and_probes",
        "exe": STANDIN,
        "rules": [{"do": [
            "wait-event|HalvardCDKCabExtractWaitEvent|1",
            "list-files|{WORKDIR}|*.cab",
            "probe|delete|C:\\probe\\delete-me.txt",
            "probe|write|{SETTINGS}",
            "probe|read|{SETTINGS}",
            "probe|delete|C:\\probe\\missing.txt"]}],
        "hold": "{SETTINGS}",
        "files": {
            "{WORKDIR}\\b.cab": "12345",
            "{WORKDIR}\\a.cab": "123",
            "{WORKDIR}\\other.msi": "x",
            "C:\\probe\\delete-me.txt": "x",
            "{SETTINGS}": "AUTO_UPDATE=Enable\n",
        },
        "expect": {
            "exit": 0,
            "record": ["event HalvardCDKCabExtractWaitEvent timeout",
                       "file a.cab 3", "file b.cab 5",
                       "probe delete C:\\probe\\delete-me.txt ok",
                       "probe write {SETTINGS} error 32",
                       "probe read {SETTINGS} ok",
                       "probe delete C:\\probe\\missing.txt error 2"],
            "record_absent": ["file other.msi 1"],
            "files": {"C:\\probe\\delete-me.txt": None, "{WORKDIR}\\a.cab": 3,
                      "{SETTINGS}": "AUTO_UPDATE=Enable\n",
                      "{WORKDIR}": FOLDER, "{WORKDIR}\\b.cab": Contains("234", absent=["9"])},
        },
    },
    {
        "name": "harness.kill_parent",
        "exe": STANDIN,
        "args": ["outer"],
        "rules": [
            {"when": "outer", "do": ["run|{LAUNCHER} inner", "exit|0"]},
            {"when": "inner", "do": ["kill-parent|-81"]},
        ],
        "expect": {"exit": -81, "record": ["kill-parent ok"], "record_absent": ["run 0"]},
    },
    {
        "name": "harness.timeout_ends_the_tree",
        "exe": STANDIN,
        "rules": [{"do": ["sleep|20000"]}],
        "timeout": 2,
        "expect": {"exit": "timeout"},
    },
    {
        "name": "harness.log_records",
        "exe": STANDIN,
        "files": {"{TEMP}\\cusched.log": (
            "[2024/01/02 03:04:05.006, cdk-setup.exe (PID: 1, TID: 2), AllUtils.cpp:10 (logit)]"
            "\r\n\tINFO: first\r\n"
            "[2024/01/02 03:04:05.007, cdk-setup.exe (PID: 1, TID: 2), W.cpp:0 (f)]\r\n"
            "\tERROR: two\r\nlines\r\n").encode("cp1252")},
        "expect": {"log": ["INFO: first", "ERROR: two\nlines"], "log_absent": ["WARNING"]},
    },
]
