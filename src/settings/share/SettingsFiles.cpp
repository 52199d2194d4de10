#include "SettingsFiles.h"

#include <exception>

#include "CanonicalPath.h"
#include "SettingsFileSystem.h"

namespace settings {

bool removeFile(const char* utf8Path) {
    if (utf8Path == nullptr || *utf8Path == '\0') {
        return false;
    }
    try {
        return settings_impl::fs::removeFile(settings_impl::makeCanonicalPath(utf8Path));
    } catch (const std::exception&) {
        // A path the store refuses names no file it could have written.
        return false;
    }
}

}  // namespace settings
