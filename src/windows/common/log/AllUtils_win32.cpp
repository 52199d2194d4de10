// Win32 layer of the diagnostic log and its utilities.
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "AllUtilsPlatform.h"
#include "AnsiText.h"
#include "CheckedFile.h"
#include "PathNames.h"
#include "ScopedHandle.h"

namespace allutils_platform {

LogTime localTime() {
    SYSTEMTIME t;
    GetLocalTime(&t);
    return {t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds};
}

unsigned processId() { return GetCurrentProcessId(); }

unsigned threadId() { return GetCurrentThreadId(); }

ExclusiveAppendFile::ExclusiveAppendFile(const std::string& path) {
    // The log lies in TEMP, which the user can change: it is created only where no name is, and
    // a file that is there is appended to only when it is what its path says, never through a
    // link (CheckedFile.h). Read sharing only makes a second writer's open fail while this one
    // holds the file; text mode stores every "\n" as "\r\n".
    std::wstring folder;
    std::wstring name;
    if (!checked_file::splitPath(checked_file::widenAnsi(path), folder, name)) {
        folder = L".";
        name = checked_file::widenAnsi(path);
    }
    checked_file::Opened file =
        checked_file::createOrOpenFile(folder, name, GENERIC_WRITE, FILE_SHARE_READ, false);
    if (file.error != ERROR_SUCCESS) {
        return;
    }
    fd_ = _open_osfhandle(reinterpret_cast<intptr_t>(file.handle.get()), _O_APPEND | _O_TEXT);
    if (fd_ >= 0) {
        // The descriptor owns the handle now: _close closes it.
        (void)file.handle.take();
    }
}

ExclusiveAppendFile::~ExclusiveAppendFile() {
    if (fd_ >= 0) {
        _close(fd_);
    }
}

void ExclusiveAppendFile::write(std::string_view text) {
    // _write takes an unsigned count, so a text beyond 1 GiB goes in pieces; and it may write
    // less than it was given (a full disk), so each call starts where the last one stopped. In
    // text mode it counts the bytes of `text` it consumed, not the CR bytes it added.
    size_t done = 0;
    while (fd_ >= 0 && done < text.size()) {
        const size_t piece = std::min<size_t>(text.size() - done, 0x40000000u);
        const int n = _write(fd_, text.data() + done, static_cast<unsigned>(piece));
        if (n <= 0) {
            return;
        }
        done += static_cast<size_t>(n);
    }
}

void sleepOneMillisecond() { Sleep(1); }

std::u16string rawSystemMessage(uint32_t code) {
    // With FORMAT_MESSAGE_ALLOCATE_BUFFER the system allocates the text and stores its address
    // where the buffer argument points.
    ScopedLocalMemory buffer;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(buffer.receive()), 0, nullptr);
    if (length == 0 || !buffer) {
        return std::u16string();
    }
    return std::u16string(static_cast<const char16_t*>(buffer.get()), length);
}

std::string moduleFileName() {
    std::vector<char> buffer(MAX_PATH);
    for (;;) {
        const DWORD length =
            GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) {
            return std::string();
        }
        if (length < buffer.size()) {
            return std::string(buffer.data(), length);
        }
        buffer.resize(buffer.size() * 2);
    }
}

namespace {

template <typename Char, typename Query>
std::basic_string<Char> growingTempPath(const Query& query) {
    std::vector<Char> buffer(MAX_PATH);
    uint32_t length = query(static_cast<uint32_t>(buffer.size()), buffer.data());
    if (length > buffer.size()) {
        // Too small: the result is the size needed, terminating NUL included.
        buffer.resize(length);
        length = query(static_cast<uint32_t>(buffer.size()), buffer.data());
        if (length >= buffer.size()) {
            return std::basic_string<Char>();
        }
    }
    if (length == 0) {
        return std::basic_string<Char>();
    }
    const auto end = std::find(buffer.begin(), buffer.begin() + length, Char(0));
    return std::basic_string<Char>(buffer.begin(), end);
}

}  // namespace

std::string tempPathFrom(const std::function<uint32_t(uint32_t, char*)>& query) {
    return growingTempPath<char>(query);
}

std::string rawTempPath(bool* unusable) {
    if (unusable != nullptr) {
        *unusable = false;
    }
    const std::wstring wide = growingTempPath<wchar_t>(
        [](uint32_t size, wchar_t* buffer) -> uint32_t { return GetTempPathW(size, buffer); });
    if (wide.empty()) {
        return std::string();
    }
    std::string path;
    if (!cdk_text::ansiFolderPath(wide, path) && unusable != nullptr) {
        *unusable = true;
    }
    return path;
}

std::string logFilePath(const std::string& directory, const std::string& name) {
    return joinPath(directory, name);
}

uint32_t lastError() { return GetLastError(); }

}  // namespace allutils_platform
