#include "AllUtils.h"

#include <string>

#include "AllUtilsPlatform.h"
#include "PathNames.h"
#include "StringFormat.h"

namespace {
constexpr int kOpenAttempts = 10;
}

const char* logLevelWord(int level) {
    switch (level) {
        case LOG_TRACE:
            return "TRACE";
        case LOG_INFO:
            return "INFO";
        case LOG_WARNING:
            return "WARNING";
        case LOG_ERROR:
            return "ERROR";
        default:
            return "UNKNOWN";
    }
}

DiagnosticLog& DiagnosticLog::instance() {
    // Constructed on first use, so it exists before any other start-up object can write.
    static DiagnosticLog log;
    return log;
}

std::string formatLogRecord(const LogTime& time, std::string_view programName, unsigned processId,
                            unsigned threadId, const char* sourceFile, unsigned line,
                            const char* function, int level, std::string_view message) {
    const std::string program(programName);
    const std::string source = baseName(sourceFile != nullptr ? sourceFile : "");
    std::string record = formatString(
        "[%04u/%02u/%02u %02u:%02u:%02u.%03u, %s (PID: %u, TID: %u), %s:%u (%s)]\n\t%s: ",
        time.year, time.month, time.day, time.hour, time.minute, time.second, time.millisecond,
        program.c_str(), processId, threadId, source.c_str(), line,
        function != nullptr ? function : "", logLevelWord(level));
    // The message is appended rather than formatted so that it may hold NUL-free text of any
    // length and any '%' characters unchanged.
    record.append(message);
    record.push_back('\n');
    return record;
}

void DiagnosticLog::writeRecord(int level, const char* sourceFile, unsigned line,
                                const char* function, std::string_view message) {
    if (path_.empty()) {
        return;
    }
    const std::string record = formatLogRecord(
        allutils_platform::localTime(), programName_, allutils_platform::processId(),
        allutils_platform::threadId(), sourceFile, line, function, level, message);

    for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
        allutils_platform::ExclusiveAppendFile file(path_);
        if (file.isOpen()) {
            file.write(record);
            return;
        }
        allutils_platform::sleepOneMillisecond();
    }
}

void initializeDiagnosticLog() {
    DiagnosticLog& log = DiagnosticLog::instance();
    bool unusable = false;
    const std::string temp = stripTrailingSeparator(allutils_platform::rawTempPath(&unusable));
    if (unusable) {
        // The folder's name has no exact form in the ANSI code page: a look-alike could be
        // another user's folder, so the records are dropped rather than written anywhere.
        log.setPath(std::string());
    } else {
        log.setPath(temp.empty() ? std::string(kDiagnosticLogFileName)
                                 : allutils_platform::logFilePath(temp, kDiagnosticLogFileName));
    }
    log.setProgramName(moduleBaseName());
}

void logit(const char* message) {
    DiagnosticLog& log = DiagnosticLog::instance();
    if (log.isEnabled(LOG_INFO)) {
        log.writeRecord(LOG_INFO, __FILE__, __LINE__, "logit", message != nullptr ? message : "");
    }
}

void logit(const std::string& message) { logit(message.c_str()); }

ScopeTrace::ScopeTrace(DiagnosticLog& log, int level, const char* sourceFile, int line,
                       const char* function, const char* text)
    : log_(log),
      level_(level),
      enabled_(log.isEnabled(level)),
      sourceFile_(sourceFile != nullptr ? sourceFile : ""),
      line_(line),
      function_(function != nullptr ? function : ""),
      text_(text != nullptr ? text : "") {
    if (enabled_) {
        log_.writeRecord(level_, sourceFile_.c_str(), static_cast<unsigned>(line_),
                         function_.c_str(), "Entering " + text_);
    }
}

ScopeTrace::~ScopeTrace() {
    if (enabled_) {
        try {
            log_.writeRecord(level_, sourceFile_.c_str(), 0, function_.c_str(),
                             formatString("Exiting %s (entered at %s:%d)", text_.c_str(),
                                          baseName(sourceFile_).c_str(), line_));
        } catch (...) {
            // A destructor must not throw; a trace record lost to memory exhaustion is
            // acceptable.
        }
    }
}

void reportException(const std::exception& exception) {
    logit(std::string("Exception with message '") + exception.what() + "' caught");
}

void reportUnknownException() { logit("Unknown exception caught"); }
