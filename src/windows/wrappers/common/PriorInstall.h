// Removal of an installed kit of the same version and of the public runtimes of its version
// family before the kit is installed; a newer build of the kit stops the run. Portable: the
// registry, msiexec and the message box come through the run's ports.
#pragma once

#include <string>

#include "LauncherPorts.h"

namespace launcher {

// 1 when the install may go on, 0 when it must stop.
int UninstallCREOrCDKIfSameVersionExists(Ports& ports, RunState& state);
// The kit's (or runtime's) key of `version` holds a build number at most this build's.
bool IsSameOrOlderBuildInstalled(Ports& ports, const char* version, bool kit);
bool UninstallExistingCDK(Ports& ports, RunState& state, const char* version);
// 0 when every registered runtime of the version family was uninstalled (or none was);
// otherwise the exit code of the last uninstall that failed.
int UninstallCREIfSameOrOlderBuild(Ports& ports, RunState& state, const char* version);
bool IsStaticCreInstalled(Ports& ports, const char* version, bool view64);
bool IsProductRegisteredForUninstall(Ports& ports, const std::string& productCode, bool view64);
// msiexec's uninstall of `productCode`: its exit code. A product it removed is added to the
// run's list of removed products.
int RunMsiexecUninstall(Ports& ports, RunState& state, const std::string& productCode,
                        const char* version, bool quiet, const char* extra);

}  // namespace launcher
