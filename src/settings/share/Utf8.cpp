#include "Utf8.h"

#include <cstdint>
#include <cstring>

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
        // Plain ASCII is by far the most common content; skip it eight bytes at a time. The
        // copy is one unaligned load; whether any byte has its high bit set does not depend on
        // the order of the bytes in the word.
        while (i + 8 <= size) {
            uint64_t word;
            std::memcpy(&word, bytes + i, sizeof word);
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

}  // namespace settings_impl
