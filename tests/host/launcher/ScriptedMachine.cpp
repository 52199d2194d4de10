#include "ScriptedMachine.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <stdexcept>

#include "ExecutorCommandLine.h"
#include "MessageTexts.h"
#include "MessageUi.h"

namespace cdk_test {
namespace {

constexpr long kFileNotFound = 2;
constexpr long kInvalidData = 13;
constexpr long kMoreData = 234;
constexpr uint32_t kRegSz = 1;
constexpr uint32_t kRegExpandSz = 2;

std::string upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

// The message boxes by the name of their text, as the effects name them.
std::string boxName(const MessageBoxRecord& box) {
    const struct {
        MessageId id;
        const char* name;
    } known[] = {
        {IDS_MSI_ENGINE_MISSING, "IDS_MSI_ENGINE_MISSING"},
        {IDS_IN_PROGRESS, "IDS_IN_PROGRESS"},
        {IDS_UNSUPPORTED_OS, "IDS_UNSUPPORTED_OS"},
        {IDS_NEWER_BUILD, "IDS_NEWER_BUILD"},
    };
    for (const auto& entry : known) {
        if (box.text == loadMessageText(nullptr, entry.id, 1024)) {
            return entry.name;
        }
    }
    return box.text;
}

}  // namespace

std::string runtimeCode(int update) {
    char code[64];
    std::snprintf(code, sizeof(code), "{5B1C93D0-7E42-4F18-A3C6-1D7641600%dFF}", update);
    return code;
}

ScriptedMachine::ScriptedMachine() {
    setMessageBoxObserver([this](const MessageBoxRecord& box) {
        effects.push_back("box " + boxName(box) + (box.suppressed ? " (suppressed)" : ""));
    });
}

ScriptedMachine::~ScriptedMachine() { setMessageBoxObserver({}); }

ScriptedMachine::Key ScriptedMachine::key(launcher::RegistryView view,
                                          const std::string& path) const {
    // The host stands for the 64-bit flavour: its own view and the product view are 64-bit.
    return {view != launcher::RegistryView::Only32, upper(path)};
}

void ScriptedMachine::setKey(const std::string& path, bool view64) {
    registry_[{view64, upper(path)}];
}

void ScriptedMachine::setText(const std::string& path, const std::string& name,
                              const std::string& text, bool view64) {
    launcher::RegistryValue& value = registry_[{view64, upper(path)}][name];
    value.type = kRegSz;
    value.data.assign(text.begin(), text.end());
    value.data.push_back(0);
}

void ScriptedMachine::removeKey(const std::string& path, bool view64) {
    const std::string prefix = upper(path);
    for (auto it = registry_.begin(); it != registry_.end();) {
        const bool below =
            it->first.second == prefix || it->first.second.rfind(prefix + "\\", 0) == 0;
        it = it->first.first == view64 && below ? registry_.erase(it) : std::next(it);
    }
}

long ScriptedMachine::openKey(launcher::RegistryView view, const std::string& path) {
    const Key wanted = key(view, path);
    for (const auto& [held, values] : registry_) {
        if (held.first == wanted.first &&
            (held.second == wanted.second || held.second.rfind(wanted.second + "\\", 0) == 0)) {
            return 0;
        }
    }
    return kFileNotFound;
}

long ScriptedMachine::queryValue(launcher::RegistryView view, const std::string& path,
                                 const std::string& name, launcher::RegistryValue& value) {
    if (const long opened = openKey(view, path); opened != 0) {
        return opened;
    }
    const auto values = registry_.find(key(view, path));
    if (values == registry_.end() || values->second.count(name) == 0) {
        return kFileNotFound;
    }
    value = values->second.at(name);
    return 0;
}

long ScriptedMachine::queryString(launcher::RegistryView view, const std::string& path,
                                  const std::string& name, std::size_t capacity,
                                  std::string& text) {
    launcher::RegistryValue value;
    if (const long read = queryValue(view, path, name, value); read != 0) {
        return read;
    }
    if ((value.type != kRegSz && value.type != kRegExpandSz) || value.data.empty() ||
        value.data.back() != 0) {
        return kInvalidData;
    }
    if (value.data.size() > capacity) {
        return kMoreData;
    }
    text.assign(reinterpret_cast<const char*>(value.data.data()));
    return 0;
}

void ScriptedMachine::clearInstallStatus() {
    effects.push_back("clear InstallStatus");
    registry_[{true, upper("Software\\Tarnwell")}].erase("InstallStatus");
}

int ScriptedMachine::run(const std::string& program, const std::string& arguments, bool* started) {
    if (program.empty()) {
        return 1627;
    }
    if (started != nullptr) {
        *started = true;
    }
    const std::string command = executor_cmdline::composeCommandLine(
        executor_cmdline::normalizeApplicationPath(program), arguments);
    effects.push_back("run " + command);
    for (const Answer& answer : script) {
        if (command.find(answer.part) != std::string::npos) {
            if (answer.then) {
                answer.then(*this);
            }
            return answer.exitCode;
        }
    }
    return 0;
}

std::vector<std::string> ScriptedMachine::commands() const {
    std::vector<std::string> found;
    for (const std::string& effect : effects) {
        if (effect.rfind("run ", 0) == 0) {
            found.push_back(effect.substr(4));
        }
    }
    return found;
}

std::string ScriptedMachine::settingsFate() const {
    return restored_ ? "restored" : stored_ ? "stored" : discarded_ ? "discarded" : "untouched";
}

bool ScriptedMachine::hasInstallerResource(int id, uint32_t& error) {
    if (missingResources.count(id) != 0) {
        error = 1813;  // ERROR_RESOURCE_TYPE_NOT_FOUND
        return false;
    }
    return true;
}

std::string ScriptedMachine::kitDatabasePath() { return kKitDatabase; }

int ScriptedMachine::writeInstallerResource(int id, const std::string& path) {
    if (missingResources.count(id) != 0) {
        return 0;
    }
    effects.push_back("write " + std::to_string(id) + " " + path);
    if (id == failingResource) {
        fatalExit("Installer : Wrapper.WriteFile (In small chunks) ", writeError);
    }
    files.insert(path);
    return 1;
}

uint32_t ScriptedMachine::createCabinetEvent() {
    effects.push_back("event");
    return eventError;
}

void ScriptedMachine::startCabinetExtraction() { effects.push_back("extract"); }

void ScriptedMachine::awaitCabinetExtraction() {
    effects.push_back("await");
    if (cabinetError != 0) {
        fatalExit("Installer : Wrapper.WriteFile (In small chunks) ", cabinetError);
    }
}

uint32_t ScriptedMachine::holdFolderBelow(const std::string& data, const std::string& folder) {
    const auto refused = refusedFolders.find(folder.substr(data.size()));
    return refused == refusedFolders.end() ? 0 : refused->second;
}

void ScriptedMachine::fatalExit(const char* /*step*/, uint32_t code) {
    effects.push_back("fatal " + std::to_string(code));
    launcher::runFatalCleanup(state_, *this);
    throw ProcessEnded{code};
}

bool ScriptedMachine::setInstallInProgressFlag() {
    if (flagTaken) {
        effects.push_back("flag");
    }
    return flagTaken;
}

bool ScriptedMachine::findMsiexecPath(std::string& path, std::size_t capacity) {
    if (!msiexecFound || kMsiexec.size() >= capacity) {
        return false;
    }
    path = kMsiexec;
    return true;
}

bool ScriptedMachine::commandLineUnits(const std::string& commandLine, std::size_t& units) {
    units = commandLine.size();
    return true;
}

void ScriptedMachine::deleteFile(const std::string& path) {
    effects.push_back("delete " + path);
    files.erase(path);
}

int ScriptedMachine::prepareExport() {
    effects.push_back("prepare");
    prepared_ = prepareResult == 0;
    return prepareResult;
}

int ScriptedMachine::storeExport() {
    effects.push_back("store");
    stored_ = storeResult == 0;
    return storeResult;
}

void ScriptedMachine::discardPreparedExport() {
    // What a stored export leaves is nothing to discard.
    if (prepared_ && !stored_) {
        effects.push_back("discard");
        prepared_ = false;
        discarded_ = true;
    }
}

int ScriptedMachine::restore() {
    effects.push_back("restore");
    restored_ = true;
    return 0;
}

au::ScheduleRecord ScriptedMachine::readSchedule(bool oldLayout, bool& found) {
    effects.push_back(std::string("read updater settings, ") + (oldLayout ? "old" : "new") +
                      " layout");
    found = updaterScheduleFound;
    return updaterSchedule;
}

int ScriptedMachine::readNotifyType(bool /*oldLayout*/) { return updaterNotifyType; }

void ScriptedMachine::writeSchedule(const au::ScheduleRecord& schedule) {
    if (updaterWriteThrows) {
        throw std::runtime_error("the updater's key cannot be written");
    }
    effects.push_back("write updater schedule " + std::to_string(schedule.frequency) + " " +
                      std::to_string(schedule.hour) + ":" + std::to_string(schedule.minute));
}

void ScriptedMachine::writeNotifyType(int notifyType) {
    effects.push_back("write updater notify type " + std::to_string(notifyType));
}

}  // namespace cdk_test
