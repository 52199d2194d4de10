// The order of the main sequence's effects on the machine, and its exit code, for machine
// states and scripted exit codes: everything that can stop a run without changing the machine
// comes before the removal of a prior install; the runtime settings file is prepared before,
// stored after the kit's database is written, and put back after a failed install or a fatal
// exit; a successful install keeps it whatever fails after.
#include <gtest/gtest.h>

#include <string>

#include "InstallSequence.h"
#include "LogCapture.h"
#include "ScriptedMachine.h"

using namespace cdk_test;

namespace {

TEST(RunOrder, MainSequence) {
    const std::string kit = "flag, prepare, write kit, store, event, extract, kit, await";
    const std::string publicRuntime =
        ", cre, delete cre.msi, delete cre2052.MST, delete cre1041.MST";
    const std::string updater = ", write au, au, caureg";
    const std::string removal = "KitBuild=11 Uninstall=kit ";
    const struct {
        const char* name;
        std::string given;  // with the options "silent" and "msi=<MSI_CMDLINE>"
        int exitCode;
        std::string effects;
        const char* settings;  // the runtime settings file's fate
    } rows[] = {
        {"SilentInstallWithFollowUps", "silent", 0, kit + publicRuntime + updater, "stored"},
        {"InteractiveInstallHasNoPublicRuntime", "", 0, kit + updater, "stored"},
        // The public runtime is not among the features asked for.
        {"FeaturesWithoutThePublicRuntime", "silent msi=ADDLOCAL=ToolsFeature", 0, kit + updater,
         "stored"},
        {"FailedInstallPutsTheSettingsBack", "silent kit=1603", 1603, kit + ", restore",
         "restored"},
        {"KitAsksForAReinstall", "reinstall", 0,
         "flag, prepare, write kit, store, event, extract, kit, clear InstallStatus, kit, await" +
             updater,
         "stored"},
        {"NoWindowsInstaller", "installer=0", -2, "box MSI_ENGINE_MISSING", "untouched"},
        {"AnotherInstallRunsSilently", "silent busy", -1, "box IN_PROGRESS (suppressed)",
         "untouched"},
        {"AnotherInstallRuns", "busy", -1, "box IN_PROGRESS", "untouched"},
        {"OldWindowsIsWarnedAbout", "level=1", 0, "box UNSUPPORTED_OS, " + kit + updater, "stored"},
        {"FlagNotTaken", "flag=0", -1, "", "untouched"},
        {"NoKitDatabase", "res101=0", 1, "flag", "untouched"},
        {"NoMsiexec", "msiexec=0", -3, "flag", "untouched"},
        // Refused before the settings file is touched or anything removed.
        {"CommandTooLong", removal + "msi=" + std::string(33000, 'x'), -82, "flag", "untouched"},
        {"ExportCannotBePrepared", removal + "prepare=-1", -81, "flag, prepare", "untouched"},
        {"NewerKitBuildStopsBeforeAnythingChanges", "KitBuild=12", -1,
         "flag, prepare, box NEWER_BUILD, discard", "discarded"},
        {"FailedRemovalStops", removal + "-kit=1603", -1, "flag, prepare, -kit, discard",
         "discarded"},
        {"RemovalThenInstall", removal, 0,
         "flag, prepare, -kit, write kit, store, event, extract, kit, await" + updater, "stored"},
        {"SettingsCannotBeStored", removal + "store=-1", -81,
         "flag, prepare, -kit, write kit, store, discard", "discarded"},
        // A payload file that cannot be written ends the run with its code, and takes back what
        // the run's state says was changed for it.
        {"KitDatabaseCannotBeWritten", "write101=112", 112,
         "flag, prepare, write kit, fatal 112, discard", "discarded"},
        {"CabinetCannotBeWrittenAfterASuccessfulInstall", "await=112", 112,
         kit + ", fatal 112, restore", "restored"},
        {"EventFailureIsLoggedAndTheRunGoesOn", "event=5", 0, kit + updater, "stored"},
        {"UpdaterOnlyWithTheRuntimeRegistered", "noruntime", 0, kit, "stored"},
        // The kit's result stands: the updater's failures do not undo the settings file.
        {"UpdaterFailureKeepsTheSettings", "res1119=0", 0, kit, "stored"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ScriptedMachine m(row.given);
        LogCapture capture;
        launcher::RunOptions options;
        options.silent = m.number("silent", 0) != 0;
        options.autoUpdate = true;
        options.msiArguments = m.text("msi", "");
        options.msiArgumentsSet = !options.msiArguments.empty();
        options.addLocalSet = options.msiArguments.find("ADDLOCAL=") != std::string::npos;
        launcher::Ports ports = m.ports();
        EXPECT_EQ(
            m.untilExit([&] { return launcher::RunInstallSequence(ports, m.state, options); }),
            row.exitCode);
        EXPECT_EQ(m.effects, row.effects);
        EXPECT_EQ(m.fate, std::string(row.settings));
        EXPECT_EQ(m.state.takeFatalCleanup(), launcher::FatalCleanup::None)
            << "a cleanup is left armed";
    }
}

}  // namespace
