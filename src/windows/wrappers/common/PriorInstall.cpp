// Removal of an installed kit of the same version and of the public runtimes of the same version
// family before the kit is installed; a newer build of the kit stops the run.
#include <windows.h>

#include "AllUtils.h"
#include "BuildConstants.h"
#include "Executor.h"
#include "LauncherLogic.h"
#include "MessageTexts.h"
#include "MessageUi.h"
#include "PlainRegKey.h"
#include "RegistryView.h"
#include "WrapperUtils.h"

namespace {

constexpr const char* kKitRoot = "SOFTWARE\\Tarnwell\\Corvid Development Kit";
constexpr const char* kRuntimeRoot = "SOFTWARE\\Tarnwell\\Corvid Runtime Environment";
constexpr const char* kUninstallRoot = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
constexpr std::size_t kCaptionCapacity = 256;
constexpr std::size_t kMessageCapacity = 1024;

std::string productKey(bool kit, const char* version) {
    return formatString("%s\\%s", kit ? kKitRoot : kRuntimeRoot, version);
}

REGSAM readMask() { return registryAccessMask(false); }

REGSAM viewReadMask(bool view64) { return KEY_READ | (view64 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY); }

}  // namespace

int UninstallCREOrCDKIfSameVersionExists() {
    constexpr const char* function = "UninstallCREOrCDKIfSameVersionExists";
    const char* version = build::kProductVersion;
    const std::string kitKey = productKey(true, version);
    const std::string runtimeKey = productKey(false, version);
    const bool view64 = UsesRegistryView64();

    RegKeyReader kit(HKEY_LOCAL_MACHINE);
    if (kit.open(kitKey.c_str(), readMask()) != ERROR_SUCCESS) {
        CDK_LOG(LOG_INFO, function, "No same version CDK exists");
    } else {
        kit.close();
        if (!IsSameOrOlderBuildInstalled(version, true)) {
            const HINSTANCE module = runState().module;
            showMessageBox(loadMessageText(module, IDS_NEWER_BUILD_CAPTION, kCaptionCapacity),
                           loadMessageText(module, IDS_NEWER_BUILD, kMessageCapacity),
                           kMessageIconError, false);
            return 0;
        }
        if (!UninstallExistingCDK(version)) {
            CDK_LOG(LOG_ERROR, function,
                    formatString("UninstallExistingCDK (%s) failed", kitKey.c_str()));
            return 0;
        }
    }

    RegKeyReader runtime(HKEY_LOCAL_MACHINE);
    if (runtime.open(runtimeKey.c_str(), readMask()) != ERROR_SUCCESS) {
        CDK_LOG(LOG_INFO, function, "No same version CRE exists");
        return 1;
    }
    runtime.close();
    if (!IsSameOrOlderBuildInstalled(version, false)) {
        // A newer runtime build stays where it is.
        return 1;
    }
    if (IsStaticCreInstalled(version, view64)) {
        return 1;
    }
    if (UninstallCREIfSameOrOlderBuild(version, false) != 0) {
        CDK_LOG(LOG_ERROR, function,
                formatString("UninstallCREIfSameOrOlderBuild( %s) failed", runtimeKey.c_str()));
        return 0;
    }
    return 1;
}

bool IsSameOrOlderBuildInstalled(const char* version, bool kit) {
    constexpr const char* function = "IsSameOrOlderBuildInstalled";
    const std::string path = productKey(kit, version);
    RegKeyReader key(HKEY_LOCAL_MACHINE);
    const LONG opened = key.open(path.c_str(), readMask());
    if (opened != ERROR_SUCCESS) {
        CDK_LOG(LOG_ERROR, function,
                formatString("Error Opening registry key %s: %ld", path.c_str(), opened));
        return false;
    }
    RegValue value;
    const LONG read = key.queryValue("BuildNumber", value);
    if (read != ERROR_SUCCESS) {
        CDK_LOG(LOG_ERROR, function,
                formatString("CorvidKey.QueryValue(BuildNumber, Value); failed: %ld", read));
        return false;
    }
    const long installed = launcher::buildNumberFromValue(value.type, value.data);
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

bool UninstallExistingCDK(const char* version) {
    constexpr const char* function = "UninstallExistingCDK";
    const bool view64 = UsesRegistryView64();
    const std::string code = launcher::kitProductCode(view64, version);
    if (!IsProductRegisteredForUninstall(code, view64)) {
        CDK_LOG(LOG_ERROR, function,
                formatString("CDK GUID not found %s: %lu", code.c_str(),
                             static_cast<unsigned long>(GetLastError())));
        return false;
    }
    const int exitCode = RunMsiexecUninstall(code, version, false, nullptr);
    if (exitCode != 0) {
        CDK_LOG(LOG_ERROR, function,
                formatString("Uninstall existining CDK failed %s: %d", code.c_str(), exitCode));
        return false;
    }
    return true;
}

int UninstallCREIfSameOrOlderBuild(const char* version, bool /*staticAllowed*/) {
    constexpr const char* function = "UninstallCREIfSameOrOlderBuild";
    const bool view64 = UsesRegistryView64();
    int result = 0;
    for (int update = launcher::leadingNumber(launcher::updateVersionPart(version)); update >= 0;
         --update) {
        const std::string code = launcher::runtimeProductCode(view64, version, update);
        const std::string path = formatString("%s\\%s", kUninstallRoot, code.c_str());
        RegKeyReader key(HKEY_LOCAL_MACHINE);
        const LONG opened = key.open(path.c_str(), readMask());
        if (opened != ERROR_SUCCESS) {
            CDK_LOG(LOG_ERROR, function,
                    formatString("Error Opening registry key %s: %ld", path.c_str(), opened));
            continue;
        }
        key.close();
        if (!IsProductRegisteredForUninstall(code, view64)) {
            CDK_LOG(LOG_ERROR, function,
                    formatString("GUID not found %s: %lu", code.c_str(),
                                 static_cast<unsigned long>(GetLastError())));
            continue;
        }
        const int exitCode = RunMsiexecUninstall(code, version, false, nullptr);
        if (exitCode != 0) {
            CDK_LOG(LOG_ERROR, function,
                    formatString("Uninstall existining CRE failed %s: %d", code.c_str(), exitCode));
            // A later success must not hide this failure.
            result = exitCode;
        }
    }
    return result;
}

bool IsProductRegisteredForUninstall(const std::string& productCode, bool view64) {
    PlainRegKey uninstall;
    if (uninstall.open(HKEY_LOCAL_MACHINE, kUninstallRoot, viewReadMask(view64)) != ERROR_SUCCESS) {
        return false;
    }
    PlainRegKey product;
    return product.open(uninstall.handle(), productCode.c_str(), viewReadMask(view64)) ==
           ERROR_SUCCESS;
}

bool IsStaticCreInstalled(const char* version, bool view64) {
    PlainRegKey root;
    if (root.open(HKEY_LOCAL_MACHINE, kRuntimeRoot, viewReadMask(view64)) != ERROR_SUCCESS) {
        return false;
    }
    PlainRegKey versionKey;
    if (versionKey.open(root.handle(), version, viewReadMask(view64)) != ERROR_SUCCESS) {
        return false;
    }
    PlainRegKey msi;
    if (msi.open(versionKey.handle(), "MSI", viewReadMask(view64)) != ERROR_SUCCESS) {
        return false;
    }
    char mode[16] = {};
    DWORD length = sizeof(mode);
    if (msi.queryString("MODE", mode, &length) != ERROR_SUCCESS) {
        return false;
    }
    return _stricmp(mode, "S") == 0;
}

int RunMsiexecUninstall(const std::string& productCode, const char* version, bool quiet,
                        const char* extra) {
    std::string msiexec;
    // When msiexec cannot be found the empty path makes the executor answer 1627, a failure.
    FindMsiexecPath(msiexec, 2048);
    const std::string arguments =
        launcher::uninstallArguments(productCode, quiet, extra != nullptr ? extra : "");
    bool started = false;
    const int code = Executor::ExecProcessWithAtlMessageLoop(msiexec, arguments, 0, &started);
    if (!started) {
        logit(formatString("uninstall %s of %s failed.  ErrorCode: %d", version,
                           productCode.c_str(), code));
    } else if (code == 0) {
        runState().removedProducts.push_back(productCode);
    }
    return code;
}
