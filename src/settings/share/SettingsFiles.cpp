#include "SettingsFiles.h"

#include <atomic>
#include <cstdio>
#include <exception>
#include <string>
#include <utility>

#include "CanonicalPath.h"
#include "PlainTextParser.h"
#include "SettingsFileSystem.h"
#include "settings.h"

namespace settings {

namespace {

// A path the store refuses names no file it could have written.
bool canonical(const char* utf8Path, settings_impl::CanonicalPath& out) {
    if (utf8Path == nullptr || *utf8Path == '\0') {
        return false;
    }
    try {
        out = settings_impl::makeCanonicalPath(utf8Path);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

std::atomic<OwnerFailureHandler> ownerFailureHandler{nullptr};

}  // namespace

bool readFileSecurity(const char* utf8Path, FileSecurity& security) {
    settings_impl::CanonicalPath path;
    return canonical(utf8Path, path) && settings_impl::fs::readSecurity(path, security);
}

void setOwnerFailureHandler(OwnerFailureHandler handler) { ownerFailureHandler = handler; }

bool removeFile(const char* utf8Path) {
    settings_impl::CanonicalPath path;
    return canonical(utf8Path, path) && settings_impl::fs::removeFile(path);
}

bool readFileBytes(const char* utf8Path, std::string& bytes) {
    settings_impl::CanonicalPath path;
    if (!canonical(utf8Path, path)) {
        return false;
    }
    std::FILE* file = settings_impl::fs::openForBinaryRead(path);
    if (file == nullptr) {
        return false;
    }
    // Read in pieces up to the store's limit: a file of a few lines costs a few lines, not a
    // zeroed buffer of the largest file the store takes.
    std::string content;
    char piece[4096];
    std::size_t read = 0;
    while (content.size() < settings_impl::kMaxFileBytes &&
           (read = std::fread(piece, 1, sizeof piece, file)) > 0) {
        content.append(piece, read);
    }
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed || content.size() > settings_impl::kMaxFileBytes - 1) {
        return false;
    }
    bytes = std::move(content);
    return true;
}

int replaceFileBytes(const char* utf8Path, std::string_view bytes) {
    settings_impl::CanonicalPath path;
    if (!canonical(utf8Path, path)) {
        return SETTINGS_E_PATH_INVALID;
    }
    try {
        return settings_impl::fs::replaceFileContents(path, bytes,
                                                      settings_impl::fs::WriteMode::Binary);
    } catch (const std::exception&) {
        return SETTINGS_E_UNEXPECTED;
    }
}

int replaceFileWith(const char* utf8Target, const char* utf8Source) {
    settings_impl::CanonicalPath target;
    settings_impl::CanonicalPath source;
    if (!canonical(utf8Target, target) || !canonical(utf8Source, source)) {
        return SETTINGS_E_PATH_INVALID;
    }
    return settings_impl::fs::replaceWithFile(target, source);
}

}  // namespace settings

namespace settings_impl::fs {

void reportOwnerFailure(const CanonicalPath& path, unsigned long systemError) {
    if (const settings::OwnerFailureHandler handler = settings::ownerFailureHandler.load()) {
        handler(path.utf8.c_str(), systemError);
    }
}

}  // namespace settings_impl::fs
