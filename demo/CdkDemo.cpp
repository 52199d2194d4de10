// Demonstrates the launcher's platform services under Windows (or Wine): initialises the
// diagnostic log as the launcher does at start-up, runs three children through the executor
// (a success, a failure exit code and a program that does not exist) and prints where the log is.
#include <windows.h>

#include <cstdio>
#include <string>

#include "AllUtils.h"
#include "BuildConstants.h"
#include "Executor.h"

namespace {

std::string systemDirectory() {
    char buffer[MAX_PATH];
    const UINT n = GetSystemDirectoryA(buffer, MAX_PATH);
    return n > 0 && n < MAX_PATH ? std::string(buffer, n) : std::string("C:\\windows\\system32");
}

void run(const std::string& program, const std::string& arguments) {
    bool started = false;
    const int code = Executor::ExecProcessWithAtlMessageLoop(program, arguments, 1, &started);
    std::printf("  %-40s %-14s -> %d (started: %s)\n", baseName(program).c_str(), arguments.c_str(),
                code, started ? "yes" : "no");
}

}  // namespace

int main() {
    initializeDiagnosticLog();
    logit(formatString("CDK setup launcher demo, version %s (%s), architecture %s",
                       build::kFullVersion, build::kProductVersion, build::kArchitectureName));

    const std::string cmd = joinPath(systemDirectory(), "cmd.exe");
    std::printf("Running children through the executor:\n");
    run(cmd, "/c exit 0");
    run(cmd, "/c exit 1603");
    run(joinPath(systemDirectory(), "no-such-program.exe"), "/i kit.msi");

    std::printf("Diagnostic log: %s\n", DiagnosticLog::instance().path().c_str());
    return 0;
}
