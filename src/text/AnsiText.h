// Wide text of the system (command-line arguments, folder paths) in the ANSI code page of the
// process, never through best-fit look-alikes: "Ł" has no counterpart in code page 1252, and
// the system's default conversion would turn "C:\users\Łukasz" into "C:\users\Lukasz", another
// user's folder. Windows only.
#pragma once

#include <string>
#include <string_view>

namespace cdk_text {

// Character for character: false when a character has no exact counterpart in the code page
// (or the text holds an unpaired surrogate), or when the system could not convert at all;
// `out` is then unspecified. With `failure`, the second case sets it to the system's error code
// (it is 0 after a success and after text the code page cannot carry).
bool wideToAnsiExact(std::wstring_view text, std::string& out, unsigned long* failure = nullptr);

// For messages and log records only: each character without an exact counterpart becomes the
// code page's default character ("?"), so that the text can never be taken for another name.
std::string wideToAnsiForDisplay(std::wstring_view text);

// A folder path the system gave (a known folder, TEMP): the path itself when the code page
// carries it exactly, else its short form (GetShortPathNameW) when that one is carried exactly.
// False when neither is, and the folder must not be used at all; `out` is then empty.
bool ansiFolderPath(const std::wstring& folder, std::string& out);

// Text of the ANSI code page as UTF-8. False for bytes that are not valid there.
bool ansiToUtf8(const std::string& ansi, std::string& utf8);
// UTF-8 text in the ANSI code page. False when a character cannot be represented exactly (no
// best-fit substitutes) or the text is not valid UTF-8.
bool utf8ToAnsiExact(const std::string& utf8, std::string& ansi);

}  // namespace cdk_text
