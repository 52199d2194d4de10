// The texts that describe a Win32 error code in log records.
#pragma once

#include <cstdint>
#include <string>

// "system error <code> (<systemMessageText(code)>)", the code printed unsigned.
std::string describeSystemError(uint32_t code);

// The system's description of a Win32 error code as UTF-8, cleaned of line breaks and trailing
// full stops, or "No description available".
std::string systemMessageText(uint32_t code);

// The cleaning applied to a system message: characters below U+0020 become spaces, then
// trailing spaces, control characters and full stops are removed (never the first character).
std::u16string cleanSystemMessage(std::u16string text);

// The Win32 error code of the last failed system call (GetLastError; errno on POSIX).
uint32_t lastSystemError();
