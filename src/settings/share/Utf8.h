// Byte-level text helpers of the settings store: the UTF-8 check applied to file contents,
// strings, paths and values, strict UTF-8/UTF-16 conversion for the platform's wide file
// functions, and ASCII-only case folding.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace settings_impl {

inline constexpr std::size_t kValidUtf8 = std::string_view::npos;

// Checks the text against the six-byte UTF-8 forms (lead byte 0xxxxxxx to 1111110x, each
// followed by its count of 10xxxxxx bytes). Overlong forms, surrogates and values above
// U+10FFFF pass; a stray continuation byte, 0xFE, 0xFF and short or cut-off sequences do not.
// Returns kValidUtf8, or the offset of the first byte that does not fit.
std::size_t findInvalidUtf8(std::string_view text);
inline bool isValidUtf8(std::string_view text) { return findInvalidUtf8(text) == kValidUtf8; }

// Strict conversions: overlong forms, surrogate code points, values above U+10FFFF and
// unpaired surrogates fail (false; out is then unspecified).
bool utf8ToUtf16(std::string_view text, std::u16string& out);
bool utf16ToUtf8(std::u16string_view text, std::string& out);

inline char asciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }
std::string asciiLower(std::string_view text);
bool equalsIgnoringAsciiCase(std::string_view a, std::string_view b);

}  // namespace settings_impl
