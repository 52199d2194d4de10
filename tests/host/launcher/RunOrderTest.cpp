// The order of the main sequence's effects on the machine, and its exit code, for machine
// states and scripted exit codes: everything that can stop a run without changing the machine
// comes before the removal of a prior install; the runtime settings file is prepared before,
// stored after the kit's database is written, and put back after a failed install or a fatal
// exit; a successful install keeps it whatever fails after.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "InstallSequence.h"
#include "LogCapture.h"
#include "ScriptedMachine.h"

using namespace cdk_test;

namespace {

// The effects with each command named by what it installs; the command texts themselves are
// the decision tables' and the command-line tests' business.
std::vector<std::string> abbreviated(const std::vector<std::string>& effects) {
    std::vector<std::string> out;
    for (const std::string& effect : effects) {
        if (effect.rfind("run ", 0) != 0) {
            out.push_back(effect.rfind("write 101 ", 0) == 0    ? "write kit database"
                          : effect.rfind("write 1119 ", 0) == 0 ? "write updater database"
                          : effect.rfind("delete ", 0) == 0     ? "delete"
                                                                : effect);
        } else if (effect.find(" /x " + kKitCode) != std::string::npos) {
            out.push_back("run kit removal");
        } else if (effect.find(" /x ") != std::string::npos) {
            out.push_back("run runtime removal");
        } else if (effect.find("cdk3.6.0_09.msi") != std::string::npos) {
            out.push_back("run kit");
        } else if (effect.find("cre.msi") != std::string::npos) {
            out.push_back("run public runtime");
        } else if (effect.find("au.msi") != std::string::npos) {
            out.push_back("run updater");
        } else if (effect.find("caureg") != std::string::npos) {
            out.push_back("run updater registration");
        } else {
            out.push_back(effect);
        }
    }
    return out;
}

// The kit's install as msiexec leaves the machine: its folder with the public runtime's
// database, and the runtime registered.
void kitInstalls(ScriptedMachine& m) {
    m.setText(kKitKey, "CorvidHome", R"(C:\Kit)");
    m.setKey(kRuntimeKey);
    m.files.insert(R"(C:\Kit\cre.msi)");
}

struct OrderRow {
    const char* name;
    std::function<void(ScriptedMachine&)> machine;
    launcher::RunOptions options;
    std::vector<std::string> effects;
    int exitCode;
    const char* settings;  // the runtime settings file's fate
};

launcher::RunOptions silent() {
    launcher::RunOptions options;
    options.silent = true;
    options.autoUpdate = true;
    return options;
}

launcher::RunOptions interactive() {
    launcher::RunOptions options;
    options.autoUpdate = true;
    return options;
}

launcher::RunOptions withMsiArguments(std::string arguments) {
    launcher::RunOptions options = silent();
    options.msiArgumentsSet = true;
    options.msiArguments = std::move(arguments);
    options.addLocalSet = options.msiArguments.find("ADDLOCAL=") != std::string::npos;
    return options;
}

const std::vector<std::string> kInstalled = {
    "prepare", "write kit database", "store", "event", "extract", "run kit"};

std::vector<std::string> join(std::vector<std::vector<std::string>> parts) {
    std::vector<std::string> all;
    for (auto& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

TEST(RunOrder, MainSequence) {
    const std::vector<std::string> publicRuntime = {"run public runtime", "delete", "delete",
                                                    "delete"};
    const std::vector<std::string> updater = {"write updater database", "run updater",
                                              "run updater registration"};
    const auto answer = [](const char* part, int code) {
        return [part, code](ScriptedMachine& m) {
            m.script.push_back({part, code, code == 0 ? kitInstalls : nullptr});
        };
    };
    const auto installs = answer("cdk3.6.0_09.msi", 0);
    const auto then = [](std::function<void(ScriptedMachine&)> a,
                         std::function<void(ScriptedMachine&)> b) {
        return [a, b](ScriptedMachine& m) {
            a(m);
            b(m);
        };
    };
    const OrderRow rows[] = {
        {"SilentInstallWithFollowUps", installs, silent(),
         join({{"flag"}, kInstalled, {"await"}, publicRuntime, updater}), 0, "stored"},
        {"InteractiveInstallHasNoPublicRuntime", installs, interactive(),
         join({{"flag"}, kInstalled, {"await"}, updater}), 0, "stored"},
        // The public runtime is not among the features asked for.
        {"FeaturesWithoutThePublicRuntime", installs, withMsiArguments("ADDLOCAL=ToolsFeature"),
         join({{"flag"}, kInstalled, {"await"}, updater}), 0, "stored"},
        {"FailedInstallPutsTheSettingsBack", answer("cdk3.6.0_09.msi", 1603), silent(),
         join({{"flag"}, kInstalled, {"await", "restore"}}), 1603, "restored"},
        {"KitAsksForAReinstall",
         [](ScriptedMachine& m) {
             m.script.push_back({"cdk3.6.0_09.msi", 0, [](ScriptedMachine& machine) {
                                     kitInstalls(machine);
                                     // Asked once: the second run answers from the script's
                                     // next entry.
                                     if (machine.commands().size() == 1) {
                                         machine.setText("Software\\Tarnwell", "InstallStatus",
                                                         "reinstall");
                                     }
                                 }});
         },
         interactive(),
         join({{"flag"}, kInstalled, {"clear InstallStatus", "run kit", "await"}, updater}), 0,
         "stored"},
        {"NoWindowsInstaller",
         [](ScriptedMachine& m) { m.installerPresent = false; },
         silent(),
         {"box IDS_MSI_ENGINE_MISSING"},
         -2,
         "untouched"},
        {"AnotherInstallRunsSilently",
         [](ScriptedMachine& m) { m.inProgress = true; },
         silent(),
         {"box IDS_IN_PROGRESS (suppressed)"},
         -1,
         "untouched"},
        {"AnotherInstallRuns",
         [](ScriptedMachine& m) { m.inProgress = true; },
         interactive(),
         {"box IDS_IN_PROGRESS"},
         -1,
         "untouched"},
        {"OldWindowsIsWarnedAbout", then([](ScriptedMachine& m) { m.level = 1; }, installs),
         interactive(), join({{"box IDS_UNSUPPORTED_OS", "flag"}, kInstalled, {"await"}, updater}),
         0, "stored"},
        {"FlagNotTaken",
         [](ScriptedMachine& m) { m.flagTaken = false; },
         silent(),
         {},
         -1,
         "untouched"},
        {"NoKitDatabase",
         [](ScriptedMachine& m) { m.missingResources.insert(101); },
         silent(),
         {"flag"},
         1,
         "untouched"},
        {"NoMsiexec",
         [](ScriptedMachine& m) { m.msiexecFound = false; },
         silent(),
         {"flag"},
         -3,
         "untouched"},
        // Refused before the settings file is touched or anything removed.
        {"CommandTooLong",
         [](ScriptedMachine& m) { m.setText(kKitKey, "BuildNumber", "11"); },
         withMsiArguments(std::string(33000, 'x')),
         {"flag"},
         -82,
         "untouched"},
        {"ExportCannotBePrepared",
         [](ScriptedMachine& m) {
             m.setText(kKitKey, "BuildNumber", "11");
             m.prepareResult = -1;
         },
         silent(),
         {"flag", "prepare"},
         -81,
         "untouched"},
        {"NewerKitBuildStopsBeforeAnythingChanges",
         [](ScriptedMachine& m) { m.setText(kKitKey, "BuildNumber", "12"); },
         silent(),
         {"flag", "prepare", "box IDS_NEWER_BUILD", "discard"},
         -1,
         "discarded"},
        {"FailedRemovalStops",
         then(
             [](ScriptedMachine& m) {
                 m.setText(kKitKey, "BuildNumber", "11");
                 m.setKey(kUninstallKey + kKitCode);
             },
             answer(" /x ", 1603)),
         silent(),
         {"flag", "prepare", "run kit removal", "discard"},
         -1,
         "discarded"},
        {"RemovalThenInstall",
         then(
             [](ScriptedMachine& m) {
                 m.setText(kKitKey, "BuildNumber", "11");
                 m.setKey(kUninstallKey + kKitCode);
             },
             installs),
         interactive(),
         join({{"flag", "prepare", "run kit removal"},
               std::vector<std::string>(kInstalled.begin() + 1, kInstalled.end()),
               {"await"},
               updater}),
         0, "stored"},
        {"SettingsCannotBeStored",
         [](ScriptedMachine& m) {
             m.setText(kKitKey, "BuildNumber", "11");
             m.setKey(kUninstallKey + kKitCode);
             m.storeResult = -1;
         },
         silent(),
         {"flag", "prepare", "run kit removal", "write kit database", "store", "discard"},
         -81,
         "discarded"},
        // A payload file that cannot be written ends the run with its code, and takes back what
        // the run's state says was changed for it.
        {"KitDatabaseCannotBeWritten",
         [](ScriptedMachine& m) { m.failingResource = 101; },
         silent(),
         {"flag", "prepare", "write kit database", "fatal 112", "discard"},
         112,
         "discarded"},
        {"CabinetCannotBeWrittenAfterASuccessfulInstall",
         then(installs, [](ScriptedMachine& m) { m.cabinetError = 112; }), silent(),
         join({{"flag"}, kInstalled, {"await", "fatal 112", "restore"}}), 112, "restored"},
        {"EventFailureIsLoggedAndTheRunGoesOn",
         then(installs, [](ScriptedMachine& m) { m.eventError = 5; }), interactive(),
         join({{"flag"}, kInstalled, {"await"}, updater}), 0, "stored"},
        // The kit's result stands: the updater's failures do not undo the settings file.
        {"UpdaterDatabaseMissingKeepsTheSettings",
         then(installs, [](ScriptedMachine& m) { m.missingResources.insert(1119); }), interactive(),
         join({{"flag"}, kInstalled, {"await"}}), 0, "stored"},
        {"UpdaterFailureKeepsTheSettings", then(installs, answer("au.msi", 1603)), interactive(),
         join({{"flag"}, kInstalled, {"await", "write updater database", "run updater"}}), 0,
         "stored"},
    };
    for (const OrderRow& row : rows) {
        SCOPED_TRACE(row.name);
        ScriptedMachine m;
        LogCapture capture;
        row.machine(m);
        launcher::Ports ports = m.ports();
        int exitCode = 0;
        try {
            exitCode = launcher::RunInstallSequence(ports, m.state(), row.options);
        } catch (const ProcessEnded& ended) {
            exitCode = static_cast<int>(ended.code);
        }
        EXPECT_EQ(abbreviated(m.effects), row.effects);
        EXPECT_EQ(exitCode, row.exitCode);
        EXPECT_EQ(m.settingsFate(), std::string(row.settings));
        EXPECT_EQ(m.state().takeFatalCleanup(), launcher::FatalCleanup::None)
            << "a cleanup is left armed";
    }
}

}  // namespace
