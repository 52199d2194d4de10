// POSIX layer of the diagnostic log, for the host builds of the portable subsystems. The
// exclusive write open is an flock taken without waiting; files are written as they are (no
// CR LF translation on POSIX).
#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/syscall.h>
#include <sys/time.h>
#include <time.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

#include "AllUtilsPlatform.h"

namespace allutils_platform {

LogTime localTime() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    tm local{};
    localtime_r(&now.tv_sec, &local);
    return {static_cast<unsigned>(local.tm_year + 1900), static_cast<unsigned>(local.tm_mon + 1),
            static_cast<unsigned>(local.tm_mday),        static_cast<unsigned>(local.tm_hour),
            static_cast<unsigned>(local.tm_min),         static_cast<unsigned>(local.tm_sec),
            static_cast<unsigned>(now.tv_nsec / 1000000)};
}

unsigned processId() { return static_cast<unsigned>(getpid()); }

unsigned threadId() { return static_cast<unsigned>(syscall(SYS_gettid)); }

ExclusiveAppendFile::ExclusiveAppendFile(const std::string& path) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
    if (fd < 0) {
        return;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        close(fd);
        return;
    }
    fd_ = fd;
}

ExclusiveAppendFile::~ExclusiveAppendFile() {
    if (fd_ >= 0) {
        close(fd_);
    }
}

void ExclusiveAppendFile::write(std::string_view text) {
    size_t done = 0;
    while (fd_ >= 0 && done < text.size()) {
        const ssize_t n = ::write(fd_, text.data() + done, text.size() - done);
        if (n <= 0) {
            if (n < 0 && errno == EINTR) {
                continue;
            }
            return;
        }
        done += static_cast<size_t>(n);
    }
}

void sleepOneMillisecond() { usleep(1000); }

std::u16string rawSystemMessage(uint32_t) {
    // Win32 error codes have no POSIX text.
    return std::u16string();
}

std::string moduleFileName() {
    std::vector<char> buffer(260);
    for (;;) {
        const ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (n <= 0) {
            return std::string();
        }
        if (static_cast<size_t>(n) < buffer.size()) {
            return std::string(buffer.data(), static_cast<size_t>(n));
        }
        buffer.resize(buffer.size() * 2);
    }
}

std::string rawTempPath(bool* unusable) {
    if (unusable != nullptr) {
        *unusable = false;
    }
    // Like GetTempPathA, the result ends with exactly the separator the system gives it.
    const char* dir = std::getenv("TMPDIR");
    std::string path = dir != nullptr && *dir != '\0' ? dir : "/tmp";
    if (path.back() != '/') {
        path.push_back('/');
    }
    return path;
}

std::string tempPathFrom(const std::function<uint32_t(uint32_t, char*)>&) { return rawTempPath(); }

std::string logFilePath(const std::string& directory, const std::string& name) {
    return directory + "/" + name;
}

uint32_t lastError() { return static_cast<uint32_t>(errno); }

}  // namespace allutils_platform
