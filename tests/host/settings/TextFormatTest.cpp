// The settings text format: line kinds, line breaks, positions and messages, UTF-8, file sizes
// and the written form.
#include <gmock/gmock.h>

#include "PlainTextParser.h"
#include "SettingsException.h"
#include "SettingsFiles.h"
#include "SettingsFixture.h"
#include "Utf8.h"

using namespace settings_test;
using settings_impl::findInvalidUtf8;
using settings_impl::isValidUtf8;
using ::testing::ElementsAre;

namespace {

// Records the messages of refused lines.
struct MessageList : settings_impl::IParserErrorListener {
    std::vector<std::string> messages;
    void onError(const settings_impl::IParserCursor&, const std::string& message) override {
        messages.push_back(message);
    }
};

struct Parsed {
    std::unique_ptr<settings_impl::Config> config;
    std::vector<std::string> messages;
};

Parsed parse(const std::string& text, bool stop = false, bool bare = false) {
    auto parser = settings_impl::PlainTextFileConfigParser::fromString(text);
    MessageList listener;
    parser->setErrorListener(&listener);
    parser->setStopOnFirstError(stop);
    parser->setAllowKeyWithoutValue(bare);
    Parsed result;
    result.config = parser->parse();
    result.messages = listener.messages;
    return result;
}

std::string valueOf(const settings_impl::Config& config, const char* key) {
    if (!config.hasValue(key)) return "<none>";
    return config.getText(key);
}

}  // namespace

TEST(Utf8Check, AcceptsAllSixByteFormsAndWhatStrictDecodersRefuse) {
    EXPECT_TRUE(isValidUtf8(""));
    EXPECT_TRUE(isValidUtf8("plain ascii text that is long enough for the fast path"));
    EXPECT_TRUE(isValidUtf8("\xE2\x82\xAC"));              // euro sign
    EXPECT_TRUE(isValidUtf8("\xC0\x80"));                  // overlong NUL
    EXPECT_TRUE(isValidUtf8("\xED\xA0\x80"));              // surrogate
    EXPECT_TRUE(isValidUtf8("\xF4\x90\x80\x80"));          // above U+10FFFF
    EXPECT_TRUE(isValidUtf8("\xF8\x88\x80\x80\x80"));      // five bytes
    EXPECT_TRUE(isValidUtf8("\xFC\x84\x80\x80\x80\x80"));  // six bytes
}

TEST(Utf8Check, RefusesStrayShortAndCutOffSequences) {
    EXPECT_EQ(findInvalidUtf8("abc\x80"), 3u);
    EXPECT_EQ(findInvalidUtf8("ab\xC3"), 2u);  // cut off by the end
    EXPECT_FALSE(isValidUtf8("\xE2\x82x"));    // too few continuations
    EXPECT_FALSE(isValidUtf8("\xFE"));
    EXPECT_FALSE(isValidUtf8("\xFF"));
    EXPECT_FALSE(isValidUtf8("\xFC\x84\x80\x80\x80"));
    EXPECT_EQ(findInvalidUtf8("0123456789\x80"), 10u);  // after the eight-byte fast path
}

TEST(LineKinds, KeysValuesSeparatorsAndBlanks) {
    const Parsed p = parse(
        "a = 1\n"
        "b:2\n"
        "\tc\t=\t3\t\n"
        "time: 10:30\n"
        "x:y=z\n"
        "# d=1\n"
        "   # indented comment\n"
        "e=1 # note\n"
        "key=\n"
        "inner key = v\n"
        "sp = \f v \f\n"
        " \t \n");
    ASSERT_TRUE(p.config);
    EXPECT_TRUE(p.messages.empty());
    const auto& c = *p.config;
    EXPECT_EQ(valueOf(c, "a"), "1");
    EXPECT_EQ(valueOf(c, "b"), "2");
    EXPECT_EQ(valueOf(c, "c"), "3");
    EXPECT_EQ(valueOf(c, "time"), "10:30");
    EXPECT_EQ(valueOf(c, "x"), "y=z");
    EXPECT_EQ(valueOf(c, "e"), "1 # note");
    EXPECT_EQ(valueOf(c, "key"), "");
    EXPECT_EQ(valueOf(c, "inner key"), "v");
    EXPECT_EQ(valueOf(c, "sp"), "\f v \f");  // only space and tab are blanks
    EXPECT_EQ(c.size(), 9u);
}

TEST(LineKinds, BareKeysAreStoredWithoutValueOnlyWhenAllowed) {
    Parsed p = parse("key  \nk=1\n", false, true);
    ASSERT_TRUE(p.config);
    EXPECT_TRUE(p.messages.empty());
    EXPECT_EQ(p.config->size(), 2u);
    EXPECT_FALSE(p.config->hasValue("key"));
    EXPECT_EQ(valueOf(*p.config, "k"), "1");

    p = parse("key\nk=1\n");
    ASSERT_TRUE(p.config);
    EXPECT_THAT(p.messages, ElementsAre("\"Key without value\" at line 1; char 1"));
    EXPECT_EQ(p.config->size(), 1u);
}

TEST(LineKinds, EmptyKeysAreReportedAtTheFirstNonBlank) {
    const Parsed p = parse("=value\n : value\na=1\n");
    ASSERT_TRUE(p.config);
    EXPECT_THAT(p.messages,
                ElementsAre("\"Empty key\" at line 1; char 1", "\"Empty key\" at line 2; char 2"));
    EXPECT_EQ(p.config->size(), 1u);
}

TEST(LineKinds, LaterDuplicatesWin) {
    const Parsed p = parse("k=1\nk=2\n");
    EXPECT_EQ(valueOf(*p.config, "k"), "2");

    // Many keys, each given three times in interleaved rounds: the last round wins for every
    // key, however the lines are gathered and ordered internally.
    std::string text;
    for (int round = 0; round < 3; ++round) {
        for (int key = 199; key >= 0; --key) {
            text += "key" + std::to_string(key) + "=" + std::to_string(round) + "\n";
        }
    }
    const Parsed many = parse(text);
    ASSERT_EQ(many.config->size(), 200u);
    for (int key = 0; key < 200; ++key) {
        EXPECT_EQ(valueOf(*many.config, ("key" + std::to_string(key)).c_str()), "2") << key;
    }
}

TEST(LineBreaks, CrLfIsOneBreakAndLfCrIsTwo) {
    // a=1 CR, CR LF: lines 0 and 1 (empty), so the bad line is line index 2.
    Parsed p = parse("a=1\r\r\n=bad");
    EXPECT_THAT(p.messages, ElementsAre("\"Empty key\" at line 3; char 1"));
    p = parse("a=1\n\r=bad");
    EXPECT_THAT(p.messages, ElementsAre("\"Empty key\" at line 3; char 1"));
    p = parse("a=1\r\n=bad");
    EXPECT_THAT(p.messages, ElementsAre("\"Empty key\" at line 2; char 1"));
    p = parse("a=1\rb=2\nc=3");
    EXPECT_EQ(p.config->size(), 3u);
    EXPECT_EQ(valueOf(*p.config, "c"), "3");  // last line without a break of its own
}

TEST(LineBreaks, AByteOrderMarkIsPartOfTheFirstLine) {
    const Parsed p = parse("\xEF\xBB\xBF# comment\n");
    EXPECT_THAT(p.messages, ElementsAre("\"Key without value\" at line 1; char 1"));
}

TEST(StopOnFirstError, RefusedLinesYieldNoConfigOnlyWhenStopping) {
    Parsed p = parse("a=1\n=x\nb=2\n=y\n", true);
    EXPECT_FALSE(p.config);
    EXPECT_EQ(p.messages.size(), 1u);  // the procedure stopped at the first refusal
    p = parse("a=1\n=x\nb=2\n=y\n", false);
    ASSERT_TRUE(p.config);
    EXPECT_EQ(p.messages.size(), 2u);
    EXPECT_EQ(p.config->size(), 2u);
}

TEST(StringContent, InvalidUtf8IsRefusedBeforeAnyLine) {
    auto parser = settings_impl::PlainTextFileConfigParser::fromString("a=1\n\x80");
    try {
        parser->parse();
        FAIL() << "no exception";
    } catch (const settings::Exception& e) {
        EXPECT_EQ(e.code(), SETTINGS_E_TEXT_NOT_UTF8);
    }
}

TEST(LineCodes, EveryCodeHasItsMessage) {
    using settings_impl::LineCode;
    using settings_impl::lineCodeMessage;
    EXPECT_STREQ(lineCodeMessage(LineCode::InvalidKey), "Invalid key");
    EXPECT_STREQ(lineCodeMessage(LineCode::InvalidValue), "Invalid value");
    EXPECT_STREQ(lineCodeMessage(LineCode::InvalidComment), "Invalid comment");
    EXPECT_STREQ(lineCodeMessage(LineCode::Accepted), "Unknown error");
    EXPECT_STREQ(lineCodeMessage(static_cast<LineCode>(42)), "Unknown error");
}

class FileFormat : public DriveFixture {};

TEST_F(FileFormat, FilesBelowOneMebibyteAreReadLargerOnesRefused) {
    std::string text = "k=v\n";
    text.resize(0x100000 - 1, '#');  // one long comment line fills the rest
    writeFile(host("work/limit.cfg"), text);
    EXPECT_EQ(api().context_import_from_file(context_, "limit.cfg", nullptr, nullptr, 1, 0), 0);
    EXPECT_EQ(value("k"), "v");
    std::string bytes;  // the launcher's byte copy of a file for its restore has the same limit
    EXPECT_TRUE(settings::readFileBytes("C:/work/limit.cfg", bytes));
    EXPECT_EQ(bytes, text);

    text.push_back('#');
    writeFile(host("work/limit.cfg"), text);
    api().context_erase_key(context_, "k");
    EXPECT_EQ(api().context_import_from_file(context_, "limit.cfg", nullptr, nullptr, 1, 0),
              SETTINGS_E_FILE_TOO_LARGE);
    EXPECT_EQ(keys(), std::vector<std::string>());
    EXPECT_FALSE(settings::readFileBytes("C:/work/limit.cfg", bytes));
}

TEST_F(FileFormat, FileContentMustBeUtf8AndFileMustExist) {
    writeFile(host("work/bad.cfg"), "a=\xC3");
    EXPECT_EQ(api().context_import_from_file(context_, "bad.cfg", nullptr, nullptr, 1, 0),
              SETTINGS_E_TEXT_NOT_UTF8);
    EXPECT_EQ(api().context_import_from_file(context_, "missing.cfg", nullptr, nullptr, 1, 0),
              SETTINGS_E_FILE_OPEN);
    std::filesystem::create_directory(host("work/folder.cfg"));
    EXPECT_EQ(api().context_import_from_file(context_, "folder.cfg", nullptr, nullptr, 1, 0),
              SETTINGS_E_FILE_READ);
}

TEST_F(FileFormat, ExportWritesSortedEntriesAndBareKeys) {
    ASSERT_EQ(importText("b=2\na\nA=3\n", nullptr, nullptr, true, true), 0);
    ASSERT_EQ(api().context_export_to_file(context_, "C:/out/x.cfg"), 0);
    EXPECT_EQ(readFile(host("out/x.cfg")), "A=3\na\nb=2\n");
}

TEST_F(FileFormat, EmptyStoreWritesOneSpaceAndReadsBackEmpty) {
    ASSERT_EQ(api().context_export_to_file(context_, "C:/empty.cfg"), 0);
    EXPECT_EQ(readFile(host("empty.cfg")), " ");
    SettingsContext* other = api().context_create();
    EXPECT_EQ(api().context_import_from_file(other, "C:/empty.cfg", nullptr, nullptr, 1, 0), 0);
    int empty = 0;
    EXPECT_EQ(api().context_is_empty(other, &empty), 0);
    EXPECT_EQ(empty, 1);
    api().context_destroy(other);
}

TEST_F(FileFormat, ValuesAreWrittenAsTheirStoredText) {
    SettingsValidatorBuilder* b = api().validator_builder_create();
    api().validator_builder_set_integer_validator(b, "n");
    api().validator_builder_set_boolean_validator(b, "f");
    SettingsValidator* v = nullptr;
    ASSERT_EQ(api().validator_builder_create_validator(b, &v), 0);
    ASSERT_EQ(importText("n =  0x1F \nf= YES\n# dropped\n", v), 0);
    ASSERT_EQ(api().context_export_to_file(context_, "C:/typed.cfg"), 0);
    EXPECT_EQ(readFile(host("typed.cfg")), "f=YES\nn=0x1F\n");
    api().validator_destroy(v);
    api().validator_builder_destroy(b);
}
