// The string table linked into the program: every text in every language as MessageTexts.def
// gives it, LoadStringA picking the user's language, and texts cut to a buffer without splitting
// a two-byte character. The tests run once with the prefix's default language and once each
// under a Japanese and a Chinese locale (see CMakeLists.txt).
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>

#include "InstallConfigData.h"
#include "MessageTexts.h"
#include "MessageUi.h"

namespace {

std::wstring widen(const std::string& utf8) {
    const int length =
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(),
                        length);
    return wide;
}

// The text of the ANSI code page for `wide`; `lossless` tells whether every character fit.
std::string toAnsi(const std::wstring& wide, bool& lossless) {
    BOOL usedDefault = FALSE;
    const int length = WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()),
                                           nullptr, 0, nullptr, &usedDefault);
    std::string ansi(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), ansi.data(), length,
                        nullptr, &usedDefault);
    lossless = usedDefault == FALSE;
    return ansi;
}

// Reads string `id` of one language straight from the module's resource block.
bool readStringResource(unsigned id, LANGID language, std::wstring& text) {
    HMODULE module = GetModuleHandleW(nullptr);
    HRSRC block = FindResourceExW(module, MAKEINTRESOURCEW(6) /* RT_STRING */,
                                  MAKEINTRESOURCEW(id / 16 + 1), language);
    if (block == nullptr) return false;
    HGLOBAL loaded = LoadResource(module, block);
    const auto* data = static_cast<const WCHAR*>(LockResource(loaded));
    if (data == nullptr) return false;
    for (unsigned index = 0; index < id % 16; ++index) data += 1 + *data;
    text.assign(data + 1, *data);
    return *data != 0;
}

TEST(StringTableTest, ResourcesHoldEveryTextOfEveryLanguage) {
    const MessageIdList list = allMessageIds();
    for (unsigned i = 0; i < list.count; ++i) {
        const unsigned id = list.ids[i];
        for (uint16_t language : {kLanguageEnglish, kLanguageJapanese, kLanguageChinese}) {
            SCOPED_TRACE(std::to_string(id) + "/" + std::to_string(language));
            std::wstring text;
            ASSERT_TRUE(readStringResource(id, language, text));
            EXPECT_EQ(text, widen(messageText(id, language)));
        }
    }
}

TEST(StringTableTest, LoadStringAGivesTheUserLanguageInTheAnsiCodePage) {
    const LANGID ui = GetUserDefaultUILanguage();
    uint16_t language = kLanguageEnglish;
    if (PRIMARYLANGID(ui) == LANG_JAPANESE) language = kLanguageJapanese;
    if (ui == MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED)) language = kLanguageChinese;
    if (const char* expected = std::getenv("CDK_EXPECT_LANGUAGE")) {
        ASSERT_EQ(language, static_cast<uint16_t>(std::stoi(expected))) << "UI language " << ui;
    }

    const ModuleInstance module = GetModuleHandleA(nullptr);
    const MessageIdList list = allMessageIds();
    for (unsigned i = 0; i < list.count; ++i) {
        const unsigned id = list.ids[i];
        SCOPED_TRACE(id);
        bool lossless = false;
        const std::string expected = toAnsi(widen(messageText(id, language)), lossless);
        // The locale's own code page holds every character of its language.
        EXPECT_TRUE(lossless) << "code page " << GetACP();
        EXPECT_EQ(loadMessageText(module, id, 1024), expected);
    }
    EXPECT_EQ(loadMessageText(module, 3085, 1024), "");
}

// Whether `text` is whole characters of the ANSI code page: no lead byte without its trail.
bool wholeAnsiCharacters(const std::string& text) {
    return text.empty() || MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text.data(),
                                               static_cast<int>(text.size()), nullptr, 0) > 0;
}

TEST(StringTableTest, CutsFitTheBufferAndKeepCharactersWhole) {
    const ModuleInstance module = GetModuleHandleA(nullptr);
    // The warning caption begins with two two-byte characters in Japanese and Chinese.
    const std::string whole = loadMessageText(module, IDS_WARNING_CAPTION, 1024);
    ASSERT_GT(whole.size(), 4u);
    const char* language = std::getenv("CDK_EXPECT_LANGUAGE");
    if (language != nullptr && std::string(language) != "1033") {
        ASSERT_TRUE(IsDBCSLeadByte(static_cast<BYTE>(whole[0]))) << "code page " << GetACP();
        ASSERT_FALSE(wholeAnsiCharacters(whole.substr(0, 1)));
    }
    for (std::size_t capacity = 1; capacity <= whole.size() + 1; ++capacity) {
        SCOPED_TRACE(capacity);
        const std::string loaded = loadMessageText(module, IDS_WARNING_CAPTION, capacity);
        const std::string formatted = formatMessageText(whole, "", "", capacity);
        for (const std::string& cut : {loaded, formatted}) {
            EXPECT_EQ(whole.compare(0, cut.size(), cut), 0) << "a beginning of the text";
            EXPECT_LE(cut.size(), capacity - 1);
            // Shorter only by the lead byte of a character that did not fit.
            EXPECT_GE(cut.size() + 2, std::min(whole.size() + 1, capacity));
            EXPECT_TRUE(wholeAnsiCharacters(cut));
            if (GetACP() == 1252) {
                EXPECT_EQ(cut.size(), std::min(whole.size(), capacity - 1));
            }
        }
    }
    EXPECT_EQ(loadMessageText(module, IDS_WARNING_CAPTION, 0), "");
    EXPECT_EQ(formatMessageText(whole, "", "", 0), "");
}

}  // namespace
