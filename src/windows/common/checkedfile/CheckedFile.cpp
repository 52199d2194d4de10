// Opens, checks and deletes through handles; see CheckedFile.h.
#include "CheckedFile.h"

#include <vector>

namespace checked_file {

namespace {

constexpr DWORD kFinalPathFlags = FILE_NAME_NORMALIZED | VOLUME_NAME_DOS;

// Opens an existing entry and learns its final path. Folders open only with
// FILE_FLAG_BACKUP_SEMANTICS; without it a folder opened for writing gives ERROR_ACCESS_DENIED,
// as it should where a file is expected.
Opened open(const std::wstring& path, DWORD access, DWORD share,
            DWORD flags = FILE_FLAG_BACKUP_SEMANTICS) {
    Opened opened;
    opened.handle.reset(
        CreateFileW(path.c_str(), access, share, nullptr, OPEN_EXISTING, flags, nullptr));
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

std::wstring join(const std::wstring& folder, const std::wstring& name) {
    const bool separated = !folder.empty() && folder.back() == L'\\';
    return folder + (separated ? L"" : L"\\") + name;
}

// Refuses (kStoppedOnLink, no handle) an opened entry whose final path is not its folder's
// final path and its name.
void checkPlace(Opened& opened, const std::wstring& folderFinalPath, const std::wstring& name) {
    if (opened.error == ERROR_SUCCESS &&
        !sameFinalPath(opened.finalPath, join(folderFinalPath, name))) {
        opened.handle.reset();
        opened.error = kStoppedOnLink;
    }
}

// A name that a create reports as existing and an open as missing is a link to nothing, or an
// entry that another process removed in between; one more try tells them apart.
bool missing(DWORD error) { return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND; }
constexpr int kCreateAttempts = 2;

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
    Opened opened = open(join(folderPath, name), access, share);
    checkPlace(opened, folderFinalPath, name);
    return opened;
}

namespace {

constexpr DWORD kHoldAccess = FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES;
constexpr DWORD kHoldShare = FILE_SHARE_READ | FILE_SHARE_WRITE;

struct HeldFolder {
    std::wstring path;
    std::wstring finalPath;
};

// The folders held so far, by the path their holder named them with. Never destroyed, so that
// the log's records written while the process ends still find its folder.
std::vector<HeldFolder>& heldFolders() {
    static auto* folders = new std::vector<HeldFolder>();
    return *folders;
}

// Both threads of the launcher (the main sequence and the cabinets' extraction) and the log of
// each hold folders.
SRWLOCK heldFoldersLock = SRWLOCK_INIT;

class HeldFoldersGuard {
  public:
    HeldFoldersGuard() { AcquireSRWLockExclusive(&heldFoldersLock); }
    ~HeldFoldersGuard() { ReleaseSRWLockExclusive(&heldFoldersLock); }
    HeldFoldersGuard(const HeldFoldersGuard&) = delete;
    HeldFoldersGuard& operator=(const HeldFoldersGuard&) = delete;
};

// "C:\a\b\" names the folder "C:\a\b"; a drive's root keeps its separator.
std::wstring folderName(std::wstring path) {
    while (path.size() > 1 && path.back() == L'\\' && !(path.size() == 3 && path[1] == L':')) {
        path.pop_back();
    }
    return path;
}

bool findHeld(const std::wstring& path, HeldFolder& found) {
    for (const HeldFolder& folder : heldFolders()) {
        if (sameFinalPath(folder.path, path)) {
            found = folder;
            return true;
        }
    }
    return false;
}

bool isFolder(HANDLE handle) {
    BY_HANDLE_FILE_INFORMATION information{};
    return GetFileInformationByHandle(handle, &information) &&
           (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Keeps an opened folder's handle until the process ends. A file where a folder is expected
// gives what creating below it would: ERROR_PATH_NOT_FOUND.
DWORD keep(Opened& opened, const std::wstring& path, HeldFolder& held) {
    if (!isFolder(opened.handle.get())) {
        return ERROR_PATH_NOT_FOUND;
    }
    held = {path, opened.finalPath};
    heldFolders().push_back(held);
    (void)opened.handle.take();
    return ERROR_SUCCESS;
}

// The root is taken as it is, a link too: the folders the system gives may have been moved.
DWORD holdRoot(const std::wstring& path, bool create, HeldFolder& held) {
    if (findHeld(path, held)) {
        return ERROR_SUCCESS;
    }
    if (create) {
        // Failures surface in the open.
        CreateDirectoryW(path.c_str(), nullptr);
    }
    Opened opened = open(path, kHoldAccess, kHoldShare);
    if (opened.error != ERROR_SUCCESS) {
        return opened.error;
    }
    return keep(opened, path, held);
}

DWORD holdBelow(const HeldFolder& parent, const std::wstring& name, HeldFolder& held, Stop& stop) {
    const std::wstring path = join(parent.path, name);
    stop.path = path;
    if (findHeld(path, held)) {
        return ERROR_SUCCESS;
    }
    for (int attempt = 0; attempt < kCreateAttempts; ++attempt) {
        const bool created = CreateDirectoryW(path.c_str(), nullptr) != FALSE;
        if (!created && GetLastError() != ERROR_ALREADY_EXISTS) {
            return GetLastError();
        }
        Opened opened = open(path, kHoldAccess, kHoldShare);
        checkPlace(opened, parent.finalPath, name);
        if (opened.error == ERROR_SUCCESS) {
            return keep(opened, path, held);
        }
        if (created || !missing(opened.error)) {
            stop.finalPath = opened.finalPath;
            return opened.error;
        }
    }
    stop.finalPath.clear();
    return kStoppedOnLink;
}

DWORD heldFolder(const std::wstring& path, HeldFolder& held) {
    const HeldFoldersGuard guard;
    return holdRoot(folderName(path), false, held);
}

}  // namespace

DWORD holdFolders(const std::wstring& root, const std::wstring& below, bool createRoot,
                  Stop& stop) {
    const HeldFoldersGuard guard;
    HeldFolder current;
    stop = {folderName(root), std::wstring()};
    DWORD error = holdRoot(stop.path, createRoot, current);
    std::size_t start = 0;
    while (error == ERROR_SUCCESS && start <= below.size()) {
        std::size_t end = below.find(L'\\', start);
        if (end == std::wstring::npos) {
            end = below.size();
        }
        if (end > start) {
            HeldFolder next;
            error = holdBelow(current, below.substr(start, end - start), next, stop);
            current = next;
        }
        start = end + 1;
    }
    if (error == ERROR_SUCCESS) {
        stop = Stop();
    }
    return error;
}

Opened createOrOpenFile(const std::wstring& folderPath, const std::wstring& name, DWORD access,
                        DWORD share, bool truncate) {
    HeldFolder folder;
    Opened opened;
    opened.error = heldFolder(folderPath, folder);
    if (opened.error != ERROR_SUCCESS) {
        return opened;
    }
    const std::wstring path = join(folder.path, name);
    for (int attempt = 0; attempt < kCreateAttempts; ++attempt) {
        // CREATE_NEW fails on any name that exists, a link to nothing included, so a new file
        // is never made through a link.
        opened.handle.reset(CreateFileW(path.c_str(), access, share, nullptr, CREATE_NEW,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
        if (opened.handle.valid()) {
            opened.finalPath = finalPath(opened.handle.get());
            opened.error = opened.finalPath.empty() ? GetLastError() : ERROR_SUCCESS;
            checkPlace(opened, folder.finalPath, name);
            if (opened.error != ERROR_SUCCESS) {
                opened.handle.reset();
            }
            return opened;
        }
        const DWORD createError = GetLastError();
        if (createError != ERROR_FILE_EXISTS && createError != ERROR_ALREADY_EXISTS) {
            opened.error = createError;
            return opened;
        }
        opened = open(path, access, share, FILE_ATTRIBUTE_NORMAL);
        if (opened.error == ERROR_ACCESS_DENIED) {
            // A folder where a file is expected opens only as a folder: through a link it is
            // refused as a link, a folder of its own stays a refused access.
            Opened folderEntry =
                openInFolder(folder.path, folder.finalPath, name, FILE_READ_ATTRIBUTES,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
            if (folderEntry.error == kStoppedOnLink) {
                return folderEntry;
            }
        }
        checkPlace(opened, folder.finalPath, name);
        if (opened.error == ERROR_SUCCESS) {
            // Emptied only now that it is known to be the file its path names.
            if (truncate && !SetEndOfFile(opened.handle.get())) {
                opened.error = GetLastError();
                opened.handle.reset();
            }
            return opened;
        }
        if (!missing(opened.error)) {
            return opened;
        }
    }
    opened.finalPath.clear();
    opened.error = kStoppedOnLink;
    return opened;
}

Opened openInHeldFolder(const std::wstring& folderPath, const std::wstring& name, DWORD access,
                        DWORD share) {
    HeldFolder folder;
    Opened opened;
    opened.error = heldFolder(folderPath, folder);
    if (opened.error != ERROR_SUCCESS) {
        return opened;
    }
    return openInFolder(folder.path, folder.finalPath, name, access, share);
}

bool leadsNowhere(const std::wstring& path) {
    const ScopedKernelHandle probe(CreateFileW(path.c_str(), DELETE, 0, nullptr, CREATE_NEW,
                                               FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    if (probe.valid()) {
        return false;
    }
    const DWORD error = GetLastError();
    return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS;
}

bool splitPath(const std::wstring& path, std::wstring& folder, std::wstring& name) {
    const std::size_t cut = path.rfind(L'\\');
    if (cut == std::wstring::npos) {
        return false;
    }
    folder = path.substr(0, cut);
    name = path.substr(cut + 1);
    return true;
}

std::wstring displayPath(const std::wstring& finalPath) {
    const std::wstring unc = L"\\\\?\\UNC\\";
    const std::wstring local = L"\\\\?\\";
    if (finalPath.compare(0, unc.size(), unc) == 0) {
        return L"\\\\" + finalPath.substr(unc.size());
    }
    if (finalPath.compare(0, local.size(), local) == 0) {
        return finalPath.substr(local.size());
    }
    return finalPath;
}

std::wstring widenAnsi(const std::string& text) {
    const int length = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text.data(),
                                           static_cast<int>(text.size()), nullptr, 0);
    if (length <= 0) {
        return std::wstring();
    }
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()),
                        wide.data(), length);
    return wide;
}

std::string narrowForLog(const std::wstring& text) {
    const int length = WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()),
                                           nullptr, 0, nullptr, nullptr);
    if (length <= 0) {
        return std::string();
    }
    std::string narrow(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), narrow.data(),
                        length, nullptr, nullptr);
    return narrow;
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
