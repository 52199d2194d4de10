// The main sequence's Win32 edge: the wide argument vector becomes the install options, which
// are read once; the run itself (InstallSequence) then goes through the system's ports.
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <exception>
#include <vector>

#include "AllUtils.h"
#include "AnsiText.h"
#include "InstallConfigData.h"
#include "InstallSequence.h"
#include "Kit.h"
#include "LauncherLogic.h"
#include "MessageTexts.h"
#include "MessageUi.h"
#include "Payload.h"
#include "Probes.h"
#include "SettingsPlace.h"
#include "StringFormat.h"
#include "SystemError.h"

namespace {

constexpr const char* kLoadFailed =
    "Error occurred while loading configuration settings. Exiting installer.";

// The value of a string option in the ANSI code page; false (with the configuration message)
// when the code page cannot carry it.
bool ansiOption(HINSTANCE module, bool silent, int index, std::string& out) {
    if (cdk_text::utf8ToAnsiExact(GetStringOption(index), out)) {
        return true;
    }
    const char* name = stringOptionName(index);
    InstallConfigData::instance().ShowErrorMessage(module, IDS_CONFIG_ERROR_CAPTION,
                                                   IDS_CMDLINE_ERRORS, kMessageIconError, silent,
                                                   std::string("\"") + name + "\"", std::string());
    logit(formatString("The value of %s cannot be represented in the system's code page %u.", name,
                       GetACP()));
    return false;
}

// Reads every option the run needs. Throws settings::Exception when the store cannot answer.
bool readOptions(HINSTANCE module, launcher::RunOptions& options) {
    options.silent = IsSilentInstall();
    options.langSet = IsIntegerOptionSet(INTEGER_LANG);
    if (options.langSet) {
        options.lang = GetIntegerOption(INTEGER_LANG);
    }
    const struct {
        int index;
        std::string* value;
        bool* set;
    } texts[] = {
        {STRING_INSTALLDIRPUBCRE, &options.runtimeFolder, nullptr},
        {STRING_INSTALLDIR, &options.kitFolder, nullptr},
        {STRING_MSI_CMDLINE, &options.msiArguments, &options.msiArgumentsSet},
        {STRING_REBOOT, &options.reboot, &options.rebootSet},
    };
    for (const auto& text : texts) {
        const bool set = IsStringOptionSet(text.index);
        if (text.set != nullptr) {
            *text.set = set;
        }
        if (set && !ansiOption(module, options.silent, text.index, *text.value)) {
            return false;
        }
    }
    options.addLocalSet = IsStringOptionSet(STRING_ADDLOCAL);
    options.autoUpdate = IsFlagEnabled(FLAG_AUTO_UPDATE);
    return true;
}

// Adds an argument the ANSI code page cannot carry to the list for the command-line message, in
// the message's list form ("a";"b";), and says so in the log.
void refuseArgument(std::string& refused, const std::string& shown, bool named) {
    refused += "\"" + shown + "\";";
    logit(formatString(named
                           ? "The value of %s cannot be represented in the system's code page %u."
                           : "The argument %s cannot be represented in the system's code page %u.",
                       shown.c_str(), GetACP()));
}

// The command-line arguments as UTF-8, the form the settings store holds. Each argument is
// converted to the ANSI code page exactly, then to UTF-8, which gives the text the runtime's own
// ANSI argument vector gives for every argument the code page carries. An argument with a
// character the code page lacks is never passed on as a look-alike (best-fit "C:\Kait" for
// "C:\Kāit"): it is left out and named in `refused`, a named option by its name, anything else
// (an "/q" or "/l" switch, a log file, an unknown argument) as given, with "?" for each missing
// character. An "/l" switch and its log file are left out together, so that the switch never
// takes the next argument for its file. The program's own path (element 0) is read by nobody;
// it is passed on only when it converts exactly. False for text the code page cannot read back.
bool utf8Arguments(int argc, wchar_t** argv, std::vector<std::string>& out, std::string& refused) {
    out.clear();
    refused.clear();
    std::vector<std::string> ansi(static_cast<std::size_t>(std::max(argc, 0)));
    std::vector<bool> exact(ansi.size(), true);
    for (std::size_t i = 0; i < ansi.size(); ++i) {
        unsigned long failure = 0;
        if (argv[i] != nullptr && !cdk_text::wideToAnsiExact(argv[i], ansi[i], &failure)) {
            if (failure != 0) {
                // Not a character the code page lacks: the system could not convert the text.
                // Refused as such, "/s" would make a silent run show the command-line message,
                // so the run ends without it.
                logit("Command-line argument " + std::to_string(i) + " cannot be converted: " +
                      describeSystemError(static_cast<uint32_t>(failure)) + ".");
                return false;
            }
            exact[i] = false;
            ansi[i] = cdk_text::wideToAnsiForDisplay(argv[i]);
        }
    }
    const auto addUtf8 = [&out](const std::string& text) {
        std::string converted;
        if (!cdk_text::ansiToUtf8(text, converted)) {
            return false;
        }
        out.push_back(std::move(converted));
        return true;
    };
    if (!ansi.empty() && !addUtf8(exact[0] ? ansi[0] : std::string())) {
        return false;
    }
    const InstallConfigData& config = InstallConfigData::instance();
    for (std::size_t i = 1; i < ansi.size(); ++i) {
        // Option names are ASCII, so the display form of a refused argument finds its option.
        const InstallConfigData::OptionInfo* option = config.FindOption(ansi[i]);
        const bool logSwitch = option != nullptr && option->name == switchOptionName(SWITCH_LOG);
        const std::size_t last = logSwitch && i + 1 < ansi.size() ? i + 1 : i;
        bool whole = true;
        for (std::size_t j = i; j <= last; ++j) {
            whole = whole && exact[j];
        }
        for (std::size_t j = i; j <= last; ++j) {
            if (!whole) {
                if (!exact[j]) {
                    const bool named = j == i && option != nullptr &&
                                       !InstallConfigData::IsSwitchName(option->name);
                    refuseArgument(refused, named ? option->name : ansi[j], named);
                }
            } else if (!addUtf8(ansi[j])) {
                return false;
            }
        }
        i = last;
    }
    return true;
}

}  // namespace

void AppendInstallDirProperty(std::string& command, const std::string& folder) {
    command += launcher::installDirProperty(folder);
}

int RunMainSequence(HINSTANCE module, int argc, wchar_t** argv) {
    SetDllDirectoryA("");
    launcher::RunState& state = runState();
    state.module = module;
    state.installLanguage = DetectInstallLanguage();

    std::vector<std::string> arguments;
    std::string refused;
    launcher::RunOptions options;
    try {
        if (!utf8Arguments(argc, argv, arguments, refused)) {
            logit(kLoadFailed);
            return EXIT_CONFIG_FAILED;
        }
        std::vector<const char*> pointers;
        for (const std::string& argument : arguments) {
            pointers.push_back(argument.c_str());
        }
        // The runtime settings file lies where standard users can write: it is read, written
        // and deleted only through paths checked to hold no link.
        InstallConfigData::instance().setSettingsFilePlace(&CheckedSettingsFilePlace());
        const int loaded =
            LoadConfigSettings(module, pointers.data(), static_cast<int>(pointers.size()));
        if (!refused.empty()) {
            // The options were loaded without the refused arguments only to learn whether the
            // run is silent ("/s", "-download" or INSTALL_SILENT, from any of their sources), so
            // that the message never blocks a silent deployment; a guess from a look-alike value
            // could. Nothing else of them is used.
            InstallConfigData::instance().ShowErrorMessage(
                module, IDS_CONFIG_ERROR_CAPTION, IDS_CMDLINE_ERRORS, kMessageIconError,
                IsSilentInstall(), refused, std::string());
            logit(kLoadFailed);
            return EXIT_CONFIG_FAILED;
        }
        if (loaded != 0) {
            logit(kLoadFailed);
            return EXIT_CONFIG_FAILED;
        }
        if (!readOptions(module, options)) {
            logit(kLoadFailed);
            return EXIT_CONFIG_FAILED;
        }
    } catch (const std::exception& exception) {
        // An option the store cannot read (a flag without value, say) stops the run before
        // anything is changed.
        reportException(exception);
        logit(kLoadFailed);
        return EXIT_CONFIG_FAILED;
    }

    Win32Registry registry;
    Win32Processes processes;
    KitPayload payload(module);
    Win32Probes probes;
    Win32SettingsFile settings(module);
    Win32UpdaterSettings updater;
    launcher::Ports ports{registry, processes, payload, probes, settings, updater};
    return launcher::RunInstallSequence(ports, state, options);
}
