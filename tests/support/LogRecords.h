// The records of a diagnostic log file, parsed back into their fields. A record is two lines
// (the message may add more):
//   [yyyy/mm/dd hh:mm:ss.mmm, program (PID: n, TID: n), file:line (function)]
//   <TAB>LEVEL: message
// Windows writes the file in text mode, so its lines end in "\r\n"; the parsed fields hold "\n"
// where the program wrote one.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace cdk_test {

struct LogRecord {
    // The record's bytes as they are in the file, line ends included.
    std::string raw;
    // True when the record has the header, the level line and the final line end that
    // formatLogRecord writes; the fields below are then filled.
    bool wellFormed = false;
    std::string time;  // "yyyy/mm/dd hh:mm:ss.mmm"
    std::string program;
    unsigned long processId = 0;
    unsigned long threadId = 0;
    std::string sourceFile;
    unsigned long line = 0;
    std::string function;
    std::string level;    // "INFO", "ERROR", ...
    std::string message;  // without the record's final line end
};

// Splits a log's text into records: one begins at the start of the text and at every line that
// begins with "[dddd/". Nothing is skipped, so the records' raw texts put together give the
// text again; a stretch that is not a whole record comes back with wellFormed false.
std::vector<LogRecord> parseLogRecords(std::string_view text);

}  // namespace cdk_test
