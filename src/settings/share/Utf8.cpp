#include "Utf8.h"

#include <cstdint>

namespace settings_impl {

namespace {

// Number of continuation bytes that follow a lead byte, or -1 for a byte that cannot lead.
int continuationCount(unsigned char lead) {
    if (lead < 0x80) return 0;
    if (lead < 0xC0) return -1;
    if (lead < 0xE0) return 1;
    if (lead < 0xF0) return 2;
    if (lead < 0xF8) return 3;
    if (lead < 0xFC) return 4;
    if (lead < 0xFE) return 5;
    return -1;
}

bool isContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }

}  // namespace

std::size_t findInvalidUtf8(std::string_view text) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t size = text.size();
    std::size_t i = 0;
    while (i < size) {
        // Plain ASCII is by far the most common content; skip it eight bytes at a time.
        while (i + 8 <= size) {
            uint64_t word = 0;
            for (int k = 0; k < 8; ++k) word |= static_cast<uint64_t>(bytes[i + k]) << (8 * k);
            if (word & 0x8080808080808080ULL) break;
            i += 8;
        }
        if (i >= size) break;
        const unsigned char lead = bytes[i];
        if (lead < 0x80) {
            ++i;
            continue;
        }
        const int count = continuationCount(lead);
        if (count < 0) return i;
        if (size - i - 1 < static_cast<std::size_t>(count)) return i;
        for (int k = 1; k <= count; ++k) {
            if (!isContinuation(bytes[i + k])) return i + k;
        }
        i += static_cast<std::size_t>(count) + 1;
    }
    return kValidUtf8;
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
        if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
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

bool utf16ToUtf8(std::u16string_view text, std::string& out) {
    out.clear();
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        uint32_t cp = text[i];
        if (cp >= 0xD800 && cp <= 0xDBFF) {
            if (i + 1 >= text.size() || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF) return false;
            cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00u);
            ++i;
        } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
            return false;
        }
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
    return true;
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

}  // namespace settings_impl
