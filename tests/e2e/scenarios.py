"""The end-to-end scenarios, as data. README.md in this folder describes every field.

Names: "<group>.<what it shows>"; each becomes the CTest test "e2e.<name>".
"""

from cdk import payload
from harness import FOLDER, PRESENT, STANDIN, Contains, ReadOnly, Resource

# ---------------------------------------------------------------------------------------------
# Facts of the flavour under test. One table drives both flavours: {HKLM} is the registry view
# that the launcher of the flavour uses (the 64-bit view for the 64-bit program, the 32-bit view
# for the 32-bit one), {HKLM_OTHER} the other view, {VIEW} the view's name in stand-in rules
# ("64" or "32") and {ARCH} the architecture digits of the product codes. The harness fills them
# (harness.FLAVOURS), with {WORKDIR} ("..._x64" only for the 64-bit program).

TARNWELL = "{HKLM}\\SOFTWARE\\Tarnwell"
KIT_KEY = TARNWELL + "\\Corvid Development Kit\\3.6.0_09"
CRE_KEY = TARNWELL + "\\Corvid Runtime Environment\\3.6.0_09"
UNINSTALL_PATH = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall"
UNINSTALL = "{HKLM}\\" + UNINSTALL_PATH
AU_KEY = "HKLM32\\SOFTWARE\\Tarnwell\\Auto Update"
POLICY = "HKLM32\\SOFTWARE\\Tarnwell\\Corvid Update\\Policy"
KIT_CODE = "{{ARCH}C7E2B9-5D31-42A8-9F06-3E8A1C460090}"
OLD_UPDATER_CODE = "{6D2F84B1-39C7-4E5A-8B16-0C7E93A5F2D4}"
KIT_HOME = "C:\\Corvid\\CDK"
CAUREG = "{COMMONFILES}\\Corvid\\Corvid Update\\caureg.exe"
KIT_DATABASE = payload.kit_database()
UPDATER_DATABASE = payload.updater_database()
KIT_RESOURCE = Resource(KIT_DATABASE.type, KIT_DATABASE.id)
CABINETS = [row.name for row in payload.cabinets()]
CABINET_RESOURCES = {row.name: (row.type, row.id) for row in payload.cabinets()}


def cre_code(update):
    """Product code of the public runtime of update number 0 to 9, in the flavour's view."""
    return "{5B1C93D0-7E42-4F18-A3C6-1D7{ARCH}160" + f"{update:02d}FF}}"


def standin_key(key):
    """A key of the scenarios as a stand-in rule names it: "<view>|HKLM\\<path>"."""
    for root, view in (("{HKLM}\\", "{VIEW}"), ("HKLM32\\", "32"), ("HKLM\\", "64")):
        if key.startswith(root):
            return view + "|HKLM\\" + key[len(root):]
    raise ValueError(f"no stand-in view for {key}")


# Command lines as msiexec receives them.
SILENT = " /qn ADDLOCAL=PubliccreFeature,ToolsFeature"
KIT_SILENT = '{MSIEXEC} /i "{MSI}" ' + SILENT + " WRAPPER=1"
KIT_INTERACTIVE = '{MSIEXEC} /i "{MSI}"  WRAPPER=1'


# The silent kit command with a REBOOT property of the scenario's "fill" length.
KIT_FILLED = '{MSIEXEC} /i "{MSI}" REBOOT={FILL} ' + SILENT + " WRAPPER=1"


def kit_silent(language):
    return '{MSIEXEC} /i "{MSI}" TRANSFORMS=:' + str(language) + " " + SILENT + " WRAPPER=1"


def uninstall(code):
    return "{MSIEXEC} /x " + code + " /qb!"


CRE_1033 = '{MSIEXEC} /i "' + KIT_HOME + '\\cre.msi" /qn ADDLOCAL=ALL SDKSILENT=1'
AU_INSTALL = '{MSIEXEC} /i "{AUMSI}" ALLUSERS=1 /qn'
AU_REMOVE_OLD = "{MSIEXEC} /x " + OLD_UPDATER_CODE + " /qn"
CAUREG_RUN = '"' + CAUREG + '" -r cre 3.6.0_09-b11'

# Stand-in rules that match one kind of msiexec run.
ON_KIT = KIT_DATABASE.name
ON_CRE = "cre.msi"
ON_AU = UPDATER_DATABASE.name


def kit_installs(*extra):
    """The kit database's visible effects: it registers the kit folder and the runtime."""
    return {"when": ON_KIT, "do": [
        f"reg-set|{standin_key(KIT_KEY)}|CorvidHome|sz|{KIT_HOME}",
        f"reg-set|{standin_key(CRE_KEY)}|BuildNumber|sz|11",
        *extra]}


# The public runtime's files that the kit leaves in its folder.
CRE_FILES = {KIT_HOME + "\\cre.msi": "cre", KIT_HOME + "\\cre1041.MST": "ja",
             KIT_HOME + "\\cre2052.MST": "zh"}
CRE_FILES_GONE = {path: None for path in CRE_FILES}
CAUREG_STANDIN = {CAUREG: STANDIN}

# A runtime settings file with a flag, an msiexec argument and an install file.
PLANTED_SETTINGS = "AUTO_UPDATE=Disable\nMSI_CMDLINE=PLANTED=1\nINSTALLCFG=C:\\cfg\\planted.cfg\n"

# Where Wine keeps the user's LocalLow folder, so that a scenario can move it.
LONG_DATA_KEY = "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders"
LOCAL_LOW_ID = "{A520A1A4-1780-4FF6-BD18-167343C5AF16}"
SHELL_FOLDERS_KEY = "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders"

# A user whose name code page 1252 cannot carry, and the other user whose name is its best-fit
# look-alike. Wine's short name for the folder "Łukasz" is "_UKA~INY".
LUKASZ_LOW = "C:\\users\\Łukasz\\AppData\\LocalLow"
LUKASZ_LOW_SHORT = "C:\\users\\_UKA~INY\\AppData\\LocalLow"
LOOK_ALIKE_LOW = "C:\\users\\Lukasz\\AppData\\LocalLow"
LUKASZ_TEMP = "C:\\users\\Łukasz\\Temp"
LOOK_ALIKE_TEMP = "C:\\users\\Lukasz\\Temp"
LUKASZ_SHELL_FOLDERS = {key: {LOCAL_LOW_ID: LUKASZ_LOW} for key in (LONG_DATA_KEY, SHELL_FOLDERS_KEY)}

NO_PRIOR = ["No same version CDK exists", "No same version CRE exists"]
# A kit of the same build, and the uninstall that removes it.
SAME_KIT_REGISTERED = {KIT_KEY: {"BuildNumber": "11"}, f"{UNINSTALL}\\{KIT_CODE}": {}}
SAME_KIT_UNINSTALLS = {"when": "/x " + KIT_CODE,
                       "do": [f"reg-delete-key|{standin_key(KIT_KEY)}",
                              f"reg-delete-key|{standin_key(UNINSTALL)}\\{KIT_CODE}"]}
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
            "probe|replace|{SETTINGS}",
            "probe|delete|{SETTINGS}",
            "probe|read|{SETTINGS}",
            "probe|write|C:\\probe\\a-folder",
            "probe|replace|C:\\probe\\replace-me.txt",
            "probe|write|C:\\probe\\replace-me.txt\\child",
            "probe|delete|C:\\probe\\missing.txt"]}],
        "hold": "{SETTINGS}",
        "files": {
            "{WORKDIR}\\b.cab": "12345",
            "{WORKDIR}\\a.cab": "123",
            "{WORKDIR}\\other.msi": "x",
            "C:\\probe\\delete-me.txt": "x",
            "C:\\probe\\replace-me.txt": "old",
            "C:\\probe\\a-folder": FOLDER,
            "{SETTINGS}": "AUTO_UPDATE=Enable\n",
        },
        "expect": {
            "exit": 0,
            "record": ["event HalvardCDKCabExtractWaitEvent timeout",
                       "file a.cab 3", "file b.cab 5",
                       "probe delete C:\\probe\\delete-me.txt ok",
                       "probe write {SETTINGS} error 32",
                       "probe replace {SETTINGS} error 5",
                       "probe delete {SETTINGS} error 32",
                       "probe read {SETTINGS} ok",
                       "probe write C:\\probe\\a-folder error 5",
                       "probe replace C:\\probe\\replace-me.txt ok",
                       "probe write C:\\probe\\replace-me.txt\\child error 3",
                       "probe delete C:\\probe\\missing.txt error 2"],
            "record_absent": ["file other.msi 1"],
            "files": {"C:\\probe\\delete-me.txt": None, "{WORKDIR}\\a.cab": 3,
                      "C:\\probe\\replace-me.txt": "",
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

    # -----------------------------------------------------------------------------------------
    # Main sequence: the kit command line, its languages and options, exit codes.
    {
        "name": "main.silent_1033",
        "args": ["/s"],
        "expect": {
            "exit": 0,
            "commands": [KIT_SILENT],
            "log": [*NO_PRIOR, "szCDKExeCommand = " + KIT_SILENT],
            "log_absent": [FAILED],
            "files": {"{MSI}": KIT_RESOURCE, "{FLAG}": None,
                      "{OTHER_WORKDIR}": None},
        },
    },
    {
        "name": "main.silent_1041",
        "args": ["/s"],
        "env": {"LC_ALL": "ja_JP.UTF-8"},
        "expect": {"exit": 0, "commands": [kit_silent(1041)]},
    },
    {
        "name": "main.silent_2052",
        "args": ["/s"],
        "env": {"LC_ALL": "zh_CN.UTF-8"},
        "expect": {"exit": 0, "commands": [kit_silent(2052)]},
    },
    {
        "name": "main.interactive_1033",
        "expect": {
            "exit": 0,
            "commands": [KIT_INTERACTIVE],
            "log": ["szCDKExeCommand = " + KIT_INTERACTIVE],
            # No runtime registered after the install: no updater.
            "files": {"{AUMSI}": None},
        },
    },
    {
        "name": "main.lang_1036_is_ignored",
        "args": ["/s", "/lang=1036"],
        "expect": {"exit": 0, "commands": [KIT_SILENT]},
    },
    {
        "name": "main.lang_2052_is_taken",
        "args": ["/s", "/lang=2052"],
        "expect": {"exit": 0, "commands": [kit_silent(2052)]},
    },
    {
        "name": "main.lang_1041_overrides_the_ui_language",
        "args": ["/s", "/lang=1041"],
        "env": {"LC_ALL": "zh_CN.UTF-8"},
        "expect": {"exit": 0, "commands": [kit_silent(1041)]},
    },
    {
        "name": "main.qn_given_is_not_repeated",
        "args": ["/s", "/qn"],
        "expect": {"commands": ['{MSIEXEC} /i "{MSI}" /qn  ADDLOCAL=PubliccreFeature,'
                                'ToolsFeature WRAPPER=1']},
    },
    {
        "name": "main.upper_case_QN_gets_qn",
        "args": ["/s", "/QN"],
        "expect": {"commands": ['{MSIEXEC} /i "{MSI}" /QN  /qn ADDLOCAL=PubliccreFeature,'
                                'ToolsFeature WRAPPER=1']},
    },
    {
        "name": "main.installdir_in_quotes",
        "args": ["/s", "INSTALLDIR=D:\\Kit"],
        "expect": {
            "exit": 0,
            # The executor trims the blank that ends the kit command.
            "commands": [KIT_SILENT + ' INSTALLDIR="D:\\Kit"'],
            "log": ["szCDKExeCommand = " + KIT_SILENT + ' INSTALLDIR="D:\\Kit" \n'],
        },
    },
    {
        "name": "main.installdir_with_blanks",
        "args": ["/s", "INSTALLDIR=C:\\Program Files\\My Kit"],
        "expect": {"commands": [KIT_SILENT + ' INSTALLDIR="C:\\Program Files\\My Kit"']},
    },
    {
        "name": "main.installdir_cafe_code_page_1252",
        "args": ["/s", "INSTALLDIR=C:\\Café"],
        "expect": {"exit": 0, "commands": [KIT_SILENT + ' INSTALLDIR="C:\\Café"']},
    },
    {
        # Both kanji of the folder have 0x5C ('\') as their second byte in code page 932.
        "name": "main.installdir_japanese_code_page_932",
        "args": ["/s", "INSTALLDIR=C:\\ソフト\\表示"],
        "env": {"LC_ALL": "ja_JP.UTF-8"},
        "expect": {"exit": 0,
                   "commands": [kit_silent(1041) + ' INSTALLDIR="C:\\ソフト\\表示"']},
    },
    {
        # The install configuration file is UTF-8; the value reaches msiexec in code page 932.
        "name": "main.installdir_japanese_from_the_install_configuration_file",
        "args": ["/s", "INSTALLCFG=C:\\cfg\\install.cfg"],
        "env": {"LC_ALL": "ja_JP.UTF-8"},
        "files": {"C:\\cfg\\install.cfg": "INSTALLDIR=C:\\ソフト\\表示\n"},
        "expect": {"exit": 0,
                   "commands": [kit_silent(1041) + ' INSTALLDIR="C:\\ソフト\\表示"']},
    },
    {
        # Code page 1252 has no kanji: the run stops with the configuration message, installs
        # nothing, and the folder is never turned into question marks.
        "name": "main.installdir_outside_the_code_page_exits_minus_80",
        "args": ["INSTALLCFG=C:\\cfg\\install.cfg"],
        "files": {"C:\\cfg\\install.cfg": "INSTALLDIR=C:\\ソフト\n"},
        "expect": {"exit": -80, "commands": [], "strings": [3073, 3089],
                   "log": ["Error occurred while loading configuration settings. Exiting installer."],
                   "files": {"{MSI}": None}},
    },
    {
        # A command-line value outside the code page is refused as a whole, never passed on
        # with a look-alike character (C:\Kait): the run stops before anything is changed.
        "name": "main.installdir_argument_outside_the_code_page_exits_minus_80",
        "args": ["/s", "INSTALLDIR=C:\\Kāit"],
        "expect": {"exit": -80, "commands": [], "strings": [3089],
                   "log": ['"INSTALLDIR"', "Error occurred while loading configuration settings."],
                   "files": {"{MSI}": None, "{FLAG}": None}},
    },
    {
        # Code page 932 has no "é": the value that works under 1252 is refused here.
        "name": "main.installdir_argument_cafe_code_page_932_exits_minus_80",
        "args": ["/s", "INSTALLDIR=C:\\Café"],
        "env": {"LC_ALL": "ja_JP.UTF-8"},
        "expect": {"exit": -80, "commands": [], "strings": [3089], "log": ['"INSTALLDIR"'],
                   "files": {"{MSI}": None}},
    },
    {
        # A pass-through argument is named as given, its missing character shown as "?"; the
        # "/s" after the log file is still seen, so the message stays a log record.
        "name": "main.log_file_argument_outside_the_code_page_exits_minus_80",
        "args": ["/l*v", "C:\\lōgs\\k.log", "/s"],
        "expect": {"exit": -80, "commands": [], "strings": [3089],
                   "log": ['"C:\\l?gs\\k.log"'],
                   "files": {"{MSI}": None, "{FLAG}": None}},
    },
    {
        "name": "main.msi_cmdline_of_3000_characters_arrives_whole",
        "args": ["/s", "REBOOT=" + "A" * 2993],
        "expect": {"exit": 0, "commands": ['{MSIEXEC} /i "{MSI}" REBOOT=' + "A" * 2993 + " "
                                           + SILENT + " WRAPPER=1"]},
    },
    {
        # The launcher's own command line fits in 32,767 characters; the kit command would not.
        "name": "main.command_line_too_long_exits_minus_82",
        "args": ["/s", "REBOOT=" + "R" * 32650],
        "expect": {"exit": -82, "commands": []},
    },
    {
        # Process creation takes 32,767 characters with the terminating null: the longest kit
        # command that starts whole has 32,766, and one more is refused, not cut.
        "name": "main.command_line_of_32766_characters_arrives_whole",
        "args": ["/s", "REBOOT={FILL}"],
        "fill": {"command": KIT_FILLED, "length": 32766},
        "expect": {"exit": 0, "commands": [KIT_FILLED]},
    },
    {
        "name": "main.command_line_of_32767_characters_exits_minus_82",
        "args": ["/s", "REBOOT={FILL}"],
        "fill": {"command": KIT_FILLED, "length": 32767},
        "expect": {"exit": -82, "commands": [],
                   "log": ["The msiexec command line has 32767 characters"]},
    },
    {
        "name": "main.reinstall_runs_twice_and_clears_the_value",
        "args": ["/s"],
        "rules": [
            {"when": ON_KIT, "once": True,
             "do": [f"reg-set|{standin_key(TARNWELL)}|InstallStatus|sz|reinstall"]},
            {"when": ON_KIT, "do": ["exit|1603"]},
        ],
        "expect": {
            # The second run's exit code replaces the first one's.
            "exit": 1603,
            "commands": [KIT_SILENT, KIT_SILENT],
            "log": [FAILED + "1603"],
            # The value is gone, and so is the key it left empty.
            "registry": {TARNWELL: None},
        },
    },
    {
        "name": "main.reinstall_keeps_a_tarnwell_key_in_use",
        "args": ["/s"],
        "registry": {TARNWELL: {"Keep": "yes"}},
        "rules": [{"when": ON_KIT, "once": True,
                   "do": [f"reg-set|{standin_key(TARNWELL)}|InstallStatus|sz|reinstall"]}],
        "expect": {"exit": 0, "commands": [KIT_SILENT, KIT_SILENT],
                   "registry": {TARNWELL: {"InstallStatus": None,
                                                             "Keep": "yes"}}},
    },
    {
        "name": "main.reinstall_never_three_times",
        "args": ["/s"],
        "rules": [{"when": ON_KIT,
                   "do": [f"reg-set|{standin_key(TARNWELL)}|InstallStatus|sz|reinstall"]}],
        "expect": {"exit": 0, "commands": [KIT_SILENT, KIT_SILENT],
                   "registry": {TARNWELL: {"InstallStatus": "reinstall"}}},
    },
    {
        "name": "main.capitalised_Reinstall_runs_once",
        "args": ["/s"],
        "rules": [{"when": ON_KIT,
                   "do": [f"reg-set|{standin_key(TARNWELL)}|InstallStatus|sz|Reinstall"]}],
        "expect": {"exit": 0, "commands": [KIT_SILENT],
                   "registry": {TARNWELL: {"InstallStatus": "Reinstall"}}},
    },
    {
        "name": "main.failed_silent_install_runs_runtime_but_not_updater",
        "args": ["/s"],
        "files": {**CRE_FILES, **CAUREG_STANDIN},
        "rules": [kit_installs("exit|1603")],
        "expect": {
            "exit": 1603,
            "commands": [KIT_SILENT, CRE_1033],
            "log": [FAILED + "1603, ErrorCode: "],
            "files": {**CRE_FILES_GONE, "{AUMSI}": None},
        },
    },
    {
        "name": "main.exit_3010_fails_and_restores_the_settings_file",
        "args": ["AUTO_UPDATE=Disable"],
        "files": {"{SETTINGS}": "AUTO_UPDATE=Enable\n", **CAUREG_STANDIN},
        "rules": [kit_installs("exit|3010")],
        "expect": {
            "exit": 3010,
            "commands": [KIT_INTERACTIVE],
            "log": ["...Exporting config settings", FAILED + "3010",
                    "...Restoring config settings"],
            "files": {"{SETTINGS}": Contains("AUTO_UPDATE=Enable", absent=["Disable"]),
                      "{AUMSI}": None},
        },
    },
    {
        "name": "main.kit_database_missing_exits_1",
        "exe": "cdk-setup-no-kit.exe",
        "args": ["/s"],
        "expect": {"exit": 1, "commands": [], "files": {"{MSI}": None}},
    },
    {
        "name": "main.second_launcher_interactive_exits_minus_1",
        "rules": [{"when": ON_KIT, "do": ["probe|delete|{FLAG}", "run|{LAUNCHER}"]}],
        "expect": {
            "exit": 0,
            "commands": [KIT_INTERACTIVE],
            "record": ["probe delete {FLAG} error 32", "run -1"],
            "strings": [120, 119],
            "log": ["CDK wrapper: Another Corvid installation is in progress. You must complete "
                    "that installation before you can run this installer."],
            "files": {"{FLAG}": None},
        },
    },
    {
        "name": "main.second_launcher_silent_exits_minus_1",
        "args": ["/s"],
        "rules": [{"when": ON_KIT, "do": ["run|{LAUNCHER} /s"]}],
        "expect": {"exit": 0, "commands": [KIT_SILENT], "record": ["run -1"],
                   "log": ["CDK wrapper: Another Corvid installation is in progress."]},
    },
    {
        "name": "main.stale_flag_file_is_removed",
        "args": ["/s"],
        "files": {"{FLAG}": ""},
        "expect": {"exit": 0, "commands": [KIT_SILENT], "files": {"{FLAG}": None}},
    },
    {
        # A stale flag that is read-only, or an empty folder in its place, is removed; the run
        # goes on.
        "name": "main.stale_read_only_flag_file_is_removed",
        "args": ["/s"],
        "files": {"{FLAG}": ReadOnly("")},
        "expect": {"exit": 0, "commands": [KIT_SILENT], "files": {"{FLAG}": None}},
    },
    {
        "name": "main.empty_folder_in_place_of_the_flag_is_removed",
        "args": ["/s"],
        "files": {"{FLAG}": FOLDER},
        "expect": {"exit": 0, "commands": [KIT_SILENT], "files": {"{FLAG}": None}},
    },
    {
        # Anything else in the flag's place stops the run untouched, and the log says it is no
        # concurrent install: no "in progress" box.
        "name": "main.folder_with_files_in_place_of_the_flag_exits_minus_1",
        "args": ["/s"],
        "files": {"{FLAG}\\kept.txt": "kept"},
        "expect": {"exit": -1, "commands": [],
                   "log": ["{FLAG}", "not a concurrent install"],
                   "log_absent": ["Another Corvid installation is in progress"],
                   "strings_absent": [120, 119],
                   "files": {"{FLAG}": FOLDER, "{FLAG}\\kept.txt": "kept"}},
    },
    {
        # The flag's name a link to a file elsewhere: nothing is deleted through it.
        "name": "main.flag_link_to_another_file_leaves_it_alone",
        "args": ["/s"],
        "files": {"C:\\victim.txt": "victim"},
        "links": {"{FLAG}": "C:\\victim.txt"},
        "expect": {"exit": -1, "commands": [],
                   "log": ["{FLAG}", "not a concurrent install"],
                   "log_absent": ["Another Corvid installation is in progress"],
                   "files": {"C:\\victim.txt": "victim"}},
    },
    {
        # A flag name that is a link leading nowhere: the flag is not created through it.
        "name": "main.flag_dangling_link_creates_nothing",
        "args": ["/s"],
        "links": {"{FLAG}": "C:\\nowhere.flag"},
        "expect": {"exit": -1, "commands": [],
                   "log": ["{FLAG} is a link that leads nowhere; it is not a concurrent install"],
                   "log_absent": ["Another Corvid installation is in progress"],
                   "files": {"C:\\nowhere.flag": None}},
    },
    {
        # The launcher's folder in the user's data a link to another folder: nothing is created
        # there, the flag included, and the run ends as for any flag failure.
        "name": "main.halvard_link_to_another_folder_exits_minus_1",
        "args": ["/s"],
        "files": {"C:\\victim\\kept.txt": "kept"},
        "links": {"{USERDATA}\\Halvard": "C:\\victim"},
        "expect": {"exit": -1, "commands": [],
                   "log": ["{USERDATA}\\Halvard is a link to C:\\victim"],
                   "files": {"C:\\victim\\kept.txt": "kept", "C:\\victim\\Corvid": None}},
    },
    {
        # The flag goes with the process: the next launcher runs at once.
        "name": "main.killed_launcher_leaves_no_flag",
        "args": ["/s"],
        "rules": [{"when": ON_KIT, "once": True,
                   "do": ["kill-parent|9", "run|{LAUNCHER} /s"]}],
        "expect": {"exit": 9, "commands": [KIT_SILENT, KIT_SILENT],
                   "record": ["kill-parent ok", "run 0"], "files": {"{FLAG}": None}},
    },
    {
        "name": "main.xp_shows_message_121_and_installs_in_roaming_data",
        "windows": "winxp64",
        "expect": {
            "exit": 0,
            "commands": [KIT_INTERACTIVE],
            "strings": [121, 116],
            "log": ["This is an unsupported operationg system."],
            "files": {"{MSI}": KIT_RESOURCE,
                      "{PROFILE}\\AppData\\LocalLow\\Halvard": None},
        },
    },
    {
        "name": "main.xp_32bit_version_silent_installs",
        "windows": "winxp",
        "args": ["/s"],
        "expect": {"exit": 0, "commands": [KIT_SILENT],
                   "log": ["This is an unsupported operationg system."]},
    },
    {
        "name": "main.vista_installs_in_local_low_without_warning",
        "windows": "vista",
        "expect": {"exit": 0, "commands": [KIT_INTERACTIVE],
                   "log_absent": ["This is an unsupported operationg system."],
                   "files": {"{PROFILE}\\AppData\\LocalLow\\Halvard\\Corvid\\{WORKDIR_NAME}"
                             "\\" + ON_KIT: KIT_RESOURCE}},
    },
    {
        "name": "main.server_2003_takes_msiexec_from_the_system_folder",
        "windows": "win2003",
        "msiexec": "system",
        "args": ["/s"],
        "expect": {"exit": 0, "commands": [KIT_SILENT],
                   "log": ["This is an unsupported operationg system."]},
    },
    {
        # msiexec is looked for before anything is written or removed.
        "name": "main.msiexec_not_found_exits_minus_3",
        "msiexec": "none",
        "args": ["/s"],
        "expect": {"exit": -3, "commands": [], "files": {"{MSI}": None}},
    },
    # -----------------------------------------------------------------------------------------
    # Configuration sources, export and its failures.
    {
        "name": "config.silent_from_the_runtime_settings_file",
        "files": {"{SETTINGS}": "INSTALL_SILENT=Enable\n"},
        "expect": {"exit": 0, "commands": [KIT_SILENT],
                   "files": {"{SETTINGS}": Contains("INSTALL_SILENT=Enable")}},
    },
    {
        "name": "config.settings_exported_before_the_install",
        "args": ["/s", "AUTO_UPDATE=Disable"],
        "rules": [{"when": ON_KIT, "do": ["probe|read|{SETTINGS}"]}],
        "expect": {"exit": 0, "commands": [KIT_SILENT],
                   "record": ["probe read {SETTINGS} ok"],
                   "files": {"{SETTINGS}": Contains("AUTO_UPDATE=Disable")}},
    },
    {
        "name": "config.command_line_beats_the_install_configuration_file",
        "args": ["INSTALLCFG=C:\\cfg\\install.cfg", "INSTALLDIR=D:\\FromCommandLine"],
        "files": {"C:\\cfg\\install.cfg": "INSTALL_SILENT=Enable\nINSTALLDIR=D:\\FromFile\n"},
        "expect": {"exit": 0,
                   "commands": [KIT_SILENT + ' INSTALLDIR="D:\\FromCommandLine"']},
    },
    {
        # A runtime settings file a standard user wrote gives its flags but nothing for msiexec
        # (Wine 8 reports the prefix's user as the owner of every file and keeps no owner a
        # program sets, so every file placed here is one); the install file it names was never
        # read from it anyway.
        "name": "config.user_owned_settings_file_gives_flags_but_no_msiexec_arguments",
        "files": {"{SETTINGS}": PLANTED_SETTINGS, "C:\\cfg\\planted.cfg": "INSTALL_SILENT=Enable\n",
                  **CAUREG_STANDIN},
        "rules": [kit_installs()],
        "expect": {
            "exit": 0,
            "commands": [KIT_INTERACTIVE, '{MSIEXEC} /i "{AUMSI}" DISABLE=1 ALLUSERS=1 /qn',
                         CAUREG_RUN],
            "log": ["WARNING: Ignoring INSTALLCFG in the runtime configuration file {SETTINGS}: "
                    "it is owned by S-1-5-21-",
                    "WARNING: Ignoring MSI_CMDLINE in the runtime configuration file {SETTINGS}",
                    "Auto Update is disabled via configuration settings"],
        },
    },
    # The runtime settings file and its folders in ProgramData, which any standard user can
    # create first: a link in the place of the file or of a folder is never read, written or
    # deleted through, with a persistent option on the command line (the file is written) and
    # without one.
    *[{
        "name": "config.settings_" + what + "_link_" + persistent[0] + "_exits_minus_80",
        "args": ["/s"] + persistent[1],
        "files": {"C:\\victim\\Corvid\\corvid.settings.cfg": "MSI_CMDLINE=VICTIM=1\n"},
        "links": {link: "C:\\victim" + target},
        "expect": {"exit": -80, "commands": [],
                   "log": [link + " is a link to C:\\victim" + target
                           + ": the settings file is not read through it."],
                   "files": {"C:\\victim\\Corvid\\corvid.settings.cfg":
                             "MSI_CMDLINE=VICTIM=1\n"}},
    } for what, link, target in [
        ("file", "{SETTINGS}", "\\Corvid\\corvid.settings.cfg"),
        ("folder", "C:\\ProgramData\\Quillon", "")]
      for persistent in [("with_a_persistent_option", ["AUTO_UPDATE=Disable"]),
                         ("without_a_persistent_option", [])]],
    {
        # ProgramData itself moved and linked by an administrator: the settings file is read and
        # written below wherever it leads.
        "name": "config.program_data_through_a_link_keeps_the_settings_file",
        "args": ["/s", "AUTO_UPDATE=Disable"],
        "links": {"C:\\ProgramData": "C:\\Data\\ProgramData"},
        "expect": {"exit": 0, "commands": [KIT_SILENT],
                   "files": {"C:\\Data\\ProgramData\\Quillon\\Corvid\\corvid.settings.cfg":
                             Contains("AUTO_UPDATE=Disable")}},
    },
    {
        # A link that leads nowhere gives no options; written through, it would create its
        # target: the run stops before anything is installed.
        "name": "config.settings_file_dangling_link_with_a_persistent_option_exits_minus_81",
        "args": ["/s", "AUTO_UPDATE=Disable"],
        "links": {"{SETTINGS}": "C:\\nowhere.cfg"},
        "expect": {"exit": -81, "commands": [],
                   "log": ["{SETTINGS} is a link that leads nowhere: nothing is created or "
                           "written through it."],
                   "files": {"C:\\nowhere.cfg": None, "{MSI}": None}},
    },
    {
        "name": "config.settings_file_dangling_link_without_a_persistent_option_installs",
        "args": ["/s"],
        "links": {"{SETTINGS}": "C:\\nowhere.cfg"},
        "expect": {"exit": 0, "commands": [KIT_SILENT], "files": {"C:\\nowhere.cfg": None}},
    },
    {
        # A run ended before it finished (killed, the machine stopped) leaves its temporary
        # files beside the settings file; the next run that writes the file removes them, and
        # nothing else of that folder.
        "name": "config.temporary_files_of_an_ended_run_are_removed",
        "args": ["/s", "AUTO_UPDATE=Disable"],
        "files": {"{SETTINGS}.~export-99999.tmp": "AUTO_UPDATE=Enable\n",
                  "{SETTINGS}.~export-99999.tmp.~99999-0.tmp": "",
                  "{SETTINGS}.~99998-3.tmp": "",
                  "{SETTINGS}.~notes.tmp": "kept"},
        "expect": {"exit": 0, "commands": [KIT_SILENT],
                   "log": ["Removed {SETTINGS}.~export-99999.tmp, left by a run that ended "
                           "before it finished."],
                   "files": {"{SETTINGS}.~export-99999.tmp": None,
                             "{SETTINGS}.~export-99999.tmp.~99999-0.tmp": None,
                             "{SETTINGS}.~99998-3.tmp": None,
                             "{SETTINGS}.~notes.tmp": "kept",
                             "{SETTINGS}": Contains("AUTO_UPDATE=Disable")}},
    },
    {
        # A failed install puts back only what the launcher took from a file it refused
        # options of: written back as it was, the refused option would be in a file of the
        # administrators'. The export's file is theirs: the next run takes it as it is.
        "name": "config.failed_install_restores_only_what_a_user_owned_file_gave",
        "args": ["/s", "AUTO_UPDATE=Enable"],
        "files": {"{SETTINGS}": PLANTED_SETTINGS},
        "rules": [{"when": ON_KIT, "do": ["probe|read|{SETTINGS}", "exit|1603"]}],
        "expect": {
            "exit": 1603,
            "commands": [KIT_SILENT],
            "log": ["Writing to the runtime config file.", "...Restoring config settings"],
            "log_absent": ["Writing the runtime config file back as it was.",
                           "could not be made the owner"],
            "files": {"{SETTINGS}": "AUTO_UPDATE=Disable\r\n"},
        },
    },
    {
        "name": "config.settings_file_not_writable_exits_minus_81",
        "args": ["/s", "AUTO_UPDATE=Disable"],
        "files": {"{SETTINGS}": "AUTO_UPDATE=Enable\n"},
        "hold": "{SETTINGS}",
        "expect": {
            "exit": -81,
            "commands": [],
            "log": ["Error occurred while exporting configuration settings. Exiting installer."],
            "files": {"{SETTINGS}": "AUTO_UPDATE=Enable\n"},
        },
    },
    {
        "name": "config.bare_install_silent_in_the_install_file_exits_minus_80",
        "args": ["INSTALLCFG=C:\\cfg\\install.cfg"],
        "files": {"C:\\cfg\\install.cfg": "INSTALL_SILENT\n"},
        "expect": {"exit": -80, "commands": [], "files": {"{MSI}": None}},
    },
    {
        "name": "config.unknown_switch_exits_minus_80",
        "args": ["/S"],
        "expect": {
            "exit": -80,
            "commands": [],
            "strings": [3089, 3073],
            "log": ["Error occurred while importing important args. Exiting installer.",
                    "Error occurred while loading configuration settings. Exiting installer."],
        },
    },
    # -----------------------------------------------------------------------------------------
    # Payload: the database and the cabinets in the working folder, the event, write failures.
    {
        "name": "payload.cabinets_complete_when_the_event_is_set",
        "args": ["/s"],
        "rules": [{"when": ON_KIT, "do": ["wait-event|HalvardCDKCabExtractWaitEvent|20",
                                          "list-files|{WORKDIR}|*.cab"]}],
        "expect": {
            "exit": 0,
            "record": ["event HalvardCDKCabExtractWaitEvent set"]
            + [f"file {name} {{SIZE:{t}:{i}}}" for name, (t, i) in CABINET_RESOURCES.items()],
            "files": {"{MSI}": KIT_RESOURCE,
                      **{"{WORKDIR}\\" + name: Resource(t, i)
                         for name, (t, i) in CABINET_RESOURCES.items()}},
        },
    },
    {
        # Another process holds the cabinets' event, set (as the msiexec of a killed earlier
        # run may): the kit's msiexec still finds every cabinet whole once it sees it set.
        "name": "payload.event_left_set_by_another_process_waits_for_the_cabinets",
        "args": ["/s"],
        "set_event": "HalvardCDKCabExtractWaitEvent",
        "rules": [{"when": ON_KIT, "do": ["wait-event|HalvardCDKCabExtractWaitEvent|20",
                                          "list-files|{WORKDIR}|*.cab"]}],
        "expect": {
            "exit": 0,
            "log": ["The event HalvardCDKCabExtractWaitEvent existed already; it is reset"],
            "record": ["event HalvardCDKCabExtractWaitEvent set"]
            + [f"file {name} {{SIZE:{t}:{i}}}" for name, (t, i) in CABINET_RESOURCES.items()],
        },
    },
    {
        # The same with a cabinet that cannot be written: whoever set the event before, the
        # kit's msiexec never sees it set, so it never reads a cabinet that is not there.
        "name": "payload.event_left_set_stays_unset_while_a_cabinet_is_missing",
        "args": ["/s"],
        "set_event": "HalvardCDKCabExtractWaitEvent",
        "files": {"{WORKDIR}\\sz360090.cab": FOLDER},
        "rules": [{"when": ON_KIT, "do": ["wait-event|HalvardCDKCabExtractWaitEvent|3",
                                          "list-files|{WORKDIR}|*.cab"]}],
        "expect": {"exit": 5, "commands": [KIT_SILENT],
                   "record": ["event HalvardCDKCabExtractWaitEvent timeout"]},
    },
    {
        "name": "payload.without_cab10_three_cabinets_and_the_event",
        "exe": "cdk-setup-no-cab10.exe",
        "args": ["/s"],
        "rules": [{"when": ON_KIT, "do": ["wait-event|HalvardCDKCabExtractWaitEvent|20",
                                          "list-files|{WORKDIR}|*.cab"]}],
        "expect": {
            "exit": 0,
            "record": ["event HalvardCDKCabExtractWaitEvent set",
                       "file sj360090.cab {SIZE:CORVID_CAB7:108}",
                       "file ss360090.cab {SIZE:CORVID_CAB9:110}",
                       "file sz360090.cab {SIZE:CORVID_CAB11:112}"],
            "files": {"{WORKDIR}\\st360090.cab": None, "{WORKDIR}": FOLDER},
        },
    },
    {
        # While msiexec reads them, the database and the cabinets cannot be changed under it.
        "name": "payload.files_cannot_be_swapped_while_msiexec_runs",
        "args": ["/s"],
        "rules": [{"when": ON_KIT, "do": ["wait-event|HalvardCDKCabExtractWaitEvent|20",
                                          "probe|write|{MSI}", "probe|delete|{MSI}",
                                          "probe|write|{WORKDIR}\\ss360090.cab",
                                          "probe|delete|{WORKDIR}\\sz360090.cab"]}],
        "expect": {
            "exit": 0,
            "record": ["probe write {MSI} error 32", "probe delete {MSI} error 32",
                       "probe write {WORKDIR}\\ss360090.cab error 32",
                       "probe delete {WORKDIR}\\sz360090.cab error 32"],
            "files": {"{MSI}": KIT_RESOURCE,
                      "{WORKDIR}\\sz360090.cab": Resource("CORVID_CAB11", 112)},
        },
    },
    {
        "name": "payload.stale_database_is_replaced",
        "args": ["/s"],
        "files": {"{MSI}": b"stale" * 600000},
        "expect": {"exit": 0, "files": {"{MSI}": KIT_RESOURCE}},
    },
    {
        # A folder where the database goes: creating the file is refused (access denied).
        "name": "payload.database_not_writable_exits_5",
        "args": ["/s"],
        "files": {"{MSI}": FOLDER},
        "expect": {"exit": 5, "commands": []},
    },
    {
        # A file where the working folder goes: the database's path does not exist.
        "name": "payload.working_folder_not_creatable_exits_3",
        "args": ["/s"],
        "files": {"{WORKDIR}": "not a folder"},
        "expect": {"exit": 3, "commands": []},
    },
    {
        # The extraction thread ends the process, at the first cabinet; msiexec may or may not
        # have started by then.
        "name": "payload.cabinet_write_failure_ends_the_run",
        "args": ["/s"],
        "files": {"{WORKDIR}\\ss360090.cab": FOLDER},
        # Like the kit's database, the stand-in waits for the cabinets: the fatal exit of the
        # extraction thread ends the launcher while msiexec still waits.
        "rules": [{"when": ON_KIT, "do": ["wait-event|HalvardCDKCabExtractWaitEvent|3"]}],
        "expect": {"exit": 5,
                   "files": {"{MSI}": KIT_RESOURCE,
                             **{"{WORKDIR}\\" + name: None for name in CABINETS[1:]}}},
    },
    {
        # msiexec ends at once, while the extraction thread has three cabinets to write before
        # the one it cannot: the run still ends with the write's failure, never with success.
        "name": "payload.last_cabinet_write_failure_outlasts_msiexec",
        "args": ["/s"],
        "files": {"{WORKDIR}\\sz360090.cab": FOLDER},
        "expect": {"exit": 5, "commands": [KIT_SILENT],
                   "files": {"{WORKDIR}\\sj360090.cab": Resource("CORVID_CAB7", 108),
                             "{FLAG}": None}},
    },
    {
        # Links planted where the payload goes: nothing is written through them, the run ends
        # through the fatal path with ERROR_STOPPED_ON_SYMLINK before msiexec runs, and the log
        # names the path and where it leads.
        "name": "payload.working_folder_link_to_another_folder_exits_681",
        "args": ["/s"],
        "files": {"C:\\victim\\kept.txt": "kept"},
        "links": {"{WORKDIR}": "C:\\victim"},
        "expect": {"exit": 681, "commands": [],
                   "log": ["{WORKDIR} is a link to C:\\victim"],
                   "files": {"C:\\victim\\kept.txt": "kept", "C:\\victim\\cdk3.6.0_09.msi": None,
                             "{FLAG}": None}},
    },
    {
        "name": "payload.working_folder_dangling_link_exits_681",
        "args": ["/s"],
        "links": {"{WORKDIR}": "C:\\nowhere"},
        "expect": {"exit": 681, "commands": [],
                   "log": ["{WORKDIR} is a link that leads nowhere"],
                   "files": {"C:\\nowhere": None}},
    },
    {
        "name": "payload.database_link_to_another_file_exits_681",
        "args": ["/s"],
        "files": {"C:\\victim.txt": "victim"},
        "links": {"{MSI}": "C:\\victim.txt"},
        "expect": {"exit": 681, "commands": [],
                   "log": ["{MSI} is a link to C:\\victim.txt",
                           "The kit's database {MSI} could not be written"],
                   "files": {"C:\\victim.txt": "victim"}},
    },
    {
        # A link to a name that does not exist: creating the file through it would create the
        # target.
        "name": "payload.database_dangling_link_creates_nothing_exits_681",
        "args": ["/s"],
        "links": {"{MSI}": "C:\\nowhere.msi"},
        "expect": {"exit": 681, "commands": [], "log": ["{MSI} is a link that leads nowhere"],
                   "files": {"C:\\nowhere.msi": None}},
    },
    {
        "name": "payload.cabinet_link_to_another_file_exits_681",
        "args": ["/s"],
        "files": {"C:\\victim.txt": "victim"},
        "links": {"{WORKDIR}\\sj360090.cab": "C:\\victim.txt"},
        "rules": [{"when": ON_KIT, "do": ["wait-event|HalvardCDKCabExtractWaitEvent|3"]}],
        "expect": {"exit": 681,
                   "log": ["{WORKDIR}\\sj360090.cab is a link to C:\\victim.txt"],
                   "files": {"C:\\victim.txt": "victim"}},
    },
    {
        # A link to a folder where a file goes is a link as well (a folder of its own there
        # stays "access denied", payload.database_not_writable_exits_5).
        "name": "payload.database_link_to_a_folder_exits_681",
        "args": ["/s"],
        "files": {"C:\\victim\\kept.txt": "kept"},
        "links": {"{MSI}": "C:\\victim"},
        "expect": {"exit": 681, "commands": [], "log": ["{MSI} is a link to C:\\victim"],
                   "files": {"C:\\victim\\kept.txt": "kept"}},
    },
    {
        # While msiexec runs, no folder on the way to its files can be moved aside (and another
        # put in its place): the user's data folder, the launcher's folders, the working folder
        # and the updater's folder are held from their check until the process ends.
        # The settings file's folders too, once the export is written (a persistent option).
        "name": "payload.folders_cannot_be_renamed_while_msiexec_runs",
        "args": ["/s", "AUTO_UPDATE=Enable"],
        "files": CAUREG_STANDIN,
        "rules": [kit_installs("wait-event|HalvardCDKCabExtractWaitEvent|20",
                               "probe|rename|{WORKDIR}", "probe|rename|{USERDATA}\\Halvard\\Corvid",
                               "probe|rename|{USERDATA}\\Halvard", "probe|rename|{USERDATA}",
                               "probe|rename|C:\\ProgramData\\Quillon\\Corvid",
                               "probe|rename|C:\\ProgramData\\Quillon"),
                  {"when": ON_AU, "do": ["probe|rename|{USERDATA}\\Quillon\\Corvid\\AU",
                                         "probe|rename|{USERDATA}\\Quillon"]}],
        "expect": {
            "exit": 0,
            "record": ["probe rename {WORKDIR} error 32",
                       "probe rename {USERDATA}\\Halvard\\Corvid error 32",
                       "probe rename {USERDATA}\\Halvard error 32",
                       "probe rename {USERDATA} error 32",
                       "probe rename C:\\ProgramData\\Quillon\\Corvid error 32",
                       "probe rename C:\\ProgramData\\Quillon error 32",
                       "probe rename {USERDATA}\\Quillon\\Corvid\\AU error 32",
                       "probe rename {USERDATA}\\Quillon error 32"],
            "files": {"{MSI}": KIT_RESOURCE,
                      "{AUMSI}": Resource(UPDATER_DATABASE.type, UPDATER_DATABASE.id)},
        },
    },
    # -----------------------------------------------------------------------------------------
    # Install language from the user interface language.
    {
        "name": "lang.chinese_hong_kong_ui_gives_1033",
        "args": ["/s"],
        "env": {"LC_ALL": "zh_HK.UTF-8"},
        "expect": {"exit": 0, "commands": [KIT_SILENT]},
    },
    {
        "name": "lang.german_ui_gives_1033",
        "args": ["/s"],
        "env": {"LC_ALL": "de_DE.UTF-8"},
        "expect": {"exit": 0, "commands": [KIT_SILENT]},
    },
    # -----------------------------------------------------------------------------------------
    # Prior installs: the kit and the runtimes of the same version, in the flavour's view.
    {
        "name": "removal.newer_kit_build_stops_the_run",
        "args": ["/s"],
        "registry": {KIT_KEY: {"BuildNumber": "12"}, f"{UNINSTALL}\\{KIT_CODE}": {}},
        "expect": {
            "exit": -1,
            "commands": [],
            "strings": [2048, 2049],
            "log": ["Existing build: 12 is newer than current build: 11"],
            "files": {"{MSI}": None},
        },
    },
    {
        "name": "removal.same_kit_build_is_uninstalled",
        "args": ["/s"],
        "registry": {KIT_KEY: {"BuildNumber": "11"}, f"{UNINSTALL}\\{KIT_CODE}": {}},
        "rules": [{"when": "/x " + KIT_CODE, "do": [f"reg-delete-key|{standin_key(KIT_KEY)}",
                                                    f"reg-delete-key|{standin_key(UNINSTALL)}\\{KIT_CODE}"]}],
        "expect": {
            "exit": 0,
            "commands": [uninstall(KIT_CODE), KIT_SILENT],
            "log": ["Existing build: 11 is same/older than current build: 11",
                    "No same version CRE exists"],
        },
    },
    {
        "name": "removal.older_kit_build_is_uninstalled",
        "registry": {KIT_KEY: {"BuildNumber": "7"}, f"{UNINSTALL}\\{KIT_CODE}": {}},
        "expect": {"exit": 0, "commands": [uninstall(KIT_CODE), KIT_INTERACTIVE],
                   "log": ["Existing build: 7 is same/older than current build: 11"]},
    },
    {
        "name": "removal.kit_without_build_number_counts_as_newer",
        "args": ["/s"],
        "registry": {KIT_KEY: {"CorvidHome": KIT_HOME}, f"{UNINSTALL}\\{KIT_CODE}": {}},
        "expect": {"exit": -1, "commands": [], "strings": [2048, 2049],
                   "log": ["CorvidKey.QueryValue(BuildNumber, Value); failed: 2"]},
    },
    {
        "name": "removal.kit_product_code_not_registered_stops_the_run",
        "args": ["/s"],
        "registry": {KIT_KEY: {"BuildNumber": "11"}},
        "expect": {
            "exit": -1,
            "commands": [],
            "log": ["ERROR: CDK GUID not found " + KIT_CODE,
                    "UninstallExistingCDK (SOFTWARE\\Tarnwell\\Corvid Development Kit\\3.6.0_09)"
                    " failed"],
        },
    },
    {
        "name": "removal.failed_kit_uninstall_stops_the_run",
        "args": ["/s"],
        "registry": {KIT_KEY: {"BuildNumber": "11"}, f"{UNINSTALL}\\{KIT_CODE}": {}},
        "rules": [{"when": "/x " + KIT_CODE, "do": ["exit|1602"]}],
        "expect": {"exit": -1, "commands": [uninstall(KIT_CODE)],
                   "log": ["Uninstall existining CDK failed " + KIT_CODE + ": 1602"]},
    },
    {
        "name": "removal.kit_in_the_other_view_is_ignored",
        "args": ["/s"],
        "registry": {"{HKLM_OTHER}\\SOFTWARE\\Tarnwell\\Corvid Development Kit\\3.6.0_09":
                     {"BuildNumber": "12"}},
        "expect": {"exit": 0, "commands": [KIT_SILENT], "log": NO_PRIOR},
    },
    {
        # The product code is looked up in the flavour's own view: an Uninstall entry only in
        # the other view is not this kit's.
        "name": "removal.kit_uninstall_entry_only_in_the_other_view_is_not_found",
        "args": ["/s"],
        "registry": {KIT_KEY: {"BuildNumber": "11"},
                     "{HKLM_OTHER}\\" + UNINSTALL_PATH + "\\" + KIT_CODE: {}},
        "expect": {"exit": -1, "commands": [], "log": ["ERROR: CDK GUID not found " + KIT_CODE]},
    },
    # What can stop the run without changing the machine is settled before the prior install is
    # removed: the runtime settings file's folder, the working folder's path, msiexec.
    {
        "name": "removal.settings_file_not_writable_stops_before_the_removal",
        "args": ["/s", "AUTO_UPDATE=Disable"],
        "registry": SAME_KIT_REGISTERED,
        "files": {"C:\\ProgramData\\Quillon\\Corvid": "a file, not a folder"},
        "rules": [SAME_KIT_UNINSTALLS],
        "expect": {"exit": -81, "commands": [], "files": {"{MSI}": None},
                   "registry": {KIT_KEY: {"BuildNumber": "11"}}},
    },
    {
        "name": "removal.database_path_too_long_stops_before_the_removal",
        "args": ["/s"],
        "registry": {**SAME_KIT_REGISTERED, LONG_DATA_KEY: {LOCAL_LOW_ID: "C:\\" + "d" * 215}},
        "files": {"C:\\" + "d" * 215: FOLDER},
        "rules": [SAME_KIT_UNINSTALLS],
        "expect": {"exit": 206, "commands": [], "registry": {KIT_KEY: {"BuildNumber": "11"}}},
    },
    {
        "name": "removal.msiexec_not_found_stops_before_the_removal",
        "args": ["/s"],
        "registry": SAME_KIT_REGISTERED,
        "msiexec": "none",
        "expect": {"exit": -3, "commands": [], "log_absent": ["Uninstall existining CDK failed"]},
    },
    {
        # The settings file is held when its prepared replacement is to take its place, after the
        # removal: the run ends -81 and the log names what is gone.
        "name": "removal.settings_file_held_after_the_removal_names_what_was_removed",
        "args": ["/s", "AUTO_UPDATE=Disable"],
        "registry": SAME_KIT_REGISTERED,
        "files": {"{SETTINGS}": "AUTO_UPDATE=Enable\n"},
        "hold": "{SETTINGS}",
        "rules": [SAME_KIT_UNINSTALLS],
        "expect": {"exit": -81, "commands": [uninstall(KIT_CODE)],
                   "log": ["Uninstalled before the installer stopped, and not installed again: "
                           + KIT_CODE],
                   "files": {"{SETTINGS}": "AUTO_UPDATE=Enable\n"}},
    },
    {
        "name": "removal.runtimes_uninstalled_from_update_09_down_to_00",
        "args": ["/s"],
        "registry": {CRE_KEY: {"BuildNumber": "11"},
                     **{f"{UNINSTALL}\\{cre_code(u)}": {} for u in (9, 7, 3, 0)}},
        "rules": [{"when": "/x {5B1C93D0", "do": [f"reg-delete-key|{standin_key(CRE_KEY)}"]}],
        "expect": {
            "exit": 0,
            "commands": [uninstall(cre_code(u)) for u in (9, 7, 3, 0)] + [KIT_SILENT],
            "log": ["No same version CDK exists",
                    "Existing build: 11 is same/older than current build: 11",
                    f"Error Opening registry key {UNINSTALL_PATH}\\{cre_code(8)}: 2"],
        },
    },
    {
        "name": "removal.runtime_code_in_the_other_view_is_not_uninstalled",
        "args": ["/s"],
        "registry": {CRE_KEY: {"BuildNumber": "11"},
                     "{HKLM_OTHER}\\" + UNINSTALL_PATH + "\\" + cre_code(9): {}},
        "expect": {"exit": 0, "commands": [KIT_SILENT, AU_INSTALL],
                   "log": [f"Error Opening registry key {UNINSTALL_PATH}\\{cre_code(9)}: 2"]},
    },
    {
        "name": "removal.static_runtime_is_kept",
        "args": ["/s"],
        "registry": {CRE_KEY: {"BuildNumber": "11"}, CRE_KEY + "\\MSI": {"MODE": "s"},
                     f"{UNINSTALL}\\{cre_code(9)}": {}},
        "expect": {"exit": 0, "commands": [KIT_SILENT, AU_INSTALL]},
    },
    {
        "name": "removal.newer_runtime_is_kept_without_a_message",
        "args": ["/s"],
        "registry": {CRE_KEY: {"BuildNumber": "12"}, f"{UNINSTALL}\\{cre_code(9)}": {}},
        "expect": {"exit": 0, "commands": [KIT_SILENT, AU_INSTALL],
                   "log": ["Existing build: 12 is newer than current build: 11"]},
    },
    {
        # Any failed runtime uninstall stops the run, also when a later one succeeds.
        "name": "removal.any_failed_runtime_uninstall_stops_the_run",
        "args": ["/s"],
        "registry": {CRE_KEY: {"BuildNumber": "11"},
                     **{f"{UNINSTALL}\\{cre_code(u)}": {} for u in (9, 5)}},
        "rules": [{"when": "/x " + cre_code(9), "do": ["exit|1603"]}],
        "expect": {
            "exit": -1,
            "commands": [uninstall(cre_code(9)), uninstall(cre_code(5))],
            "log": ["Uninstall existining CRE failed " + cre_code(9) + ": 1603",
                    "UninstallCREIfSameOrOlderBuild( SOFTWARE\\Tarnwell\\Corvid Runtime "
                    "Environment\\3.6.0_09) failed",
                    "Uninstalled before the installer stopped, and not installed again: "
                    + cre_code(5)],
        },
    },
    {
        "name": "removal.kit_and_runtime_both_uninstalled",
        "args": ["/s"],
        "registry": {KIT_KEY: {"BuildNumber": "11"}, f"{UNINSTALL}\\{KIT_CODE}": {},
                     CRE_KEY: {"BuildNumber": "10"}, f"{UNINSTALL}\\{cre_code(9)}": {}},
        "rules": [{"when": "/x " + KIT_CODE, "do": [f"reg-delete-key|{standin_key(KIT_KEY)}"]},
                  {"when": "/x " + cre_code(9), "do": [f"reg-delete-key|{standin_key(CRE_KEY)}"]}],
        "expect": {"exit": 0,
                   "commands": [uninstall(KIT_CODE), uninstall(cre_code(9)), KIT_SILENT]},
    },
    # -----------------------------------------------------------------------------------------
    # Follow-ups: the public runtime (silent runs) and the updater (successful runs).
    {
        "name": "followup.runtime_1041_with_its_own_folder",
        "args": ["/s", "/INSTALLDIRPUBCRE=D:\\Pub"],
        "env": {"LC_ALL": "ja_JP.UTF-8"},
        "files": CRE_FILES,
        "rules": [{"when": ON_KIT, "do": [f"reg-set|{standin_key(KIT_KEY)}|CorvidHome|sz|{KIT_HOME}"]}],
        "expect": {
            "exit": 0,
            "commands": [kit_silent(1041),
                         '{MSIEXEC} /i "' + KIT_HOME + '\\cre.msi" TRANSFORMS="' + KIT_HOME
                         + '\\cre1041.MST" /qn ADDLOCAL=ALL SDKSILENT=1 INSTALLDIR="D:\\Pub"'],
            "files": CRE_FILES_GONE,
        },
    },
    {
        "name": "followup.runtime_gets_reboot_really_suppress",
        "args": ["/s", "REBOOT=ReallySuppress"],
        "files": CRE_FILES,
        "rules": [{"when": ON_KIT, "do": [f"reg-set|{standin_key(KIT_KEY)}|CorvidHome|sz|{KIT_HOME}"]}],
        "expect": {"commands": ['{MSIEXEC} /i "{MSI}" REBOOT=ReallySuppress ' + SILENT
                                + " WRAPPER=1", CRE_1033 + " REBOOT=ReallySuppress"]},
    },
    {
        "name": "followup.runtime_without_other_reboot_values",
        "args": ["/s", "REBOOT=Force"],
        "files": CRE_FILES,
        "rules": [{"when": ON_KIT, "do": [f"reg-set|{standin_key(KIT_KEY)}|CorvidHome|sz|{KIT_HOME}"]}],
        "expect": {"commands": ['{MSIEXEC} /i "{MSI}" REBOOT=Force ' + SILENT + " WRAPPER=1",
                                CRE_1033]},
    },
    {
        "name": "followup.no_runtime_database_still_deletes_the_transforms",
        "args": ["/s"],
        "files": {KIT_HOME + "\\cre1041.MST": "ja", KIT_HOME + "\\cre2052.MST": "zh"},
        "rules": [{"when": ON_KIT, "do": [f"reg-set|{standin_key(KIT_KEY)}|CorvidHome|sz|{KIT_HOME}"]}],
        "expect": {"exit": 0, "commands": [KIT_SILENT], "files": CRE_FILES_GONE},
    },
    {
        "name": "followup.addlocal_without_the_runtime_feature_skips_the_runtime",
        "args": ["/s", "ADDLOCAL=ToolsFeature"],
        "files": CRE_FILES,
        "rules": [{"when": ON_KIT, "do": [f"reg-set|{standin_key(KIT_KEY)}|CorvidHome|sz|{KIT_HOME}"]}],
        "expect": {"exit": 0,
                   "commands": ['{MSIEXEC} /i "{MSI}" ADDLOCAL=ToolsFeature  /qn WRAPPER=1'],
                   "files": {path: PRESENT for path in CRE_FILES}},
    },
    {
        "name": "followup.addlocal_all_runs_the_runtime",
        "args": ["/s", "ADDLOCAL=ALL"],
        "files": CRE_FILES,
        "rules": [{"when": ON_KIT, "do": [f"reg-set|{standin_key(KIT_KEY)}|CorvidHome|sz|{KIT_HOME}"]}],
        "expect": {"exit": 0,
                   "commands": ['{MSIEXEC} /i "{MSI}" ADDLOCAL=ALL  /qn WRAPPER=1', CRE_1033],
                   "files": CRE_FILES_GONE},
    },
    {
        "name": "followup.updater_first_install",
        "files": CAUREG_STANDIN,
        "rules": [kit_installs()],
        "expect": {
            "exit": 0,
            "commands": [KIT_INTERACTIVE, AU_INSTALL, CAUREG_RUN],
            "log": ["Auto Update is enabled"],
            "files": {"{AUMSI}": Resource(UPDATER_DATABASE.type, UPDATER_DATABASE.id)},
            "registry": {POLICY: None},
        },
    },
    {
        "name": "followup.updater_of_the_same_version_is_not_upgraded",
        "registry": {AU_KEY: {"AUVersion": "5.6.09.11"}},
        "files": CAUREG_STANDIN,
        "rules": [kit_installs()],
        "expect": {
            "exit": 0,
            "commands": [KIT_INTERACTIVE],
            "log": ["AU is not upgradable - Installed version >= the bundled version."],
        },
    },
    {
        "name": "followup.updater_5_4_1_2_settings_move_to_the_new_layout",
        "registry": {AU_KEY: {"AUVersion": "5.4.1.2"},
                     POLICY: {"Frequency": 1032, "UpdateSchedule": 14, "UpdateMin": 30,
                              "NotifyDownload": 0, "NotifyInstall": 1}},
        "files": CAUREG_STANDIN,
        "rules": [kit_installs()],
        "expect": {
            "exit": 0,
            "commands": [KIT_INTERACTIVE, AU_REMOVE_OLD, AU_INSTALL, CAUREG_RUN],
            "log_absent": ["getSchedule failed", "getNotifyType failed",
                           "Failed to get existing AU schedule setting."],
            "registry": {POLICY + "\\cucheck": {
                "Frequency": PRESENT, "UpdateSchedule": PRESENT, "UpdateMin": PRESENT,
                "NotifyDownload": 0, "NotifyInstall": 1}},
        },
    },
    {
        # Read in the new layout, which is empty: both settings are made anew.
        "name": "followup.updater_5_6_02_11_read_in_the_new_layout",
        "registry": {AU_KEY: {"AUVersion": "5.6.02.11"},
                     POLICY: {"Frequency": 1032, "UpdateSchedule": 14, "UpdateMin": 30,
                              "NotifyDownload": 0, "NotifyInstall": 1}},
        "files": CAUREG_STANDIN,
        "rules": [kit_installs()],
        "expect": {
            "exit": 0,
            "commands": [KIT_INTERACTIVE, AU_REMOVE_OLD, AU_INSTALL, CAUREG_RUN],
            "log": ["getSchedule failed: ", "getNotifyType failed: "],
            "registry": {POLICY + "\\cucheck": {
                "Frequency": PRESENT, "NotifyDownload": 1, "NotifyInstall": 0}},
        },
    },
    {
        "name": "followup.auto_update_disabled",
        "args": ["AUTO_UPDATE=Disable"],
        "files": CAUREG_STANDIN,
        "rules": [kit_installs()],
        "expect": {
            "exit": 0,
            "commands": [KIT_INTERACTIVE, '{MSIEXEC} /i "{AUMSI}" DISABLE=1 ALLUSERS=1 /qn',
                         CAUREG_RUN],
            "log": ["Auto Update is disabled via configuration settings"],
        },
    },
    {
        # After a successful kit install nothing puts the runtime settings file back: a payload
        # failure of the updater ends the run with its code, and the file stays as exported.
        "name": "followup.updater_database_not_writable_keeps_the_settings_file",
        "args": ["AUTO_UPDATE=Disable"],
        "files": {"{SETTINGS}": "AUTO_UPDATE=Enable\n", "{AUMSI}": FOLDER, **CAUREG_STANDIN},
        "rules": [kit_installs()],
        "expect": {
            "exit": 5,
            "commands": [KIT_INTERACTIVE],
            "log": ["The updater's database {AUMSI} could not be written"],
            "log_absent": ["...Restoring config settings"],
            "files": {"{SETTINGS}": Contains("AUTO_UPDATE=Disable", absent=["Enable"])},
        },
    },
    {
        # The updater's folder a link, met after a successful kit install: the fatal path ends
        # the run, the kit stays installed and the settings file stays as exported.
        "name": "followup.updater_folder_link_to_another_folder_exits_681",
        "args": ["AUTO_UPDATE=Disable"],
        "files": {"{SETTINGS}": "AUTO_UPDATE=Enable\n", "C:\\victim\\kept.txt": "kept",
                  **CAUREG_STANDIN},
        "links": {"{USERDATA}\\Quillon\\Corvid\\AU": "C:\\victim"},
        "rules": [kit_installs()],
        "expect": {
            "exit": 681,
            "commands": [KIT_INTERACTIVE],
            "log": ["{USERDATA}\\Quillon\\Corvid\\AU is a link to C:\\victim"],
            "log_absent": ["...Restoring config settings"],
            "files": {"{SETTINGS}": Contains("AUTO_UPDATE=Disable", absent=["Enable"]),
                      "C:\\victim\\kept.txt": "kept", "C:\\victim\\au.msi": None},
            "registry": {KIT_KEY: {"CorvidHome": KIT_HOME}},
        },
    },
    {
        "name": "followup.failed_updater_install_keeps_the_exit_code",
        "files": CAUREG_STANDIN,
        "rules": [kit_installs(), {"when": ON_AU, "do": ["exit|1603"]}],
        "expect": {"exit": 0, "commands": [KIT_INTERACTIVE, AU_INSTALL],
                   "log": ["Auto Update install failed"]},
    },
    # -----------------------------------------------------------------------------------------
    # Wine's own msiexec with the test payload's database.
    {
        "name": "real.silent_install_with_wine_msiexec",
        "msiexec": "real",
        "args": ["/s", "INSTALLDIR=C:\\Kit"],
        "expect": {
            "exit": 0,
            "log": ["szCDKExeCommand = " + KIT_SILENT + ' INSTALLDIR="C:\\Kit" '],
            # The kit's files, its registry values, the public runtime installed from the kit
            # folder (whose database and transforms are then removed) and the updater.
            "files": {"C:\\Kit\\README.txt": PRESENT, "C:\\Kit\\bin\\corvidc.cmd": PRESENT,
                      "C:\\Kit\\cre.msi": None, "C:\\Kit\\cre1041.MST": None,
                      "C:\\Kit\\cre2052.MST": None, CAUREG: PRESENT},
            "registry": {
                KIT_KEY: {"BuildNumber": "11", "CorvidHome": "C:\\Kit\\"},
                CRE_KEY: {"BuildNumber": "11"},
                TARNWELL + "\\Corvid Public Runtime\\3.6.0_09": {},
                AU_KEY: {"AUVersion": "5.6.09.11"},
                f"{UNINSTALL}\\{KIT_CODE}": {},
            },
        },
    },
    {
        # The real msiexec fails (the kit's folder lies on a drive that does not exist): the
        # runtime settings file is put back byte for byte, and no updater is installed.
        "name": "real.failed_install_restores_the_settings_file",
        "msiexec": "real",
        "args": ["/s", "AUTO_UPDATE=Disable", "INSTALLDIR=Q:\\Nowhere"],
        "files": {"{SETTINGS}": "# kept as it is\r\nAUTO_UPDATE=Enable\r\nEULA=1\r\n"},
        "expect": {
            "exit": 1603,
            "log": [FAILED],
            "files": {"{SETTINGS}": "# kept as it is\r\nAUTO_UPDATE=Enable\r\nEULA=1\r\n",
                      CAUREG: None},
            "registry": {f"{UNINSTALL}\\{KIT_CODE}": None},
        },
    },
    # -----------------------------------------------------------------------------------------
    # A user data folder so deep that the launcher's paths would not fit: nothing is cut.
    {
        "name": "paths.flag_path_too_long_exits_minus_1",
        "args": ["/s"],
        "registry": {LONG_DATA_KEY: {LOCAL_LOW_ID: "C:\\" + "d" * 230}},
        "files": {"C:\\" + "d" * 230: FOLDER},
        "expect": {"exit": -1, "commands": [], "log": ["Fail to create directory"]},
    },
    {
        "name": "paths.database_path_too_long_exits_206",
        "args": ["/s"],
        "registry": {LONG_DATA_KEY: {LOCAL_LOW_ID: "C:\\" + "d" * 215}},
        "files": {"C:\\" + "d" * 215: FOLDER},
        "expect": {"exit": 206, "commands": []},
    },
    {
        # LocalLow outside the code page: the payload goes into the user's own folder by its
        # short name, never into the other user's look-alike folder.
        "name": "paths.local_low_outside_the_code_page_is_used_by_its_short_name",
        "args": ["/s"],
        "registry": LUKASZ_SHELL_FOLDERS,
        "files": {LUKASZ_LOW: FOLDER, LOOK_ALIKE_LOW: FOLDER},
        "expect": {
            "exit": 0,
            "commands": ['{MSIEXEC} /i "' + LUKASZ_LOW_SHORT
                         + '\\Halvard\\Corvid\\{WORKDIR_NAME}\\cdk3.6.0_09.msi" ' + SILENT
                         + " WRAPPER=1"],
            "files": {LUKASZ_LOW + "\\Halvard\\Corvid\\{WORKDIR_NAME}\\" + name: PRESENT
                      for name in ["cdk3.6.0_09.msi"] + CABINETS}
            | {LOOK_ALIKE_LOW + "\\Halvard": None},
        },
    },
    {
        # Before Vista the roaming AppData folder is the user data folder: the same rule.
        "name": "paths.roaming_data_outside_the_code_page_is_used_by_its_short_name",
        "windows": "winxp64",
        "args": ["/s"],
        "registry": {key: {"AppData": "C:\\users\\Łukasz\\AppData\\Roaming"}
                     for key in (LONG_DATA_KEY, SHELL_FOLDERS_KEY)},
        "files": {"C:\\users\\Łukasz\\AppData\\Roaming": FOLDER,
                  "C:\\users\\Lukasz\\AppData\\Roaming": FOLDER},
        "expect": {
            "exit": 0,
            "commands": ['{MSIEXEC} /i "C:\\users\\_UKA~INY\\AppData\\Roaming\\Halvard\\Corvid\\'
                         '{WORKDIR_NAME}\\cdk3.6.0_09.msi" ' + SILENT + " WRAPPER=1"],
            "files": {"C:\\users\\Łukasz\\AppData\\Roaming\\Halvard\\Corvid\\{WORKDIR_NAME}"
                      "\\cdk3.6.0_09.msi": KIT_RESOURCE,
                      "C:\\users\\Lukasz\\AppData\\Roaming\\Halvard": None},
        },
    },
    {
        # A folder that does not exist has no short name either, but the shell does not give it
        # at all: the user data folder is unavailable, and the run stops at the flag as for any
        # missing folder, never in the look-alike folder.
        "name": "paths.local_low_outside_the_code_page_that_does_not_exist_exits_minus_1",
        "args": ["/s"],
        "registry": LUKASZ_SHELL_FOLDERS,
        "files": {LOOK_ALIKE_LOW: FOLDER},
        "expect": {"exit": -1, "commands": [], "log": ["Fail to create directory"],
                   "files": {LOOK_ALIKE_LOW + "\\Halvard": None,
                             "C:\\users\\Łukasz": None}},
    },
    {
        # The log's TEMP outside the code page: written by the folder's short name.
        "name": "paths.temp_outside_the_code_page_keeps_the_log_by_its_short_name",
        "args": ["/s"],
        "registry": {"HKCU\\Environment": {"TMP": LUKASZ_TEMP, "TEMP": LUKASZ_TEMP}},
        "files": {LUKASZ_TEMP: FOLDER, LOOK_ALIKE_TEMP: FOLDER},
        "expect": {"exit": 0, "commands": [KIT_SILENT],
                   "files": {LUKASZ_TEMP + "\\cusched.log": Contains("szCDKExeCommand = "),
                             LOOK_ALIKE_TEMP + "\\cusched.log": None}},
    },
    {
        # Without the folder there is no short name: the records are dropped, never written
        # into the look-alike folder; the install goes on.
        "name": "paths.temp_outside_the_code_page_without_the_folder_drops_the_log",
        "args": ["/s"],
        "registry": {"HKCU\\Environment": {"TMP": LUKASZ_TEMP, "TEMP": LUKASZ_TEMP}},
        "files": {LOOK_ALIKE_TEMP: FOLDER},
        "expect": {"exit": 0, "commands": [KIT_SILENT],
                   "files": {LOOK_ALIKE_TEMP + "\\cusched.log": None,
                             "C:\\users\\Łukasz": None}},
    },
    {
        # The user's data folder itself may be a link (administrators move profile folders):
        # the launcher works below wherever it leads, through the path it was given.
        "name": "paths.local_low_through_a_link_installs_in_the_target",
        "args": ["/s"],
        "registry": {LONG_DATA_KEY: {LOCAL_LOW_ID: "C:\\LowLink"}},
        "files": {"C:\\Data\\Low": FOLDER},
        "links": {"C:\\LowLink": "C:\\Data\\Low"},
        "expect": {
            "exit": 0,
            "commands": ['{MSIEXEC} /i "C:\\LowLink\\Halvard\\Corvid\\{WORKDIR_NAME}\\cdk3.6.0_09.msi" '
                         + SILENT + " WRAPPER=1"],
            "files": {"C:\\Data\\Low\\Halvard\\Corvid\\{WORKDIR_NAME}\\cdk3.6.0_09.msi":
                      KIT_RESOURCE,
                      "C:\\Data\\Low\\Halvard\\Corvid\\CORVID_INSTALL_FLAG": None},
        },
    },
    # -----------------------------------------------------------------------------------------
    # The fault matrix (docs/RELEASE.md): each fault with its exit code, and what stays as it
    # was. Rows whose fault an earlier scenario shows already point at that scenario there.
    {
        # Every record's open is refused (sharing violation) and dropped after its retries: the
        # install goes on, and the held file stays as it was.
        "name": "fault.log_file_held_by_another_process_changes_nothing",
        "args": ["/s"],
        "files": {"{TEMP}\\cusched.log": "held\r\n"},
        "hold": "{TEMP}\\cusched.log",
        "expect": {"exit": 0, "commands": [KIT_SILENT],
                   "files": {"{TEMP}\\cusched.log": "held\r\n", "{FLAG}": None}},
    },
    {
        # The log's name a link to another file, or to a name that does not exist: the records
        # are dropped, nothing is appended or created there, and the install goes on.
        "name": "fault.log_file_link_to_another_file_is_not_written",
        "args": ["/s"],
        "files": {"C:\\victim.txt": "victim"},
        "links": {"{TEMP}\\cusched.log": "C:\\victim.txt"},
        "expect": {"exit": 0, "commands": [KIT_SILENT], "files": {"C:\\victim.txt": "victim"}},
    },
    {
        "name": "fault.log_file_dangling_link_creates_nothing",
        "args": ["/s"],
        "links": {"{TEMP}\\cusched.log": "C:\\nowhere.log"},
        "expect": {"exit": 0, "commands": [KIT_SILENT], "files": {"C:\\nowhere.log": None}},
    },
    {
        "name": "fault.settings_file_value_not_a_flag_exits_minus_80",
        "args": ["/s", "AUTO_UPDATE=Disable"],
        "files": {"{SETTINGS}": "EULA=1\nAUTO_UPDATE=Maybe\n"},
        "expect": {"exit": -80, "commands": [], "strings": [3079],
                   "log": ["Error occurred while loading configuration settings."],
                   "files": {"{SETTINGS}": "EULA=1\nAUTO_UPDATE=Maybe\n", "{MSI}": None,
                             "{FLAG}": None}},
    },
    {
        "name": "fault.settings_file_line_without_a_name_exits_minus_80",
        "args": ["/s", "AUTO_UPDATE=Disable"],
        "files": {"{SETTINGS}": "=x\r\n"},
        "expect": {"exit": -80, "commands": [], "strings": [3079],
                   "log": ["Error occurred while loading configuration settings."],
                   "files": {"{SETTINGS}": "=x\r\n", "{MSI}": None, "{FLAG}": None}},
    },
    {
        # A number stored as a DWORD is that number: 12 is newer than this build (11).
        "name": "fault.build_number_dword_12_is_newer_exits_minus_1",
        "args": ["/s"],
        "registry": {KIT_KEY: {"BuildNumber": 12}, f"{UNINSTALL}\\{KIT_CODE}": {}},
        "expect": {"exit": -1, "commands": [], "strings": [2048, 2049],
                   "log": ["Existing build: 12 is newer than current build: 11"],
                   "files": {"{MSI}": None, "{FLAG}": None},
                   "registry": {KIT_KEY: {"BuildNumber": 12}}},
    },
    {
        "name": "fault.build_number_dword_11_is_uninstalled",
        "args": ["/s"],
        "registry": {KIT_KEY: {"BuildNumber": 11}, f"{UNINSTALL}\\{KIT_CODE}": {}},
        "expect": {"exit": 0, "commands": [uninstall(KIT_CODE), KIT_SILENT],
                   "log": ["Existing build: 11 is same/older than current build: 11"]},
    },
    {
        # Binary data is read as text: the bytes "12" are the build 12.
        "name": "fault.build_number_binary_text_12_is_newer_exits_minus_1",
        "args": ["/s"],
        "registry": {KIT_KEY: {"BuildNumber": b"12"}, f"{UNINSTALL}\\{KIT_CODE}": {}},
        "expect": {"exit": -1, "commands": [], "strings": [2048, 2049],
                   "log": ["Existing build: 12 is newer than current build: 11"],
                   "registry": {KIT_KEY: {"BuildNumber": b"12"}}},
    },
    {
        # The little-endian bytes of 12 hold no digit: build 0, older, so it is uninstalled.
        "name": "fault.build_number_binary_without_digits_is_uninstalled",
        "args": ["/s"],
        "registry": {KIT_KEY: {"BuildNumber": b"\x0c\x00\x00\x00"},
                     f"{UNINSTALL}\\{KIT_CODE}": {}},
        "expect": {"exit": 0, "commands": [uninstall(KIT_CODE), KIT_SILENT],
                   "log": ["Existing build: 0 is same/older than current build: 11"]},
    },
    {
        # Both start at the same moment; the one that takes the flag file first runs msiexec,
        # which waits until the other one has ended.
        "name": "fault.two_launchers_together_one_runs_msiexec",
        "args": ["/s"],
        "together": 2,
        "rules": [{"when": ON_KIT, "do": ["wait-event|CdkE2eLauncherEnded|20"]}],
        "expect": {"exits": [-1, 0], "commands": [KIT_SILENT],
                   "record": ["event CdkE2eLauncherEnded set"], "files": {"{FLAG}": None}},
    },
    {
        # The working folder on a file system of 2 MiB: the database (24 KB) and the first
        # cabinet (400 KB) fit, the second (5 MB) does not. The extraction thread ends the
        # process with the system's code while msiexec waits for the cabinets.
        "name": "fault.disk_full_while_a_cabinet_is_written_exits_112",
        "args": ["/s", "AUTO_UPDATE=Disable"],
        "small_disk": {"{WORKDIR}": 2 * 1024 * 1024},
        "files": {"{SETTINGS}": "AUTO_UPDATE=Enable\r\n"},
        "rules": [{"when": ON_KIT, "do": ["wait-event|HalvardCDKCabExtractWaitEvent|3"]}],
        "expect": {"exit": 112, "commands": [KIT_SILENT],
                   "record": ["event HalvardCDKCabExtractWaitEvent timeout"],
                   "log": ["...Exporting config settings", "...Restoring config settings",
                           "Writing the runtime config file back as it was."],
                   "files": {"{MSI}": KIT_RESOURCE,
                             "{WORKDIR}\\ss360090.cab": Resource("CORVID_CAB9", 110),
                             "{WORKDIR}\\sj360090.cab": None, "{FLAG}": None,
                             "{SETTINGS}": "AUTO_UPDATE=Enable\r\n"}},
    },
    {
        # Killed as soon as it created the cabinets' event, before it set it: the flag file goes
        # with the process, and the next run writes every file whole. Stale cut-short files
        # stand for what a kill in the middle of a file leaves.
        "name": "fault.killed_during_extraction_next_run_writes_whole_files",
        "args": ["/s"],
        "files": {"{WORKDIR}\\ss360090.cab": "MSCF cut short",
                  "{WORKDIR}\\st360090.cab": b"MSCF" + bytes(4096)},
        "first_run": {"kill_on_event": "HalvardCDKCabExtractWaitEvent",
                      "expect": {"exit": 9,
                                 "runner": ["killed HalvardCDKCabExtractWaitEvent unset"],
                                 "files": {"{FLAG}": None,
                                           "{MSI}": KIT_RESOURCE}}},
        "rules": [{"when": ON_KIT, "do": ["wait-event|HalvardCDKCabExtractWaitEvent|5",
                                          "list-files|{WORKDIR}|*.cab"]}],
        "expect": {
            "exit": 0,
            "record": [f"file {name} {{SIZE:{t}:{i}}}"
                       for name, (t, i) in CABINET_RESOURCES.items()],
            "files": {"{FLAG}": None, "{MSI}": KIT_RESOURCE,
                      **{"{WORKDIR}\\" + name: Resource(t, i)
                         for name, (t, i) in CABINET_RESOURCES.items()}},
        },
    },
    {
        # Ended while msiexec runs: the flag file goes with the process at once, and the next
        # run installs. Nothing can put back the settings file the killed run had written.
        "name": "fault.killed_while_msiexec_runs_frees_the_flag",
        "args": ["/s", "AUTO_UPDATE=Disable"],
        "files": {"{SETTINGS}": "AUTO_UPDATE=Enable\r\n"},
        "rules": [{"when": ON_KIT, "once": True,
                   "do": ["kill-parent|9", "probe|delete|{FLAG}", "run|{LAUNCHER} /s"]}],
        "expect": {"exit": 9, "commands": [KIT_SILENT, KIT_SILENT],
                   "record": ["kill-parent ok", "probe delete {FLAG} error 2", "run 0"],
                   "files": {"{FLAG}": None, "{SETTINGS}": Contains("AUTO_UPDATE=Disable")}},
    },
]

# The scenarios that the 32-bit program runs in the qemu guest by default. Under the emulator a
# scenario costs about 7 s (most of it Wine starting its services for the scenario's own
# prefix), so the whole table would take 11 minutes there. These cover every fact that differs
# between the flavours (registry view, product codes, working folder, common files folder,
# system folder), each group of the table, and the faults whose handling runs on the 32-bit
# program's own threads and processes. CMake's CDK_GUEST_ALL_SCENARIOS=ON runs the whole table.
GUEST_SELECTION = [
    "main.silent_1033",
    "main.interactive_1033",
    "main.installdir_japanese_code_page_932",
    "main.reinstall_runs_twice_and_clears_the_value",
    "main.exit_3010_fails_and_restores_the_settings_file",
    "main.second_launcher_interactive_exits_minus_1",
    "main.vista_installs_in_local_low_without_warning",
    "main.server_2003_takes_msiexec_from_the_system_folder",
    "main.msiexec_not_found_exits_minus_3",
    "config.settings_file_not_writable_exits_minus_81",
    "payload.cabinets_complete_when_the_event_is_set",
    "payload.cabinet_write_failure_ends_the_run",
    "payload.last_cabinet_write_failure_outlasts_msiexec",
    "removal.newer_kit_build_stops_the_run",
    "removal.same_kit_build_is_uninstalled",
    "removal.kit_in_the_other_view_is_ignored",
    "removal.kit_uninstall_entry_only_in_the_other_view_is_not_found",
    "removal.settings_file_held_after_the_removal_names_what_was_removed",
    "removal.runtime_code_in_the_other_view_is_not_uninstalled",
    "removal.kit_and_runtime_both_uninstalled",
    "followup.runtime_1041_with_its_own_folder",
    "followup.updater_first_install",
    "followup.updater_5_4_1_2_settings_move_to_the_new_layout",
    "followup.auto_update_disabled",
    "real.silent_install_with_wine_msiexec",
    "real.failed_install_restores_the_settings_file",
    "fault.build_number_binary_text_12_is_newer_exits_minus_1",
    "fault.two_launchers_together_one_runs_msiexec",
    "fault.disk_full_while_a_cabinet_is_written_exits_112",
    "fault.killed_during_extraction_next_run_writes_whole_files",
    "fault.killed_while_msiexec_runs_frees_the_flag",
    "fault.log_file_link_to_another_file_is_not_written",
    "payload.working_folder_link_to_another_folder_exits_681",
    "payload.database_link_to_another_file_exits_681",
    "payload.folders_cannot_be_renamed_while_msiexec_runs",
    "paths.local_low_through_a_link_installs_in_the_target",
    "main.flag_link_to_another_file_leaves_it_alone",
    "config.settings_folder_link_with_a_persistent_option_exits_minus_80",
    "config.settings_file_dangling_link_with_a_persistent_option_exits_minus_81",
    "config.user_owned_settings_file_gives_flags_but_no_msiexec_arguments",
]
