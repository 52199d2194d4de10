// How a REG_DWORD's bytes hold its number.
#pragma once

#include <cstdint>

namespace registry_data {

// The number of a REG_DWORD: its four bytes, least significant first.
inline uint32_t dwordFromBytes(const uint8_t* bytes) {
    return uint32_t{bytes[0]} | (uint32_t{bytes[1]} << 8) | (uint32_t{bytes[2]} << 16) |
           (uint32_t{bytes[3]} << 24);
}

}  // namespace registry_data
