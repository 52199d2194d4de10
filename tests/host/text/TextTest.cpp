// The shared text helpers: both modes of the UTF-16 to UTF-8 conversion, the strict way back,
// trimming, ASCII case folding, and cuts at the character boundaries of a double-byte code page.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Text.h"

namespace {

using cdk_text::Utf16Errors;

std::string lenient(const std::u16string& text) {
    std::string out;
    EXPECT_TRUE(cdk_text::utf16ToUtf8(text, out, Utf16Errors::Replace));
    return out;
}

bool strictFails(const std::u16string& text) {
    std::string out;
    return !cdk_text::utf16ToUtf8(text, out, Utf16Errors::Fail);
}

const std::u16string kHigh(1, char16_t(0xD83D));
const std::u16string kLow(1, char16_t(0xDE00));

TEST(Utf16ToUtf8, EncodesOneToFourBytesAndPairsInBothModes) {
    const std::u16string text = u"a\u00e9\u30a2\U0001F600";
    const std::string utf8 = "a\xc3\xa9\xe3\x82\xa2\xf0\x9f\x98\x80";
    EXPECT_EQ(lenient(text), utf8);
    std::string strict;
    EXPECT_TRUE(cdk_text::utf16ToUtf8(text, strict, Utf16Errors::Fail));
    EXPECT_EQ(strict, utf8);
    EXPECT_EQ(lenient(kHigh + kLow), "\xf0\x9f\x98\x80");
    // The output is replaced, not appended to.
    EXPECT_TRUE(cdk_text::utf16ToUtf8(u"x", strict, Utf16Errors::Fail));
    EXPECT_EQ(strict, "x");
}

TEST(Utf16ToUtf8, UnpairedSurrogatesFailStrictAndBecomeReplacementsLenient) {
    const std::string replacement = "\xef\xbf\xbd";
    // A high one at the end, before a non-surrogate, before another high; a low one alone; the
    // two halves in the wrong order.
    EXPECT_EQ(lenient(u"a" + kHigh), "a" + replacement);
    EXPECT_EQ(lenient(kHigh + u"x"), replacement + "x");
    EXPECT_EQ(lenient(kHigh + kHigh + kLow), replacement + "\xf0\x9f\x98\x80");
    EXPECT_EQ(lenient(kLow), replacement);
    EXPECT_EQ(lenient(kLow + kHigh), replacement + replacement);
    for (const std::u16string& bad :
         {u"a" + kHigh, kHigh + u"x", kHigh + kHigh + kLow, kLow, kLow + kHigh}) {
        EXPECT_TRUE(strictFails(bad));
    }
}

TEST(Utf8ToUtf16, RoundTripsAndRefusesWhatIsNotStrictUtf8) {
    std::u16string wide;
    EXPECT_TRUE(cdk_text::utf8ToUtf16("C:/\xE2\x82\xAC/\xF0\x9F\x98\x80", wide));
    EXPECT_EQ(wide, u"C:/\u20AC/\U0001F600");
    std::string back;
    EXPECT_TRUE(cdk_text::utf16ToUtf8(wide, back, Utf16Errors::Fail));
    EXPECT_EQ(back, "C:/\xE2\x82\xAC/\xF0\x9F\x98\x80");
    for (const char* bad : {"\xC0\x80",          // overlong
                            "\xE0\x80\x80",      // overlong
                            "\xED\xA0\x80",      // surrogate code point
                            "\xF4\x90\x80\x80",  // above U+10FFFF
                            "\x80",              // stray continuation
                            "\xE2\x82",          // cut off
                            "\xE2\x82x",         // too few continuations
                            "\xF8\x88\x80\x80\x80"}) {
        EXPECT_FALSE(cdk_text::utf8ToUtf16(bad, wide)) << bad;
    }
}

TEST(Trim, RemovesTheGivenCharactersAtTheEndsOnly) {
    EXPECT_EQ(cdk_text::trim(" \t a b\t \t"), "a b");
    EXPECT_EQ(cdk_text::trim("\r\nx\n"), "\r\nx\n");  // only spaces and tabs by default
    EXPECT_EQ(cdk_text::trim(" \t "), "");
    EXPECT_EQ(cdk_text::trim(""), "");
    EXPECT_EQ(cdk_text::trimLeading("  a  "), "a  ");
    EXPECT_EQ(cdk_text::trimTrailing("  a  "), "  a");
    EXPECT_EQ(cdk_text::trimTrailing(" \t"), "");
    EXPECT_EQ(cdk_text::trimLeading("\n\v 12", " \t\n\v"), "12");
}

TEST(AsciiCase, FoldsOnlyAsciiLetters) {
    EXPECT_EQ(cdk_text::asciiLower("Az[@`{09"), "az[@`{09");
    // Bytes of multi-byte characters are never changed: 0xC3 0x89 is "É", 0xC3 0xA9 "é".
    EXPECT_EQ(cdk_text::asciiLower("\xC3\x89"), "\xC3\x89");
    EXPECT_FALSE(cdk_text::equalsIgnoringAsciiCase("\xC3\x89", "\xC3\xA9"));
    EXPECT_TRUE(cdk_text::equalsIgnoringAsciiCase("/INSTALLDIR", "/installDir"));
    EXPECT_FALSE(cdk_text::equalsIgnoringAsciiCase("a", "ab"));
    EXPECT_EQ(cdk_text::asciiUpper('c'), 'C');
    EXPECT_EQ(cdk_text::asciiUpper('{'), '{');
}

// The lead bytes of Shift JIS (code page 932).
bool shiftJisLead(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }
bool noLead(unsigned char) { return false; }

TEST(CharacterBoundary, CutsNeverSplitATwoByteCharacter) {
    // "a", HIRAGANA A (82 A0), the kanji for "table" (95 5C, its trail byte the value of '\'),
    // "b".
    const std::string text =
        "a\x82\xA0\x95\x5C"
        "b";
    const std::vector<std::string> expected = {
        "", "", "a", "a", "a\x82\xA0", "a\x82\xA0", "a\x82\xA0\x95\x5C", text, text};
    for (std::size_t capacity = 0; capacity < expected.size(); ++capacity) {
        EXPECT_EQ(cdk_text::cutToBuffer(text, capacity, shiftJisLead), expected[capacity])
            << capacity;
    }
    // Single-byte text is cut after any byte.
    EXPECT_EQ(cdk_text::cutToBuffer(text, 3, noLead), "a\x82");
    // Lead and trail bytes are told apart by a walk from the start: 95 82 is one character
    // whose trail byte has the value of a lead byte, so a cut after it keeps it whole.
    EXPECT_EQ(cdk_text::cutToBuffer("\x95\x82"
                                    "a",
                                    3, shiftJisLead),
              "\x95\x82");
}

TEST(CharacterBoundary, CharacterLengthCountsALeadByteWithItsTrail) {
    const std::string text = "\x95\x5C\x82";
    EXPECT_EQ(cdk_text::characterLength(text, 0, shiftJisLead), 2u);
    EXPECT_EQ(cdk_text::characterLength(text, 1, shiftJisLead), 1u);  // 5C alone is '\'
    // A lead byte at the end has no trail: it counts alone.
    EXPECT_EQ(cdk_text::characterLength(text, 2, shiftJisLead), 1u);
    EXPECT_EQ(cdk_text::characterLength(text, 0, noLead), 1u);
}

}  // namespace
