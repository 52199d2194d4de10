// Paths of settings files: checking, making canonical ("C:/dir/file.cfg") and creating the
// folders above a file.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "PlatformLimits.h"

namespace settings_impl {

// Paths of this many bytes or more are refused.
inline constexpr std::size_t kMaxPathBytes = platform_limits::kMaxPathLength;

struct CanonicalPath {
    std::string utf8;                     // drive and components joined by "/"
    std::u16string utf16;                 // the same for the platform's wide file functions
    std::vector<std::string> components;  // components[0] is the drive ("C:")
    bool canonical = false;
};

// True for a drive component: an ASCII letter followed by ":".
bool isDriveComponent(std::string_view component);
// False for the device names CON, PRN, AUX, NUL, COM1..COM9, LPT1..LPT9 (exact case) and for
// components holding a control character or one of < > : " | ? * / \.
bool isAllowedComponent(std::string_view component);

// Checks a path text: SETTINGS_E_PATH_NOT_UTF8 when it is not UTF-8, SETTINGS_E_PATH_TOO_LONG
// when it has 260 bytes or more, SETTINGS_E_PATH_INVALID when a component (other than a leading
// drive) is not allowed; SETTINGS_OK when it passes. Fills `components` with the parts between
// "\" and "/" without the empty and "." ones.
int checkPathText(std::string_view text, std::vector<std::string>& components);
// The same checks without copying the components: `first` is set to the first one, a view into
// the text (empty when there is none). Allocates nothing.
int checkPathText(std::string_view text, std::string_view& first);

// Makes a path canonical: relative paths are taken against the current directory, ".." is
// resolved. Throws settings::Exception with the codes of checkPathText (SETTINGS_E_PATH_INVALID
// also for ".." above the root and for an empty path) or SETTINGS_E_UNEXPECTED (current
// directory unavailable or without a drive; conversion failure).
CanonicalPath makeCanonicalPath(std::string_view text);

// Creates every missing folder above the file (the drive is never created). Throws
// std::logic_error for a path that is not canonical and settings::Exception
// SETTINGS_E_PATH_INVALID when a folder cannot be created; folders created before the failure
// stay.
void createParentFolders(const CanonicalPath& path);

// A canonical path made of the first `count` components of `path`.
CanonicalPath canonicalPrefix(const CanonicalPath& path, std::size_t count);

}  // namespace settings_impl
