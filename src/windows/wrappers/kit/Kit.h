// The launcher program: its main sequence and the extraction of the kit's payload.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

// Exit codes of the launcher's own. Any other exit code is msiexec's, passed through.
enum LauncherExitCode : int {
    EXIT_CONFIG_FAILED = -80,         // the install options could not be loaded or read
    EXIT_CONFIG_EXPORT_FAILED = -81,  // the runtime settings file could not be written
    EXIT_COMMAND_TOO_LONG = -82,      // an msiexec command line exceeds what Windows accepts
    EXIT_UNEXPECTED_EXCEPTION = -83,  // an error that no step handled
    EXIT_MSIEXEC_NOT_FOUND = -3,
    EXIT_NO_WINDOWS_INSTALLER = -2,
    EXIT_REFUSED = -1,  // another install runs, the flag failed, or removal failed
    EXIT_NO_KIT_DATABASE = 1,
};

// The kit database's path in the working folder, creating the folders on the way:
// "<user data>\Halvard\Corvid\cdk<version>[_x64]\cdk<version>.msi". A path of 260 characters or
// more ends the process through the fatal payload error (206).
std::string BuildMsiPath(bool x64);
// "<working folder>\<base name>.cab", creating the folders below the user's data folder.
std::string BuildCabinetPath(const char* baseName, bool x64);

// The event the kit's installer database waits on until every cabinet is written; null on
// failure. Manual reset and not set when returned: an event of that name that exists already is
// reset.
HANDLE CreateCabinetEvent();
// Sets the event: 1 when set, 0 when no handle could be had.
int SignalCabinetsReady();
// The extraction thread: writes the four cabinets in their order, then sets the event.
DWORD WINAPI CabinetExtractionThread(LPVOID module);

// Appends the INSTALLDIR property for `folder` to `command`.
void AppendInstallDirProperty(std::string& command, const std::string& folder);
// Reads a text value under HKLM "Software\Tarnwell"; true only when it is read and not empty.
bool ReadProductRootValue(const char* name, std::string& value);
// Deletes "InstallStatus" under HKLM "Software\Tarnwell", and the key when nothing is left in it.
void ClearInstallStatus();
// The runtime of this version is registered under HKLM.
bool IsSameVersionCreRegistered();

// The whole run, from the loaded options to the exit code. The arguments are the runtime's wide
// argument vector.
int RunMainSequence(HINSTANCE module, int argc, wchar_t** argv);
