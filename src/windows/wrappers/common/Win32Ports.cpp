// The run's ports over Win32.
#include "Win32Ports.h"

#include <shlobj.h>

#include <vector>

#include "AllUtils.h"
#include "AnsiText.h"
#include "Executor.h"
#include "InstallConfigData.h"
#include "Payload.h"
#include "PayloadTable.h"
#include "PlainRegKey.h"
#include "Probes.h"
#include "RegistryView.h"
#include "StringFormat.h"
#include "SysInfo.h"
#include "au/config.h"

namespace {

using registry_view::Access;

REGSAM mask(launcher::RegistryView view, Access access = Access::Read) {
    return registry_view::accessMask(access, view, use32BitRegistryView());
}

}  // namespace

long Win32Registry::openKey(launcher::RegistryView view, const std::string& path) {
    PlainRegKey key;
    return key.open(HKEY_LOCAL_MACHINE, path.c_str(), mask(view));
}

long Win32Registry::queryValue(launcher::RegistryView view, const std::string& path,
                               const std::string& name, launcher::RegistryValue& value) {
    RegKeyReader key(HKEY_LOCAL_MACHINE);
    if (const LONG opened = key.open(path.c_str(), mask(view)); opened != ERROR_SUCCESS) {
        return opened;
    }
    RegValue read;
    const LONG result = key.queryValue(name.c_str(), read);
    value.type = read.type;
    value.data = std::move(read.data);
    return result;
}

long Win32Registry::queryString(launcher::RegistryView view, const std::string& path,
                                const std::string& name, std::size_t capacity, std::string& text) {
    PlainRegKey key;
    if (const LONG opened = key.open(HKEY_LOCAL_MACHINE, path.c_str(), mask(view));
        opened != ERROR_SUCCESS) {
        return opened;
    }
    std::vector<char> buffer(capacity);
    DWORD length = static_cast<DWORD>(buffer.size());
    const LONG result = key.queryString(name.c_str(), buffer.data(), &length);
    if (result == ERROR_SUCCESS) {
        text.assign(buffer.data());
    }
    return result;
}

void Win32Registry::clearInstallStatus() {
    PlainRegKey software;
    if (software.open(HKEY_LOCAL_MACHINE, "Software", mask(launcher::RegistryView::Process)) !=
        ERROR_SUCCESS) {
        return;
    }
    PlainRegKey tarnwell;
    if (tarnwell.open(software.handle(), "Tarnwell",
                      mask(launcher::RegistryView::Process, Access::ReadWrite)) != ERROR_SUCCESS) {
        return;
    }
    tarnwell.deleteValue("InstallStatus");
    DWORD subKeys = 0;
    DWORD values = 0;
    if (RegQueryInfoKeyA(tarnwell.handle(), nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr,
                         &values, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS &&
        subKeys == 0 && values == 0) {
        tarnwell.close();
        software.deleteSubKey("Tarnwell");
    }
}

bool Win32Registry::productView64() { return !use32BitRegistryView(); }

int Win32Processes::run(const std::string& program, const std::string& arguments, bool* started) {
    return Executor::ExecProcessWithAtlMessageLoop(program, arguments, 0, started);
}

bool Win32Probes::windowsInstallerPresent() { return IsWindowsInstallerPresent(); }

bool Win32Probes::installInProgress() { return IsInstallInProgress(); }

bool Win32Probes::setInstallInProgressFlag() { return SetInstallInProgressFlag(); }

int Win32Probes::osLevel() { return ::osLevel(); }

bool Win32Probes::findMsiexecPath(std::string& path, std::size_t capacity) {
    return FindMsiexecPath(path, capacity);
}

bool Win32Probes::commandLineUnits(const std::string& commandLine, std::size_t& units) {
    const int counted = MultiByteToWideChar(CP_ACP, 0, commandLine.data(),
                                            static_cast<int>(commandLine.size()), nullptr, 0);
    if (counted <= 0) {
        return false;
    }
    units = static_cast<std::size_t>(counted);
    return true;
}

unsigned long Win32Probes::lastError() { return GetLastError(); }

bool Win32Probes::fileExists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void Win32Probes::deleteFile(const std::string& path) { DeleteFileA(path.c_str()); }

std::string Win32Probes::commonProgramFiles() {
    // Empty when the system has no such folder or the ANSI code page carries neither its path
    // nor its short form (a look-alike folder could hold another program of that name).
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

int Win32SettingsFile::prepareExport() { return PrepareRuntimeExport(module_); }

int Win32SettingsFile::storeExport() { return ExportRuntimeConfig(module_); }

void Win32SettingsFile::discardPreparedExport() { DiscardRuntimeExport(); }

int Win32SettingsFile::restore() { return RestoreRuntimeConfig(module_); }

au::ScheduleRecord Win32UpdaterSettings::readSchedule(bool oldLayout, bool& found) {
    au::Config config(oldLayout ? 0 : 1);
    return config.getSchedule(found);
}

int Win32UpdaterSettings::readNotifyType(bool oldLayout) {
    au::Config config(oldLayout ? 0 : 1);
    return config.getNotifyType();
}

void Win32UpdaterSettings::writeSchedule(const au::ScheduleRecord& schedule) {
    au::Config(1).setSchedule(schedule);
}

void Win32UpdaterSettings::writeNotifyType(int notifyType) {
    au::Config(1).setNotifyType(notifyType);
}

launcher::Status Win32PayloadWriter::findInstallerResource(int id) {
    if (FindResourceA(module_, MAKEINTRESOURCEA(id), payload::kInstallerType) != nullptr) {
        return launcher::Status::done();
    }
    return launcher::Status::failed(GetLastError());
}

int Win32PayloadWriter::writeInstallerResource(int id, const std::string& path) {
    return WriteResourceToFile(module_, id, payload::kInstallerType, path);
}

std::string Win32PayloadWriter::userDataFolder() { return UserDataFolder(); }

launcher::Status Win32PayloadWriter::holdFolderBelow(const std::string& data,
                                                     const std::string& folder) {
    return HoldUserFolders(data, folder.substr(data.size()), false);
}

void Win32PayloadWriter::fatalExit(const char* step, uint32_t code) {
    ShowFatalErrorAndExit(step, code);
}
