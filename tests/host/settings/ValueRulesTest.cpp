// Conversions of value texts, the validation rules and key mapping, seen through imports.
#include <gmock/gmock.h>

#include <cmath>

#include "ConfigValue.h"
#include "SettingsException.h"
#include "SettingsFixture.h"

using namespace settings_test;

namespace {

template <class F>
int codeOf(F&& f) {
    try {
        f();
        return 0;
    } catch (const settings::Exception& e) {
        return e.code();
    }
}

}  // namespace

TEST(IntegerConversion, BasesSignsAndTrailingText) {
    using settings_impl::parseInteger;
    EXPECT_EQ(parseInteger("42"), 42);
    EXPECT_EQ(parseInteger("-7"), -7);
    EXPECT_EQ(parseInteger("0x1F"), 31);
    EXPECT_EQ(parseInteger("-0x10"), -16);
    EXPECT_EQ(parseInteger("017"), 15);
    EXPECT_EQ(parseInteger("12abc"), 12);
    EXPECT_EQ(parseInteger(" \t\n\v+5"), 5);
    EXPECT_EQ(parseInteger("09"), 0);  // octal: the 9 is trailing text
    EXPECT_EQ(parseInteger("2147483647"), 2147483647);
    EXPECT_EQ(parseInteger("-2147483648"), INT32_MIN);
    EXPECT_EQ(parseInteger("0x7fffffff"), INT32_MAX);
    for (const char* bad : {"abc", "", " ", "-", "2147483648", "-2147483649", "0x80000000",
                            "99999999999999999999", "\r5"}) {
        EXPECT_EQ(codeOf([&] { parseInteger(bad); }), SETTINGS_E_INVALID_TEXT) << bad;
    }
}

TEST(BooleanConversion, WordsThenIntegers) {
    using settings_impl::parseBoolean;
    EXPECT_TRUE(parseBoolean("YES"));
    EXPECT_TRUE(parseBoolean("True"));
    EXPECT_FALSE(parseBoolean("no"));
    EXPECT_FALSE(parseBoolean("FALSE"));
    EXPECT_TRUE(parseBoolean("1"));
    EXPECT_FALSE(parseBoolean("0"));
    EXPECT_TRUE(parseBoolean("2"));
    EXPECT_FALSE(parseBoolean("0x0"));
    EXPECT_EQ(codeOf([] { parseBoolean("on"); }), SETTINGS_E_INVALID_TEXT);
    EXPECT_EQ(codeOf([] { parseBoolean(" yes"); }),
              SETTINGS_E_INVALID_TEXT);  // whole-text comparison
}

TEST(DoubleConversion, DecimalNotationOnly) {
    using settings_impl::parseDouble;
    EXPECT_EQ(parseDouble("1.5"), 1.5);
    EXPECT_EQ(parseDouble(" -2.5e3xyz"), -2500.0);
    EXPECT_EQ(parseDouble("+.25"), 0.25);
    EXPECT_EQ(parseDouble("7."), 7.0);
    EXPECT_EQ(parseDouble("3e"), 3.0);
    for (const char* bad : {"", ".", "e5", "abc", "inf", "nan", "1e999"}) {
        EXPECT_EQ(codeOf([&] { parseDouble(bad); }), SETTINGS_E_INVALID_TEXT) << bad;
    }
}

class Rules : public DriveFixture {
  protected:
    void SetUp() override {
        DriveFixture::SetUp();
        builder_ = api().validator_builder_create();
        ASSERT_NE(builder_, nullptr);
    }
    void TearDown() override {
        api().validator_destroy(validator_);
        api().validator_builder_destroy(builder_);
        DriveFixture::TearDown();
    }
    const SettingsValidator* build() {
        api().validator_destroy(validator_);
        validator_ = nullptr;
        EXPECT_EQ(api().validator_builder_create_validator(builder_, &validator_), 0);
        return validator_;
    }
    // Imports one line "key=value" with the current rules; returns the status.
    int accept(const std::string& key, const std::string& text) {
        return importText(key + "=" + text, build(), nullptr, true, true);
    }

    SettingsValidatorBuilder* builder_ = nullptr;
    SettingsValidator* validator_ = nullptr;
};

TEST_F(Rules, IntegerRuleStoresTheTypedValue) {
    api().validator_builder_set_integer_validator(builder_, "n");
    int n = 0;
    for (auto [text, expected] : std::vector<std::pair<const char*, int>>{
             {"42", 42}, {"-7", -7}, {"0x1F", 31}, {"-0x10", -16}, {"017", 15}, {"12abc", 12}}) {
        ASSERT_EQ(accept("n", text), 0) << text;
        EXPECT_EQ(api().context_get_integer_value(context_, "n", &n), 0);
        EXPECT_EQ(n, expected) << text;
        EXPECT_EQ(value("n"), text);
    }
    for (const char* bad : {"abc", "", "4294967296"}) {
        EXPECT_EQ(accept("n", bad), SETTINGS_E_REFUSED_LINES) << bad;
    }
    double d = 0;
    EXPECT_EQ(api().context_get_double_value(context_, "n", &d),
              SETTINGS_E_NO_VALUE_OR_WRONG_TYPE);  // typed, not a double
}

TEST_F(Rules, BooleanRuleAndBareBooleanKeys) {
    api().validator_builder_set_boolean_validator(builder_, "f");
    int f = -1;
    for (auto [text, expected] : std::vector<std::pair<const char*, int>>{
             {"YES", 1}, {"True", 1}, {"no", 0}, {"FALSE", 0}, {"1", 1}, {"0", 0}, {"2", 1}}) {
        ASSERT_EQ(accept("f", text), 0) << text;
        EXPECT_EQ(api().context_get_boolean_value(context_, "f", &f), 0);
        EXPECT_EQ(f, expected) << text;
    }
    EXPECT_EQ(accept("f", "on"), SETTINGS_E_REFUSED_LINES);
    int n = 0;
    EXPECT_EQ(api().context_get_integer_value(context_, "f", &n),
              SETTINGS_E_NO_VALUE_OR_WRONG_TYPE);
}

TEST_F(Rules, DoubleAndUtf8Rules) {
    api().validator_builder_set_double_validator(builder_, "d");
    api().validator_builder_set_utf8_validator(builder_, "s");
    ASSERT_EQ(accept("d", "2.5"), 0);
    double d = 0;
    EXPECT_EQ(api().context_get_double_value(context_, "d", &d), 0);
    EXPECT_EQ(d, 2.5);
    EXPECT_EQ(accept("d", "x"), SETTINGS_E_REFUSED_LINES);
    ASSERT_EQ(accept("s", "12"), 0);
    int n = 0;
    EXPECT_EQ(api().context_get_integer_value(context_, "s", &n),
              SETTINGS_E_NO_VALUE_OR_WRONG_TYPE);  // text, not a number
}

TEST_F(Rules, FixedValuesSearchLastToFirstWithFlags) {
    const FixedValueEntry entries[] = {{"auto", 1, 0}, {"Manual", 2, 3}};
    ASSERT_EQ(api().validator_builder_set_fixed_value_validator(builder_, "m", entries, 2), 0);
    int n = 0;
    ASSERT_EQ(accept("m", "AUTO"), 0);
    EXPECT_EQ(api().context_get_integer_value(context_, "m", &n), 0);
    EXPECT_EQ(n, 1);
    EXPECT_EQ(value("m"), "AUTO");
    EXPECT_EQ(accept("m", "manual"), SETTINGS_E_REFUSED_LINES);
    ASSERT_EQ(accept("m", "Manual"), 0);
    EXPECT_EQ(api().context_get_integer_value(context_, "m", &n), 0);
    EXPECT_EQ(n, 2);

    // A second call replaces "auto" in place and appends a case-insensitive "MANUAL" that
    // stores its own text; being last, it is found first.
    const FixedValueEntry more[] = {{"auto", 5, 0}, {"MANUAL", 7, 2}};
    ASSERT_EQ(api().validator_builder_set_fixed_value_validator(builder_, "m", more, 2), 0);
    ASSERT_EQ(accept("m", "Manual"), 0);
    EXPECT_EQ(api().context_get_integer_value(context_, "m", &n), 0);
    EXPECT_EQ(n, 7);
    EXPECT_EQ(value("m"), "MANUAL");
    ASSERT_EQ(accept("m", "Auto"), 0);
    EXPECT_EQ(api().context_get_integer_value(context_, "m", &n), 0);
    EXPECT_EQ(n, 5);
}

TEST_F(Rules, DirnameRule) {
    api().validator_builder_set_dirname_validator(builder_, "dir", 0);
    EXPECT_EQ(accept("dir", "C:\\Tools"), 0);
    EXPECT_EQ(accept("dir", "d:/a/../b"), 0);
    for (const char* bad : {"Tools", "C:\\a|b", "", "C:\\CON", "\\\\server\\share"}) {
        EXPECT_EQ(accept("dir", bad), SETTINGS_E_REFUSED_LINES) << bad;
    }
    EXPECT_EQ(accept("dir", ("C:\\" + std::string(300, 'a')).c_str()), SETTINGS_E_REFUSED_LINES);
    api().validator_builder_set_dirname_validator(builder_, "dir", 1);
    for (const char* any : {"Tools", "C:\\a|b", ""}) {
        EXPECT_EQ(accept("dir", any), 0) << any;
    }
}

TEST_F(Rules, OneRulePerKey) {
    api().validator_builder_set_integer_validator(builder_, "k");
    const FixedValueEntry entries[] = {{"x", 1, 0}};
    api().validator_builder_set_fixed_value_validator(builder_, "k", entries, 1);
    EXPECT_EQ(accept("k", "5"),
              SETTINGS_E_REFUSED_LINES);  // the fixed rule replaced the integer rule
    api().validator_builder_set_utf8_validator(builder_, "k");
    EXPECT_EQ(accept("k", "5"), 0);
    EXPECT_EQ(accept("k", "x"), 0);
    api().validator_builder_set_fixed_value_validator(builder_, "k", entries, 1);
    EXPECT_EQ(accept("k", "5"),
              SETTINGS_E_REFUSED_LINES);  // fixed list starts afresh after another rule
}

TEST_F(Rules, UnknownKeysAndKeysWithoutValue) {
    api().validator_builder_set_integer_validator(builder_, "n");
    EXPECT_EQ(importText("other=5", build(), nullptr, false, false), SETTINGS_E_REFUSED_LINES);
    EXPECT_THAT(importErrors(), ::testing::ElementsAre(0));
    // A key without value is never validated, even when the key has no rule.
    EXPECT_EQ(importText("other\nn", build(), nullptr, false, true), 0);
    api().validator_builder_allow_unknown_keys(builder_, 1);
    ASSERT_EQ(importText("other=0x10", build(), nullptr, true, false), 0);
    int n = 0;
    int f = 0;
    double d = 0;
    EXPECT_EQ(api().context_get_integer_value(context_, "other", &n), 0);
    EXPECT_EQ(n, 16);
    EXPECT_EQ(api().context_get_boolean_value(context_, "other", &f), 0);
    EXPECT_EQ(f, 1);
    d = 1;
    EXPECT_EQ(api().context_get_double_value(context_, "other", &d), 0);
    EXPECT_EQ(d, 0.0);  // decimal only: the leading "0" is the number
}

TEST_F(Rules, ValidatorOutlivesItsBuilderAndIsReusable) {
    api().validator_builder_set_integer_validator(builder_, "n");
    const SettingsValidator* v = build();
    api().validator_builder_destroy(builder_);
    builder_ = nullptr;
    EXPECT_EQ(importText("n=1", v, nullptr, true), 0);
    EXPECT_EQ(importText("n=x", v, nullptr, true), SETTINGS_E_REFUSED_LINES);
    EXPECT_EQ(importText("n=2", v, nullptr, true), 0);
    EXPECT_EQ(value("n"), "2");
}

TEST_F(Rules, KeyMappingLastRuleFirstAndNotChained) {
    SettingsKeyMapperBuilder* mb = api().key_mapper_builder_create();
    api().key_mapper_builder_map(mb, "a", "b", 0);
    api().key_mapper_builder_map(mb, "A", "c", 1);
    api().key_mapper_builder_map(mb, "c", "never", 1);
    api().key_mapper_builder_map(mb, "b", "a", 1);
    SettingsKeyMapper* mapper = nullptr;
    ASSERT_EQ(api().key_mapper_builder_create_key_mapper(mb, &mapper), 0);
    api().key_mapper_builder_destroy(mb);
    ASSERT_EQ(importText("A=1\na=2\nx=3", nullptr, mapper), 0);
    EXPECT_EQ(keys(), (std::vector<std::string>{"b", "c", "x"}));
    EXPECT_EQ(value("c"), "1");
    EXPECT_EQ(value("b"), "2");
    api().key_mapper_destroy(mapper);
}

TEST_F(Rules, ValidationAppliesToTheMappedKey) {
    SettingsKeyMapperBuilder* mb = api().key_mapper_builder_create();
    api().key_mapper_builder_map(mb, "OLD_NAME", "n", 0);
    SettingsKeyMapper* mapper = nullptr;
    ASSERT_EQ(api().key_mapper_builder_create_key_mapper(mb, &mapper), 0);
    api().validator_builder_set_integer_validator(builder_, "n");
    EXPECT_EQ(importText("old_name=12", build(), mapper, true), 0);
    EXPECT_EQ(value("n"), "12");
    EXPECT_EQ(importText("old_name=x", build(), mapper, true), SETTINGS_E_REFUSED_LINES);
    api().key_mapper_destroy(mapper);
    api().key_mapper_builder_destroy(mb);
}
