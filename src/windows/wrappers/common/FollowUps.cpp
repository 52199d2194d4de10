// The installs that follow the kit's: the public runtime that the kit leaves in its folder, and
// the updater, whose schedule and notify settings survive its upgrade.
#include <windows.h>
#include <shlobj.h>

#include <vector>

#include "AllUtils.h"
#include "AnsiText.h"
#include "BuildConstants.h"
#include "CheckedFile.h"
#include "Executor.h"
#include "LauncherLogic.h"
#include "PlainRegKey.h"
#include "SysInfo.h"
#include "WrapperUtils.h"
#include "au/config.h"

namespace {

constexpr const char* kAutoUpdateKey = "SOFTWARE\\Tarnwell\\Auto Update";
constexpr REGSAM kRead = 0x20019;
constexpr REGSAM kRead32 = 0x20219;
constexpr const char* kUpdaterLayoutVersion = "5.6";
constexpr int kMissingResource = -5;
constexpr int kFolderFailed = -1;
constexpr int kNotUpgradable = -2;
constexpr int kMsiexecOrRegistrationFailed = -3;
constexpr int kNoCommonFiles = -4;
constexpr int kUpdaterDatabaseId = 1119;
constexpr const char* kCreateStep = "Installer : Wrapper.CreateFile ";

std::string kitKey() {
    return std::string("SOFTWARE\\Tarnwell\\Corvid Development Kit\\") + build::kProductVersion;
}

// Creates a folder below the user's data folder that may exist already; false for any other
// failure. Each folder on the way is checked to be no link and held until the process ends; a
// link ends the run as an updater's database that cannot be written does.
bool ensureFolder(const std::string& path) {
    const std::string data = UserDataFolder();
    const DWORD error = HoldUserFolders(data, path.substr(data.size()), false);
    if (error == checked_file::kStoppedOnLink) {
        ShowFatalErrorAndExit(kCreateStep, error);
    }
    return error == ERROR_SUCCESS;
}

// Where the updater's registration program lies; empty when the system has no such folder or
// the ANSI code page carries neither its path nor its short form (a look-alike folder could hold
// another program of that name).
std::string commonProgramFiles() {
    wchar_t buffer[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_PROGRAM_FILES_COMMON, nullptr, SHGFP_TYPE_CURRENT,
                                buffer))) {
        return std::string();
    }
    buffer[MAX_PATH - 1] = L'\0';
    std::string folder;
    if (!cdk_text::ansiFolderPath(buffer, folder)) {
        logit(
            formatString("The common files folder %s cannot be represented in the system's code "
                         "page %u, not even by its short name.",
                         cdk_text::wideToAnsiForDisplay(buffer).c_str(), GetACP()));
    }
    return folder;
}

}  // namespace

bool FindCDKHome(std::string& folder) {
    PlainRegKey key;
    if (key.open(HKEY_LOCAL_MACHINE, kitKey().c_str(), kRead) != ERROR_SUCCESS) {
        logit("FindCDKHome: Failed to open CDK main key!!");
        return false;
    }
    std::vector<char> buffer(2048);
    DWORD length = static_cast<DWORD>(buffer.size());
    if (key.queryString("CorvidHome", buffer.data(), &length) != ERROR_SUCCESS) {
        logit("FindCDKHome: Failed to query CorvidHome value!!");
        return false;
    }
    folder.assign(buffer.data());
    return true;
}

void InstallPublicCre() {
    std::string kitFolder;
    if (!FindCDKHome(kitFolder)) {
        return;
    }
    const RunState& state = runState();
    const std::string database = launcher::publicRuntimeDatabasePath(kitFolder);
    if (GetFileAttributesA(database.c_str()) != INVALID_FILE_ATTRIBUTES) {
        const std::string command =
            launcher::publicRuntimeCommand(state.msiexecPath, kitFolder, state.installLanguage,
                                           state.publicRuntimeFolder, state.rebootSuppressed);
        // Its outcome is in the executor's log records; the launcher's result does not depend
        // on it.
        Executor::ExecProcessWithAtlMessageLoop(state.msiexecPath, command, 0);
    }
    for (const char* name : {"cre.msi", "cre2052.MST", "cre1041.MST"}) {
        DeleteFileA(formatString("%s\\%s", kitFolder.c_str(), name).c_str());
    }
}

int InstallUpdaterComponent(HINSTANCE module, bool autoUpdate) {
    const std::string data = UserDataFolder();
    if (data.empty()) {
        // Without it the folders below would land in the root of the current drive.
        logit("Can not find the user data folder to extract installer files. \n");
        return kFolderFailed;
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
        if (folder.path.size() >= launcher::kMaxPathLength || !ensureFolder(folder.path)) {
            logit(folder.failure);
            return kFolderFailed;
        }
    }
    const std::string database = au + "au.msi";
    if (database.size() >= launcher::kMaxPathLength) {
        logit(folders[2].failure);
        return kFolderFailed;
    }
    if (WriteResourceToFile(module, kUpdaterDatabaseId, "CORVID_INSTALLER", database) == 0) {
        return kMissingResource;
    }
    return InstallAutoUpdate(database, autoUpdate);
}

bool ReadAUVersion(std::string& version) {
    PlainRegKey key;
    if (key.open(HKEY_LOCAL_MACHINE, kAutoUpdateKey, kRead32) != ERROR_SUCCESS) {
        return false;
    }
    std::vector<char> buffer(2048);
    DWORD length = static_cast<DWORD>(buffer.size());
    if (key.queryString("AUVersion", buffer.data(), &length) != ERROR_SUCCESS) {
        return false;
    }
    version.assign(buffer.data());
    return true;
}

bool IsInstalledAUOlder() {
    std::string installed;
    return ReadAUVersion(installed) &&
           launcher::compareVersions(installed, build::kUpdaterVersion) < 0;
}

bool IsAUUpgradable() {
    std::string installed;
    return !ReadAUVersion(installed) ||
           launcher::compareVersions(build::kUpdaterVersion, installed) > 0;
}

bool IsAUOlderThanCdk6() {
    std::string installed;
    if (!ReadAUVersion(installed)) {
        CDK_LOG(LOG_INFO, "IsAUOlderThanCdk6",
                "Failed to determine AU version. Most probably there is no AU installed");
        return false;
    }
    return launcher::compareVersions(installed, kUpdaterLayoutVersion) < 0;
}

void UninstallOldUpdater() {
    if (!IsInstalledAUOlder()) {
        return;
    }
    std::string msiexec;
    FindMsiexecPath(msiexec, 2048);
    Executor::ExecProcessWithAtlMessageLoop(msiexec, launcher::oldUpdaterUninstallCommand(msiexec),
                                            0);
}

int InstallAutoUpdate(const std::string& databasePath, bool autoUpdate) {
    constexpr const char* function = "InstallAutoUpdate";
    std::string msiexec;
    if (!FindMsiexecPath(msiexec, launcher::kMaxPathLength)) {
        CDK_LOG(LOG_INFO, function, "Error: InstallAutoUpdate(), couldn't find WIPath");
        return kMsiexecOrRegistrationFailed;
    }
    if (!IsAUUpgradable()) {
        CDK_LOG(LOG_INFO, function,
                "AU is not upgradable - Installed version >= the bundled version.\n");
        return kNotUpgradable;
    }

    const bool older = IsInstalledAUOlder();
    au::ScheduleRecord schedule;
    bool found = false;
    int notifyType = 0;
    if (older) {
        au::Config config(IsAUOlderThanCdk6() ? 0 : 1);
        schedule = config.getSchedule(found);
        if (!found) {
            CDK_LOG(LOG_WARNING, function, "Failed to get existing AU schedule setting.");
        }
        notifyType = config.getNotifyType();
    }

    UninstallOldUpdater();

    if (autoUpdate) {
        CDK_LOG(LOG_INFO, function, "Auto Update is enabled");
    } else {
        CDK_LOG(LOG_INFO, function, "Auto Update is disabled via configuration settings");
    }
    const std::string install = launcher::updaterInstallCommand(msiexec, databasePath, autoUpdate);
    const int installed = Executor::ExecProcessWithAtlMessageLoop(msiexec, install, 0);
    if (installed != 0) {
        CDK_LOG(LOG_INFO, function, "Auto Update install failed");
        return installed;
    }

    if (older) {
        try {
            au::Config config(1);
            if (found) {
                config.setSchedule(schedule);
            }
            config.setNotifyType(notifyType);
        } catch (const std::exception& exception) {
            reportException(exception);
        } catch (...) {
            reportUnknownException();
        }
    }

    const std::string commonFiles = commonProgramFiles();
    if (commonFiles.empty()) {
        return kNoCommonFiles;
    }
    const std::string registration =
        formatString("%s\\Corvid\\Corvid Update\\caureg.exe", commonFiles.c_str());
    const int registered = Executor::ExecProcessWithAtlMessageLoop(
        registration, launcher::updaterRegistrationCommand(registration, build::kFullVersion), 0);
    return registered != 0 ? kMsiexecOrRegistrationFailed : 0;
}
