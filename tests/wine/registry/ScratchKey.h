// A scratch registry key per test, HKCU\Software\CdkTest\<test name> (or below HKLM\SOFTWARE in
// a chosen view), removed with everything below it when the test ends.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

class ScratchKey {
  public:
    explicit ScratchKey(HKEY root = HKEY_CURRENT_USER, REGSAM view = 0,
                        const char* base = "Software\\CdkTest\\")
        : root_(root), view_(view) {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        path_ = std::string(base) + info->test_suite_name() + "." + info->name();
        remove();
        const LONG result = RegCreateKeyExA(root_, path_.c_str(), 0, nullptr, 0,
                                            KEY_ALL_ACCESS | view_, nullptr, &key_, nullptr);
        EXPECT_EQ(result, ERROR_SUCCESS) << path_;
    }
    ~ScratchKey() {
        if (key_ != nullptr) {
            RegCloseKey(key_);
        }
        remove();
    }
    ScratchKey(const ScratchKey&) = delete;
    ScratchKey& operator=(const ScratchKey&) = delete;

    HKEY key() const { return key_; }
    const std::string& path() const { return path_; }

    // Stores raw bytes with any type, bypassing the classes under test.
    void put(const char* name, DWORD type, const void* data, DWORD size) const {
        ASSERT_EQ(RegSetValueExA(key_, name, 0, type, static_cast<const BYTE*>(data), size),
                  ERROR_SUCCESS);
    }
    bool exists(const std::string& subPath) const {
        HKEY key = nullptr;
        const LONG result =
            RegOpenKeyExA(root_, (path_ + subPath).c_str(), 0, KEY_READ | view_, &key);
        if (result == ERROR_SUCCESS) {
            RegCloseKey(key);
        }
        return result == ERROR_SUCCESS;
    }

  private:
    void remove() const {
        HKEY parent = nullptr;
        const size_t split = path_.rfind('\\');
        if (RegOpenKeyExA(root_, path_.substr(0, split).c_str(), 0, KEY_ALL_ACCESS | view_,
                          &parent) == ERROR_SUCCESS) {
            RegDeleteTreeA(parent, path_.substr(split + 1).c_str());
            RegCloseKey(parent);
        }
    }

    HKEY root_;
    REGSAM view_;
    std::string path_;
    HKEY key_ = nullptr;
};
