// Which registry view the launcher uses for its own keys: the 32-bit view for a 32-bit process
// (on a 32-bit system or under WOW64), the 64-bit view for a native 64-bit process.
#pragma once

#include <windows.h>

// The native processor architecture is AMD64.
bool isNativeAmd64();
// The current process runs under WOW64. Throws std::runtime_error("fnIsWow64Process() failed")
// when the system has the query but it fails; false when the system lacks it.
bool isWow64Process();
bool use32BitRegistryView();
