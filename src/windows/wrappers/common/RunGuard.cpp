// The launcher's run guarded against escaping exceptions.
#include "RunGuard.h"

#include <exception>
#include <string>

#include "AllUtils.h"
#include "SettingsException.h"

int RunReportingExceptions(const std::function<int()>& run, int failureCode) {
    try {
        return run();
    } catch (const std::exception& exception) {
        reportException(exception);
    } catch (...) {
        reportUnknownException();
    }
    logit("An unexpected error ended the installer.");
    return failureCode;
}

namespace {

struct StartupFailure {
    int code = 0;
    std::string text;
};

StartupFailure& startupFailure() {
    static StartupFailure failure;
    return failure;
}

}  // namespace

void RunStartupSteps(const std::function<void()>& steps, int storeFailureCode, int failureCode) {
    try {
        steps();
    } catch (const settings::Exception& exception) {
        const std::string what = exception.what();
        startupFailure() = {storeFailureCode,
                            "the settings store failed with status " +
                                std::to_string(exception.code()) +
                                (what.empty() ? std::string() : " (" + what + ")")};
    } catch (const std::exception& exception) {
        startupFailure() = {failureCode, exception.what()};
    } catch (...) {
        startupFailure() = {failureCode, "an unknown exception"};
    }
}

int RunLauncher(const std::function<int()>& run, int failureCode) {
    const StartupFailure& failure = startupFailure();
    if (failure.code != 0) {
        CDK_LOG(LOG_ERROR, "RunLauncher",
                "The installer could not start: " + failure.text + ". Exiting installer.");
        return failure.code;
    }
    return RunReportingExceptions(run, failureCode);
}

void ClearStartupFailure() { startupFailure() = StartupFailure(); }
