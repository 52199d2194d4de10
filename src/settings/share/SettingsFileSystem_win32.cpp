// Windows: wide-character CRT and Win32 file functions on the UTF-16 form of canonical paths.
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>
#include <shlobj.h>

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <string>

#include "ScopedHandle.h"
#include "SettingsFileSystem.h"
#include "settings.h"
#include "Text.h"

namespace settings_impl::fs {

namespace {

const wchar_t* wide(const std::u16string& text) {
    return reinterpret_cast<const wchar_t*>(text.c_str());
}

bool exists(const std::u16string& path) {
    return GetFileAttributesW(wide(path)) != INVALID_FILE_ATTRIBUTES;
}

// The "\\?\" form of an absolute path, which the wide file functions take beyond 260
// characters: the temporary file beside a target just below that limit has a longer name.
std::u16string extendedLength(const std::u16string& path) {
    std::u16string result = u"\\\\?\\" + path;
    std::replace(result.begin(), result.end(), u'/', u'\\');
    return result;
}

// Puts `source` in the place of `target`. An existing file is replaced in place so that its
// attributes and security stay.
bool replaceWith(const std::u16string& target, const std::u16string& source) {
    return exists(target) ? ReplaceFileW(wide(target), wide(source), nullptr,
                                         REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr) != 0
                          : MoveFileExW(wide(source), wide(target), MOVEFILE_REPLACE_EXISTING) != 0;
}

// Whether the file holds exactly `size` bytes; false also when its size cannot be read.
bool holdsBytes(const std::u16string& path, std::size_t size) {
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    if (!GetFileAttributesExW(wide(path), GetFileExInfoStandard, &data)) return false;
    const uint64_t held = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    return held == size;
}

// The text form of a SID ("S-1-5-32-544"); empty when it cannot be converted.
std::string sidText(PSID sid) {
    char* text = nullptr;
    if (sid == nullptr || !ConvertSidToStringSidA(sid, &text)) return std::string();
    const ScopedLocalMemory owned(text);
    return std::string(text);
}

// Access-list entries of the kinds that deny; every other kind is taken as one that allows.
bool deniesAccess(BYTE aceType) {
    return aceType == ACCESS_DENIED_ACE_TYPE || aceType == ACCESS_DENIED_OBJECT_ACE_TYPE ||
           aceType == ACCESS_DENIED_CALLBACK_ACE_TYPE ||
           aceType == ACCESS_DENIED_CALLBACK_OBJECT_ACE_TYPE;
}

// The kinds whose SID follows the rights directly; object entries carry object types first.
bool sidFollowsRights(BYTE aceType) {
    return aceType == ACCESS_ALLOWED_ACE_TYPE || aceType == ACCESS_DENIED_ACE_TYPE ||
           aceType == ACCESS_ALLOWED_CALLBACK_ACE_TYPE ||
           aceType == ACCESS_DENIED_CALLBACK_ACE_TYPE;
}

// Makes the Administrators group the owner of the file the caller has just created and still
// holds open (the file cannot be renamed or replaced meanwhile). Returns a system error code.
DWORD makeAdministratorsOwner(const std::u16string& path) {
    BYTE sid[SECURITY_MAX_SID_SIZE] = {};
    DWORD size = sizeof(sid);
    if (!CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, sid, &size)) {
        return GetLastError();
    }
    const ScopedKernelHandle file(CreateFileW(wide(path), WRITE_OWNER,
                                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) return GetLastError();
    return SetSecurityInfo(file.get(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, sid, nullptr,
                           nullptr, nullptr);
}

}  // namespace

std::FILE* openForBinaryRead(const CanonicalPath& path) { return _wfopen(wide(path.utf16), L"rb"); }

FolderResult ensureFolder(const CanonicalPath& path) {
    if (exists(path.utf16)) return FolderResult::Exists;
    if (CreateDirectoryW(wide(path.utf16), nullptr)) return FolderResult::Created;
    return GetLastError() == ERROR_ALREADY_EXISTS ? FolderResult::Exists : FolderResult::Failed;
}

bool currentDirectory(std::string& out) {
    wchar_t buffer[MAX_PATH + 1] = {};
    const DWORD length = GetCurrentDirectoryW(MAX_PATH, buffer);
    if (length == 0 || length >= MAX_PATH) return false;
    return cdk_text::utf16ToUtf8(
        std::u16string_view(reinterpret_cast<const char16_t*>(buffer), length), out,
        cdk_text::Utf16Errors::Fail);
}

bool commonAppDataFolder(std::u16string& out) {
    wchar_t buffer[MAX_PATH + 1] = {};
    if (FAILED(
            SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, buffer))) {
        return false;
    }
    out.assign(reinterpret_cast<const char16_t*>(buffer));
    return true;
}

int replaceFileContents(const CanonicalPath& path, std::string_view text, WriteMode mode) {
    // A drive alone names no file.
    if (path.components.size() < 2) return SETTINGS_E_FILE_OPEN;
    static std::atomic<unsigned> counter{0};
    std::u16string temporary;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        const std::string suffix = ".~" + std::to_string(GetCurrentProcessId()) + "-" +
                                   std::to_string(counter.fetch_add(1)) + ".tmp";
        temporary = extendedLength(path.utf16 + std::u16string(suffix.begin(), suffix.end()));
        const int translation = mode == WriteMode::Text ? _O_TEXT : _O_BINARY;
        fd = _wopen(wide(temporary), _O_WRONLY | _O_CREAT | _O_EXCL | translation,
                    _S_IREAD | _S_IWRITE);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) return SETTINGS_E_FILE_OPEN;

    // Text mode: every line feed is stored as CR LF.
    std::FILE* file = _fdopen(fd, mode == WriteMode::Text ? "wt" : "wb");
    if (file == nullptr) {
        _close(fd);
        DeleteFileW(wide(temporary));
        return SETTINGS_E_FILE_OPEN;
    }
    const std::size_t written = std::fwrite(text.data(), 1, text.size(), file);
    if (const DWORD error = makeAdministratorsOwner(temporary); error != ERROR_SUCCESS) {
        reportOwnerFailure(path, error);
    }
    const bool closed = std::fclose(file) == 0;
    // Text mode stores each line feed as two bytes.
    const std::size_t expected =
        text.size() + (mode == WriteMode::Text
                           ? static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'))
                           : 0);
    // The C runtime can lose a failed write of its buffer and still report success; the file
    // that would replace the target is therefore measured before it does.
    if (written != text.size() || !closed || !holdsBytes(temporary, expected)) {
        DeleteFileW(wide(temporary));
        return SETTINGS_E_FILE_WRITE;
    }
    if (!replaceWith(path.utf16, temporary)) {
        DeleteFileW(wide(temporary));
        return SETTINGS_E_FILE_OPEN;
    }
    return SETTINGS_OK;
}

int replaceWithFile(const CanonicalPath& target, const CanonicalPath& source) {
    return replaceWith(target.utf16, extendedLength(source.utf16)) ? SETTINGS_OK
                                                                   : SETTINGS_E_FILE_OPEN;
}

bool readSecurity(const CanonicalPath& path, settings::FileSecurity& security) {
    const ScopedKernelHandle file(CreateFileW(
        wide(path.utf16), READ_CONTROL, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) return false;
    PSID owner = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetSecurityInfo(file.get(), SE_FILE_OBJECT,
                        OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner, nullptr,
                        &dacl, nullptr, &descriptor) != ERROR_SUCCESS) {
        return false;
    }
    const ScopedLocalMemory ownedDescriptor(descriptor);
    settings::FileSecurity result;
    result.ownerSid = sidText(owner);
    result.hasAccessList = dacl != nullptr;
    for (DWORD index = 0; dacl != nullptr && index < dacl->AceCount; ++index) {
        void* ace = nullptr;
        if (!GetAce(dacl, index, &ace)) return false;
        const auto* header = static_cast<const ACE_HEADER*>(ace);
        // Every kind of entry has its rights right after the header.
        const auto* basic = static_cast<const ACCESS_ALLOWED_ACE*>(ace);
        settings::FileAccessEntry entry;
        entry.allows = !deniesAccess(header->AceType);
        entry.inheritOnly = (header->AceFlags & INHERIT_ONLY_ACE) != 0;
        entry.rights = basic->Mask;
        if (sidFollowsRights(header->AceType)) {
            entry.sid = sidText(const_cast<DWORD*>(&basic->SidStart));
        }
        result.accessList.push_back(std::move(entry));
    }
    security = std::move(result);
    return true;
}

bool removeFile(const CanonicalPath& path) { return DeleteFileW(wide(path.utf16)) != 0; }

}  // namespace settings_impl::fs
