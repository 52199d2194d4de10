#include "InstallConfigTestSupport.h"

#include <unistd.h>

#include <algorithm>
#include <fstream>

#include "SettingsTestSupport.h"

namespace fs = std::filesystem;

void InstallConfigTest::SetUp() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    root_ = fs::temp_directory_path() /
            ("cdk-installconfig-" + std::to_string(::getpid()) + "-" + info->name());
    fs::remove_all(root_);
    fs::create_directories(root_ / "c");
    settings_impl::host::mapDrive('C', (root_ / "c").string());
    settings_impl::host::setCommonAppDataFolder(u"C:\\ProgramData");
    log_.emplace((root_ / "cusched.log").string());
    setMessageBoxObserver([this](const MessageBoxRecord& box) { boxes_.push_back(box); });
    config_ = std::make_unique<InstallConfigData>();
}

void InstallConfigTest::TearDown() {
    config_.reset();
    setMessageBoxObserver(nullptr);
    log_.reset();
    settings_impl::host::clearDriveMappings();
    settings_impl::host::clearFileSecurity();
    fs::remove_all(root_);
}

fs::path InstallConfigTest::hostPath(const std::string& windowsPath) const {
    std::string path = windowsPath.substr(2);
    for (char& c : path) {
        if (c == '\\') c = '/';
    }
    return fs::path((root_ / "c").string() + path);
}

fs::path InstallConfigTest::runtimeFile() const {
    return root_ / "c/ProgramData/Quillon/Corvid/corvid.settings.cfg";
}

void InstallConfigTest::writeFile(const fs::path& path, const std::string& content) const {
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary);
    out << content;
}

void InstallConfigTest::writeRuntimeFile(const std::string& content) const {
    writeFile(runtimeFile(), content);
}

std::vector<std::string> InstallConfigTest::logMessages() const { return log_->messages(); }

std::vector<std::string> InstallConfigTest::logMessages(const std::string& function,
                                                        const std::string& level) const {
    return log_->messages(function, level);
}

bool InstallConfigTest::logHas(const std::string& message) const {
    const std::vector<std::string> messages = logMessages();
    return std::find(messages.begin(), messages.end(), message) != messages.end();
}

void InstallConfigTest::clearLog() const { log_->clear(); }

int InstallConfigTest::load(const std::vector<std::string>& arguments) {
    std::vector<const char*> argv{"setup.exe"};
    for (const std::string& argument : arguments) argv.push_back(argument.c_str());
    return steps(*config_)._LoadConfigSettings(nullptr, argv.data(), static_cast<int>(argv.size()));
}

int InstallConfigTest::importArgs(SettingsContextHolder& holder,
                                  const std::vector<std::string>& arguments, bool suppress) {
    std::vector<const char*> argv{"setup.exe"};
    for (const std::string& argument : arguments) argv.push_back(argument.c_str());
    return steps(*config_).ImportArgsConfigSettings(nullptr, holder, argv.data(),
                                                    static_cast<int>(argv.size()), suppress);
}

std::string InstallConfigTest::valueOf(SettingsContextHolder& holder, const char* key) const {
    const char* value = nullptr;
    if (holder.getUtf8Value(key, value) != 0 || value == nullptr) return "<absent>";
    return value;
}

bool InstallConfigTest::hasKey(SettingsContextHolder& holder, const char* key) const {
    const char* value = nullptr;
    bool flag = false;
    return holder.getUtf8Value(key, value) == 0 || holder.getBooleanValue(key, flag) == 0;
}
