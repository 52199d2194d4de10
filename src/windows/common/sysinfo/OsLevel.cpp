#include "OsLevel.h"

namespace sysinfo {

namespace {
constexpr uint32_t kWorkstationProductType = 1;  // VER_NT_WORKSTATION
}

bool versionAtLeast(uint32_t major, uint32_t minor, uint32_t wantMajor, uint32_t wantMinor) {
    return major > wantMajor || (major == wantMajor && minor >= wantMinor);
}

int osLevelForVersion(uint32_t major, uint32_t minor) {
    struct Step {
        uint32_t major;
        uint32_t minor;
        int level;
    };
    // First match wins, newest generation first.
    static constexpr Step kTable[] = {
        {6, 3, OS_LEVEL_WIN81}, {6, 2, OS_LEVEL_WIN8}, {6, 1, OS_LEVEL_WIN7},
        {6, 0, OS_LEVEL_VISTA}, {5, 1, OS_LEVEL_XP},
    };
    for (const Step& step : kTable) {
        if (versionAtLeast(major, minor, step.major, step.minor)) {
            return step.level;
        }
    }
    return OS_LEVEL_OLDER;
}

bool isServerProductType(uint32_t productType) { return productType != kWorkstationProductType; }

}  // namespace sysinfo
