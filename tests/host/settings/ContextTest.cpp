// Contexts: imports and their merge, error lists, erase, comparison, iteration, file paths and
// export.
#include <gmock/gmock.h>

#include <signal.h>
#include <sys/resource.h>

#include "SettingsFixture.h"

using namespace settings_test;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

class ContextImport : public DriveFixture {};

TEST_F(ContextImport, RefusedLinesAreSkippedAndListedWithoutStopping) {
    ASSERT_EQ(importText("old=1"), 0);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(importText("a=1\n=x\nb=2\nc=3\nnovalue\nd=4"), SETTINGS_E_REFUSED_LINES);
    const std::string errors = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(errors,
              "Error reading config file: \"Empty key\" at line 2; char 1\n"
              "Error reading config file: \"Key without value\" at line 5; char 1\n");
    EXPECT_THAT(importErrors(), ElementsAre(1, 4));
    EXPECT_EQ(keys(), (std::vector<std::string>{"a", "b", "c", "d", "old"}));
}

TEST_F(ContextImport, StopOnFirstErrorLeavesSettingsUnchanged) {
    ASSERT_EQ(importText("old=1"), 0);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(importText("a=1\n=x\nb=2\nc=3\nnovalue\nd=4", nullptr, nullptr, true),
              SETTINGS_E_REFUSED_LINES);
    ::testing::internal::GetCapturedStderr();
    EXPECT_THAT(importErrors(), ElementsAre(1));
    EXPECT_EQ(keys(), (std::vector<std::string>{"old"}));
}

TEST_F(ContextImport, ASuccessfulImportEmptiesTheErrorList) {
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(importText("=x"), SETTINGS_E_REFUSED_LINES);
    ::testing::internal::GetCapturedStderr();
    EXPECT_THAT(importErrors(), ElementsAre(0));
    EXPECT_EQ(importText("a=1"), 0);
    EXPECT_THAT(importErrors(), IsEmpty());
}

TEST_F(ContextImport, FailuresBeforeParsingKeepTheErrorListOrEmptyIt) {
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(importText("=x"), SETTINGS_E_REFUSED_LINES);
    ::testing::internal::GetCapturedStderr();
    // A refused path ends the import before the list is touched ...
    EXPECT_EQ(api().context_import_from_file(context_, "C:/a|b", nullptr, nullptr, 1, 0),
              SETTINGS_E_PATH_INVALID);
    EXPECT_THAT(importErrors(), ElementsAre(0));
    // ... an unreadable file after it was emptied.
    EXPECT_EQ(api().context_import_from_file(context_, "C:/none", nullptr, nullptr, 1, 0),
              SETTINGS_E_FILE_OPEN);
    EXPECT_THAT(importErrors(), IsEmpty());
    EXPECT_EQ(importText("a=\xFF"), SETTINGS_E_TEXT_NOT_UTF8);
}

TEST_F(ContextImport, MergeReplacesValuesAndKeyWithoutValueDropsTheValue) {
    ASSERT_EQ(importText("k=1\nkeep=2"), 0);
    SettingsContext* source = api().context_create();
    ASSERT_EQ(importText("k\nnew=3", nullptr, nullptr, true, true, source), 0);
    ASSERT_EQ(api().context_import_from_context(context_, source), 0);
    EXPECT_EQ(keys(), (std::vector<std::string>{"k", "keep", "new"}));
    EXPECT_EQ(value("k"), "<" + std::to_string(SETTINGS_E_NO_VALUE_OR_WRONG_TYPE) + ">");
    int f = 0;
    EXPECT_EQ(api().context_get_boolean_value(context_, "k", &f), 0);
    EXPECT_EQ(f, 1);
    EXPECT_EQ(value("keep"), "2");
    EXPECT_EQ(keys(source), (std::vector<std::string>{"k", "new"}));  // source unchanged
    api().context_destroy(source);
}

TEST_F(ContextImport, MergeKeepsTypesOfCopiedValues) {
    SettingsValidatorBuilder* b = api().validator_builder_create();
    const FixedValueEntry entries[] = {{"Enable", 1, 1}, {"Disable", 0, 1}};
    api().validator_builder_set_fixed_value_validator(b, "flag", entries, 2);
    SettingsValidator* v = nullptr;
    api().validator_builder_create_validator(b, &v);
    SettingsContext* source = api().context_create();
    ASSERT_EQ(importText("flag=Disable", v, nullptr, true, false, source), 0);
    ASSERT_EQ(api().context_import_from_context(context_, source), 0);
    int n = -1;
    EXPECT_EQ(api().context_get_integer_value(context_, "flag", &n), 0);
    EXPECT_EQ(n, 0);
    EXPECT_EQ(value("flag"), "Disable");
    api().context_destroy(source);
    api().validator_destroy(v);
    api().validator_builder_destroy(b);
}

class ContextQueries : public DriveFixture {};

TEST_F(ContextQueries, EraseAndGetters) {
    ASSERT_EQ(importText("a=1\nbare", nullptr, nullptr, true, true), 0);
    int f = 0;
    EXPECT_EQ(api().context_get_boolean_value(context_, "absent", &f), SETTINGS_E_KEY_ABSENT);
    EXPECT_EQ(api().context_erase_key(context_, "absent"), SETTINGS_E_KEY_ABSENT);
    EXPECT_EQ(api().context_erase_key(context_, "bare"), 0);
    EXPECT_EQ(keys(), (std::vector<std::string>{"a"}));
    EXPECT_EQ(api().context_erase_key(context_, "A"),
              SETTINGS_E_KEY_ABSENT);  // keys are case-sensitive
    EXPECT_EQ(api().context_erase_key(context_, "a"), 0);
    int empty = 0;
    EXPECT_EQ(api().context_is_empty(context_, &empty), 0);
    EXPECT_EQ(empty, 1);
}

TEST_F(ContextQueries, IterationWalksACopyOfTheKeys) {
    ASSERT_EQ(importText("c=3\na=1\nb=2"), 0);
    struct Walk {
        std::vector<std::string> seen;
        std::vector<int> indexes;
        int count = 0;
    } walk;
    ASSERT_EQ(api().context_iterate_keys(
                  context_,
                  [](SettingsContext* c, int count, int index, const char* key, void* user) {
                      auto* w = static_cast<Walk*>(user);
                      w->seen.push_back(key);
                      w->indexes.push_back(index);
                      w->count = count;
                      api().context_erase_key(c, key);  // changes the context under the walk
                  },
                  &walk),
              0);
    EXPECT_EQ(walk.seen, (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(walk.indexes, (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(walk.count, 3);
    EXPECT_THAT(keys(), IsEmpty());
}

TEST_F(ContextQueries, Equality) {
    SettingsContext* other = api().context_create();
    int equal = -1;
    EXPECT_EQ(api().context_is_equal(context_, context_, &equal), 0);
    EXPECT_EQ(equal, 1);
    ASSERT_EQ(importText("a\nb=1", nullptr, nullptr, true, true), 0);
    ASSERT_EQ(importText("a\nb=2", nullptr, nullptr, true, true, other), 0);
    EXPECT_EQ(api().context_is_equal(context_, other, &equal), 0);
    EXPECT_EQ(equal, 0);
    ASSERT_EQ(importText("b=1", nullptr, nullptr, true, true, other), 0);
    EXPECT_EQ(api().context_is_equal(context_, other, &equal), 0);
    EXPECT_EQ(equal, 1);

    // The first has a value where the second has none: reported as
    // SETTINGS_E_NO_VALUE_OR_WRONG_TYPE, out left alone.
    ASSERT_EQ(importText("a=x", nullptr, nullptr, true, true), 0);
    equal = -1;
    EXPECT_EQ(api().context_is_equal(context_, other, &equal), SETTINGS_E_NO_VALUE_OR_WRONG_TYPE);
    EXPECT_EQ(equal, -1);
    EXPECT_EQ(api().context_is_equal(other, context_, &equal), 0);
    EXPECT_EQ(equal, 0);
    api().context_destroy(other);
}

TEST_F(ContextQueries, EqualityComparesTypedValuesByValue) {
    SettingsValidatorBuilder* b = api().validator_builder_create();
    api().validator_builder_set_integer_validator(b, "n");
    SettingsValidator* v = nullptr;
    api().validator_builder_create_validator(b, &v);
    SettingsContext* other = api().context_create();
    ASSERT_EQ(importText("n=0x10", v), 0);
    ASSERT_EQ(importText("n=16", v, nullptr, false, false, other), 0);
    int equal = -1;
    EXPECT_EQ(api().context_is_equal(context_, other, &equal), 0);
    EXPECT_EQ(equal, 1);
    ASSERT_EQ(importText("n=16", nullptr, nullptr, false, false, other), 0);  // untyped now
    EXPECT_EQ(api().context_is_equal(context_, other, &equal), 0);
    EXPECT_EQ(equal, 0);
    api().context_destroy(other);
    api().validator_destroy(v);
    api().validator_builder_destroy(b);
}

TEST_F(ContextQueries, SystemConfigFilePathBelowSharedDataFolder) {
    const char* path = nullptr;
    ASSERT_EQ(api().context_get_system_config_file_path(context_, &path), 0);
    EXPECT_STREQ(path, "C:\\ProgramData\\Quillon\\Corvid\\corvid.settings.cfg");
}

class Paths : public DriveFixture {
  protected:
    int importFile(const std::string& path) {
        return api().context_import_from_file(context_, path.c_str(), nullptr, nullptr, 1, 0);
    }
};

TEST_F(Paths, RelativePathsAndDotDotResolveAgainstTheCurrentDirectory) {
    std::filesystem::create_directories(host("w"));
    writeFile(host("x"), "k=root");
    writeFile(host("work/y"), "k=work");
    settings_impl::host::setCurrentDirectory("C:/w");
    EXPECT_EQ(importFile("a/../../x"), 0);
    EXPECT_EQ(value("k"), "root");
    settings_impl::host::setCurrentDirectory("C:\\work\\");
    EXPECT_EQ(importFile(".\\y"), 0);
    EXPECT_EQ(value("k"), "work");
    EXPECT_EQ(importFile("C:/work/./sub/..//y"), 0);
    EXPECT_EQ(importFile("c:/.."), SETTINGS_E_PATH_INVALID);
    EXPECT_EQ(importFile("../../x"), SETTINGS_E_PATH_INVALID);
    EXPECT_EQ(importFile(""), SETTINGS_E_PATH_INVALID);
    EXPECT_EQ(importFile("/./"), SETTINGS_E_PATH_INVALID);
}

TEST_F(Paths, ComponentsAreChecked) {
    writeFile(host("con"), "k=1");
    writeFile(host("CON.txt"), "k=1");
    EXPECT_EQ(importFile("C:/con"), 0);
    EXPECT_EQ(importFile("C:/CON.txt"), 0);
    for (const char* bad : {"C:/CON", "C:/x/LPT9/y", "C:/a<b", "C:/a>b", "C:/a\"b", "C:/a|b",
                            "C:/a?b", "C:/a*b", "C:/a:b", "C:/D:/x", "C:/a\tb"}) {
        EXPECT_EQ(importFile(bad), SETTINGS_E_PATH_INVALID) << bad;
    }
    EXPECT_EQ(importFile("C:/a\xFF"), SETTINGS_E_PATH_NOT_UTF8);
    EXPECT_EQ(importFile("C:/\xC0\x80"),
              SETTINGS_E_UNEXPECTED);  // passes the check, fails strict conversion
}

TEST_F(Paths, LengthLimitAppliesToTheTextAndTheResolvedPath) {
    const std::string name259 = "C:/" + std::string(256, 'a');
    EXPECT_EQ(importFile(name259), SETTINGS_E_FILE_OPEN);  // accepted, but no such file
    EXPECT_EQ(importFile(name259 + "a"), SETTINGS_E_PATH_TOO_LONG);
    // Short text that grows beyond the limit with the current directory.
    settings_impl::host::setCurrentDirectory("C:/" + std::string(250, 'w'));
    EXPECT_EQ(importFile("abcdefghij"), SETTINGS_E_PATH_TOO_LONG);
}

TEST_F(Paths, CurrentDirectoryProblemsAreUnexpectedFailures) {
    settings_impl::host::setCurrentDirectory("\\\\server\\share");
    EXPECT_EQ(importFile("relative.cfg"), SETTINGS_E_UNEXPECTED);
    EXPECT_EQ(importFile("C:/absolute.cfg"), SETTINGS_E_FILE_OPEN);
}

class Export : public DriveFixture {};

TEST_F(Export, CreatesMissingFoldersAndReplacesAnExistingFile) {
    ASSERT_EQ(importText("a=1"), 0);
    ASSERT_EQ(api().context_export_to_file(context_, "C:\\one\\two\\three\\s.cfg"), 0);
    EXPECT_EQ(readFile(host("one/two/three/s.cfg")), "a=1\n");
    ASSERT_EQ(importText("b=2"), 0);
    ASSERT_EQ(api().context_export_to_file(context_, "C:/one/two/three/s.cfg"), 0);
    EXPECT_EQ(readFile(host("one/two/three/s.cfg")), "a=1\nb=2\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(host("one/two/three")),
                            std::filesystem::directory_iterator()),
              1);
}

TEST_F(Export, FoldersThatCannotBeMadeAre311) {
    writeFile(host("blocker"), "x");
    EXPECT_EQ(api().context_export_to_file(context_, "C:/blocker/sub/s.cfg"),
              SETTINGS_E_PATH_INVALID);
    EXPECT_EQ(api().context_export_to_file(context_, "C:/new/file/../x/CON"),
              SETTINGS_E_PATH_INVALID);
    EXPECT_FALSE(std::filesystem::exists(host("new")));  // refused before any folder is made
    EXPECT_EQ(api().context_export_to_file(context_, "E:/unmapped/s.cfg"), SETTINGS_E_PATH_INVALID);
    EXPECT_EQ(api().context_export_to_file(context_, "E:/s.cfg"), SETTINGS_E_FILE_OPEN);
}

TEST_F(Export, AFailedWriteLeavesTheEarlierFileAndNoTemporaryFile) {
    ASSERT_EQ(importText("a=1"), 0);
    ASSERT_EQ(api().context_export_to_file(context_, "C:/keep/s.cfg"), 0);
    std::string big = "big=";
    big.append(100000, 'x');
    ASSERT_EQ(importText(big), 0);

    // Let the kernel refuse writes past 1000 bytes.
    struct rlimit saved {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 1000;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const int status = api().context_export_to_file(context_, "C:/keep/s.cfg");
    setrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, oldHandler);

    EXPECT_EQ(status, SETTINGS_E_FILE_WRITE);
    EXPECT_EQ(readFile(host("keep/s.cfg")), "a=1\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(host("keep")),
                            std::filesystem::directory_iterator()),
              1);
}

TEST_F(Export, AnUnwritableFolderIs304AndKeepsTheFile) {
    ASSERT_EQ(api().context_export_to_file(context_, "C:/ro/s.cfg"), 0);
    std::filesystem::permissions(
        host("ro"), std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    ASSERT_EQ(importText("a=1"), 0);
    const int status = api().context_export_to_file(context_, "C:/ro/s.cfg");
    std::filesystem::permissions(host("ro"), std::filesystem::perms::owner_all);
    if (geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders";
    EXPECT_EQ(status, SETTINGS_E_FILE_OPEN);
    EXPECT_EQ(readFile(host("ro/s.cfg")), " ");
}

TEST_F(Export, ReplacingKeepsThePermissionsOfTheFile) {
    ASSERT_EQ(api().context_export_to_file(context_, "C:/p.cfg"), 0);
    std::filesystem::permissions(
        host("p.cfg"), std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    ASSERT_EQ(importText("a=1"), 0);
    ASSERT_EQ(api().context_export_to_file(context_, "C:/p.cfg"), 0);
    EXPECT_EQ(std::filesystem::status(host("p.cfg")).permissions(),
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
}

TEST_F(Export, ExportThenImportGivesAnEqualContext) {
    ASSERT_EQ(importText("k=v = w\nbare\n z : 1 \n\xE2\x82\xAC=\xE2\x82\xAC", nullptr, nullptr,
                         true, true),
              0);
    ASSERT_EQ(api().context_export_to_file(context_, "round.cfg"), 0);
    SettingsContext* back = api().context_create();
    ASSERT_EQ(api().context_import_from_file(back, "C:/work/round.cfg", nullptr, nullptr, 1, 1), 0);
    int equal = 0;
    EXPECT_EQ(api().context_is_equal(context_, back, &equal), 0);
    EXPECT_EQ(equal, 1);
    api().context_destroy(back);
}
