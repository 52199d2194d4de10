// The program's entry point. Linked into each launcher program itself (not through a library), so
// that the runtime's start-up code finds it.
#include <windows.h>

#include <cstdlib>

#include "Kit.h"
#include "RunGuard.h"

// The wide entry point (linked with -municode): the runtime splits the command line into
// __wargv by the same rules as into __argv, but before any conversion to the ANSI code page, so
// that the main sequence can refuse an argument the code page cannot carry instead of taking the
// system's best-fit look-alike of it.
int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int) {
    return RunLauncher([instance] { return RunMainSequence(instance, __argc, __wargv); },
                       EXIT_UNEXPECTED_EXCEPTION);
}
