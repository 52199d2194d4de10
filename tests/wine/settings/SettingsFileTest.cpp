// Settings files with real Windows paths: text mode on disk, folder creation, the size limit,
// the system settings file location and relative paths.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "ScopedHandle.h"
#include "SettingsTable.h"
#include "TestFiles.h"

namespace {

inline constexpr auto api = &settings::functionTable;

using cdk_test::readFile;

void writeBytes(const std::string& path, const std::string& text) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr) << path;
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
}

class SettingsFiles : public ::testing::Test {
  protected:
    void SetUp() override {
        char temp[MAX_PATH];
        ASSERT_GT(GetTempPathA(MAX_PATH, temp), 0u);
        dir_ = std::string(temp) + "cdk-settings-" + std::to_string(GetCurrentProcessId()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name();
        ASSERT_TRUE(CreateDirectoryA(dir_.c_str(), nullptr));
        context_ = api().context_create();
        ASSERT_NE(context_, nullptr);
    }
    void TearDown() override {
        api().context_destroy(context_);
        std::string command = "cmd /c rmdir /s /q \"" + dir_ + "\"";
        std::system(command.c_str());
    }
    std::string value(const char* key) {
        const char* text = nullptr;
        return api().context_get_utf8_value(context_, key, &text) == 0 ? text : "<missing>";
    }

    std::string dir_;
    SettingsContext* context_ = nullptr;
};

TEST_F(SettingsFiles, ExportWritesCrLfAndCreatesFolders) {
    ASSERT_EQ(api().context_import_from_string(context_, "b=2\na=1\nbare", nullptr, nullptr, 1, 1),
              0);
    const std::string path = dir_ + "\\new\\deeper\\s.cfg";
    ASSERT_EQ(api().context_export_to_file(context_, path.c_str()), 0);
    EXPECT_EQ(readFile(path), "a=1\r\nb=2\r\nbare\r\n");

    SettingsContext* back = api().context_create();
    ASSERT_EQ(api().context_import_from_file(back, path.c_str(), nullptr, nullptr, 1, 1), 0);
    int equal = 0;
    EXPECT_EQ(api().context_is_equal(context_, back, &equal), 0);
    EXPECT_EQ(equal, 1);
    api().context_destroy(back);
}

TEST_F(SettingsFiles, ReaderAcceptsLfAndCrLf) {
    const std::string path = dir_ + "/mixed.cfg";
    writeBytes(path, "a=1\nb=2\r\nc=3\r");
    ASSERT_EQ(api().context_import_from_file(context_, path.c_str(), nullptr, nullptr, 1, 0), 0);
    EXPECT_EQ(value("a"), "1");
    EXPECT_EQ(value("b"), "2");
    EXPECT_EQ(value("c"), "3");
}

TEST_F(SettingsFiles, ReplacingAnExistingFileKeepsItsAttributesAndLeavesNoTemporaryFile) {
    const std::string path = dir_ + "\\keep.cfg";
    writeBytes(path, "old=1\r\n");
    ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_ARCHIVE));
    ASSERT_EQ(api().context_import_from_string(context_, "new=2", nullptr, nullptr, 1, 0), 0);
    ASSERT_EQ(api().context_export_to_file(context_, path.c_str()), 0);
    EXPECT_EQ(readFile(path), "new=2\r\n");
    EXPECT_TRUE(GetFileAttributesA(path.c_str()) & FILE_ATTRIBUTE_ARCHIVE);
    WIN32_FIND_DATAA found;
    const ScopedFindHandle search(FindFirstFileA((dir_ + "\\*.tmp").c_str(), &found));
    EXPECT_FALSE(search.valid());
}

TEST_F(SettingsFiles, ATargetJustBelowThePathLimitIsWritten) {
    // The target stays below 260 bytes; the file written beside it first has a longer name.
    std::string path = dir_ + "\\";
    path.append(259 - path.size() - 4, 'n');
    path += ".cfg";
    ASSERT_EQ(path.size(), 259u);
    ASSERT_EQ(api().context_import_from_string(context_, "long=1", nullptr, nullptr, 1, 0), 0);
    ASSERT_EQ(api().context_export_to_file(context_, path.c_str()), 0);
    ASSERT_EQ(api().context_export_to_file(context_, path.c_str()), 0);  // now replacing it
    EXPECT_EQ(readFile(path), "long=1\r\n");
}

TEST_F(SettingsFiles, AReadOnlyTargetIsRefusedAndKeptAsItWas) {
    const std::string path = dir_ + "\\ro.cfg";
    writeBytes(path, "old=1\r\n");
    ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY));
    ASSERT_EQ(api().context_import_from_string(context_, "new=2", nullptr, nullptr, 1, 0), 0);
    EXPECT_EQ(api().context_export_to_file(context_, path.c_str()), SETTINGS_E_FILE_OPEN);
    EXPECT_EQ(readFile(path), "old=1\r\n");
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(SettingsFiles, FilesOfOneMebibyteOrMoreAreRefused) {
    const std::string path = dir_ + "\\big.cfg";
    std::string text = "k=v\n";
    text.resize(0x100000 - 1, '#');
    writeBytes(path, text);
    EXPECT_EQ(api().context_import_from_file(context_, path.c_str(), nullptr, nullptr, 1, 0), 0);
    EXPECT_EQ(value("k"), "v");
    writeBytes(path, text + "#");
    EXPECT_EQ(api().context_import_from_file(context_, path.c_str(), nullptr, nullptr, 1, 0),
              SETTINGS_E_FILE_TOO_LARGE);
}

TEST_F(SettingsFiles, SystemConfigFileIsBelowTheSharedDataFolder) {
    const char* path = nullptr;
    ASSERT_EQ(api().context_get_system_config_file_path(context_, &path), 0);
    EXPECT_STREQ(path, "C:\\ProgramData\\Quillon\\Corvid\\corvid.settings.cfg");
}

TEST_F(SettingsFiles, RelativePathsFollowTheCurrentDirectory) {
    char saved[MAX_PATH];
    ASSERT_GT(GetCurrentDirectoryA(MAX_PATH, saved), 0u);
    ASSERT_TRUE(CreateDirectoryA((dir_ + "\\cwd").c_str(), nullptr));
    ASSERT_TRUE(SetCurrentDirectoryA((dir_ + "\\cwd").c_str()));
    ASSERT_EQ(api().context_import_from_string(context_, "r=1", nullptr, nullptr, 1, 0), 0);
    const int exported = api().context_export_to_file(context_, "sub\\..\\..\\rel.cfg");
    const int imported =
        api().context_import_from_file(context_, "..\\rel.cfg", nullptr, nullptr, 1, 0);
    SetCurrentDirectoryA(saved);
    EXPECT_EQ(exported, 0);
    EXPECT_EQ(imported, 0);
    EXPECT_EQ(readFile(dir_ + "\\rel.cfg"), "r=1\r\n");
}

TEST_F(SettingsFiles, NonAsciiPathsUseTheWideFileFunctions) {
    // "Ä" in UTF-8: the folder is created and found through its UTF-16 name.
    const std::string path = dir_ + "\\\xC3\x84rger\\s.cfg";
    ASSERT_EQ(api().context_import_from_string(context_, "u=1", nullptr, nullptr, 1, 0), 0);
    ASSERT_EQ(api().context_export_to_file(context_, path.c_str()), 0);
    std::wstring wide(dir_.begin(), dir_.end());
    wide += L"\\\u00C4rger\\s.cfg";
    EXPECT_NE(GetFileAttributesW(wide.c_str()), INVALID_FILE_ATTRIBUTES);
    SettingsContext* back = api().context_create();
    EXPECT_EQ(api().context_import_from_file(back, path.c_str(), nullptr, nullptr, 1, 0), 0);
    api().context_destroy(back);
}

}  // namespace
