// Removal of an installed kit of the same version and of the public runtimes of the same version
// family before the kit is installed; a newer build of the kit stops the run.
#include "PriorInstall.h"

#include "AllUtils.h"
#include "BuildConstants.h"
#include "LauncherLogic.h"
#include "MessageTexts.h"
#include "MessageUi.h"
#include "StringFormat.h"
#include "Text.h"

namespace launcher {
namespace {

constexpr const char* kKitRoot = "SOFTWARE\\Tarnwell\\Corvid Development Kit";
constexpr const char* kRuntimeRoot = "SOFTWARE\\Tarnwell\\Corvid Runtime Environment";
constexpr const char* kUninstallRoot = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
constexpr std::size_t kCaptionCapacity = 256;
constexpr std::size_t kMessageCapacity = 1024;

std::string productKey(bool kit, const char* version) {
    return formatString("%s\\%s", kit ? kKitRoot : kRuntimeRoot, version);
}

RegistryView explicitView(bool view64) {
    return view64 ? RegistryView::Only64 : RegistryView::Only32;
}

}  // namespace

int UninstallCREOrCDKIfSameVersionExists(Ports& ports, RunState& state) {
    constexpr const char* function = "UninstallCREOrCDKIfSameVersionExists";
    const char* version = build::kProductVersion;
    const std::string kitKey = productKey(true, version);
    const std::string runtimeKey = productKey(false, version);
    const bool view64 = ports.registry.productView64();

    if (ports.registry.openKey(RegistryView::Product, kitKey) != 0) {
        CDK_LOG(LOG_INFO, function, "No same version CDK exists");
    } else {
        if (!IsSameOrOlderBuildInstalled(ports, version, true)) {
            showMessageBox(loadMessageText(state.module, IDS_NEWER_BUILD_CAPTION, kCaptionCapacity),
                           loadMessageText(state.module, IDS_NEWER_BUILD, kMessageCapacity),
                           kMessageIconError, false);
            return 0;
        }
        if (!UninstallExistingCDK(ports, state, version)) {
            CDK_LOG(LOG_ERROR, function,
                    formatString("UninstallExistingCDK (%s) failed", kitKey.c_str()));
            return 0;
        }
    }

    if (ports.registry.openKey(RegistryView::Product, runtimeKey) != 0) {
        CDK_LOG(LOG_INFO, function, "No same version CRE exists");
        return 1;
    }
    if (!IsSameOrOlderBuildInstalled(ports, version, false)) {
        // A newer runtime build stays where it is.
        return 1;
    }
    if (IsStaticCreInstalled(ports, version, view64)) {
        return 1;
    }
    if (UninstallCREIfSameOrOlderBuild(ports, state, version) != 0) {
        CDK_LOG(LOG_ERROR, function,
                formatString("UninstallCREIfSameOrOlderBuild( %s) failed", runtimeKey.c_str()));
        return 0;
    }
    return 1;
}

bool IsSameOrOlderBuildInstalled(Ports& ports, const char* version, bool kit) {
    constexpr const char* function = "IsSameOrOlderBuildInstalled";
    const std::string path = productKey(kit, version);
    const long opened = ports.registry.openKey(RegistryView::Product, path);
    if (opened != 0) {
        CDK_LOG(LOG_ERROR, function,
                formatString("Error Opening registry key %s: %ld", path.c_str(), opened));
        return false;
    }
    RegistryValue value;
    const long read = ports.registry.queryValue(RegistryView::Product, path, "BuildNumber", value);
    if (read != 0) {
        CDK_LOG(LOG_ERROR, function,
                formatString("CorvidKey.QueryValue(BuildNumber, Value); failed: %ld", read));
        return false;
    }
    const long installed = buildNumberFromValue(value.type, value.data);
    const unsigned current = build::kBuildNumber;
    if (installed <= static_cast<long>(current)) {
        CDK_LOG(LOG_INFO, function,
                formatString("Existing build: %ld is same/older than current build: %u", installed,
                             current));
        return true;
    }
    CDK_LOG(
        LOG_INFO, function,
        formatString("Existing build: %ld is newer than current build: %u", installed, current));
    return false;
}

bool UninstallExistingCDK(Ports& ports, RunState& state, const char* version) {
    constexpr const char* function = "UninstallExistingCDK";
    const bool view64 = ports.registry.productView64();
    const std::string code = kitProductCode(view64, version);
    if (!IsProductRegisteredForUninstall(ports, code, view64)) {
        CDK_LOG(LOG_ERROR, function,
                formatString("CDK GUID not found %s: %lu", code.c_str(), ports.probes.lastError()));
        return false;
    }
    const int exitCode = RunMsiexecUninstall(ports, state, code, version, false, nullptr);
    if (exitCode != 0) {
        // The record's spelling is kept on purpose: support staff search the logs for it.
        CDK_LOG(LOG_ERROR, function,
                formatString("Uninstall existining CDK failed %s: %d", code.c_str(), exitCode));
        return false;
    }
    return true;
}

int UninstallCREIfSameOrOlderBuild(Ports& ports, RunState& state, const char* version) {
    constexpr const char* function = "UninstallCREIfSameOrOlderBuild";
    const bool view64 = ports.registry.productView64();
    int result = 0;
    for (int update = leadingNumber(updateVersionPart(version)); update >= 0; --update) {
        const std::string code = runtimeProductCode(view64, version, update);
        const std::string path = formatString("%s\\%s", kUninstallRoot, code.c_str());
        const long opened = ports.registry.openKey(RegistryView::Product, path);
        if (opened != 0) {
            CDK_LOG(LOG_ERROR, function,
                    formatString("Error Opening registry key %s: %ld", path.c_str(), opened));
            continue;
        }
        if (!IsProductRegisteredForUninstall(ports, code, view64)) {
            CDK_LOG(LOG_ERROR, function,
                    formatString("GUID not found %s: %lu", code.c_str(), ports.probes.lastError()));
            continue;
        }
        const int exitCode = RunMsiexecUninstall(ports, state, code, version, false, nullptr);
        if (exitCode != 0) {
            CDK_LOG(LOG_ERROR, function,
                    formatString("Uninstall existining CRE failed %s: %d", code.c_str(), exitCode));
            // A later success must not hide this failure.
            result = exitCode;
        }
    }
    return result;
}

bool IsProductRegisteredForUninstall(Ports& ports, const std::string& productCode, bool view64) {
    return ports.registry.openKey(explicitView(view64),
                                  std::string(kUninstallRoot) + "\\" + productCode) == 0;
}

bool IsStaticCreInstalled(Ports& ports, const char* version, bool view64) {
    std::string mode;
    const std::string path = std::string(kRuntimeRoot) + "\\" + version + "\\MSI";
    return ports.registry.queryString(explicitView(view64), path, "MODE", 16, mode) == 0 &&
           cdk_text::equalsIgnoringAsciiCase(mode, "S");
}

int RunMsiexecUninstall(Ports& ports, RunState& state, const std::string& productCode,
                        const char* version, bool quiet, const char* extra) {
    std::string msiexec;
    // When msiexec cannot be found the empty path makes the start answer 1627, a failure.
    ports.probes.findMsiexecPath(msiexec, 2048);
    const std::string arguments =
        uninstallArguments(productCode, quiet, extra != nullptr ? extra : "");
    bool started = false;
    const int code = ports.processes.run(msiexec, arguments, &started);
    if (!started) {
        logit(formatString("uninstall %s of %s failed.  ErrorCode: %d", version,
                           productCode.c_str(), code));
    } else if (code == 0) {
        state.removedProducts.push_back(productCode);
    }
    return code;
}

}  // namespace launcher
