#include "RegistryViewRule.h"

namespace registry_view {

bool use32BitView(bool nativeAmd64, bool wow64Process) { return !nativeAmd64 || wow64Process; }

uint32_t accessMask(Access access, View view, bool use32BitProductView) {
    const uint32_t rights = access == Access::Read ? kKeyRead : kKeyReadWrite;
    switch (view) {
        case View::Process:
            return rights;
        case View::Product:
            return rights | (use32BitProductView ? kWow64View32 : kWow64View64);
        case View::Only32:
            return rights | kWow64View32;
        case View::Only64:
            return rights | kWow64View64;
    }
    return rights;
}

}  // namespace registry_view
