// Run once per Windows version of a separate Wine prefix; the expected answers come from the
// environment (CDK_EXPECTED_OS_LEVEL, CDK_EXPECTED_SERVER).
#include <windows.h>

#include <shlobj.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "SysInfo.h"

namespace {

TEST(WindowsVersion, LevelServerAndDataFolderMatchThePrefix) {
    const char* level = std::getenv("CDK_EXPECTED_OS_LEVEL");
    const char* server = std::getenv("CDK_EXPECTED_SERVER");
    if (level == nullptr || server == nullptr) {
        GTEST_SKIP() << "run by the Windows version tests only";
    }
    const OSVERSIONINFOEXA& version = SysInfo::instance().version();
    SCOPED_TRACE("reported " + std::to_string(version.dwMajorVersion) + "." +
                 std::to_string(version.dwMinorVersion) + " type " +
                 std::to_string(version.wProductType));
    EXPECT_EQ(osLevel(), std::atoi(level));
    EXPECT_EQ(isServer(), std::atoi(server) != 0);

    const std::string folder = getUserAppDataDir();
    if (osLevel() < 2) {
        char roaming[MAX_PATH] = {};
        ASSERT_EQ(SHGetFolderPathA(nullptr, CSIDL_APPDATA, nullptr, 0, roaming), S_OK);
        EXPECT_EQ(folder, roaming);
    } else {
        EXPECT_TRUE(folder.ends_with("\\LocalLow")) << folder;
    }
}

}  // namespace
