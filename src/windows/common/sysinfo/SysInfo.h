// What the launcher knows about the machine: the Windows generation (read once at start-up),
// whether it is a server edition, the per-user data folder, and loading of system libraries
// from the system directory only.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

#include "OsLevel.h"

class SysInfo {
  public:
    // The process-wide object; the first call reads the version.
    static const SysInfo& instance();

    // 0 to 5, see sysinfo::OsLevelValue.
    int osLevel() const { return osLevel_; }
    bool versionAtLeast(uint32_t major, uint32_t minor) const;
    // True unless the system reports a workstation (also when the version is unknown).
    bool isServer() const;
    // The version record as GetVersionExA filled it; all zero when that failed.
    const OSVERSIONINFOEXA& version() const { return version_; }

    SysInfo(const SysInfo&) = delete;
    SysInfo& operator=(const SysInfo&) = delete;

  private:
    SysInfo();

    OSVERSIONINFOEXA version_;
    int osLevel_ = sysinfo::OS_LEVEL_OLDER;
};

// Start-up hook: creates the system information object. The start-up sequence calls it first,
// before the install configuration object exists and before the log path is set.
void initializeSystemInformation();

int osLevel();
bool versionAtLeast(uint32_t major, uint32_t minor);
bool isServer();

// Fills buffer (capacity bytes, MAX_PATH expected) with the per-user application data folder:
// the roaming folder before Vista, the low-integrity LocalLow folder from Vista on. Returns
// false and leaves the buffer as it was when the folder is unavailable or does not fit. A folder
// whose path the ANSI code page cannot carry is given by its short form, or not at all.
bool getUserAppDataDir(char* buffer, size_t capacity);
// The same folder as a string; empty when unavailable.
std::string getUserAppDataDir();
// The same, with the reason for an empty result in `error`: ERROR_NO_UNICODE_TRANSLATION when
// the ANSI code page carries neither the folder's path nor its short form (the folder is then
// never used under a look-alike name), ERROR_FILENAME_EXCED_RANGE for a path of MAX_PATH bytes
// or more, ERROR_PATH_NOT_FOUND when the system has no such folder; ERROR_SUCCESS otherwise.
std::string getUserAppDataDir(DWORD& error);

// Loads the named library from the system directory, never by bare name, so that a copy beside
// the program or in the current directory is not picked up. Null (and an ERROR record) on
// failure.
HMODULE CRE_System_LoadLibrary(const char* fileName);
