// The run's ports answered by the system: the registry through RegOpenKeyEx, process starts
// through the executor, the payload through the module's resources, the probes, the runtime
// settings file through the install configuration and the updater's settings through its store.
// Each method is a thin call; the decisions are the portable code's.
#pragma once

#include <windows.h>

#include "LauncherPorts.h"

class Win32Registry final : public launcher::RegistryReader {
  public:
    long openKey(launcher::RegistryView view, const std::string& path) override;
    long queryValue(launcher::RegistryView view, const std::string& path, const std::string& name,
                    launcher::RegistryValue& value) override;
    long queryString(launcher::RegistryView view, const std::string& path, const std::string& name,
                     std::size_t capacity, std::string& text) override;
    void clearInstallStatus() override;
    bool productView64() override;
};

class Win32Processes final : public launcher::ProcessStarter {
  public:
    int run(const std::string& program, const std::string& arguments,
            bool* started = nullptr) override;
};

class Win32Probes final : public launcher::SystemProbes {
  public:
    bool windowsInstallerPresent() override;
    bool installInProgress() override;
    bool setInstallInProgressFlag() override;
    int osLevel() override;
    bool findMsiexecPath(std::string& path, std::size_t capacity) override;
    bool commandLineUnits(const std::string& commandLine, std::size_t& units) override;
    unsigned long lastError() override;
    bool fileExists(const std::string& path) override;
    void deleteFile(const std::string& path) override;
    std::string commonProgramFiles() override;
};

class Win32SettingsFile final : public launcher::RuntimeSettingsFile {
  public:
    explicit Win32SettingsFile(HINSTANCE module) : module_(module) {}
    int prepareExport() override;
    int storeExport() override;
    void discardPreparedExport() override;
    int restore() override;

  private:
    HINSTANCE module_;
};

class Win32UpdaterSettings final : public launcher::UpdaterSettingsStore {
  public:
    au::ScheduleRecord readSchedule(bool oldLayout, bool& found) override;
    int readNotifyType(bool oldLayout) override;
    void writeSchedule(const au::ScheduleRecord& schedule) override;
    void writeNotifyType(int notifyType) override;
};

// The payload writer's parts that every launcher shares; the kit's program adds the working
// folder and the cabinets (KitPayload).
class Win32PayloadWriter : public launcher::PayloadWriter {
  public:
    explicit Win32PayloadWriter(HINSTANCE module) : module_(module) {}
    launcher::Status findInstallerResource(int id) override;
    int writeInstallerResource(int id, const std::string& path) override;
    std::string userDataFolder() override;
    launcher::Status holdFolderBelow(const std::string& data, const std::string& folder) override;
    [[noreturn]] void fatalExit(const char* step, uint32_t code) override;

  protected:
    HINSTANCE module() const { return module_; }

  private:
    HINSTANCE module_;
};
