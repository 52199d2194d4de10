// The process-wide diagnostic log ("cusched.log"): its records, the scope trace and the reports
// of caught exceptions. The unit keeps the name AllUtils that `logit` records carry in their
// header ("AllUtils.cpp:<line> (logit)"), which support staff and the log readers look for.
#pragma once

#include <exception>
#include <string>
#include <string_view>

// Severities of log records. Any other value prints as "UNKNOWN".
enum LogLevel : int {
    LOG_TRACE = 0,
    LOG_INFO = 1,
    LOG_WARNING = 2,
    LOG_ERROR = 3,
};

// The level word printed in a record: "TRACE", "INFO", "WARNING", "ERROR" or "UNKNOWN".
const char* logLevelWord(int level);

// One per process. Records are appended to the file at path(), each with its own open, write
// and close; the open denies write sharing and is retried, which serialises writers of this
// and other processes without a lock. Records written while the path is empty are dropped.
class DiagnosticLog {
  public:
    static DiagnosticLog& instance();

    bool isEnabled(int level) const { return level >= minimumLevel_; }

    // Appends one record. Never reports a file error to the caller: a record that cannot be
    // written after 10 attempts is dropped.
    void writeRecord(int level, const char* sourceFile, unsigned line, const char* function,
                     std::string_view message);

    const std::string& path() const { return path_; }
    void setPath(std::string path) { path_ = std::move(path); }
    const std::string& programName() const { return programName_; }
    void setProgramName(std::string name) { programName_ = std::move(name); }
    int minimumLevel() const { return minimumLevel_; }

    DiagnosticLog(const DiagnosticLog&) = delete;
    DiagnosticLog& operator=(const DiagnosticLog&) = delete;

  private:
    DiagnosticLog() = default;

    int minimumLevel_ = LOG_TRACE;
    std::string path_;
    std::string programName_;
};

// The call-site pattern: the message expression is evaluated only when the level is enabled.
#define CDK_LOG(level, function, message)                                            \
    do {                                                                             \
        DiagnosticLog& cdkLog_ = DiagnosticLog::instance();                          \
        if (cdkLog_.isEnabled(level)) {                                              \
            cdkLog_.writeRecord((level), __FILE__, __LINE__, (function), (message)); \
        }                                                                            \
    } while (0)

// The log file's name in the user's temporary directory.
inline constexpr const char* kDiagnosticLogFileName = "cusched.log";

// Start-up initialisation of the log: path = joinPath(tempDirectory(), "cusched.log") (the bare
// name when the temporary directory is unavailable; no path, so that records are dropped, when
// its name has no exact form in the ANSI code page), then the program name. Called once, after
// the other start-up objects exist; records written before it are dropped.
void initializeDiagnosticLog();

// Formats one record's text (header line, tab, level word, ": ", message, "\n").
struct LogTime {
    unsigned year, month, day, hour, minute, second, millisecond;
};
std::string formatLogRecord(const LogTime& time, std::string_view programName, unsigned processId,
                            unsigned threadId, const char* sourceFile, unsigned line,
                            const char* function, int level, std::string_view message);

// Writes `message` at INFO under the function name "logit".
void logit(const char* message);
void logit(const std::string& message);

// Brackets a scope with "Entering <text>" and "Exiting <text> (entered at <file>:<line>)".
class ScopeTrace {
  public:
    ScopeTrace(DiagnosticLog& log, int level, const char* sourceFile, int line,
               const char* function, const char* text);
    ~ScopeTrace();
    ScopeTrace(const ScopeTrace&) = delete;
    ScopeTrace& operator=(const ScopeTrace&) = delete;

  private:
    DiagnosticLog& log_;
    int level_;
    bool enabled_;
    std::string sourceFile_;
    int line_;
    std::string function_;
    std::string text_;
};

// For the catch clauses around the updater install.
void reportException(const std::exception& exception);
void reportUnknownException();
