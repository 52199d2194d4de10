// Starts one child program, waits for it (optionally while dispatching the calling thread's
// window messages) and returns its exit code. Every step goes to the diagnostic log.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>

#include "ScopedHandle.h"

// What a test sees of each process start that goes through ExecProcessWithAtlMessageLoop: the
// program, the arguments as given and the command line the child would receive.
struct ProcessStartRecord {
    std::string applicationPath;
    std::string arguments;
    std::string commandLine;
    int hideWindow = 0;
};
// Answers a process start instead of the system: the returned value is the child's exit code.
using ProcessStartObserver = std::function<int(const ProcessStartRecord&)>;

// Sets (or, with an empty function, clears) the observer. While one is set, no process is
// started by ExecProcessWithAtlMessageLoop: decision logic that runs installers can then be
// tested with scripted exit codes.
void setProcessStartObserver(ProcessStartObserver observer);

class Executor {
  public:
    // Thrown by the constructor for an empty or blank program path.
    class ExecutorError : public std::exception {
      public:
        explicit ExecutorError(std::string message) : message_(std::move(message)) {}
        const char* what() const noexcept override { return message_.c_str(); }

      private:
        std::string message_;
    };

    // The launcher's entry: runs `applicationPath` with `arguments`, hidden when `hideWindow`
    // is 1, and waits while dispatching this thread's messages. Returns the child's exit code,
    // the system error code when it could not be started, or 1627 (ERROR_FUNCTION_FAILED) for
    // an empty path. `startedOut`, when given, receives whether the child was started; it is
    // left untouched for an empty path.
    static int ExecProcessWithAtlMessageLoop(const std::string& applicationPath,
                                             const std::string& arguments, int hideWindow,
                                             bool* startedOut = nullptr);

    // Trims `applicationPath` and removes enclosing quotes; throws ExecutorError when nothing
    // is left.
    explicit Executor(const std::string& applicationPath);
    ~Executor();
    Executor(const Executor&) = delete;
    Executor& operator=(const Executor&) = delete;

    // Stores the trimmed arguments and composes the command line from them.
    void setArguments(const std::string& arguments);

    void setHideWindow(int hideWindow) { hideWindow_ = hideWindow; }
    // Wait mode A: wait on the child for at most `timeoutMilliseconds`, then terminate it.
    void setWaitWithTimeout(bool on, DWORD timeoutMilliseconds = INFINITE) {
        waitWithTimeout_ = on;
        timeout_ = timeoutMilliseconds;
    }
    // Wait mode B: wait while dispatching this thread's window messages.
    void setWaitWithMessageLoop(bool on) { waitWithMessageLoop_ = on; }
    // Gives the child an inheritable pipe as standard output and standard error.
    void setCaptureOutput(bool on) { captureOutput_ = on; }

    // Starts the child and, if it started, finishes it. Returns the child's exit code, the
    // wait result 258 after a time-out, or the system error code of a failed start.
    DWORD exec();
    // Creates the child process; true when it was created.
    bool startExecution();
    // Waits according to the wait mode, fetches the exit code and closes the process and
    // thread handles.
    DWORD finishExecution();
    // Creates the output pipe and hands its write end to the child's startup information.
    bool createPipe();
    // Resets the startup and process information (and hidden-start settings) for a start.
    void prepareStartupInfo();

    const std::string& applicationPath() const { return applicationPath_; }
    const std::string& arguments() const { return arguments_; }
    const std::string& commandLine() const { return commandLine_; }
    const STARTUPINFOA& startupInfo() const { return startupInfo_; }
    const PROCESS_INFORMATION& processInformation() const { return processInformation_; }
    DWORD creationFlags() const { return creationFlags_; }
    bool inheritHandles() const { return inheritHandles_ != FALSE; }
    bool started() const { return started_; }
    HANDLE pipeReadEnd() const { return pipeReadEnd_.get(); }
    HANDLE pipeWriteEnd() const { return pipeWriteEnd_.get(); }

  private:
    // Waits on `process` while dispatching this thread's messages; true when it ended.
    static bool waitWithMessageLoop(HANDLE process);
    void closePipe();

    std::string applicationPath_;
    std::string arguments_;
    std::string commandLine_;
    LPSECURITY_ATTRIBUTES processAttributes_ = nullptr;
    LPSECURITY_ATTRIBUTES threadAttributes_ = nullptr;
    BOOL inheritHandles_ = FALSE;
    DWORD creationFlags_ = 0;
    LPVOID environment_ = nullptr;
    LPCSTR currentDirectory_ = nullptr;
    // Filled by CreateProcessA; process_ and thread_ own the two handles it names, which stay in
    // it as plain copies for processInformation() until finishExecution releases them.
    PROCESS_INFORMATION processInformation_{};
    ScopedKernelHandle process_;
    ScopedKernelHandle thread_;
    STARTUPINFOA startupInfo_{};
    int hideWindow_ = 0;
    bool waitWithTimeout_ = false;
    DWORD timeout_ = INFINITE;
    bool waitWithMessageLoop_ = false;
    bool captureOutput_ = false;
    bool started_ = false;
    ScopedKernelHandle pipeReadEnd_;
    ScopedKernelHandle pipeWriteEnd_;
};
