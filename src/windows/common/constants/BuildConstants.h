// Version and architecture constants of this build. Folder names, cabinet names, registry
// paths and product codes derive from them.
#pragma once

#include "BuildVersion.h"

namespace build {

inline constexpr const char* kProductVersion = CDK_PRODUCT_VERSION_TEXT;
inline constexpr const char* kFullVersion = CDK_FULL_VERSION_TEXT;
inline constexpr unsigned kBuildNumber = CDK_VERSION_BUILD;
inline constexpr const char* kUpdaterVersion = CDK_UPDATER_VERSION_TEXT;

// "i586" for the 32-bit product flavour, "amd64" for the 64-bit flavour.
inline constexpr const char* kArchitectureName = sizeof(void*) == 8 ? "amd64" : "i586";

}  // namespace build
