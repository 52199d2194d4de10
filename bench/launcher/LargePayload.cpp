// Gives the whole-install benchmark a launcher of a release's size: a copy of the launcher whose
// second cabinet holds 120 MB, and the same cabinet as a file, for the baseline that finds its
// payload in place.
//
//   large_payload.exe LAUNCHER COPY CABINET
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "ScopedHandle.h"

int main(int argc, char** argv) {
    if (argc != 4) {
        std::printf("error usage: large_payload.exe LAUNCHER COPY CABINET\n");
        return 2;
    }
    const std::vector<uint8_t> bytes = bench::largeCabinetBytes();
    bench::writeCarrier(argv[1], argv[2], bytes);

    ScopedKernelHandle file(CreateFileA(argv[3], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) bench::fail("CreateFile cabinet");
    DWORD written = 0;
    if (!WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
        written != bytes.size())
        bench::fail("WriteFile cabinet");
    if (!CloseHandle(file.take())) bench::fail("CloseHandle cabinet");
    std::printf("detail %s: a launcher with a %zu-byte cabinet\n", argv[2], bytes.size());
    return 0;
}
