#include "InstallConfigTestSupport.h"

#include <unistd.h>

#include <cctype>
#include <fstream>
#include <sstream>

#include "AllUtils.h"
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
    logFile_ = root_ / "cusched.log";
    DiagnosticLog::instance().setPath(logFile_.string());
    setMessageBoxObserver([this](const MessageBoxRecord& box) { boxes_.push_back(box); });
    config_ = std::make_unique<InstallConfigData>();
}

void InstallConfigTest::TearDown() {
    config_.reset();
    setMessageBoxObserver(nullptr);
    DiagnosticLog::instance().setPath(std::string());
    settings_impl::host::clearDriveMappings();
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

std::string InstallConfigTest::readFile(const fs::path& path) const {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void InstallConfigTest::writeRuntimeFile(const std::string& content) const {
    writeFile(runtimeFile(), content);
}

namespace {
struct Record {
    std::string function;
    std::string level;
    std::string message;
};

// Records are "[... (function)]\n\tLEVEL: message\n"; a message may span lines.
std::vector<Record> parseRecords(const std::string& text) {
    std::vector<Record> records;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t headerEnd = text.find("]\n\t", pos);
        if (headerEnd == std::string::npos) break;
        const std::size_t open = text.rfind('(', headerEnd);
        Record record;
        record.function = text.substr(open + 1, headerEnd - open - 2);
        const std::size_t levelStart = headerEnd + 3;
        const std::size_t colon = text.find(": ", levelStart);
        record.level = text.substr(levelStart, colon - levelStart);
        // The next record begins with a line "[yyyy/"; message lines never do.
        std::size_t next = text.find("\n[", colon);
        while (next != std::string::npos &&
               !(next + 7 <= text.size() &&
                 std::isdigit(static_cast<unsigned char>(text[next + 2])) &&
                 text[next + 6] == '/')) {
            next = text.find("\n[", next + 1);
        }
        const std::size_t end = next == std::string::npos ? text.size() : next + 1;
        record.message = text.substr(colon + 2, end - colon - 3);
        records.push_back(record);
        pos = end;
    }
    return records;
}
}  // namespace

std::vector<std::string> InstallConfigTest::logMessages() const {
    std::vector<std::string> messages;
    for (const Record& record : parseRecords(readFile(logFile_))) {
        messages.push_back(record.message);
    }
    return messages;
}

std::vector<std::string> InstallConfigTest::logMessages(const std::string& function,
                                                        const std::string& level) const {
    std::vector<std::string> messages;
    for (const Record& record : parseRecords(readFile(logFile_))) {
        if (record.function == function && record.level == level) {
            messages.push_back(record.message);
        }
    }
    return messages;
}

bool InstallConfigTest::logHas(const std::string& message) const {
    for (const std::string& m : logMessages()) {
        if (m == message) return true;
    }
    return false;
}

void InstallConfigTest::clearLog() const { fs::remove(logFile_); }

int InstallConfigTest::load(const std::vector<std::string>& arguments) {
    std::vector<const char*> argv{"setup.exe"};
    for (const std::string& argument : arguments) argv.push_back(argument.c_str());
    return config_->_LoadConfigSettings(nullptr, argv.data(), static_cast<int>(argv.size()));
}

int InstallConfigTest::importArgs(SettingsContextHolder& holder,
                                  const std::vector<std::string>& arguments, bool suppress) {
    std::vector<const char*> argv{"setup.exe"};
    for (const std::string& argument : arguments) argv.push_back(argument.c_str());
    return config_->ImportArgsConfigSettings(nullptr, holder, argv.data(),
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
