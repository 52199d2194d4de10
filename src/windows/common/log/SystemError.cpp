#include "SystemError.h"

#include "AllUtilsPlatform.h"
#include "Text.h"

std::string describeSystemError(uint32_t code) {
    return "system error " + std::to_string(code) + " (" + systemMessageText(code) + ")";
}

std::u16string cleanSystemMessage(std::u16string text) {
    for (char16_t& c : text) {
        if (c < u' ') {
            c = u' ';
        }
    }
    size_t end = text.size();
    while (end > 1 && (text[end - 1] <= u' ' || text[end - 1] == u'.')) {
        --end;
    }
    text.resize(end);
    return text;
}

std::string systemMessageText(uint32_t code) {
    const std::u16string raw = allutils_platform::rawSystemMessage(code);
    if (raw.empty()) {
        return "No description available";
    }
    // A message is read by people: an unpaired surrogate shows as U+FFFD instead of losing it.
    std::string text;
    cdk_text::utf16ToUtf8(cleanSystemMessage(raw), text, cdk_text::Utf16Errors::Replace);
    return text;
}

uint32_t lastSystemError() { return allutils_platform::lastError(); }
