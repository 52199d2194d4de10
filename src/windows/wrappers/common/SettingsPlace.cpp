// The runtime settings file's path checked below ProgramData: every folder from ProgramData down
// and the file itself must be where the path says before the file is read, written or deleted.
// ProgramData itself may be a link (it is the system's); what is below it any standard user can
// have created.
#include <shlobj.h>
#include <windows.h>

#include <cwchar>
#include <cwctype>
#include <vector>

#include "AllUtils.h"
#include "CheckedFile.h"
#include "Payload.h"
#include "SettingsPlace.h"
#include "SystemError.h"
#include "Text.h"

namespace {

// The parts of a settings file's path: the root folder whose own place is not checked, the
// folders below it ("Quillon\Corvid") and the file's name.
struct PlaceParts {
    std::wstring root;
    std::wstring below;
    std::wstring name;
};

bool startsWithFolder(const std::wstring& path, const std::wstring& folder) {
    return path.size() > folder.size() + 1 && path[folder.size()] == L'\\' &&
           checked_file::sameFinalPath(path.substr(0, folder.size()), folder);
}

// A path outside ProgramData (not one the launcher names) is checked from its own folder down.
bool splitSettingsPath(const std::string& utf8Path, PlaceParts& parts) {
    std::u16string utf16;
    if (!cdk_text::utf8ToUtf16(utf8Path, utf16)) {
        return false;
    }
    const std::wstring path(utf16.begin(), utf16.end());
    std::wstring folder;
    if (!checked_file::splitPath(path, folder, parts.name) || parts.name.empty()) {
        return false;
    }
    wchar_t common[MAX_PATH] = {};
    parts.root = folder;
    parts.below.clear();
    if (SUCCEEDED(
            SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, common))) {
        common[MAX_PATH - 1] = L'\0';
        std::wstring root(common);
        while (root.size() > 3 && root.back() == L'\\') {
            root.pop_back();
        }
        if (startsWithFolder(folder, root)) {
            parts.root = root;
            parts.below = folder.substr(root.size() + 1);
        }
    }
    return true;
}

std::wstring join(const std::wstring& folder, const std::wstring& name) {
    return folder.empty() || folder.back() == L'\\' ? folder + name : folder + L"\\" + name;
}

// An entry that an open reports missing may be a link that leads nowhere: written through, it
// would create its target.
bool linkToNothing(const std::wstring& path, DWORD openError) {
    return (openError == ERROR_FILE_NOT_FOUND || openError == ERROR_PATH_NOT_FOUND) &&
           checked_file::leadsNowhere(path);
}

// The process id in the name of a temporary file that the settings store or the export's
// preparation writes beside a settings file: "<name>.~export-<pid>.tmp", with or without the
// store's own ".~<pid>-<n>.tmp" after it, or "<name>.~<pid>-<n>.tmp". False for other names.
bool leftoverProcess(const std::wstring& suffix, DWORD& process) {
    std::size_t at = 0;
    auto take = [&suffix, &at](const wchar_t* text) {
        const std::size_t length = std::wcslen(text);
        if (suffix.compare(at, length, text) != 0) return false;
        at += length;
        return true;
    };
    auto number = [&suffix, &at](DWORD* out) {
        const std::size_t start = at;
        unsigned long long value = 0;
        while (at < suffix.size() && iswdigit(suffix[at]) && at - start < 10) {
            value = value * 10 + (suffix[at++] - L'0');
        }
        if (at == start || value > 0xFFFFFFFFull) return false;
        if (out != nullptr) *out = static_cast<DWORD>(value);
        return true;
    };
    auto storeTemporary = [&]() {
        return take(L".~") && number(nullptr) && take(L"-") && number(nullptr) && take(L".tmp");
    };
    if (take(L".~export-")) {
        if (!number(&process) || !take(L".tmp")) return false;
        return at == suffix.size() || (storeTemporary() && at == suffix.size());
    }
    at = 0;
    if (!take(L".~") || !number(&process)) return false;
    return take(L"-") && number(nullptr) && take(L".tmp") && at == suffix.size();
}

// Whether the process `id` may still be writing: it runs, or cannot be asked.
bool processRuns(DWORD id) {
    const HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id);
    if (process == nullptr) {
        return GetLastError() != ERROR_INVALID_PARAMETER;
    }
    DWORD code = 0;
    const bool running = GetExitCodeProcess(process, &code) && code == STILL_ACTIVE;
    CloseHandle(process);
    return running;
}

class CheckedPlace final : public SettingsFilePlace {
  public:
    bool mayRead(const std::string& utf8Path) override {
        constexpr const char* refused = "the settings file is not read through it";
        PlaceParts parts;
        if (!splitSettingsPath(utf8Path, parts)) {
            return true;
        }
        // Whatever cannot be opened is not read through a link: the store's own read fails on
        // it and reports it as it reports any file it cannot read.
        checked_file::Opened current = checked_file::openFolder(parts.root);
        if (current.error != ERROR_SUCCESS) {
            return true;
        }
        std::wstring path = parts.root;
        std::size_t start = 0;
        // Each folder below the root, then the file: each opened and compared with its parent's
        // final path and its name.
        for (;;) {
            const std::size_t end = parts.below.find(L'\\', start);
            const bool last = start >= parts.below.size();
            const std::wstring name =
                last ? parts.name
                     : parts.below.substr(
                           start, end == std::wstring::npos ? std::wstring::npos : end - start);
            checked_file::Opened next =
                checked_file::openInFolder(path, current.finalPath, name, FILE_READ_ATTRIBUTES,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
            const std::wstring nextPath = join(path, name);
            if (next.error == checked_file::kStoppedOnLink) {
                LogLinkRefused(checked_file::narrowForLog(nextPath), next.finalPath, refused);
                return false;
            }
            if (next.error != ERROR_SUCCESS || last) {
                return true;
            }
            path = nextPath;
            current = std::move(next);
            start = end == std::wstring::npos ? parts.below.size() : end + 1;
        }
    }

    bool isAbsent(const std::string& utf8Path) override {
        std::u16string utf16;
        if (!cdk_text::utf8ToUtf16(utf8Path, utf16)) {
            return false;
        }
        const std::wstring path(utf16.begin(), utf16.end());
        if (GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) {
            return false;
        }
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
    }

    bool beforeWriting(const std::string& utf8Path) override {
        PlaceParts parts;
        if (!splitSettingsPath(utf8Path, parts)) {
            return true;
        }
        checked_file::Stop stop;
        const DWORD error = checked_file::holdFolders(parts.root, parts.below, false, stop);
        if (error == checked_file::kStoppedOnLink) {
            LogLinkRefused(checked_file::narrowForLog(stop.path), stop.finalPath);
            return false;
        }
        if (error != ERROR_SUCCESS) {
            // A folder that cannot be created or opened: the store's write fails on it and says
            // so as it does for any folder it cannot write.
            return true;
        }
        const std::wstring folder = join(parts.root, parts.below);
        const checked_file::Opened file =
            checked_file::openInHeldFolder(folder, parts.name, FILE_READ_ATTRIBUTES,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
        if (file.error == checked_file::kStoppedOnLink) {
            LogLinkRefused(checked_file::narrowForLog(join(folder, parts.name)), file.finalPath);
            return false;
        }
        if (file.error != ERROR_SUCCESS && linkToNothing(join(folder, parts.name), file.error)) {
            LogLinkRefused(checked_file::narrowForLog(join(folder, parts.name)), std::wstring());
            return false;
        }
        return true;
    }

    void removeLeftovers(const std::string& utf8Path) override {
        PlaceParts parts;
        if (!splitSettingsPath(utf8Path, parts)) {
            return;
        }
        const std::wstring folder = join(parts.root, parts.below);
        WIN32_FIND_DATAW found{};
        const HANDLE search = FindFirstFileW(join(folder, parts.name + L".~*").c_str(), &found);
        if (search == INVALID_HANDLE_VALUE) {
            return;
        }
        std::vector<std::wstring> stale;
        do {
            const std::wstring name = found.cFileName;
            DWORD process = 0;
            if (name.size() > parts.name.size() &&
                leftoverProcess(name.substr(parts.name.size()), process) &&
                (process == GetCurrentProcessId() || !processRuns(process))) {
                stale.push_back(name);
            }
        } while (FindNextFileW(search, &found));
        FindClose(search);
        if (stale.empty() || !beforeWriting(utf8Path)) {
            return;
        }
        for (const std::wstring& name : stale) {
            const checked_file::Opened file = checked_file::openInHeldFolder(
                folder, name, checked_file::kDeleteAccess,
                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
            const DWORD error = file.error == ERROR_SUCCESS
                                    ? checked_file::deleteThroughHandle(file.handle.get())
                                    : file.error;
            const std::string shown = checked_file::narrowForLog(join(folder, name));
            if (error == ERROR_SUCCESS) {
                logit("Removed " + shown + ", left by a run that ended before it finished.");
            } else {
                logit("Could not remove " + shown + ", left by a run that ended before it " +
                      "finished: " + describeSystemError(error));
            }
        }
    }

    bool remove(const std::string& utf8Path) override {
        PlaceParts parts;
        if (!splitSettingsPath(utf8Path, parts) || !beforeWriting(utf8Path)) {
            return false;
        }
        const std::wstring folder = join(parts.root, parts.below);
        const checked_file::Opened file =
            checked_file::openInHeldFolder(folder, parts.name, checked_file::kDeleteAccess,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
        if (file.error == ERROR_FILE_NOT_FOUND || file.error == ERROR_PATH_NOT_FOUND) {
            return true;
        }
        return file.error == ERROR_SUCCESS &&
               checked_file::deleteThroughHandle(file.handle.get()) == ERROR_SUCCESS;
    }
};

}  // namespace

SettingsFilePlace& CheckedSettingsFilePlace() {
    static CheckedPlace place;
    return place;
}
