// The runtime settings file's path checked below ProgramData, over Win32.
#pragma once

#include "SettingsFilePlace.h"

// The checks of the runtime settings file's path below ProgramData (see SettingsFilePlace.h),
// made with the checked file access of the user-writable folders. Process-wide.
SettingsFilePlace& CheckedSettingsFilePlace();
