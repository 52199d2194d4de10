#include <windows.h>

#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <sstream>
#include <string>

#include "AnsiText.h"
#include "LogCapture.h"
#include "ScopedHandle.h"
#include "SysInfo.h"
#include "Text.h"

namespace {

// The name of a real system library that this program does not import; a copy of the planted
// library of the same name lies beside the program.
constexpr const char* kPlantedName = "dciman32.dll";

std::string systemDirectory() {
    char buffer[MAX_PATH];
    const UINT length = GetSystemDirectoryA(buffer, MAX_PATH);
    return std::string(buffer, length);
}

std::string modulePath(HMODULE module) {
    char buffer[MAX_PATH * 2];
    const DWORD length = GetModuleFileNameA(module, buffer, sizeof(buffer));
    return std::string(buffer, length);
}

TEST(SysInfo, VersionIsReadOnceAndGivesTheLevel) {
    const SysInfo& info = SysInfo::instance();
    EXPECT_EQ(&info, &SysInfo::instance());
    EXPECT_EQ(info.version().dwOSVersionInfoSize, sizeof(OSVERSIONINFOEXA));
    EXPECT_GE(info.version().dwMajorVersion, 5u);
    EXPECT_EQ(osLevel(), sysinfo::osLevelForVersion(info.version().dwMajorVersion,
                                                    info.version().dwMinorVersion));
    EXPECT_TRUE(versionAtLeast(info.version().dwMajorVersion, info.version().dwMinorVersion));
    EXPECT_FALSE(versionAtLeast(info.version().dwMajorVersion + 1, 0));
}

TEST(SysInfo, UserAppDataDirIsLocalLowFromVistaOn) {
    if (osLevel() < sysinfo::OS_LEVEL_VISTA) {
        GTEST_SKIP() << "the prefix reports a version before Vista";
    }
    const std::string folder = getUserAppDataDir();
    ASSERT_FALSE(folder.empty());
    EXPECT_TRUE(cdk_text::asciiLower(folder).ends_with("\\appdata\\locallow")) << folder;
    const DWORD attributes = GetFileAttributesA(folder.c_str());
    ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES) << folder;
    EXPECT_TRUE(attributes & FILE_ATTRIBUTE_DIRECTORY);

    char buffer[MAX_PATH] = {};
    EXPECT_TRUE(getUserAppDataDir(buffer, sizeof(buffer)));
    EXPECT_EQ(folder, buffer);
}

TEST(SysInfo, UserAppDataDirNeverOverrunsASmallBuffer) {
    char buffer[12] = "untouched";
    EXPECT_FALSE(getUserAppDataDir(buffer, 8));
    EXPECT_STREQ(buffer, "untouched");
    const std::string folder = getUserAppDataDir();
    ASSERT_FALSE(folder.empty());
    std::string exact(folder.size() + 1, 'x');
    EXPECT_TRUE(getUserAppDataDir(exact.data(), exact.size()));
    EXPECT_EQ(exact.c_str(), folder);
    std::string tooShort(folder.size(), 'x');
    EXPECT_FALSE(getUserAppDataDir(tooShort.data(), tooShort.size()));
    EXPECT_EQ(tooShort, std::string(folder.size(), 'x'));
}

// A folder the system gives is taken by its exact name or by a short name the code page carries,
// never by a look-alike; one that has neither (it does not exist, so it has no short form) is
// not taken at all. Rows for code page 1252.
TEST(SysInfo, FoldersOutsideTheCodePageAreNeverLookAlikes) {
    if (GetACP() != 1252) {
        GTEST_SKIP() << "the rows are for code page 1252, this one is " << GetACP();
    }
    wchar_t temp[MAX_PATH];
    ASSERT_GT(GetTempPathW(MAX_PATH, temp), 0u);
    const std::wstring existing = std::wstring(temp) + L"\x0141ukasz-short";
    CreateDirectoryW(existing.c_str(), nullptr);
    const struct {
        std::wstring folder;
        bool taken;
        const char* exact;  // the expected text, or null for "a short form"
    } rows[] = {
        {L"C:\\Caf\x00e9", true, "C:\\Caf\xe9"},
        {L"C:\\no-such-\x0141ukasz", false, nullptr},
        {existing, true, nullptr},
    };
    for (const auto& row : rows) {
        std::string out;
        EXPECT_EQ(cdk_text::ansiFolderPath(row.folder, out), row.taken);
        if (!row.taken) {
            EXPECT_TRUE(out.empty()) << out;
        } else if (row.exact != nullptr) {
            EXPECT_EQ(out, row.exact);
        } else {
            // The short form names the same folder and nothing else: no look-alike "Lukasz".
            EXPECT_EQ(out.find("Lukasz"), std::string::npos) << out;
            EXPECT_NE(GetFileAttributesA(out.c_str()), INVALID_FILE_ATTRIBUTES) << out;
        }
    }
    std::string converted;
    EXPECT_FALSE(
        cdk_text::wideToAnsiExact(L"a\xd800"
                                  L"b",
                                  converted));
    EXPECT_EQ(cdk_text::wideToAnsiForDisplay(L"C:\\l\x014dgs"), "C:\\l?gs");
    RemoveDirectoryW(existing.c_str());
}

TEST(SystemLibrary, LoadsFromTheSystemDirectoryNotBesideTheProgram) {
    // The planted copy really is beside the program.
    const std::string programDir = modulePath(nullptr).substr(0, modulePath(nullptr).rfind('\\'));
    ASSERT_NE(GetFileAttributesA((programDir + "\\" + kPlantedName).c_str()),
              INVALID_FILE_ATTRIBUTES);

    const ScopedLibrary module(CRE_System_LoadLibrary(kPlantedName));
    ASSERT_TRUE(module);
    EXPECT_EQ(GetProcAddress(module.get(), "CdkPlantedMarker"), nullptr);
    EXPECT_EQ(cdk_text::asciiLower(modulePath(module.get())),
              cdk_text::asciiLower(systemDirectory() + "\\" + kPlantedName));
}

TEST(SystemLibrary, PlantedCopyIsFirstInTheSearchOrder) {
    // Shows the planted copy is a real trap: a search by bare name finds it first.
    char found[MAX_PATH] = {};
    ASSERT_NE(SearchPathA(nullptr, kPlantedName, nullptr, MAX_PATH, found, nullptr), 0u);
    const std::string program = modulePath(nullptr);
    EXPECT_EQ(cdk_text::asciiLower(found),
              cdk_text::asciiLower(program.substr(0, program.rfind('\\') + 1) + kPlantedName));
}

TEST(SystemLibrary, FailuresAreLogged) {
    cdk_test::LogCapture log;
    EXPECT_EQ(CRE_System_LoadLibrary("cdk-no-such-library.dll"), nullptr);
    const std::string text = log.text();
    EXPECT_NE(text.find("CRE_System_LoadLibrary)]\r\n\tERROR: LoadLibrary(" + systemDirectory() +
                        "\\cdk-no-such-library.dll) failed.  ErrorCode: 126\r\n"),
              std::string::npos)
        << text;

    // A name that makes the full path 260 characters or longer is refused, not cut.
    const std::string longName(MAX_PATH - systemDirectory().size() - 1, 'a');
    EXPECT_EQ(CRE_System_LoadLibrary(longName.c_str()), nullptr);
    EXPECT_NE(log.text().find("ERROR: _snprintf failed.  ErrorCode: "), std::string::npos);
}

}  // namespace
