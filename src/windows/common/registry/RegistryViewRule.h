// The rule that picks the registry view for the launcher's own keys, as plain functions of the
// machine's facts, so that both flavours' answers are tested on the host.
#pragma once

#include <cstdint>

namespace registry_view {

// Access rights and view flags with the values of the Windows headers.
inline constexpr uint32_t kKeyRead = 0x20019;
inline constexpr uint32_t kKeyWrite = 0x20006;
inline constexpr uint32_t kWow64View64 = 0x0100;
inline constexpr uint32_t kWow64View32 = 0x0200;

// A 32-bit process (on a 32-bit system, or under WOW64 on a 64-bit one) uses the 32-bit view; a
// native 64-bit process the 64-bit view.
bool use32BitView(bool nativeAmd64, bool wow64Process);
// KEY_READ or KEY_WRITE with the view flag of that choice: 0x20219 / 0x20119 for reading.
uint32_t accessMask(bool write, bool use32BitView);

}  // namespace registry_view
