// Shared fixture of the install configuration tests: a host folder standing for drive C (the
// runtime settings file lies below it), a log file of our own, the message boxes that were
// shown, and a fresh InstallConfigData for every test.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "InstallConfigData.h"
#include "InstallConfigDataPeer.h"
#include "LogCapture.h"
#include "MessageUi.h"
#include "TestFiles.h"

using cdk_test::readFile;

class InstallConfigTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // The host path of a "C:\..." settings path.
    std::filesystem::path hostPath(const std::string& windowsPath) const;
    // The runtime settings file on the host.
    std::filesystem::path runtimeFile() const;
    void writeFile(const std::filesystem::path& path, const std::string& content) const;
    void writeRuntimeFile(const std::string& content) const;

    // The messages of all log records written so far, in order.
    std::vector<std::string> logMessages() const;
    // The messages of the records from `function` at `level`.
    std::vector<std::string> logMessages(const std::string& function,
                                         const std::string& level) const;
    bool logHas(const std::string& message) const;
    void clearLog() const;

    // Runs the load with the arguments (the program path is added in front).
    int load(const std::vector<std::string>& arguments);
    int importArgs(SettingsContextHolder& holder, const std::vector<std::string>& arguments,
                   bool suppress = false);

    std::string valueOf(SettingsContextHolder& holder, const char* key) const;
    bool hasKey(SettingsContextHolder& holder, const char* key) const;

    std::filesystem::path root_;
    std::optional<cdk_test::LogCapture> log_;
    std::vector<MessageBoxRecord> boxes_;
    std::unique_ptr<InstallConfigData> config_;
};
