// The objects that exist before the launcher's entry point runs. They are created during static
// initialisation of the program in one fixed order, here rather than by the order
// of translation units:
//   1. the system information object (reads the operating-system version once);
//   2. the install configuration object (option table, validator, three settings contexts);
//   3. the diagnostic log's path and program name.
// Records written by steps 1 and 2 are dropped, as the log has no path yet. Only the launcher
// program links this sequence; libraries and test programs create what they need themselves.

#include "AllUtils.h"
#include "InstallConfigData.h"
#include "SysInfo.h"

namespace {

struct StartupSequence {
    StartupSequence() {
        initializeSystemInformation();
        InstallConfigData::instance();
        initializeDiagnosticLog();
    }
};

// A failure of the settings store while this is built leaves static initialisation with
// settings::Exception: the program does not reach its entry point.
const StartupSequence startupSequence;

}  // namespace
