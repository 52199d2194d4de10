// The run's ports over the real registry and the executor: each registry view reads the view it
// names, texts are never cut, the install status is cleared with its key, and one removal of a
// prior install reads the product keys in the flavour's own view.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Executor.h"
#include "MessageUi.h"
#include "PriorInstall.h"
#include "Win32Ports.h"
#include "Win32Ports.h"

namespace {

using launcher::RegistryView;

const std::string kTestKey = R"(SOFTWARE\Tarnwell\cdk-ports-test)";
const bool kFlavour64 = sizeof(void*) == 8;

// The payload writer's shared parts; no kit program's working folder or cabinets.
struct SharedPayload final : Win32PayloadWriter {
    using Win32PayloadWriter::Win32PayloadWriter;
    std::string kitDatabasePath() override { return std::string(); }
    launcher::Status createCabinetEvent() override { return launcher::Status::done(); }
    void startCabinetExtraction() override {}
    void awaitCabinetExtraction() override {}
};

// A system with one view: a 32-bit process on 32-bit Windows.
bool singleView() {
    BOOL wow64 = FALSE;
    return !kFlavour64 && (!IsWow64Process(GetCurrentProcess(), &wow64) || !wow64);
}

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

void removeTree(const std::string& parent, const std::string& child) {
    for (REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, parent.c_str(), 0, KEY_ALL_ACCESS | view, &key) ==
            ERROR_SUCCESS) {
            RegDeleteTreeA(key, child.c_str());
            RegCloseKey(key);
        }
    }
}

TEST(Win32Ports, EachRegistryViewReadsItsView) {
    removeTree("SOFTWARE\\Tarnwell", "cdk-ports-test");
    setText(KEY_WOW64_64KEY, kTestKey, "Bits", "64");
    setText(KEY_WOW64_32KEY, kTestKey, "Bits", "32");
    setText(KEY_WOW64_32KEY, kTestKey + "\\Only32", nullptr, "");
    const char* own = kFlavour64 ? "64" : "32";
    const struct {
        RegistryView view;
        const char* expected;
    } rows[] = {{RegistryView::Process, own},
                {RegistryView::Product, own},
                {RegistryView::Only32, "32"},
                {RegistryView::Only64, "64"}};
    Win32Registry registry;
    EXPECT_EQ(registry.productView64(), kFlavour64);
    for (const auto& row : rows) {
        SCOPED_TRACE(static_cast<int>(row.view));
        const std::string expected = singleView() ? "32" : row.expected;
        std::string text;
        EXPECT_EQ(registry.queryString(row.view, kTestKey, "Bits", 16, text), ERROR_SUCCESS);
        EXPECT_EQ(text, expected);
        launcher::RegistryValue value;
        EXPECT_EQ(registry.queryValue(row.view, kTestKey, "Bits", value), ERROR_SUCCESS);
        EXPECT_EQ(value.type, static_cast<uint32_t>(REG_SZ));
        EXPECT_EQ(std::string(value.data.begin(), value.data.end()), expected + '\0');
        EXPECT_EQ(registry.openKey(row.view, kTestKey + "\\Only32") == ERROR_SUCCESS,
                  singleView() || expected == "32");
        // A text longer than the buffer is refused, never cut.
        EXPECT_EQ(registry.queryString(row.view, kTestKey, "Bits", 2, text), ERROR_MORE_DATA);
        EXPECT_EQ(text, expected);
    }
    removeTree("SOFTWARE\\Tarnwell", "cdk-ports-test");
}

TEST(Win32Ports, InstallStatusIsClearedWithItsKey) {
    Win32Registry registry;
    std::string text;
    for (bool otherValue : {true, false}) {
        SCOPED_TRACE(otherValue);
        removeTree("Software", "Tarnwell");
        setText(0, "Software\\Tarnwell", "InstallStatus", "reinstall");
        if (otherValue) {
            setText(0, "Software\\Tarnwell", "Other", "1");
        }
        registry.clearInstallStatus();
        EXPECT_NE(registry.queryString(RegistryView::Process, "Software\\Tarnwell", "InstallStatus",
                                       512, text),
                  ERROR_SUCCESS);
        EXPECT_EQ(registry.openKey(RegistryView::Process, "Software\\Tarnwell") == ERROR_SUCCESS,
                  otherValue);
    }
    removeTree("Software", "Tarnwell");
}

// The kit of the same build, registered in the flavour's own view, is uninstalled through the
// executor: the product keys and the uninstall key are read where the flavour's installer
// writes them.
TEST(Win32Ports, SameKitBuildIsUninstalledFromTheProductView) {
    const REGSAM productView = kFlavour64 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
    const std::string kitKey = R"(SOFTWARE\Tarnwell\Corvid Development Kit\3.6.0_09)";
    const std::string uninstallRoot = R"(SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall)";
    const std::string kitCode = kFlavour64 ? "{64C7E2B9-5D31-42A8-9F06-3E8A1C460090}"
                                           : "{32C7E2B9-5D31-42A8-9F06-3E8A1C460090}";
    const std::string installerKey = R"(SOFTWARE\Microsoft\Windows\CurrentVersion\Installer)";
    removeTree("SOFTWARE", "Tarnwell");
    setText(productView, kitKey, "BuildNumber", "11");
    setText(productView, uninstallRoot + "\\" + kitCode, nullptr, "");
    setText(0, installerKey, "InstallerLocation", R"(C:\cdk-fake-installer)");
    std::vector<std::string> commands;
    setProcessStartObserver([&](const ProcessStartRecord& start) {
        commands.push_back(start.commandLine);
        return 0;
    });

    Win32Registry registry;
    Win32Processes processes;
    SharedPayload payload(GetModuleHandleA(nullptr));
    Win32Probes probes;
    Win32SettingsFile settings(GetModuleHandleA(nullptr));
    Win32UpdaterSettings updater;
    launcher::Ports ports{registry, processes, payload, probes, settings, updater};
    launcher::RunState state;
    EXPECT_EQ(launcher::UninstallCREOrCDKIfSameVersionExists(ports, state), 1);
    EXPECT_EQ(commands, std::vector<std::string>{"\"C:\\cdk-fake-installer\\msiexec.exe\" /x " +
                                                 kitCode + " /qb!"});
    EXPECT_EQ(state.removedProducts, std::vector<std::string>{kitCode});

    setProcessStartObserver({});
    removeTree("SOFTWARE", "Tarnwell");
    removeTree(uninstallRoot, kitCode);
}

}  // namespace
