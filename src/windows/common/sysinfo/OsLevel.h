// The operating-system generation as one small number, and the version comparisons behind it.
// Plain functions of the version numbers so that the table can be checked without Windows.
#pragma once

#include <cstdint>

namespace sysinfo {

// Windows generations as the launcher counts them.
enum OsLevelValue : int {
    OS_LEVEL_OLDER = 0,  // Windows 2000 and older, or the version is unknown
    OS_LEVEL_XP = 1,     // XP, Server 2003
    OS_LEVEL_VISTA = 2,  // Vista, Server 2008
    OS_LEVEL_WIN7 = 3,   // 7, Server 2008 R2
    OS_LEVEL_WIN8 = 4,   // 8, Server 2012
    OS_LEVEL_WIN81 = 5,  // 8.1, Server 2012 R2 and later
};

// True when the version major.minor is at least wantMajor.wantMinor.
bool versionAtLeast(uint32_t major, uint32_t minor, uint32_t wantMajor, uint32_t wantMinor);

// The level of a version; an unknown version (0.0) is level 0.
int osLevelForVersion(uint32_t major, uint32_t minor);

// Everything that is not a workstation counts as a server, the unknown product type 0 included.
bool isServerProductType(uint32_t productType);

}  // namespace sysinfo
