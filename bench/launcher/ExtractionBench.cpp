// Writing a 120 MB cabinet resource through the launcher's payload writer (8192-byte pieces
// from the mapped resource, then the read-back that guards the file) against one CopyFileA of a
// file holding the same bytes, on the same disk, alternating, in one process.
//
// The resource is put into a copy of this program with UpdateResource and that copy is loaded as
// a data file, so the build carries no 120 MB file.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "ScopedHandle.h"
#include "WrapperUtils.h"

namespace {

constexpr std::size_t kBytes = 120u * 1024 * 1024;
constexpr int kRounds = 5;
constexpr int kCabinetId = 111;
constexpr const char* kCabinetType = "CORVID_CAB10";

// Deterministic bytes that compress as badly as a real cabinet.
std::vector<uint8_t> cabinetBytes() {
    std::vector<uint8_t> bytes(kBytes);
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

void writePlainFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    ScopedKernelHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) bench::fail("CreateFile");
    std::size_t done = 0;
    while (done < bytes.size()) {
        const DWORD piece = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1 << 20));
        DWORD written = 0;
        if (!WriteFile(file.get(), bytes.data() + done, piece, &written, nullptr) || written == 0)
            bench::fail("WriteFile");
        done += written;
    }
}

}  // namespace

int main() {
    const std::string folder = bench::programFolder() + "extraction-work\\";
    CreateDirectoryA(folder.c_str(), nullptr);
    const std::vector<uint8_t> bytes = cabinetBytes();

    // A copy of this program carrying the cabinet as its resource.
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    const std::string carrier = folder + "carrier.exe";
    if (!CopyFileA(self, carrier.c_str(), FALSE)) bench::fail("CopyFile carrier");
    HANDLE update = BeginUpdateResourceA(carrier.c_str(), FALSE);
    if (update == nullptr) bench::fail("BeginUpdateResource");
    if (!UpdateResourceA(update, kCabinetType, MAKEINTRESOURCEA(kCabinetId),
                         MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL),
                         const_cast<uint8_t*>(bytes.data()), static_cast<DWORD>(bytes.size())))
        bench::fail("UpdateResource");
    if (!EndUpdateResourceA(update, FALSE)) bench::fail("EndUpdateResource");
    HMODULE module = LoadLibraryExA(carrier.c_str(), nullptr,
                                    LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (module == nullptr) bench::fail("LoadLibraryEx carrier");

    const std::string source = folder + "plain-source.bin";
    writePlainFile(source, bytes);

    std::vector<double> launcher;
    std::vector<double> plain;
    for (int round = 0; round < kRounds; ++round) {
        const std::string written = folder + "written-" + std::to_string(round) + ".cab";
        const std::string copied = folder + "copied-" + std::to_string(round) + ".bin";
        // The launcher's writer keeps each file open for reading until the process ends, so
        // every round writes a file of its own name.
        const auto writeOnce = [&] {
            const double start = bench::nowSeconds();
            if (WriteResourceToFile(module, kCabinetId, kCabinetType, written) != 1)
                bench::fail("WriteResourceToFile");
            launcher.push_back(bench::nowSeconds() - start);
        };
        const auto copyOnce = [&] {
            DeleteFileA(copied.c_str());
            const double start = bench::nowSeconds();
            if (!CopyFileA(source.c_str(), copied.c_str(), FALSE)) bench::fail("CopyFile");
            plain.push_back(bench::nowSeconds() - start);
        };
        // Alternate which goes first, so that neither always meets a cache the other warmed.
        if (round % 2 == 0) {
            writeOnce();
            copyOnce();
        } else {
            copyOnce();
            writeOnce();
        }
    }

    const double launcherMedian = bench::median(launcher);
    const double plainMedian = bench::median(plain);
    const double mb = static_cast<double>(kBytes) / (1024.0 * 1024.0);
    std::printf("detail launcher writer (8192-byte pieces + read-back): median %.3f s, %.0f MB/s\n",
                launcherMedian, mb / launcherMedian);
    std::printf("detail plain CopyFileA of the same bytes: median %.3f s, %.0f MB/s\n", plainMedian,
                mb / plainMedian);
    // Throughput of the launcher's writer relative to the plain copy (target: at least 0.95).
    std::printf("ratio %.3f\n", plainMedian / launcherMedian);
    return 0;
}
