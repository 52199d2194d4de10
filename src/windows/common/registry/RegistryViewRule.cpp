#include "RegistryViewRule.h"

namespace registry_view {

bool use32BitView(bool nativeAmd64, bool wow64Process) { return !nativeAmd64 || wow64Process; }

uint32_t accessMask(bool write, bool use32BitView) {
    return (use32BitView ? kWow64View32 : kWow64View64) | (write ? kKeyWrite : kKeyRead);
}

}  // namespace registry_view
