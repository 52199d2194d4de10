// The launcher's exit codes. Any other exit code is msiexec's, passed through.
#pragma once

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
