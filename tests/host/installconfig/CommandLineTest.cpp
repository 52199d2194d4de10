// Recognition and import of command-line arguments.
#include "InstallConfigTestSupport.h"

namespace {

using CommandLineTest = InstallConfigTest;
constexpr const char* kArgsFunction = "InstallConfigData::ImportArgsConfigSettings";

std::string matched(InstallConfigData& config, const std::string& argument) {
    const InstallConfigData::OptionInfo* option = config.FindOption(argument);
    return option != nullptr ? option->name : "<none>";
}

TEST_F(CommandLineTest, ArgumentsFindTheirOptions) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"/qn", "/q"},
        {"/QN", "/q"},
        {"/q", "/q"},
        {"/lv*", "/l"},
        {"/lang=1041", "/lang"},
        {"/lang", "/l"},  // bare: no value, so only the "/l" prefix fits
        {"/LANG:1041", "/lang"},
        {"/s", "/s"},
        {"/S", "/s"},
        {"/h", "/h"},
        {"/help", "<none>"},  // "/h" is matched exactly
        {"/s=1", "<none>"},   // a switch never takes a value
        {"/q=1", "<none>"},
        {"INSTALL_SILENT", "<none>"},  // an option with value never matches a bare argument
        {"INSTALLDIR=D:\\kit", "INSTALLDIR"},
        {"INSTALLDIR:D:\\kit", "INSTALLDIR"},
        {"installdir=D:\\kit", "INSTALLDIR"},
        {"/INSTALLDIRPUBCRE=D:\\x", "/INSTALLDIRPUBCRE"},
        {"INSTALLDIRX=1", "<none>"},
        {"-DOWNLOAD", "-download"},
        {"-no_override", "-no_override"},
        {"=1", "<none>"},
        {"/", "<none>"},
        {"", "<none>"},
    };
    for (const auto& [argument, option] : cases) {
        EXPECT_EQ(matched(*config_, argument), option) << argument;
    }
    EXPECT_TRUE(InstallConfigData::IsSwitchName("-no_override"));
    EXPECT_FALSE(InstallConfigData::IsSwitchName("/S"));
    EXPECT_FALSE(InstallConfigData::IsSwitchName("/lang"));
}

TEST_F(CommandLineTest, OnlyTheProgramPathImportsNothing) {
    SettingsContextHolder& holder = steps(*config_).exportContext();
    clearLog();
    EXPECT_EQ(importArgs(holder, {}), 0);
    EXPECT_TRUE(holder.isEmpty());
    EXPECT_TRUE(holder.allowKeyWithoutValue());
    const std::vector<std::string> messages = logMessages();
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_EQ(messages[0], "Entering InstallConfigData::ImportArgsConfigSettings");
    EXPECT_EQ(messages[1], "...Importing command line arguments");
    EXPECT_EQ(messages[2].rfind("Exiting InstallConfigData::ImportArgsConfigSettings", 0), 0u);
    EXPECT_TRUE(boxes_.empty());
}

TEST_F(CommandLineTest, QuietSwitchesArePassedThroughAndSetByName) {
    SettingsContextHolder& working = steps(*config_).workingContext();
    ASSERT_EQ(importArgs(working, {"/QN", "REBOOT=ReallySuppress", "", "/s"}), 0);
    EXPECT_TRUE(hasKey(working, "/q"));
    EXPECT_FALSE(hasKey(working, "/QN"));
    EXPECT_EQ(valueOf(working, "MSI_CMDLINE"), "/QN REBOOT=ReallySuppress");
    EXPECT_EQ(valueOf(working, "REBOOT"), "ReallySuppress");
    EXPECT_TRUE(config_->IsSilentInstall());
    EXPECT_EQ(logMessages(kArgsFunction, "INFO"),
              std::vector<std::string>{"...adding MSICMDLINE to settingsConfig"});
    EXPECT_TRUE(logMessages(kArgsFunction, "ERROR").empty());
}

TEST_F(CommandLineTest, LogSwitchTakesTheNextElementAsItsFile) {
    SettingsContextHolder& working = steps(*config_).workingContext();
    ASSERT_EQ(importArgs(working, {"/lv*", "C:\\x.log", "ADDLOCAL=ToolsFeature"}), 0);
    EXPECT_EQ(valueOf(working, "MSI_CMDLINE"), "/lv* C:\\x.log ADDLOCAL=ToolsFeature");
    EXPECT_FALSE(hasKey(working, "/l"));
    EXPECT_FALSE(hasKey(working, "C:\\x.log"));
    EXPECT_EQ(valueOf(working, "ADDLOCAL"), "ToolsFeature");
}

TEST_F(CommandLineTest, BareLangIsALogSwitchWithItsFile) {
    SettingsContextHolder& working = steps(*config_).workingContext();
    ASSERT_EQ(importArgs(working, {"/lang", "1041"}), 0);
    EXPECT_EQ(valueOf(working, "MSI_CMDLINE"), "/lang 1041");
    EXPECT_FALSE(config_->IsIntegerOptionSet(INTEGER_LANG));
    ASSERT_EQ(importArgs(working, {"/lang=1041"}), 0);
    EXPECT_EQ(config_->GetIntegerOption(INTEGER_LANG), 1041);
}

TEST_F(CommandLineTest, LogSwitchAsLastElementIsRefused) {
    SettingsContextHolder& working = steps(*config_).workingContext();
    EXPECT_EQ(importArgs(working, {"/qn", "/l"}), SETTINGS_E_REFUSED_LINES);
    EXPECT_EQ(logMessages(kArgsFunction, "ERROR"), std::vector<std::string>{"arg /l is incorrect"});
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].text,
              "Unable to install Corvid\n\nThere are errors in the following command line "
              "switches:\n\"/l\";.\n\nCheck that the commands are valid and try again.");
    // The pass-through text still reaches the context.
    EXPECT_EQ(valueOf(working, "MSI_CMDLINE"), "/qn /l");
}

TEST_F(CommandLineTest, CaseOfSwitchesDecidesWhetherTheyAreSet) {
    SettingsContextHolder& working = steps(*config_).workingContext();
    EXPECT_EQ(importArgs(working, {"/s"}), 0);
    EXPECT_TRUE(config_->IsOptionSet("/s"));

    config_ = std::make_unique<InstallConfigData>();
    boxes_.clear();
    clearLog();
    SettingsContextHolder& other = steps(*config_).workingContext();
    EXPECT_EQ(importArgs(other, {"/S"}), SETTINGS_E_REFUSED_LINES);
    // Imported under the key as typed, which does not make "/s" set.
    EXPECT_TRUE(hasKey(other, "/S"));
    EXPECT_FALSE(config_->IsSilentInstall());
    EXPECT_EQ(logMessages(kArgsFunction, "ERROR"),
              std::vector<std::string>{"Loading arg /S failed with 313"});
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_FALSE(boxes_[0].suppressed);
}

TEST_F(CommandLineTest, AllRefusedArgumentsAreListedInOneMessage) {
    SettingsContextHolder& working = steps(*config_).workingContext();
    const int status = importArgs(working, {"X=1", "/z", "INSTALLDIR=D:\\kit", "installdir=D:\\k",
                                            "INSTALL_SILENT=Maybe", "/s=1", "/help"});
    EXPECT_EQ(status, SETTINGS_E_REFUSED_LINES);
    EXPECT_EQ(
        logMessages(kArgsFunction, "ERROR"),
        (std::vector<std::string>{"arg X=1 is not supported", "arg /z is not supported",
                                  "Loading arg installdir=D:\\k failed with 313",
                                  "Loading arg INSTALL_SILENT=Maybe failed with 313",
                                  "arg /s=1 is not supported", "arg /help is not supported"}));
    ASSERT_EQ(boxes_.size(), 1u);
    const MessageBoxRecord& box = boxes_[0];
    EXPECT_EQ(box.caption, "Corvid Installation Not Completed");
    EXPECT_EQ(box.icon, kMessageIconError);
    EXPECT_EQ(box.text,
              "Unable to install Corvid\n\nThere are errors in the following command line "
              "switches:\n\"X=1\";\"/z\";\"installdir=D:\\k\";\"INSTALL_SILENT=Maybe\";\"/s=1\";"
              "\"/help\";.\n\nCheck that the commands are valid and try again.");
    EXPECT_TRUE(logHas(box.text));
    // The good argument was imported all the same; the refused ones changed nothing.
    EXPECT_EQ(valueOf(working, "INSTALLDIR"), "D:\\kit");
    EXPECT_EQ(valueOf(working, "INSTALL_SILENT"), "Disable");
}

TEST_F(CommandLineTest, MessageIsSuppressedWhenAskedOrSilent) {
    SettingsContextHolder& working = steps(*config_).workingContext();
    EXPECT_EQ(importArgs(working, {"X=1"}, true), SETTINGS_E_REFUSED_LINES);
    EXPECT_EQ(importArgs(working, {"/s", "Y=1"}, false), SETTINGS_E_REFUSED_LINES);
    EXPECT_EQ(importArgs(working, {"-download"}), 0);
    config_ = std::make_unique<InstallConfigData>();
    SettingsContextHolder& other = steps(*config_).workingContext();
    EXPECT_EQ(importArgs(other, {"INSTALL_SILENT=Enable", "Z=1"}), SETTINGS_E_REFUSED_LINES);
    ASSERT_EQ(boxes_.size(), 3u);
    for (const MessageBoxRecord& box : boxes_) EXPECT_TRUE(box.suppressed);
}

TEST_F(CommandLineTest, ArgumentsWithLineBreaksAreRefusedWhole) {
    SettingsContextHolder& working = steps(*config_).workingContext();
    EXPECT_EQ(importArgs(working, {"INSTALLDIR=D:\\kit\nEULA=Enable", "/q\nx", "/lv", "a\rb"}),
              SETTINGS_E_REFUSED_LINES);
    EXPECT_FALSE(config_->IsStringOptionSet(STRING_INSTALLDIR));
    EXPECT_FALSE(config_->IsFlagEnabled(FLAG_EULA));
    EXPECT_FALSE(config_->IsOptionSet("/q"));
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_NE(boxes_[0].text.find("\"INSTALLDIR=D:\\kit\nEULA=Enable\";\"/q\nx\";\"a\rb\";"),
              std::string::npos);
}

TEST_F(CommandLineTest, PassThroughArgumentsAndTheStatusOfAFailedImport) {
    SettingsContextHolder& working = steps(*config_).workingContext();
    // An empty value is still a value.
    EXPECT_EQ(importArgs(working, {"ADDLOCAL=", "REBOOT=R"}), 0);
    EXPECT_EQ(valueOf(working, "MSI_CMDLINE"), "ADDLOCAL= REBOOT=R");
    EXPECT_EQ(valueOf(working, "ADDLOCAL"), "");
    clearLog();
    // Text that is not UTF-8 is refused by the store with its own status, which is returned.
    EXPECT_EQ(importArgs(working, {"COUNTRYOVERRIDE=\xff"}), SETTINGS_E_TEXT_NOT_UTF8);
    EXPECT_EQ(logMessages(kArgsFunction, "ERROR"),
              std::vector<std::string>{"Loading arg COUNTRYOVERRIDE=\xff failed with 314"});
}

TEST_F(CommandLineTest, PassThroughValuesWithBlanksStayOneArgumentForMsiexec) {
    SettingsContextHolder& working = steps(*config_).workingContext();
    // The runtime has taken the quotes away; msiexec must still see one log file and one value.
    EXPECT_EQ(importArgs(working, {"/l*v", "C:\\deploy logs\\cdk.log", "REBOOT=Really Suppress",
                                   "/qn", "ADDLOCAL=\"A B\""}),
              0);
    EXPECT_EQ(valueOf(working, "MSI_CMDLINE"),
              "/l*v \"C:\\deploy logs\\cdk.log\" REBOOT=\"Really Suppress\" /qn ADDLOCAL=\"A B\"");
    EXPECT_EQ(valueOf(working, "REBOOT"), "Really Suppress");
}

TEST_F(CommandLineTest, MsiArgumentsThatAreNotUtf8FailTheCallInsteadOfVanishing) {
    SettingsContextHolder& working = steps(*config_).workingContext();
    // A log file named in the ANSI code page ("caf\xe9") is not UTF-8.
    EXPECT_EQ(importArgs(working, {"/qn", "/lv", "C:\\caf\xe9.log"}), SETTINGS_E_TEXT_NOT_UTF8);
    EXPECT_FALSE(hasKey(working, "MSI_CMDLINE"));
    EXPECT_EQ(logMessages(kArgsFunction, "ERROR"),
              std::vector<std::string>{"Loading arg /qn /lv C:\\caf\xe9.log failed with 314"});
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_NE(boxes_[0].text.find("\"/qn /lv C:\\caf\xe9.log\";"), std::string::npos);
}

}  // namespace
