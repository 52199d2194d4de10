// The message texts: present in the three languages, translations keep the insertions and the
// line breaks of the English text.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "MessageTexts.h"
#include "MessageUi.h"

namespace {

std::vector<std::string> insertions(const std::string& text) {
    std::vector<std::string> found;
    for (std::size_t i = 0; i + 1 < text.size(); ++i) {
        if (text[i] == '%') {
            found.push_back(text.substr(i, 2));
            ++i;
        }
    }
    return found;
}

long lineBreaks(const std::string& text) { return std::count(text.begin(), text.end(), '\n'); }

TEST(MessageTextTest, EveryMessageExistsInThreeLanguagesWithTheSameInsertionsAndBreaks) {
    const MessageIdList list = allMessageIds();
    const std::vector<unsigned> ids(list.ids, list.ids + list.count);
    EXPECT_EQ(ids, (std::vector<unsigned>{4,    116,  119,  120,  121,  2048, 2049, 3073,
                                          3074, 3075, 3076, 3077, 3078, 3079, 3080, 3081,
                                          3082, 3083, 3084, 3086, 3087, 3088, 3089}));
    for (unsigned id : ids) {
        SCOPED_TRACE(id);
        const char* english = messageText(id, kLanguageEnglish);
        ASSERT_NE(english, nullptr);
        for (uint16_t language : {kLanguageJapanese, kLanguageChinese}) {
            const char* translated = messageText(id, language);
            ASSERT_NE(translated, nullptr);
            EXPECT_EQ(insertions(translated), insertions(english)) << language;
            EXPECT_EQ(lineBreaks(translated), lineBreaks(english)) << language;
        }
    }
    EXPECT_EQ(messageText(3085, kLanguageEnglish), nullptr);
    EXPECT_EQ(messageText(3073, 1031), nullptr);
}

TEST(MessageTextTest, EnglishTextsAreTheLaunchersOwn) {
    EXPECT_STREQ(messageText(3073, kLanguageEnglish), "Corvid Installation Not Completed");
    EXPECT_STREQ(messageText(120, kLanguageEnglish),
                 "Another Corvid installation is in progress. \nYou must complete that "
                 "installation before \nyou can run this installer.");
    const std::string unsupported = messageText(121, kLanguageEnglish);
    EXPECT_EQ(unsupported.rfind("Corvid 6 requires a newer version of Windows.", 0), 0u);
    EXPECT_NE(unsupported.find("Please refer to https://www.example.com/corvid/sysreq."),
              std::string::npos);
    EXPECT_STREQ(messageText(2049, kLanguageEnglish),
                 "A Newer Version of this Product Already Exists");
}

TEST(MessageTextTest, HostLoaderCutsToTheBuffer) {
    EXPECT_EQ(loadMessageText(nullptr, 3073, 256), "Corvid Installation Not Completed");
    EXPECT_EQ(loadMessageText(nullptr, 3073, 7), "Corvid");
    EXPECT_EQ(loadMessageText(nullptr, 3085, 256), "");
    EXPECT_EQ(loadMessageText(nullptr, 3073, 0), "");
}

}  // namespace
