// File operations on settings files for the store's client, with paths in the store's own form
// (UTF-8, made canonical against the current directory before any file is touched).
#pragma once

namespace settings {

// Deletes the settings file at `utf8Path`. False when the path is not acceptable or the file
// could not be deleted (an absent file included).
bool removeFile(const char* utf8Path);

}  // namespace settings
