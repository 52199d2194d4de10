// The launcher's shared routines over Windows: the environment probes, the payload writer, the
// removal of a prior install of the same version and the follow-up installs of the public
// runtime and the updater. Their decisions are the plain functions of LauncherLogic.h.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "SettingsFilePlace.h"

// Process-wide state of one run. The main sequence fills it; the follow-ups read it.
struct RunState {
    HINSTANCE module = nullptr;
    uint16_t installLanguage = 1033;
    // Full path of msiexec.exe, in the ANSI code page.
    std::string msiexecPath;
    // The public runtime's folder ("/INSTALLDIRPUBCRE"), in the ANSI code page; empty when unset.
    std::string publicRuntimeFolder;
    bool rebootSuppressed = false;
    // Product codes that msiexec uninstalled during this run, in order.
    std::vector<std::string> removedProducts;
};
RunState& runState();

// True when the launcher is the 64-bit flavour (architecture name "amd64").
bool IsX64Flavour();
// True when the launcher's product keys are read in the 64-bit registry view.
bool UsesRegistryView64();

// ---- Text in the ANSI code page ----

// Converts text of the ANSI code page to UTF-8. False for bytes that are not valid there.
bool AnsiToUtf8(const std::string& ansi, std::string& utf8);
// Converts UTF-8 text to the ANSI code page. False when a character cannot be represented
// exactly (no best-fit substitutes) or the text is not valid UTF-8.
bool Utf8ToAnsi(const std::string& utf8, std::string& ansi);

// ---- Probes ----

uint16_t DetectInstallLanguage();
bool IsSupportedInstallLanguage(uint16_t language);
// msi.dll of the system directory is at least 2.0.2600.0. The version's upper 32 bits go to
// versionOut when given.
bool IsWindowsInstallerPresent(DWORD* versionOut = nullptr);
// Full path of msiexec.exe: the system directory on Windows Server 2003, elsewhere the folder the
// installer registered. False when it cannot be found or would not fit `capacity` characters
// (terminator included); the path is never cut.
bool FindMsiexecPath(std::string& path, std::size_t capacity);
// "<user data>\Halvard\Corvid\CORVID_INSTALL_FLAG", creating its folders.
bool GetInstallFlagPath(std::string& path, std::size_t capacity);
bool IsInstallInProgress();
// Takes the in-progress flag file; the handle is held until the process ends.
bool SetInstallInProgressFlag();

// ---- Payload ----

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
// one is given; a code of 0 never leaves as exit code 0. The cleanup set with
// SetFatalExitCleanup runs first.
[[noreturn]] void ShowFatalErrorAndExit(const char* step, DWORD code = 0);
// What a fatal exit undoes before it ends the process (the main sequence sets the restore of
// the runtime settings file once it has written that file); null for nothing.
void SetFatalExitCleanup(void (*cleanup)());
// Takes the cleanup, so that it runs at most once, from whichever thread gets to it first;
// null when none is set or it was taken.
void (*TakeFatalExitCleanup())();
// Takes the cleanup and runs it; an exception it throws is logged and goes no further.
void RunFatalExitCleanup();
// The fatal payload message: "<step> failed with error <code>: <system text>", the system text
// with its line break, or "No description available" for a code the system has no text for.
std::string FatalErrorText(const char* step, DWORD code);
// The exit code of a fatal payload error: the system error code, never 0.
DWORD FatalExitCode(DWORD code);
// Runs `run` and returns its result; an exception that escapes it is written to the log and
// gives `failureCode` instead, so that no error ends the launcher as a crash.
int RunReportingExceptions(const std::function<int()>& run, int failureCode);
// Runs the steps that build the objects existing before the entry point. An exception that
// leaves them is kept for RunLauncher, with `storeFailureCode` when the settings store threw it
// and `failureCode` otherwise, instead of leaving static initialisation, which would end the
// program without a word.
void RunStartupSteps(const std::function<void()>& steps, int storeFailureCode, int failureCode);
// The entry point's run: after a failed start-up, its exception is logged (the log's path is set
// by then) and its code returned, with no message box, since silent mode is not known; otherwise
// `run` through RunReportingExceptions.
int RunLauncher(const std::function<int()>& run, int failureCode);
// Forgets a start-up failure kept by RunStartupSteps (for tests).
void ClearStartupFailure();
// The user's data folder (getUserAppDataDir) for the launcher's files; empty when the system has
// none. A folder whose path the ANSI code page carries neither as it is nor by its short form
// ends the process through ShowFatalErrorAndExit with ERROR_NO_UNICODE_TRANSLATION.
std::string UserDataFolder();
// Holds the user's folder `root` (a system folder, which may be a link; created first with
// `createRoot`) and each folder of `below` ("A\B") down from it, creating missing ones, each
// checked to be no link before anything is created in it and held until the process ends (see
// CheckedFile.h). ERROR_SUCCESS, or the code of the folder that cannot be had
// (checked_file::kStoppedOnLink for a link), with a log record that names it and says why.
DWORD HoldUserFolders(const std::string& root, const std::string& below, bool createRoot);
// The log record of a path refused because it is a link: where it leads (`finalPath`, as the
// system resolved it), or that it leads nowhere (empty), and what is not done through it.
void LogLinkRefused(const std::string& path, const std::wstring& finalPath,
                    const char* refused = "nothing is created or written through it");
// The checks of the runtime settings file's path below ProgramData (see SettingsFilePlace.h),
// made with the checked file access of the user-writable folders. Process-wide.
SettingsFilePlace& CheckedSettingsFilePlace();

// ---- Prior-install detection and removal ----

// 1 when the install may go on, 0 when it must stop.
int UninstallCREOrCDKIfSameVersionExists();
bool IsSameOrOlderBuildInstalled(const char* version, bool kit);
bool UninstallExistingCDK(const char* version);
// 0 when every registered runtime of the version family was uninstalled (or none was);
// otherwise the exit code of the last uninstall that failed.
int UninstallCREIfSameOrOlderBuild(const char* version, bool staticAllowed);
bool IsStaticCreInstalled(const char* version, bool view64);
bool IsProductRegisteredForUninstall(const std::string& productCode, bool view64);
int RunMsiexecUninstall(const std::string& productCode, const char* version, bool quiet,
                        const char* extra);

// ---- Follow-up installs ----

void InstallPublicCre();
bool FindCDKHome(std::string& folder);
int InstallUpdaterComponent(HINSTANCE module, bool autoUpdate);
int InstallAutoUpdate(const std::string& databasePath, bool autoUpdate);
bool ReadAUVersion(std::string& version);
bool IsInstalledAUOlder();
bool IsAUUpgradable();
bool IsAUOlderThanCdk6();
void UninstallOldUpdater();
