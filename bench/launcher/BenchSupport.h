// Timing helpers shared by the launcher's Windows benchmarks.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "PayloadTable.h"

namespace bench {

inline double nowSeconds() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

inline double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n == 0 ? 0.0 : (n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2);
}

// The folder of the running program, with a trailing backslash.
inline std::string programFolder() {
    char path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path, length);
    return folder.substr(0, folder.find_last_of('\\') + 1);
}

[[noreturn]] inline void fail(const char* what) {
    std::printf("error %s failed with %lu\n", what, static_cast<unsigned long>(GetLastError()));
    std::fflush(stdout);
    ExitProcess(2);
}

// A cabinet of the size of a release's largest (120 MB), of deterministic bytes that compress
// as badly as a real cabinet's.
inline constexpr std::size_t kLargeCabinetBytes = 120u * 1024 * 1024;
inline constexpr int kLargeCabinetId = payload::kCabinet10.id;
inline constexpr const char* kLargeCabinetType = payload::kCabinet10.type;

inline std::vector<uint8_t> largeCabinetBytes() {
    std::vector<uint8_t> bytes(kLargeCabinetBytes);
    uint64_t state = 0x9E3779B97F4A7C15ull;
    for (std::size_t i = 0; i < bytes.size(); i += 8) {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        for (std::size_t j = 0; j < 8 && i + j < bytes.size(); ++j) {
            bytes[i + j] = static_cast<uint8_t>(state >> (8 * j));
        }
    }
    return bytes;
}

// Writes a copy of the program `source` to `target` whose cabinet resource (CORVID_CAB10, 111)
// holds `bytes`: the build then carries no 120 MB file.
inline void writeCarrier(const std::string& source, const std::string& target,
                         const std::vector<uint8_t>& bytes) {
    if (!CopyFileA(source.c_str(), target.c_str(), FALSE)) fail("CopyFile carrier");
    HANDLE update = BeginUpdateResourceA(target.c_str(), FALSE);
    if (update == nullptr) fail("BeginUpdateResource");
    if (!UpdateResourceA(update, kLargeCabinetType, MAKEINTRESOURCEA(kLargeCabinetId),
                         MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL),
                         const_cast<uint8_t*>(bytes.data()), static_cast<DWORD>(bytes.size())))
        fail("UpdateResource");
    if (!EndUpdateResourceA(update, FALSE)) fail("EndUpdateResource");
}

}  // namespace bench
