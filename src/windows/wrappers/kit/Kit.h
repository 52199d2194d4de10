// The launcher program: its main sequence and the extraction of the kit's payload.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

#include "ExitCodes.h"
#include "ScopedHandle.h"
#include "Win32Ports.h"

// The kit database's path in the working folder, creating the folders on the way:
// "<user data>\Halvard\Corvid\cdk<version>[_x64]\cdk<version>.msi". A path of 260 characters or
// more ends the process through the fatal payload error (206).
std::string BuildMsiPath(bool x64);
// "<working folder>\<base name>.cab", creating the folders below the user's data folder.
std::string BuildCabinetPath(const char* baseName, bool x64);

// The event the kit's installer database waits on until every cabinet is written; null on
// failure. Manual reset and not set when returned: an event of that name that exists already is
// reset.
HANDLE CreateCabinetEvent();
// Sets the event: 1 when set, 0 when no handle could be had.
int SignalCabinetsReady();
// The extraction thread: writes the four cabinets in their order, then sets the event.
DWORD WINAPI CabinetExtractionThread(LPVOID module);

// The payload writer of the kit's program: the shared parts, and the working folder and the
// cabinets, which are written on a thread of their own.
class KitPayload final : public Win32PayloadWriter {
  public:
    explicit KitPayload(HINSTANCE module) : Win32PayloadWriter(module) {}
    std::string kitDatabasePath() override;
    launcher::Status createCabinetEvent() override;
    void startCabinetExtraction() override;
    void awaitCabinetExtraction() override;

  private:
    // The extraction thread; none when the cabinets were written on the calling thread.
    ScopedKernelHandle extraction_;
};

// Appends the INSTALLDIR property for `folder` to `command`.
void AppendInstallDirProperty(std::string& command, const std::string& folder);

// The whole run, from the loaded options to the exit code. The arguments are the runtime's wide
// argument vector.
int RunMainSequence(HINSTANCE module, int argc, wchar_t** argv);
