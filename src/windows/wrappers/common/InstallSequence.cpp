// The main sequence from the loaded install options to the exit code.
#include "InstallSequence.h"

#include <exception>
#include <vector>

#include "AllUtils.h"
#include "BuildConstants.h"
#include "ExecutorCommandLine.h"
#include "ExitCodes.h"
#include "FollowUps.h"
#include "LauncherLogic.h"
#include "MessageTexts.h"
#include "MessageUi.h"
#include "OsLevel.h"
#include "PayloadTable.h"
#include "PriorInstall.h"
#include "StringFormat.h"
#include "SystemError.h"

namespace launcher {
namespace {

constexpr std::size_t kCaptionCapacity = 256;
constexpr std::size_t kMessageCapacity = 1024;
constexpr std::size_t kInstallStatusCapacity = 512;
constexpr const char* kProductRoot = "Software\\Tarnwell";

void showMessage(const RunState& state, unsigned captionId, unsigned textId, unsigned icon,
                 bool suppressed) {
    const std::string caption =
        captionId == 0 ? std::string() : loadMessageText(state.module, captionId, kCaptionCapacity);
    showMessageBox(caption, loadMessageText(state.module, textId, kMessageCapacity), icon,
                   suppressed);
}

// Whether the command line that process creation receives for `program` and `arguments` is
// more than it takes. It is counted in UTF-16 units: under a double-byte code page bytes and
// characters differ.
bool commandTooLong(Ports& ports, const std::string& program, const std::string& arguments) {
    const std::string command = executor_cmdline::composeCommandLine(
        executor_cmdline::normalizeApplicationPath(program), arguments);
    std::size_t units = 0;
    if (!ports.probes.commandLineUnits(command, units)) {
        // Uncounted, it cannot be known to fit: refused like one that does not.
        logit("The length of the msiexec command line cannot be counted: " +
              describeSystemError(static_cast<uint32_t>(ports.probes.lastError())) +
              ". Exiting installer.");
        return true;
    }
    if (units <= kMaxCommandLineLength) {
        return false;
    }
    logit("The msiexec command line has " + std::to_string(units) +
          " characters; Windows accepts at most " + std::to_string(kMaxCommandLineLength) +
          ". Exiting installer.");
    return true;
}

// Names the prior installs this run removed, for a run that stops before it installs.
void logRemovedProducts(const RunState& state) {
    if (state.removedProducts.empty()) {
        logit("Nothing was uninstalled before the installer stopped.");
        return;
    }
    std::string codes;
    for (const std::string& code : state.removedProducts) {
        codes += (codes.empty() ? "" : ", ") + code;
    }
    logit("Uninstalled before the installer stopped, and not installed again: " + codes);
}

// Deletes the prepared runtime settings file when the run ends before storing it, and leaves
// no cleanup armed for a fatal exit once the run has returned (the extraction thread has ended
// by then, or was never started).
class PreparedExport {
  public:
    PreparedExport(RuntimeSettingsFile& settings, RunState& state)
        : settings_(settings), state_(state) {}
    PreparedExport(const PreparedExport&) = delete;
    PreparedExport& operator=(const PreparedExport&) = delete;
    ~PreparedExport() {
        state_.takeFatalCleanup();
        settings_.discardPreparedExport();
    }

  private:
    RuntimeSettingsFile& settings_;
    RunState& state_;
};

}  // namespace

bool ReadProductRootValue(Ports& ports, const char* name, std::string& value) {
    return ports.registry.queryString(RegistryView::Process, kProductRoot, name,
                                      kInstallStatusCapacity, value) == 0 &&
           !value.empty();
}

bool IsSameVersionCreRegistered(Ports& ports) {
    const std::string key =
        std::string("SOFTWARE\\Tarnwell\\Corvid Runtime Environment\\") + build::kProductVersion;
    return ports.registry.openKey(RegistryView::Process, key) == 0;
}

int RunInstallSequence(Ports& ports, RunState& state, const RunOptions& options) {
    int result = EXIT_NO_KIT_DATABASE;
    state.installLanguage =
        chooseInstallLanguage(state.installLanguage, options.langSet, options.lang);
    state.publicRuntimeFolder = options.runtimeFolder;
    std::string msiArguments = options.msiArgumentsSet ? options.msiArguments + " " : "";
    state.rebootSuppressed = rebootSuppressed(options.rebootSet, options.reboot);

    if (!ports.probes.windowsInstallerPresent()) {
        showMessage(state, 0, IDS_MSI_ENGINE_MISSING, kMessageIconError, false);
        return EXIT_NO_WINDOWS_INSTALLER;
    }
    if (ports.probes.installInProgress()) {
        showMessage(state, IDS_IN_PROGRESS_CAPTION, IDS_IN_PROGRESS, kMessageIconInformation,
                    options.silent);
        logit(
            "CDK wrapper: Another Corvid installation is in progress. You must complete that "
            "installation before you can run this installer.");
        return EXIT_REFUSED;
    }
    if (ports.probes.osLevel() <= sysinfo::OS_LEVEL_XP) {
        showMessage(state, IDS_WARNING_CAPTION, IDS_UNSUPPORTED_OS, kMessageIconInformation,
                    options.silent);
        // The record's spelling is kept: support staff search the logs for it.
        logit("This is an unsupported operationg system.");
    }

    if (options.silent) {
        msiArguments = withSilentAdditions(msiArguments, options.addLocalSet);
    }
    if (!ports.probes.setInstallInProgressFlag()) {
        return EXIT_REFUSED;
    }

    // Everything that can stop the run without changing the machine is settled before a prior
    // install is removed: a run that stops after the removal leaves no kit at all.
    if (const Status found = ports.payload.findInstallerResource(payload::kKitDatabase.id);
        !found.ok()) {
        logit("The kit's database is not in this program: " + describeSystemError(found.error()) +
              ". Nothing is installed.");
        return result;
    }
    const std::string database = ports.payload.kitDatabasePath();
    if (!ports.probes.findMsiexecPath(state.msiexecPath, kMaxPathLength)) {
        return EXIT_MSIEXEC_NOT_FOUND;
    }
    const std::string command = kitCommand(state.msiexecPath, database, state.installLanguage,
                                           msiArguments, options.kitFolder);
    if (commandTooLong(ports, state.msiexecPath, command)) {
        return EXIT_COMMAND_TOO_LONG;
    }
    if (ports.settings.prepareExport() != 0) {
        logit("Error occurred while exporting configuration settings. Exiting installer.");
        return EXIT_CONFIG_EXPORT_FAILED;
    }
    // The prepared file goes with any exit before it is stored, the fatal one included.
    const PreparedExport prepared(ports.settings, state);
    state.armFatalCleanup(FatalCleanup::DiscardPreparedExport);

    if (UninstallCREOrCDKIfSameVersionExists(ports, state) == 0) {
        logRemovedProducts(state);
        return EXIT_REFUSED;
    }
    if (ports.payload.writeInstallerResource(payload::kKitDatabase.id, database) == 0) {
        return result;
    }
    logit(formatString("szCDKExeCommand = %s\n", command.c_str()));

    if (ports.settings.storeExport() != 0) {
        logit("Error occurred while exporting configuration settings. Exiting installer.");
        logRemovedProducts(state);
        return EXIT_CONFIG_EXPORT_FAILED;
    }
    // A payload file that cannot be written from here on ends the run with a failure code:
    // the settings file goes back as it was then too.
    state.armFatalCleanup(FatalCleanup::RestoreSettings);

    if (const Status event = ports.payload.createCabinetEvent(); !event.ok()) {
        logit(formatString("%s failed with %s", "CreateEvent",
                           describeSystemError(event.error()).c_str()));
    }
    ports.payload.startCabinetExtraction();

    result = ports.processes.run(state.msiexecPath, command);
    std::string installStatus;
    if (ReadProductRootValue(ports, "InstallStatus", installStatus) &&
        installStatus == "reinstall") {
        ports.registry.clearInstallStatus();
        result = ports.processes.run(state.msiexecPath, command);
    }
    ports.payload.awaitCabinetExtraction();

    // The kit's result stands: a successful install keeps the settings file whatever fails
    // after it (the updater's database included), a failed one puts it back.
    const bool restore = state.takeFatalCleanup() != FatalCleanup::None;
    if (result != 0) {
        logit(formatString("CDK installation failed.  Return Code: %d, ErrorCode: %lu", result,
                           ports.probes.lastError()));
        if (restore) {
            ports.settings.restore();
        }
    }

    if (runsPublicRuntime(options.silent, msiArguments)) {
        InstallPublicCre(ports, state);
    }
    if (runsUpdater(result, IsSameVersionCreRegistered(ports))) {
        try {
            InstallUpdaterComponent(ports, options.autoUpdate);
        } catch (const std::exception& exception) {
            reportException(exception);
        } catch (...) {
            reportUnknownException();
        }
    }
    return result;
}

void runFatalCleanup(RunState& state, RuntimeSettingsFile& settings) {
    const FatalCleanup cleanup = state.takeFatalCleanup();
    // The exit goes on whatever the cleanup meets: its code is the failure's, not the cleanup's.
    try {
        if (cleanup == FatalCleanup::DiscardPreparedExport) {
            settings.discardPreparedExport();
        } else if (cleanup == FatalCleanup::RestoreSettings) {
            settings.restore();
        }
    } catch (const std::exception& exception) {
        reportException(exception);
    } catch (...) {
        reportUnknownException();
    }
}

}  // namespace launcher
