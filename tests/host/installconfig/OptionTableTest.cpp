// The option table, the validator rules, the defaults and the option queries.
#include <set>

#include "InstallConfigTestSupport.h"
#include "SettingsException.h"

namespace {

using OptionTableTest = InstallConfigTest;

std::set<std::string> namesWhere(const std::vector<InstallConfigData::OptionInfo>& options,
                                 bool InstallConfigData::OptionInfo::*field) {
    std::set<std::string> names;
    for (const auto& option : options) {
        if (option.*field) names.insert(option.name);
    }
    return names;
}

int statusOf(SettingsContextHolder& holder, const std::string& line) {
    return holder.importFromString(line.c_str());
}

// The names, their count and their order are checked when the table compiles and by the dumps
// of the configuration; these are the attributes.
TEST_F(OptionTableTest, OptionsCarryTheirAttributes) {
    const auto& options = config_->options();
    using Info = InstallConfigData::OptionInfo;
    EXPECT_EQ(namesWhere(options, &Info::persistent),
              (std::set<std::string>{"INSTALL_SILENT", "AUTO_UPDATE", "SPONSORS", "WEB_ANALYTICS",
                                     "EULA"}));
    EXPECT_EQ(namesWhere(options, &Info::msiProperty),
              (std::set<std::string>{"INSTALL_SILENT", "STATIC", "AUTO_UPDATE", "SPONSORS",
                                     "WEB_CORVID", "WEB_ANALYTICS", "EULA", "OEMUPDATE", "PIP",
                                     "REINSTALL_NO_PROMPT", "INSTALLDIR", "/INSTALLDIRPUBCRE",
                                     "INSTALLCFG", "/installmethod", "WEB_CORVID_SECURITY_LEVEL"}));
    EXPECT_EQ(namesWhere(options, &Info::msiPassThrough),
              (std::set<std::string>{"ADDLOCAL", "REBOOT", "/q", "/l"}));
    EXPECT_EQ(namesWhere(options, &Info::prefixMatch), (std::set<std::string>{"/q", "/l"}));
    EXPECT_EQ(namesWhere(options, &Info::msiexecInput),
              (std::set<std::string>{"INSTALLDIR", "/INSTALLDIRPUBCRE", "INSTALLCFG", "ADDLOCAL",
                                     "REBOOT", "MSI_CMDLINE", "CMDLINE"}));
}

TEST_F(OptionTableTest, GroupIndexesNameTheirOptions) {
    EXPECT_STREQ(flagOptionName(FLAG_INSTALL_SILENT), "INSTALL_SILENT");
    EXPECT_STREQ(flagOptionName(FLAG_AUTO_UPDATE), "AUTO_UPDATE");
    EXPECT_STREQ(flagOptionName(FLAG_TEST_RETRYSPLASH_DIALOG), "TEST_RETRYSPLASH_DIALOG");
    EXPECT_STREQ(stringOptionName(STRING_INSTALLCFG), "INSTALLCFG");
    EXPECT_STREQ(stringOptionName(STRING_INSTALLDIRPUBCRE), "/INSTALLDIRPUBCRE");
    EXPECT_STREQ(stringOptionName(STRING_CMDLINE), "CMDLINE");
    EXPECT_STREQ(integerOptionName(INTEGER_LANG), "/lang");
    EXPECT_STREQ(switchOptionName(SWITCH_LOG), "/l");
}

TEST_F(OptionTableTest, FlagsAcceptExactlyFourTexts) {
    SettingsContextHolder& holder = steps(*config_).exportContext();
    for (int i = 0; i < FLAG_OPTION_COUNT; ++i) {
        const std::string name = flagOptionName(i);
        SCOPED_TRACE(name);
        for (const auto& [text, value] : std::vector<std::pair<std::string, int>>{
                 {"Enable", 1}, {"Disable", 0}, {"1", 1}, {"0", 0}}) {
            ASSERT_EQ(statusOf(holder, name + "=" + text), 0) << text;
            EXPECT_EQ(holder.integerValue(name.c_str()), value) << text;
            EXPECT_EQ(valueOf(holder, name.c_str()), text);
        }
        for (const char* refused : {"enable", "DISABLE", "2", "yes", "true", ""}) {
            EXPECT_EQ(statusOf(holder, name + "=" + refused), SETTINGS_E_REFUSED_LINES) << refused;
        }
    }
}

TEST_F(OptionTableTest, SecurityLevelAcceptsItsEightTextsOnly) {
    SettingsContextHolder& holder = steps(*config_).exportContext();
    const std::vector<std::pair<std::string, int>> accepted = {
        {"1", 1}, {"2", 2}, {"3", 3}, {"4", 4}, {"L", 1}, {"M", 2}, {"H", 3}, {"VH", 4}};
    for (const auto& [text, value] : accepted) {
        ASSERT_EQ(statusOf(holder, "WEB_CORVID_SECURITY_LEVEL=" + text), 0) << text;
        EXPECT_EQ(holder.integerValue("WEB_CORVID_SECURITY_LEVEL"), value);
    }
    // The fixed set replaced the integer rule: other numbers are refused too.
    for (const char* refused : {"5", "0", "VL", "vh", "l", "0x1", "Enable"}) {
        EXPECT_EQ(statusOf(holder, std::string("WEB_CORVID_SECURITY_LEVEL=") + refused),
                  SETTINGS_E_REFUSED_LINES)
            << refused;
    }
}

TEST_F(OptionTableTest, IntegerAndStringOptionsTakeTheirTypes) {
    SettingsContextHolder& holder = steps(*config_).exportContext();
    ASSERT_EQ(statusOf(holder, "/lang=1041"), 0);
    EXPECT_EQ(holder.integerValue("/lang"), 1041);
    ASSERT_EQ(statusOf(holder, "TEST_CONFIG_FILE_ERRORS=0x10"), 0);
    EXPECT_EQ(holder.integerValue("TEST_CONFIG_FILE_ERRORS"), 16);
    EXPECT_EQ(statusOf(holder, "/lang=abc"), SETTINGS_E_REFUSED_LINES);
    for (const char* name : {"COUNTRYOVERRIDE", "/installurl", "/installmethod", "SPONSORPREF",
                             "ADDLOCAL", "REBOOT", "MSI_CMDLINE", "CMDLINE"}) {
        EXPECT_EQ(statusOf(holder, std::string(name) + "=any text: 10"), 0) << name;
        EXPECT_EQ(valueOf(holder, name), "any text: 10");
    }
}

TEST_F(OptionTableTest, DirectoryOptionsNeedADrive) {
    SettingsContextHolder& holder = steps(*config_).exportContext();
    for (const char* name : {"INSTALLDIR", "INSTALLCFG", "/INSTALLDIRPUBCRE"}) {
        SCOPED_TRACE(name);
        // The folder need not exist.
        EXPECT_EQ(statusOf(holder, std::string(name) + "=D:\\kit\\x"), 0);
        EXPECT_EQ(valueOf(holder, name), "D:\\kit\\x");
        for (const char* refused : {"kit", "\\kit", "\\\\server\\share", "D:\\a|b", ""}) {
            EXPECT_EQ(statusOf(holder, std::string(name) + "=" + refused), SETTINGS_E_REFUSED_LINES)
                << refused;
        }
    }
}

TEST_F(OptionTableTest, UnknownKeysAreRefusedAndKeysAreCaseSensitive) {
    SettingsContextHolder& holder = steps(*config_).exportContext();
    EXPECT_EQ(statusOf(holder, "FOO=1"), SETTINGS_E_REFUSED_LINES);
    EXPECT_EQ(statusOf(holder, "installdir=D:\\kit"), SETTINGS_E_REFUSED_LINES);
    EXPECT_EQ(statusOf(holder, "Eula=Enable"), SETTINGS_E_REFUSED_LINES);
    EXPECT_TRUE(holder.isEmpty());
}

TEST_F(OptionTableTest, FreshObjectAnswersFromTheSixDefaults) {
    EXPECT_TRUE(config_->IsFlagEnabled(FLAG_AUTO_UPDATE));
    EXPECT_TRUE(config_->IsFlagEnabled(FLAG_SPONSORS));
    EXPECT_TRUE(config_->IsFlagEnabled(FLAG_WEB_ANALYTICS));
    EXPECT_FALSE(config_->IsFlagEnabled(FLAG_INSTALL_SILENT));
    EXPECT_FALSE(config_->IsFlagEnabled(FLAG_STATIC));
    EXPECT_FALSE(config_->IsFlagEnabled(FLAG_EULA));
    EXPECT_FALSE(config_->IsSilentInstall());
    EXPECT_FALSE(config_->IsStringOptionSet(STRING_INSTALLDIR));
    EXPECT_FALSE(config_->IsIntegerOptionSet(INTEGER_LANG));

    // Exactly the six defaults are in the working context.
    const std::string dump = steps(*config_).DumpConfig(steps(*config_).workingContext(), "t");
    EXPECT_EQ(dump,
              "|------t--------|\n\nINSTALL_SILENT = Disable\nSTATIC = Disable\n"
              "AUTO_UPDATE = Enable\nSPONSORS = Enable\nWEB_ANALYTICS = Enable\n"
              "EULA = Disable\n|-------------------------------------|\n");
    EXPECT_TRUE(logHas(std::string("Default config settings are: \n") + kDefaultConfigText));
}

TEST_F(OptionTableTest, DefaultsAreLoadedOnce) {
    steps(*config_).InitConfig();
    ASSERT_EQ(steps(*config_).workingContext().importFromString("AUTO_UPDATE=Disable"), 0);
    steps(*config_).InitConfig();
    EXPECT_FALSE(config_->IsFlagEnabled(FLAG_AUTO_UPDATE));
    EXPECT_EQ(logMessages("InstallConfigData::InitConfig", "INFO").size(), 1u);
}

TEST_F(OptionTableTest, GettersThrowTheStoreStatusAndIsSetQueriesDoNot) {
    try {
        config_->GetStringOption(STRING_INSTALLDIR);
        FAIL() << "no exception";
    } catch (const settings::Exception& e) {
        EXPECT_EQ(e.code(), SETTINGS_E_KEY_ABSENT);
        EXPECT_STREQ(e.what(), "");
    }
    EXPECT_THROW(config_->GetIntegerOption(INTEGER_LANG), settings::Exception);
    EXPECT_THROW(config_->IsFlagEnabled(FLAG_PIP), settings::Exception);

    ASSERT_EQ(steps(*config_).workingContext().importFromString("INSTALLDIR=D:\\kit\n/lang=2052"),
              0);
    EXPECT_TRUE(config_->IsStringOptionSet(STRING_INSTALLDIR));
    EXPECT_STREQ(config_->GetStringOption(STRING_INSTALLDIR), "D:\\kit");
    EXPECT_EQ(config_->GetIntegerOption(INTEGER_LANG), 2052);
    // A text value read as an integer is refused by the store.
    EXPECT_THROW(config_->IsFlagEnabled(FLAG_PIP), settings::Exception);
}

TEST_F(OptionTableTest, SilentModeRules) {
    struct Case {
        std::string text;
        bool silent;
    };
    const std::vector<Case> cases = {
        {"/s", true},
        {"-download", true},
        {"INSTALL_SILENT=Enable", true},
        {"INSTALL_SILENT=1", true},
        {"INSTALL_SILENT=0", false},
        {"INSTALL_SILENT=Disable", false},
        {"/h", false},
        {"/S", false},
    };
    for (const Case& c : cases) {
        config_ = std::make_unique<InstallConfigData>();
        SettingsContextHolder& working = steps(*config_).workingContext();
        working.setAllowKeyWithoutValue(true);
        ASSERT_EQ(working.importFromString(c.text.c_str()), 0) << c.text;
        EXPECT_EQ(config_->IsSilentInstall(), c.silent) << c.text;
    }
}

TEST_F(OptionTableTest, BareSwitchCountsAsSet) {
    SettingsContextHolder& working = steps(*config_).workingContext();
    working.setAllowKeyWithoutValue(true);
    ASSERT_EQ(working.importFromString("/q"), 0);
    EXPECT_TRUE(config_->IsOptionSet("/q"));
    EXPECT_FALSE(config_->IsOptionSet("/l"));
}

}  // namespace

namespace {

// The start-up sequence made the process-wide instance before main; the free functions answer
// from it.
TEST(ProcessWideInstanceTest, FreeFunctionsAnswerFromTheStartUpInstance) {
    EXPECT_EQ(&InstallConfigData::instance(), &InstallConfigData::instance());
    EXPECT_TRUE(IsFlagEnabled(FLAG_AUTO_UPDATE));
    EXPECT_FALSE(IsFlagEnabled(FLAG_INSTALL_SILENT));
    EXPECT_FALSE(IsSilentInstall());
    EXPECT_FALSE(IsStringOptionSet(STRING_INSTALLDIR));
    EXPECT_FALSE(IsIntegerOptionSet(INTEGER_LANG));
    EXPECT_THROW(GetStringOption(STRING_INSTALLDIR), settings::Exception);
    EXPECT_THROW(GetIntegerOption(INTEGER_LANG), settings::Exception);
}

}  // namespace
