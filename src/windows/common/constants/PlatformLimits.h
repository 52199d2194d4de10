// Limits of the platform that the launcher and the settings store both hold to.
#pragma once

#include <cstddef>

namespace platform_limits {

// Paths of this many characters (bytes in the ANSI code page) or more do not fit the platform's
// path buffers (MAX_PATH).
inline constexpr std::size_t kMaxPathLength = 260;

}  // namespace platform_limits
