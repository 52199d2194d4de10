// The settings store's UTF-8 check, applied to file contents, strings, paths and values. The
// conversions, trimming and case folding it shares with the rest of the launcher are in Text.h.
#pragma once

#include <cstddef>
#include <string_view>

namespace settings_impl {

inline constexpr std::size_t kValidUtf8 = std::string_view::npos;

// Checks the text against the six-byte UTF-8 forms (lead byte 0xxxxxxx to 1111110x, each
// followed by its count of 10xxxxxx bytes). Overlong forms, surrogates and values above
// U+10FFFF pass; a stray continuation byte, 0xFE, 0xFF and short or cut-off sequences do not.
// Returns kValidUtf8, or the offset of the first byte that does not fit.
std::size_t findInvalidUtf8(std::string_view text);
inline bool isValidUtf8(std::string_view text) { return findInvalidUtf8(text) == kValidUtf8; }

}  // namespace settings_impl
