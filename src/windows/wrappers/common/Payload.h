// Writing the payload resources to files in folders held against links, and the fatal exit
// when that fails, with the run's state it reads.
#pragma once

#include <windows.h>

#include <string>

#include "LauncherPorts.h"

// The state of this process's run. The main sequence fills it; the fatal exit reads it from
// whichever thread ends the run.
launcher::RunState& runState();

// Writes resource (id, type) of the module to the file, in a folder that HoldUserFolders held:
// 1 when written, 0 when the module has no such resource. A new file is created with CREATE_NEW;
// one that is there is written only when its final path is its path (never through a link:
// ERROR_STOPPED_ON_SYMLINK, 681) and emptied first. The file is written in pieces of 8192 bytes
// straight from the mapped resource, then reopened for reading with read sharing only, compared
// with the resource and held open until the process ends, so that no other process can change or
// replace it while the installers read it. Any failure after the resource was found ends the
// process through ShowFatalErrorAndExit.
int WriteResourceToFile(HINSTANCE module, int id, const char* type, const std::string& path);
// Shows "<step>failed with error <code>: <system text>" under the caption "Error" (also in
// silent runs) and ends the process with the code. The code is the thread's last error unless
// one is given; a code of 0 never leaves as exit code 0. The cleanup armed in the run's state
// runs first.
[[noreturn]] void ShowFatalErrorAndExit(const char* step, DWORD code = 0);
// The fatal payload message: "<step> failed with error <code>: <system text>", the system text
// with its line break, or "No description available" for a code the system has no text for.
std::string FatalErrorText(const char* step, DWORD code);
// The exit code of a fatal payload error: the system error code, never 0.
DWORD FatalExitCode(DWORD code);
// The user's data folder (getUserAppDataDir) for the launcher's files; empty when the system has
// none. A folder whose path the ANSI code page carries neither as it is nor by its short form
// ends the process through ShowFatalErrorAndExit with ERROR_NO_UNICODE_TRANSLATION.
std::string UserDataFolder();
// Holds the user's folder `root` (a system folder, which may be a link; created first with
// `createRoot`) and each folder of `below` ("A\B") down from it, creating missing ones, each
// checked to be no link before anything is created in it and held until the process ends (see
// CheckedFile.h). A folder that cannot be had fails with its code (checked_file::kStoppedOnLink
// for a link) and a log record that names it and says why.
launcher::Status HoldUserFolders(const std::string& root, const std::string& below,
                                 bool createRoot);
// The log record of a path refused because it is a link: where it leads (`finalPath`, as the
// system resolved it), or that it leads nowhere (empty), and what is not done through it.
void LogLinkRefused(const std::string& path, const std::wstring& finalPath,
                    const char* refused = "nothing is created or written through it");
