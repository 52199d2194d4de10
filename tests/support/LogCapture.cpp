#include "LogCapture.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <utility>

#include "AllUtils.h"
#include "AllUtilsPlatform.h"
#include "PathNames.h"
#include "TestFiles.h"

namespace cdk_test {

namespace {

std::string pathForThisTest() {
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = "cdk";
    if (test != nullptr) {
        name += std::string("-") + test->test_suite_name() + "-" + test->name();
    }
    name += "-" + std::to_string(allutils_platform::processId()) + ".log";
    // Parameterised tests have '/' in their names.
    for (char& c : name) {
        if (c == '/' || c == '\\') {
            c = '_';
        }
    }
    return allutils_platform::logFilePath(tempDirectory(), name);
}

}  // namespace

LogCapture::LogCapture() : LogCapture(pathForThisTest()) {}

LogCapture::LogCapture(std::string path)
    : path_(std::move(path)), previousPath_(DiagnosticLog::instance().path()) {
    clear();
    DiagnosticLog::instance().setPath(path_);
}

LogCapture::~LogCapture() {
    DiagnosticLog::instance().setPath(previousPath_);
    clear();
}

std::string LogCapture::text() const { return readFile(path_); }

std::vector<LogRecord> LogCapture::records() const { return parseLogRecords(text()); }

std::vector<std::string> LogCapture::messages() const {
    std::vector<std::string> result;
    for (const LogRecord& record : records()) {
        result.push_back(record.message);
    }
    return result;
}

std::vector<std::string> LogCapture::messages(const std::string& function,
                                              const std::string& level) const {
    std::vector<std::string> result;
    for (const LogRecord& record : records()) {
        if (record.function == function && record.level == level) {
            result.push_back(record.message);
        }
    }
    return result;
}

void LogCapture::clear() const { std::remove(path_.c_str()); }

}  // namespace cdk_test
