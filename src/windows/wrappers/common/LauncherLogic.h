// The launcher's decisions that need no operating system: command lines for msiexec, the
// install language, version parts and product codes, version and build-number comparison. The
// run's sequence, prior-install, follow-up and payload steps call these; host tests call them too.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "Languages.h"
#include "PlatformLimits.h"

namespace launcher {

// The 64-bit flavour is the build whose architecture name is "amd64" (any case).
bool isX64Architecture(std::string_view architectureName);

// Process creation takes command lines of at most 32,767 UTF-16 units with the terminating
// null, so this many without it.
inline constexpr std::size_t kMaxCommandLineLength = 32766;
// Paths of this many characters or more do not fit the platform's path buffers.
inline constexpr std::size_t kMaxPathLength = platform_limits::kMaxPathLength;

// 2052 stays 2052; any id with the Japanese primary language (low byte 0x11) gives 1041; every
// other user-interface language gives 1033.
uint16_t installLanguageFromUiLanguage(uint16_t uiLanguage);
bool isSupportedInstallLanguage(uint16_t language);
// The "/lang" option: its low 16 bits replace the detected language when they name a supported
// one; otherwise the detected language stays.
uint16_t chooseInstallLanguage(uint16_t detected, bool langSet, int32_t langValue);

// The REBOOT option asks for " REBOOT=ReallySuppress" on the public-runtime command when its
// value is exactly "ReallySuppress".
bool rebootSuppressed(bool rebootSet, std::string_view rebootValue);

// The additions of a silent run to the msiexec argument text: " /qn" unless the text already
// holds "/qn" (case-sensitive), then the default features unless ADDLOCAL was given.
std::string withSilentAdditions(std::string msiArguments, bool addLocalSet);

// " INSTALLDIR=\"folder\" ", or " INSTALLDIR=folder " when the folder text is already enclosed
// in double quotes (a lone quote counts as enclosed); nothing for an empty folder.
std::string installDirProperty(std::string_view folder);

// The kit's msiexec command: "\"msiexec\" /i \"database\" [TRANSFORMS=:lang ]args WRAPPER=1"
// followed by the INSTALLDIR property.
std::string kitCommand(std::string_view msiexecPath, std::string_view databasePath,
                       uint16_t language, std::string_view msiArguments,
                       std::string_view kitFolder);

// The public runtime follow-up runs only in silent mode, and only when the features asked for
// include the public runtime: "PubliccreFeature" or "ADDLOCAL=ALL" named, or no ADDLOCAL at all.
bool runsPublicRuntime(bool silent, std::string_view msiArguments);
// The updater follow-up runs after a successful kit install that registered the runtime.
bool runsUpdater(int kitResult, bool sameVersionRuntimeRegistered);

// The public runtime's command: cre.msi in the kit folder with its external transform for
// languages other than 1033, then the runtime folder and the reboot suppression.
std::string publicRuntimeCommand(std::string_view msiexecPath, std::string_view kitFolder,
                                 uint16_t language, std::string_view runtimeFolder,
                                 bool suppressReboot);
// "<kit folder>\cre.msi" and "<kit folder>\cre<language>.MST".
std::string publicRuntimeDatabasePath(std::string_view kitFolder);
std::string publicRuntimeTransformPath(std::string_view kitFolder, uint16_t language);

// The updater's install command, with DISABLE=1 when automatic updates are switched off.
std::string updaterInstallCommand(std::string_view msiexecPath, std::string_view databasePath,
                                  bool autoUpdate);
// The registration program's command: "\"caureg\" -r cre <full version>".
std::string updaterRegistrationCommand(std::string_view programPath, std::string_view fullVersion);
// The earlier updater's uninstall command.
std::string oldUpdaterUninstallCommand(std::string_view msiexecPath);
inline constexpr const char* kOldUpdaterProductCode = "{6D2F84B1-39C7-4E5A-8B16-0C7E93A5F2D4}";

// msiexec's uninstall arguments: " /x <code>" then " /qn" (quiet) or " /qb!", then " extra".
std::string uninstallArguments(std::string_view productCode, bool quiet, std::string_view extra);

// Version parts of "3.6.0_09": the text between the first and second "." ("6"; empty when there
// is no second part) and the text after the last "_" ("09"; "00" when there is none).
std::string minorVersionPart(std::string_view version);
std::string updateVersionPart(std::string_view version);
// The four parts of a product version "3.6.0_09" as separate texts: "3", "6", "0", "09".
struct VersionParts {
    std::string major, minor, micro, update;
};
VersionParts productVersionParts(std::string_view version);
// The leading decimal number of a text (0 when there is none), as used for update numbers.
int leadingNumber(std::string_view text);

// "32" in the 32-bit registry view, "64" in the 64-bit view.
const char* architectureDigits(bool view64);
// {<arch>C7E2B9-5D31-42A8-9F06-3E8A1C4<minor>0<update>0}
std::string kitProductCode(bool view64, std::string_view version);
// {5B1C93D0-7E42-4F18-A3C6-1D7<arch>1<minor>0<update, two digits>FF}
std::string runtimeProductCode(bool view64, std::string_view version, int updateNumber);

// A registry value read as raw bytes, taken as decimal text: leading blanks and a sign, then
// digits; 0 when there are none. Bytes after the data's end are never read.
long buildNumberFromBytes(const std::vector<uint8_t>& data);
// The build number of a registry value: a REG_DWORD (type 4) of four bytes is its number; any
// other value is read as decimal text by buildNumberFromBytes.
long buildNumberFromValue(uint32_t type, const std::vector<uint8_t>& data);

// Three-way comparison of version texts: major, minor and micro (the micro part ends at "_")
// as numbers, then the rest after "_" as bytes. Negative when a is older.
int compareVersions(std::string_view a, std::string_view b);

// True when a file version (major.minor.build.revision, 16 bits each, packed as the two 32-bit
// halves of a fixed file information block) is at least 2.0.2600.0.
bool isWindowsInstallerVersionSufficient(uint32_t versionMs, uint32_t versionLs);

// The working folder below the user's data folder: "<data>\Halvard\Corvid\cdk<version>[_x64]".
std::string workingFolder(std::string_view userDataFolder, std::string_view version, bool x64);
// The file name of a payload resource (PayloadTable.def) for a product version: "{version}"
// becomes the version, "{digits}" its major, minor, micro and update parts written together
// ("3.6.0_09": "36009").
std::string payloadFileName(std::string_view fileTemplate, std::string_view productVersion);

}  // namespace launcher
