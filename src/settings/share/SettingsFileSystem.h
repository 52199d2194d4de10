// The few file-system calls of the settings store. One file per platform implements them:
// SettingsFileSystem_win32.cpp (wide-character Win32 and CRT calls) and
// SettingsFileSystem_posix.cpp (drive letters mapped to host folders).
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

#include "CanonicalPath.h"
#include "SettingsFiles.h"

namespace settings_impl::fs {

// Opens an existing file for binary reading; null when it cannot be opened.
std::FILE* openForBinaryRead(const CanonicalPath& path);

enum class FolderResult { Exists, Created, Failed };
// Creates the folder unless it exists already.
FolderResult ensureFolder(const CanonicalPath& path);

// The current working directory as UTF-8 text; false when it is not available.
bool currentDirectory(std::string& out);

// The folder for application data shared by all users; false when it is not available.
bool commonAppDataFolder(std::u16string& out);

// Stores `text` in the file in text mode so that a failure never leaves a damaged file: the text
// goes to a new file beside the target first, which then replaces the target. Returns
// SETTINGS_OK, SETTINGS_E_FILE_OPEN (a file cannot be opened, created or replaced) or
// SETTINGS_E_FILE_WRITE (the write was incomplete). On failure the target is unchanged and the
// temporary file is removed.
// How replaceFileContents stores the text: text mode turns every line feed into the platform's
// line end, binary mode writes the bytes as they are.
enum class WriteMode { Text, Binary };
int replaceFileContents(const CanonicalPath& path, std::string_view text,
                        WriteMode mode = WriteMode::Text);

// Puts the finished file `source` in the place of `target` in one step: an existing target is
// replaced in place (its attributes and security stay), a missing one is created by the move.
// SETTINGS_OK, or SETTINGS_E_FILE_OPEN with both files as they were.
int replaceWithFile(const CanonicalPath& target, const CanonicalPath& source);

// The owner and access list of a file; false when they cannot be read.
bool readSecurity(const CanonicalPath& path, settings::FileSecurity& security);

// The handler that replaceFileContents tells when it could not make the Administrators group
// the owner of the file it wrote.
void reportOwnerFailure(const CanonicalPath& path, unsigned long systemError);

// Deletes a file; false when it could not be deleted (an absent file included).
bool removeFile(const CanonicalPath& path);

}  // namespace settings_impl::fs
