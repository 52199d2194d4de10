// The few operating-system calls behind the diagnostic log and its utilities. One file per
// platform implements them: AllUtils_win32.cpp (Win32) and AllUtils_posix.cpp (host builds).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "AllUtils.h"

namespace allutils_platform {

LogTime localTime();
unsigned processId();
unsigned threadId();

// An open log file: appending, text mode, write access denied to every other opener.
class ExclusiveAppendFile {
  public:
    // Tries once to open (creating the file if absent); isOpen() tells whether it worked.
    explicit ExclusiveAppendFile(const std::string& path);
    ~ExclusiveAppendFile();
    ExclusiveAppendFile(const ExclusiveAppendFile&) = delete;
    ExclusiveAppendFile& operator=(const ExclusiveAppendFile&) = delete;

    bool isOpen() const { return fd_ >= 0; }
    // Appends the whole text, going on after a partial write; errors end the write and are
    // ignored by the log.
    void write(std::string_view text);

  private:
    int fd_ = -1;
};

void sleepOneMillisecond();

// The system's raw message text for a Win32 error code; empty when it has none.
std::u16string rawSystemMessage(uint32_t code);
// Full file name of the running program; empty when it cannot be determined.
std::string moduleFileName();
// The temporary directory as the system reports it (trailing separator included); empty on
// failure. On Windows the folder is given in the ANSI code page as it is or by its short form
// (cdk_text::ansiFolderPath); when neither is carried exactly the result is empty and
// `unusable`, if given, is set, so that nothing is written under a look-alike name.
std::string rawTempPath(bool* unusable = nullptr);
// The growth loop of rawTempPath() (which runs it around GetTempPathW) around a GetTempPathA-like
// query (length, buffer) -> result.
std::string tempPathFrom(const std::function<uint32_t(uint32_t, char*)>& query);
uint32_t lastError();
// The log file's path in a directory: joinPath on Windows; on POSIX hosts the directory and
// name joined with '/', since a '\' there would be part of the file name.
std::string logFilePath(const std::string& directory, const std::string& name);

}  // namespace allutils_platform
