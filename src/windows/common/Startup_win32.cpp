#include "Startup.h"
#include "SysInfo.h"

namespace startup {
void createSystemInformation() { initializeSystemInformation(); }
}  // namespace startup
