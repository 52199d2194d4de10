// Text helpers that every layer shares: UTF-16 to UTF-8 and back, trimming, ASCII case folding.
// Standard C++ only.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace cdk_text {

// What a UTF-16 to UTF-8 conversion does with an unpaired surrogate.
enum class Utf16Errors {
    // Strict: the conversion fails. For text that must come back unchanged (paths, settings).
    Fail,
    // Lenient: each unpaired surrogate becomes U+FFFD. For text meant for people (system
    // messages in the log).
    Replace,
};

// UTF-16 to UTF-8. False only for an unpaired surrogate under Utf16Errors::Fail; `out` is then
// unspecified.
bool utf16ToUtf8(std::u16string_view text, std::string& out, Utf16Errors errors);

// Strict UTF-8 to UTF-16: a byte that cannot begin or continue a sequence, a cut-off sequence,
// an overlong form, a surrogate code point or a value above U+10FFFF fails (false; `out` is then
// unspecified).
bool utf8ToUtf16(std::string_view text, std::u16string& out);

// Spaces and tabs.
inline constexpr std::string_view kBlanks = " \t";

// `text` without the given characters at both ends, at the start, or at the end.
std::string_view trim(std::string_view text, std::string_view characters = kBlanks);
std::string_view trimLeading(std::string_view text, std::string_view characters = kBlanks);
std::string_view trimTrailing(std::string_view text, std::string_view characters = kBlanks);

// ASCII letters only: every other byte, those of multi-byte characters included, stays as it is.
constexpr char asciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }
constexpr char asciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }
std::string asciiLower(std::string_view text);
bool equalsIgnoringAsciiCase(std::string_view a, std::string_view b);

}  // namespace cdk_text
