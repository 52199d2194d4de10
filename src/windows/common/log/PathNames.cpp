#include "PathNames.h"

#include "AllUtilsPlatform.h"
#include "Text.h"

std::string baseName(std::string_view path) {
    // Walk character by character: in a double-byte ANSI code page a trail byte can have the
    // value of '\', and must not be taken for a separator.
    size_t start = 0;
    for (size_t i = 0; i < path.size();) {
        const size_t length = cdk_text::characterLength(path, i, cdk_text::isAnsiLeadByte);
        if (length == 1 && (path[i] == '/' || path[i] == '\\')) {
            start = i + 1;
        }
        i += length;
    }
    return std::string(path.substr(start));
}

std::string moduleBaseName() {
    const std::string full = allutils_platform::moduleFileName();
    if (full.empty()) {
        return "Unknown";
    }
    return baseName(full);
}

std::string tempDirectory() { return stripTrailingSeparator(allutils_platform::rawTempPath()); }

std::string stripTrailingSeparator(std::string path) {
    if (!path.empty() && (path.back() == '\\' || path.back() == '/')) {
        path.pop_back();
    }
    return path;
}

std::string joinPath(const std::string& directory, const std::string& name) {
    if (directory.empty()) {
        return name;
    }
    if (name.empty()) {
        return directory;
    }
    std::string result = stripTrailingSeparator(directory);
    result.push_back('\\');
    if (name.front() == '\\' || name.front() == '/') {
        result.append(name, 1, std::string::npos);
    } else {
        result.append(name);
    }
    return result;
}
