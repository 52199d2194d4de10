// The diagnostic log's file behaviour on Windows: text mode, the exclusive-write open with its
// retries, start-up initialisation, and several processes appending to one file.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <optional>
#include <sstream>
#include <vector>

#include "AllUtils.h"
#include "AllUtilsPlatform.h"
#include "LogCapture.h"

namespace {

std::string exeDirectory() {
    char buffer[MAX_PATH * 4];
    const DWORD n = GetModuleFileNameA(nullptr, buffer, sizeof buffer);
    std::string path(buffer, n);
    return path.substr(0, path.find_last_of("\\/"));
}

// Starts a program and returns its process handle (the caller waits and closes it).
HANDLE startProcess(const std::string& commandLine) {
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                        &pi)) {
        return nullptr;
    }
    CloseHandle(pi.hThread);
    return pi.hProcess;
}

// The log goes to a file of each test's own, under this program's name.
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
    const std::string ready = "cdk-log-ready-" + std::to_string(GetCurrentProcessId());
    const std::string release = "cdk-log-release-" + std::to_string(GetCurrentProcessId());
    HANDLE readyEvent = CreateEventA(nullptr, TRUE, FALSE, ready.c_str());
    HANDLE releaseEvent = CreateEventA(nullptr, TRUE, FALSE, release.c_str());
    HANDLE peer = startProcess("\"" + exeDirectory() + "\\log_peer.exe\" hold \"" + log_->path() +
                               "\" " + ready + " " + release);
    ASSERT_NE(peer, nullptr);
    ASSERT_EQ(WaitForSingleObject(readyEvent, 30000), WAIT_OBJECT_0);

    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    CDK_LOG(LOG_ERROR, "Test::blocked", "blocked record");
    QueryPerformanceCounter(&end);
    const double ms = 1000.0 * double(end.QuadPart - start.QuadPart) / double(frequency.QuadPart);

    SetEvent(releaseEvent);
    WaitForSingleObject(peer, 30000);
    CloseHandle(peer);
    CloseHandle(readyEvent);
    CloseHandle(releaseEvent);

    EXPECT_GE(ms, 9.0);     // ten attempts, each followed by a 1 ms sleep
    EXPECT_LT(ms, 1000.0);  // and then it gives up
    EXPECT_EQ(log_->text().find("blocked record"), std::string::npos);

    // Once the other writer is gone, records arrive again.
    CDK_LOG(LOG_ERROR, "Test::after", "after record");
    EXPECT_NE(log_->text().find("after record"), std::string::npos);
}

TEST_F(WindowsLogFile, ConcurrentWritersLeaveOnlyWholeRecords) {
    constexpr int kWriters = 3;
    constexpr int kRecords = 150;
    std::vector<HANDLE> peers;
    for (int w = 0; w < kWriters; ++w) {
        HANDLE peer =
            startProcess("\"" + exeDirectory() + "\\log_peer.exe\" write \"" + log_->path() +
                         "\" writer" + std::to_string(w) + " " + std::to_string(kRecords));
        ASSERT_NE(peer, nullptr);
        peers.push_back(peer);
    }
    for (int i = 0; i < kRecords; ++i) {
        CDK_LOG(LOG_INFO, "LogPeer::write", formatString("main %d", i));
    }
    for (HANDLE peer : peers) {
        ASSERT_EQ(WaitForSingleObject(peer, 60000), WAIT_OBJECT_0);
        CloseHandle(peer);
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
    // Under contention a record may be dropped, but each writer gets through and keeps order.
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
