// The installs that follow the kit's: the public runtime that the kit leaves in its folder, and
// the updater, whose schedule and notify settings survive its upgrade.
#include "FollowUps.h"

#include <exception>

#include "AllUtils.h"
#include "BuildConstants.h"
#include "LauncherLogic.h"
#include "PayloadTable.h"
#include "StringFormat.h"

namespace launcher {
namespace {

constexpr const char* kAutoUpdateKey = "SOFTWARE\\Tarnwell\\Auto Update";
constexpr const char* kUpdaterLayoutVersion = "5.6";
constexpr std::size_t kRegistryTextCapacity = 2048;
constexpr const char* kCreateStep = "Installer : Wrapper.CreateFile ";

std::string kitKey() {
    return std::string("SOFTWARE\\Tarnwell\\Corvid Development Kit\\") + build::kProductVersion;
}

// Creates a folder below the user's data folder that may exist already; false for any other
// failure. Each folder on the way is checked to be no link and held until the process ends; a
// link ends the run as an updater's database that cannot be written does.
bool ensureFolder(Ports& ports, const std::string& data, const std::string& path) {
    const Status held = ports.payload.holdFolderBelow(data, path);
    if (!held.ok() && held.error() == kStoppedOnLink) {
        ports.payload.fatalExit(kCreateStep, held.error());
    }
    return held.ok();
}

}  // namespace

bool FindCDKHome(Ports& ports, std::string& folder) {
    if (ports.registry.openKey(RegistryView::Process, kitKey()) != 0) {
        logit("FindCDKHome: Failed to open CDK main key!!");
        return false;
    }
    std::string home;
    if (ports.registry.queryString(RegistryView::Process, kitKey(), "CorvidHome",
                                   kRegistryTextCapacity, home) != 0) {
        logit("FindCDKHome: Failed to query CorvidHome value!!");
        return false;
    }
    folder = home;
    return true;
}

void InstallPublicCre(Ports& ports, const RunState& state) {
    std::string kitFolder;
    if (!FindCDKHome(ports, kitFolder)) {
        return;
    }
    const std::string database = publicRuntimeDatabasePath(kitFolder);
    if (ports.probes.fileExists(database)) {
        const std::string command =
            publicRuntimeCommand(state.msiexecPath, kitFolder, state.installLanguage,
                                 state.publicRuntimeFolder, state.rebootSuppressed);
        // Its outcome is in the executor's log records; the launcher's result does not depend
        // on it.
        ports.processes.run(state.msiexecPath, command);
    }
    for (const std::string& file :
         {database, publicRuntimeTransformPath(kitFolder, kLanguageChinese),
          publicRuntimeTransformPath(kitFolder, kLanguageJapanese)}) {
        ports.probes.deleteFile(file);
    }
}

int InstallUpdaterComponent(Ports& ports, bool autoUpdate) {
    const std::string data = ports.payload.userDataFolder();
    if (data.empty()) {
        // Without it the folders below would land in the root of the current drive.
        logit("Can not find the user data folder to extract installer files. \n");
        return UPDATER_FOLDER_FAILED;
    }
    const std::string quillon = data + "\\Quillon\\";
    const std::string corvid = quillon + "Corvid\\";
    const std::string au = corvid + "AU\\";
    const struct {
        const std::string& path;
        const char* failure;
    } folders[] = {
        {quillon, "Can not create the Quillon directory to extract installer files. \n"},
        {corvid, "Can not create the Corvid directory to extract installer files. \n"},
        {au, "Can not create the AU directory to extract installer files. \n"},
    };
    for (const auto& folder : folders) {
        if (folder.path.size() >= kMaxPathLength || !ensureFolder(ports, data, folder.path)) {
            logit(folder.failure);
            return UPDATER_FOLDER_FAILED;
        }
    }
    const std::string database =
        au + payloadFileName(payload::kUpdaterDatabase.fileTemplate, build::kProductVersion);
    if (database.size() >= kMaxPathLength) {
        logit(folders[2].failure);
        return UPDATER_FOLDER_FAILED;
    }
    if (ports.payload.writeInstallerResource(payload::kUpdaterDatabase.id, database) == 0) {
        return UPDATER_RESOURCE_MISSING;
    }
    return InstallAutoUpdate(ports, database, autoUpdate);
}

bool ReadAUVersion(Ports& ports, std::string& version) {
    return ports.registry.queryString(RegistryView::Only32, kAutoUpdateKey, "AUVersion",
                                      kRegistryTextCapacity, version) == 0;
}

bool IsInstalledAUOlder(Ports& ports) {
    std::string installed;
    return ReadAUVersion(ports, installed) &&
           compareVersions(installed, build::kUpdaterVersion) < 0;
}

bool IsAUUpgradable(Ports& ports) {
    std::string installed;
    return !ReadAUVersion(ports, installed) ||
           compareVersions(build::kUpdaterVersion, installed) > 0;
}

bool IsAUOlderThanCdk6(Ports& ports) {
    std::string installed;
    if (!ReadAUVersion(ports, installed)) {
        CDK_LOG(LOG_INFO, "IsAUOlderThanCdk6",
                "Failed to determine AU version. Most probably there is no AU installed");
        return false;
    }
    return compareVersions(installed, kUpdaterLayoutVersion) < 0;
}

void UninstallOldUpdater(Ports& ports) {
    if (!IsInstalledAUOlder(ports)) {
        return;
    }
    std::string msiexec;
    ports.probes.findMsiexecPath(msiexec, kRegistryTextCapacity);
    ports.processes.run(msiexec, oldUpdaterUninstallCommand(msiexec));
}

int InstallAutoUpdate(Ports& ports, const std::string& databasePath, bool autoUpdate) {
    constexpr const char* function = "InstallAutoUpdate";
    std::string msiexec;
    if (!ports.probes.findMsiexecPath(msiexec, kMaxPathLength)) {
        CDK_LOG(LOG_INFO, function, "Error: InstallAutoUpdate(), couldn't find WIPath");
        return UPDATER_MSIEXEC_OR_REGISTRATION_FAILED;
    }
    if (!IsAUUpgradable(ports)) {
        CDK_LOG(LOG_INFO, function,
                "AU is not upgradable - Installed version >= the bundled version.\n");
        return UPDATER_NOT_UPGRADABLE;
    }

    const bool older = IsInstalledAUOlder(ports);
    au::ScheduleRecord schedule;
    bool found = false;
    int notifyType = 0;
    if (older) {
        const bool oldLayout = IsAUOlderThanCdk6(ports);
        schedule = ports.updater.readSchedule(oldLayout, found);
        if (!found) {
            CDK_LOG(LOG_WARNING, function, "Failed to get existing AU schedule setting.");
        }
        notifyType = ports.updater.readNotifyType(oldLayout);
    }

    UninstallOldUpdater(ports);

    if (autoUpdate) {
        CDK_LOG(LOG_INFO, function, "Auto Update is enabled");
    } else {
        CDK_LOG(LOG_INFO, function, "Auto Update is disabled via configuration settings");
    }
    const std::string install = updaterInstallCommand(msiexec, databasePath, autoUpdate);
    const int installed = ports.processes.run(msiexec, install);
    if (installed != 0) {
        CDK_LOG(LOG_INFO, function, "Auto Update install failed");
        return installed;
    }

    if (older) {
        try {
            if (found) {
                ports.updater.writeSchedule(schedule);
            }
            ports.updater.writeNotifyType(notifyType);
        } catch (const std::exception& exception) {
            reportException(exception);
        } catch (...) {
            reportUnknownException();
        }
    }

    const std::string commonFiles = ports.probes.commonProgramFiles();
    if (commonFiles.empty()) {
        return UPDATER_NO_COMMON_FILES;
    }
    const std::string registration =
        formatString("%s\\Corvid\\Corvid Update\\caureg.exe", commonFiles.c_str());
    const int registered = ports.processes.run(
        registration, updaterRegistrationCommand(registration, build::kFullVersion));
    return registered != 0 ? UPDATER_MSIEXEC_OR_REGISTRATION_FAILED : 0;
}

}  // namespace launcher
