#include "Text.h"

#include <cstdint>

namespace cdk_text {

namespace {

bool isHighSurrogate(uint32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool isLowSurrogate(uint32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }
bool isContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }

void appendUtf8(uint32_t cp, std::string& out) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

}  // namespace

bool utf16ToUtf8(std::u16string_view text, std::string& out, Utf16Errors errors) {
    out.clear();
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        uint32_t cp = text[i];
        if (isHighSurrogate(cp) && i + 1 < text.size() && isLowSurrogate(text[i + 1])) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00u);
            ++i;
        } else if (isHighSurrogate(cp) || isLowSurrogate(cp)) {
            if (errors == Utf16Errors::Fail) return false;
            cp = 0xFFFD;
        }
        appendUtf8(cp, out);
    }
    return true;
}

bool utf8ToUtf16(std::string_view text, std::u16string& out) {
    out.clear();
    out.reserve(text.size());
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t size = text.size();
    std::size_t i = 0;
    while (i < size) {
        const unsigned char lead = bytes[i];
        uint32_t cp = 0;
        int count = 0;
        uint32_t minimum = 0;
        if (lead < 0x80) {
            out.push_back(lead);
            ++i;
            continue;
        } else if (lead >= 0xC2 && lead < 0xE0) {
            cp = lead & 0x1Fu;
            count = 1;
            minimum = 0x80;
        } else if (lead >= 0xE0 && lead < 0xF0) {
            cp = lead & 0x0Fu;
            count = 2;
            minimum = 0x800;
        } else if (lead >= 0xF0 && lead < 0xF5) {
            cp = lead & 0x07u;
            count = 3;
            minimum = 0x10000;
        } else {
            return false;
        }
        if (size - i - 1 < static_cast<std::size_t>(count)) return false;
        for (int k = 1; k <= count; ++k) {
            const unsigned char c = bytes[i + k];
            if (!isContinuation(c)) return false;
            cp = (cp << 6) | (c & 0x3Fu);
        }
        if (cp < minimum || cp > 0x10FFFF || isHighSurrogate(cp) || isLowSurrogate(cp)) {
            return false;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
        i += static_cast<std::size_t>(count) + 1;
    }
    return true;
}

std::string_view trimLeading(std::string_view text, std::string_view characters) {
    const std::size_t first = text.find_first_not_of(characters);
    return first == std::string_view::npos ? std::string_view() : text.substr(first);
}

std::string_view trimTrailing(std::string_view text, std::string_view characters) {
    const std::size_t last = text.find_last_not_of(characters);
    return last == std::string_view::npos ? std::string_view() : text.substr(0, last + 1);
}

std::string_view trim(std::string_view text, std::string_view characters) {
    return trimTrailing(trimLeading(text, characters), characters);
}

std::string asciiLower(std::string_view text) {
    std::string result(text);
    for (char& c : result) c = asciiLower(c);
    return result;
}

bool equalsIgnoringAsciiCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (asciiLower(a[i]) != asciiLower(b[i])) return false;
    }
    return true;
}

std::size_t characterLength(std::string_view text, std::size_t index,
                            LeadBytePredicate isLeadByte) {
    return isLeadByte(static_cast<unsigned char>(text[index])) && index + 1 < text.size() ? 2 : 1;
}

std::string_view cutToBuffer(std::string_view text, std::size_t capacity,
                             LeadBytePredicate isLeadByte) {
    if (capacity == 0) return std::string_view();
    const std::size_t limit = capacity - 1;
    if (text.size() <= limit) return text;
    // Only a walk from the start tells lead bytes from trail bytes of the same value.
    std::size_t end = 0;
    while (end < limit) {
        const std::size_t length = characterLength(text, end, isLeadByte);
        if (end + length > limit) break;
        end += length;
    }
    return text.substr(0, end);
}

}  // namespace cdk_text
