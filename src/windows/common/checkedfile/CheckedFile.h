// Files and folders below a folder that other users can change (the user's data folders, TEMP,
// ProgramData). A name there may have been replaced by a link to any file of the machine, and an
// elevated program that deletes or changes it by name acts on the link's target. So such an
// entry is opened first, the path the system resolved for the handle (its final path) is
// compared with the path expected, and only then is anything done, through that handle.
//
// The comparison is what detects a link: Wine reports the reparse attribute only for links to
// folders and follows links even when asked to open the link itself, so neither may be relied
// on; a link on any component of the path shows in the final path on Windows and Wine alike.
#pragma once

#include <windows.h>

#include <string>

#include "ScopedHandle.h"

namespace checked_file {

// ERROR_STOPPED_ON_SYMLINK, which MinGW's headers do not define: the code for an entry whose
// final path is not the one expected.
constexpr DWORD kStoppedOnLink = 681;

// An open file or folder with its final path, or the reason there is none.
struct Opened {
    ScopedKernelHandle handle;
    // "\\?\C:\..." as the system resolved it; also set when the open was refused because it
    // differs from the path expected.
    std::wstring finalPath;
    // ERROR_SUCCESS with a handle; otherwise the system's code for the open, or
    // kStoppedOnLink when the final path is not the one expected (no handle then).
    DWORD error = ERROR_SUCCESS;
};

// What deleteThroughHandle needs: the delete itself and the attributes, to read and clear the
// read-only one.
constexpr DWORD kDeleteAccess = DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES;

// The final path of an open file or folder; empty when the system cannot tell (the thread's last
// error says why).
std::wstring finalPath(HANDLE handle);

// True when two final paths name the same place: the file systems of Windows compare names
// without regard to case.
bool sameFinalPath(const std::wstring& a, const std::wstring& b);

// Opens an existing folder to learn its final path (the base of the checks below). Others may
// go on using, renaming or deleting it.
Opened openFolder(const std::wstring& path);

// Opens the existing entry (file or folder) `name` of the folder at `folderPath`, whose final
// path is `folderFinalPath`, with `access` and `share`, and checks that its final path is
// `folderFinalPath` + "\" + `name`: a link in the entry's place, to wherever, is refused.
Opened openInFolder(const std::wstring& folderPath, const std::wstring& folderFinalPath,
                    const std::wstring& name, DWORD access, DWORD share);

// ---- Folders held until the process ends ----
//
// A folder held open without delete sharing cannot be renamed, moved or deleted, so no other
// folder or link can take its place. Holding every folder from a root down to where the files
// go keeps the whole path fixed; holding only the last would not, as its parent could be moved
// aside with it. The holds have FILE_LIST_DIRECTORY access: a handle with attribute access only
// takes no part in the sharing checks of Windows. They are never released; the system closes
// them when the process ends.

// Where holdFolders stopped: the folder as the caller's path names it and, for a link, where it
// leads (empty for a link to nothing).
struct Stop {
    std::wstring path;
    std::wstring finalPath;
};

// Holds the folder `root`, which may itself be a link (its own final path is the base of the
// checks below it; with `createRoot` it is created first when missing), and below it each
// folder of `below` ("A\B\C"), in turn: a missing one is created, then it is opened, held and
// its final path compared with its parent's final path and its name, before anything is created
// in it. Folders held already are taken as they are. ERROR_SUCCESS, or the code of the first
// folder that cannot be had (kStoppedOnLink for a link, ERROR_PATH_NOT_FOUND for a file in a
// folder's place), with `stop` telling which.
DWORD holdFolders(const std::wstring& root, const std::wstring& below, bool createRoot, Stop& stop);

// Creates the file `name` in the folder at `folderPath` with CREATE_NEW or, when the name
// exists, opens it with OPEN_EXISTING and checks its final path; with `truncate` a file that was
// there is emptied through the handle after the check. Nothing is created or truncated through
// a link: a link in the name's place, a dangling one included, gives kStoppedOnLink (finalPath
// tells where it leads, empty for nowhere). The folder is one that holdFolders held; a folder
// not held yet is held as a root.
Opened createOrOpenFile(const std::wstring& folderPath, const std::wstring& name, DWORD access,
                        DWORD share, bool truncate);

// Opens the existing entry `name` of the folder at `folderPath` as openInFolder does, the
// folder held as for createOrOpenFile.
Opened openInHeldFolder(const std::wstring& folderPath, const std::wstring& name, DWORD access,
                        DWORD share);

// Whether `path`, which an open has just reported missing, is a link that leads nowhere: a
// name that exists for a create. Tried with a create that fails on any existing name; a file it
// makes is deleted again when its handle closes.
bool leadsNowhere(const std::wstring& path);

// The folder and the name of a full path, split at its last '\'; false when it has none.
bool splitPath(const std::wstring& path, std::wstring& folder, std::wstring& name);

// A final path for people: without the "\\?\" prefix ("\\?\UNC\server" becomes "\\server").
std::wstring displayPath(const std::wstring& finalPath);

// Text of the ANSI code page (the launcher's paths) as UTF-16; empty when it is not valid there.
std::wstring widenAnsi(const std::string& text);
// UTF-16 in the ANSI code page, for the log's records: characters outside it are replaced.
std::string narrowForLog(const std::wstring& text);

// Deletes the file or empty folder through a handle opened with kDeleteAccess. A read-only
// attribute is cleared first, and put back when the delete is refused, so that a refusal
// leaves the entry as it was. ERROR_SUCCESS, or the system's code (ERROR_DIR_NOT_EMPTY for a
// folder that holds entries). The name goes when the last handle to it is closed.
DWORD deleteThroughHandle(HANDLE handle);

}  // namespace checked_file
