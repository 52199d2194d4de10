// Command-line import over arbitrary argument vectors. The first byte chooses the context and
// whether messages are suppressed; the rest is split at NUL bytes into the arguments after the
// program path.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "AllUtils.h"
#include "FuzzInput.h"
#include "InstallConfigData.h"
#include "InstallConfigDataPeer.h"
#include "MessageUi.h"

namespace {

void check(bool condition, const char* what, int status) {
    if (!condition) {
        std::fprintf(stderr, "property failed: %s (status %d)\n", what, status);
        std::abort();
    }
}

int boxCount = 0;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    static const bool once = [] {
        DiagnosticLog::instance().setPath(std::string());  // records are not kept
        setMessageBoxObserver([](const MessageBoxRecord&) { ++boxCount; });
        return true;
    }();
    (void)once;

    const bool useExportContext = data[0] & 1;
    const bool suppress = data[0] & 2;
    const std::vector<std::string> arguments = fuzz_input::argumentsOf(data + 1, size - 1);
    const std::vector<const char*> argv = fuzz_input::argvOf(arguments);

    InstallConfigData config;
    SettingsContextHolder& holder =
        useExportContext ? steps(config).exportContext() : steps(config).workingContext();
    boxCount = 0;
    const int status = steps(config).ImportArgsConfigSettings(
        nullptr, holder, argv.data(), static_cast<int>(argv.size()), suppress);

    check(status == 0 || status == SETTINGS_E_REFUSED_LINES || status == SETTINGS_E_TEXT_NOT_UTF8,
          "status is a refusal code", status);
    check(boxCount == (status != 0 ? 1 : 0), "one message exactly when refused", status);
    check(holder.allowKeyWithoutValue(), "keys without value allowed afterwards", status);

    // MSI_CMDLINE is set by pass-through arguments, or named itself as a key and value.
    bool passThrough = false;
    bool namesMsiText = false;
    bool allMatched = true;
    for (size_t i = 1; i < arguments.size(); ++i) {
        if (arguments[i].empty()) continue;
        const InstallConfigData::OptionInfo* option = config.FindOption(arguments[i]);
        if (option == nullptr) {
            allMatched = false;
            continue;
        }
        passThrough = passThrough || option->msiPassThrough;
        namesMsiText = namesMsiText || option->name == "MSI_CMDLINE";
        if (option->name == "/l") ++i;  // its log file
    }
    if (status == 0) {
        check(allMatched, "accepted arguments all match an option", status);
        const char* msi = nullptr;
        const bool hasMsi = holder.getUtf8Value("MSI_CMDLINE", msi) == 0;
        check(hasMsi == (passThrough || namesMsiText),
              "MSI_CMDLINE exactly with pass-through arguments or named", status);
        // Every option the arguments named is set in the working context.
        for (size_t i = 1; i < arguments.size(); ++i) {
            if (arguments[i].empty()) continue;
            const InstallConfigData::OptionInfo* option = config.FindOption(arguments[i]);
            if (option->name == "/l") {
                ++i;
                continue;
            }
            check(config.IsOptionSet(option->name.c_str()), "named option is set", status);
        }
    }
    return 0;
}
