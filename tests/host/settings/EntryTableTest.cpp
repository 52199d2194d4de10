// The entry table: slot order, argument checks, status conversion and out arguments.
#include <gmock/gmock.h>

#include "SettingsException.h"
#include "SettingsFixture.h"

using namespace settings_test;

TEST(EntryTable, SlotsHoldTheEntriesInTheirOrder) {
    void* slots[32] = {};
    static_assert(sizeof(slots) == sizeof(SettingsFunctions));
    settings_get_functions(reinterpret_cast<SettingsFunctions*>(slots));
    for (void* slot : slots) EXPECT_NE(slot, nullptr);
    const SettingsFunctions& t = api();
    EXPECT_EQ(slots[0], reinterpret_cast<void*>(t.context_create));
    EXPECT_EQ(slots[4], reinterpret_cast<void*>(t.context_import_from_string));
    EXPECT_EQ(slots[15], reinterpret_cast<void*>(t.context_erase_key));
    EXPECT_EQ(slots[16], reinterpret_cast<void*>(t.validator_destroy));
    EXPECT_EQ(slots[25], reinterpret_cast<void*>(t.validator_builder_set_fixed_value_validator));
    EXPECT_EQ(slots[31], reinterpret_cast<void*>(t.key_mapper_builder_map));
    settings_get_functions(nullptr);  // ignored
}

class EntryChecks : public DriveFixture {};

TEST_F(EntryChecks, NullRequiredPointersAre300AndChangeNothing) {
    const SettingsFunctions& t = api();
    SettingsContext* c = context_;
    const char* text = nullptr;
    int n = 7;
    double d = 0;
    const int* lines = nullptr;
    EXPECT_EQ(t.context_get_system_config_file_path(nullptr, &text), SETTINGS_E_NULL_ARGUMENT);
    EXPECT_EQ(t.context_get_system_config_file_path(c, nullptr), SETTINGS_E_NULL_ARGUMENT);
    EXPECT_EQ(t.context_import_from_file(c, nullptr, nullptr, nullptr, 1, 0),
              SETTINGS_E_NULL_ARGUMENT);
    EXPECT_EQ(t.context_import_from_string(nullptr, "a=1", nullptr, nullptr, 1, 0),
              SETTINGS_E_NULL_ARGUMENT);
    EXPECT_EQ(t.context_import_from_string(c, nullptr, nullptr, nullptr, 1, 0),
              SETTINGS_E_NULL_ARGUMENT);
    EXPECT_EQ(t.context_import_from_context(c, nullptr), SETTINGS_E_NULL_ARGUMENT);
    EXPECT_EQ(t.context_get_last_import_errors(c, &lines, nullptr), SETTINGS_E_NULL_ARGUMENT);
    EXPECT_EQ(t.context_get_last_import_errors(c, nullptr, &n), SETTINGS_E_NULL_ARGUMENT);
    EXPECT_EQ(t.context_export_to_file(c, nullptr), SETTINGS_E_NULL_ARGUMENT);
    EXPECT_EQ(t.context_is_empty(c, nullptr), SETTINGS_E_NULL_ARGUMENT);
    EXPECT_EQ(t.context_is_equal(c, nullptr, &n), SETTINGS_E_NULL_ARGUMENT);
    EXPECT_EQ(t.context_iterate_keys(c, nullptr, nullptr), SETTINGS_E_NULL_ARGUMENT);
    EXPECT_EQ(t.context_get_utf8_value(c, nullptr, &text), SETTINGS_E_NULL_ARGUMENT);
    EXPECT_EQ(t.context_get_boolean_value(c, "k", nullptr), SETTINGS_E_NULL_ARGUMENT);
    EXPECT_EQ(t.context_get_integer_value(nullptr, "k", &n), SETTINGS_E_NULL_ARGUMENT);
    EXPECT_EQ(t.context_get_double_value(c, "k", nullptr), SETTINGS_E_NULL_ARGUMENT);
    EXPECT_EQ(t.context_erase_key(c, nullptr), SETTINGS_E_NULL_ARGUMENT);
    EXPECT_EQ(t.validator_builder_create_validator(nullptr, nullptr), SETTINGS_E_NULL_ARGUMENT);
    EXPECT_EQ(t.validator_builder_set_utf8_validator(nullptr, "k"), SETTINGS_E_NULL_ARGUMENT);
    EXPECT_EQ(t.validator_builder_set_integer_validator(nullptr, "k"), SETTINGS_E_NULL_ARGUMENT);
    EXPECT_EQ(t.validator_builder_set_boolean_validator(nullptr, "k"), SETTINGS_E_NULL_ARGUMENT);
    EXPECT_EQ(t.validator_builder_set_double_validator(nullptr, "k"), SETTINGS_E_NULL_ARGUMENT);
    EXPECT_EQ(t.validator_builder_allow_unknown_keys(nullptr, 1), SETTINGS_E_NULL_ARGUMENT);
    EXPECT_EQ(t.validator_builder_set_dirname_validator(nullptr, "k", 0), SETTINGS_E_NULL_ARGUMENT);
    EXPECT_EQ(t.key_mapper_builder_create_key_mapper(nullptr, nullptr), SETTINGS_E_NULL_ARGUMENT);
    EXPECT_EQ(t.key_mapper_builder_map(nullptr, "a", "b", 0), SETTINGS_E_NULL_ARGUMENT);
    EXPECT_EQ(n, 7);
    EXPECT_EQ(d, 0);

    SettingsValidatorBuilder* b = t.validator_builder_create();
    EXPECT_EQ(t.validator_builder_set_utf8_validator(b, nullptr), SETTINGS_E_NULL_ARGUMENT);
    EXPECT_EQ(t.validator_builder_set_fixed_value_validator(b, "k", nullptr, 1),
              SETTINGS_E_NULL_ARGUMENT);
    // An entry without text is refused before any entry is taken.
    const FixedValueEntry entries[] = {{"x", 1, 0}, {nullptr, 2, 0}};
    EXPECT_EQ(t.validator_builder_set_fixed_value_validator(b, "k", entries, 2),
              SETTINGS_E_NULL_ARGUMENT);
    SettingsValidator* v = nullptr;
    ASSERT_EQ(t.validator_builder_create_validator(b, &v), 0);
    EXPECT_EQ(importText("k=x", v), SETTINGS_E_REFUSED_LINES);  // no rule for k was set
    t.validator_destroy(v);
    t.validator_builder_destroy(b);

    SettingsKeyMapperBuilder* mb = t.key_mapper_builder_create();
    EXPECT_EQ(t.key_mapper_builder_map(mb, "a", nullptr, 0), SETTINGS_E_NULL_ARGUMENT);
    EXPECT_EQ(t.key_mapper_builder_map(mb, nullptr, "b", 0), SETTINGS_E_NULL_ARGUMENT);
    t.key_mapper_builder_destroy(mb);

    EXPECT_EQ(keys(), std::vector<std::string>());
    t.context_destroy(nullptr);
    t.validator_destroy(nullptr);
    t.validator_builder_destroy(nullptr);
    t.key_mapper_destroy(nullptr);
    t.key_mapper_builder_destroy(nullptr);
}

TEST_F(EntryChecks, OutArgumentsAreWrittenOnlyOnSuccess) {
    ASSERT_EQ(importText("s=abc\nn=5\nbare", nullptr, nullptr, true, true), 0);
    int n = 99;
    double d = 9.5;
    const char* text = "unchanged";
    EXPECT_EQ(api().context_get_integer_value(context_, "absent", &n), SETTINGS_E_KEY_ABSENT);
    EXPECT_EQ(api().context_get_double_value(context_, "absent", &d), SETTINGS_E_KEY_ABSENT);
    EXPECT_EQ(api().context_get_integer_value(context_, "bare", &n),
              SETTINGS_E_NO_VALUE_OR_WRONG_TYPE);
    EXPECT_EQ(api().context_get_double_value(context_, "bare", &d),
              SETTINGS_E_NO_VALUE_OR_WRONG_TYPE);
    EXPECT_EQ(api().context_get_integer_value(context_, "s", &n), SETTINGS_E_INVALID_TEXT);
    EXPECT_EQ(api().context_get_double_value(context_, "s", &d), SETTINGS_E_INVALID_TEXT);
    EXPECT_EQ(api().context_get_utf8_value(context_, "absent", &text), SETTINGS_E_KEY_ABSENT);
    EXPECT_EQ(n, 99);
    EXPECT_EQ(d, 9.5);
    EXPECT_STREQ(text, "unchanged");
    EXPECT_EQ(api().context_get_integer_value(context_, "n", &n), 0);
    EXPECT_EQ(n, 5);
}

TEST_F(EntryChecks, FreshContextHasNoErrorsAndIteratesWithoutUserData) {
    const int* lines = reinterpret_cast<const int*>(this);
    int count = -1;
    EXPECT_EQ(api().context_get_last_import_errors(context_, &lines, &count), 0);
    EXPECT_EQ(lines, nullptr);
    EXPECT_EQ(count, 0);
    ASSERT_EQ(importText("a=1"), 0);
    static int calls;
    calls = 0;
    EXPECT_EQ(
        api().context_iterate_keys(
            context_, [](SettingsContext*, int, int, const char*, void*) { ++calls; }, nullptr),
        0);
    EXPECT_EQ(calls, 1);
}

TEST_F(EntryChecks, UntypedFileImportWithoutValidatorOrMapper) {
    writeFile(host("work/plain.cfg"), "INSTALLDIR=C:\\x\r\nnum=0x20\r\n");
    ASSERT_EQ(api().context_import_from_file(context_, "plain.cfg", nullptr, nullptr, 1, 0), 0);
    EXPECT_EQ(value("INSTALLDIR"), "C:\\x");
    int n = 0;
    EXPECT_EQ(api().context_get_integer_value(context_, "num", &n), 0);
    EXPECT_EQ(n, 32);
}

TEST_F(EntryChecks, ContextCreateLetsThePathFailureThrough) {
    settings_impl::host::setCommonAppDataFolder(u"", false);
    try {
        SettingsContext* c = api().context_create();
        api().context_destroy(c);
        ADD_FAILURE() << "no exception";
    } catch (const settings::Exception& e) {
        EXPECT_EQ(e.code(), SETTINGS_E_UNEXPECTED);
    }
    // An unpaired surrogate cannot become UTF-8.
    settings_impl::host::setCommonAppDataFolder(std::u16string(1, char16_t(0xDC00)));
    EXPECT_THROW(api().context_create(), settings::Exception);
    settings_impl::host::setCommonAppDataFolder(u"C:\\ProgramData");
}

TEST(SettingsExceptions, CodesAndHierarchy) {
    const settings::ExceptionCode<SETTINGS_E_NO_VALUE_OR_WRONG_TYPE> e;
    const settings::Exception& base = e;
    const std::runtime_error& runtime = e;
    EXPECT_EQ(base.code(), SETTINGS_E_NO_VALUE_OR_WRONG_TYPE);
    EXPECT_STREQ(runtime.what(), "");
}
