// printf-style formatting into a std::string.
#pragma once

#include <cstdarg>
#include <string>

// printf-style formatting into a string of any length.
std::string formatString(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;
std::string formatStringV(const char* format, va_list args);
