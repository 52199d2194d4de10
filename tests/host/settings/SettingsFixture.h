// Shared set-up of the settings tests: drive C: mapped to a fresh temporary folder, the current
// directory C:\work, and the entry table.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "SettingsTestSupport.h"
#include "SettingsTable.h"
#include "TestFiles.h"

namespace settings_test {

inline constexpr auto api = &settings::functionTable;

using cdk_test::readFile;

inline void writeFile(const std::filesystem::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
}

class DriveFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/settings-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root_ = pattern;
        std::filesystem::create_directory(root_ / "work");
        settings_impl::host::mapDrive('C', root_.string());
        settings_impl::host::setCurrentDirectory("C:\\work");
        settings_impl::host::setCommonAppDataFolder(u"C:\\ProgramData");
        context_ = api().context_create();
        ASSERT_NE(context_, nullptr);
    }
    void TearDown() override {
        api().context_destroy(context_);
        settings_impl::host::clearDriveMappings();
        settings_impl::host::setCurrentDirectory("");
        std::filesystem::remove_all(root_);
    }

    // Host location of a path below C:.
    std::filesystem::path host(const std::string& relative) const { return root_ / relative; }

    int importText(const std::string& text, const SettingsValidator* validator = nullptr,
                   const SettingsKeyMapper* mapper = nullptr, bool stop = false, bool bare = false,
                   SettingsContext* into = nullptr) {
        return api().context_import_from_string(into ? into : context_, text.c_str(), validator,
                                                mapper, stop ? 1 : 0, bare ? 1 : 0);
    }

    std::string value(const char* key, SettingsContext* from = nullptr) {
        const char* text = nullptr;
        const int status = api().context_get_utf8_value(from ? from : context_, key, &text);
        return status == 0 ? std::string(text) : "<" + std::to_string(status) + ">";
    }

    std::vector<std::string> keys(SettingsContext* from = nullptr) {
        std::vector<std::string> result;
        api().context_iterate_keys(
            from ? from : context_,
            [](SettingsContext*, int, int, const char* key, void* user) {
                static_cast<std::vector<std::string>*>(user)->push_back(key);
            },
            &result);
        return result;
    }

    std::vector<int> importErrors() {
        const int* lines = nullptr;
        int count = -1;
        EXPECT_EQ(api().context_get_last_import_errors(context_, &lines, &count), 0);
        return lines ? std::vector<int>(lines, lines + count) : std::vector<int>();
    }

    std::filesystem::path root_;
    SettingsContext* context_ = nullptr;
};

}  // namespace settings_test
