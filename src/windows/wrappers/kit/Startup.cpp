// The objects that exist before the launcher's entry point runs. They are created during static
// initialisation of the program in one fixed order, here rather than by the order
// of translation units:
//   1. the system information object (reads the operating-system version once);
//   2. the install configuration object (option table, validator, three settings contexts);
//   3. the diagnostic log's path and program name.
// Records written by steps 1 and 2 are dropped, as the log has no path yet; an exception
// that leaves them is reported by the entry point. Only the launcher
// program links this sequence; libraries and test programs create what they need themselves.

#include "AllUtils.h"
#include "ExitCodes.h"
#include "InstallConfigData.h"
#include "RunGuard.h"
#include "SysInfo.h"

namespace {

struct StartupSequence {
    StartupSequence() {
        // A failure of the settings store while the objects are built is kept for the entry
        // point, which logs it and ends the run with -80; the log's path is set up regardless.
        RunStartupSteps(
            [] {
                initializeSystemInformation();
                InstallConfigData::instance();
            },
            EXIT_CONFIG_FAILED, EXIT_UNEXPECTED_EXCEPTION);
        RunStartupSteps(initializeDiagnosticLog, EXIT_UNEXPECTED_EXCEPTION,
                        EXIT_UNEXPECTED_EXCEPTION);
    }
};

const StartupSequence startupSequence;

}  // namespace
