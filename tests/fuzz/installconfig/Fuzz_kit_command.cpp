// The launcher's command-line path from the argument vector to the kit's msiexec command: the
// options loaded as the launcher loads them, the msiexec arguments and the kit folder read from
// them, the silent additions, the kit command and the command line the executor composes. The
// input is split at NUL bytes into the arguments. Whatever they are, the run either refuses the
// options, or builds a command that holds every value whole, which the length check then takes
// or refuses; nothing is cut.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "AllUtils.h"
#include "FuzzInput.h"
#include "ExecutorCommandLine.h"
#include "InstallConfigData.h"
#include "InstallConfigDataPeer.h"
#include "LauncherLogic.h"
#include "MessageUi.h"
#include "SettingsTestSupport.h"
#include "Text.h"

namespace {

using fuzz_input::check;

namespace fs = std::filesystem;

bool contains(std::string_view text, std::string_view part) {
    return text.find(part) != std::string_view::npos;
}

constexpr const char* kMsiexec = "C:\\windows\\system32\\msiexec.exe";
constexpr const char* kDatabase =
    "C:\\users\\someone\\AppData\\LocalLow\\Halvard\\Corvid\\cdk3.6.0_09_x64\\cdk3.6.0_09.msi";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool once = [] {
        DiagnosticLog::instance().setPath(std::string());  // records are not kept
        setMessageBoxObserver([](const MessageBoxRecord&) {});
        // No runtime settings file: the shared folder is an empty folder of this process.
        const fs::path root =
            fs::temp_directory_path() / ("kit-command-fuzz-" + std::to_string(::getpid()));
        fs::create_directories(root);
        settings_impl::host::mapDrive('C', root.string());
        settings_impl::host::setCommonAppDataFolder(u"C:\\ProgramData");
        static const fs::path removed = root;
        std::atexit([] { fs::remove_all(removed); });
        return true;
    }();
    (void)once;

    const std::vector<std::string> arguments = fuzz_input::argumentsOf(data, size);
    const std::vector<const char*> argv = fuzz_input::argvOf(arguments);

    InstallConfigData config;
    if (steps(config)._LoadConfigSettings(nullptr, argv.data(), static_cast<int>(argv.size())) !=
        0) {
        return 0;
    }
    // The options as the main sequence reads them (the code-page conversion is the system's).
    const bool silent = config.IsSilentInstall();
    const bool msiSet = config.IsStringOptionSet(STRING_MSI_CMDLINE);
    const std::string msiValue = msiSet ? config.GetStringOption(STRING_MSI_CMDLINE) : "";
    const std::string kitFolder = config.IsStringOptionSet(STRING_INSTALLDIR)
                                      ? config.GetStringOption(STRING_INSTALLDIR)
                                      : "";
    const bool addLocalSet = config.IsStringOptionSet(STRING_ADDLOCAL);
    const bool langSet = config.IsIntegerOptionSet(INTEGER_LANG);
    const uint16_t language = launcher::chooseInstallLanguage(
        kLanguageEnglish, langSet, langSet ? config.GetIntegerOption(INTEGER_LANG) : 0);

    // The main sequence converts each value to the code page exactly and refuses the run
    // (-80) when one does not convert: the store takes any text its own UTF-8 rule passes, which
    // allows forms (overlong, five bytes) that no conversion takes.
    std::u16string converted;
    for (const std::string* value : {&msiValue, &kitFolder}) {
        if (!cdk_text::utf8ToUtf16(*value, converted)) {
            return 0;
        }
    }
    std::string msiArguments = msiSet ? msiValue + " " : "";
    if (silent) {
        const std::string before = msiArguments;
        msiArguments = launcher::withSilentAdditions(msiArguments, addLocalSet);
        check(msiArguments.compare(0, before.size(), before) == 0,
              "the silent additions keep the arguments given");
    }
    const std::string kit =
        launcher::kitCommand(kMsiexec, kDatabase, language, msiArguments, kitFolder);
    check(contains(kit, msiArguments), "the kit command holds the msiexec arguments whole");
    check(contains(kit, kitFolder), "the kit command holds the kit folder whole");
    check(contains(kit, std::string("\"") + kDatabase + "\""), "the database path is quoted whole");
    check(contains(kit, " WRAPPER=1"), "the kit command ends with its own property");

    // The command line the executor starts: the kit command begins with the quoted path, so
    // it is taken as it is, trimmed of blanks at its ends only; nothing is cut or added.
    const std::string program = executor_cmdline::normalizeApplicationPath(kMsiexec);
    const std::string composed = executor_cmdline::composeCommandLine(program, kit);
    check(composed == executor_cmdline::trimBlanks(kit),
          "the composed command line is the kit command whole");
    std::u16string wide;
    check(cdk_text::utf8ToUtf16(composed, wide), "the command line is text the system can take");
    return 0;
}
