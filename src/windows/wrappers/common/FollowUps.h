// The installs that follow the kit's: the public runtime that the kit leaves in its folder, and
// the updater, whose schedule and notify settings survive its upgrade. Portable: the registry,
// msiexec, the files and the updater's settings come through the run's ports.
#pragma once

#include <string>

#include "LauncherPorts.h"

namespace launcher {

// What InstallUpdaterComponent answers besides an exit code of the updater's msiexec. These are
// the updater's own results, not exit codes of the launcher.
enum UpdaterInstallResult : int {
    UPDATER_FOLDER_FAILED = -1,                   // a folder of its database cannot be had
    UPDATER_NOT_UPGRADABLE = -2,                  // the installed updater is as new or newer
    UPDATER_MSIEXEC_OR_REGISTRATION_FAILED = -3,  // no msiexec, or the registration failed
    UPDATER_NO_COMMON_FILES = -4,                 // no common program files folder
    UPDATER_RESOURCE_MISSING = -5,                // the program holds no updater database
};

// The public runtime's database in the kit's folder is installed when there is one; the
// database and its transforms are deleted afterwards either way.
void InstallPublicCre(Ports& ports, const RunState& state);
// The kit's folder ("CorvidHome" of the kit's key).
bool FindCDKHome(Ports& ports, std::string& folder);
// Writes the updater's database below the user's data folder and installs it.
int InstallUpdaterComponent(Ports& ports, bool autoUpdate);
int InstallAutoUpdate(Ports& ports, const std::string& databasePath, bool autoUpdate);
// The installed updater's version ("AUVersion" in the 32-bit view).
bool ReadAUVersion(Ports& ports, std::string& version);
bool IsInstalledAUOlder(Ports& ports);
bool IsAUUpgradable(Ports& ports);
bool IsAUOlderThanCdk6(Ports& ports);
void UninstallOldUpdater(Ports& ports);

}  // namespace launcher
