// Writing a 120 MB cabinet resource through the launcher's payload writer (8192-byte pieces
// from the mapped resource, then the read-back that guards the file) against one CopyFileA of a
// file holding the same bytes, on the same disk, alternating, in one process. Every file is
// written anew on both sides: files left by an earlier run are deleted before the first round.
//
// The resource is put into a copy of this program with UpdateResource and that copy is loaded as
// a data file, so the build carries no 120 MB file.
//
// Detail lines break the writer's time down: after the compared rounds, the same 8192-byte
// WriteFile loop without the read-back alternates with the copy again, which shows how much of
// the copy's throughput the pieces alone leave.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "ScopedHandle.h"
#include "Payload.h"

namespace {

constexpr std::size_t kBytes = bench::kLargeCabinetBytes;
constexpr int kRounds = 5;
constexpr int kCabinetId = bench::kLargeCabinetId;
constexpr const char* kCabinetType = bench::kLargeCabinetType;

// Writes `size` bytes in pieces of at most `pieceSize` to a new file.
void writePlainFile(const std::string& path, const uint8_t* data, std::size_t size,
                    std::size_t pieceSize) {
    ScopedKernelHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) bench::fail("CreateFile");
    std::size_t done = 0;
    while (done < size) {
        const DWORD piece = static_cast<DWORD>(std::min(size - done, pieceSize));
        DWORD written = 0;
        if (!WriteFile(file.get(), data + done, piece, &written, nullptr) || written == 0)
            bench::fail("WriteFile");
        done += written;
    }
    if (!CloseHandle(file.take())) bench::fail("CloseHandle");
}

std::string roundFile(const std::string& folder, const char* stem, int round, const char* type) {
    std::string name = folder;
    name += stem;
    name += std::to_string(round);
    name += type;
    return name;
}

}  // namespace

int main() {
    const std::string folder = bench::programFolder() + "extraction-work\\";
    CreateDirectoryA(folder.c_str(), nullptr);
    const std::vector<uint8_t> bytes = bench::largeCabinetBytes();

    // A copy of this program carrying the cabinet as its resource.
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    const std::string carrier = folder + "carrier.exe";
    bench::writeCarrier(self, carrier, bytes);
    HMODULE module = LoadLibraryExA(carrier.c_str(), nullptr,
                                    LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (module == nullptr) bench::fail("LoadLibraryEx carrier");

    const std::string source = folder + "plain-source.bin";
    writePlainFile(source, bytes.data(), bytes.size(), 1 << 20);

    // An earlier run's files: writing over one would cost the writer a truncation that the
    // copy, whose target is deleted before each copy, never pays.
    for (int round = 0; round < kRounds; ++round) {
        for (const auto& [stem, type] : {std::pair{"written-", ".cab"},
                                         {"copied-", ".bin"},
                                         {"pieces-", ".cab"},
                                         {"recopied-", ".bin"}}) {
            const std::string leftover = roundFile(folder, stem, round, type);
            if (!DeleteFileA(leftover.c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND)
                bench::fail("DeleteFile of an earlier run's file");
        }
    }

    std::vector<double> launcher;
    std::vector<double> plain;
    for (int round = 0; round < kRounds; ++round) {
        const std::string written = roundFile(folder, "written-", round, ".cab");
        const std::string copied = roundFile(folder, "copied-", round, ".bin");
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

    // The pieces alone, without the read-back, against the copy once more.
    HRSRC resource = FindResourceA(module, MAKEINTRESOURCEA(kCabinetId), kCabinetType);
    const auto* resourceBytes =
        resource != nullptr
            ? static_cast<const uint8_t*>(LockResource(LoadResource(module, resource)))
            : nullptr;
    if (resourceBytes == nullptr || SizeofResource(module, resource) != kBytes)
        bench::fail("LockResource");
    std::vector<double> pieces;
    std::vector<double> replain;
    for (int round = 0; round < kRounds; ++round) {
        const std::string written = roundFile(folder, "pieces-", round, ".cab");
        const std::string copied = roundFile(folder, "recopied-", round, ".bin");
        const auto piecesOnce = [&] {
            const double start = bench::nowSeconds();
            writePlainFile(written, resourceBytes, kBytes, 8192);
            pieces.push_back(bench::nowSeconds() - start);
        };
        const auto copyOnce = [&] {
            const double start = bench::nowSeconds();
            if (!CopyFileA(source.c_str(), copied.c_str(), FALSE)) bench::fail("CopyFile");
            replain.push_back(bench::nowSeconds() - start);
        };
        if (round % 2 == 0) {
            piecesOnce();
            copyOnce();
        } else {
            copyOnce();
            piecesOnce();
        }
    }

    // What this process does not hold open goes now; the writer's files go with the next run.
    for (int round = 0; round < kRounds; ++round) {
        for (const auto& [stem, type] :
             {std::pair{"copied-", ".bin"}, {"pieces-", ".cab"}, {"recopied-", ".bin"}}) {
            DeleteFileA(roundFile(folder, stem, round, type).c_str());
        }
    }

    const double launcherMedian = bench::median(launcher);
    const double plainMedian = bench::median(plain);
    const double piecesMedian = bench::median(pieces);
    const double replainMedian = bench::median(replain);
    const double mb = static_cast<double>(kBytes) / (1024.0 * 1024.0);
    std::printf("detail launcher writer (8192-byte pieces + read-back): median %.3f s, %.0f MB/s\n",
                launcherMedian, mb / launcherMedian);
    std::printf("detail plain CopyFileA of the same bytes: median %.3f s, %.0f MB/s\n", plainMedian,
                mb / plainMedian);
    std::printf(
        "detail the 8192-byte WriteFile loop alone: median %.3f s against the copy's %.3f s in the "
        "same rounds, %.2f of its throughput\n",
        piecesMedian, replainMedian, replainMedian / piecesMedian);
    // Throughput of the launcher's writer relative to the plain copy (target: at least 0.30).
    std::printf("ratio %.3f\n", plainMedian / launcherMedian);
    return 0;
}
