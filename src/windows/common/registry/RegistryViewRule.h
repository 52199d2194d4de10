// The rule that picks the registry view for the launcher's own keys, as plain functions of the
// machine's facts, so that both flavours' answers are tested on the host.
#pragma once

#include <cstdint>

namespace registry_view {

// Access rights and view flags with the values of the Windows headers. The registry code names
// its masks only through these.
inline constexpr uint32_t kKeyRead = 0x20019;
inline constexpr uint32_t kKeyWrite = 0x20006;
inline constexpr uint32_t kKeyReadWrite = kKeyRead | kKeyWrite;
inline constexpr uint32_t kWow64View64 = 0x0100;
inline constexpr uint32_t kWow64View32 = 0x0200;

// The registry view a key is opened in.
enum class View : uint8_t {
    // The process's own view, without a view flag: a 32-bit process under WOW64 is redirected.
    Process,
    // The view of the launcher's own product keys, as use32BitView chooses it.
    Product,
    // The 32-bit view (Wow6432Node on 64-bit Windows), whatever the process.
    Only32,
    // The 64-bit view, whatever the process.
    Only64,
};

enum class Access : uint8_t { Read, ReadWrite };

// The access mask for `access` in `view`; `use32BitProductView` is use32BitView's answer, which
// only View::Product asks for.
uint32_t accessMask(Access access, View view, bool use32BitProductView);

// A 32-bit process (on a 32-bit system, or under WOW64 on a 64-bit one) uses the 32-bit view; a
// native 64-bit process the 64-bit view.
bool use32BitView(bool nativeAmd64, bool wow64Process);

}  // namespace registry_view
