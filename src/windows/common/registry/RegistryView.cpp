#include "RegistryView.h"

#include <stdexcept>

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

bool use32BitRegistryView() { return !isNativeAmd64() || isWow64Process(); }

REGSAM registryAccessMask(bool write) {
    const REGSAM view = use32BitRegistryView() ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
    return view | (write ? KEY_WRITE : KEY_READ);
}
