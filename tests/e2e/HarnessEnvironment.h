// What the stand-in msiexec and the scenario runner both take from the harness: environment
// variables, and Unix paths turned into the Windows paths Wine maps them to.
#pragma once

#include <windows.h>

#include <algorithm>
#include <string>

namespace e2e {

// The variable's value; empty when it is not set.
inline std::wstring variable(const wchar_t* name) {
    const DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
    if (size == 0) {
        return std::wstring();
    }
    std::wstring value(size, L'\0');
    value.resize(GetEnvironmentVariableW(name, value.data(), size));
    return value;
}

// The harness runs on Linux and may hand over Unix paths; Wine maps "/" to drive Z:.
inline std::wstring windowsPath(std::wstring path) {
    if (!path.empty() && path[0] == L'/') {
        std::replace(path.begin(), path.end(), L'/', L'\\');
        path = L"Z:" + path;
    }
    return path;
}

}  // namespace e2e
