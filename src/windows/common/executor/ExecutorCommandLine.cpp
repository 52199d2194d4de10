// Command-line composition of the executor.
#include "ExecutorCommandLine.h"

#include "Text.h"

namespace executor_cmdline {

std::string trimBlanks(std::string_view text) { return std::string(cdk_text::trim(text)); }

std::string normalizeApplicationPath(std::string_view path) {
    std::string result = trimBlanks(path);
    // A lone '"' both begins and ends the text but encloses nothing; it is left as it is.
    if (result.size() >= 2 && result.front() == '"' && result.back() == '"') {
        result = result.substr(1, result.size() - 2);
    }
    return result;
}

std::string quotedApplicationPath(const std::string& applicationPath) {
    return "\"" + applicationPath + "\"";
}

std::string composeCommandLine(const std::string& applicationPath, std::string_view arguments) {
    const std::string trimmed = trimBlanks(arguments);
    std::string commandLine = quotedApplicationPath(applicationPath);
    if (trimmed.empty()) {
        return commandLine;
    }
    const size_t position =
        applicationPath.empty() ? std::string::npos : trimmed.find(applicationPath);
    if (position == 0) {
        // Callers that pass the program as the first argument get it once, quoted.
        commandLine += trimmed.substr(applicationPath.size());
    } else if (position == 1 && trimmed.front() == '"') {
        // The caller composed the whole command line, quoted program included.
        commandLine = trimmed;
    } else {
        commandLine += ' ';
        commandLine += trimmed;
    }
    return commandLine;
}

}  // namespace executor_cmdline
