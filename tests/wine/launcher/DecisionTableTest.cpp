// Which msiexec commands the launcher runs, and what it answers, for given registry states and
// exit codes: the prior-install removal, the updater install and the public runtime. Processes
// are not started; the executor's seam records each command and answers from a script.
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <fstream>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "AllUtils.h"
#include "Executor.h"
#include "LogCapture.h"
#include "MessageUi.h"
#include "SettingsException.h"
#include "WrapperUtils.h"

namespace {

const std::string kMsiexecFolder = R"(C:\cdk-fake-installer)";
const std::string kMsiexec = "\"" + kMsiexecFolder + "\\msiexec.exe\"";
const std::string kKitKey = R"(SOFTWARE\Tarnwell\Corvid Development Kit\3.6.0_09)";
const std::string kRuntimeKey = R"(SOFTWARE\Tarnwell\Corvid Runtime Environment\3.6.0_09)";
const std::string kUninstallKey = R"(SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\)";
// The kit's product code names the flavour's architecture in its first two digits.
const std::string kKitCode = sizeof(void*) == 4 ? "{32C7E2B9-5D31-42A8-9F06-3E8A1C460090}"
                                                : "{64C7E2B9-5D31-42A8-9F06-3E8A1C460090}";
const std::string kInstallerKey = R"(SOFTWARE\Microsoft\Windows\CurrentVersion\Installer)";

std::string runtimeCode(int update) {
    char code[64];
    // Like the kit's, the runtime's product code names the flavour's architecture (32 or 64).
    std::snprintf(code, sizeof(code), "{5B1C93D0-7E42-4F18-A3C6-1D7%d1600%dFF}",
                  sizeof(void*) == 4 ? 32 : 64, update);
    return code;
}

// The registry view that the product keys are read from: the 64-bit view in the 64-bit
// flavour, the 32-bit view (Wow6432Node) in the 32-bit flavour, which runs under WOW64 on
// 64-bit Windows. Taken from the flavour, not from the code under test.
const REGSAM kProductView = sizeof(void*) == 4 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;

// Keys of one view, created and removed without going through the code under test.
void setText(REGSAM view, const std::string& path, const char* name, const std::string& text) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0,
                              KEY_ALL_ACCESS | view, nullptr, &key, nullptr),
              ERROR_SUCCESS)
        << path;
    if (name != nullptr) {
        RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                       static_cast<DWORD>(text.size() + 1));
    }
    RegCloseKey(key);
}

void removeTree(REGSAM view, const std::string& parent, const std::string& child) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, parent.c_str(), 0, KEY_ALL_ACCESS | view, &key) ==
        ERROR_SUCCESS) {
        RegDeleteTreeA(key, child.c_str());
        RegCloseKey(key);
    }
}

void removeValue(const std::string& path, const char* name) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS) {
        RegDeleteValueA(key, name);
        RegCloseKey(key);
    }
}

// One scripted exit code per command, matched by a part of the command line; unmatched
// commands exit with 0.
using Script = std::vector<std::pair<std::string, int>>;

class LauncherDecisions : public ::testing::Test {
  protected:
    void SetUp() override {
        clearProductKeys();
        setText(0, kInstallerKey, "InstallerLocation", kMsiexecFolder);
        setProcessStartObserver([this](const ProcessStartRecord& start) {
            commands_.push_back(start.commandLine);
            for (const auto& [part, code] : script_) {
                if (start.commandLine.find(part) != std::string::npos) {
                    return code;
                }
            }
            return 0;
        });
        setMessageBoxObserver([this](const MessageBoxRecord& box) { boxes_.push_back(box); });
        runState().module = GetModuleHandleA(nullptr);
    }
    void TearDown() override {
        setProcessStartObserver({});
        setMessageBoxObserver({});
        clearProductKeys();
        removeValue(kInstallerKey, "InstallerLocation");
    }
    static void clearProductKeys() {
        for (REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
            removeTree(view, "SOFTWARE", "Tarnwell");
            removeTree(view, kUninstallKey.substr(0, kUninstallKey.size() - 1), kKitCode);
            for (int update = 0; update <= 9; ++update) {
                removeTree(view, kUninstallKey.substr(0, kUninstallKey.size() - 1),
                           runtimeCode(update));
            }
        }
    }
    std::string log() const { return capture_.text(); }

    cdk_test::LogCapture capture_;
    Script script_;
    std::vector<std::string> commands_;
    std::vector<MessageBoxRecord> boxes_;
};

// A registry state: values to set in the product view (path, name or null, text).
struct Value {
    std::string path;
    const char* name;
    std::string text;
};

struct RemovalRow {
    const char* name;
    std::vector<Value> registry;
    Script script;
    int expectedAnswer;
    std::vector<std::string> expectedCommands;
    std::vector<std::string> expectedLog;
    bool newerBuildBox;
};

std::string uninstallCommand(const std::string& code) { return kMsiexec + " /x " + code + " /qb!"; }

std::vector<RemovalRow> removalRows() {
    const Value kit11{kKitKey, "BuildNumber", "11"};
    const Value kitRegistered{kUninstallKey + kKitCode, nullptr, ""};
    const Value runtime11{kRuntimeKey, "BuildNumber", "11"};
    std::vector<RemovalRow> rows;
    rows.push_back({"NothingRegistered",
                    {},
                    {},
                    1,
                    {},
                    {"INFO: No same version CDK exists", "INFO: No same version CRE exists"},
                    false});
    rows.push_back({"NewerKitBuild",
                    {{kKitKey, "BuildNumber", "12"}},
                    {},
                    0,
                    {},
                    {"INFO: Existing build: 12 is newer than current build: 11"},
                    true});
    rows.push_back({"KitWithoutBuildNumber",
                    {{kKitKey, "Other", "1"}},
                    {},
                    0,
                    {},
                    {"ERROR: CorvidKey.QueryValue(BuildNumber, Value); failed: 2"},
                    true});
    rows.push_back({"SameKitBuildIsUninstalled",
                    {kit11, kitRegistered},
                    {},
                    1,
                    {uninstallCommand(kKitCode)},
                    {"INFO: Existing build: 11 is same/older than current build: 11",
                     "INFO: No same version CRE exists"},
                    false});
    rows.push_back({"OlderKitBuildIsUninstalled",
                    {{kKitKey, "BuildNumber", "7"}, kitRegistered},
                    {},
                    1,
                    {uninstallCommand(kKitCode)},
                    {"INFO: Existing build: 7 is same/older than current build: 11"},
                    false});
    rows.push_back({"KitUninstallCancelled",
                    {kit11, kitRegistered},
                    {{"/x", 1602}},
                    0,
                    {uninstallCommand(kKitCode)},
                    {"ERROR: Uninstall existining CDK failed " + kKitCode + ": 1602",
                     "ERROR: UninstallExistingCDK (" + kKitKey + ") failed"},
                    false});
    rows.push_back({"KitUninstallNeedsReboot",
                    {kit11, kitRegistered},
                    {{"/x", 3010}},
                    0,
                    {uninstallCommand(kKitCode)},
                    {"failed " + kKitCode + ": 3010"},
                    false});
    rows.push_back({"KitProductCodeNotRegistered",
                    {kit11},
                    {},
                    0,
                    {},
                    {"ERROR: CDK GUID not found " + kKitCode},
                    false});
    rows.push_back({"RuntimesUninstalledDownward",
                    {runtime11,
                     {kUninstallKey + runtimeCode(9), nullptr, ""},
                     {kUninstallKey + runtimeCode(5), nullptr, ""},
                     {kUninstallKey + runtimeCode(0), nullptr, ""}},
                    {},
                    1,
                    {uninstallCommand(runtimeCode(9)), uninstallCommand(runtimeCode(5)),
                     uninstallCommand(runtimeCode(0))},
                    {"ERROR: Error Opening registry key " + kUninstallKey + runtimeCode(8)},
                    false});
    rows.push_back({"AFailedRuntimeUninstallIsNotForgotten",
                    {runtime11,
                     {kUninstallKey + runtimeCode(9), nullptr, ""},
                     {kUninstallKey + runtimeCode(0), nullptr, ""}},
                    {{runtimeCode(9), 1603}},
                    0,
                    {uninstallCommand(runtimeCode(9)), uninstallCommand(runtimeCode(0))},
                    {"ERROR: Uninstall existining CRE failed " + runtimeCode(9) + ": 1603",
                     "ERROR: UninstallCREIfSameOrOlderBuild( " + kRuntimeKey + ") failed"},
                    false});
    rows.push_back({"StaticRuntimeStays",
                    {runtime11,
                     {kRuntimeKey + "\\MSI", "MODE", "s"},
                     {kUninstallKey + runtimeCode(9), nullptr, ""}},
                    {},
                    1,
                    {},
                    {},
                    false});
    rows.push_back(
        {"NewerRuntimeStays",
         {{kRuntimeKey, "BuildNumber", "12"}, {kUninstallKey + runtimeCode(9), nullptr, ""}},
         {},
         1,
         {},
         {"INFO: Existing build: 12 is newer than current build: 11"},
         false});
    return rows;
}

TEST_F(LauncherDecisions, PriorInstallRemoval) {
    for (const RemovalRow& row : removalRows()) {
        SCOPED_TRACE(row.name);
        clearProductKeys();
        capture_.clear();
        commands_.clear();
        boxes_.clear();
        for (const Value& value : row.registry) {
            setText(kProductView, value.path, value.name, value.text);
        }
        script_ = row.script;
        EXPECT_EQ(UninstallCREOrCDKIfSameVersionExists(), row.expectedAnswer);
        EXPECT_EQ(commands_, row.expectedCommands);
        const std::string text = log();
        for (const std::string& expected : row.expectedLog) {
            EXPECT_NE(text.find(expected), std::string::npos) << expected << "\n" << text;
        }
        if (row.newerBuildBox) {
            ASSERT_EQ(boxes_.size(), 1u);
            EXPECT_EQ(boxes_[0].icon, kMessageIconError);
            EXPECT_FALSE(boxes_[0].suppressed);
        } else {
            EXPECT_TRUE(boxes_.empty());
        }
    }
}

TEST_F(LauncherDecisions, AMissingMsiexecCountsAsAFailedUninstall) {
    removeValue(kInstallerKey, "InstallerLocation");
    setText(kProductView, kKitKey, "BuildNumber", "11");
    setText(kProductView, kUninstallKey + kKitCode, nullptr, "");
    EXPECT_EQ(UninstallCREOrCDKIfSameVersionExists(), 0);
    EXPECT_TRUE(commands_.empty());
    EXPECT_NE(log().find("uninstall 3.6.0_09 of " + kKitCode + " failed.  ErrorCode: 1627"),
              std::string::npos);
}

struct UpdaterRow {
    const char* name;
    const char* installedVersion;  // null: no updater registered
    bool autoUpdate;
    Script script;
    int expectedResult;
    std::vector<std::string> expectedCommands;
    std::vector<std::string> expectedLog;
};

TEST_F(LauncherDecisions, UpdaterInstall) {
    char commonFiles[MAX_PATH] = {};
    ASSERT_TRUE(
        SUCCEEDED(SHGetFolderPathA(nullptr, CSIDL_PROGRAM_FILES_COMMON, nullptr, 0, commonFiles)));
    const std::string database = R"(C:\AU\au.msi)";
    const std::string install = kMsiexec + " /i \"" + database + "\" ALLUSERS=1 /qn";
    const std::string disabled = kMsiexec + " /i \"" + database + "\" DISABLE=1 ALLUSERS=1 /qn";
    const std::string oldRemoval = kMsiexec + " /x {6D2F84B1-39C7-4E5A-8B16-0C7E93A5F2D4} /qn";
    const std::string registration = std::string("\"") + commonFiles +
                                     "\\Corvid\\Corvid Update\\caureg.exe\" -r cre 3.6.0_09-b11";
    const UpdaterRow rows[] = {
        {"NoUpdater",
         nullptr,
         true,
         {},
         0,
         {install, registration},
         {"INFO: Auto Update is enabled"}},
        {"Disabled",
         nullptr,
         false,
         {},
         0,
         {disabled, registration},
         {"INFO: Auto Update is disabled via configuration settings"}},
        {"SameVersion",
         "5.6.09.11",
         true,
         {},
         -2,
         {},
         {"INFO: AU is not upgradable - Installed version >= the bundled version."}},
        {"NewerVersion", "6.0", true, {}, -2, {}, {}},
        {"OldLayoutUpgraded", "5.4.1.2", true, {}, 0, {oldRemoval, install, registration}, {}},
        {"NewLayoutUpgraded", "5.6.02.11", true, {}, 0, {oldRemoval, install, registration}, {}},
        {"InstallFails",
         nullptr,
         true,
         {{"au.msi", 1603}},
         1603,
         {install},
         {"INFO: Auto Update install failed"}},
        {"RegistrationFails", nullptr, true, {{"caureg", 1}}, -3, {install, registration}, {}},
    };
    for (const UpdaterRow& row : rows) {
        SCOPED_TRACE(row.name);
        removeTree(KEY_WOW64_32KEY, "SOFTWARE\\Tarnwell", "Auto Update");
        if (row.installedVersion != nullptr) {
            setText(KEY_WOW64_32KEY, "SOFTWARE\\Tarnwell\\Auto Update", "AUVersion",
                    row.installedVersion);
        }
        capture_.clear();
        commands_.clear();
        script_ = row.script;
        EXPECT_EQ(InstallAutoUpdate(database, row.autoUpdate), row.expectedResult);
        EXPECT_EQ(commands_, row.expectedCommands);
        const std::string text = log();
        for (const std::string& expected : row.expectedLog) {
            EXPECT_NE(text.find(expected), std::string::npos) << expected << "\n" << text;
        }
    }
}

TEST_F(LauncherDecisions, PublicRuntime) {
    const std::filesystem::path kit = std::filesystem::temp_directory_path() / "cdk-kit-home";
    std::filesystem::create_directories(kit);
    const std::string kitText = kit.string();
    setText(kProductView, kKitKey, "CorvidHome", kitText);
    RunState& state = runState();
    state.msiexecPath = kMsiexecFolder + "\\msiexec.exe";

    const auto place = [&](std::initializer_list<const char*> names) {
        for (const char* name : names) {
            std::ofstream(kit / name) << "x";
        }
    };
    const auto gone = [&] {
        return !std::filesystem::exists(kit / "cre.msi") &&
               !std::filesystem::exists(kit / "cre1041.MST") &&
               !std::filesystem::exists(kit / "cre2052.MST");
    };

    place({"cre.msi", "cre1041.MST", "cre2052.MST"});
    state.installLanguage = 1041;
    state.publicRuntimeFolder = R"(D:\Pub)";
    state.rebootSuppressed = false;
    InstallPublicCre();
    ASSERT_EQ(commands_.size(), 1u);
    EXPECT_EQ(commands_[0],
              kMsiexec + " /i \"" + kitText + "\\cre.msi\" TRANSFORMS=\"" + kitText +
                  "\\cre1041.MST\" /qn ADDLOCAL=ALL SDKSILENT=1 INSTALLDIR=\"D:\\Pub\"");
    EXPECT_TRUE(gone());

    // Without cre.msi nothing runs, and the transforms are still removed.
    commands_.clear();
    place({"cre1041.MST", "cre2052.MST"});
    state.installLanguage = 1033;
    InstallPublicCre();
    EXPECT_TRUE(commands_.empty());
    EXPECT_TRUE(gone());

    // A failing runtime install does not keep its files either.
    place({"cre.msi"});
    script_ = {{"cre.msi", 1603}};
    state.publicRuntimeFolder.clear();
    state.rebootSuppressed = true;
    InstallPublicCre();
    ASSERT_EQ(commands_.size(), 1u);
    EXPECT_EQ(commands_[0], kMsiexec + " /i \"" + kitText +
                                "\\cre.msi\" /qn ADDLOCAL=ALL SDKSILENT=1 REBOOT=ReallySuppress");
    EXPECT_TRUE(gone());
    std::filesystem::remove_all(kit);
}

}  // namespace

namespace {

TEST(LauncherErrors, FatalPayloadTextAndExitCode) {
    EXPECT_EQ(FatalExitCode(0), 1627u);
    EXPECT_EQ(FatalExitCode(5), 5u);
    const std::string denied = FatalErrorText("Installer : Wrapper.CreateFile ", 5);
    EXPECT_EQ(denied.rfind("Installer : Wrapper.CreateFile  failed with error 5: ", 0), 0u)
        << denied;
    EXPECT_GT(denied.size(),
              std::string("Installer : Wrapper.CreateFile  failed with error 5: ").size());
    EXPECT_EQ(FatalErrorText("Installer : Wrapper.WriteFile (In small chunks) ", 0x2000ABCD),
              "Installer : Wrapper.WriteFile (In small chunks)  failed with error 536914893: No "
              "description available\r\n");
}

TEST(LauncherErrors, EscapingExceptionsAreLoggedAndGiveTheFailureCode) {
    cdk_test::LogCapture capture;
    EXPECT_EQ(RunReportingExceptions([] { return 3010; }, -83), 3010);
    EXPECT_EQ(RunReportingExceptions([]() -> int { throw std::runtime_error("boom"); }, -83), -83);
    EXPECT_EQ(RunReportingExceptions([]() -> int { throw 7; }, -83), -83);
    const std::string text = capture.text();
    EXPECT_NE(text.find("Exception with message 'boom' caught"), std::string::npos) << text;
    EXPECT_NE(text.find("Unknown exception caught"), std::string::npos) << text;
    EXPECT_NE(text.find("An unexpected error ended the installer."), std::string::npos) << text;
}

// A failure while the start-up objects are built reaches the entry point as an exit code and a
// log record, never as a crash or a message box; the run itself does not start.
TEST(LauncherErrors, StartupFailuresGiveTheirCodeWithoutAMessageBox) {
    const struct {
        std::function<void()> step;
        int code;
        const char* logged;
    } rows[] = {
        {[] { throw settings::Exception(SETTINGS_E_UNEXPECTED); }, -80,
         "could not start: the settings store failed with status 200"},
        {[] { throw std::runtime_error("no memory"); }, -83, "could not start: no memory"},
        {[] { throw 7; }, -83, "could not start: an unknown exception"},
        {[] {}, 5, nullptr},
    };
    std::vector<MessageBoxRecord> boxes;
    setMessageBoxObserver([&](const MessageBoxRecord& box) { boxes.push_back(box); });
    for (const auto& row : rows) {
        cdk_test::LogCapture capture;
        RunStartupSteps(row.step, -80, -83);
        bool ran = false;
        EXPECT_EQ(RunLauncher(
                      [&] {
                          ran = true;
                          return 5;
                      },
                      -83),
                  row.code);
        EXPECT_EQ(ran, row.logged == nullptr);
        if (row.logged != nullptr) {
            EXPECT_NE(capture.text().find(row.logged), std::string::npos) << capture.text();
        }
        ClearStartupFailure();
    }
    setMessageBoxObserver(nullptr);
    EXPECT_TRUE(boxes.empty());
}

// The fatal exit's cleanup runs once, from whichever thread gets to it first, and an exception
// it throws is logged instead of ending the program before the exit code is set.
TEST(LauncherErrors, FatalCleanupRunsOnceAndItsExceptionsStayInside) {
    static int runs = 0;
    runs = 0;
    cdk_test::LogCapture capture;
    SetFatalExitCleanup([] {
        ++runs;
        throw std::runtime_error("restore failed");
    });
    RunFatalExitCleanup();
    RunFatalExitCleanup();
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(TakeFatalExitCleanup(), nullptr);
    EXPECT_NE(capture.text().find("Exception with message 'restore failed' caught"),
              std::string::npos)
        << capture.text();
}

}  // namespace
