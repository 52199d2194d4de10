// The launcher's run guarded so that no error ends it as a crash: exceptions that escape the
// run or the objects built before the entry point become a log record and an exit code.
#pragma once

#include <functional>

// Runs `run` and returns its result; an exception that escapes it is written to the log and
// gives `failureCode` instead, so that no error ends the launcher as a crash.
int RunReportingExceptions(const std::function<int()>& run, int failureCode);
// Runs the steps that build the objects existing before the entry point. An exception that
// leaves them is kept for RunLauncher, with `storeFailureCode` when the settings store threw it
// and `failureCode` otherwise, instead of leaving static initialisation, which would end the
// program without a word.
void RunStartupSteps(const std::function<void()>& steps, int storeFailureCode, int failureCode);
// The entry point's run: after a failed start-up, its exception is logged (the log's path is set
// by then) and its code returned, with no message box, since silent mode is not known; otherwise
// `run` through RunReportingExceptions.
int RunLauncher(const std::function<int()>& run, int failureCode);
// Forgets a start-up failure kept by RunStartupSteps (for tests).
void ClearStartupFailure();
