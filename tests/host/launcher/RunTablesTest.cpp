// The launcher's run on a scripted machine: the removal of a prior install, the updater and the
// public runtime for given registry states and exit codes, and the order of the whole main
// sequence's effects (message boxes, the flag, payload files, commands, the runtime settings
// file) with its exit code.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "FollowUps.h"
#include "InstallSequence.h"
#include "LogCapture.h"
#include "PriorInstall.h"
#include "ScriptedMachine.h"

using namespace cdk_test;

namespace {

const std::string kQuotedMsiexec = "\"" + kMsiexec + "\"";

std::string uninstallCommand(const std::string& code) {
    return kQuotedMsiexec + " /x " + code + " /qb!";
}

void expectLogged(const std::string& log, const std::vector<std::string>& expected) {
    for (const std::string& text : expected) {
        EXPECT_NE(log.find(text), std::string::npos) << text << "\n" << log;
    }
}

// ---- Removal of a prior install ----

struct RemovalRow {
    const char* name;
    std::function<void(ScriptedMachine&)> registry;
    std::vector<Answer> script;
    int expectedAnswer;
    std::vector<std::string> expectedCommands;
    std::vector<std::string> expectedLog;
    bool newerBuildBox;
};

TEST(RunTables, PriorInstallRemoval) {
    const auto kit = [](const char* build) {
        return [build](ScriptedMachine& m) {
            m.setText(kKitKey, "BuildNumber", build);
            m.setKey(kUninstallKey + kKitCode);
        };
    };
    const auto runtimes = [](const char* build, std::vector<int> updates) {
        return [build, updates](ScriptedMachine& m) {
            m.setText(kRuntimeKey, "BuildNumber", build);
            for (int update : updates) {
                m.setKey(kUninstallKey + runtimeCode(update));
            }
        };
    };
    const RemovalRow rows[] = {
        {"NothingRegistered",
         [](ScriptedMachine&) {},
         {},
         1,
         {},
         {"INFO: No same version CDK exists", "INFO: No same version CRE exists"},
         false},
        {"NewerKitBuild",
         kit("12"),
         {},
         0,
         {},
         {"INFO: Existing build: 12 is newer than current build: 11"},
         true},
        {"KitWithoutBuildNumber",
         [](ScriptedMachine& m) { m.setText(kKitKey, "Other", "1"); },
         {},
         0,
         {},
         {"ERROR: CorvidKey.QueryValue(BuildNumber, Value); failed: 2"},
         true},
        {"SameKitBuildIsUninstalled",
         kit("11"),
         {},
         1,
         {uninstallCommand(kKitCode)},
         {"INFO: Existing build: 11 is same/older than current build: 11",
          "INFO: No same version CRE exists"},
         false},
        {"OlderKitBuildIsUninstalled",
         kit("7"),
         {},
         1,
         {uninstallCommand(kKitCode)},
         {"INFO: Existing build: 7 is same/older than current build: 11"},
         false},
        {"KitUninstallCancelled",
         kit("11"),
         {{"/x", 1602, nullptr}},
         0,
         {uninstallCommand(kKitCode)},
         {"ERROR: Uninstall existining CDK failed " + kKitCode + ": 1602",
          "ERROR: UninstallExistingCDK (" + kKitKey + ") failed"},
         false},
        {"KitUninstallNeedsReboot",
         kit("11"),
         {{"/x", 3010, nullptr}},
         0,
         {uninstallCommand(kKitCode)},
         {"failed " + kKitCode + ": 3010"},
         false},
        {"KitProductCodeNotRegistered",
         [](ScriptedMachine& m) { m.setText(kKitKey, "BuildNumber", "11"); },
         {},
         0,
         {},
         {"ERROR: CDK GUID not found " + kKitCode},
         false},
        {"RuntimesUninstalledDownward",
         runtimes("11", {9, 5, 0}),
         {},
         1,
         {uninstallCommand(runtimeCode(9)), uninstallCommand(runtimeCode(5)),
          uninstallCommand(runtimeCode(0))},
         {"ERROR: Error Opening registry key " + kUninstallKey + runtimeCode(8)},
         false},
        {"AFailedRuntimeUninstallIsNotForgotten",
         runtimes("11", {9, 0}),
         {{runtimeCode(9), 1603, nullptr}},
         0,
         {uninstallCommand(runtimeCode(9)), uninstallCommand(runtimeCode(0))},
         {"ERROR: Uninstall existining CRE failed " + runtimeCode(9) + ": 1603",
          "ERROR: UninstallCREIfSameOrOlderBuild( " + kRuntimeKey + ") failed"},
         false},
        {"StaticRuntimeStays",
         [&](ScriptedMachine& m) {
             runtimes("11", {9})(m);
             m.setText(kRuntimeKey + "\\MSI", "MODE", "s");
         },
         {},
         1,
         {},
         {},
         false},
        {"NewerRuntimeStays",
         runtimes("12", {9}),
         {},
         1,
         {},
         {"INFO: Existing build: 12 is newer than current build: 11"},
         false},
        // The kit is registered in the 32-bit view only: the 64-bit flavour does not see it.
        {"OtherViewIsNotRead",
         [](ScriptedMachine& m) { m.setText(kKitKey, "BuildNumber", "11", false); },
         {},
         1,
         {},
         {"INFO: No same version CDK exists"},
         false},
        {"MissingMsiexecCountsAsAFailedUninstall",
         [&](ScriptedMachine& m) {
             kit("11")(m);
             m.msiexecFound = false;
         },
         {},
         0,
         {},
         {"uninstall 3.6.0_09 of " + kKitCode + " failed.  ErrorCode: 1627"},
         false},
    };
    for (const RemovalRow& row : rows) {
        SCOPED_TRACE(row.name);
        ScriptedMachine m;
        LogCapture capture;
        row.registry(m);
        m.script = row.script;
        launcher::Ports ports = m.ports();
        EXPECT_EQ(launcher::UninstallCREOrCDKIfSameVersionExists(ports, m.state()),
                  row.expectedAnswer);
        EXPECT_EQ(m.commands(), row.expectedCommands);
        expectLogged(capture.text(), row.expectedLog);
        const std::vector<std::string> box{"box IDS_NEWER_BUILD"};
        EXPECT_EQ(m.effects.size() - m.commands().size(), row.newerBuildBox ? 1u : 0u);
        if (row.newerBuildBox) {
            EXPECT_EQ(m.effects.front(), box.front());
        }
        // What msiexec removed is kept, to be named when the run stops afterwards.
        std::size_t removed = 0;
        for (const std::string& command : row.expectedCommands) {
            bool failed = false;
            for (const Answer& answer : row.script) {
                failed = failed || command.find(answer.part) != std::string::npos;
            }
            removed += failed ? 0 : 1;
        }
        EXPECT_EQ(m.state().removedProducts.size(), removed);
    }
}

// ---- The updater ----

struct UpdaterRow {
    const char* name;
    const char* installedVersion;  // null: no updater registered
    bool autoUpdate;
    std::vector<Answer> script;
    std::function<void(ScriptedMachine&)> machine;
    int expectedResult;
    std::vector<std::string> expectedEffects;
    std::vector<std::string> expectedLog;
};

TEST(RunTables, UpdaterInstall) {
    const std::string database = R"(C:\AU\au.msi)";
    const std::string install = "run " + kQuotedMsiexec + " /i \"" + database + "\" ALLUSERS=1 /qn";
    const std::string disabled =
        "run " + kQuotedMsiexec + " /i \"" + database + "\" DISABLE=1 ALLUSERS=1 /qn";
    const std::string oldRemoval =
        "run " + kQuotedMsiexec + " /x {6D2F84B1-39C7-4E5A-8B16-0C7E93A5F2D4} /qn";
    const std::string registration =
        "run \"" + kCommonFiles + "\\Corvid\\Corvid Update\\caureg.exe\" -r cre 3.6.0_09-b11";
    const auto none = [](ScriptedMachine&) {};
    const UpdaterRow rows[] = {
        {"NoUpdater",
         nullptr,
         true,
         {},
         none,
         0,
         {install, registration},
         {"INFO: Auto Update is enabled"}},
        {"Disabled",
         nullptr,
         false,
         {},
         none,
         0,
         {disabled, registration},
         {"INFO: Auto Update is disabled via configuration settings"}},
        {"SameVersion",
         "5.6.09.11",
         true,
         {},
         none,
         launcher::UPDATER_NOT_UPGRADABLE,
         {},
         {"INFO: AU is not upgradable - Installed version >= the bundled version."}},
        {"NewerVersion", "6.0", true, {}, none, launcher::UPDATER_NOT_UPGRADABLE, {}, {}},
        // An older updater's settings are read in its layout and written back after the
        // install, in the new one.
        {"OldLayoutUpgraded",
         "5.4.1.2",
         true,
         {},
         none,
         0,
         {"read updater settings, old layout", oldRemoval, install,
          "write updater schedule 2 13:45", "write updater notify type 1", registration},
         {}},
        {"NewLayoutUpgraded",
         "5.6.02.11",
         true,
         {},
         none,
         0,
         {"read updater settings, new layout", oldRemoval, install,
          "write updater schedule 2 13:45", "write updater notify type 1", registration},
         {}},
        {"ScheduleNotFoundIsNotWritten",
         "5.6.02.11",
         true,
         {},
         [](ScriptedMachine& m) { m.updaterScheduleFound = false; },
         0,
         {"read updater settings, new layout", oldRemoval, install, "write updater notify type 1",
          registration},
         {"WARNING: Failed to get existing AU schedule setting."}},
        {"SettingsThatCannotBeWrittenDoNotFailTheInstall",
         "5.6.02.11",
         true,
         {},
         [](ScriptedMachine& m) { m.updaterWriteThrows = true; },
         0,
         {"read updater settings, new layout", oldRemoval, install, registration},
         {"the updater's key cannot be written"}},
        {"InstallFails",
         nullptr,
         true,
         {{"au.msi", 1603, nullptr}},
         none,
         1603,
         {install},
         {"INFO: Auto Update install failed"}},
        {"RegistrationFails",
         nullptr,
         true,
         {{"caureg", 1, nullptr}},
         none,
         launcher::UPDATER_MSIEXEC_OR_REGISTRATION_FAILED,
         {install, registration},
         {}},
        {"NoCommonFiles",
         nullptr,
         true,
         {},
         [](ScriptedMachine& m) { m.commonFiles.clear(); },
         launcher::UPDATER_NO_COMMON_FILES,
         {install},
         {}},
        {"NoMsiexec",
         nullptr,
         true,
         {},
         [](ScriptedMachine& m) { m.msiexecFound = false; },
         launcher::UPDATER_MSIEXEC_OR_REGISTRATION_FAILED,
         {},
         {"Error: InstallAutoUpdate(), couldn't find WIPath"}},
    };
    for (const UpdaterRow& row : rows) {
        SCOPED_TRACE(row.name);
        ScriptedMachine m;
        LogCapture capture;
        if (row.installedVersion != nullptr) {
            m.setText(kUpdaterKey, "AUVersion", row.installedVersion, false);
        }
        row.machine(m);
        m.script = row.script;
        launcher::Ports ports = m.ports();
        EXPECT_EQ(launcher::InstallAutoUpdate(ports, database, row.autoUpdate), row.expectedResult);
        EXPECT_EQ(m.effects, row.expectedEffects);
        expectLogged(capture.text(), row.expectedLog);
    }
}

// The updater's database goes below the user's data folder; a folder that cannot be had stops
// the updater alone, a link there ends the run as a payload file that cannot be written does.
TEST(RunTables, UpdaterDatabaseFolders) {
    const std::string au = kDataFolder + R"(\Quillon\Corvid\AU\)";
    const struct {
        const char* name;
        std::function<void(ScriptedMachine&)> machine;
        int expectedResult;
        std::vector<std::string> expectedEffects;
    } rows[] = {
        {"Written",
         [](ScriptedMachine&) {},
         0,
         {"write 1119 " + au + "au.msi",
          "run " + kQuotedMsiexec + " /i \"" + au + "au.msi\" ALLUSERS=1 /qn",
          "run \"" + kCommonFiles + "\\Corvid\\Corvid Update\\caureg.exe\" -r cre 3.6.0_09-b11"}},
        {"NoDataFolder",
         [](ScriptedMachine& m) { m.dataFolder.clear(); },
         launcher::UPDATER_FOLDER_FAILED,
         {}},
        {"FolderRefused",
         [](ScriptedMachine& m) { m.refusedFolders[R"(\Quillon\Corvid\)"] = 5; },
         launcher::UPDATER_FOLDER_FAILED,
         {}},
        {"PathTooLong",
         [](ScriptedMachine& m) { m.dataFolder = "C:\\" + std::string(250, 'd'); },
         launcher::UPDATER_FOLDER_FAILED,
         {}},
        {"NoDatabase",
         [](ScriptedMachine& m) { m.missingResources.insert(1119); },
         launcher::UPDATER_RESOURCE_MISSING,
         {}},
        {"LinkEndsTheRun",
         [](ScriptedMachine& m) { m.refusedFolders[R"(\Quillon\)"] = 681; },
         681,
         {"fatal 681"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ScriptedMachine m;
        row.machine(m);
        launcher::Ports ports = m.ports();
        int result = 0;
        try {
            result = launcher::InstallUpdaterComponent(ports, true);
        } catch (const ProcessEnded& ended) {
            result = static_cast<int>(ended.code);
        }
        EXPECT_EQ(result, row.expectedResult);
        EXPECT_EQ(m.effects, row.expectedEffects);
    }
}

// ---- The public runtime ----

TEST(RunTables, PublicRuntime) {
    const std::string kit = R"(C:\Kit)";
    const std::string deletes[] = {"delete " + kit + "\\cre.msi", "delete " + kit + "\\cre2052.MST",
                                   "delete " + kit + "\\cre1041.MST"};
    const struct {
        const char* name;
        bool database;
        uint16_t language;
        const char* runtimeFolder;
        bool suppressReboot;
        int exitCode;
        std::string expectedCommand;  // empty: none
    } rows[] = {
        {"JapaneseWithFolder", true, 1041, R"(D:\Pub)", false, 0,
         kQuotedMsiexec + " /i \"" + kit + "\\cre.msi\" TRANSFORMS=\"" + kit +
             "\\cre1041.MST\" /qn ADDLOCAL=ALL SDKSILENT=1 INSTALLDIR=\"D:\\Pub\""},
        // Without cre.msi nothing runs, and the transforms are still removed.
        {"NoDatabase", false, 1033, "", false, 0, ""},
        // A failing runtime install does not keep its files either.
        {"FailsAndSuppressesReboot", true, 1033, "", true, 1603,
         kQuotedMsiexec + " /i \"" + kit +
             "\\cre.msi\" /qn ADDLOCAL=ALL SDKSILENT=1 REBOOT=ReallySuppress"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ScriptedMachine m;
        m.setText(kKitKey, "CorvidHome", kit);
        if (row.database) {
            m.files.insert(kit + "\\cre.msi");
        }
        m.script = {{"cre.msi", row.exitCode, nullptr}};
        launcher::RunState& state = m.state();
        state.msiexecPath = kMsiexec;
        state.installLanguage = row.language;
        state.publicRuntimeFolder = row.runtimeFolder;
        state.rebootSuppressed = row.suppressReboot;
        launcher::Ports ports = m.ports();
        launcher::InstallPublicCre(ports, state);
        std::vector<std::string> expected;
        if (!row.expectedCommand.empty()) {
            expected.push_back("run " + row.expectedCommand);
        }
        expected.insert(expected.end(), std::begin(deletes), std::end(deletes));
        EXPECT_EQ(m.effects, expected);
    }
    // Without the kit's folder in the registry nothing is run or deleted.
    ScriptedMachine m;
    launcher::Ports ports = m.ports();
    launcher::InstallPublicCre(ports, m.state());
    EXPECT_TRUE(m.effects.empty());
}

// ---- The fatal exit's cleanup ----

// It runs once, whichever thread takes it first, and an exception it throws is logged instead
// of ending the program before the exit code is set.
TEST(RunTables, FatalCleanupRunsOnceAndItsExceptionsStayInside) {
    struct ThrowingRestore final : launcher::RuntimeSettingsFile {
        int restores = 0;
        int prepareExport() override { return 0; }
        int storeExport() override { return 0; }
        void discardPreparedExport() override {}
        int restore() override {
            ++restores;
            throw std::runtime_error("restore failed");
        }
    } settings;
    launcher::RunState state;
    LogCapture capture;
    state.armFatalCleanup(launcher::FatalCleanup::RestoreSettings);
    launcher::runFatalCleanup(state, settings);
    launcher::runFatalCleanup(state, settings);
    EXPECT_EQ(settings.restores, 1);
    EXPECT_EQ(state.takeFatalCleanup(), launcher::FatalCleanup::None);
    EXPECT_NE(capture.text().find("Exception with message 'restore failed' caught"),
              std::string::npos)
        << capture.text();
}

}  // namespace
