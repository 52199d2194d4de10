// The tests' and fuzz targets' way to the steps of InstallConfigData's load, import and export,
// which the launcher reaches only through the free functions. Each member forwards to the step
// of the same name.
#pragma once

#include <string>
#include <utility>

#include "InstallConfigData.h"

class InstallConfigDataPeer {
  public:
    explicit InstallConfigDataPeer(InstallConfigData& data) : data_(data) {}

    SettingsContextHolder& workingContext() { return data_.workingContext(); }
    SettingsContextHolder& exportContext() { return data_.exportContext(); }
    SettingsContextHolder& backupContext() { return data_.backupContext(); }
    void InitConfig() { data_.InitConfig(); }

    template <typename... Args>
    int _LoadConfigSettings(Args&&... args) {
        return data_._LoadConfigSettings(std::forward<Args>(args)...);
    }
    template <typename... Args>
    int ImportArgsConfigSettings(Args&&... args) {
        return data_.ImportArgsConfigSettings(std::forward<Args>(args)...);
    }
    template <typename... Args>
    int ImportRuntimeConfigSettings(Args&&... args) {
        return data_.ImportRuntimeConfigSettings(std::forward<Args>(args)...);
    }
    template <typename... Args>
    int ImportInstallConfigSettings(Args&&... args) {
        return data_.ImportInstallConfigSettings(std::forward<Args>(args)...);
    }
    template <typename... Args>
    int ExportConfigSettings(Args&&... args) {
        return data_.ExportConfigSettings(std::forward<Args>(args)...);
    }
    template <typename... Args>
    bool ShowConfigError(Args&&... args) {
        return data_.ShowConfigError(std::forward<Args>(args)...);
    }
    std::string BuildCmdLine(SettingsContextHolder& holder) const {
        return data_.BuildCmdLine(holder);
    }
    std::string DumpConfig(SettingsContextHolder& holder, const std::string& title) const {
        return data_.DumpConfig(holder, title);
    }

  private:
    InstallConfigData& data_;
};

// steps(config).workingContext(), steps(*config_).ImportArgsConfigSettings(...), ...
inline InstallConfigDataPeer steps(InstallConfigData& data) { return InstallConfigDataPeer(data); }
