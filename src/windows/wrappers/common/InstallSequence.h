// The main sequence from the loaded install options on: the checks that settle whether the run
// may change the machine, the removal of a prior install, the kit's database and cabinets,
// msiexec, the runtime settings file and the follow-ups. Portable: everything it asks of the
// machine goes through the run's ports, so that its order is tested on the host.
#pragma once

#include <cstdint>
#include <string>

#include "LauncherPorts.h"

namespace launcher {

// What the run takes from the install options, read once before anything is changed, with the
// texts in the ANSI code page of the calls they go into.
struct RunOptions {
    bool silent = false;
    bool langSet = false;
    int32_t lang = 0;
    std::string runtimeFolder;
    std::string kitFolder;
    bool msiArgumentsSet = false;
    std::string msiArguments;
    bool rebootSet = false;
    std::string reboot;
    bool addLocalSet = false;
    bool autoUpdate = false;
};

// The run's exit code (LauncherExitCode, or the kit's msiexec's). `state` holds the detected
// install language and the module on entry.
int RunInstallSequence(Ports& ports, RunState& state, const RunOptions& options);

// A text value under HKLM "Software\Tarnwell"; true only when it is read and not empty.
bool ReadProductRootValue(Ports& ports, const char* name, std::string& value);
// The runtime of this version is registered under HKLM.
bool IsSameVersionCreRegistered(Ports& ports);

}  // namespace launcher
