#include "PlainRegKey.h"

#include <cstring>

namespace {

constexpr REGSAM kViewBits = KEY_WOW64_32KEY | KEY_WOW64_64KEY;

using RegDeleteKeyExAFunction = LONG(WINAPI*)(HKEY, LPCSTR, REGSAM, DWORD);

// RegDeleteKeyExA is missing on systems older than XP x64; look it up once per process, found
// or not.
RegDeleteKeyExAFunction regDeleteKeyEx() {
    static const RegDeleteKeyExAFunction function = [] {
        const HMODULE advapi = GetModuleHandleA("Advapi32.dll");
        if (advapi == nullptr) {
            return RegDeleteKeyExAFunction(nullptr);
        }
        const FARPROC address = GetProcAddress(advapi, "RegDeleteKeyExA");
        return reinterpret_cast<RegDeleteKeyExAFunction>(reinterpret_cast<void*>(address));
    }();
    return function;
}

}  // namespace

PlainRegKey::~PlainRegKey() { close(); }

LONG PlainRegKey::open(HKEY parent, const char* subKey, REGSAM access) {
    HKEY opened = nullptr;
    const LONG result = RegOpenKeyExA(parent, subKey, 0, access, &opened);
    if (result != ERROR_SUCCESS) {
        return result;
    }
    close();
    key_ = opened;
    viewBits_ = access & kViewBits;
    return ERROR_SUCCESS;
}

LONG PlainRegKey::close() {
    LONG result = ERROR_SUCCESS;
    if (key_ != nullptr) {
        result = RegCloseKey(key_);
        key_ = nullptr;
    }
    viewBits_ = 0;
    return result;
}

LONG PlainRegKey::queryString(const char* name, char* buffer, DWORD* length) {
    if (length == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    const DWORD capacity = buffer != nullptr ? *length : 0;
    DWORD size = capacity;
    *length = 0;
    DWORD type = 0;
    const LONG result =
        RegQueryValueExA(key_, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
    if (result != ERROR_SUCCESS) {
        return result;
    }
    if (type != REG_SZ && type != REG_EXPAND_SZ) {
        return ERROR_INVALID_DATA;
    }
    if (buffer != nullptr) {
        if (size == 0) {
            // An empty value becomes the empty text, if the buffer has room for it at all.
            if (capacity == 0) {
                return ERROR_MORE_DATA;
            }
            buffer[0] = '\0';
        } else if (buffer[size - 1] != '\0') {
            // Unterminated text; the caller could read past its end.
            return ERROR_INVALID_DATA;
        }
    }
    *length = size;
    return ERROR_SUCCESS;
}

LONG PlainRegKey::setString(const char* name, const char* text, DWORD type) {
    if (text == nullptr) {
        return ERROR_INVALID_DATA;
    }
    const size_t size = std::strlen(text) + 1;
    if (size > MAXDWORD) {
        return ERROR_INVALID_DATA;
    }
    return RegSetValueExA(key_, name, 0, type, reinterpret_cast<const BYTE*>(text),
                          static_cast<DWORD>(size));
}

LONG PlainRegKey::deleteSubKey(const char* subKey) {
    const RegDeleteKeyExAFunction deleteKeyEx = regDeleteKeyEx();
    if (deleteKeyEx != nullptr) {
        return deleteKeyEx(key_, subKey, viewBits_, 0);
    }
    return RegDeleteKeyA(key_, subKey);
}

LONG PlainRegKey::deleteValue(const char* name) { return RegDeleteValueA(key_, name); }

RegKeyReader::~RegKeyReader() { close(); }

LONG RegKeyReader::open(const char* subKey, REGSAM access) {
    if (isOpen_) {
        close();
    }
    const LONG result = RegOpenKeyExA(root_, subKey, 0, access, &key_);
    if (result == ERROR_SUCCESS) {
        isOpen_ = true;
    }
    return result;
}

LONG RegKeyReader::queryValue(const char* name, RegValue& value) {
    DWORD size = 0;
    LONG result = RegQueryValueExA(key_, name, nullptr, &value.type, nullptr, &size);
    if (result != ERROR_SUCCESS) {
        value.type = 0;
        value.data.clear();
        return result;
    }
    value.data.resize(size);
    // A value that grew in between fails with ERROR_MORE_DATA rather than overrunning.
    result = RegQueryValueExA(key_, name, nullptr, &value.type,
                              value.data.empty() ? nullptr : value.data.data(), &size);
    return result;
}

LONG RegKeyReader::close() {
    if (!isOpen_) {
        return ERROR_SUCCESS;
    }
    const LONG result = RegCloseKey(key_);
    if (result == ERROR_SUCCESS) {
        isOpen_ = false;
        key_ = nullptr;
    }
    return result;
}
