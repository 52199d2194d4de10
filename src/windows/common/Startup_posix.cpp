#include "Startup.h"

namespace startup {
// Host builds have no system information object.
void createSystemInformation() {}
}  // namespace startup
