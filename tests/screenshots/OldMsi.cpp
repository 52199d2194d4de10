// A stand-in for the system's msi.dll of a machine without Windows Installer 2.0: a DLL with no
// code worth calling whose version resource says 1.0.0.0. The launcher reads only the version.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
