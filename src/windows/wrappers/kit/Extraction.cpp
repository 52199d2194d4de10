// The working folder and the background extraction of the cabinets.
#include <windows.h>

#include <exception>
#include <new>
#include <string_view>

#include "AllUtils.h"
#include "BuildConstants.h"
#include "Kit.h"
#include "LauncherLogic.h"
#include "PathNames.h"
#include "Payload.h"
#include "PayloadTable.h"
#include "Probes.h"
#include "ScopedHandle.h"
#include "StringFormat.h"
#include "SysInfo.h"
#include "SystemError.h"

namespace {

constexpr const char* kCabinetEventName = "HalvardCDKCabExtractWaitEvent";
constexpr const char* kCreateStep = "Installer : Wrapper.CreateFile ";
constexpr const char* kExtractionStep = "Installer : Wrapper.CabinetExtractionThread ";
constexpr const char* kWaitStep = "Installer : Wrapper.WaitForExtraction ";
constexpr std::string_view kCabinetSuffix = ".cab";
// How often the extraction thread is looked at when it cannot be waited for.
constexpr DWORD kExtractionPollMilliseconds = 50;

// Creates "<data>\Halvard\", "...Corvid\" and "...cdk<version>[_x64]" and returns the last. Each
// is checked to be no link and held from the user's data folder down until the process ends, so
// that the files written there stay where their path says until msiexec has read them. A folder
// that cannot be had, or a path that would not fit, ends the process.
std::string prepareWorkingFolder(bool createDataFolder, bool x64) {
    const std::string data = UserDataFolder();
    if (data.empty()) {
        ShowFatalErrorAndExit(kCreateStep, ERROR_PATH_NOT_FOUND);
    }
    const std::string folder = launcher::workingFolder(data, build::kProductVersion, x64);
    if (folder.size() >= launcher::kMaxPathLength) {
        ShowFatalErrorAndExit(kCreateStep, ERROR_FILENAME_EXCED_RANGE);
    }
    // The working folder's path is the data folder's followed by the folders below it.
    const launcher::Status held =
        HoldUserFolders(data, folder.substr(data.size()), createDataFolder);
    if (!held.ok()) {
        ShowFatalErrorAndExit(kCreateStep, held.error());
    }
    return folder;
}

std::string checkedPath(std::string path) {
    if (path.size() >= launcher::kMaxPathLength) {
        ShowFatalErrorAndExit(kCreateStep, ERROR_FILENAME_EXCED_RANGE);
    }
    return path;
}

}  // namespace

std::string BuildMsiPath(bool x64) {
    const std::string folder = prepareWorkingFolder(true, x64);
    return checkedPath(folder + "\\cdk" + build::kProductVersion + ".msi");
}

std::string BuildCabinetPath(const char* baseName, bool x64) {
    const std::string folder = prepareWorkingFolder(false, x64);
    return checkedPath(folder + "\\" + baseName + ".cab");
}

HANDLE CreateCabinetEvent() {
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, kCabinetEventName);
    if (event == nullptr || GetLastError() != ERROR_ALREADY_EXISTS) {
        return event;
    }
    // The name was taken already (by the msiexec of an earlier run that was ended, or by
    // another process), and that event may be set: the kit's database would then read the
    // cabinets before they are written. It is cleared before the extraction starts.
    if (ResetEvent(event)) {
        logit(
            formatString("The event %s existed already; it is reset until the cabinets are "
                         "written.",
                         kCabinetEventName));
    } else {
        logit(formatString("The event %s existed already and cannot be reset: %s",
                           kCabinetEventName, describeSystemError(GetLastError()).c_str()));
    }
    return event;
}

int SignalCabinetsReady() {
    // Opened as it is: the main sequence created (and cleared) it before the extraction began.
    ScopedKernelHandle event(CreateEventA(nullptr, TRUE, FALSE, kCabinetEventName));
    if (!event.valid()) {
        return 0;
    }
    SetEvent(event.get());
    return 1;
}

DWORD WINAPI CabinetExtractionThread(LPVOID module) {
    // Nothing may leave the thread: an exception there would end the program without a word.
    // The cabinets are then not all written, so the run ends through the fatal path.
    try {
        const bool x64 = IsX64Flavour();
        for (const payload::Resource& cabinet : payload::kResources) {
            if (!payload::isCabinet(cabinet)) {
                continue;
            }
            // BuildCabinetPath adds the ".cab" that ends every cabinet's file name.
            std::string baseName =
                launcher::payloadFileName(cabinet.fileTemplate, build::kProductVersion);
            baseName.resize(baseName.size() - kCabinetSuffix.size());
            const std::string path = BuildCabinetPath(baseName.c_str(), x64);
            // A cabinet missing from this build is passed over.
            WriteResourceToFile(static_cast<HINSTANCE>(module), cabinet.id, cabinet.type, path);
        }
    } catch (const std::bad_alloc& exception) {
        reportException(exception);
        ShowFatalErrorAndExit(kExtractionStep, ERROR_NOT_ENOUGH_MEMORY);
    } catch (const std::exception& exception) {
        reportException(exception);
        ShowFatalErrorAndExit(kExtractionStep, ERROR_INTERNAL_ERROR);
    } catch (...) {
        reportUnknownException();
        ShowFatalErrorAndExit(kExtractionStep, ERROR_INTERNAL_ERROR);
    }
    SignalCabinetsReady();
    return 1;
}

std::string KitPayload::kitDatabasePath() { return BuildMsiPath(IsX64Flavour()); }

launcher::Status KitPayload::createCabinetEvent() {
    // Held until the process ends, so that the event outlives the extraction thread's handle.
    return CreateCabinetEvent() != nullptr ? launcher::Status::done()
                                           : launcher::Status::failed(GetLastError());
}

void KitPayload::startCabinetExtraction() {
    extraction_.reset(CreateThread(nullptr, 0, CabinetExtractionThread, module(), 0, nullptr));
    if (!extraction_.valid()) {
        // The kit's database waits for the cabinets: write them here rather than never.
        logit(formatString("%s failed with %s", "CreateThread",
                           describeSystemError(GetLastError()).c_str()));
        CabinetExtractionThread(module());
    }
}

// The run's result stands only once every cabinet is written: a cabinet that cannot be written
// ends the process from the extraction thread with its own code, which must not lose the race
// against the main thread's exit (msiexec may end before the thread reaches the cabinet).
void KitPayload::awaitCabinetExtraction() {
    if (!extraction_.valid() || WaitForSingleObject(extraction_.get(), INFINITE) != WAIT_FAILED) {
        return;
    }
    logit(formatString("%s failed with %s; the extraction thread is watched instead.",
                       "WaitForSingleObject", describeSystemError(GetLastError()).c_str()));
    // The cabinets are written until the thread ends, and a write failure there ends the run:
    // a run that went on without it could report success over a cut cabinet.
    DWORD code = 0;
    while (GetExitCodeThread(extraction_.get(), &code) && code == STILL_ACTIVE) {
        Sleep(kExtractionPollMilliseconds);
    }
    if (code == STILL_ACTIVE) {
        ShowFatalErrorAndExit(kWaitStep, GetLastError());
    }
}
