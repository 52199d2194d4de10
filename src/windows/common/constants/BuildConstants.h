// Version and architecture constants of this build. Folder names, cabinet names, registry
// paths and product codes derive from them.
#pragma once

namespace build {

inline constexpr const char* kProductVersion = "3.6.0_09";
inline constexpr const char* kFullVersion = "3.6.0_09-b11";
inline constexpr unsigned kBuildNumber = 11;
inline constexpr const char* kUpdaterVersion = "5.6.09.11";

// "i586" for the 32-bit product flavour, "amd64" for the 64-bit flavour.
inline constexpr const char* kArchitectureName = sizeof(void*) == 8 ? "amd64" : "i586";

}  // namespace build
