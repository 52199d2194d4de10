// The environment probes over Win32: the flavour, the install language, the Windows Installer
// engine, msiexec's location and the in-progress flag file.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>

// True when the launcher is the 64-bit flavour (architecture name "amd64").
bool IsX64Flavour();
// True when the launcher's product keys are read in the 64-bit registry view.
bool UsesRegistryView64();

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
