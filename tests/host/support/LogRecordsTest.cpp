// The log-record parser of the test support: it must give back what formatLogRecord wrote, in
// either line-end convention, and must not pass off a torn record as a whole one.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "AllUtils.h"
#include "LogRecords.h"

namespace {

using cdk_test::LogRecord;
using cdk_test::parseLogRecords;

const LogTime kTime{2026, 3, 7, 9, 5, 4, 42};

std::string withCrLf(const std::string& text) {
    std::string result;
    for (char c : text) {
        if (c == '\n') {
            result += '\r';
        }
        result += c;
    }
    return result;
}

TEST(LogRecords, FieldsOfFormattedRecordsComeBackInEitherLineEnd) {
    const std::string text =
        formatLogRecord(kTime, "setup.exe", 1234, 77, "C:\\src\\Executor.cpp", 147,
                        "Executor::finishExecution", LOG_INFO, "ExitCode = 0") +
        formatLogRecord(kTime, "setup.exe", 4294967295u, 1, "a/b.cpp", 9, "", LOG_ERROR,
                        "two\nlines: [not a header]\n[2026 neither");
    for (const std::string& file : {text, withCrLf(text)}) {
        const std::vector<LogRecord> records = parseLogRecords(file);
        ASSERT_EQ(records.size(), 2u);
        EXPECT_EQ(records[0].raw + records[1].raw, file);
        ASSERT_TRUE(records[0].wellFormed);
        EXPECT_EQ(records[0].time, "2026/03/07 09:05:04.042");
        EXPECT_EQ(records[0].program, "setup.exe");
        EXPECT_EQ(records[0].processId, 1234u);
        EXPECT_EQ(records[0].threadId, 77u);
        EXPECT_EQ(records[0].sourceFile, "Executor.cpp");
        EXPECT_EQ(records[0].line, 147u);
        EXPECT_EQ(records[0].function, "Executor::finishExecution");
        EXPECT_EQ(records[0].level, "INFO");
        EXPECT_EQ(records[0].message, "ExitCode = 0");
        ASSERT_TRUE(records[1].wellFormed);
        EXPECT_EQ(records[1].processId, 4294967295u);
        EXPECT_EQ(records[1].function, "");
        EXPECT_EQ(records[1].level, "ERROR");
        EXPECT_EQ(records[1].message, "two\nlines: [not a header]\n[2026 neither");
    }
}

TEST(LogRecords, TornAndForeignTextIsNotWellFormed) {
    const std::string whole = formatLogRecord(kTime, "p", 1, 2, "f.cpp", 3, "fn", LOG_INFO, "m");
    const std::vector<std::string> broken = {
        "stray text\n" + whole,
        whole.substr(0, whole.find('\n') + 1) + whole,  // header without its level line
        whole.substr(0, whole.size() - 1),              // cut before the final line end
        "[2026/03/07 09:05:04.042, p (PID: x, TID: 2), f.cpp:3 (fn)]\n\tINFO: m\n",
        "[2026/03/07 09:05:04.042, p (PID: 1, TID: 2), f.cpp:3 (fn)]\nINFO: m\n",
    };
    for (const std::string& text : broken) {
        const std::vector<LogRecord> records = parseLogRecords(text);
        ASSERT_FALSE(records.empty()) << text;
        EXPECT_FALSE(records[0].wellFormed) << text;
        std::string joined;
        for (const LogRecord& record : records) {
            joined += record.raw;
        }
        EXPECT_EQ(joined, text);
    }
    EXPECT_TRUE(parseLogRecords("").empty());
}

}  // namespace
