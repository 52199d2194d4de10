// payload_dump <folder>: writes each payload resource of its own module to <folder> under the
// payload file name, and prints one line per resource, "<type> <id> <size>" or
// "<type> <id> absent", so that a test can hold the resources against the payload files that
// the build embedded. Exit code 0, or 1 when a resource cannot be read or written.
#include <windows.h>

#include <cstdio>
#include <string>

#include "BuildConstants.h"
#include "LauncherLogic.h"
#include "PayloadTable.h"

namespace {

bool writeFile(const std::string& path, const void* data, DWORD size) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    DWORD written = 0;
    const bool ok = WriteFile(file, data, size, &written, nullptr) && written == size;
    return CloseHandle(file) && ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: payload_dump <folder>\n");
        return 2;
    }
    int status = 0;
    for (const payload::Resource& resource : payload::kResources) {
        HRSRC found = FindResourceA(nullptr, MAKEINTRESOURCEA(resource.id), resource.type);
        if (found == nullptr) {
            std::printf("%s %d absent\n", resource.type, resource.id);
            continue;
        }
        const DWORD size = SizeofResource(nullptr, found);
        HGLOBAL loaded = LoadResource(nullptr, found);
        const void* data = loaded != nullptr ? LockResource(loaded) : nullptr;
        const std::string path =
            std::string(argv[1]) + "\\" +
            launcher::payloadFileName(resource.fileTemplate, build::kProductVersion);
        if (data == nullptr || !writeFile(path, data, size)) {
            std::fprintf(stderr, "%s %d: cannot write %s: error %lu\n", resource.type, resource.id,
                         path.c_str(), GetLastError());
            status = 1;
            continue;
        }
        std::printf("%s %d %lu\n", resource.type, resource.id, static_cast<unsigned long>(size));
    }
    return status;
}
