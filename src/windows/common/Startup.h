// The objects that exist before the launcher's entry point runs. They are created during static
// initialisation in one fixed order, here rather than by the order of translation units:
//   1. the system information object (reads the operating-system version once);
//   2. the install configuration object (option table, validator, three settings contexts);
//   3. the diagnostic log's path and program name.
// Records written by steps 1 and 2 are dropped, as the log has no path yet. The install
// configuration object is destroyed at process exit.
#pragma once

class InstallConfigData;

namespace startup {

// The install configuration object made by the start-up sequence.
InstallConfigData& installConfig();

// Step 1; a platform without system information does nothing.
void createSystemInformation();

}  // namespace startup
