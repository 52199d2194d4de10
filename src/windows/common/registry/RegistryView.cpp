#include "RegistryView.h"

#include <stdexcept>

#include "RegistryViewRule.h"

bool isNativeAmd64() {
    SYSTEM_INFO info = {};
    GetNativeSystemInfo(&info);
    return info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64;
}

bool isWow64Process() {
    using IsWow64ProcessFunction = BOOL(WINAPI*)(HANDLE, PBOOL);
    const HMODULE kernel = GetModuleHandleA("kernel32");
    if (kernel == nullptr) {
        return false;
    }
    const auto isWow64 = reinterpret_cast<IsWow64ProcessFunction>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "IsWow64Process")));
    if (isWow64 == nullptr) {
        return false;
    }
    BOOL wow64 = FALSE;
    if (!isWow64(GetCurrentProcess(), &wow64)) {
        throw std::runtime_error("fnIsWow64Process() failed");
    }
    return wow64 != FALSE;
}

bool use32BitRegistryView() {
    return registry_view::use32BitView(isNativeAmd64(), isWow64Process());
}

static_assert(registry_view::kKeyRead == KEY_READ && registry_view::kKeyWrite == KEY_WRITE &&
              registry_view::kWow64View32 == KEY_WOW64_32KEY &&
              registry_view::kWow64View64 == KEY_WOW64_64KEY);
