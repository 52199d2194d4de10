// Starts the program under test inside Wine and reports its full exit code.
//
// A Linux process exit status holds only 8 bits, so the exit code that wine64 passes on cannot
// tell -80 from 176 or carry 3010. This program starts the launcher, waits for it and prints
// GetExitCodeProcess as a signed decimal. It puts the launcher in a job object and, after the
// launcher has ended, also waits for every process the launcher started (msiexec stand-ins and
// what they start in turn), so that the scenario's files are complete when it returns.
//
// Environment (paths may be Windows paths or Unix paths, which are reached through drive Z:):
//   CDK_E2E_COMMAND_FILE  UTF-8 file holding the complete command line, program path first
//                         (required). Not an environment variable itself: Wine decodes those
//                         with the Unix locale's character set, which is 7-bit ASCII when a
//                         scenario's LC_ALL names a locale that is not generated.
//   CDK_E2E_DIRECTORY     current directory of the program (default: this one's)
//   CDK_E2E_HOLD_FILE     a file kept open while the program runs, readable by others but
//                         not writable, replaceable or deletable
//   CDK_E2E_SET_EVENT     name of a manual-reset event that the runner creates (or opens),
//                         sets before the program starts and holds until it has ended, as a
//                         process left over from an earlier run would
//   CDK_E2E_TIMEOUT_MS    time for the whole tree of processes (default 60000)
//   CDK_E2E_TOGETHER      number of launchers started at the same moment with the same command
//                         line (default 1); when the first of them has ended, the runner sets
//                         the named event "CdkE2eLauncherEnded", which a stand-in may wait for
//   CDK_E2E_KILL_ON_EVENT name of an event: as soon as the launcher has created it, the runner
//                         ends the launcher (not what it started) with exit code 9
//
// Standard output, one line each:
//   exit-code <signed decimal>          a launcher's exit code, one line per launcher in the
//                                       order they were started
//   elapsed-ms <milliseconds>           from the start until the last launcher ended
//   killed <event> unset|set            the launcher was ended; the event's state right after
//   start-error <system error>          the launcher could not be started
//   event-error <system error>          the event of CDK_E2E_SET_EVENT could not be had
//   timeout launcher|children           the time ran out; the job's processes were ended
// Exit status: 0 when the exit codes were reported, 2 otherwise.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "HarnessEnvironment.h"

namespace {

using e2e::variable;
using e2e::windowsPath;

// The whole file as UTF-16, without a final line break; empty when it cannot be read.
std::wstring readUtf8File(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return std::wstring();
    }
    std::string bytes;
    char buffer[4096];
    DWORD read = 0;
    while (ReadFile(file, buffer, sizeof(buffer), &read, nullptr) && read > 0) {
        bytes.append(buffer, read);
    }
    CloseHandle(file);
    while (!bytes.empty() && (bytes.back() == '\n' || bytes.back() == '\r')) {
        bytes.pop_back();
    }
    if (bytes.empty()) {
        return std::wstring();
    }
    const int size = static_cast<int>(bytes.size());
    std::wstring text(static_cast<size_t>(size), L'\0');
    text.resize(static_cast<size_t>(
        MultiByteToWideChar(CP_UTF8, 0, bytes.data(), size, text.data(), size)));
    return text;
}

DWORD remainingTime(ULONGLONG deadline) {
    const ULONGLONG now = GetTickCount64();
    return now >= deadline ? 0 : static_cast<DWORD>(deadline - now);
}

// True for Wine's desktop process ("explorer.exe /desktop"), which Wine starts for the first
// window of a prefix (a message box, say) and which lives on after the program that caused it.
bool isWineDesktop(ULONG_PTR processId) {
    HANDLE process =
        OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(processId));
    if (process == nullptr) {
        return false;
    }
    wchar_t name[MAX_PATH] = {};
    DWORD length = MAX_PATH;
    const bool named = QueryFullProcessImageNameW(process, 0, name, &length) != FALSE;
    CloseHandle(process);
    const std::wstring path(name, named ? length : 0);
    const std::wstring suffix = L"\\explorer.exe";
    return path.size() >= suffix.size() &&
           _wcsicmp(path.c_str() + path.size() - suffix.size(), suffix.c_str()) == 0;
}

// Processes of the job that the launcher started, Wine's desktop process not counted.
DWORD activeProcesses(HANDLE job) {
    struct {
        JOBOBJECT_BASIC_PROCESS_ID_LIST list;
        ULONG_PTR more[255];
    } ids{};
    ids.list.NumberOfAssignedProcesses = 256;
    if (!QueryInformationJobObject(job, JobObjectBasicProcessIdList, &ids, sizeof(ids), nullptr)) {
        return 0;
    }
    DWORD active = 0;
    for (DWORD i = 0; i < ids.list.NumberOfProcessIdsInList; ++i) {
        if (!isWineDesktop(ids.list.ProcessIdList[i])) {
            ++active;
        }
    }
    return active;
}

// Ends the launcher as soon as it has created the named event, and reports the event's state
// right after: "unset" when the launcher was ended before it set the event.
bool killOnEvent(HANDLE launcher, const std::wstring& eventName, ULONGLONG deadline) {
    HANDLE event = nullptr;
    while ((event = OpenEventW(SYNCHRONIZE, FALSE, eventName.c_str())) == nullptr) {
        if (WaitForSingleObject(launcher, 0) == WAIT_OBJECT_0 || remainingTime(deadline) == 0) {
            return false;
        }
    }
    TerminateProcess(launcher, 9);
    WaitForSingleObject(launcher, remainingTime(deadline));
    const bool set = WaitForSingleObject(event, 0) == WAIT_OBJECT_0;
    CloseHandle(event);
    std::printf("killed %ls %s\n", eventName.c_str(), set ? "set" : "unset");
    return true;
}

}  // namespace

int main() {
    std::wstring commandLine = readUtf8File(windowsPath(variable(L"CDK_E2E_COMMAND_FILE")));
    const std::wstring directory = windowsPath(variable(L"CDK_E2E_DIRECTORY"));
    const std::wstring holdPath = windowsPath(variable(L"CDK_E2E_HOLD_FILE"));
    const std::wstring timeout = variable(L"CDK_E2E_TIMEOUT_MS");
    const std::wstring together = variable(L"CDK_E2E_TOGETHER");
    const std::wstring killEvent = variable(L"CDK_E2E_KILL_ON_EVENT");
    const std::wstring setEvent = variable(L"CDK_E2E_SET_EVENT");
    const ULONGLONG deadline =
        GetTickCount64() + (timeout.empty() ? 60000 : std::wcstoul(timeout.c_str(), nullptr, 10));
    const unsigned long count =
        together.empty() ? 1 : std::max(1ul, std::wcstoul(together.c_str(), nullptr, 10));
    if (commandLine.empty() || count > MAXIMUM_WAIT_OBJECTS) {
        std::printf("start-error %lu\n", static_cast<unsigned long>(ERROR_BAD_ARGUMENTS));
        return 2;
    }

    HANDLE held = INVALID_HANDLE_VALUE;
    if (!holdPath.empty()) {
        held = CreateFileW(holdPath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
        if (held == INVALID_HANDLE_VALUE) {
            std::printf("hold-error %lu\n", GetLastError());
            return 2;
        }
    }

    HANDLE leftOver = nullptr;
    if (!setEvent.empty()) {
        leftOver = CreateEventW(nullptr, TRUE, TRUE, setEvent.c_str());
        if (leftOver == nullptr || !SetEvent(leftOver)) {
            std::printf("event-error %lu\n", GetLastError());
            return 2;
        }
    }

    // Ending this runner ends the whole tree too (the job closes with its last handle).
    HANDLE job = CreateJobObjectW(nullptr, nullptr);
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof(limits));

    // Every launcher is created suspended and resumed only when all exist, so that they start
    // as close together as the system allows.
    std::vector<HANDLE> launchers;
    std::vector<HANDLE> threads;
    for (unsigned long i = 0; i < count; ++i) {
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION process{};
        std::wstring line = commandLine;
        if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED,
                            nullptr, directory.empty() ? nullptr : directory.c_str(), &startup,
                            &process)) {
            std::printf("start-error %lu\n", GetLastError());
            TerminateJobObject(job, 1);
            return 2;
        }
        AssignProcessToJobObject(job, process.hProcess);
        launchers.push_back(process.hProcess);
        threads.push_back(process.hThread);
    }
    LARGE_INTEGER frequency{}, resumed{}, ended{};
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&resumed);
    for (HANDLE thread : threads) {
        ResumeThread(thread);
        CloseHandle(thread);
    }

    const bool killed = !killEvent.empty() && killOnEvent(launchers[0], killEvent, deadline);
    if (count > 1) {
        // Tells a stand-in run by the launcher that goes on that the other one has ended.
        HANDLE ended = CreateEventW(nullptr, TRUE, FALSE, L"CdkE2eLauncherEnded");
        if (WaitForMultipleObjects(static_cast<DWORD>(launchers.size()), launchers.data(), FALSE,
                                   remainingTime(deadline)) == WAIT_TIMEOUT) {
            TerminateJobObject(job, 1);
            std::printf("timeout launcher\n");
            return 2;
        }
        SetEvent(ended);
        // Held until the runner ends, so that a stand-in that looks late still finds it set.
    }
    if (WaitForMultipleObjects(static_cast<DWORD>(launchers.size()), launchers.data(), TRUE,
                               remainingTime(deadline)) != WAIT_OBJECT_0) {
        TerminateJobObject(job, 1);
        std::printf("timeout launcher\n");
        return 2;
    }
    QueryPerformanceCounter(&ended);
    if (held != INVALID_HANDLE_VALUE) {
        CloseHandle(held);
    }
    if (leftOver != nullptr) {
        CloseHandle(leftOver);
    }
    for (HANDLE launcher : launchers) {
        DWORD code = 0;
        GetExitCodeProcess(launcher, &code);
        CloseHandle(launcher);
        std::printf("exit-code %ld\n", static_cast<long>(static_cast<LONG>(code)));
    }
    // From the start until the last launcher ended (the benchmarks time whole runs with it).
    std::printf("elapsed-ms %.1f\n", static_cast<double>(ended.QuadPart - resumed.QuadPart) *
                                         1000.0 / static_cast<double>(frequency.QuadPart));
    std::fflush(stdout);

    if (killed) {
        // A launcher ended from outside leaves what it started behind, as on a real machine;
        // this run is about what the kill left on disk, so they are ended here, not awaited.
        TerminateJobObject(job, 1);
        CloseHandle(job);
        return 0;
    }
    while (activeProcesses(job) > 0) {
        if (remainingTime(deadline) == 0) {
            TerminateJobObject(job, 1);
            std::printf("timeout children\n");
            return 2;
        }
        Sleep(20);
    }
    CloseHandle(job);
    return 0;
}
