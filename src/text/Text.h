// Text helpers that every layer shares: UTF-16 to UTF-8 and back, trimming, ASCII case folding,
// and cutting narrow text of a double-byte code page without splitting a character. Standard
// C++ only, but for isAnsiLeadByte, which has one file per platform.
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

// In the double-byte code pages (932 Japanese, 936 Simplified Chinese, ...) a character is one
// byte or a lead byte and one trail byte, and a trail byte may have the value of an ASCII
// character such as '\'. The predicate tells the lead bytes of the code page at hand.
using LeadBytePredicate = bool (*)(unsigned char);

// The length in bytes of the character that begins at text[index]: 2 for a lead byte with a byte
// after it, else 1.
std::size_t characterLength(std::string_view text, std::size_t index, LeadBytePredicate isLeadByte);

// The longest beginning of `text` that fits a buffer of `capacity` bytes together with its
// terminating NUL (so at most capacity - 1 bytes) and does not end inside a character; empty for
// a capacity of 0.
std::string_view cutToBuffer(std::string_view text, std::size_t capacity,
                             LeadBytePredicate isLeadByte);

// True for a lead byte of the ANSI code page of this process (IsDBCSLeadByte on Windows). POSIX
// hosts have no ANSI code page and take narrow text as single-byte: no byte leads, so a cut falls
// after any byte. The host builds carry only the English message texts, which are ASCII.
bool isAnsiLeadByte(unsigned char c);

}  // namespace cdk_text
