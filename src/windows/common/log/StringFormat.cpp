#include "StringFormat.h"

#include <cstdio>

std::string formatStringV(const char* format, va_list args) {
    std::string result;
    for (;;) {
        result.resize(result.size() + 256);
        va_list copy;
        va_copy(copy, args);
        const int written = std::vsnprintf(result.data(), result.size() + 1, format, copy);
        va_end(copy);
        if (written < 0) {
            // An encoding error: nothing sensible can be produced.
            return std::string();
        }
        if (static_cast<size_t>(written) <= result.size()) {
            result.resize(static_cast<size_t>(written));
            return result;
        }
    }
}

std::string formatString(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string result = formatStringV(format, args);
    va_end(args);
    return result;
}
