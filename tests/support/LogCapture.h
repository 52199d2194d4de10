// Points the process-wide diagnostic log at a file of one test and reads it back. The file is
// removed when the capture starts and ends; the log's previous path comes back at the end.
#pragma once

#include <string>
#include <vector>

#include "LogRecords.h"

namespace cdk_test {

class LogCapture {
  public:
    // A file in the temporary directory named after the running test and this process.
    LogCapture();
    // The given file (a name for the program's own file functions).
    explicit LogCapture(std::string path);
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    const std::string& path() const { return path_; }
    // The file's bytes as written (empty before the first record).
    std::string text() const;
    std::vector<LogRecord> records() const;
    // The messages of all records, in order; the second form only those that `function`
    // wrote at `level`.
    std::vector<std::string> messages() const;
    std::vector<std::string> messages(const std::string& function, const std::string& level) const;
    // Removes the file, so that only the records written after this call are read.
    void clear() const;

  private:
    std::string path_;
    std::string previousPath_;
};

}  // namespace cdk_test
