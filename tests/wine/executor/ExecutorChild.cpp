// Child program of the executor tests. Controlled through its environment, so that its
// arguments are free for the command-line tests:
//   CDK_EXECUTOR_CHILD_REPORT  file to write: the command line as received, a line feed, then
//                              "<startup flags> <show window>" as decimals
//   CDK_EXECUTOR_CHILD_STDOUT  text to write to standard output
//   CDK_EXECUTOR_CHILD_STARTED name of an event to set once running, so that a test knows
//                              its wait for the child has begun (exit 98 when it cannot be
//                              opened)
//   CDK_EXECUTOR_CHILD_WAIT    name of an event to wait for before exiting, so that a test
//                              decides when the child ends; the child gives up after 20 s
//                              and then exits with 99 instead of its exit code
//   CDK_EXECUTOR_CHILD_SLEEP   milliseconds to sleep before exiting
//   CDK_EXECUTOR_CHILD_EXIT    exit code (0 when unset)
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

std::string variable(const char* name) {
    const DWORD size = GetEnvironmentVariableA(name, nullptr, 0);
    if (size == 0) {
        return std::string();
    }
    std::string value(size, '\0');
    const DWORD length = GetEnvironmentVariableA(name, value.data(), size);
    value.resize(length);
    return value;
}

}  // namespace

int main() {
    const std::string report = variable("CDK_EXECUTOR_CHILD_REPORT");
    if (!report.empty()) {
        STARTUPINFOA startup{};
        startup.cb = sizeof(startup);
        GetStartupInfoA(&startup);
        if (FILE* file = std::fopen(report.c_str(), "wb")) {
            std::fprintf(file, "%s\n%lu %u\n", GetCommandLineA(),
                         static_cast<unsigned long>(startup.dwFlags),
                         static_cast<unsigned>(startup.wShowWindow));
            std::fclose(file);
        }
    }
    const std::string output = variable("CDK_EXECUTOR_CHILD_STDOUT");
    if (!output.empty()) {
        std::fputs(output.c_str(), stdout);
        std::fflush(stdout);
    }
    const std::string started = variable("CDK_EXECUTOR_CHILD_STARTED");
    if (!started.empty()) {
        HANDLE event = OpenEventA(EVENT_MODIFY_STATE, FALSE, started.c_str());
        if (event == nullptr) {
            return 98;
        }
        SetEvent(event);
        CloseHandle(event);
    }
    const std::string release = variable("CDK_EXECUTOR_CHILD_WAIT");
    if (!release.empty()) {
        HANDLE event = OpenEventA(SYNCHRONIZE, FALSE, release.c_str());
        const DWORD waited = event != nullptr ? WaitForSingleObject(event, 20000) : WAIT_FAILED;
        if (event != nullptr) {
            CloseHandle(event);
        }
        if (waited != WAIT_OBJECT_0) {
            return 99;
        }
    }
    const std::string sleep = variable("CDK_EXECUTOR_CHILD_SLEEP");
    if (!sleep.empty()) {
        Sleep(static_cast<DWORD>(std::strtoul(sleep.c_str(), nullptr, 10)));
    }
    return static_cast<int>(std::strtoul(variable("CDK_EXECUTOR_CHILD_EXIT").c_str(), nullptr, 10));
}
