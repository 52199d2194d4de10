// Whether the runtime settings file may give options that end up on an msiexec command line.
// The launcher runs elevated, while any standard user can create that file (or its folder)
// first; such a file still gives its flags, but nothing an elevated msiexec takes as arguments.
#pragma once

#include <cstdint>
#include <string>

#include "SettingsFiles.h"

// Rights in an access list that let an account change what the file says: its text (write,
// append, and the generic forms), or its access list and owner, through which it can then give
// itself the former. Deleting the file is not among them: a file put in its place belongs to
// whoever created it, and its owner then decides.
inline constexpr std::uint32_t kRightsThatChangeTheFile = 0x00000002u     // FILE_WRITE_DATA
                                                          | 0x00000004u   // FILE_APPEND_DATA
                                                          | 0x00040000u   // WRITE_DAC
                                                          | 0x00080000u   // WRITE_OWNER
                                                          | 0x10000000u   // GENERIC_ALL
                                                          | 0x40000000u;  // GENERIC_WRITE

struct SettingsFileTrust {
    bool trusted = false;
    // Why the file is not trusted, for the log: "it is owned by S-1-5-21-..." and the like.
    std::string reason;
};

// Trusted when the owner is the Administrators group, SYSTEM or TrustedInstaller and no entry
// of the access list that applies to the file itself allows anyone else a right of
// kRightsThatChangeTheFile. A file without an access list lets everyone write it. Entries that
// deny are not weighed: they can only take rights away, so leaving them out errs on the side of
// distrust.
SettingsFileTrust judgeSettingsFile(const settings::FileSecurity& security);
