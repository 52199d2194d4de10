// The launcher's decisions on a scripted machine: the removal of a prior install, the updater
// and the public runtime for given registry states and exit codes; the fatal exit's cleanup; and
// the guard that turns escaping exceptions into exit codes.
#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <stdexcept>
#include <string>

#include "FollowUps.h"
#include "LogCapture.h"
#include "MessageUi.h"
#include "PriorInstall.h"
#include "RunGuard.h"
#include "ScriptedMachine.h"
#include "SettingsException.h"

using namespace cdk_test;

namespace {

// Each of the texts apart by "|" is in the log.
void expectLogged(const std::string& log, const std::string& expected) {
    std::istringstream texts(expected);
    for (std::string text; std::getline(texts, text, '|');) {
        EXPECT_NE(log.find(text), std::string::npos) << text << "\n" << log;
    }
}

TEST(RunTables, PriorInstallRemoval) {
    const std::string kit = "KitBuild=11 Uninstall=kit ";
    const struct {
        const char* name;
        std::string given;
        int result;
        const char* effects;
        const char* removed;  // what msiexec removed, named when the run stops afterwards
        std::string logged;
    } rows[] = {
        {"NothingRegistered", "", 1, "", "",
         "INFO: No same version CDK exists|INFO: No same version CRE exists"},
        {"NewerKitBuild", "KitBuild=12", 0, "box NEWER_BUILD", "",
         "INFO: Existing build: 12 is newer than current build: 11"},
        {"KitWithoutBuildNumber", "KitBuild=", 0, "box NEWER_BUILD", "",
         "ERROR: CorvidKey.QueryValue(BuildNumber, Value); failed: 2"},
        {"SameKitBuildIsUninstalled", kit, 1, "-kit", "kit",
         "INFO: Existing build: 11 is same/older than current build: 11|"
         "INFO: No same version CRE exists"},
        {"OlderKitBuildIsUninstalled", "KitBuild=7 Uninstall=kit", 1, "-kit", "kit",
         "INFO: Existing build: 7 is same/older than current build: 11"},
        {"KitThenRuntime", kit + "CreBuild=11 Uninstall=cre9", 1, "-kit, -cre9", "kit, cre9", ""},
        {"KitUninstallCancelled", kit + "-kit=1602", 0, "-kit", "",
         "ERROR: Uninstall existining CDK failed " + kKitCode +
             ": 1602|ERROR: UninstallExistingCDK (" + kKitKey + ") failed"},
        {"KitUninstallNeedsReboot", kit + "-kit=3010", 0, "-kit", "",
         "failed " + kKitCode + ": 3010"},
        {"KitProductCodeNotRegistered", "KitBuild=11", 0, "", "",
         "ERROR: CDK GUID not found " + kKitCode},
        {"RuntimesUninstalledDownward", "CreBuild=11 Uninstall=cre9,cre5,cre0", 1,
         "-cre9, -cre5, -cre0", "cre9, cre5, cre0",
         "ERROR: Error Opening registry key " + kUninstallKey + runtimeCode(8)},
        {"AFailedRuntimeUninstallIsNotForgotten", "CreBuild=11 Uninstall=cre9,cre0 -cre9=1603", 0,
         "-cre9, -cre0", "cre0",
         "ERROR: Uninstall existining CRE failed " + runtimeCode(9) +
             ": 1603|ERROR: UninstallCREIfSameOrOlderBuild( " + kRuntimeKey + ") failed"},
        {"StaticRuntimeStays", "CreBuild=11 CreMode=s Uninstall=cre9", 1, "", "", ""},
        {"NewerRuntimeStays", "CreBuild=12 Uninstall=cre9", 1, "", "",
         "INFO: Existing build: 12 is newer than current build: 11"},
        // The 64-bit flavour does not see a kit registered in the 32-bit view.
        {"OtherViewIsNotRead", "KitBuild32=11", 1, "", "", "INFO: No same version CDK exists"},
        {"MissingMsiexecCountsAsAFailedUninstall", kit + "msiexec=0", 0, "", "",
         "uninstall 3.6.0_09 of " + kKitCode + " failed.  ErrorCode: 1627"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ScriptedMachine m(row.given);
        LogCapture capture;
        launcher::Ports ports = m.ports();
        EXPECT_EQ(launcher::UninstallCREOrCDKIfSameVersionExists(ports, m.state), row.result);
        EXPECT_EQ(m.effects, row.effects);
        EXPECT_EQ(m.removed(), row.removed);
        expectLogged(capture.text(), row.logged);
    }
}

// The updater's database goes below the user's data folder; a folder that cannot be had stops
// the updater alone, a link there ends the run as a payload file that cannot be written does.
// An older updater's settings are read in its layout and written back after the install, in the
// new one.
TEST(RunTables, UpdaterInstall) {
    const std::string old = "AUVersion=5.6.02.11 ";
    const struct {
        const char* name;
        std::string given;  // "off": Auto Update disabled
        int result;
        const char* effects;
        const char* logged;
    } rows[] = {
        {"NoUpdater", "", 0, "write au, au, caureg", "INFO: Auto Update is enabled"},
        {"Disabled", "off", 0, "write au, au-off, caureg",
         "INFO: Auto Update is disabled via configuration settings"},
        {"SameVersion", "AUVersion=5.6.09.11", launcher::UPDATER_NOT_UPGRADABLE, "write au",
         "INFO: AU is not upgradable - Installed version >= the bundled version."},
        {"NewerVersion", "AUVersion=6.0", launcher::UPDATER_NOT_UPGRADABLE, "write au", ""},
        {"OldLayoutUpgraded", "AUVersion=5.4.1.2", 0,
         "write au, read old, -au, au, schedule 2 13:45, notify 1, caureg", ""},
        {"NewLayoutUpgraded", old, 0,
         "write au, read new, -au, au, schedule 2 13:45, notify 1, caureg", ""},
        {"ScheduleNotFoundIsNotWritten", old + "schedule=0", 0,
         "write au, read new, -au, au, notify 1, caureg",
         "WARNING: Failed to get existing AU schedule setting."},
        {"SettingsThatCannotBeWrittenDoNotFailTheInstall", old + "auwrite=throw", 0,
         "write au, read new, -au, au, caureg", "the updater's key cannot be written"},
        {"InstallFails", "au=1603", 1603, "write au, au", "INFO: Auto Update install failed"},
        {"RegistrationFails", "caureg=1", launcher::UPDATER_MSIEXEC_OR_REGISTRATION_FAILED,
         "write au, au, caureg", ""},
        {"NoCommonFiles", "common=", launcher::UPDATER_NO_COMMON_FILES, "write au, au", ""},
        {"NoMsiexec", "msiexec=0", launcher::UPDATER_MSIEXEC_OR_REGISTRATION_FAILED, "write au",
         "Error: InstallAutoUpdate(), couldn't find WIPath"},
        {"NoDataFolder", "data=", launcher::UPDATER_FOLDER_FAILED, "", ""},
        {"FolderRefused", "holdCorvid=5", launcher::UPDATER_FOLDER_FAILED, "", ""},
        {"PathTooLong", "data=C:\\" + std::string(250, 'd'), launcher::UPDATER_FOLDER_FAILED, "",
         ""},
        {"NoDatabase", "res1119=0", launcher::UPDATER_RESOURCE_MISSING, "", ""},
        {"LinkEndsTheRun", "holdQuillon=681", 681, "fatal 681", ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ScriptedMachine m(row.given);
        LogCapture capture;
        launcher::Ports ports = m.ports();
        const bool autoUpdate = m.number("off", 0) == 0;
        EXPECT_EQ(m.untilExit([&] { return launcher::InstallUpdaterComponent(ports, autoUpdate); }),
                  row.result);
        EXPECT_EQ(m.effects, row.effects);
        expectLogged(capture.text(), row.logged);
    }
}

// The public runtime's database and transforms are removed whether it installs, fails or is
// missing; without the kit's folder in the registry nothing is run or deleted.
TEST(RunTables, PublicRuntime) {
    const std::string msiexec = "run \"" + kMsiexec + R"(" /i "C:\Kit\cre.msi" )";
    const std::string deletes = "delete cre.msi, delete cre2052.MST, delete cre1041.MST";
    const struct {
        const char* name;
        const char* given;  // the run's language, public runtime folder and reboot option
        std::string effects;
    } rows[] = {
        {"JapaneseWithFolderAndRebootSuppressed", R"(Kit lang=1041 folder=D:\Pub reboot)",
         msiexec + R"(TRANSFORMS="C:\Kit\cre1041.MST" /qn ADDLOCAL=ALL SDKSILENT=1 )" +
             R"(INSTALLDIR="D:\Pub"  REBOOT=ReallySuppress, )" + deletes},
        {"Fails", "Kit cre=1603", "cre, " + deletes},
        {"NoDatabase", "CorvidHome", deletes},
        {"NoKitFolder", "", ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ScriptedMachine m(row.given);
        launcher::RunState& state = m.state;
        state.msiexecPath = kMsiexec;
        state.installLanguage = static_cast<uint16_t>(m.number("lang", 1033));
        state.publicRuntimeFolder = m.text("folder", "");
        state.rebootSuppressed = m.number("reboot", 0) != 0;
        launcher::Ports ports = m.ports();
        launcher::InstallPublicCre(ports, state);
        EXPECT_EQ(m.effects, row.effects);
    }
}

// The fatal exit's cleanup runs once, whichever thread takes it first, and an exception it
// throws is logged instead of ending the program before the exit code is set.
TEST(RunTables, FatalCleanup) {
    using launcher::FatalCleanup;
    const struct {
        FatalCleanup armed;
        const char* given;
        const char* effects;
        const char* logged;
    } rows[] = {
        {FatalCleanup::None, "", "prepare", ""},
        {FatalCleanup::DiscardPreparedExport, "", "prepare, discard", ""},
        {FatalCleanup::RestoreSettings, "", "prepare, restore", ""},
        {FatalCleanup::RestoreSettings, "restore=throw", "prepare, restore",
         "Exception with message 'restore failed' caught"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(&row - rows);
        ScriptedMachine m(row.given);
        LogCapture capture;
        launcher::RuntimeSettingsFile& settings = m.ports().settings;
        settings.prepareExport();
        m.state.armFatalCleanup(row.armed);
        launcher::runFatalCleanup(m.state, settings);
        launcher::runFatalCleanup(m.state, settings);
        EXPECT_EQ(m.effects, row.effects);
        EXPECT_EQ(m.state.takeFatalCleanup(), FatalCleanup::None);
        expectLogged(capture.text(), row.logged);
    }
}

// Exceptions that escape the run or the objects built before the entry point end the launcher
// with a log record and an exit code, never as a crash or a message box; after a failed start-up
// the run itself does not start.
TEST(RunTables, EscapingExceptionsGiveAnExitCode) {
    const struct {
        std::function<void()> startup;
        std::function<int()> run;  // null: not to be started
        int code;
        const char* logged;
    } rows[] = {
        {[] {}, [] { return 3010; }, 3010, ""},
        {[] {}, []() -> int { throw std::runtime_error("boom"); }, -83,
         "Exception with message 'boom' caught|An unexpected error ended the installer."},
        {[] {}, []() -> int { throw 7; }, -83, "Unknown exception caught"},
        {[] { throw settings::Exception(SETTINGS_E_UNEXPECTED); }, nullptr, -80,
         "could not start: the settings store failed with status 200"},
        {[] { throw std::runtime_error("no memory"); }, nullptr, -83, "could not start: no memory"},
        {[] { throw 7; }, nullptr, -83, "could not start: an unknown exception"},
    };
    int boxes = 0;
    setMessageBoxObserver([&](const MessageBoxRecord&) { ++boxes; });
    for (const auto& row : rows) {
        SCOPED_TRACE(&row - rows);
        LogCapture capture;
        RunStartupSteps(row.startup, -80, -83);
        bool ran = false;
        EXPECT_EQ(RunLauncher(
                      [&] {
                          ran = true;
                          return row.run();
                      },
                      -83),
                  row.code);
        EXPECT_EQ(ran, row.run != nullptr);
        expectLogged(capture.text(), row.logged);
        ClearStartupFailure();
    }
    setMessageBoxObserver(nullptr);
    EXPECT_EQ(boxes, 0);
}

}  // namespace
