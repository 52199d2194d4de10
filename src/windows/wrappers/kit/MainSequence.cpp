// The launcher's entry point and main sequence: options, probes, removal of a prior install,
// the kit's database and cabinets, msiexec, the runtime settings file and the follow-ups.
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <exception>
#include <vector>

#include "AllUtils.h"
#include "AnsiText.h"
#include "BuildConstants.h"
#include "Executor.h"
#include "ExecutorCommandLine.h"
#include "InstallConfigData.h"
#include "Kit.h"
#include "LauncherLogic.h"
#include "MessageTexts.h"
#include "MessageUi.h"
#include "PlainRegKey.h"
#include "ScopedHandle.h"
#include "SysInfo.h"
#include "WrapperUtils.h"

namespace {

constexpr int kKitDatabaseId = 101;
constexpr const char* kInstallerType = "CORVID_INSTALLER";
constexpr REGSAM kRead = 0x20019;
constexpr REGSAM kReadWrite = 0x2001F;
constexpr std::size_t kCaptionCapacity = 256;
constexpr std::size_t kMessageCapacity = 1024;
constexpr std::size_t kInstallStatusCapacity = 512;
// How often the extraction thread is looked at when it cannot be waited for.
constexpr DWORD kExtractionPollMilliseconds = 50;
constexpr const char* kLoadFailed =
    "Error occurred while loading configuration settings. Exiting installer.";

// What the run takes from the install options, read once before anything is changed, with the
// texts in the ANSI code page of the calls they go into.
struct RunOptions {
    bool silent = false;
    bool langSet = false;
    int32_t lang = 0;
    std::string runtimeFolder;
    std::string kitFolder;
    bool msiArgumentsSet = false;
    std::string msiArguments;
    bool rebootSet = false;
    std::string reboot;
    bool addLocalSet = false;
    bool autoUpdate = false;
};

// The value of a string option in the ANSI code page; false (with the configuration message)
// when the code page cannot carry it.
bool ansiOption(HINSTANCE module, bool silent, int index, std::string& out) {
    if (Utf8ToAnsi(GetStringOption(index), out)) {
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
bool readOptions(HINSTANCE module, RunOptions& options) {
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
        if (!AnsiToUtf8(text, converted)) {
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

// Whether the command line that the executor makes of `program` and `arguments` is more than
// process creation takes. It is counted in UTF-16 units, the form the system receives: under a
// double-byte code page bytes and characters differ.
bool commandTooLong(const std::string& program, const std::string& arguments) {
    const std::string command = executor_cmdline::composeCommandLine(
        executor_cmdline::normalizeApplicationPath(program), arguments);
    const int units = MultiByteToWideChar(CP_ACP, 0, command.data(),
                                          static_cast<int>(command.size()), nullptr, 0);
    if (units <= 0) {
        // Uncounted, it cannot be known to fit: refused like one that does not.
        logit("The length of the msiexec command line cannot be counted: " +
              describeSystemError(GetLastError()) + ". Exiting installer.");
        return true;
    }
    if (static_cast<std::size_t>(units) <= launcher::kMaxCommandLineLength) {
        return false;
    }
    logit("The msiexec command line has " + std::to_string(units) +
          " characters; Windows accepts at most " +
          std::to_string(launcher::kMaxCommandLineLength) + ". Exiting installer.");
    return true;
}

// Names the prior installs this run removed, for a run that stops before it installs.
void logRemovedProducts() {
    const std::vector<std::string>& removed = runState().removedProducts;
    if (removed.empty()) {
        logit("Nothing was uninstalled before the installer stopped.");
        return;
    }
    std::string codes;
    for (const std::string& code : removed) {
        codes += (codes.empty() ? "" : ", ") + code;
    }
    logit("Uninstalled before the installer stopped, and not installed again: " + codes);
}

// Deletes the prepared runtime settings file when the run ends before storing it.
struct PreparedExport {
    PreparedExport() = default;
    PreparedExport(const PreparedExport&) = delete;
    PreparedExport& operator=(const PreparedExport&) = delete;
    ~PreparedExport() { DiscardRuntimeExport(); }
};

void showMessage(HINSTANCE module, unsigned captionId, unsigned textId, unsigned icon,
                 bool suppressed) {
    const std::string caption =
        captionId == 0 ? std::string() : loadMessageText(module, captionId, kCaptionCapacity);
    showMessageBox(caption, loadMessageText(module, textId, kMessageCapacity), icon, suppressed);
}

// Returns the extraction thread, or no handle when the cabinets were written here already.
ScopedKernelHandle startCabinetExtraction(HINSTANCE module) {
    ScopedKernelHandle thread(
        CreateThread(nullptr, 0, CabinetExtractionThread, module, 0, nullptr));
    if (!thread.valid()) {
        // The kit's database waits for the cabinets: write them here rather than never.
        logit(formatString("%s failed with %s", "CreateThread",
                           describeSystemError(GetLastError()).c_str()));
        CabinetExtractionThread(module);
    }
    return thread;
}

// The run's result stands only once every cabinet is written: a cabinet that cannot be written
// ends the process from the extraction thread with its own code, which must not lose the race
// against the main thread's exit (msiexec may end before the thread reaches the cabinet).
void awaitCabinetExtraction(const ScopedKernelHandle& thread) {
    if (!thread.valid() || WaitForSingleObject(thread.get(), INFINITE) != WAIT_FAILED) {
        return;
    }
    logit(formatString("%s failed with %s; the extraction thread is watched instead.",
                       "WaitForSingleObject", describeSystemError(GetLastError()).c_str()));
    // The cabinets are written until the thread ends, and a write failure there ends the run:
    // a run that went on without it could report success over a cut cabinet.
    DWORD code = 0;
    while (GetExitCodeThread(thread.get(), &code) && code == STILL_ACTIVE) {
        Sleep(kExtractionPollMilliseconds);
    }
    if (code == STILL_ACTIVE) {
        ShowFatalErrorAndExit("Installer : Wrapper.WaitForExtraction ", GetLastError());
    }
}

}  // namespace

void AppendInstallDirProperty(std::string& command, const std::string& folder) {
    command += launcher::installDirProperty(folder);
}

bool ReadProductRootValue(const char* name, std::string& value) {
    PlainRegKey software;
    if (software.open(HKEY_LOCAL_MACHINE, "Software", kRead) != ERROR_SUCCESS) {
        return false;
    }
    PlainRegKey tarnwell;
    if (tarnwell.open(software.handle(), "Tarnwell", kRead) != ERROR_SUCCESS) {
        return false;
    }
    std::vector<char> buffer(kInstallStatusCapacity);
    DWORD length = static_cast<DWORD>(buffer.size());
    if (tarnwell.queryString(name, buffer.data(), &length) != ERROR_SUCCESS) {
        return false;
    }
    value.assign(buffer.data());
    return !value.empty();
}

void ClearInstallStatus() {
    PlainRegKey software;
    if (software.open(HKEY_LOCAL_MACHINE, "Software", kRead) != ERROR_SUCCESS) {
        return;
    }
    PlainRegKey tarnwell;
    if (tarnwell.open(software.handle(), "Tarnwell", kReadWrite) != ERROR_SUCCESS) {
        return;
    }
    tarnwell.deleteValue("InstallStatus");
    DWORD subKeys = 0;
    DWORD values = 0;
    if (RegQueryInfoKeyA(tarnwell.handle(), nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr,
                         &values, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS &&
        subKeys == 0 && values == 0) {
        tarnwell.close();
        software.deleteSubKey("Tarnwell");
    }
}

bool IsSameVersionCreRegistered() {
    const std::string key =
        std::string("SOFTWARE\\Tarnwell\\Corvid Runtime Environment\\") + build::kProductVersion;
    PlainRegKey runtime;
    return runtime.open(HKEY_LOCAL_MACHINE, key.c_str(), kRead) == ERROR_SUCCESS;
}

int RunMainSequence(HINSTANCE module, int argc, wchar_t** argv) {
    SetDllDirectoryA("");
    RunState& state = runState();
    state.module = module;
    state.installLanguage = DetectInstallLanguage();
    int result = 1;

    std::vector<std::string> arguments;
    std::string refused;
    RunOptions options;
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

    state.installLanguage =
        launcher::chooseInstallLanguage(state.installLanguage, options.langSet, options.lang);
    state.publicRuntimeFolder = options.runtimeFolder;
    std::string msiArguments = options.msiArgumentsSet ? options.msiArguments + " " : "";
    state.rebootSuppressed = launcher::rebootSuppressed(options.rebootSet, options.reboot);
    const bool x64 = IsX64Flavour();

    if (!IsWindowsInstallerPresent()) {
        showMessage(module, 0, IDS_MSI_ENGINE_MISSING, kMessageIconError, false);
        return EXIT_NO_WINDOWS_INSTALLER;
    }
    if (IsInstallInProgress()) {
        showMessage(module, IDS_IN_PROGRESS_CAPTION, IDS_IN_PROGRESS, kMessageIconInformation,
                    options.silent);
        logit(
            "CDK wrapper: Another Corvid installation is in progress. You must complete that "
            "installation before you can run this installer.");
        return EXIT_REFUSED;
    }
    if (osLevel() <= sysinfo::OS_LEVEL_XP) {
        showMessage(module, IDS_WARNING_CAPTION, IDS_UNSUPPORTED_OS, kMessageIconInformation,
                    options.silent);
        logit("This is an unsupported operationg system.");
    }

    if (options.silent) {
        msiArguments = launcher::withSilentAdditions(msiArguments, options.addLocalSet);
    }
    if (!SetInstallInProgressFlag()) {
        return EXIT_REFUSED;
    }

    // Everything that can stop the run without changing the machine is settled before a prior
    // install is removed: a run that stops after the removal leaves no kit at all.
    if (FindResourceA(module, MAKEINTRESOURCEA(kKitDatabaseId), kInstallerType) == nullptr) {
        logit("The kit's database is not in this program: " + describeSystemError(GetLastError()) +
              ". Nothing is installed.");
        return result;
    }
    const std::string database = BuildMsiPath(x64);
    if (!FindMsiexecPath(state.msiexecPath, launcher::kMaxPathLength)) {
        return EXIT_MSIEXEC_NOT_FOUND;
    }
    const std::string kitCommand = launcher::kitCommand(
        state.msiexecPath, database, state.installLanguage, msiArguments, options.kitFolder);
    if (commandTooLong(state.msiexecPath, kitCommand)) {
        return EXIT_COMMAND_TOO_LONG;
    }
    if (PrepareRuntimeExport(module) != 0) {
        logit("Error occurred while exporting configuration settings. Exiting installer.");
        return EXIT_CONFIG_EXPORT_FAILED;
    }
    // The prepared file goes with any exit before it is stored, the fatal one included.
    const PreparedExport prepared;
    SetFatalExitCleanup(DiscardRuntimeExport);

    if (UninstallCREOrCDKIfSameVersionExists() == 0) {
        logRemovedProducts();
        return EXIT_REFUSED;
    }
    if (WriteResourceToFile(module, kKitDatabaseId, kInstallerType, database) == 0) {
        return result;
    }
    logit(formatString("szCDKExeCommand = %s\n", kitCommand.c_str()));

    if (ExportRuntimeConfig(module) != 0) {
        logit("Error occurred while exporting configuration settings. Exiting installer.");
        logRemovedProducts();
        return EXIT_CONFIG_EXPORT_FAILED;
    }
    // A payload file that cannot be written from here on ends the run with a failure code:
    // the settings file goes back as it was then too.
    SetFatalExitCleanup([] { RestoreRuntimeConfig(runState().module); });

    // Held until the process ends, so that the event outlives the extraction thread's handle.
    if (CreateCabinetEvent() == nullptr) {
        logit(formatString("%s failed with %s", "CreateEvent",
                           describeSystemError(GetLastError()).c_str()));
    }
    const ScopedKernelHandle extraction = startCabinetExtraction(module);

    result = Executor::ExecProcessWithAtlMessageLoop(state.msiexecPath, kitCommand, 0);
    std::string installStatus;
    if (ReadProductRootValue("InstallStatus", installStatus) && installStatus == "reinstall") {
        ClearInstallStatus();
        result = Executor::ExecProcessWithAtlMessageLoop(state.msiexecPath, kitCommand, 0);
    }
    awaitCabinetExtraction(extraction);

    // The kit's result stands: a successful install keeps the settings file whatever fails
    // after it (the updater's database included), a failed one puts it back.
    const bool restore = TakeFatalExitCleanup() != nullptr;
    if (result != 0) {
        logit(formatString("CDK installation failed.  Return Code: %d, ErrorCode: %lu", result,
                           static_cast<unsigned long>(GetLastError())));
        if (restore) {
            RestoreRuntimeConfig(module);
        }
    }

    if (launcher::runsPublicRuntime(options.silent, msiArguments)) {
        InstallPublicCre();
    }
    if (launcher::runsUpdater(result, IsSameVersionCreRegistered())) {
        try {
            InstallUpdaterComponent(module, options.autoUpdate);
        } catch (const std::exception& exception) {
            reportException(exception);
        } catch (...) {
            reportUnknownException();
        }
    }
    return result;
}
