// The environment probes: install language, Windows Installer engine, msiexec's location, the
// in-progress flag file.
#include <windows.h>

#include <vector>

#include "AllUtils.h"
#include "BuildConstants.h"
#include "CheckedFile.h"
#include "LauncherLogic.h"
#include "PathNames.h"
#include "Payload.h"
#include "PlainRegKey.h"
#include "Probes.h"
#include "RegistryView.h"
#include "RegistryViewRule.h"
#include "ScopedHandle.h"
#include "StringFormat.h"
#include "SysInfo.h"
#include "SystemError.h"

namespace {

constexpr const char* kInstallerKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer";
constexpr const char* kMsiexecName = "\\msiexec.exe";

// The flag file's handle; it is never closed, so the flag lasts until the process ends.
ScopedKernelHandle& flagHandle() {
    static ScopedKernelHandle* handle = new ScopedKernelHandle();
    return *handle;
}

std::string systemDirectory() {
    std::vector<char> buffer(MAX_PATH);
    for (;;) {
        const UINT length = GetSystemDirectoryA(buffer.data(), static_cast<UINT>(buffer.size()));
        if (length == 0) {
            return std::string();
        }
        if (length < buffer.size()) {
            return std::string(buffer.data(), length);
        }
        buffer.resize(length + 1);
    }
}

// What lies where the flag file goes.
enum class FlagPlace {
    // Nothing (any more): the flag can be taken.
    Free,
    // The flag file of another launcher, which holds it open without sharing.
    Held,
    // Something that is no flag of a running launcher and cannot be removed safely; it is left
    // as it is.
    Blocked,
};

void logBlocked(const std::string& path, const std::string& why) {
    CDK_LOG(LOG_ERROR, "IsInstallInProgress",
            formatString("The install flag %s %s; it is not a concurrent install. It is left as "
                         "it is: remove it to install.",
                         path.c_str(), why.c_str()));
}

// Tells a held flag from stale state and removes what a stale run or a user left there: a flag
// file (read-only too) or an empty folder of that name. Everything is done through a handle
// whose final path was checked, never by name, so that nothing is changed through a link.
FlagPlace clearStaleFlag(const std::string& path) {
    std::wstring folderPath;
    std::wstring name;
    if (!checked_file::splitPath(checked_file::widenAnsi(path), folderPath, name)) {
        logBlocked(path, "is not a path of the ANSI code page");
        return FlagPlace::Blocked;
    }
    // Every sharing is granted, so only a holder that allows none (a running launcher) makes
    // the open fail with a sharing violation. The folder was held by GetInstallFlagPath.
    checked_file::Opened flag =
        checked_file::openInHeldFolder(folderPath, name, checked_file::kDeleteAccess,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
    switch (flag.error) {
        case ERROR_SUCCESS:
            break;
        case ERROR_FILE_NOT_FOUND:
            return FlagPlace::Free;
        case ERROR_SHARING_VIOLATION:
            return FlagPlace::Held;
        case checked_file::kStoppedOnLink: {
            logBlocked(path, "is a link to " + checked_file::narrowForLog(
                                                   checked_file::displayPath(flag.finalPath)));
            return FlagPlace::Blocked;
        }
        default:
            logBlocked(path, "cannot be opened: " + describeSystemError(flag.error));
            return FlagPlace::Blocked;
    }
    const DWORD deleted = checked_file::deleteThroughHandle(flag.handle.get());
    flag.handle.reset();
    if (deleted != ERROR_SUCCESS) {
        logBlocked(path, "cannot be removed: " + describeSystemError(deleted));
        return FlagPlace::Blocked;
    }
    logit(formatString("Removed the stale install flag %s.", path.c_str()));
    return FlagPlace::Free;
}

// The flag's exclusive create found its name taken although the stale-flag check opened
// nothing there: unless another launcher set its flag in between, the name is a link that leads
// nowhere, which nothing is created through. Its record says so, as for the other stale state.
void explainFlagCreateFailure(const std::string& path, DWORD createError) {
    std::wstring folderPath;
    std::wstring name;
    if ((createError != ERROR_FILE_EXISTS && createError != ERROR_ALREADY_EXISTS) ||
        !checked_file::splitPath(checked_file::widenAnsi(path), folderPath, name)) {
        return;
    }
    // Attribute access takes no part in the sharing checks: a flag another launcher holds opens.
    const checked_file::Opened entry =
        checked_file::openInHeldFolder(folderPath, name, FILE_READ_ATTRIBUTES,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
    if (entry.error == ERROR_FILE_NOT_FOUND || entry.error == ERROR_PATH_NOT_FOUND) {
        logBlocked(path, "is a link that leads nowhere");
    }
}

}  // namespace

bool IsX64Flavour() { return launcher::isX64Architecture(build::kArchitectureName); }

bool UsesRegistryView64() { return !use32BitRegistryView(); }

uint16_t DetectInstallLanguage() {
    return launcher::installLanguageFromUiLanguage(GetUserDefaultUILanguage());
}

bool IsSupportedInstallLanguage(uint16_t language) {
    return launcher::isSupportedInstallLanguage(language);
}

bool IsWindowsInstallerPresent(DWORD* versionOut) {
    const std::string path = systemDirectory() + "\\msi.dll";
    std::vector<char> info(2048);
    if (!GetFileVersionInfoA(path.c_str(), 0, static_cast<DWORD>(info.size()), info.data())) {
        logit("The version of " + path + " cannot be read: " + describeSystemError(GetLastError()));
        return false;
    }
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT fixedLength = 0;
    if (!VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &fixedLength) ||
        fixed == nullptr || fixedLength < sizeof(VS_FIXEDFILEINFO)) {
        logit("The version of " + path + " cannot be read: its version information holds none.");
        return false;
    }
    if (!launcher::isWindowsInstallerVersionSufficient(fixed->dwFileVersionMS,
                                                       fixed->dwFileVersionLS)) {
        logit(formatString("%s is version %u.%u; Windows Installer 2.0 or later is needed.",
                           path.c_str(), HIWORD(fixed->dwFileVersionMS),
                           LOWORD(fixed->dwFileVersionMS)));
        return false;
    }
    if (versionOut != nullptr) {
        *versionOut = fixed->dwFileVersionMS;
    }
    return true;
}

bool FindMsiexecPath(std::string& path, std::size_t capacity) {
    std::string found;
    if (osLevel() == sysinfo::OS_LEVEL_XP && isServer()) {
        found = systemDirectory();
        if (found.empty()) {
            return false;
        }
    } else {
        PlainRegKey key;
        if (const LONG opened =
                key.open(HKEY_LOCAL_MACHINE, kInstallerKey, registry_view::kKeyRead);
            opened != ERROR_SUCCESS) {
            logit(std::string("The key HKLM\\") + kInstallerKey +
                  " cannot be opened: " + describeSystemError(static_cast<uint32_t>(opened)));
            return false;
        }
        std::vector<char> buffer(capacity);
        DWORD length = static_cast<DWORD>(buffer.size());
        const LONG result = key.queryString("InstallerLocation", buffer.data(), &length);
        key.close();
        if (result != ERROR_SUCCESS) {
            logit(std::string("The value InstallerLocation of HKLM\\") + kInstallerKey +
                  " cannot be read: " + describeSystemError(static_cast<uint32_t>(result)));
            return false;
        }
        found.assign(buffer.data());
    }
    found += kMsiexecName;
    // A path that does not fit the caller's buffer is refused rather than cut.
    if (found.size() >= capacity) {
        return false;
    }
    path = found;
    return true;
}

bool GetInstallFlagPath(std::string& path, std::size_t capacity) {
    if (capacity < launcher::kMaxPathLength) {
        logit(
            "Input flag name buffer size should be MAX_PATH to ensure that it is large enough to "
            "hold the returned string.");
        return false;
    }
    const std::string data = UserDataFolder();
    std::string built = data;
    DWORD lastCreationError = 0;
    bool failed = built.empty();
    for (const char* part : {"Halvard", "Corvid"}) {
        if (failed) {
            break;
        }
        built = joinPath(built, part) + "\\";
        failed = built.size() >= launcher::kMaxPathLength;
    }
    if (!failed) {
        // Checked to be no links and held until the process ends: the flag is created, and a
        // stale one removed, only in the folder that its path names.
        const launcher::Status held = HoldUserFolders(data, "Halvard\\Corvid", false);
        lastCreationError = held.error();
        failed = !held.ok();
    }
    if (!failed) {
        built += "CORVID_INSTALL_FLAG";
        failed = built.size() >= launcher::kMaxPathLength;
    }
    if (failed) {
        logit(formatString("Fail to create directory %s, ErrorCode is %lu", built.c_str(),
                           static_cast<unsigned long>(lastCreationError)));
        return false;
    }
    path = built;
    return true;
}

bool IsInstallInProgress() {
    std::string path;
    if (!GetInstallFlagPath(path, launcher::kMaxPathLength)) {
        logit("Fail to get the file path for Corvid install flag ");
        return false;
    }
    // Stale state that stays (FlagPlace::Blocked) is logged here and makes the flag's exclusive
    // create in SetInstallInProgressFlag fail: the run ends without the "in progress" message.
    return clearStaleFlag(path) == FlagPlace::Held;
}

bool SetInstallInProgressFlag() {
    std::string path;
    if (!GetInstallFlagPath(path, launcher::kMaxPathLength)) {
        logit("Fail to get the file path for Corvid install flag ");
        return false;
    }
    ScopedKernelHandle file(
        CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    if (!file.valid()) {
        const DWORD error = GetLastError();
        logit(formatString("Fail to set installation flag %s, ErrorCode is %lu", path.c_str(),
                           static_cast<unsigned long>(error)));
        explainFlagCreateFailure(path, error);
        return false;
    }
    flagHandle() = std::move(file);
    return true;
}
