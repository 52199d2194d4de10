// The program's entry point. Linked into each launcher program itself (not through a library), so
// that the runtime's start-up code finds it.
#include <windows.h>

#include <cstdlib>

#include "Kit.h"
#include "WrapperUtils.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    return RunLauncher([instance] { return RunMainSequence(instance, __argc, __argv); },
                       EXIT_UNEXPECTED_EXCEPTION);
}
