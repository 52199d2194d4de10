#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "RegistryKey.h"
#include "ScratchKey.h"

namespace {

// Runs f and returns the message of the exception of type E it throws ("" if none).
template <typename E, typename F>
std::string messageOf(F f) {
    try {
        f();
    } catch (const E& e) {
        return e.what();
    }
    return std::string();
}

using registry_view::Access;
using registry_view::View;
constexpr RegistryKey::Create kOpen = RegistryKey::Create::No;
constexpr RegistryKey::Create kCreate = RegistryKey::Create::IfMissing;

void openScratch(RegistryKey& key, const ScratchKey& scratch, Access access = Access::Read) {
    key.open(RegistryKey::currentUser(), scratch.path(), access, kOpen, View::Process);
}

TEST(RegistryKey, StringsKeepAllBytesAndDropOneTerminator) {
    ScratchKey scratch;
    scratch.put("bare", REG_SZ, "abc", 3);
    scratch.put("twoNuls", REG_SZ, "abc\0\0", 5);
    scratch.put("normal", REG_SZ, "abc", 4);
    scratch.put("empty", REG_SZ, "", 0);
    RegistryKey key;
    openScratch(key, scratch);
    EXPECT_EQ(key.queryString("bare"), "abc");
    EXPECT_EQ(key.queryString("twoNuls"), std::string("abc\0", 4));
    EXPECT_EQ(key.queryString("normal"), "abc");
    EXPECT_EQ(key.queryString("empty"), "");
}

TEST(RegistryKey, EmptyValueIsAnEmptyArray) {
    ScratchKey scratch;
    scratch.put("empty", REG_BINARY, nullptr, 0);
    RegistryKey key;
    openScratch(key, scratch);
    DWORD type = 0;
    EXPECT_TRUE(key.queryValue("empty", type).empty());
    EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
    EXPECT_TRUE(key.queryBinary("empty").empty());
}

TEST(RegistryKey, LargeValueIsReadWhole) {
    ScratchKey scratch;
    std::vector<uint8_t> big(300000);
    for (size_t i = 0; i < big.size(); ++i) {
        big[i] = static_cast<uint8_t>(i * 7);
    }
    scratch.put("big", REG_BINARY, big.data(), static_cast<DWORD>(big.size()));
    RegistryKey key;
    openScratch(key, scratch);
    EXPECT_EQ(key.queryBinary("big"), big);
}

TEST(RegistryKey, TypedQueriesCheckTypeAndSize) {
    ScratchKey scratch;
    const uint8_t four[4] = {1, 2, 3, 4};
    const uint8_t eight[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    scratch.put("binary4", REG_BINARY, four, 4);
    scratch.put("dword8", REG_DWORD, eight, 8);
    scratch.put("dword", REG_DWORD, four, 4);
    scratch.put("expand", REG_EXPAND_SZ, "%TEMP%", 7);
    RegistryKey key;
    openScratch(key, scratch);
    EXPECT_EQ(key.queryDword("dword"), 0x04030201u);
    EXPECT_EQ(messageOf<std::runtime_error>([&] { key.queryDword("binary4"); }),
              "query dword value (binary4) error: wrong type");
    EXPECT_EQ(messageOf<std::runtime_error>([&] { key.queryDword("dword8"); }),
              "query dword value (dword8) error: wrong size");
    EXPECT_EQ(messageOf<std::runtime_error>([&] { key.queryString("expand"); }),
              "query string value (expand) error: wrong type");
    EXPECT_EQ(messageOf<std::runtime_error>([&] { key.queryBinary("dword"); }),
              "query binary value (dword) error: wrong type");
    EXPECT_EQ(messageOf<std::runtime_error>([&] { key.queryDword("missing"); }),
              "query value (missing) error: 2");
}

TEST(RegistryKey, WritesRoundTripWithExactSizes) {
    ScratchKey scratch;
    RegistryKey key;
    key.open(RegistryKey::currentUser(), scratch.path() + "\\sub", Access::ReadWrite, kCreate,
             View::Process);
    key.setDword("d", 0xCAFEF00Du);
    key.setString("s", "text");
    key.setBinary("b", std::vector<uint8_t>{9, 8, 7});
    key.setBinary("e", std::vector<uint8_t>{});
    EXPECT_EQ(key.queryDword("d"), 0xCAFEF00Du);
    EXPECT_EQ(key.queryString("s"), "text");
    EXPECT_EQ(key.queryBinary("b"), (std::vector<uint8_t>{9, 8, 7}));
    EXPECT_TRUE(key.queryBinary("e").empty());
    DWORD type = 0;
    EXPECT_EQ(key.queryValue("s", type).size(), 5u);  // text plus its terminator
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
}

TEST(RegistryKey, WriteThroughReadOnlyKeyReportsTheSystemError) {
    ScratchKey scratch;
    RegistryKey key;
    openScratch(key, scratch, Access::Read);
    EXPECT_EQ(messageOf<std::runtime_error>([&] { key.setDword("v", 1); }),
              "set dword value (v) error: 5");
    EXPECT_EQ(messageOf<std::runtime_error>([&] { key.setString("v", "x"); }),
              "set string value (v) error: 5");
    EXPECT_EQ(messageOf<std::runtime_error>([&] { key.setBinary("v", nullptr, 0); }),
              "set binary value (v) error: 5");
}

TEST(RegistryKey, FailedOpenKeepsTheKeyHeldBefore) {
    ScratchKey scratch;
    scratch.put("v", REG_SZ, "kept", 5);
    RegistryKey key;
    openScratch(key, scratch);
    EXPECT_EQ(messageOf<std::runtime_error>([&] {
                  key.open(RegistryKey::currentUser(), scratch.path() + "\\none", Access::Read,
                           kOpen, View::Process);
              }),
              "open key (" + scratch.path() + "\\none) error: 2");
    ASSERT_TRUE(key.isOpen());
    EXPECT_EQ(key.queryString("v"), "kept");
    // Opening without create never makes the key.
    EXPECT_FALSE(scratch.exists("\\none"));
}

TEST(RegistryKey, ReopeningReplacesTheKey) {
    ScratchKey scratch;
    RegistryKey writer;
    writer.open(RegistryKey::currentUser(), scratch.path() + "\\a", Access::ReadWrite, kCreate,
                View::Process);
    writer.setString("v", "a");
    writer.open(RegistryKey::currentUser(), scratch.path() + "\\b", Access::ReadWrite, kCreate,
                View::Process);
    writer.setString("v", "b");
    RegistryKey reader;
    reader.open(RegistryKey::currentUser(), scratch.path() + "\\a", Access::Read, kOpen,
                View::Process);
    EXPECT_EQ(reader.queryString("v"), "a");
    EXPECT_EQ(writer.queryString("v"), "b");
    EXPECT_EQ(writer.close(), ERROR_SUCCESS);
    EXPECT_FALSE(writer.isOpen());
    EXPECT_EQ(writer.close(), ERROR_SUCCESS);
}

TEST(RegistryKey, EveryOperationOnAnEmptyKeyIsALogicError) {
    ScratchKey scratch;
    RegistryKey empty;
    RegistryKey target;
    openScratch(target, scratch);
    const std::string notOpened = "the key is not opened";
    // Below a parent without a key: nothing is created and the target keeps its key.
    EXPECT_EQ(messageOf<std::logic_error>([&] {
                  target.open(empty, "Software", Access::ReadWrite, kCreate, View::Process);
              }),
              notOpened);
    EXPECT_TRUE(target.isOpen());
    DWORD type = 0;
    EXPECT_EQ(messageOf<std::logic_error>([&] { empty.queryValue("v", type); }), notOpened);
    EXPECT_EQ(messageOf<std::logic_error>([&] { empty.queryDword("v"); }), notOpened);
    EXPECT_EQ(messageOf<std::logic_error>([&] { empty.queryString("v"); }), notOpened);
    EXPECT_EQ(messageOf<std::logic_error>([&] { empty.queryBinary("v"); }), notOpened);
    EXPECT_EQ(messageOf<std::logic_error>([&] { empty.setDword("v", 1); }), notOpened);
    EXPECT_EQ(messageOf<std::logic_error>([&] { empty.setString("v", "x"); }), notOpened);
    EXPECT_EQ(messageOf<std::logic_error>([&] { empty.setBinary("v", nullptr, 0); }), notOpened);
    EXPECT_FALSE(empty.isOpen());
}

TEST(RegistryKey, RootsSurviveClose) {
    ScratchKey scratch;
    EXPECT_EQ(RegistryKey::currentUser().close(), ERROR_SUCCESS);
    EXPECT_EQ(RegistryKey::localMachine().close(), ERROR_SUCCESS);
    EXPECT_EQ(RegistryKey::currentUser().handle(), HKEY_CURRENT_USER);
    EXPECT_EQ(RegistryKey::localMachine().handle(), HKEY_LOCAL_MACHINE);
    RegistryKey key;
    openScratch(key, scratch);
    key.open(RegistryKey::localMachine(), "SOFTWARE", Access::Read, kOpen, View::Process);
    EXPECT_TRUE(key.isOpen());
}

TEST(RegistryKey, ThirtyTwoBitViewIsWow6432Node) {
    if (sizeof(void*) != 8) {
        GTEST_SKIP() << "the Wow6432Node layout is seen from a 64-bit process";
    }
    ScratchKey view32(HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY, "SOFTWARE\\CdkTest\\");
    ScratchKey view64(HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY, "SOFTWARE\\CdkTest\\");
    RegistryKey key64;
    // The scratch key exists in the 64-bit view but holds nothing yet.
    key64.open(RegistryKey::localMachine(), view64.path(), Access::Read, kOpen, View::Only64);
    RegistryKey key32;
    key32.open(RegistryKey::localMachine(), view32.path(), Access::ReadWrite, kCreate,
               View::Only32);
    key32.setDword("viewed", 32);

    HKEY node = nullptr;
    const std::string wowPath = "SOFTWARE\\Wow6432Node" + view32.path().substr(8);
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, wowPath.c_str(), 0, KEY_READ, &node),
              ERROR_SUCCESS);
    DWORD value = 0;
    DWORD size = sizeof(value);
    EXPECT_EQ(
        RegQueryValueExA(node, "viewed", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size),
        ERROR_SUCCESS);
    EXPECT_EQ(value, 32u);
    RegCloseKey(node);

    EXPECT_EQ(messageOf<std::runtime_error>([&] { key64.queryDword("viewed"); }),
              "query value (viewed) error: 2");
}

}  // namespace
