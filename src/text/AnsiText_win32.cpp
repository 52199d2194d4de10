// Exact conversions of wide system text to the ANSI code page.
#include "AnsiText.h"

#include <windows.h>

#include <vector>

namespace cdk_text {

namespace {

// WC_NO_BEST_FIT_CHARS turns every character without an exact counterpart into the default
// character, and `usedDefault` tells that apart from a "?" that was in the text. A system whose
// ANSI code page is UTF-8 carries every character; there the call takes neither the flag nor the
// default-character report, and an unpaired surrogate fails it when `usedDefault` is asked for.
// A failed call sets `failure` to the system's code, but for ERROR_NO_UNICODE_TRANSLATION: an
// unpaired surrogate under a UTF-8 code page is text the code page cannot carry.
bool wideToAnsi(std::wstring_view text, std::string& out, bool* usedDefault,
                unsigned long* failure = nullptr) {
    const auto failed = [failure] {
        const DWORD error = GetLastError();
        if (failure != nullptr && error != ERROR_NO_UNICODE_TRANSLATION) {
            *failure = error != ERROR_SUCCESS ? error : ERROR_INVALID_DATA;
        }
        return false;
    };
    out.clear();
    if (text.empty()) {
        return true;
    }
    const bool utf8 = GetACP() == CP_UTF8;
    const DWORD flags =
        utf8 ? (usedDefault != nullptr ? WC_ERR_INVALID_CHARS : 0) : WC_NO_BEST_FIT_CHARS;
    BOOL defaulted = FALSE;
    BOOL* defaultedOut = usedDefault != nullptr && !utf8 ? &defaulted : nullptr;
    const int wideLength = static_cast<int>(text.size());
    const int length = WideCharToMultiByte(CP_ACP, flags, text.data(), wideLength, nullptr, 0,
                                           nullptr, defaultedOut);
    if (length <= 0) {
        return failed();
    }
    out.assign(static_cast<std::size_t>(length), '\0');
    if (WideCharToMultiByte(CP_ACP, flags, text.data(), wideLength, out.data(), length, nullptr,
                            defaultedOut) != length) {
        out.clear();
        return failed();
    }
    if (usedDefault != nullptr) {
        *usedDefault = defaulted != FALSE;
    }
    return true;
}

// Text of one code page in another, through UTF-16; with `exact`, no best-fit substitutes.
bool convert(UINT from, DWORD fromFlags, UINT to, const std::string& text, std::string& out,
             bool exact) {
    out.clear();
    if (text.empty()) {
        return true;
    }
    const int wideLength = MultiByteToWideChar(from, fromFlags, text.data(),
                                               static_cast<int>(text.size()), nullptr, 0);
    if (wideLength <= 0) {
        return false;
    }
    std::wstring wide(static_cast<std::size_t>(wideLength), L'\0');
    MultiByteToWideChar(from, fromFlags, text.data(), static_cast<int>(text.size()), wide.data(),
                        wideLength);
    const DWORD toFlags = exact ? WC_NO_BEST_FIT_CHARS : 0;
    BOOL usedDefault = FALSE;
    BOOL* usedDefaultOut = exact ? &usedDefault : nullptr;
    const int length = WideCharToMultiByte(to, toFlags, wide.data(), wideLength, nullptr, 0,
                                           nullptr, usedDefaultOut);
    if (length <= 0) {
        return false;
    }
    out.assign(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(to, toFlags, wide.data(), wideLength, out.data(), length, nullptr,
                        usedDefaultOut);
    if (usedDefault) {
        out.clear();
        return false;
    }
    return true;
}

}  // namespace

bool wideToAnsiExact(std::wstring_view text, std::string& out, unsigned long* failure) {
    if (failure != nullptr) {
        *failure = 0;
    }
    bool usedDefault = false;
    return wideToAnsi(text, out, &usedDefault, failure) && !usedDefault;
}

std::string wideToAnsiForDisplay(std::wstring_view text) {
    std::string out;
    wideToAnsi(text, out, nullptr);
    return out;
}

bool ansiFolderPath(const std::wstring& folder, std::string& out) {
    if (wideToAnsiExact(folder, out)) {
        return true;
    }
    // The short form is ASCII where the volume keeps short names; where it does not, the call
    // gives the long path back, which fails the same test again.
    std::vector<wchar_t> shortPath(MAX_PATH);
    for (;;) {
        const DWORD length = GetShortPathNameW(folder.c_str(), shortPath.data(),
                                               static_cast<DWORD>(shortPath.size()));
        if (length == 0) {
            break;
        }
        if (length < shortPath.size()) {
            if (wideToAnsiExact(std::wstring_view(shortPath.data(), length), out)) {
                return true;
            }
            break;
        }
        shortPath.resize(length);
    }
    out.clear();
    return false;
}

bool ansiToUtf8(const std::string& ansi, std::string& utf8) {
    return convert(CP_ACP, MB_ERR_INVALID_CHARS, CP_UTF8, ansi, utf8, false);
}

bool utf8ToAnsiExact(const std::string& utf8, std::string& ansi) {
    return convert(CP_UTF8, MB_ERR_INVALID_CHARS, CP_ACP, utf8, ansi, true);
}

}  // namespace cdk_text
