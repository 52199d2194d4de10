// A machine for the launcher's run on the host, set up by a script of words apart by blanks,
// "name=value" or "name" (for the value 1):
//  - registry states, capitalised: KitBuild=11 (the kit's key with its build; "KitBuild=": the
//    key alone), KitBuild32=11 (the same in the 32-bit view), CreBuild=11, CreMode=s (the
//    runtime's install mode), Uninstall=kit,cre9 (product codes registered for uninstall: the
//    kit's, the runtime update's), AUVersion=5.4 (the updater's, 32-bit view), CorvidHome (the
//    kit's folder C:\Kit), Kit (what the kit's install leaves: the folder with the public
//    runtime's database, the runtime registered);
//  - answers of the ports, read when the run asks: installer, busy, flag, level, msiexec,
//    res<id> (0: the program has no such resource), write<id> (the fatal code of writing it),
//    hold<folder> (the code of holding that folder below the data folder), data (the data
//    folder), common (the common files folder), prepare, store, event, await (the fatal code of
//    a cabinet), restore=throw, schedule (0: the updater's schedule is not found),
//    auwrite=throw, reinstall (the kit's first install asks for a second), noruntime (the kit's
//    install registers no runtime);
//  - exit codes of commands by their effect names ("-kit=1602", "au=1603"; 0 when not given);
//  - options of the test's own, read through text() and number().
// A word that is never read fails the test: a row says only what its run asks about.
//
// The effects are one text, ", " between them: "box <message>" (" (suppressed)" when not shown),
// "flag", "prepare", "store", "discard", "restore", "write kit"/"write au" (the databases),
// "event", "extract", "await", "fatal <code>" (the process ends: nothing after its cleanup is
// recorded), "clear InstallStatus", "delete <file in C:\Kit>", "read old"/"read new" (the
// updater's settings in that layout), "schedule 2 13:45", "notify 1", and commands by name: kit,
// -kit and -cre<update> (removals), cre (the public runtime as a silent English run installs
// it), au, au-off (disabled), -au (the old updater's removal), caureg; any other command as
// "run <command line>".
#pragma once

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>

#include "ExecutorCommandLine.h"
#include "LauncherPorts.h"
#include "MessageTexts.h"
#include "MessageUi.h"

namespace cdk_test {

// The product version's registry keys and product codes, as the run reads them (64-bit view).
inline const std::string kKitKey = R"(SOFTWARE\Tarnwell\Corvid Development Kit\3.6.0_09)";
inline const std::string kRuntimeKey = R"(SOFTWARE\Tarnwell\Corvid Runtime Environment\3.6.0_09)";
inline const std::string kUninstallKey = R"(SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\)";
inline const std::string kKitCode = "{64C7E2B9-5D31-42A8-9F06-3E8A1C460090}";
inline std::string runtimeCode(int update) {
    char code[64];
    std::snprintf(code, sizeof(code), "{5B1C93D0-7E42-4F18-A3C6-1D7641600%dFF}", update);
    return code;
}
inline const std::string kMsiexec = R"(C:\Windows\system32\msiexec.exe)";
inline const std::string kKitFolder = R"(C:\Kit)";
inline const std::string kKitDatabase =
    R"(C:\Users\ada\AppData\LocalLow\Halvard\Corvid\cdk3.6.0_09_x64\cdk3.6.0_09.msi)";
inline const std::string kDataFolder = R"(C:\Users\ada\AppData\LocalLow)";
inline const std::string kAuDatabase = kDataFolder + R"(\Quillon\Corvid\AU\au.msi)";
inline const std::string kCommonFiles = R"(C:\Program Files\Common Files)";

// The products a run may remove, the kit and the runtime's updates: a name's code, a code's name.
inline std::string product(const std::string& nameOrCode) {
    for (int update = -1; update <= 9; ++update) {
        const std::string name = update < 0 ? "kit" : "cre" + std::to_string(update);
        const std::string code = update < 0 ? kKitCode : runtimeCode(update);
        if (nameOrCode == name || nameOrCode == code) {
            return nameOrCode == name ? code : name;
        }
    }
    return nameOrCode;
}

class ScriptedMachine final : public launcher::RegistryReader,
                              public launcher::ProcessStarter,
                              public launcher::PayloadWriter,
                              public launcher::SystemProbes,
                              public launcher::RuntimeSettingsFile,
                              public launcher::UpdaterSettingsStore {
  public:
    explicit ScriptedMachine(const std::string& script = "") {
        std::istringstream words(script);
        for (std::string word; words >> word;) {
            const std::size_t equals = word.find('=');
            const std::string name = word.substr(0, equals);
            const std::string value = equals == std::string::npos ? "1" : word.substr(equals + 1);
            if (std::isupper(static_cast<unsigned char>(name[0])) != 0) {
                setRegistry(name, value);
            } else {
                answers_[name] = value;
            }
        }
        setMessageBoxObserver([this](const MessageBoxRecord& box) {
            note("box " + boxName(box.text) + (box.suppressed ? " (suppressed)" : ""));
        });
    }
    ~ScriptedMachine() override {
        setMessageBoxObserver({});
        for (const auto& [name, value] : answers_) {
            EXPECT_TRUE(read_.count(name) != 0) << "the script's word " << name << " is never read";
        }
    }

    launcher::Ports ports() { return {*this, *this, *this, *this, *this, *this}; }
    launcher::RunState state;
    std::string effects;
    // The runtime settings file: "untouched", "prepared", "discarded", "stored" or "restored".
    std::string fate = "untouched";

    std::string text(const std::string& name, const std::string& fallback) {
        const auto found = answers_.find(name);
        if (found == answers_.end()) {
            return fallback;
        }
        read_.insert(name);
        return found->second;
    }
    long number(const std::string& name, long fallback) {
        const std::string value = text(name, "");
        return value.empty() ? fallback : std::stol(value);
    }
    // Runs `step` and gives its result, or the code of the fatal exit that ended it.
    int untilExit(const std::function<int()>& step) {
        try {
            return step();
        } catch (const ProcessEnded& ended) {
            return static_cast<int>(ended.code);
        }
    }
    // The products that msiexec removed, by name.
    std::string removed() const {
        std::string names;
        for (const std::string& code : state.removedProducts) {
            names += (names.empty() ? "" : ", ") + product(code);
        }
        return names;
    }

    // ---- The registry ----
    long openKey(launcher::RegistryView view, const std::string& path) override {
        return registry_.count(key(view, path)) != 0 ? 0 : kFileNotFound;
    }
    long queryValue(launcher::RegistryView view, const std::string& path, const std::string& name,
                    launcher::RegistryValue& value) override {
        std::string text;
        const long read = queryString(view, path, name, 0, text);
        value.type = 1;  // REG_SZ
        value.data.assign(text.c_str(), text.c_str() + text.size() + 1);
        return read;
    }
    long queryString(launcher::RegistryView view, const std::string& path, const std::string& name,
                     std::size_t /*capacity*/, std::string& text) override {
        const auto values = registry_.find(key(view, path));
        if (values == registry_.end() || values->second.count(name) == 0) {
            return kFileNotFound;
        }
        text = values->second.at(name);
        return 0;
    }
    void clearInstallStatus() override {
        note("clear InstallStatus");
        registry_[{true, "Software\\Tarnwell"}].erase("InstallStatus");
    }
    bool productView64() override { return true; }

    // ---- Processes ----
    int run(const std::string& program, const std::string& arguments, bool* started) override {
        if (program.empty()) {
            return 1627;
        }
        if (started != nullptr) {
            *started = true;
        }
        const std::string name = commandName(executor_cmdline::composeCommandLine(
            executor_cmdline::normalizeApplicationPath(program), arguments));
        const int code = static_cast<int>(answer(name, 0));
        if (name == "kit" && code == 0) {
            setRegistry(number("noruntime", 0) != 0 ? "CorvidHome" : "Kit", "");
            if (kitInstalls_++ == 0 && number("reinstall", 0) != 0) {
                set(true, "Software\\Tarnwell", "InstallStatus", "reinstall");
            }
        }
        return code;
    }

    // ---- The payload ----
    launcher::Status findInstallerResource(int id) override {
        return number("res" + std::to_string(id), 1) != 0
                   ? launcher::Status::done()
                   : launcher::Status::failed(1813);  // ERROR_RESOURCE_TYPE_NOT_FOUND
    }
    std::string kitDatabasePath() override { return kKitDatabase; }
    int writeInstallerResource(int id, const std::string& path) override {
        if (number("res" + std::to_string(id), 1) == 0) {
            return 0;
        }
        const std::string file = std::to_string(id) + " " + path;
        note("write " + (file == "101 " + kKitDatabase   ? "kit"
                         : file == "1119 " + kAuDatabase ? "au"
                                                         : file));
        fatalUnlessZero(number("write" + std::to_string(id), 0));
        return 1;
    }
    launcher::Status createCabinetEvent() override {
        return launcher::Status::fromCode(answer("event", 0));
    }
    void startCabinetExtraction() override { note("extract"); }
    void awaitCabinetExtraction() override { fatalUnlessZero(answer("await", 0)); }
    std::string userDataFolder() override { return text("data", kDataFolder); }
    launcher::Status holdFolderBelow(const std::string& /*data*/,
                                     const std::string& folder) override {
        const std::string path = folder.substr(0, folder.size() - 1);
        return launcher::Status::fromCode(number("hold" + path.substr(path.rfind('\\') + 1), 0));
    }
    [[noreturn]] void fatalExit(const char* /*step*/, uint32_t code) override {
        note("fatal " + std::to_string(code));
        launcher::runFatalCleanup(state, *this);
        // The process ends here: what the unwinding of the test's stack does is not the run's.
        ended_ = true;
        throw ProcessEnded{code};
    }

    // ---- The probes ----
    bool windowsInstallerPresent() override { return number("installer", 1) != 0; }
    bool installInProgress() override { return number("busy", 0) != 0; }
    bool setInstallInProgressFlag() override {
        const bool taken = number("flag", 1) != 0;
        if (taken) {
            note("flag");
        }
        return taken;
    }
    int osLevel() override { return static_cast<int>(number("level", 3)); }  // Windows 7
    bool findMsiexecPath(std::string& path, std::size_t /*capacity*/) override {
        if (number("msiexec", 1) == 0) {
            return false;
        }
        path = kMsiexec;
        return true;
    }
    bool commandLineUnits(const std::string& commandLine, std::size_t& units) override {
        units = commandLine.size();
        return true;
    }
    unsigned long lastError() override { return 0; }
    bool fileExists(const std::string& path) override { return files_.count(path) != 0; }
    void deleteFile(const std::string& path) override {
        const std::string folder = kKitFolder + "\\";
        note("delete " + (path.rfind(folder, 0) == 0 ? path.substr(folder.size()) : path));
        files_.erase(path);
    }
    std::string commonProgramFiles() override { return text("common", kCommonFiles); }

    // ---- The runtime settings file; what a stored export leaves is nothing to discard ----
    int prepareExport() override { return settle("prepare", "prepared"); }
    int storeExport() override { return settle("store", "stored"); }
    void discardPreparedExport() override {
        if (fate == "prepared" && note("discard")) {
            fate = "discarded";
        }
    }
    int restore() override {
        note("restore");
        fate = "restored";
        if (text("restore", "") == "throw") {
            throw std::runtime_error("restore failed");
        }
        return 0;
    }

    // ---- The updater's kept settings ----
    au::ScheduleRecord readSchedule(bool oldLayout, bool& found) override {
        note(oldLayout ? "read old" : "read new");
        found = number("schedule", 1) != 0;
        return {2, 13, 45};
    }
    int readNotifyType(bool /*oldLayout*/) override { return 1; }
    void writeSchedule(const au::ScheduleRecord& schedule) override {
        if (text("auwrite", "") == "throw") {
            throw std::runtime_error("the updater's key cannot be written");
        }
        note("schedule " + std::to_string(schedule.frequency) + " " +
             std::to_string(schedule.hour) + ":" + std::to_string(schedule.minute));
    }
    void writeNotifyType(int notifyType) override { note("notify " + std::to_string(notifyType)); }

  private:
    static constexpr long kFileNotFound = 2;
    // Thrown by the fatal exit, in place of the end of the process.
    struct ProcessEnded {
        uint32_t code;
    };
    // A key by the view it is in (the 64-bit one or not) and its path, as the run spells it.
    using Key = std::pair<bool, std::string>;

    static Key key(launcher::RegistryView view, const std::string& path) {
        // The host stands for the 64-bit flavour: its own view and the product view are 64-bit.
        return {view != launcher::RegistryView::Only32, path};
    }
    // A key, and with a name a text value in it.
    void set(bool view64, const std::string& path, const std::string& name,
             const std::string& text) {
        auto& values = registry_[{view64, path}];
        if (!name.empty()) {
            values[name] = text;
        }
    }
    void setRegistry(const std::string& name, const std::string& value) {
        if (name == "KitBuild" || name == "KitBuild32" || name == "CreBuild") {
            set(name != "KitBuild32", name == "CreBuild" ? kRuntimeKey : kKitKey,
                value.empty() ? "" : "BuildNumber", value);
        } else if (name == "CreMode") {
            set(true, kRuntimeKey + "\\MSI", "MODE", value);
        } else if (name == "Uninstall") {
            std::istringstream names(value);
            for (std::string product; std::getline(names, product, ',');) {
                set(true, kUninstallKey + cdk_test::product(product), "", "");
            }
        } else if (name == "AUVersion") {
            set(false, R"(SOFTWARE\Tarnwell\Auto Update)", name, value);
        } else if (name == "CorvidHome" || name == "Kit") {
            set(true, kKitKey, "CorvidHome", kKitFolder);
            if (name == "Kit") {
                set(true, kRuntimeKey, "", "");
                files_.insert(kKitFolder + "\\cre.msi");
            }
        } else {
            ADD_FAILURE() << "no registry state is called " << name;
        }
    }

    // A command's effect: its name when the run is known to give it, otherwise "run <command
    // line>". The kit's command is named by its database alone: its options are the command-line
    // tests' business.
    static std::string commandName(const std::string& line) {
        const std::string msiexec = '"' + kMsiexec + '"';
        const std::string au = msiexec + " /i \"" + kAuDatabase + "\" ";
        const std::pair<std::string, std::string> known[] = {
            {msiexec + " /x {6D2F84B1-39C7-4E5A-8B16-0C7E93A5F2D4} /qn", "-au"},
            {au + "ALLUSERS=1 /qn", "au"},
            {au + "DISABLE=1 ALLUSERS=1 /qn", "au-off"},
            {msiexec + " /i \"" + kKitFolder + "\\cre.msi\" /qn ADDLOCAL=ALL SDKSILENT=1", "cre"},
            {'"' + kCommonFiles + "\\Corvid\\Corvid Update\\caureg.exe\" -r cre 3.6.0_09-b11",
             "caureg"},
        };
        for (const auto& [command, name] : known) {
            if (line == command) {
                return name;
            }
        }
        const std::string removal = msiexec + " /x ";
        if (line.rfind(removal, 0) == 0 && line.size() > removal.size() + 5 &&
            line.substr(line.size() - 5) == " /qb!") {
            return "-" + product(line.substr(removal.size(), line.size() - removal.size() - 5));
        }
        return line.find('"' + kKitDatabase + '"') != std::string::npos ? "kit" : "run " + line;
    }
    // A message box by the symbol of its text, without "IDS_".
    static std::string boxName(const std::string& text) {
#define CDK_MESSAGE(symbol, id, ...) \
    if (text == loadMessageText(nullptr, id, 1024)) return std::string(#symbol).substr(4);
#include "MessageTexts.def"
#undef CDK_MESSAGE
        return text;
    }

    // Records an effect unless the process has ended.
    bool note(const std::string& effect) {
        effects += ended_ ? "" : (effects.empty() ? "" : ", ") + effect;
        return !ended_;
    }
    // Notes the effect `name` and gives the script's answer to it.
    long answer(const std::string& name, long fallback) {
        note(name);
        return number(name, fallback);
    }
    int settle(const std::string& step, const std::string& then) {
        const int result = static_cast<int>(answer(step, 0));
        fate = result == 0 ? then : fate;
        return result;
    }
    void fatalUnlessZero(long code) {
        if (code != 0) {
            fatalExit("Installer : Wrapper.WriteFile (In small chunks) ", code);
        }
    }

    std::map<std::string, std::string> answers_;
    std::set<std::string> read_;
    std::map<Key, std::map<std::string, std::string>> registry_;
    std::set<std::string> files_;
    int kitInstalls_ = 0;
    bool ended_ = false;
};

}  // namespace cdk_test
