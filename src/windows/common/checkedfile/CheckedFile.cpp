// Opens, checks and deletes through handles; see CheckedFile.h.
#include "CheckedFile.h"

namespace checked_file {

namespace {

constexpr DWORD kFinalPathFlags = FILE_NAME_NORMALIZED | VOLUME_NAME_DOS;

// Folders open only with FILE_FLAG_BACKUP_SEMANTICS; it changes nothing for files.
Opened open(const std::wstring& path, DWORD access, DWORD share) {
    Opened opened;
    opened.handle.reset(CreateFileW(path.c_str(), access, share, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!opened.handle.valid()) {
        opened.error = GetLastError();
        return opened;
    }
    opened.finalPath = finalPath(opened.handle.get());
    if (opened.finalPath.empty()) {
        opened.error = GetLastError();
        opened.handle.reset();
    }
    return opened;
}

// The attributes a program may set; the others (folder, link, compression, ...) the file
// system keeps itself.
constexpr DWORD kSettableAttributes = FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN |
                                      FILE_ATTRIBUTE_NOT_CONTENT_INDEXED | FILE_ATTRIBUTE_OFFLINE |
                                      FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_SYSTEM |
                                      FILE_ATTRIBUTE_TEMPORARY;

bool setAttributes(HANDLE handle, DWORD attributes) {
    // Zero times leave the times as they are; zero attributes would too, so an entry left
    // without any is given FILE_ATTRIBUTE_NORMAL.
    FILE_BASIC_INFO basic{};
    attributes &= kSettableAttributes;
    basic.FileAttributes = attributes != 0 ? attributes : FILE_ATTRIBUTE_NORMAL;
    return SetFileInformationByHandle(handle, FileBasicInfo, &basic, sizeof(basic)) != FALSE;
}

}  // namespace

std::wstring finalPath(HANDLE handle) {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetFinalPathNameByHandleW(
            handle, path.data(), static_cast<DWORD>(path.size()), kFinalPathFlags);
        if (length == 0) {
            return std::wstring();
        }
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        // Too small: the length needed, terminator included.
        path.assign(length, L'\0');
    }
}

bool sameFinalPath(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(),
                                static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

Opened openFolder(const std::wstring& path) {
    return open(path, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
}

Opened openInFolder(const std::wstring& folderPath, const std::wstring& folderFinalPath,
                    const std::wstring& name, DWORD access, DWORD share) {
    const bool separated = !folderPath.empty() && folderPath.back() == L'\\';
    Opened opened = open(folderPath + (separated ? L"" : L"\\") + name, access, share);
    if (opened.error != ERROR_SUCCESS) {
        return opened;
    }
    const bool rootSeparated = !folderFinalPath.empty() && folderFinalPath.back() == L'\\';
    if (!sameFinalPath(opened.finalPath, folderFinalPath + (rootSeparated ? L"" : L"\\") + name)) {
        opened.handle.reset();
        opened.error = kStoppedOnLink;
    }
    return opened;
}

DWORD deleteThroughHandle(HANDLE handle) {
    FILE_BASIC_INFO basic{};
    if (!GetFileInformationByHandleEx(handle, FileBasicInfo, &basic, sizeof(basic))) {
        return GetLastError();
    }
    const DWORD attributes = basic.FileAttributes;
    const bool readOnly = (attributes & FILE_ATTRIBUTE_READONLY) != 0;
    if (readOnly && !setAttributes(handle, attributes & ~FILE_ATTRIBUTE_READONLY)) {
        return GetLastError();
    }
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = TRUE;
    if (SetFileInformationByHandle(handle, FileDispositionInfo, &disposition,
                                   sizeof(disposition))) {
        return ERROR_SUCCESS;
    }
    const DWORD error = GetLastError();
    if (readOnly) {
        setAttributes(handle, attributes);
    }
    return error;
}

}  // namespace checked_file
