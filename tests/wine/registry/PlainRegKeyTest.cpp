#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "PlainRegKey.h"
#include "RegistryView.h"
#include "ScratchKey.h"

namespace {

TEST(PlainRegKey, QueryStringReadsTerminatedTexts) {
    ScratchKey scratch;
    scratch.put("sz", REG_SZ, "hello", 6);
    scratch.put("expand", REG_EXPAND_SZ, "%SystemRoot%\\x", 15);
    scratch.put("empty", REG_SZ, "", 0);
    PlainRegKey key;
    ASSERT_EQ(key.open(HKEY_CURRENT_USER, scratch.path().c_str(), KEY_READ), ERROR_SUCCESS);

    char buffer[64];
    DWORD length = sizeof(buffer);
    EXPECT_EQ(key.queryString("sz", buffer, &length), ERROR_SUCCESS);
    EXPECT_STREQ(buffer, "hello");
    EXPECT_EQ(length, 6u);

    length = sizeof(buffer);
    EXPECT_EQ(key.queryString("expand", buffer, &length), ERROR_SUCCESS);
    EXPECT_STREQ(buffer, "%SystemRoot%\\x");  // never expanded

    std::strcpy(buffer, "stale");
    length = sizeof(buffer);
    EXPECT_EQ(key.queryString("empty", buffer, &length), ERROR_SUCCESS);
    EXPECT_STREQ(buffer, "");
    EXPECT_EQ(length, 0u);

    // A buffer of no bytes gets no terminator written into it.
    length = 0;
    EXPECT_EQ(key.queryString("empty", buffer, &length), ERROR_MORE_DATA);
    EXPECT_STREQ(buffer, "");
    buffer[0] = 'k';
    EXPECT_EQ(key.queryString("empty", buffer, &length), ERROR_MORE_DATA);
    EXPECT_EQ(buffer[0], 'k');

    // Length only.
    length = 1234;
    EXPECT_EQ(key.queryString("sz", nullptr, &length), ERROR_SUCCESS);
    EXPECT_EQ(length, 6u);
    EXPECT_EQ(key.close(), ERROR_SUCCESS);
}

TEST(PlainRegKey, QueryStringRefusesOtherTypesShortBuffersAndMissingTerminators) {
    ScratchKey scratch;
    const DWORD number = 7;
    scratch.put("dword", REG_DWORD, &number, sizeof(number));
    scratch.put("bare", REG_SZ, "abcd", 4);
    scratch.put("long", REG_SZ, "a longer text", 14);
    PlainRegKey key;
    ASSERT_EQ(key.open(HKEY_CURRENT_USER, scratch.path().c_str(), KEY_READ), ERROR_SUCCESS);

    char buffer[8] = "guard";
    DWORD length = sizeof(buffer);
    EXPECT_EQ(key.queryString("dword", buffer, &length), ERROR_INVALID_DATA);
    EXPECT_EQ(length, 0u);

    // Text stored without its terminator, read into a buffer that has no room to add one.
    char exact[4];
    length = sizeof(exact);
    const LONG bare = key.queryString("bare", exact, &length);
    EXPECT_TRUE(bare == ERROR_INVALID_DATA || bare == ERROR_MORE_DATA) << bare;
    EXPECT_EQ(length, 0u);

    char small[5] = {'x', 'x', 'x', 'x', 'x'};
    length = sizeof(small);
    EXPECT_EQ(key.queryString("long", small, &length), ERROR_MORE_DATA);
    EXPECT_EQ(length, 0u);

    length = sizeof(buffer);
    EXPECT_EQ(key.queryString("missing", buffer, &length), ERROR_FILE_NOT_FOUND);
}

TEST(PlainRegKey, SetStringWritesTheTerminatorAndRefusesNull) {
    ScratchKey scratch;
    PlainRegKey key;
    ASSERT_EQ(key.open(HKEY_CURRENT_USER, scratch.path().c_str(), KEY_READ | KEY_WRITE),
              ERROR_SUCCESS);
    EXPECT_EQ(key.setString("v", nullptr, REG_SZ), ERROR_INVALID_DATA);
    EXPECT_EQ(key.setString("v", "reinstall", REG_SZ), ERROR_SUCCESS);
    DWORD type = 0;
    DWORD size = 0;
    ASSERT_EQ(RegQueryValueExA(scratch.key(), "v", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(size, 10u);
    EXPECT_EQ(key.deleteValue("v"), ERROR_SUCCESS);
    EXPECT_EQ(RegQueryValueExA(scratch.key(), "v", nullptr, &type, nullptr, &size),
              ERROR_FILE_NOT_FOUND);
}

TEST(PlainRegKey, OpenKeepsTheOldKeyOnFailureAndRecordsTheView) {
    ScratchKey scratch;
    scratch.put("v", REG_SZ, "x", 2);
    PlainRegKey key;
    EXPECT_EQ(key.close(), ERROR_SUCCESS);
    ASSERT_EQ(key.open(HKEY_CURRENT_USER, scratch.path().c_str(), KEY_READ | KEY_WOW64_64KEY),
              ERROR_SUCCESS);
    EXPECT_EQ(key.viewBits(), static_cast<REGSAM>(KEY_WOW64_64KEY));
    EXPECT_EQ(key.open(HKEY_CURRENT_USER, (scratch.path() + "\\none").c_str(), KEY_READ),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(key.viewBits(), static_cast<REGSAM>(KEY_WOW64_64KEY));
    DWORD length = 0;
    EXPECT_EQ(key.queryString("v", nullptr, &length), ERROR_SUCCESS);
    EXPECT_EQ(key.close(), ERROR_SUCCESS);
    EXPECT_EQ(key.viewBits(), 0u);
    EXPECT_EQ(key.handle(), nullptr);
}

TEST(PlainRegKey, DeleteSubKeyDeletesOnlyLeafKeys) {
    ScratchKey scratch;
    HKEY created = nullptr;
    ASSERT_EQ(RegCreateKeyA(scratch.key(), "leaf", &created), ERROR_SUCCESS);
    RegCloseKey(created);
    ASSERT_EQ(RegCreateKeyA(scratch.key(), "parent\\child", &created), ERROR_SUCCESS);
    RegCloseKey(created);

    PlainRegKey key;
    ASSERT_EQ(key.open(HKEY_CURRENT_USER, scratch.path().c_str(), KEY_ALL_ACCESS), ERROR_SUCCESS);
    EXPECT_EQ(key.deleteSubKey("leaf"), ERROR_SUCCESS);
    EXPECT_FALSE(scratch.exists("\\leaf"));
    // A second deletion in the same process uses the function found the first time.
    EXPECT_NE(key.deleteSubKey("parent"), ERROR_SUCCESS);
    EXPECT_TRUE(scratch.exists("\\parent\\child"));
    EXPECT_EQ(key.deleteSubKey("leaf"), ERROR_FILE_NOT_FOUND);
}

TEST(PlainRegKey, DeleteSubKeyActsInTheViewItWasOpenedIn) {
    if (sizeof(void*) != 8) {
        GTEST_SKIP() << "needs a 64-bit process";
    }
    ScratchKey view32(HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY, "SOFTWARE\\CdkTest\\");
    ScratchKey view64(HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY, "SOFTWARE\\CdkTest\\");
    HKEY created = nullptr;
    ASSERT_EQ(RegCreateKeyExA(view32.key(), "gone", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &created, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(created);
    ASSERT_EQ(RegCreateKeyExA(view64.key(), "gone", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &created, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(created);

    PlainRegKey key;
    ASSERT_EQ(key.open(HKEY_LOCAL_MACHINE, view32.path().c_str(), KEY_ALL_ACCESS | KEY_WOW64_32KEY),
              ERROR_SUCCESS);
    EXPECT_EQ(key.deleteSubKey("gone"), ERROR_SUCCESS);
    EXPECT_FALSE(view32.exists("\\gone"));
    EXPECT_TRUE(view64.exists("\\gone"));
}

TEST(RegKeyReader, ReadsRawValuesAndReopens) {
    ScratchKey scratch;
    HKEY created = nullptr;
    ASSERT_EQ(RegCreateKeyA(scratch.key(), "a", &created), ERROR_SUCCESS);
    RegSetValueExA(created, "BuildNumber", 0, REG_SZ, reinterpret_cast<const BYTE*>("11"), 3);
    RegCloseKey(created);
    ASSERT_EQ(RegCreateKeyA(scratch.key(), "b", &created), ERROR_SUCCESS);
    const BYTE bytes[3] = {1, 2, 3};
    RegSetValueExA(created, "BuildNumber", 0, REG_BINARY, bytes, 3);
    RegCloseKey(created);

    RegKeyReader reader(HKEY_CURRENT_USER);
    EXPECT_FALSE(reader.isOpen());
    ASSERT_EQ(reader.open((scratch.path() + "\\a").c_str(), KEY_READ), ERROR_SUCCESS);
    RegValue value;
    ASSERT_EQ(reader.queryValue("BuildNumber", value), ERROR_SUCCESS);
    EXPECT_EQ(value.type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(std::string(value.data.begin(), value.data.end()), std::string("11", 3));

    ASSERT_EQ(reader.open((scratch.path() + "\\b").c_str(), KEY_READ), ERROR_SUCCESS);
    EXPECT_TRUE(reader.isOpen());
    ASSERT_EQ(reader.queryValue("BuildNumber", value), ERROR_SUCCESS);
    EXPECT_EQ(value.type, static_cast<DWORD>(REG_BINARY));
    EXPECT_EQ(value.data, (std::vector<uint8_t>{1, 2, 3}));

    EXPECT_EQ(reader.queryValue("missing", value), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(value.type, 0u);
    EXPECT_TRUE(value.data.empty());

    EXPECT_EQ(reader.close(), ERROR_SUCCESS);
    EXPECT_FALSE(reader.isOpen());
    EXPECT_EQ(reader.close(), ERROR_SUCCESS);
    EXPECT_EQ(reader.open((scratch.path() + "\\none").c_str(), KEY_READ), ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(reader.isOpen());
}

TEST(RegistryView, FollowsTheProcessArchitecture) {
    const bool process32 = sizeof(void*) == 4;
    if (process32) {
        EXPECT_TRUE(use32BitRegistryView());
    } else {
        EXPECT_TRUE(isNativeAmd64());
        EXPECT_FALSE(isWow64Process());
        EXPECT_FALSE(use32BitRegistryView());
    }
}

}  // namespace
