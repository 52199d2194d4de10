// How the executor turns a program path and an argument text into the command line that the
// child receives. Plain string functions, shared by the Win32 executor and the host tests.
#pragma once

#include <string>
#include <string_view>

namespace executor_cmdline {

// `text` without leading and trailing spaces and tabs (cdk_text::kBlanks): the characters
// trimmed from both ends of a program path and of its arguments.
std::string trimBlanks(std::string_view text);

// The program path as the system is given it: blanks trimmed and, when the result both begins
// and ends with '"', those two quotes removed. Empty when the path is empty or blank.
std::string normalizeApplicationPath(std::string_view path);

// The command line for a program started without arguments: the path in double quotes.
std::string quotedApplicationPath(const std::string& applicationPath);

// The full command line for `applicationPath` (already normalized) and `arguments`:
// - blank arguments: the quoted path alone;
// - arguments beginning with the unquoted path: the quoted path followed by the rest of the
//   arguments after the path, so the path is not repeated;
// - arguments beginning with the quoted path: the arguments unchanged;
// - otherwise: the quoted path, a space and the arguments.
// The arguments are trimmed of blanks first.
std::string composeCommandLine(const std::string& applicationPath, std::string_view arguments);

}  // namespace executor_cmdline
