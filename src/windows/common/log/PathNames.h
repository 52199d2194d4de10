// The path pieces the log and the launcher build names from: base names, the temporary folder,
// separators.
#pragma once

#include <string>
#include <string_view>

// The part of a path after its last '/' or '\'; the whole path when it has neither.
std::string baseName(std::string_view path);
// The base name of the running program's file, or "Unknown".
std::string moduleBaseName();
// The user's temporary directory without a trailing separator; empty when unavailable.
std::string tempDirectory();
// Removes one trailing '\' or '/'.
std::string stripTrailingSeparator(std::string path);
// directory + "\" + name, with one separator between them; see the definition for empty parts.
std::string joinPath(const std::string& directory, const std::string& name);
