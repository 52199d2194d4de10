// Exceptions that escape the run or the start-up objects end the launcher with a log record and
// an exit code, never as a crash or a message box.
#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "LogCapture.h"
#include "MessageUi.h"
#include "RunGuard.h"
#include "SettingsException.h"

namespace {

TEST(LauncherErrors, EscapingExceptionsAreLoggedAndGiveTheFailureCode) {
    cdk_test::LogCapture capture;
    EXPECT_EQ(RunReportingExceptions([] { return 3010; }, -83), 3010);
    EXPECT_EQ(RunReportingExceptions([]() -> int { throw std::runtime_error("boom"); }, -83), -83);
    EXPECT_EQ(RunReportingExceptions([]() -> int { throw 7; }, -83), -83);
    const std::string text = capture.text();
    EXPECT_NE(text.find("Exception with message 'boom' caught"), std::string::npos) << text;
    EXPECT_NE(text.find("Unknown exception caught"), std::string::npos) << text;
    EXPECT_NE(text.find("An unexpected error ended the installer."), std::string::npos) << text;
}

// A failure while the start-up objects are built reaches the entry point as an exit code and a
// log record, never as a crash or a message box; the run itself does not start.
TEST(LauncherErrors, StartupFailuresGiveTheirCodeWithoutAMessageBox) {
    const struct {
        std::function<void()> step;
        int code;
        const char* logged;
    } rows[] = {
        {[] { throw settings::Exception(SETTINGS_E_UNEXPECTED); }, -80,
         "could not start: the settings store failed with status 200"},
        {[] { throw std::runtime_error("no memory"); }, -83, "could not start: no memory"},
        {[] { throw 7; }, -83, "could not start: an unknown exception"},
        {[] {}, 5, nullptr},
    };
    std::vector<MessageBoxRecord> boxes;
    setMessageBoxObserver([&](const MessageBoxRecord& box) { boxes.push_back(box); });
    for (const auto& row : rows) {
        cdk_test::LogCapture capture;
        RunStartupSteps(row.step, -80, -83);
        bool ran = false;
        EXPECT_EQ(RunLauncher(
                      [&] {
                          ran = true;
                          return 5;
                      },
                      -83),
                  row.code);
        EXPECT_EQ(ran, row.logged == nullptr);
        if (row.logged != nullptr) {
            EXPECT_NE(capture.text().find(row.logged), std::string::npos) << capture.text();
        }
        ClearStartupFailure();
    }
    setMessageBoxObserver(nullptr);
    EXPECT_TRUE(boxes.empty());
}

}  // namespace
