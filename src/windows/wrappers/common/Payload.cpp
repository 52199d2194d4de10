// Writing the payload resources to files, and the fatal exit when that fails.
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "AllUtils.h"
#include "CheckedFile.h"
#include "LauncherLogic.h"
#include "MessageUi.h"
#include "Payload.h"
#include "PayloadTable.h"
#include "ScopedHandle.h"
#include "SysInfo.h"
#include "SystemError.h"
#include "Win32Ports.h"

namespace {

constexpr DWORD kPieceSize = 8192;
constexpr DWORD kCompareSize = 1 << 20;

constexpr const char* kCreateStep = "Installer : Wrapper.CreateFile ";
constexpr const char* kWriteStep = "Installer : Wrapper.WriteFile (In small chunks) ";
constexpr const char* kCloseStep = "Installer : Wrapper.CloseHandle ";
constexpr const char* kVerifyStep = "Installer : Wrapper.ReadFile ";

// What the calling thread is writing, for the log record of a fatal exit.
thread_local std::string payloadInProgress;

// The payload's resources as support staff know them.
std::string payloadDescription(int id, const char* type) {
    const std::string kind(type);
    if (kind == payload::kInstallerType) {
        return id == payload::kUpdaterDatabase.id ? "The updater's database" : "The kit's database";
    }
    return "The cabinet";
}

// The system's text for a code, in the ANSI code page and with its line break.
std::string systemText(DWORD code) {
    char* buffer = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER,
        nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<char*>(&buffer),
        0, nullptr);
    ScopedLocalMemory owner(buffer);
    if (length == 0 || buffer == nullptr) {
        return "No description available\r\n";
    }
    return std::string(buffer, length);
}

// Reads the written file back through a handle that lets others only read, and keeps that
// handle: from here until the process ends nobody can change, replace or delete the file, and
// what the installers read is what the resource holds. The reopen is checked like the create, as
// the name could have been replaced in between.
void holdAndVerify(const std::string& path, const std::wstring& folder, const std::wstring& name,
                   const uint8_t* data, DWORD size) {
    checked_file::Opened file =
        checked_file::openInHeldFolder(folder, name, GENERIC_READ, FILE_SHARE_READ);
    if (file.error != ERROR_SUCCESS) {
        if (file.error == checked_file::kStoppedOnLink) {
            LogLinkRefused(path, file.finalPath);
        }
        ShowFatalErrorAndExit(kCreateStep, file.error);
    }
    std::vector<uint8_t> buffer(std::min(size, kCompareSize) + 1);
    DWORD offset = 0;
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(file.handle.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &read,
                      nullptr)) {
            ShowFatalErrorAndExit(kVerifyStep);
        }
        if (read == 0) {
            break;
        }
        if (read > size - offset || std::memcmp(buffer.data(), data + offset, read) != 0) {
            ShowFatalErrorAndExit(kVerifyStep, ERROR_FILE_CORRUPT);
        }
        offset += read;
    }
    if (offset != size) {
        ShowFatalErrorAndExit(kVerifyStep, ERROR_FILE_CORRUPT);
    }
    // Intentionally never closed: the system closes it when the process ends.
    (void)file.handle.take();
}

}  // namespace

DWORD FatalExitCode(DWORD code) {
    // A failure without a system error still must not look like success.
    return code == 0 ? ERROR_FUNCTION_FAILED : code;
}

std::string FatalErrorText(const char* step, DWORD code) {
    return std::string(step) + " failed with error " + std::to_string(static_cast<long>(code)) +
           ": " + systemText(code);
}

launcher::RunState& runState() {
    static launcher::RunState state;
    return state;
}

void ShowFatalErrorAndExit(const char* step, DWORD code) {
    code = FatalExitCode(code != 0 ? code : GetLastError());
    const std::string text = FatalErrorText(step, code);
    CDK_LOG(LOG_ERROR, "ShowFatalErrorAndExit",
            (payloadInProgress.empty() ? std::string("The installer stopped")
                                       : payloadInProgress + " could not be written") +
                ": " + text);
    // The exit code counts as a failed install, so what was changed for it is put back first.
    // The run's state says what: the extraction thread may get here while the main thread
    // finishes a failed install, and only one of them takes the cleanup.
    launcher::RunState& state = runState();
    Win32SettingsFile settings(static_cast<HINSTANCE>(state.module));
    launcher::runFatalCleanup(state, settings);
    showMessageBox("Error", text, 0, false);
    // Ends every thread at once: the other thread may be running installers or be on its own
    // way out, and an orderly exit from two threads at the same time can block.
    TerminateProcess(GetCurrentProcess(), code);
    ExitProcess(code);
}

std::string UserDataFolder() {
    DWORD error = ERROR_SUCCESS;
    const std::string folder = getUserAppDataDir(error);
    if (error == ERROR_NO_UNICODE_TRANSLATION) {
        // Before anything is written below it: under a look-alike name the folder would be
        // another user's.
        ShowFatalErrorAndExit(kCreateStep, error);
    }
    return folder;
}

void LogLinkRefused(const std::string& path, const std::wstring& finalPath, const char* refused) {
    const std::string where =
        finalPath.empty()
            ? std::string("a link that leads nowhere")
            : "a link to " + checked_file::narrowForLog(checked_file::displayPath(finalPath));
    CDK_LOG(LOG_ERROR, "LogLinkRefused", path + " is " + where + ": " + refused + ".");
}

launcher::Status HoldUserFolders(const std::string& root, const std::string& below,
                                 bool createRoot) {
    if (root.empty()) {
        CDK_LOG(LOG_ERROR, "HoldUserFolders", "The user's data folder is not known.");
        return launcher::Status::failed(ERROR_PATH_NOT_FOUND);
    }
    const std::wstring wideRoot = checked_file::widenAnsi(root);
    const std::wstring wideBelow = checked_file::widenAnsi(below);
    if (wideRoot.empty() || (!below.empty() && wideBelow.empty())) {
        CDK_LOG(LOG_ERROR, "HoldUserFolders",
                "The folder " + root + "\\" + below + " is not a path of the ANSI code page.");
        return launcher::Status::failed(ERROR_NO_UNICODE_TRANSLATION);
    }
    checked_file::Stop stop;
    const DWORD error = checked_file::holdFolders(wideRoot, wideBelow, createRoot, stop);
    if (error == checked_file::kStoppedOnLink) {
        LogLinkRefused(checked_file::narrowForLog(stop.path), stop.finalPath);
    } else if (error != ERROR_SUCCESS) {
        CDK_LOG(LOG_ERROR, "HoldUserFolders",
                "The folder " + checked_file::narrowForLog(stop.path) +
                    " cannot be had: " + describeSystemError(error));
    }
    return launcher::Status::fromCode(error);
}

int WriteResourceToFile(HINSTANCE module, int id, const char* type, const std::string& path) {
    HRSRC resource = FindResourceA(module, MAKEINTRESOURCEA(id), type);
    if (resource == nullptr) {
        logit(payloadDescription(id, type) +
              " is not in this program: " + describeSystemError(GetLastError()));
        return 0;
    }
    payloadInProgress = payloadDescription(id, type) + " " + path;
    const DWORD size = SizeofResource(module, resource);
    if (size == 0) {
        // No payload file is empty: a size the system cannot tell must not become an empty
        // file that is then handed to msiexec as the real one.
        const DWORD error = GetLastError();
        ShowFatalErrorAndExit(kCreateStep, error != ERROR_SUCCESS ? error : ERROR_INVALID_DATA);
    }
    HGLOBAL loaded = LoadResource(module, resource);
    const auto* data =
        static_cast<const uint8_t*>(loaded != nullptr ? LockResource(loaded) : nullptr);
    if (data == nullptr && size != 0) {
        ShowFatalErrorAndExit(kCreateStep);
    }
    if (path.size() >= launcher::kMaxPathLength) {
        ShowFatalErrorAndExit(kCreateStep, ERROR_FILENAME_EXCED_RANGE);
    }

    // The folder was held and checked by whoever built the path (HoldUserFolders); the file is
    // created new, or the one there is checked before it is emptied and written.
    std::wstring folder;
    std::wstring name;
    if (!checked_file::splitPath(checked_file::widenAnsi(path), folder, name)) {
        ShowFatalErrorAndExit(kCreateStep, ERROR_NO_UNICODE_TRANSLATION);
    }
    checked_file::Opened file =
        checked_file::createOrOpenFile(folder, name, GENERIC_WRITE, 0, true);
    if (file.error != ERROR_SUCCESS) {
        if (file.error == checked_file::kStoppedOnLink) {
            LogLinkRefused(path, file.finalPath);
        }
        ShowFatalErrorAndExit(kCreateStep, file.error);
    }
    DWORD offset = 0;
    while (offset < size) {
        const DWORD piece = std::min(kPieceSize, size - offset);
        DWORD written = 0;
        SetLastError(ERROR_SUCCESS);
        if (!WriteFile(file.handle.get(), data + offset, piece, &written, nullptr)) {
            ShowFatalErrorAndExit(kWriteStep);
        }
        if (written == 0) {
            // A write that reports success without writing would loop for ever.
            const DWORD error = GetLastError();
            ShowFatalErrorAndExit(kWriteStep, error != 0 ? error : ERROR_WRITE_FAULT);
        }
        offset += written;
    }
    if (!CloseHandle(file.handle.take())) {
        ShowFatalErrorAndExit(kCloseStep);
    }
    holdAndVerify(path, folder, name, data, size);
    payloadInProgress.clear();
    return 1;
}
