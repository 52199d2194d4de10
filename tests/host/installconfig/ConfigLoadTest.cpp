// The configuration load from defaults, files and command line; export and restore of the
// runtime settings file; the error messages of the settings statuses.
#include <algorithm>
#include <functional>

#include "SettingsFileTrust.h"

#include "InstallConfigTestSupport.h"
#include "SettingsTestSupport.h"

namespace {

namespace fs = std::filesystem;
using ConfigLoadTest = InstallConfigTest;

constexpr const char* kRuntimePath = "C:\\ProgramData\\Quillon\\Corvid\\corvid.settings.cfg";
constexpr const char* kLoadFunction = "InstallConfigData::_LoadConfigSettings";

std::string dumpOf(const std::string& title, const std::string& lines) {
    return "|------" + title + "--------|\n\n" + lines +
           "|-------------------------------------|\n";
}

TEST_F(ConfigLoadTest, NothingGivenLoadsTheDefaultsAndExportsNothing) {
    clearLog();
    ASSERT_EQ(load({}), 0);
    EXPECT_TRUE(steps(*config_).backupContext().isEmpty());
    EXPECT_TRUE(steps(*config_).exportContext().isEmpty());
    EXPECT_FALSE(config_->IsStringOptionSet(STRING_CMDLINE));

    const std::string missing =
        "Runtime configuration file doesn't exist. It will be created later by settings_api.";
    const std::string defaults =
        "INSTALL_SILENT = Disable\nSTATIC = Disable\nAUTO_UPDATE = Enable\nSPONSORS = Enable\n"
        "WEB_ANALYTICS = Enable\nEULA = Disable\n";
    const std::vector<std::string> expected = {
        "-->Loading Important args...",
        "...Importing command line arguments",
        dumpOf("Important args config (TMP)", defaults),
        "-->Loading Config...",
        "...Importing runtime configuration file...",
        std::string("Runtime config file path is ") + kRuntimePath,
        missing,
        "...Importing command line arguments",
        "-->Saving backup...",
        "...Importing runtime configuration file...",
        std::string("Runtime config file path is ") + kRuntimePath,
        missing,
        dumpOf("Config to backup", ""),
        "-->Loading export config...",
        "...Importing runtime configuration file...",
        std::string("Runtime config file path is ") + kRuntimePath,
        missing,
        "...Importing command line arguments",
        "-->Adding CMDLINE to config...",
        "-->Normalizing Export...",
        dumpOf("Config to export", ""),
        dumpOf("!!!!Working config!!!!", defaults),
    };
    EXPECT_EQ(logMessages("logit", "INFO"), expected);

    clearLog();
    EXPECT_EQ(config_->ExportRuntimeConfig(nullptr), 0);
    EXPECT_EQ(logMessages("logit", "INFO"),
              (std::vector<std::string>{"...Exporting config settings",
                                        "Nothing new to export to runtime."}));
    EXPECT_FALSE(fs::exists(runtimeFile()));
    EXPECT_EQ(config_->RestoreRuntimeConfig(nullptr), 0);
    EXPECT_FALSE(fs::exists(runtimeFile()));
}

TEST_F(ConfigLoadTest, NewPersistentValueCreatesTheFileAndRestoreDeletesIt) {
    ASSERT_EQ(load({"AUTO_UPDATE=Disable", "STATIC=Enable", "/s"}), 0);
    EXPECT_EQ(steps(*config_).DumpConfig(steps(*config_).exportContext(), "x"),
              dumpOf("x", "AUTO_UPDATE = Disable\n"));
    ASSERT_EQ(config_->ExportRuntimeConfig(nullptr), 0);
    EXPECT_EQ(readFile(runtimeFile()), "AUTO_UPDATE=Disable\n");

    clearLog();
    ASSERT_EQ(config_->RestoreRuntimeConfig(nullptr), 0);
    EXPECT_FALSE(fs::exists(runtimeFile()));
    EXPECT_EQ(logMessages("logit", "INFO"),
              (std::vector<std::string>{"...Restoring config settings",
                                        "Removing runtime config file IF EXIST."}));
    EXPECT_TRUE(boxes_.empty());
}

TEST_F(ConfigLoadTest, UnchangedRuntimeFileIsNeitherExportedNorRestored) {
    const std::string original = "# written by hand\r\n  EULA = Enable  \r\n";
    writeRuntimeFile(original);
    ASSERT_EQ(load({}), 0);
    ASSERT_EQ(config_->ExportRuntimeConfig(nullptr), 0);
    EXPECT_EQ(readFile(runtimeFile()), original);
    ASSERT_EQ(config_->RestoreRuntimeConfig(nullptr), 0);
    EXPECT_EQ(readFile(runtimeFile()), original);
}

TEST_F(ConfigLoadTest, FileOfNonPersistentKeysIsDeletedThenRestoredByteForByte) {
    const std::string original = "AUTO_UPDATE=Disable\nSTATIC=Enable\n";
    writeRuntimeFile(original);
    ASSERT_EQ(load({"AUTO_UPDATE=Enable"}), 0);
    // The export keeps only the persistent value given on the command line.
    ASSERT_EQ(config_->ExportRuntimeConfig(nullptr), 0);
    EXPECT_EQ(readFile(runtimeFile()), "AUTO_UPDATE=Enable\n");
    ASSERT_EQ(config_->RestoreRuntimeConfig(nullptr), 0);
    EXPECT_EQ(readFile(runtimeFile()), original);

    config_ = std::make_unique<InstallConfigData>();
    writeRuntimeFile("STATIC=Enable\n");
    ASSERT_EQ(load({}), 0);
    clearLog();
    ASSERT_EQ(config_->ExportRuntimeConfig(nullptr), 0);
    EXPECT_FALSE(fs::exists(runtimeFile()));
    EXPECT_TRUE(logHas("Removing runtime config file IF EXIST."));
    ASSERT_EQ(config_->RestoreRuntimeConfig(nullptr), 0);
    EXPECT_EQ(readFile(runtimeFile()), "STATIC=Enable\n");
}

TEST_F(ConfigLoadTest, RestoreKeepsCommentsLineEndsAndLayoutOfTheOriginal) {
    // Text the store would never write itself: comments, CR LF, blanks around "=", an option
    // that is not persistent, no line end at the end.
    const std::string original =
        "# site defaults\r\n  AUTO_UPDATE = Enable \r\n\r\nSTATIC=Enable\r\nEULA=1";
    writeRuntimeFile(original);
    ASSERT_EQ(load({"AUTO_UPDATE=Disable"}), 0);
    ASSERT_EQ(config_->ExportRuntimeConfig(nullptr), 0);
    EXPECT_NE(readFile(runtimeFile()), original);
    clearLog();
    ASSERT_EQ(config_->RestoreRuntimeConfig(nullptr), 0);
    EXPECT_EQ(readFile(runtimeFile()), original);
    EXPECT_TRUE(logHas("Writing the runtime config file back as it was."));
    EXPECT_TRUE(boxes_.empty());
}

TEST_F(ConfigLoadTest, CommandLineBeatsInstallFileBeatsRuntimeFileBeatsDefaults) {
    writeRuntimeFile("AUTO_UPDATE=Disable\nSPONSORS=Disable\nEULA=Enable\n");
    writeFile(root_ / "c/cfg/install.cfg",
              "SPONSORS=Enable\nEULA=Disable\nWEB_ANALYTICS=Disable\nCOUNTRYOVERRIDE=de\n");
    clearLog();
    ASSERT_EQ(load({"INSTALLCFG=C:\\cfg\\install.cfg", "EULA=Enable"}), 0);
    EXPECT_TRUE(logHas("Path to the install configuration file is set to C:\\cfg\\install.cfg"));

    EXPECT_FALSE(config_->IsFlagEnabled(FLAG_AUTO_UPDATE));
    EXPECT_TRUE(config_->IsFlagEnabled(FLAG_SPONSORS));
    EXPECT_TRUE(config_->IsFlagEnabled(FLAG_EULA));
    EXPECT_FALSE(config_->IsFlagEnabled(FLAG_WEB_ANALYTICS));
    EXPECT_FALSE(config_->IsFlagEnabled(FLAG_STATIC));  // default only
    EXPECT_STREQ(config_->GetStringOption(STRING_COUNTRYOVERRIDE), "de");

    const std::vector<std::string> messages = logMessages();
    auto has = [&](const std::string& m) {
        return std::find(messages.begin(), messages.end(), m) != messages.end();
    };
    EXPECT_TRUE(has(
        dumpOf("Config to backup", "AUTO_UPDATE = Disable\nSPONSORS = Disable\nEULA = Enable\n")));
    EXPECT_TRUE(has(dumpOf("Config to export",
                           "AUTO_UPDATE = Disable\nSPONSORS = Enable\nWEB_ANALYTICS = Disable\n"
                           "EULA = Enable\n")));
    // "CMDLINE" holds the given properties in table order; defaults are not among them.
    const std::string cmdLine =
        "AUTO_UPDATE=\"Disable\" SPONSORS=\"Enable\" WEB_ANALYTICS=\"Disable\" EULA=\"Enable\" "
        "INSTALLCFG=\"C:\\cfg\\install.cfg\"";
    EXPECT_STREQ(config_->GetStringOption(STRING_CMDLINE), cmdLine.c_str());
    EXPECT_TRUE(has(dumpOf("!!!!Working config!!!!",
                           "INSTALL_SILENT = Disable\nSTATIC = Disable\nAUTO_UPDATE = Disable\n"
                           "SPONSORS = Enable\nWEB_ANALYTICS = Disable\nEULA = Enable\n"
                           "INSTALLCFG = C:\\cfg\\install.cfg\nCOUNTRYOVERRIDE = de\n"
                           "CMDLINE = " +
                               cmdLine + "\n")));

    ASSERT_EQ(config_->ExportRuntimeConfig(nullptr), 0);
    EXPECT_EQ(readFile(runtimeFile()),
              "AUTO_UPDATE=Disable\nEULA=Enable\nSPONSORS=Enable\nWEB_ANALYTICS=Disable\n");
}

TEST_F(ConfigLoadTest, RuntimeFileAStandardUserCouldWriteGivesNoMsiexecInput) {
    const std::string planted =
        "# planted\nAUTO_UPDATE=Disable\nSTATIC=Enable\nMSI_CMDLINE=/l*v C:\\x.log\n"
        "INSTALLDIR=C:\\evil\n/INSTALLDIRPUBCRE=C:\\pub\nADDLOCAL=ALL\nREBOOT=Force\n"
        "INSTALLCFG=C:\\cfg\\install.cfg\n";
    const std::vector<std::string> refused = {
        "INSTALLDIR", "/INSTALLDIRPUBCRE", "INSTALLCFG", "ADDLOCAL", "REBOOT", "MSI_CMDLINE"};
    const settings::FileSecurity userOwned{"S-1-5-21-1-2-3-1001", true, {}};
    const settings::FileSecurity usersMayWrite{
        "S-1-5-32-544", true, {{true, false, "S-1-5-32-545", 0x6}}};
    struct Case {
        const char* what;
        std::optional<settings::FileSecurity> security;  // none: the administrators' file
        std::vector<std::string> arguments;
        bool trusted;
    };
    const std::vector<Case> cases = {
        {"owned by a user", userOwned, {}, false},
        {"Users may write it", usersMayWrite, {}, false},
        {"the administrators' file", std::nullopt, {}, true},
        // What the command line names stays the administrator's choice.
        {"owned by a user, install file on the command line",
         userOwned,
         {"INSTALLCFG=C:\\cfg\\install.cfg"},
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        config_ = std::make_unique<InstallConfigData>();
        settings_impl::host::clearFileSecurity();
        writeRuntimeFile(planted);
        writeFile(root_ / "c/cfg/install.cfg", "EULA=Enable\nREBOOT=ReallySuppress\n");
        if (c.security) settings_impl::host::setFileSecurity(runtimeFile().string(), *c.security);
        clearLog();
        ASSERT_EQ(load(c.arguments), 0);

        const bool fromCommandLine = !c.arguments.empty();
        EXPECT_FALSE(config_->IsFlagEnabled(FLAG_AUTO_UPDATE));  // flags always apply
        EXPECT_TRUE(config_->IsFlagEnabled(FLAG_STATIC));
        // The install file is the one the command line names, never the runtime file's.
        EXPECT_EQ(config_->IsFlagEnabled(FLAG_EULA), fromCommandLine);
        EXPECT_EQ(config_->IsStringOptionSet(STRING_MSI_CMDLINE), c.trusted);
        EXPECT_EQ(config_->IsStringOptionSet(STRING_INSTALLDIR), c.trusted);
        EXPECT_EQ(config_->IsStringOptionSet(STRING_ADDLOCAL), c.trusted);
        EXPECT_EQ(valueOf(steps(*config_).workingContext(), "REBOOT"),
                  fromCommandLine ? "ReallySuppress" : (c.trusted ? "Force" : "<absent>"));
        EXPECT_EQ(hasKey(steps(*config_).exportContext(), "INSTALLDIR"), false);
        EXPECT_EQ(hasKey(steps(*config_).backupContext(), "MSI_CMDLINE"), c.trusted);

        std::vector<std::string> warnings;
        for (const std::string& name : c.trusted ? std::vector<std::string>{} : refused) {
            warnings.push_back("Ignoring " + name + " in the runtime configuration file " +
                               kRuntimePath + ": " + judgeSettingsFile(*c.security).reason +
                               ", so the options that reach msiexec are taken only from the "
                               "command line and the install configuration file.");
        }
        EXPECT_EQ(logMessages("InstallConfigData::ImportRuntimeConfigSettings", "WARNING"),
                  warnings);

        // A failed install puts back what was taken from a file it refused options of, never
        // the refused options in a file the launcher wrote.
        ASSERT_EQ(config_->ExportRuntimeConfig(nullptr), 0);
        ASSERT_EQ(config_->RestoreRuntimeConfig(nullptr), 0);
        EXPECT_EQ(readFile(runtimeFile()),
                  c.trusted ? planted : "AUTO_UPDATE=Disable\nSTATIC=Enable\n");
    }
}

TEST_F(ConfigLoadTest, RuntimeFileOfFlagsOnlyIsRestoredByteForByteWhoeverWroteIt) {
    const std::string original = "# by hand\r\nAUTO_UPDATE=Disable\r\n";
    writeRuntimeFile(original);
    settings_impl::host::setFileSecurity(runtimeFile().string(),
                                         settings::FileSecurity{"S-1-5-21-1-2-3-1001", true, {}});
    ASSERT_EQ(load({"AUTO_UPDATE=Enable"}), 0);
    EXPECT_TRUE(logMessages("InstallConfigData::ImportRuntimeConfigSettings", "WARNING").empty());
    ASSERT_EQ(config_->ExportRuntimeConfig(nullptr), 0);
    ASSERT_EQ(config_->RestoreRuntimeConfig(nullptr), 0);
    EXPECT_EQ(readFile(runtimeFile()), original);
}

// A settings place as the launcher's checks answer it: each row a place that refuses or finds
// nothing at one step, and what the load, the export's preparation and the restore then do.
class ScriptedPlace final : public SettingsFilePlace {
  public:
    bool readable = true;
    bool writable = true;
    std::vector<std::string> removed;
    std::function<bool(const std::string&)> removeFile;

    bool present = false;  // what isAbsent answers for a file the store could not open

    bool mayRead(const std::string&) override { return readable; }
    bool isAbsent(const std::string&) override { return !present; }
    bool beforeWriting(const std::string&) override { return writable; }
    bool remove(const std::string& path) override {
        removed.push_back(path);
        return removeFile(path);
    }
    void removeLeftovers(const std::string&) override {}
};

TEST_F(ConfigLoadTest, RuntimeFileIsReadWrittenAndDeletedOnlyWhereThePlaceAllows) {
    struct Case {
        const char* name;
        const char* fileBefore;  // nullptr: no file
        std::vector<std::string> arguments;
        bool readable;
        bool writable;
        int loadStatus;
        int prepareStatus;     // when the load succeeds
        const char* backedUp;  // the backup context's dump lines
        bool removedThroughThePlace;
        bool presentButUnopenable = false;
    };
    const std::vector<Case> cases = {
        {"a link where the file is: refused like a file that cannot be opened",
         "MSI_CMDLINE=X=1\n",
         {"/s"},
         false,
         true,
         SETTINGS_E_FILE_OPEN,
         0,
         "",
         false},
        {"a file that is there but cannot be opened is not taken for a missing one",
         nullptr,
         {"/s", "AUTO_UPDATE=Disable"},
         true,
         true,
         SETTINGS_E_FILE_OPEN,
         0,
         "",
         false,
         true},
        {"a persistent option not to be written stops the preparation",
         nullptr,
         {"/s", "AUTO_UPDATE=Disable"},
         true,
         false,
         0,
         SETTINGS_E_FILE_OPEN,
         "",
         false},
        {"a file the export would delete, not to be deleted, stops the preparation",
         "STATIC=Enable\n",
         {"/s"},
         true,
         false,
         0,
         SETTINGS_E_FILE_OPEN,
         "STATIC = Enable\n",
         false},
        {"the export's delete goes through the place",
         "STATIC=Enable\n",
         {"/s"},
         true,
         true,
         0,
         0,
         "STATIC = Enable\n",
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(root_ / "c");
        if (c.fileBefore != nullptr) {
            writeRuntimeFile(c.fileBefore);
        }
        config_ = std::make_unique<InstallConfigData>();
        boxes_.clear();
        ScriptedPlace place;
        place.readable = c.readable;
        place.writable = c.writable;
        place.present = c.presentButUnopenable;
        place.removeFile = [this](const std::string& path) { return fs::remove(hostPath(path)); };
        config_->setSettingsFilePlace(&place);

        ASSERT_EQ(load(c.arguments), c.loadStatus);
        if (c.loadStatus != 0) {
            ASSERT_EQ(boxes_.size(), 1u);
            EXPECT_EQ(boxes_[0].text,
                      std::string("Unable to install Corvid\n\nUnable to open file ") +
                          kRuntimePath +
                          ".\nCheck that the configuration file exists and that "
                          "the path to the file is correct.");
            if (c.fileBefore != nullptr) {
                EXPECT_EQ(readFile(runtimeFile()), c.fileBefore);
            } else {
                EXPECT_FALSE(fs::exists(runtimeFile()));
            }
            continue;
        }
        EXPECT_EQ(steps(*config_).DumpConfig(steps(*config_).backupContext(), "b"),
                  dumpOf("b", c.backedUp));
        EXPECT_EQ(config_->PrepareRuntimeExport(nullptr), c.prepareStatus);
        if (c.prepareStatus != 0) {
            // Nothing changed: no temporary file beside the settings file, the file as it was.
            const fs::path folder = runtimeFile().parent_path();
            EXPECT_EQ(fs::exists(folder)
                          ? std::distance(fs::directory_iterator(folder), fs::directory_iterator())
                          : 0,
                      c.fileBefore != nullptr ? 1 : 0);
            EXPECT_EQ(fs::exists(runtimeFile()), c.fileBefore != nullptr);
            continue;
        }
        ASSERT_EQ(config_->ExportRuntimeConfig(nullptr), 0);
        EXPECT_EQ(place.removed.size(), c.removedThroughThePlace ? 1u : 0u);
        if (c.removedThroughThePlace) {
            EXPECT_EQ(place.removed[0], kRuntimePath);
            EXPECT_FALSE(fs::exists(runtimeFile()));
        }
    }
}

TEST_F(ConfigLoadTest, CmdLineRendersPropertiesInTableOrder) {
    ASSERT_EQ(load({"/installmethod=x", "INSTALLDIR=D:\\kit", "ADDLOCAL=A"}), 0);
    EXPECT_STREQ(config_->GetStringOption(STRING_CMDLINE),
                 "INSTALLDIR=\"D:\\kit\" /installmethod=\"x\"");
    EXPECT_EQ(steps(*config_).BuildCmdLine(steps(*config_).backupContext()), "");
}

TEST_F(ConfigLoadTest, CmdLineTheWorkingContextRefusesStopsTheLoad) {
    // The working context gets rules under which any "CMDLINE" text is refused (it must be a
    // number) while every other key passes as it is.
    const SettingsFunctions& api = steps(*config_).workingContext().api();
    SettingsValidatorBuilder* builder = api.validator_builder_create();
    ASSERT_NE(builder, nullptr);
    EXPECT_EQ(api.validator_builder_allow_unknown_keys(builder, 1), SETTINGS_OK);
    EXPECT_EQ(api.validator_builder_set_integer_validator(builder, "CMDLINE"), SETTINGS_OK);
    SettingsValidator* raw = nullptr;
    EXPECT_EQ(api.validator_builder_create_validator(builder, &raw), SETTINGS_OK);
    api.validator_builder_destroy(builder);
    const std::unique_ptr<SettingsValidator, void (*)(SettingsValidator*)> validator(
        raw, api.validator_destroy);
    steps(*config_).workingContext().setValidator(validator.get());

    clearLog();
    EXPECT_EQ(load({"INSTALLDIR=D:\\kit"}), SETTINGS_E_REFUSED_LINES);
    EXPECT_EQ(logMessages(kLoadFunction, "ERROR"),
              std::vector<std::string>{"Error occurred while adding CMDLINE to config (status "
                                       "313). Exiting installer."});
    EXPECT_FALSE(config_->IsStringOptionSet(STRING_CMDLINE));
    EXPECT_FALSE(logHas("-->Normalizing Export..."));
}

TEST_F(ConfigLoadTest, MissingInstallFileStopsTheLoadWithMessage3075) {
    ASSERT_EQ(load({"INSTALLCFG=C:\\nowhere\\install.cfg"}), SETTINGS_E_FILE_OPEN);
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].caption, "Corvid Installation Not Completed");
    EXPECT_EQ(boxes_[0].text,
              "Unable to install Corvid\n\nUnable to open file C:\\nowhere\\install.cfg.\nCheck "
              "that the configuration file exists and that the path to the file is correct.");
    EXPECT_FALSE(boxes_[0].suppressed);
    EXPECT_EQ(logMessages("InstallConfigData::ImportInstallConfigSettings", "ERROR"),
              std::vector<std::string>{"Install Configuration file import failed with 304"});
    EXPECT_EQ(logMessages(kLoadFunction, "ERROR"),
              std::vector<std::string>{
                  "Error occurred while importing configuration settings. Exiting installer."});
    EXPECT_FALSE(logHas("-->Saving backup..."));

    // Silent runs log the same text but show no box.
    config_ = std::make_unique<InstallConfigData>();
    boxes_.clear();
    ASSERT_EQ(load({"/s", "INSTALLCFG=C:\\nowhere\\install.cfg"}), SETTINGS_E_FILE_OPEN);
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_TRUE(boxes_[0].suppressed);
}

TEST_F(ConfigLoadTest, MalformedInstallFileNamesItsLine) {
    writeFile(root_ / "c/cfg/bad.cfg", "EULA=Enable\n# note\nEULA=Sometimes\nAUTO_UPDATE=0\n");
    ASSERT_EQ(load({"INSTALLCFG=C:/cfg/bad.cfg"}), SETTINGS_E_REFUSED_LINES);
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].text,
              "Unable to install Corvid\n\nConfiguration file C:/cfg/bad.cfg is malformed in line "
              "3.\nCheck data and formatting of the file.");
    // A refused file changes nothing.
    EXPECT_FALSE(config_->IsFlagEnabled(FLAG_EULA));
}

TEST_F(ConfigLoadTest, BareKeyInInstallFileFailsOnlyTheSilentExportPhase) {
    writeFile(root_ / "c/cfg/install.cfg", "EULA=Enable\nPIP\n");
    ASSERT_EQ(load({"INSTALLCFG=C:\\cfg\\install.cfg"}), SETTINGS_E_REFUSED_LINES);
    EXPECT_TRUE(config_->IsOptionSet("PIP"));  // the working load accepted it
    EXPECT_EQ(logMessages(kLoadFunction, "ERROR"),
              std::vector<std::string>{"Error occurred while importing configuration files "
                                       "without defaults. Exiting installer."});
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_TRUE(boxes_[0].suppressed);
}

TEST_F(ConfigLoadTest, BareKeyInRuntimeFileFailsTheBackupPhase) {
    writeRuntimeFile("EULA\n");
    ASSERT_EQ(load({}), SETTINGS_E_REFUSED_LINES);
    EXPECT_EQ(logMessages(kLoadFunction, "ERROR"),
              std::vector<std::string>{
                  "Error occurred while importing runtime file for backup.Exiting installer."});
    EXPECT_EQ(logMessages("InstallConfigData::ImportRuntimeConfigSettings", "ERROR"),
              std::vector<std::string>{"Runtime configuration file import failed with 313"});
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_TRUE(boxes_[0].suppressed);
}

TEST_F(ConfigLoadTest, RuntimeFileThatIsNotTextStopsTheWorkingLoad) {
    writeRuntimeFile("EULA=\xff\n");
    ASSERT_EQ(load({}), SETTINGS_E_TEXT_NOT_UTF8);
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].text, std::string("Unable to install Corvid\n\nConfiguration file ") +
                                  kRuntimePath +
                                  " is not in plain text.\nCheck formatting and try again.");
    EXPECT_EQ(logMessages(kLoadFunction, "ERROR"),
              std::vector<std::string>{
                  "Error occurred while importing configuration settings. Exiting installer."});
}

TEST_F(ConfigLoadTest, BadImportantArgsStopTheLoadFirst) {
    ASSERT_EQ(load({"NOPE=1"}), SETTINGS_E_REFUSED_LINES);
    EXPECT_EQ(logMessages(kLoadFunction, "ERROR"),
              std::vector<std::string>{
                  "Error occurred while importing important args. Exiting installer."});
    EXPECT_FALSE(logHas("-->Loading Config..."));
    EXPECT_EQ(boxes_.size(), 1u);
}

TEST_F(ConfigLoadTest, EmptyInstallPathIsIgnoredWithAWarning) {
    EXPECT_EQ(steps(*config_).ImportInstallConfigSettings(nullptr, steps(*config_).exportContext(),
                                                          "", false),
              0);
    EXPECT_EQ(logMessages("InstallConfigData::ImportInstallConfigSettings", "WARNING"),
              std::vector<std::string>{"Install Configuration file path is empty. Ignore it and "
                                       "continue installation."});
    EXPECT_TRUE(boxes_.empty());
}

TEST_F(ConfigLoadTest, FailedExportIsReportedUnlessSilent) {
    ASSERT_EQ(load({"EULA=Enable"}), 0);
    // A folder where the file should be: the write cannot replace it.
    fs::create_directories(runtimeFile());
    const int status = config_->ExportRuntimeConfig(nullptr);
    EXPECT_NE(status, 0);
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_FALSE(boxes_[0].suppressed);
    EXPECT_EQ(logMessages("InstallConfigData::ExportConfigSettings", "ERROR"),
              std::vector<std::string>{"Fails on writing to the runtime config file."});
    // A restore never shows a box.
    EXPECT_NE(steps(*config_).ExportConfigSettings(nullptr, steps(*config_).exportContext(), true),
              0);
    ASSERT_EQ(boxes_.size(), 2u);
    EXPECT_TRUE(boxes_[1].suppressed);
}

TEST_F(ConfigLoadTest, DumpShowsABareSwitchAsOne) {
    SettingsContextHolder& holder = steps(*config_).exportContext();
    holder.setAllowKeyWithoutValue(true);
    ASSERT_EQ(holder.importFromString("/s"), 0);
    EXPECT_EQ(steps(*config_).DumpConfig(holder, "T"), dumpOf("T", "/s = 1\n"));
}

TEST_F(ConfigLoadTest, EveryStatusHasItsMessage) {
    struct Case {
        int status;
        std::string text;  // empty: no box
        std::string logged;
    };
    const std::string head = "Unable to install Corvid\n\n";
    const std::vector<Case> cases = {
        {SETTINGS_E_UNEXPECTED,
         head + "An internal error occurred.\nCheck that configuration files are valid and "
                "that all settings are correct.",
         ""},
        {SETTINGS_E_NULL_ARGUMENT, "", "IDS_ERROR_INVALID_PARAMETER"},
        {SETTINGS_E_FILE_OPEN,
         head + "Unable to open file C:\\p.cfg.\nCheck that the configuration file exists "
                "and that the path to the file is correct.",
         ""},
        {SETTINGS_E_FILE_PERMISSIONS,
         head + "Cannot read configuration file C:\\p.cfg due to invalid permissions.\nCheck "
                "that you have sufficient permissions to read this file.",
         ""},
        {SETTINGS_E_FILE_WRITE,
         head + "Writing to the runtime configuration file failed.\nCheck permissions and "
                "settings.",
         ""},
        {SETTINGS_E_FILE_READ,
         head + "An error occurred while reading file C:\\p.cfg.\nCheck that the file is "
                "valid and that all settings are correct.",
         ""},
        {SETTINGS_E_FILE_RENAME, "", "IDS_ERROR_RENAME_MESSAGE"},
        {SETTINGS_E_FILE_REMOVE, "", "IDS_ERROR_REMOVE_MESSAGE"},
        {SETTINGS_E_PATH_TOO_LONG,
         head + "The path to the install configuration file is too long.\nCheck that the "
                "path is correct.",
         ""},
        {SETTINGS_E_PATH_INVALID,
         head + "The path to the install configuration file is invalid.\nCheck that the "
                "path is correct.",
         ""},
        {SETTINGS_E_PATH_NOT_UTF8,
         head + "The path to the install configuration file is not in plain text.\nCheck "
                "that the path is correct.",
         ""},
        {SETTINGS_E_REFUSED_LINES,
         head + "Configuration file C:\\p.cfg is malformed in line <line number>.\nCheck "
                "data and formatting of the file.",
         ""},
        {SETTINGS_E_TEXT_NOT_UTF8,
         head + "Configuration file C:\\p.cfg is not in plain text.\nCheck formatting and "
                "try again.",
         ""},
        {SETTINGS_E_FILE_TOO_LARGE,
         head + "Configuration file C:\\p.cfg is too long.\nCheck that the file is correct.", ""},
        {SETTINGS_E_INVALID_TEXT, "", "Unknown Error code 302"},
        {-1, "", "Unknown Error code -1"},
    };
    SettingsContextHolder& holder = steps(*config_).exportContext();
    EXPECT_TRUE(steps(*config_).ShowConfigError(nullptr, holder, 0, "C:\\p.cfg", false));
    EXPECT_TRUE(boxes_.empty());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.status);
        boxes_.clear();
        clearLog();
        EXPECT_FALSE(steps(*config_).ShowConfigError(nullptr, holder, c.status, "C:\\p.cfg", true));
        if (c.text.empty()) {
            EXPECT_TRUE(boxes_.empty());
            EXPECT_EQ(logMessages("logit", "INFO"), std::vector<std::string>{c.logged});
        } else {
            ASSERT_EQ(boxes_.size(), 1u);
            EXPECT_EQ(boxes_[0].caption, "Corvid Installation Not Completed");
            EXPECT_EQ(boxes_[0].text, c.text);
            EXPECT_EQ(boxes_[0].icon, kMessageIconError);
            EXPECT_TRUE(boxes_[0].suppressed);
            EXPECT_EQ(logMessages("logit", "INFO"), std::vector<std::string>{c.text});
        }
    }
}

TEST_F(ConfigLoadTest, MessagesAreCutToTheirBoxBuffer) {
    const std::string longList(2000, 'x');
    config_->ShowErrorMessage(nullptr, 3073, 3089, kMessageIconError, false, longList, "");
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].text.size(), 1023u);
    EXPECT_EQ(formatMessageText("%s and %s, 100%% %d", "a", "b", 1024), "a and b, 100% %d");
    EXPECT_EQ(formatMessageText("%s %s %s", "a", "b", 1024), "a b ");
}

}  // namespace
