#include "SysInfo.h"

#include <shlobj.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "AllUtils.h"
#include "AnsiText.h"
#include "ScopedHandle.h"
#include "StringFormat.h"
#include "SystemError.h"

namespace {

struct SysInfoImpl {
    // Reads the version record once; a failure leaves it zeroed, which is level 0.
    static void initialize(OSVERSIONINFOEXA& version, int& level) {
        std::memset(&version, 0, sizeof(version));
        version.dwOSVersionInfoSize = sizeof(version);
        if (!GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&version))) {
            const uint32_t error = lastSystemError();
            CDK_LOG(LOG_ERROR, "`anonymous-namespace'::SysInfoImpl::initialize",
                    formatString("%s failed with %s", "SysInfo::initialize(GetVersionEx)",
                                 describeSystemError(error).c_str()));
            std::memset(&version, 0, sizeof(version));
            version.dwOSVersionInfoSize = sizeof(version);
        }
        level = sysinfo::osLevelForVersion(version.dwMajorVersion, version.dwMinorVersion);
    }
};

// A folder the shell gave in the ANSI code page (see cdk_text::ansiFolderPath): ERROR_SUCCESS,
// ERROR_NO_UNICODE_TRANSLATION when neither the path nor its short form is carried exactly, or
// ERROR_FILENAME_EXCED_RANGE for MAX_PATH bytes or more.
DWORD narrowFolder(const wchar_t* folder, std::string& path) {
    std::string narrow;
    if (!cdk_text::ansiFolderPath(folder, narrow)) {
        CDK_LOG(LOG_ERROR, "userAppDataDir",
                formatString("The folder %s cannot be represented in the system's code page %u, "
                             "not even by its short name; it is not used.",
                             cdk_text::wideToAnsiForDisplay(folder).c_str(), GetACP()));
        return ERROR_NO_UNICODE_TRANSLATION;
    }
    if (narrow.size() >= MAX_PATH) {
        return ERROR_FILENAME_EXCED_RANGE;
    }
    path = std::move(narrow);
    return ERROR_SUCCESS;
}

// The low-integrity per-user folder (Vista and later), looked up at run time so that the
// program still starts on systems without SHGetKnownFolderPath.
DWORD knownFolderLocalAppDataLow(std::string& path) {
    static const GUID kLocalAppDataLow = {
        0xA520A1A4, 0x1780, 0x4FF6, {0xBD, 0x18, 0x16, 0x73, 0x43, 0xC5, 0xAF, 0x16}};
    using GetKnownFolderPathFunction = HRESULT(WINAPI*)(const GUID&, DWORD, HANDLE, PWSTR*);

    const ScopedLibrary shell32(CRE_System_LoadLibrary("shell32.dll"));
    if (!shell32) {
        return ERROR_PATH_NOT_FOUND;
    }
    const auto getKnownFolderPath = reinterpret_cast<GetKnownFolderPathFunction>(
        reinterpret_cast<void*>(GetProcAddress(shell32.get(), "SHGetKnownFolderPath")));
    if (getKnownFolderPath == nullptr) {
        return ERROR_PATH_NOT_FOUND;
    }
    // The folder text is the shell's, released with CoTaskMemFree even when the call fails.
    ScopedCoTaskMemory folder;
    const HRESULT result = getKnownFolderPath(kLocalAppDataLow, 0, nullptr,
                                              reinterpret_cast<PWSTR*>(folder.receive()));
    if (result != S_OK || !folder) {
        return ERROR_PATH_NOT_FOUND;
    }
    return narrowFolder(static_cast<const wchar_t*>(folder.get()), path);
}

DWORD roamingAppData(std::string& path) {
    wchar_t folder[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder))) {
        return ERROR_PATH_NOT_FOUND;
    }
    folder[MAX_PATH - 1] = L'\0';
    return narrowFolder(folder, path);
}

DWORD userAppDataDir(std::string& path) {
    if (osLevel() < sysinfo::OS_LEVEL_VISTA) {
        return roamingAppData(path);
    }
    return knownFolderLocalAppDataLow(path);
}

}  // namespace

SysInfo::SysInfo() { SysInfoImpl::initialize(version_, osLevel_); }

const SysInfo& SysInfo::instance() {
    static const SysInfo info;
    return info;
}

bool SysInfo::versionAtLeast(uint32_t major, uint32_t minor) const {
    return sysinfo::versionAtLeast(version_.dwMajorVersion, version_.dwMinorVersion, major, minor);
}

bool SysInfo::isServer() const { return sysinfo::isServerProductType(version_.wProductType); }

void initializeSystemInformation() { SysInfo::instance(); }

int osLevel() { return SysInfo::instance().osLevel(); }

bool versionAtLeast(uint32_t major, uint32_t minor) {
    return SysInfo::instance().versionAtLeast(major, minor);
}

bool isServer() { return SysInfo::instance().isServer(); }

bool getUserAppDataDir(char* buffer, size_t capacity) {
    std::string path;
    if (buffer == nullptr || userAppDataDir(path) != ERROR_SUCCESS || path.size() >= capacity) {
        return false;
    }
    std::memcpy(buffer, path.c_str(), path.size() + 1);
    return true;
}

std::string getUserAppDataDir() {
    DWORD error = ERROR_SUCCESS;
    return getUserAppDataDir(error);
}

std::string getUserAppDataDir(DWORD& error) {
    std::string path;
    error = userAppDataDir(path);
    if (error != ERROR_SUCCESS) {
        path.clear();
    }
    return path;
}

HMODULE CRE_System_LoadLibrary(const char* fileName) {
    char systemDirectory[MAX_PATH];
    const UINT length = GetSystemDirectoryA(systemDirectory, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        const uint32_t error = lastSystemError();
        CDK_LOG(LOG_ERROR, "CRE_System_LoadLibrary",
                formatString("GetSystemDirectory failed.  Return Code: %d, ErrorCode: %d",
                             static_cast<int>(length), static_cast<int>(error)));
        return nullptr;
    }
    char fullPath[MAX_PATH];
    const int written = std::snprintf(fullPath, sizeof(fullPath), "%s\\%s", systemDirectory,
                                      fileName != nullptr ? fileName : "");
    if (written < 0 || static_cast<size_t>(written) >= sizeof(fullPath)) {
        // A cut path would name a different file; refuse it.
        const uint32_t error = lastSystemError();
        CDK_LOG(LOG_ERROR, "CRE_System_LoadLibrary",
                formatString("_snprintf failed.  ErrorCode: %d", static_cast<int>(error)));
        return nullptr;
    }
    const HMODULE module = LoadLibraryA(fullPath);
    if (module == nullptr) {
        const uint32_t error = lastSystemError();
        CDK_LOG(LOG_ERROR, "CRE_System_LoadLibrary",
                formatString("LoadLibrary(%s) failed.  ErrorCode: %d", fullPath,
                             static_cast<int>(error)));
    }
    return module;
}
