#include "CanonicalPath.h"

#include <stdexcept>

#include "SettingsException.h"
#include "SettingsFileSystem.h"
#include "Text.h"
#include "Utf8.h"

namespace settings_impl {

namespace {

bool isSeparator(char c) { return c == '/' || c == '\\'; }

// Calls visit(part) for each part of the text between "\" and "/", without the empty and "."
// ones.
template <class Visit>
void forEachComponent(std::string_view text, Visit&& visit) {
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = start;
        while (end < text.size() && !isSeparator(text[end])) ++end;
        const std::string_view part = text.substr(start, end - start);
        if (!part.empty() && part != ".") visit(part);
        start = end + 1;
    }
}

std::vector<std::string> splitComponents(std::string_view text) {
    std::vector<std::string> components;
    forEachComponent(text, [&](std::string_view part) { components.emplace_back(part); });
    return components;
}

// The checks of checkPathText; visit(part) is called for each component when the text is UTF-8
// and short enough.
template <class Visit>
int checkComponents(std::string_view text, Visit&& visit) {
    if (!isValidUtf8(text)) return SETTINGS_E_PATH_NOT_UTF8;
    if (text.size() >= kMaxPathBytes) return SETTINGS_E_PATH_TOO_LONG;
    int status = SETTINGS_OK;
    bool first = true;
    forEachComponent(text, [&](std::string_view part) {
        visit(part);
        if (!(first && isDriveComponent(part)) && !isAllowedComponent(part)) {
            status = SETTINGS_E_PATH_INVALID;
        }
        first = false;
    });
    return status;
}

std::string joinComponents(const std::vector<std::string>& components) {
    std::string joined;
    for (std::size_t i = 0; i < components.size(); ++i) {
        if (i > 0) joined.push_back('/');
        joined += components[i];
    }
    return joined;
}

void throwIfFailed(int code) {
    if (code != SETTINGS_OK) throw settings::Exception(code);
}

CanonicalPath fromComponents(std::vector<std::string> components) {
    CanonicalPath path;
    path.utf8 = joinComponents(components);
    if (!cdk_text::utf8ToUtf16(path.utf8, path.utf16))
        throw settings::Exception(SETTINGS_E_UNEXPECTED);
    path.components = std::move(components);
    path.canonical = true;
    return path;
}

}  // namespace

bool isDriveComponent(std::string_view component) {
    return component.size() == 2 && component[1] == ':' &&
           ((component[0] >= 'A' && component[0] <= 'Z') ||
            (component[0] >= 'a' && component[0] <= 'z'));
}

bool isAllowedComponent(std::string_view component) {
    static constexpr std::string_view kDevices[] = {
        "CON",  "PRN",  "AUX",  "NUL",  "COM1", "COM2", "COM3", "COM4", "COM5", "COM6", "COM7",
        "COM8", "COM9", "LPT1", "LPT2", "LPT3", "LPT4", "LPT5", "LPT6", "LPT7", "LPT8", "LPT9"};
    for (std::string_view device : kDevices) {
        if (component == device) return false;
    }
    for (char c : component) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20) return false;
        switch (c) {
            case '<':
            case '>':
            case ':':
            case '"':
            case '|':
            case '?':
            case '*':
            case '/':
            case '\\':
                return false;
            default:
                break;
        }
    }
    return true;
}

int checkPathText(std::string_view text, std::vector<std::string>& components) {
    components.clear();
    return checkComponents(text, [&](std::string_view part) { components.emplace_back(part); });
}

int checkPathText(std::string_view text, std::string_view& first) {
    first = std::string_view();
    bool seen = false;
    return checkComponents(text, [&](std::string_view part) {
        if (!seen) first = part;
        seen = true;
    });
}

CanonicalPath makeCanonicalPath(std::string_view text) {
    std::vector<std::string> components;
    throwIfFailed(checkPathText(text, components));
    if (components.empty()) throw settings::Exception(SETTINGS_E_PATH_INVALID);

    std::vector<std::string> full;
    if (!isDriveComponent(components.front())) {
        std::string current;
        if (!fs::currentDirectory(current)) throw settings::Exception(SETTINGS_E_UNEXPECTED);
        std::vector<std::string> base = splitComponents(current);
        if (base.empty() || !isDriveComponent(base.front()))
            throw settings::Exception(SETTINGS_E_UNEXPECTED);
        full = std::move(base);
    }
    full.insert(full.end(), components.begin(), components.end());

    // Resolve ".." from the left; the drive can never be climbed over.
    std::vector<std::string> resolved;
    resolved.reserve(full.size());
    for (std::string& component : full) {
        if (component == "..") {
            if (resolved.size() <= 1) throw settings::Exception(SETTINGS_E_PATH_INVALID);
            resolved.pop_back();
        } else {
            resolved.push_back(std::move(component));
        }
    }
    if (resolved.empty()) throw settings::Exception(SETTINGS_E_PATH_INVALID);

    // The result may have grown by the current directory: check it as a whole once more.
    std::vector<std::string> recheck;
    throwIfFailed(checkPathText(joinComponents(resolved), recheck));
    return fromComponents(std::move(resolved));
}

CanonicalPath canonicalPrefix(const CanonicalPath& path, std::size_t count) {
    std::vector<std::string> components(
        path.components.begin(), path.components.begin() + static_cast<std::ptrdiff_t>(count));
    return fromComponents(std::move(components));
}

void createParentFolders(const CanonicalPath& path) {
    if (!path.canonical || path.components.empty()) {
        throw std::logic_error("canonicalized file name expected");
    }
    // Components 1 .. n-2 are folders; the last one is the file itself.
    for (std::size_t count = 2; count < path.components.size(); ++count) {
        if (fs::ensureFolder(canonicalPrefix(path, count)) == fs::FolderResult::Failed) {
            throw settings::Exception(SETTINGS_E_PATH_INVALID);
        }
    }
}

}  // namespace settings_impl
