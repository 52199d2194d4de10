// The program's entry point. Linked into each launcher program itself (not through a library), so
// that the runtime's start-up code finds it.
#include <windows.h>

#include <cstdlib>
#include <exception>

#include "AllUtils.h"
#include "Kit.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    try {
        return RunMainSequence(instance, __argc, __argv);
    } catch (const std::exception& exception) {
        reportException(exception);
    } catch (...) {
        reportUnknownException();
    }
    logit("An unexpected error ended the installer.");
    return EXIT_UNEXPECTED_EXCEPTION;
}
