// Deleting a settings file on Windows: the store's paths are UTF-8, so the wide call is used.
#include <windows.h>

#include <string>

#include "InstallConfigData.h"

bool removeSettingsFile(const std::string& utf8Path) {
    if (utf8Path.empty()) {
        return false;
    }
    const int length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8Path.data(),
                                           static_cast<int>(utf8Path.size()), nullptr, 0);
    if (length <= 0) {
        return false;
    }
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8Path.data(),
                        static_cast<int>(utf8Path.size()), wide.data(), length);
    return DeleteFileW(wide.c_str()) != 0;
}
