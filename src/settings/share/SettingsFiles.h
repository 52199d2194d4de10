// File operations on settings files for the store's client, with paths in the store's own form
// (UTF-8, made canonical against the current directory before any file is touched).
#pragma once

#include <string>
#include <string_view>

namespace settings {

// Reads the whole settings file at `utf8Path` as bytes. False when the path is not acceptable or
// the file cannot be read; files of 1 MiB or more are refused like an import refuses them.
bool readFileBytes(const char* utf8Path, std::string& bytes);

// Replaces the file at `utf8Path` with exactly `bytes`, through a temporary file beside it, so
// that a failure leaves the old file as it was. Returns a settings status.
int replaceFileBytes(const char* utf8Path, std::string_view bytes);

// Puts the finished file at `utf8Source` in the place of the file at `utf8Target` in one step
// (an existing target keeps its attributes and security). Returns a settings status; on failure
// both files are as they were.
int replaceFileWith(const char* utf8Target, const char* utf8Source);

// Deletes the settings file at `utf8Path`. False when the path is not acceptable or the file
// could not be deleted (an absent file included).
bool removeFile(const char* utf8Path);

}  // namespace settings
