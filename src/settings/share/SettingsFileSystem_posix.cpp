// Host builds: drive letters name host folders chosen through SettingsTestSupport.h; text mode
// stores line feeds as they are.
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <map>
#include <vector>

#include "SettingsFileSystem.h"
#include "settings.h"
#include "SettingsTestSupport.h"
#include "Text.h"

namespace settings_impl {

namespace {

struct HostState {
    std::map<char, std::string> drives;
    std::u16string commonAppData = u"C:\\ProgramData";
    bool commonAppDataAvailable = true;
    std::string currentDirectory;
    std::map<std::string, settings::FileSecurity> security;
};

HostState& state() {
    static HostState instance;
    return instance;
}

// Drive letters are kept upper-case: the current directory is reported with them.
char driveKey(char letter) { return cdk_text::asciiUpper(letter); }

}  // namespace

namespace host {

void mapDrive(char letter, const std::string& hostFolder) {
    if (hostFolder.empty()) {
        state().drives.erase(driveKey(letter));
    } else {
        state().drives[driveKey(letter)] = hostFolder;
    }
}

void clearDriveMappings() { state().drives.clear(); }

void setCommonAppDataFolder(const std::u16string& folder, bool available) {
    state().commonAppData = folder;
    state().commonAppDataAvailable = available;
}

void setCurrentDirectory(const std::string& directory) { state().currentDirectory = directory; }

void setFileSecurity(const std::string& hostFile, const settings::FileSecurity& security) {
    state().security[hostFile] = security;
}

void clearFileSecurity() { state().security.clear(); }

std::string hostPath(const std::string& canonicalPath) {
    if (canonicalPath.size() < 2 || canonicalPath[1] != ':') return std::string();
    const auto it = state().drives.find(driveKey(canonicalPath[0]));
    if (it == state().drives.end()) return std::string();
    return it->second + canonicalPath.substr(2);
}

}  // namespace host

namespace fs {

std::FILE* openForBinaryRead(const CanonicalPath& path) {
    const std::string target = host::hostPath(path.utf8);
    if (target.empty()) return nullptr;
    return std::fopen(target.c_str(), "rb");
}

FolderResult ensureFolder(const CanonicalPath& path) {
    const std::string target = host::hostPath(path.utf8);
    if (target.empty()) return FolderResult::Failed;
    struct stat info {};
    if (::stat(target.c_str(), &info) == 0) return FolderResult::Exists;
    if (::mkdir(target.c_str(), 0777) == 0) return FolderResult::Created;
    return errno == EEXIST ? FolderResult::Exists : FolderResult::Failed;
}

bool currentDirectory(std::string& out) {
    if (!state().currentDirectory.empty()) {
        out = state().currentDirectory;
        return true;
    }
    std::vector<char> buffer(4096);
    if (::getcwd(buffer.data(), buffer.size()) == nullptr) return false;
    const std::string cwd(buffer.data());
    for (const auto& [letter, folder] : state().drives) {
        if (cwd == folder || (cwd.starts_with(folder) && cwd[folder.size()] == '/')) {
            out = std::string(1, letter) + ":" + cwd.substr(folder.size());
            if (out.size() == 2) out += '/';
            return true;
        }
    }
    return false;
}

bool commonAppDataFolder(std::u16string& out) {
    if (!state().commonAppDataAvailable) return false;
    out = state().commonAppData;
    return true;
}

int replaceFileContents(const CanonicalPath& path, std::string_view text, WriteMode) {
    // POSIX files have no text mode: both modes write the bytes as they are.
    const std::string target = host::hostPath(path.utf8);
    if (target.empty()) return SETTINGS_E_FILE_OPEN;

    static std::atomic<unsigned> counter{0};
    std::string temporary;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temporary = target + ".~" + std::to_string(::getpid()) + "-" +
                    std::to_string(counter.fetch_add(1)) + ".tmp";
        fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) return SETTINGS_E_FILE_OPEN;

    // Keep the permissions of the file being replaced.
    struct stat existing {};
    if (::stat(target.c_str(), &existing) == 0) ::fchmod(fd, existing.st_mode & 07777);

    std::size_t written = 0;
    while (written < text.size()) {
        const ssize_t n = ::write(fd, text.data() + written, text.size() - written);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        written += static_cast<std::size_t>(n);
    }
    const bool closed = ::close(fd) == 0;
    if (written != text.size() || !closed) {
        ::unlink(temporary.c_str());
        return SETTINGS_E_FILE_WRITE;
    }
    if (::rename(temporary.c_str(), target.c_str()) != 0) {
        ::unlink(temporary.c_str());
        return SETTINGS_E_FILE_OPEN;
    }
    return SETTINGS_OK;
}

int replaceWithFile(const CanonicalPath& target, const CanonicalPath& source) {
    const std::string to = host::hostPath(target.utf8);
    const std::string from = host::hostPath(source.utf8);
    if (to.empty() || from.empty()) return SETTINGS_E_FILE_OPEN;
    return ::rename(from.c_str(), to.c_str()) == 0 ? SETTINGS_OK : SETTINGS_E_FILE_OPEN;
}

bool readSecurity(const CanonicalPath& path, settings::FileSecurity& security) {
    const std::string target = host::hostPath(path.utf8);
    struct stat info {};
    if (target.empty() || ::stat(target.c_str(), &info) != 0) return false;
    const auto it = state().security.find(target);
    if (it != state().security.end()) {
        security = it->second;
        return true;
    }
    constexpr std::uint32_t kFullControl = 0x1F01FF;
    constexpr std::uint32_t kReadAndExecute = 0x1200A9;
    security = settings::FileSecurity{"S-1-5-32-544",
                                      true,
                                      {{true, false, "S-1-5-18", kFullControl},
                                       {true, false, "S-1-5-32-544", kFullControl},
                                       {true, false, "S-1-5-32-545", kReadAndExecute}}};
    return true;
}

bool removeFile(const CanonicalPath& path) {
    const std::string target = host::hostPath(path.utf8);
    return !target.empty() && ::unlink(target.c_str()) == 0;
}

}  // namespace fs

}  // namespace settings_impl
