#include "Startup.h"

#include <memory>

#include "AllUtils.h"
#include "InstallConfigData.h"

namespace {

class StartupSequence {
  public:
    StartupSequence() {
        startup::createSystemInformation();
        installConfig_ = std::make_unique<InstallConfigData>();
        initializeDiagnosticLog();
    }

    InstallConfigData& installConfig() { return *installConfig_; }

  private:
    std::unique_ptr<InstallConfigData> installConfig_;
};

// A failure of the settings store while this is built leaves static initialisation with
// settings::Exception: the program does not reach its entry point.
StartupSequence startupSequence;

}  // namespace

namespace startup {
InstallConfigData& installConfig() { return startupSequence.installConfig(); }
}  // namespace startup

// Defined here so that every program using the install configuration links the start-up
// sequence along with it.
InstallConfigData& InstallConfigData::instance() { return startup::installConfig(); }
