// Keeps Wine's desktop of a test prefix alive for as long as the prefix's server runs.
//
// Wine ends the desktop process (explorer.exe /desktop) a second after the last program with a
// window has ended. A test program that attaches to the desktop in that second is left without
// a display driver for its whole life: every window it creates fails, and retrying inside the
// same process cannot help. Tests that create windows start and end all the time, so now and
// then one of them lands in that second. This program holds a window of its own on the desktop
// until the server is stopped, so the desktop never reaches that second.
//
// Usage: cdk-desktop-keeper.exe [READY-FILE]
//   READY-FILE  created once the window exists, so that the caller can wait for it
// Exit status 1 when the window cannot be created; otherwise it runs until Wine ends it.
#include <windows.h>

int wmain(int argc, wchar_t** argv) {
    HWND window = CreateWindowExW(0, L"Message", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
    if (window == nullptr) {
        return 1;
    }
    if (argc > 1) {
        HANDLE ready = CreateFileW(argv[1], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
        if (ready != INVALID_HANDLE_VALUE) {
            CloseHandle(ready);
        }
    }
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        DispatchMessageW(&message);
    }
    return 0;
}
