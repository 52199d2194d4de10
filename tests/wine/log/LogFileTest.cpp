// The diagnostic log's file behaviour on Windows: text mode, the exclusive-write open with its
// retries, start-up initialisation, and several processes appending to one file.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <vector>

#include "AllUtils.h"
#include "AllUtilsPlatform.h"
#include "LogCapture.h"
#include "PathNames.h"
#include "ScopedHandle.h"
#include "StringFormat.h"
#include "SystemError.h"

namespace {

std::string exeDirectory() {
    char buffer[MAX_PATH * 4];
    const DWORD n = GetModuleFileNameA(nullptr, buffer, sizeof buffer);
    std::string path(buffer, n);
    return path.substr(0, path.find_last_of("\\/"));
}

// A manual-reset event whose name, unique to this process, is passed to a peer. It is set when
// it goes out of scope, so that a peer still waiting after a failed assertion ends at once.
class NamedEvent {
  public:
    explicit NamedEvent(const std::string& purpose)
        : name_("cdk-log-" + purpose + "-" + std::to_string(GetCurrentProcessId())),
          handle_(CreateEventA(nullptr, TRUE, FALSE, name_.c_str())) {}
    ~NamedEvent() { set(); }
    NamedEvent(const NamedEvent&) = delete;
    NamedEvent& operator=(const NamedEvent&) = delete;

    const std::string& name() const { return name_; }
    bool valid() const { return handle_.valid(); }
    HANDLE handle() const { return handle_.get(); }
    void set() const { SetEvent(handle_.get()); }

  private:
    std::string name_;
    ScopedKernelHandle handle_;
};

// Waits until a peer has set `event`; false when the peer exited first or 30 s passed.
bool peerSignalled(const NamedEvent& event, const ScopedKernelHandle& peer) {
    const HANDLE both[] = {event.handle(), peer.get()};
    return WaitForMultipleObjects(2, both, FALSE, 30000) == WAIT_OBJECT_0;
}

DWORD exitCodeOf(const ScopedKernelHandle& process) {
    DWORD code = 0;
    GetExitCodeProcess(process.get(), &code);
    return code;
}

// Starts log_peer.exe, which lies beside this program, with the given arguments.
ScopedKernelHandle startPeer(const std::string& arguments) {
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    std::string commandLine = "\"" + exeDirectory() + "\\log_peer.exe\" " + arguments;
    if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &si, &pi)) {
        return ScopedKernelHandle();
    }
    CloseHandle(pi.hThread);
    return ScopedKernelHandle(pi.hProcess);
}

class WindowsLogFile : public ::testing::Test {
  protected:
    void SetUp() override {
        log_.emplace();
        DiagnosticLog::instance().setProgramName(moduleBaseName());
    }
    void TearDown() override { log_.reset(); }
    std::optional<cdk_test::LogCapture> log_;
};

}  // namespace

TEST_F(WindowsLogFile, TextModeStoresCrLf) {
    CDK_LOG(LOG_INFO, "Test::crlf", "one\ntwo");
    const std::string text = log_->text();
    EXPECT_NE(text.find("(Test::crlf)]\r\n\tINFO: one\r\ntwo\r\n"), std::string::npos) << text;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n') {
            ASSERT_GT(i, 0u);
            EXPECT_EQ(text[i - 1], '\r') << "bare line feed at " << i;
        }
    }
    EXPECT_NE(text.find(", wine_log_tests.exe (PID: " + std::to_string(GetCurrentProcessId()) +
                        ", TID: " + std::to_string(GetCurrentThreadId()) + "), LogFileTest.cpp:"),
              std::string::npos);
}

TEST_F(WindowsLogFile, LongMessageIsWrittenWhole) {
    std::string message;
    for (int i = 0; message.size() < 9000; ++i) {
        message += "chunk" + std::to_string(i) + " ";
    }
    CDK_LOG(LOG_WARNING, "Test::long", message);
    EXPECT_NE(log_->text().find("\tWARNING: " + message + "\r\n"), std::string::npos);
}

TEST_F(WindowsLogFile, SystemMessageTextIsCleaned) {
    // Wine's text for 2 is "File not found.\r\n" or similar: the trailing full stop and line
    // break are gone, and nothing below U+0020 remains.
    const std::string text = systemMessageText(ERROR_FILE_NOT_FOUND);
    ASSERT_FALSE(text.empty());
    EXPECT_NE(text, "No description available");
    EXPECT_NE(text.back(), '.');
    EXPECT_NE(text.back(), ' ');
    for (char c : text) {
        EXPECT_GE(static_cast<unsigned char>(c), 0x20);
    }
    EXPECT_EQ(describeSystemError(ERROR_FILE_NOT_FOUND), "system error 2 (" + text + ")");
    EXPECT_EQ(systemMessageText(0x2000FFFFu), "No description available");
}

TEST_F(WindowsLogFile, WriterHeldOffByAnotherProcessGivesUpAfterTenAttempts) {
    NamedEvent held("held");
    NamedEvent release("release");
    ASSERT_TRUE(held.valid() && release.valid());
    const ScopedKernelHandle peer =
        startPeer("hold \"" + log_->path() + "\" " + held.name() + " " + release.name());
    ASSERT_TRUE(peer.valid());
    // The record is written only once the peer holds the file open.
    ASSERT_TRUE(peerSignalled(held, peer)) << "the peer ended with " << exitCodeOf(peer);

    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    CDK_LOG(LOG_ERROR, "Test::blocked", "blocked record");
    QueryPerformanceCounter(&end);
    const double ms = 1000.0 * double(end.QuadPart - start.QuadPart) / double(frequency.QuadPart);

    release.set();
    ASSERT_EQ(WaitForSingleObject(peer.get(), 30000), WAIT_OBJECT_0);
    EXPECT_EQ(exitCodeOf(peer), 0u);

    // Ten attempts, each followed by a sleep of at least 1 ms; and then it gives up, long
    // before the peer lets go. The upper bound leaves room for a loaded machine (about 200 ms
    // measured with both cores busy).
    EXPECT_GE(ms, 9.0);
    EXPECT_LT(ms, 5000.0);
    EXPECT_EQ(log_->text().find("blocked record"), std::string::npos);

    // Once the other writer is gone, records arrive again.
    CDK_LOG(LOG_ERROR, "Test::after", "after record");
    EXPECT_NE(log_->text().find("after record"), std::string::npos);
}

TEST_F(WindowsLogFile, ConcurrentWritersLeaveOnlyWholeRecords) {
    constexpr int kWriters = 3;
    constexpr int kRecords = 150;
    // Every peer reports that it is ready and then waits, so that all writers, this process
    // included, start together however slowly the peers come up.
    NamedEvent go("go");
    ASSERT_TRUE(go.valid());
    std::vector<std::unique_ptr<NamedEvent>> ready;
    std::vector<ScopedKernelHandle> peers;
    for (int w = 0; w < kWriters; ++w) {
        ready.push_back(std::make_unique<NamedEvent>("ready" + std::to_string(w)));
        ASSERT_TRUE(ready.back()->valid());
        peers.push_back(startPeer("write \"" + log_->path() + "\" writer" + std::to_string(w) +
                                  " " + std::to_string(kRecords) + " " + ready.back()->name() +
                                  " " + go.name()));
        ASSERT_TRUE(peers.back().valid());
    }
    for (int w = 0; w < kWriters; ++w) {
        ASSERT_TRUE(peerSignalled(*ready[w], peers[w]))
            << "writer " << w << " ended with " << exitCodeOf(peers[w]);
    }
    go.set();
    for (int i = 0; i < kRecords; ++i) {
        CDK_LOG(LOG_INFO, "LogPeer::write", formatString("main %d", i));
    }
    for (const ScopedKernelHandle& peer : peers) {
        ASSERT_EQ(WaitForSingleObject(peer.get(), 60000), WAIT_OBJECT_0);
        EXPECT_EQ(exitCodeOf(peer), 0u);
    }

    // Every record is whole: a header line and "\tINFO: <tag> <i>", each ending in "\r\n";
    // count each writer's.
    const std::vector<cdk_test::LogRecord> records = log_->records();
    std::map<std::string, std::vector<int>> seen;
    for (const cdk_test::LogRecord& record : records) {
        ASSERT_TRUE(record.wellFormed) << "not a whole record: " << record.raw;
        ASSERT_TRUE(record.raw.ends_with("\r\n")) << record.raw;
        ASSERT_EQ(record.function, "LogPeer::write") << record.raw;
        ASSERT_EQ(record.level, "INFO") << record.raw;
        std::istringstream fields(record.message);
        std::string tag;
        int index = -1;
        fields >> tag >> index;
        ASSERT_GE(index, 0) << record.raw;
        ASSERT_EQ(record.message, tag + " " + std::to_string(index)) << record.raw;
        seen[tag].push_back(index);
    }
    EXPECT_LE(records.size(), static_cast<size_t>((kWriters + 1) * kRecords));
    // Under contention a record may be dropped (up to 7 of a writer's 150 measured with both
    // cores busy), but each writer gets through and keeps order.
    EXPECT_EQ(seen.size(), static_cast<size_t>(kWriters + 1));
    for (const auto& [tag, indices] : seen) {
        EXPECT_GT(indices.size(), static_cast<size_t>(kRecords / 2)) << tag;
        for (size_t i = 1; i < indices.size(); ++i) {
            EXPECT_LT(indices[i - 1], indices[i]) << tag;
        }
    }
}

TEST(WindowsLogStartup, PathIsCuschedLogInTheTempDirectory) {
    const std::string savedPath = DiagnosticLog::instance().path();
    initializeDiagnosticLog();
    char temp[MAX_PATH + 1];
    ASSERT_GT(GetTempPathA(sizeof temp, temp), 0u);
    std::string expected(temp);
    EXPECT_EQ(expected.back(), '\\');
    expected += "cusched.log";
    EXPECT_EQ(DiagnosticLog::instance().path(), expected);
    EXPECT_EQ(DiagnosticLog::instance().programName(), "wine_log_tests.exe");
    DiagnosticLog::instance().setPath(savedPath);
}

TEST(WindowsLogStartup, LongTempPathIsFetchedWhole) {
    // Wine refuses a real TMP longer than MAX_PATH, so the growth is driven by a query that
    // behaves as Windows does for one: the first call reports the size needed.
    const std::string longDir = "C:\\" + std::string(300, 'a') + "\\";
    std::vector<uint32_t> sizesAsked;
    const std::string raw = allutils_platform::tempPathFrom([&](uint32_t size, char* buffer) {
        sizesAsked.push_back(size);
        if (size <= longDir.size()) {
            return static_cast<uint32_t>(longDir.size() + 1);
        }
        memcpy(buffer, longDir.c_str(), longDir.size() + 1);
        return static_cast<uint32_t>(longDir.size());
    });
    EXPECT_EQ(raw, longDir);
    EXPECT_EQ(sizesAsked, (std::vector<uint32_t>{MAX_PATH, uint32_t(longDir.size() + 1)}));
    EXPECT_EQ(stripTrailingSeparator(raw).size(), 303u);

    // A query that fails gives the empty string, and the log then falls back to the bare name.
    EXPECT_EQ(allutils_platform::tempPathFrom([](uint32_t, char*) { return 0u; }), "");
}
