// A machine for the launcher's run on the host: a registry of both views held in memory,
// process starts answered from a script, and every effect the run has on the machine (message
// boxes, the flag, payload files, commands, the runtime settings file) recorded in order.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "LauncherPorts.h"

namespace cdk_test {

// The product version's registry keys and product codes, as the run reads them (64-bit view).
inline const std::string kKitKey = R"(SOFTWARE\Tarnwell\Corvid Development Kit\3.6.0_09)";
inline const std::string kRuntimeKey = R"(SOFTWARE\Tarnwell\Corvid Runtime Environment\3.6.0_09)";
inline const std::string kUninstallKey = R"(SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\)";
inline const std::string kUpdaterKey = R"(SOFTWARE\Tarnwell\Auto Update)";
inline const std::string kKitCode = "{64C7E2B9-5D31-42A8-9F06-3E8A1C460090}";
std::string runtimeCode(int update);

inline const std::string kMsiexec = R"(C:\Windows\system32\msiexec.exe)";
inline const std::string kDataFolder = R"(C:\Users\ada\AppData\LocalLow)";
inline const std::string kKitDatabase =
    kDataFolder + R"(\Halvard\Corvid\cdk3.6.0_09_x64\cdk3.6.0_09.msi)";
inline const std::string kCommonFiles = R"(C:\Program Files\Common Files)";

// One scripted answer: the first entry whose text is part of a command line gives its exit
// code, and its change to the machine is made before the run goes on; unmatched commands exit 0.
struct Answer {
    std::string part;
    int exitCode = 0;
    std::function<void(class ScriptedMachine&)> then;
};

// Thrown by the fatal exit, in place of the end of the process.
struct ProcessEnded {
    uint32_t code;
};

class ScriptedMachine final : public launcher::RegistryReader,
                              public launcher::ProcessStarter,
                              public launcher::PayloadWriter,
                              public launcher::SystemProbes,
                              public launcher::RuntimeSettingsFile,
                              public launcher::UpdaterSettingsStore {
  public:
    ScriptedMachine();
    ~ScriptedMachine() override;

    launcher::Ports ports() { return {*this, *this, *this, *this, *this, *this}; }
    launcher::RunState& state() { return state_; }

    // ---- The machine's state ----
    // A key (and, with a name, a text value) in the 64-bit view, or in the 32-bit one.
    void setText(const std::string& path, const std::string& name, const std::string& text,
                 bool view64 = true);
    void setKey(const std::string& path, bool view64 = true);
    void removeKey(const std::string& path, bool view64 = true);
    std::vector<Answer> script;
    bool installerPresent = true;
    bool inProgress = false;
    bool flagTaken = true;
    int level = 3;  // Windows 7
    std::set<int> missingResources;
    bool msiexecFound = true;
    std::string dataFolder = kDataFolder;
    std::set<std::string> files;
    // Folders below the data folder that cannot be had, with their code.
    std::map<std::string, uint32_t> refusedFolders;
    int prepareResult = 0;
    int storeResult = 0;
    uint32_t eventError = 0;
    // A payload resource that cannot be written: it ends the run with this code.
    int failingResource = 0;
    uint32_t writeError = 112;
    // A cabinet that cannot be written: the extraction ends the run while it is awaited.
    uint32_t cabinetError = 0;
    std::string commonFiles = kCommonFiles;
    // The installed updater's settings; writing them throws when asked to.
    au::ScheduleRecord updaterSchedule{2, 13, 45};
    bool updaterScheduleFound = true;
    int updaterNotifyType = 1;
    bool updaterWriteThrows = false;

    // ---- What the run did ----
    std::vector<std::string> effects;
    // Only the commands, as the child would receive their command lines.
    std::vector<std::string> commands() const;
    // "untouched", "discarded", "stored" or "restored".
    std::string settingsFate() const;

    // ---- The ports ----
    long openKey(launcher::RegistryView view, const std::string& path) override;
    long queryValue(launcher::RegistryView view, const std::string& path, const std::string& name,
                    launcher::RegistryValue& value) override;
    long queryString(launcher::RegistryView view, const std::string& path, const std::string& name,
                     std::size_t capacity, std::string& text) override;
    void clearInstallStatus() override;
    bool productView64() override { return true; }
    int run(const std::string& program, const std::string& arguments,
            bool* started = nullptr) override;
    bool hasInstallerResource(int id, uint32_t& error) override;
    std::string kitDatabasePath() override;
    int writeInstallerResource(int id, const std::string& path) override;
    uint32_t createCabinetEvent() override;
    void startCabinetExtraction() override;
    void awaitCabinetExtraction() override;
    std::string userDataFolder() override { return dataFolder; }
    uint32_t holdFolderBelow(const std::string& data, const std::string& folder) override;
    [[noreturn]] void fatalExit(const char* step, uint32_t code) override;
    bool windowsInstallerPresent() override { return installerPresent; }
    bool installInProgress() override { return inProgress; }
    bool setInstallInProgressFlag() override;
    int osLevel() override { return level; }
    bool findMsiexecPath(std::string& path, std::size_t capacity) override;
    bool commandLineUnits(const std::string& commandLine, std::size_t& units) override;
    unsigned long lastError() override { return 0; }
    bool fileExists(const std::string& path) override { return files.count(path) != 0; }
    void deleteFile(const std::string& path) override;
    std::string commonProgramFiles() override { return commonFiles; }
    int prepareExport() override;
    int storeExport() override;
    void discardPreparedExport() override;
    int restore() override;
    au::ScheduleRecord readSchedule(bool oldLayout, bool& found) override;
    int readNotifyType(bool oldLayout) override;
    void writeSchedule(const au::ScheduleRecord& schedule) override;
    void writeNotifyType(int notifyType) override;

  private:
    using Key = std::pair<bool, std::string>;  // (64-bit view, upper-case path)
    Key key(launcher::RegistryView view, const std::string& path) const;

    launcher::RunState state_;
    std::map<Key, std::map<std::string, launcher::RegistryValue>> registry_;
    bool prepared_ = false;
    bool discarded_ = false;
    bool stored_ = false;
    bool restored_ = false;
};

}  // namespace cdk_test
