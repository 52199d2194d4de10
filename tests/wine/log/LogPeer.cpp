// log_peer hold <path> <ready-event> <release-event>
//     opens <path> for writing (sharing read and write) and keeps it open until the release
//     event is set.
// log_peer write <path> <tag> <count> <ready-event> <go-event>
//     sets the ready event, waits for the go event, then appends <count> records "<tag> <i>"
//     through the diagnostic log, so that all writers start together.
// Exit codes: 0 done, 1 bad arguments, 2 the file cannot be opened, 3 an event cannot be
// opened, 4 an event was not set within 60 s.
#include <windows.h>

#include <cstdlib>
#include <string>

#include "AllUtils.h"
#include "PathNames.h"
#include "StringFormat.h"

int main(int argc, char** argv) {
    if (argc == 5 && std::string(argv[1]) == "hold") {
        HANDLE file = CreateFileA(argv[2], GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            return 2;
        }
        HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, argv[3]);
        HANDLE release = OpenEventA(SYNCHRONIZE, FALSE, argv[4]);
        if (ready == nullptr || release == nullptr) {
            return 3;
        }
        SetEvent(ready);
        const DWORD waited = WaitForSingleObject(release, 60000);
        CloseHandle(file);
        return waited == WAIT_OBJECT_0 ? 0 : 4;
    }
    if (argc == 7 && std::string(argv[1]) == "write") {
        HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, argv[5]);
        HANDLE go = OpenEventA(SYNCHRONIZE, FALSE, argv[6]);
        if (ready == nullptr || go == nullptr) {
            return 3;
        }
        DiagnosticLog::instance().setPath(argv[2]);
        DiagnosticLog::instance().setProgramName(moduleBaseName());
        SetEvent(ready);
        if (WaitForSingleObject(go, 60000) != WAIT_OBJECT_0) {
            return 4;
        }
        const int count = std::atoi(argv[4]);
        for (int i = 0; i < count; ++i) {
            CDK_LOG(LOG_INFO, "LogPeer::write", formatString("%s %d", argv[3], i));
        }
        return 0;
    }
    return 1;
}
