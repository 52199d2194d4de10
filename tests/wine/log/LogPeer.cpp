// log_peer hold <path> <ready-event> <release-event>
//     opens <path> for writing (sharing read and write) and keeps it open until the release
//     event is set.
// log_peer write <path> <tag> <count>
//     appends <count> records "<tag> <i>" through the diagnostic log.
#include <windows.h>

#include <cstdlib>
#include <string>

#include "AllUtils.h"

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
        WaitForSingleObject(release, 60000);
        CloseHandle(file);
        return 0;
    }
    if (argc == 5 && std::string(argv[1]) == "write") {
        DiagnosticLog::instance().setPath(argv[2]);
        DiagnosticLog::instance().setProgramName(moduleBaseName());
        const int count = std::atoi(argv[4]);
        for (int i = 0; i < count; ++i) {
            CDK_LOG(LOG_INFO, "LogPeer::write", formatString("%s %d", argv[3], i));
        }
        return 0;
    }
    return 1;
}
