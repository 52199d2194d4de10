// Child-process execution for the launcher's installer runs.
#include "Executor.h"

#include <vector>

#include "AllUtils.h"
#include "ExecutorCommandLine.h"
#include "StringFormat.h"
#include "SystemError.h"

namespace {

// Returned by the entry when the program path is empty (ERROR_FUNCTION_FAILED).
constexpr int kFunctionFailed = 1627;

// How long a terminated child is given to go away before finishExecution returns, so that
// callers do not find its files still held.
constexpr DWORD kTerminationGraceMilliseconds = 5000;

ProcessStartObserver& observerSlot() {
    static ProcessStartObserver observer;
    return observer;
}

}  // namespace

void setProcessStartObserver(ProcessStartObserver observer) {
    observerSlot() = std::move(observer);
}

int Executor::ExecProcessWithAtlMessageLoop(const std::string& applicationPath,
                                            const std::string& arguments, int hideWindow,
                                            bool* startedOut) {
    try {
        Executor executor(applicationPath);
        executor.setArguments(arguments);
        if (const ProcessStartObserver& observer = observerSlot()) {
            CDK_LOG(LOG_INFO, "Executor::startExecution",
                    "Executor.exec(): " + executor.commandLine());
            const int code = observer(ProcessStartRecord{executor.applicationPath(), arguments,
                                                         executor.commandLine(), hideWindow});
            if (startedOut != nullptr) {
                *startedOut = true;
            }
            return code;
        }
        executor.setHideWindow(hideWindow);
        executor.setWaitWithMessageLoop(true);
        const DWORD result = executor.exec();
        if (startedOut != nullptr) {
            *startedOut = executor.started();
        }
        return static_cast<int>(result);
    } catch (const ExecutorError& error) {
        CDK_LOG(LOG_ERROR, "Executor::ExecProcessWithAtlMessageLoop",
                std::string("ExecutorError in Executor::ExecProcessWithAtlMessageLoop ") +
                    error.what());
        return kFunctionFailed;
    }
}

Executor::Executor(const std::string& applicationPath) {
    if (executor_cmdline::trimBlanks(applicationPath).empty()) {
        CDK_LOG(LOG_ERROR, "Executor::Executor", "Executor: applicationPath is empty");
        throw ExecutorError("applicationPath is empty");
    }
    applicationPath_ = executor_cmdline::normalizeApplicationPath(applicationPath);
    commandLine_ = executor_cmdline::quotedApplicationPath(applicationPath_);
}

// The scoped members release the pipe and the handles of a child that was started but never
// finished.
Executor::~Executor() = default;

void Executor::closePipe() {
    pipeReadEnd_.reset();
    pipeWriteEnd_.reset();
}

void Executor::setArguments(const std::string& arguments) {
    arguments_ = executor_cmdline::trimBlanks(arguments);
    commandLine_ = executor_cmdline::composeCommandLine(applicationPath_, arguments_);
}

void Executor::prepareStartupInfo() {
    startupInfo_ = STARTUPINFOA{};
    startupInfo_.cb = sizeof(startupInfo_);
    processInformation_ = PROCESS_INFORMATION{};
    creationFlags_ = 0;
    if (hideWindow_ == 1) {
        startupInfo_.dwFlags |= STARTF_USESHOWWINDOW;
        startupInfo_.wShowWindow = SW_HIDE;
        creationFlags_ = CREATE_NO_WINDOW;
    }
    if (captureOutput_) {
        // A failure is logged by createPipe; the child then starts with the usual handles.
        createPipe();
    }
}

bool Executor::createPipe() {
    // A second start of the same object gets a fresh pipe rather than leaking the first.
    closePipe();
    SECURITY_ATTRIBUTES attributes{};
    attributes.nLength = sizeof(attributes);
    attributes.bInheritHandle = TRUE;
    attributes.lpSecurityDescriptor = nullptr;
    if (!CreatePipe(pipeReadEnd_.receive(), pipeWriteEnd_.receive(), &attributes, 0)) {
        CDK_LOG(LOG_INFO, "Executor::createPipe", "Create pipe FAILURE");
        return false;
    }
    startupInfo_.dwFlags |= STARTF_USESTDHANDLES;
    startupInfo_.hStdOutput = pipeWriteEnd_.get();
    startupInfo_.hStdError = pipeWriteEnd_.get();
    // Only the write end goes to the child.
    SetHandleInformation(pipeReadEnd_.get(), HANDLE_FLAG_INHERIT, 0);
    inheritHandles_ = TRUE;
    CDK_LOG(LOG_INFO, "Executor::createPipe", "Create pipe SUCCESS");
    return true;
}

bool Executor::startExecution() {
    CDK_LOG(LOG_INFO, "Executor::startExecution", "Executor.exec(): " + commandLine_);
    prepareStartupInfo();
    // CreateProcessA may write into the command line, so it gets its own writable copy; the
    // buffer holds the whole line, however long.
    std::vector<char> buffer(commandLine_.begin(), commandLine_.end());
    buffer.push_back('\0');
    // The program is named explicitly, so the system does not search the PATH for it.
    const BOOL created =
        CreateProcessA(applicationPath_.c_str(), buffer.data(), processAttributes_,
                       threadAttributes_, inheritHandles_, creationFlags_, environment_,
                       currentDirectory_, &startupInfo_, &processInformation_);
    if (created == FALSE) {
        return false;
    }
    // From here the two handles are released exactly once, whatever the caller does next.
    process_.reset(processInformation_.hProcess);
    thread_.reset(processInformation_.hThread);
    return true;
}

DWORD Executor::exec() {
    started_ = startExecution();
    if (started_) {
        return finishExecution();
    }
    const DWORD error = GetLastError();
    CDK_LOG(LOG_ERROR, "Executor::exec",
            formatString("%s failed with %s", "Executor.exec(): CreateProcess",
                         describeSystemError(error).c_str()));
    return error;
}

DWORD Executor::finishExecution() {
    DWORD code = 0;
    HANDLE process = processInformation_.hProcess;
    if (process == INVALID_HANDLE_VALUE) {
        code = GetLastError();
        CDK_LOG(LOG_ERROR, "Executor::finishExecution",
                formatString("%s failed with %s", "Executor.finishExecution()",
                             describeSystemError(code).c_str()));
        return code;
    }

    if (waitWithTimeout_ || waitWithMessageLoop_) {
        if (waitWithTimeout_) {
            code = WaitForSingleObject(process, timeout_);
            CDK_LOG(LOG_INFO, "Executor::finishExecution",
                    formatString("Executor.finishExecution(): WaitForSingleObject exited with "
                                 "code %lu",
                                 static_cast<unsigned long>(code)));
        } else {
            // The result does not matter: the exit code fetched below tells what happened.
            waitWithMessageLoop(process);
        }
        if (code == WAIT_TIMEOUT) {
            CDK_LOG(LOG_INFO, "Executor::finishExecution",
                    "Executor.finishExecution(): The timeout is elapsed. Terminating Process.");
            if (TerminateProcess(process, 1)) {
                // Termination is asynchronous; give the child a moment to be gone.
                WaitForSingleObject(process, kTerminationGraceMilliseconds);
            } else {
                const DWORD error = GetLastError();
                CDK_LOG(LOG_ERROR, "Executor::finishExecution",
                        formatString("%s failed with %s",
                                     "Executor.finishExecution(): TerminateProcess()",
                                     describeSystemError(error).c_str()));
            }
        } else {
            DWORD exitCode = 0;
            if (GetExitCodeProcess(process, &exitCode)) {
                code = exitCode;
            } else {
                code = GetLastError();
                CDK_LOG(LOG_ERROR, "Executor::finishExecution",
                        formatString("%s failed with %s",
                                     "Executor.finishExecution(): GetExitCodeProcess()",
                                     describeSystemError(code).c_str()));
            }
            CDK_LOG(LOG_INFO, "Executor::finishExecution",
                    formatString("Executor.finishExecution(): ExitCode = %lu",
                                 static_cast<unsigned long>(code)));
            if (code != 0) {
                // The description is that of the exit code itself: installers exit with
                // Win32 error codes (1603, 1618, ...), so it names what went wrong.
                CDK_LOG(LOG_ERROR, "Executor::finishExecution",
                        formatString("%s failed with %s",
                                     "Executor.finishExecution(): Process execution ",
                                     describeSystemError(code).c_str()));
            }
        }
    }

    process_.reset();
    thread_.reset();
    processInformation_.hProcess = nullptr;
    processInformation_.hThread = nullptr;
    return code;
}

bool Executor::waitWithMessageLoop(HANDLE process) {
    for (;;) {
        const DWORD wait =
            MsgWaitForMultipleObjectsEx(1, &process, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        if (wait == WAIT_OBJECT_0) {
            return true;
        }
        if (wait != WAIT_OBJECT_0 + 1) {
            return false;
        }
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE)) {
            // Unicode windows get their messages through the W functions, so that characters
            // outside the ANSI code page reach them unchanged.
            const bool unicode = message.hwnd != nullptr && IsWindowUnicode(message.hwnd);
            const BOOL got = unicode ? GetMessageW(&message, nullptr, 0, 0)
                                     : GetMessageA(&message, nullptr, 0, 0);
            // 0 is WM_QUIT, -1 an error: neither is dispatched, and WM_QUIT is not posted
            // again, so it ends here.
            if (got > 0) {
                TranslateMessage(&message);
                if (unicode) {
                    DispatchMessageW(&message);
                } else {
                    DispatchMessageA(&message);
                }
            }
            if (WaitForSingleObject(process, 0) == WAIT_OBJECT_0) {
                return true;
            }
        }
    }
}
