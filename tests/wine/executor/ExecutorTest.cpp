#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "Executor.h"
#include "LogCapture.h"
#include "PathNames.h"
#include "ScopedHandle.h"
#include "StringFormat.h"
#include "SystemError.h"
#include "TestFiles.h"

namespace {

std::string directoryOfThisProgram() {
    std::vector<char> buffer(32768);
    const DWORD length =
        GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    std::string path(buffer.data(), length);
    return path.substr(0, path.find_last_of("\\/"));
}

const std::string& childProgram() {
    static const std::string path = directoryOfThisProgram() + "\\executor_child.exe";
    return path;
}

using cdk_test::LogRecord;

size_t countLevel(const std::vector<LogRecord>& records, const std::string& level) {
    return static_cast<size_t>(std::count_if(records.begin(), records.end(),
                                             [&](const LogRecord& r) { return r.level == level; }));
}

// What the child reported about its start.
struct ChildReport {
    std::string commandLine;
    unsigned long startupFlags = 0;
    unsigned showWindow = 0;
};

class ExecutorTest : public ::testing::Test {
  protected:
    void SetUp() override {
        static int counter = 0;
        directory_ = joinPath(
            tempDirectory(), formatString("cdk_executor_%lu_%d", GetCurrentProcessId(), ++counter));
        CreateDirectoryA(directory_.c_str(), nullptr);
        log_.emplace(joinPath(directory_, "executor.log"));
        reportPath_ = joinPath(directory_, "report.txt");
        SetEnvironmentVariableA("CDK_EXECUTOR_CHILD_REPORT", reportPath_.c_str());
    }

    void TearDown() override {
        log_.reset();
        for (const char* name : {"CDK_EXECUTOR_CHILD_REPORT", "CDK_EXECUTOR_CHILD_STDOUT",
                                 "CDK_EXECUTOR_CHILD_SLEEP", "CDK_EXECUTOR_CHILD_EXIT"}) {
            SetEnvironmentVariableA(name, nullptr);
        }
        for (const std::string& file : extraFiles_) {
            DeleteFileA(file.c_str());
        }
        DeleteFileA(reportPath_.c_str());
        RemoveDirectoryA(subdirectory_.c_str());
        RemoveDirectoryA(directory_.c_str());
    }

    static void childExitsWith(unsigned code) {
        SetEnvironmentVariableA("CDK_EXECUTOR_CHILD_EXIT", std::to_string(code).c_str());
    }
    static void childSleeps(unsigned milliseconds) {
        SetEnvironmentVariableA("CDK_EXECUTOR_CHILD_SLEEP", std::to_string(milliseconds).c_str());
    }

    ChildReport report() const {
        ChildReport result;
        const std::string text = cdk_test::readFile(reportPath_);
        const size_t newline = text.find('\n');
        if (newline == std::string::npos) {
            ADD_FAILURE() << "the child wrote no report";
            return result;
        }
        result.commandLine = text.substr(0, newline);
        std::istringstream rest(text.substr(newline + 1));
        rest >> result.startupFlags >> result.showWindow;
        return result;
    }

    // A copy of the child in a folder and under a name that both contain spaces.
    std::string childWithSpaces() {
        subdirectory_ = joinPath(directory_, "child dir");
        CreateDirectoryA(subdirectory_.c_str(), nullptr);
        const std::string path = joinPath(subdirectory_, "executor child.exe");
        EXPECT_TRUE(CopyFileA(childProgram().c_str(), path.c_str(), FALSE));
        extraFiles_.push_back(path);
        return path;
    }

    std::vector<LogRecord> log() const { return log_->records(); }

    std::string directory_;
    std::string subdirectory_;
    std::optional<cdk_test::LogCapture> log_;
    std::string reportPath_;
    std::vector<std::string> extraFiles_;
};

// --- Exit codes and their log records -------------------------------------------------------

TEST_F(ExecutorTest, ExitCodeZeroIsReturnedWithOneInfoRecordAndNoError) {
    childExitsWith(0);
    bool started = false;
    EXPECT_EQ(Executor::ExecProcessWithAtlMessageLoop(childProgram(), "", 0, &started), 0);
    EXPECT_TRUE(started);
    const std::vector<LogRecord> lines = log();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].level, "INFO");
    EXPECT_EQ(lines[0].message, "Executor.exec(): \"" + childProgram() + "\"");
    EXPECT_EQ(lines[1].level, "INFO");
    EXPECT_EQ(lines[1].message, "Executor.finishExecution(): ExitCode = 0");
}

TEST_F(ExecutorTest, NonZeroExitCodeIsReturnedAndLoggedWithItsDescription) {
    childExitsWith(1603);
    bool started = false;
    EXPECT_EQ(Executor::ExecProcessWithAtlMessageLoop(childProgram(), "/i x", 0, &started), 1603);
    EXPECT_TRUE(started);
    const std::vector<LogRecord> lines = log();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[1].level, "INFO");
    EXPECT_EQ(lines[1].message, "Executor.finishExecution(): ExitCode = 1603");
    EXPECT_EQ(lines[2].level, "ERROR");
    EXPECT_EQ(lines[2].message, "Executor.finishExecution(): Process execution  failed with " +
                                    describeSystemError(1603));
    EXPECT_NE(lines[2].message.find("system error 1603 ("), std::string::npos);
}

TEST_F(ExecutorTest, ExitCodesWithTheTopBitSetArePrintedUnsigned) {
    childExitsWith(0xC0000005u);
    EXPECT_EQ(static_cast<unsigned>(
                  Executor::ExecProcessWithAtlMessageLoop(childProgram(), "", 0, nullptr)),
              0xC0000005u);
    const std::vector<LogRecord> lines = log();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[1].message, "Executor.finishExecution(): ExitCode = 3221225477");
}

TEST_F(ExecutorTest, MissingProgramGivesFileNotFoundAndOneError) {
    const std::string missing = joinPath(directory_, "no such program.exe");
    bool started = true;
    EXPECT_EQ(Executor::ExecProcessWithAtlMessageLoop(missing, "/q", 0, &started), 2);
    EXPECT_FALSE(started);
    const std::vector<LogRecord> lines = log();
    ASSERT_EQ(countLevel(lines, "ERROR"), 1u);
    EXPECT_EQ(lines.back().message,
              "Executor.exec(): CreateProcess failed with " + describeSystemError(2));
}

TEST_F(ExecutorTest, BlankPathGives1627WithTwoErrorsAndLeavesStartedAlone) {
    for (const char* path : {"", " \t "}) {
        log_->clear();
        bool started = true;
        EXPECT_EQ(Executor::ExecProcessWithAtlMessageLoop(path, "/q", 1, &started), 1627);
        EXPECT_TRUE(started);
        const std::vector<LogRecord> lines = log();
        ASSERT_EQ(lines.size(), 2u);
        EXPECT_EQ(lines[0].level, "ERROR");
        EXPECT_EQ(lines[0].message, "Executor: applicationPath is empty");
        EXPECT_EQ(lines[1].level, "ERROR");
        EXPECT_EQ(lines[1].message,
                  "ExecutorError in Executor::ExecProcessWithAtlMessageLoop applicationPath is "
                  "empty");
    }
    EXPECT_THROW(Executor executor("\t"), Executor::ExecutorError);
}

// --- The command line the child receives ----------------------------------------------------

TEST_F(ExecutorTest, ChildReceivesTheComposedCommandLine) {
    const std::string& path = childProgram();
    const std::string quoted = "\"" + path + "\"";
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"", quoted},
        {"  /a b\t", quoted + " /a b"},
        {path + " /a b", quoted + " /a b"},
        {quoted + "  /a \"b c\"", quoted + "  /a \"b c\""},
        {"/a " + path + " /b", quoted + " /a " + path + " /b"},
    };
    for (const auto& [arguments, expected] : cases) {
        DeleteFileA(reportPath_.c_str());
        EXPECT_EQ(Executor::ExecProcessWithAtlMessageLoop(path, arguments, 0, nullptr), 0)
            << arguments;
        EXPECT_EQ(report().commandLine, expected) << arguments;
    }
}

TEST_F(ExecutorTest, QuotedPathWithSpacesRunsUnquotedAndIsQuotedOnTheCommandLine) {
    const std::string path = childWithSpaces();
    childExitsWith(7);
    bool started = false;
    EXPECT_EQ(
        Executor::ExecProcessWithAtlMessageLoop("  \"" + path + "\"\t", "-x \"y z\"", 0, &started),
        7);
    EXPECT_TRUE(started);
    EXPECT_EQ(report().commandLine, "\"" + path + "\" -x \"y z\"");

    Executor executor(" \"" + path + "\" ");
    EXPECT_EQ(executor.applicationPath(), path);
    EXPECT_EQ(executor.commandLine(), "\"" + path + "\"");
}

TEST_F(ExecutorTest, ProgramIsNotSearchedOnThePath) {
    // A bare name that only a PATH search could find is not started.
    SetEnvironmentVariableA("CDK_EXECUTOR_CHILD_EXIT", "0");
    bool started = true;
    EXPECT_NE(Executor::ExecProcessWithAtlMessageLoop("cmd.exe", "/c exit 0", 0, &started), 0);
    EXPECT_FALSE(started);
}

// --- Hidden start -----------------------------------------------------------------------------

TEST_F(ExecutorTest, OnlyHideWindowOneRequestsAHiddenStart) {
    for (const int hide : {0, 1, 2, -1}) {
        Executor executor(childProgram());
        executor.setHideWindow(hide);
        executor.prepareStartupInfo();
        const STARTUPINFOA& startup = executor.startupInfo();
        EXPECT_EQ(startup.cb, sizeof(STARTUPINFOA));
        if (hide == 1) {
            EXPECT_EQ(startup.dwFlags, static_cast<DWORD>(STARTF_USESHOWWINDOW));
            EXPECT_EQ(startup.wShowWindow, SW_HIDE);
            EXPECT_EQ(executor.creationFlags(), static_cast<DWORD>(CREATE_NO_WINDOW));
        } else {
            EXPECT_EQ(startup.dwFlags, 0u) << hide;
            EXPECT_EQ(executor.creationFlags(), 0u) << hide;
        }
    }
}

TEST_F(ExecutorTest, ChildSeesTheHiddenStartInItsStartupInformation) {
    EXPECT_EQ(Executor::ExecProcessWithAtlMessageLoop(childProgram(), "", 1, nullptr), 0);
    ChildReport hidden = report();
    EXPECT_TRUE(hidden.startupFlags & STARTF_USESHOWWINDOW);
    EXPECT_EQ(hidden.showWindow, static_cast<unsigned>(SW_HIDE));

    for (const int hide : {0, 2}) {
        DeleteFileA(reportPath_.c_str());
        EXPECT_EQ(Executor::ExecProcessWithAtlMessageLoop(childProgram(), "", hide, nullptr), 0);
        EXPECT_FALSE(report().startupFlags & STARTF_USESHOWWINDOW) << hide;
    }
}

// --- Wait with time-out and output pipe -------------------------------------------------------

TEST_F(ExecutorTest, TimeOutReturns258AndTerminatesTheChild) {
    childSleeps(30000);
    Executor executor(childProgram());
    executor.setWaitWithTimeout(true, 300);
    const DWORD start = GetTickCount();
    EXPECT_EQ(executor.exec(), static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_LT(GetTickCount() - start, 10000u);
    EXPECT_TRUE(executor.started());
    EXPECT_EQ(executor.processInformation().hProcess, nullptr);

    const DWORD pid = executor.processInformation().dwProcessId;
    HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (process != nullptr) {
        // Still known to the system (another handle may hold it), but it must have ended.
        EXPECT_EQ(WaitForSingleObject(process, 0), WAIT_OBJECT_0);
        DWORD exitCode = 0;
        EXPECT_TRUE(GetExitCodeProcess(process, &exitCode));
        EXPECT_EQ(exitCode, 1u);
        CloseHandle(process);
    }

    const std::vector<LogRecord> lines = log();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[1].message,
              "Executor.finishExecution(): WaitForSingleObject exited with code 258");
    EXPECT_EQ(lines[2].message,
              "Executor.finishExecution(): The timeout is elapsed. Terminating Process.");
    EXPECT_EQ(countLevel(lines, "ERROR"), 0u);
}

TEST_F(ExecutorTest, ChildEndingWithinTheTimeOutGivesItsExitCode) {
    childExitsWith(5);
    Executor executor(childProgram());
    executor.setWaitWithTimeout(true, 20000);
    EXPECT_EQ(executor.exec(), 5u);
    const std::vector<LogRecord> lines = log();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[1].message,
              "Executor.finishExecution(): WaitForSingleObject exited with code 0");
    EXPECT_EQ(lines[2].message, "Executor.finishExecution(): ExitCode = 5");
    EXPECT_EQ(lines[3].level, "ERROR");
}

TEST_F(ExecutorTest, CapturedOutputArrivesOnThePipe) {
    SetEnvironmentVariableA("CDK_EXECUTOR_CHILD_STDOUT", "hello from the child");
    Executor executor(childProgram());
    executor.setCaptureOutput(true);
    executor.setWaitWithTimeout(true, 20000);
    EXPECT_EQ(executor.exec(), 0u);
    EXPECT_TRUE(executor.inheritHandles());
    EXPECT_TRUE(executor.startupInfo().dwFlags & STARTF_USESTDHANDLES);
    DWORD handleFlags = 0;
    ASSERT_TRUE(GetHandleInformation(executor.pipeReadEnd(), &handleFlags));
    EXPECT_FALSE(handleFlags & HANDLE_FLAG_INHERIT);

    DWORD available = 0;
    ASSERT_TRUE(PeekNamedPipe(executor.pipeReadEnd(), nullptr, 0, nullptr, &available, nullptr));
    std::string text(available, '\0');
    DWORD read = 0;
    if (available > 0) {
        ASSERT_TRUE(ReadFile(executor.pipeReadEnd(), text.data(), available, &read, nullptr));
    }
    EXPECT_EQ(text.substr(0, read), "hello from the child");
    EXPECT_EQ(log()[1].message, "Create pipe SUCCESS");
}

// --- The message-pumping wait -----------------------------------------------------------------
//
// These tests do not race sleeps against each other: the child sets a named event once it runs,
// a second thread then posts to the waiting thread, and the child ends only when the test's
// window procedure, called by the executor's message loop, has seen what the test waits for.
// A loop that does not dispatch leaves the child waiting until it gives up with exit code 99.

// Named events shared with the child through its environment.
class ChildEvents {
  public:
    ChildEvents() {
        static int counter = 0;
        const std::string stem =
            formatString("cdk-executor-%lu-%d-", GetCurrentProcessId(), ++counter);
        started_.reset(CreateEventA(nullptr, TRUE, FALSE, (stem + "started").c_str()));
        release_.reset(CreateEventA(nullptr, TRUE, FALSE, (stem + "release").c_str()));
        SetEnvironmentVariableA("CDK_EXECUTOR_CHILD_STARTED", (stem + "started").c_str());
        SetEnvironmentVariableA("CDK_EXECUTOR_CHILD_WAIT", (stem + "release").c_str());
    }
    ~ChildEvents() {
        release();
        SetEnvironmentVariableA("CDK_EXECUTOR_CHILD_STARTED", nullptr);
        SetEnvironmentVariableA("CDK_EXECUTOR_CHILD_WAIT", nullptr);
    }
    ChildEvents(const ChildEvents&) = delete;
    ChildEvents& operator=(const ChildEvents&) = delete;

    bool valid() const { return started_.valid() && release_.valid(); }
    bool waitUntilStarted() const {
        return WaitForSingleObject(started_.get(), 20000) == WAIT_OBJECT_0;
    }
    void release() const { SetEvent(release_.get()); }

  private:
    ScopedKernelHandle started_;
    ScopedKernelHandle release_;
};

// What the test window has received, and what it waits for before it releases the child.
struct WindowCounters {
    std::atomic<int> timers{0};
    std::atomic<int> posted{0};
    std::atomic<WPARAM> character{0};
    int timersWanted = 0;
    int postedWanted = 0;
    bool characterWanted = false;
    const ChildEvents* child = nullptr;

    void releaseChildWhenDone() const {
        if (timers >= timersWanted && posted >= postedWanted &&
            (!characterWanted || character != 0)) {
            child->release();
        }
    }
};
WindowCounters* g_counters = nullptr;

LRESULT CALLBACK countingWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_TIMER:
            ++g_counters->timers;
            g_counters->releaseChildWhenDone();
            return 0;
        case WM_APP:
            ++g_counters->posted;
            g_counters->releaseChildWhenDone();
            return 0;
        case WM_CHAR:
            g_counters->character = wParam;
            g_counters->releaseChildWhenDone();
            return 0;
        default:
            return IsWindowUnicode(window) ? DefWindowProcW(window, message, wParam, lParam)
                                           : DefWindowProcA(window, message, wParam, lParam);
    }
}

// A message-only window of this thread with the counting procedure, registered through the
// ANSI or the Unicode functions. A window needs Wine's desktop: a process that attached to it
// while Wine was ending it can create no window at all, however often it tries, so wine-run
// keeps the desktop up for the whole run.
class CountingWindow {
  public:
    CountingWindow(WindowCounters& counters, bool unicode) : unicode_(unicode) {
        g_counters = &counters;
        instance_ = GetModuleHandleA(nullptr);
        if (unicode_) {
            WNDCLASSW windowClass{};
            windowClass.lpfnWndProc = countingWindowProc;
            windowClass.hInstance = instance_;
            windowClass.lpszClassName = kClassW;
            if (RegisterClassW(&windowClass) != 0) {
                window_ = CreateWindowExW(0, kClassW, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                          instance_, nullptr);
            }
        } else {
            WNDCLASSA windowClass{};
            windowClass.lpfnWndProc = countingWindowProc;
            windowClass.hInstance = instance_;
            windowClass.lpszClassName = kClassA;
            if (RegisterClassA(&windowClass) != 0) {
                window_ = CreateWindowExA(0, kClassA, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                          instance_, nullptr);
            }
        }
    }
    ~CountingWindow() {
        if (window_ != nullptr) {
            DestroyWindow(window_);
        }
        if (unicode_) {
            UnregisterClassW(kClassW, instance_);
        } else {
            UnregisterClassA(kClassA, instance_);
        }
        g_counters = nullptr;
    }
    CountingWindow(const CountingWindow&) = delete;
    CountingWindow& operator=(const CountingWindow&) = delete;

    HWND handle() const { return window_; }

  private:
    static constexpr const char* kClassA = "CdkExecutorTestWindowA";
    static constexpr const wchar_t* kClassW = L"CdkExecutorTestWindowW";
    bool unicode_;
    HINSTANCE instance_ = nullptr;
    HWND window_ = nullptr;
};

TEST_F(ExecutorTest, QuitMessagePostedDuringTheWaitIsConsumed) {
    ChildEvents child;
    ASSERT_TRUE(child.valid());
    WindowCounters counters;
    counters.postedWanted = 1;
    counters.child = &child;
    CountingWindow window(counters, false);
    ASSERT_NE(window.handle(), nullptr);

    childExitsWith(3);
    const DWORD mainThread = GetCurrentThreadId();
    std::thread poster([&child, mainThread, hwnd = window.handle()] {
        if (child.waitUntilStarted()) {
            // Posted messages arrive in order: once the window has its message, the loop has
            // taken WM_QUIT off the queue, and only then is the child let go.
            PostThreadMessageA(mainThread, WM_QUIT, 42, 0);
            PostMessageA(hwnd, WM_APP, 0, 0);
        }
    });
    const int result = Executor::ExecProcessWithAtlMessageLoop(childProgram(), "", 0, nullptr);
    child.release();
    poster.join();
    // The wait went on until the child ended: its exit code, not STILL_ACTIVE.
    EXPECT_EQ(result, 3);
    EXPECT_EQ(counters.posted.load(), 1);
    MSG message;
    EXPECT_FALSE(PeekMessageA(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
}

TEST_F(ExecutorTest, WindowMessagesAreDispatchedDuringTheWait) {
    ChildEvents child;
    ASSERT_TRUE(child.valid());
    WindowCounters counters;
    counters.timersWanted = 3;
    counters.postedWanted = 1;
    counters.child = &child;
    CountingWindow window(counters, false);
    ASSERT_NE(window.handle(), nullptr);
    ASSERT_NE(SetTimer(window.handle(), 1, 50, nullptr), 0u);

    std::thread poster([&child, hwnd = window.handle()] {
        if (child.waitUntilStarted()) {
            PostMessageA(hwnd, WM_APP, 0, 0);
        }
    });
    EXPECT_EQ(Executor::ExecProcessWithAtlMessageLoop(childProgram(), "", 0, nullptr), 0);
    child.release();
    poster.join();
    KillTimer(window.handle(), 1);
    EXPECT_GE(counters.timers.load(), 3);
    EXPECT_EQ(counters.posted.load(), 1);
}

TEST_F(ExecutorTest, UnicodeWindowsReceiveCharactersOutsideTheAnsiCodePage) {
    ChildEvents child;
    ASSERT_TRUE(child.valid());
    WindowCounters counters;
    counters.characterWanted = true;
    counters.child = &child;
    CountingWindow window(counters, true);
    ASSERT_NE(window.handle(), nullptr);
    ASSERT_TRUE(IsWindowUnicode(window.handle()));

    std::thread poster([&child, hwnd = window.handle()] {
        if (child.waitUntilStarted()) {
            // U+4E2D has no form in the Western ANSI code page: an ANSI round trip makes it '?'.
            PostMessageW(hwnd, WM_CHAR, 0x4E2D, 0);
        }
    });
    EXPECT_EQ(Executor::ExecProcessWithAtlMessageLoop(childProgram(), "", 0, nullptr), 0);
    child.release();
    poster.join();
    EXPECT_EQ(counters.character.load(), static_cast<WPARAM>(0x4E2D));
}

}  // namespace
