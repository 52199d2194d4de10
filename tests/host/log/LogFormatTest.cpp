// Record format and the string/path utilities of the diagnostic log.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <unistd.h>

#include "AllUtils.h"
#include "LogCapture.h"
#include "PathNames.h"
#include "StringFormat.h"
#include "SystemError.h"

namespace {

const LogTime kTime{2026, 3, 7, 9, 5, 4, 42};

// Points the process-wide log at a fresh file in a folder of one test and restores it
// afterwards.
class LogFileFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() /
               ("cdk-log-" + std::to_string(getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir_);
        log_.emplace((dir_ / "cusched.log").string());
        DiagnosticLog::instance().setProgramName("setup.exe");
    }
    void TearDown() override {
        log_.reset();
        std::filesystem::remove_all(dir_);
    }
    std::string contents() const { return log_->text(); }

    std::filesystem::path dir_;
    std::optional<cdk_test::LogCapture> log_;
};

}  // namespace

TEST(LogRecordFormat, HeaderAndMessageLines) {
    EXPECT_EQ(formatLogRecord(kTime, "setup.exe", 1234, 77, "C:\\build/src\\windows/Executor.cpp",
                              147, "Executor::finishExecution", LOG_INFO, "ExitCode = 0"),
              "[2026/03/07 09:05:04.042, setup.exe (PID: 1234, TID: 77), Executor.cpp:147 "
              "(Executor::finishExecution)]\n\tINFO: ExitCode = 0\n");
}

TEST(LogRecordFormat, LevelWords) {
    const auto secondLine = [](int level) {
        const std::string record = formatLogRecord(kTime, "p", 1, 2, "f.cpp", 3, "fn", level, "m");
        return record.substr(record.find('\n') + 1);
    };
    EXPECT_EQ(secondLine(0), "\tTRACE: m\n");
    EXPECT_EQ(secondLine(1), "\tINFO: m\n");
    EXPECT_EQ(secondLine(2), "\tWARNING: m\n");
    EXPECT_EQ(secondLine(3), "\tERROR: m\n");
    EXPECT_EQ(secondLine(7), "\tUNKNOWN: m\n");
    EXPECT_EQ(secondLine(-1), "\tUNKNOWN: m\n");
}

TEST(LogRecordFormat, MessageIsCopiedUnchanged) {
    // Percent signs are not format directives, line breaks are not escaped, and length is
    // unbounded.
    const std::string message = "100% done\nsecond line %s %n " + std::string(5000, 'x');
    const std::string record = formatLogRecord(kTime, "p", 1, 2, "a/b.cpp", 3, "fn", 1, message);
    EXPECT_EQ(record.substr(record.find("\tINFO: ") + 7), message + "\n");
}

TEST(LogRecordFormat, LargeIdsPrintUnsigned) {
    const std::string record =
        formatLogRecord(kTime, "p", 4294967295u, 4000000000u, "x.cpp", 4294967295u, "fn", 1, "");
    EXPECT_NE(record.find("(PID: 4294967295, TID: 4000000000), x.cpp:4294967295 (fn)]"),
              std::string::npos);
}

TEST(FormatString, GrowsWithoutLimit) {
    EXPECT_EQ(formatString("%s failed with %s", "Step", "system error 5 (Access denied)"),
              "Step failed with system error 5 (Access denied)");
    const std::string big(100000, 'q');
    EXPECT_EQ(formatString("<%s>", big.c_str()), "<" + big + ">");
    // Exactly at the growth steps.
    for (size_t n : {255u, 256u, 257u, 511u, 512u}) {
        EXPECT_EQ(formatString("%s", std::string(n, 'a').c_str()).size(), n);
    }
    EXPECT_EQ(formatString("%s", ""), "");
}

TEST(SystemErrors, DescriptionPrintsCodeUnsigned) {
    // Host builds have no Win32 message table.
    EXPECT_EQ(describeSystemError(5), "system error 5 (No description available)");
    EXPECT_EQ(describeSystemError(0x80070005u),
              "system error 2147942405 (No description available)");
}

TEST(SystemErrors, MessageCleaning) {
    EXPECT_EQ(cleanSystemMessage(u"Access is denied.\r\n"), u"Access is denied");
    EXPECT_EQ(cleanSystemMessage(u"Line one.\r\nLine two.\r\n"), u"Line one.  Line two");
    EXPECT_EQ(cleanSystemMessage(u"Tab\there. . .  \t"), u"Tab here");
    // The first character is never removed, even when it is a full stop or blank.
    EXPECT_EQ(cleanSystemMessage(u"..."), u".");
    EXPECT_EQ(cleanSystemMessage(u"\r\n"), u" ");
    EXPECT_EQ(cleanSystemMessage(u"a"), u"a");
    EXPECT_EQ(cleanSystemMessage(u""), u"");
}

TEST(PathUtilities, BaseName) {
    EXPECT_EQ(baseName("C:\\a/b\\c.cpp"), "c.cpp");
    EXPECT_EQ(baseName("C:/a\\b/c.cpp"), "c.cpp");
    EXPECT_EQ(baseName("plain.cpp"), "plain.cpp");
    EXPECT_EQ(baseName("dir\\"), "");
    EXPECT_EQ(baseName(""), "");
}

TEST(PathUtilities, StripTrailingSeparatorRemovesOnlyOne) {
    EXPECT_EQ(stripTrailingSeparator("C:\\Temp\\"), "C:\\Temp");
    EXPECT_EQ(stripTrailingSeparator("C:/Temp//"), "C:/Temp/");
    EXPECT_EQ(stripTrailingSeparator("C:\\Temp"), "C:\\Temp");
    EXPECT_EQ(stripTrailingSeparator(""), "");
}

TEST(PathUtilities, JoinPath) {
    EXPECT_EQ(joinPath("C:\\Temp\\", "\\cusched.log"), "C:\\Temp\\cusched.log");
    EXPECT_EQ(joinPath("C:\\Temp", "cusched.log"), "C:\\Temp\\cusched.log");
    EXPECT_EQ(joinPath("C:/Temp/", "/a/b"), "C:/Temp\\a/b");
    EXPECT_EQ(joinPath("", "\\name"), "\\name");
    EXPECT_EQ(joinPath("C:\\Temp\\", ""), "C:\\Temp\\");
    // Only one leading separator of the name is dropped.
    EXPECT_EQ(joinPath("C:", "\\\\x"), "C:\\\\x");
}

TEST(PathUtilities, TempDirectoryDropsTrailingSeparator) {
    const char* saved = std::getenv("TMPDIR");
    const std::string restore = saved != nullptr ? saved : "";
    setenv("TMPDIR", "/var/tmp/cdk/", 1);
    EXPECT_EQ(tempDirectory(), "/var/tmp/cdk");
    if (saved != nullptr) {
        setenv("TMPDIR", restore.c_str(), 1);
    } else {
        unsetenv("TMPDIR");
    }
}

TEST(LogStartup, PathIsCuschedLogInTheTempDirectory) {
    const std::string savedPath = DiagnosticLog::instance().path();
    const char* saved = std::getenv("TMPDIR");
    const std::string restore = saved != nullptr ? saved : "";
    setenv("TMPDIR", "/var/tmp/cdk-start/", 1);
    initializeDiagnosticLog();
    EXPECT_EQ(DiagnosticLog::instance().path(), "/var/tmp/cdk-start/cusched.log");
    EXPECT_EQ(DiagnosticLog::instance().programName(), "host_log_tests");
    if (saved != nullptr) {
        setenv("TMPDIR", restore.c_str(), 1);
    } else {
        unsetenv("TMPDIR");
    }
    DiagnosticLog::instance().setPath(savedPath);
}

TEST(PathUtilities, ModuleBaseNameIsThisProgram) { EXPECT_EQ(moduleBaseName(), "host_log_tests"); }

TEST_F(LogFileFixture, RecordsAppendAndEmptyPathDrops) {
    CDK_LOG(LOG_ERROR, "Test::first", "first");
    DiagnosticLog::instance().setPath("");
    CDK_LOG(LOG_ERROR, "Test::dropped", "dropped");
    DiagnosticLog::instance().setPath(log_->path());
    CDK_LOG(LOG_WARNING, "Test::second", std::string("second"));
    const std::string text = contents();
    EXPECT_NE(text.find("(Test::first)]\n\tERROR: first\n"), std::string::npos);
    EXPECT_EQ(text.find("dropped"), std::string::npos);
    EXPECT_NE(text.find("(Test::second)]\n\tWARNING: second\n"), std::string::npos);
    EXPECT_LT(text.find("first"), text.find("second"));
    EXPECT_EQ(text.rfind("[", 0), 0u);
    EXPECT_NE(text.find(", setup.exe (PID: "), std::string::npos);
}

TEST_F(LogFileFixture, DisabledCallSiteDoesNotBuildItsMessage) {
    // The minimum level is TRACE, so every real level is enabled; a negative level is not.
    int built = 0;
    const auto message = [&built] {
        ++built;
        return std::string("m");
    };
    CDK_LOG(-1, "Test::never", message());
    CDK_LOG(LOG_TRACE, "Test::always", message());
    EXPECT_EQ(built, 1);
    EXPECT_EQ(contents().find("never"), std::string::npos);
}

TEST_F(LogFileFixture, LogitAndExceptionReports) {
    logit("plain message");
    logit(std::string("string message"));
    reportException(std::runtime_error("boom"));
    reportUnknownException();
    const std::string text = contents();
    EXPECT_NE(text.find("AllUtils.cpp:"), std::string::npos);
    EXPECT_NE(text.find("(logit)]\n\tINFO: plain message\n"), std::string::npos);
    EXPECT_NE(text.find("(logit)]\n\tINFO: string message\n"), std::string::npos);
    EXPECT_NE(text.find("(logit)]\n\tINFO: Exception with message 'boom' caught\n"),
              std::string::npos);
    EXPECT_NE(text.find("(logit)]\n\tINFO: Unknown exception caught\n"), std::string::npos);
}

TEST_F(LogFileFixture, ScopeTraceBracketsTheScope) {
    {
        ScopeTrace trace(DiagnosticLog::instance(), LOG_TRACE, "C:\\src/windows\\Foo.cpp", 147,
                         "Foo::bar", "Foo::bar");
        logit("inside");
    }
    const std::string text = contents();
    const size_t entering = text.find("Foo.cpp:147 (Foo::bar)]\n\tTRACE: Entering Foo::bar\n");
    const size_t inside = text.find("INFO: inside");
    const size_t exiting =
        text.find("Foo.cpp:0 (Foo::bar)]\n\tTRACE: Exiting Foo::bar (entered at Foo.cpp:147)\n");
    ASSERT_NE(entering, std::string::npos);
    ASSERT_NE(exiting, std::string::npos);
    EXPECT_LT(entering, inside);
    EXPECT_LT(inside, exiting);
}

TEST_F(LogFileFixture, UnwritablePathDropsTheRecord) {
    DiagnosticLog::instance().setPath((dir_ / "missing" / "cusched.log").string());
    CDK_LOG(LOG_ERROR, "Test::lost", "lost");  // must return quietly
    EXPECT_FALSE(std::filesystem::exists(dir_ / "missing"));
}
