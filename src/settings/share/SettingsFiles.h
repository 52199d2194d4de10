// File operations on settings files for the store's client, with paths in the store's own form
// (UTF-8, made canonical against the current directory before any file is touched).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

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

// One entry of a file's access list: whether it allows or denies, whether it only passes on to
// files created below (and so does not apply to this file), the account's SID in text form
// ("S-1-5-32-544"; empty when the entry is of a kind whose account is not read) and the rights.
struct FileAccessEntry {
    bool allows = true;
    bool inheritOnly = false;
    std::string sid;
    std::uint32_t rights = 0;
};

// Who owns a settings file and who may do what with it.
struct FileSecurity {
    std::string ownerSid;
    // False for a file without an access list, which grants everyone every right.
    bool hasAccessList = false;
    std::vector<FileAccessEntry> accessList;
};

// Reads the owner and the access list of the settings file at `utf8Path`. False when the path
// is not acceptable or the file or its security cannot be read.
bool readFileSecurity(const char* utf8Path, FileSecurity& security);

// Every file the store writes is given the Administrators group as its owner before it takes
// the target's place, as Windows does for a file an elevated administrator creates. A failure
// to do so does not fail the write: the store reports it to this handler (path and system error
// code), if one is set.
using OwnerFailureHandler = void (*)(const char* utf8Path, unsigned long systemError);
void setOwnerFailureHandler(OwnerFailureHandler handler);

// Deletes the settings file at `utf8Path`. False when the path is not acceptable or the file
// could not be deleted (an absent file included).
bool removeFile(const char* utf8Path);

}  // namespace settings
