// A configuration load under Windows that stops on a missing install configuration file: the
// message comes from the module's string table through LoadStringA.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "InstallConfigData.h"
#include "InstallConfigDataPeer.h"
#include "MessageUi.h"
#include "ScopedHandle.h"

namespace {

TEST(ConfigLoadFailureTest, MissingInstallFileShowsMessage3075WithThePath) {
    if (GetACP() != 1252) GTEST_SKIP() << "the English texts are checked in the default locale";
    std::vector<MessageBoxRecord> boxes;
    setMessageBoxObserver([&](const MessageBoxRecord& box) { boxes.push_back(box); });
    const std::string path =
        "C:\\cdk-installconfig-missing-" + std::to_string(GetCurrentProcessId()) + "\\setup.cfg";
    const std::string argument = "INSTALLCFG=" + path;
    const char* argv[] = {"setup.exe", argument.c_str()};

    InstallConfigData config;
    EXPECT_EQ(steps(config)._LoadConfigSettings(GetModuleHandleA(nullptr), argv, 2),
              SETTINGS_E_FILE_OPEN);
    setMessageBoxObserver(nullptr);

    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "Corvid Installation Not Completed");
    EXPECT_EQ(boxes[0].text, "Unable to install Corvid\n\nUnable to open file " + path +
                                 ".\nCheck that the configuration file exists and that the path "
                                 "to the file is correct.");
    EXPECT_EQ(boxes[0].icon, static_cast<unsigned>(MB_ICONERROR));
    EXPECT_FALSE(boxes[0].suppressed);
}

TEST(ConfigLoadFailureTest, SettingsFilesAreDeletedByTheirUtf8Path) {
    wchar_t temp[MAX_PATH];
    ASSERT_GT(GetTempPathW(MAX_PATH, temp), 0u);
    const std::wstring file = std::wstring(temp) + L"cdk-\u00e9t\u00e9-" +
                              std::to_wstring(GetCurrentProcessId()) + L".cfg";
    ASSERT_TRUE(ScopedKernelHandle(
        CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr)));

    const int length =
        WideCharToMultiByte(CP_UTF8, 0, file.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<size_t>(length - 1), '\0');
    WideCharToMultiByte(CP_UTF8, 0, file.c_str(), -1, utf8.data(), length, nullptr, nullptr);
    EXPECT_TRUE(removeSettingsFile(utf8));
    EXPECT_EQ(GetFileAttributesW(file.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_FALSE(removeSettingsFile(utf8));
}

}  // namespace
