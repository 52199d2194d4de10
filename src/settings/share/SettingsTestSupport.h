// Host builds only: where the drive letters of settings paths lie, and what the shared
// application-data folder and the current directory are. Windows builds use the real system.
#pragma once

#include <string>

#include "SettingsFiles.h"

namespace settings_impl::host {

// Maps a drive letter ('C' or 'c') to a host folder: "C:/a/b" then names <folder>/a/b. An empty
// folder removes the mapping.
void mapDrive(char letter, const std::string& hostFolder);
void clearDriveMappings();

// The shared application-data folder reported to contexts ("C:\ProgramData" unless set);
// `available` false makes the lookup fail.
void setCommonAppDataFolder(const std::u16string& folder, bool available = true);

// The current directory reported to path canonicalisation, for example "C:\work". Empty: the
// process's working directory, expressed through the drive mappings (fails when it lies under
// none of them).
void setCurrentDirectory(const std::string& directory);

// The owner and access list reported for the file at `hostFile` while it exists. A file without
// one set is reported as an elevated administrator's file is on Windows: owned by the
// Administrators group, which with SYSTEM may do anything, while Users may read.
void setFileSecurity(const std::string& hostFile, const settings::FileSecurity& security);
void clearFileSecurity();

// The host path of a canonical path, or empty when its drive is not mapped.
std::string hostPath(const std::string& canonicalPath);

}  // namespace settings_impl::host
