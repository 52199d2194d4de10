// A stand-in for msiexec.exe in the end-to-end scenarios. The launcher finds it through the
// registry value InstallerLocation and runs it like the real one; it records what it was asked
// to do and plays the part that a scenario gives it.
//
// Environment:
//   CDK_STANDIN_RECORD  file to which one line per observation is appended (UTF-8)
//   CDK_STANDIN_RULES   rule file (UTF-8); without it the stand-in records and exits 0
// A path may be a Windows path or a Unix path, which is reached through drive Z:.
//
// Record lines:
//   cmd <command line as received>      always first
//   rule <n>                            the rule that matched, counted from 1
//   event <name> set|timeout            outcome of wait-event
//   file <name> <size>                  one per file found by list-files, in name order
//   probe <mode> <path> ok|error <n>    outcome of probe
//   run <exit code>                     exit code of a program started by run
//   kill-parent ok|error <n>            outcome of kill-parent
//   <verb> error <n>                    a registry action that failed
//
// Rule file: a rule starts with a line "when|<text>" and applies to a command line that
// contains the text (an empty text matches every command line); the first rule that matches
// wins. The lines after it, up to the next "when", are its actions, run in order:
//   once                                   the rule is used up after its first match; used
//                                          rules are listed in the file <rules>.used
//   exit|<code>                            exit code of this run (0 when not given)
//   sleep|<milliseconds>
//   reg-set|<32|64>|<HKLM|HKCU>\<key>|<value name>|<sz|dword>|<data>
//   reg-delete|<32|64>|<HKLM|HKCU>\<key>|<value name>
//   reg-delete-key|<32|64>|<HKLM|HKCU>\<key>    the key with all its subkeys
//   wait-event|<name>|<seconds>            wait until the named event exists and is set
//   list-files|<folder>|<pattern>          record the files found and their sizes
//   probe|<read|write|replace|delete|rename>|<path>
//                                          try to open the file for reading or writing, put
//                                          an empty file in its place, delete it, or rename it
//                                          (a file or folder) and, when that worked, back
//   run|<command line>                     start a program and wait for it
//   kill-parent|<exit code>                end the process that started this one
// Lines that begin with "#" and empty lines are ignored.
#include <windows.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "HarnessEnvironment.h"

namespace {

using e2e::variable;
using e2e::windowsPath;

using Fields = std::vector<std::wstring>;

struct Rule {
    std::wstring match;
    bool once = false;
    std::vector<Fields> actions;
};

std::string toUtf8(const std::wstring& text) {
    if (text.empty()) {
        return std::string();
    }
    const int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                           nullptr, 0, nullptr, nullptr);
    std::string result(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(),
                        length, nullptr, nullptr);
    return result;
}

std::wstring fromUtf8(const std::string& text) {
    if (text.empty()) {
        return std::wstring();
    }
    const int length =
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring result(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(),
                        length);
    return result;
}

std::string readFile(const std::wstring& path) {
    std::string content;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return content;
    }
    char buffer[4096];
    DWORD read = 0;
    while (ReadFile(file, buffer, sizeof(buffer), &read, nullptr) && read > 0) {
        content.append(buffer, read);
    }
    CloseHandle(file);
    return content;
}

void appendLine(const std::wstring& path, const std::wstring& line) {
    if (path.empty()) {
        return;
    }
    // One write per line, at the end of the file: records of nested stand-ins do not mix.
    HANDLE file = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return;
    }
    const std::string bytes = toUtf8(line) + "\n";
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
}

std::vector<std::wstring> lines(const std::wstring& text) {
    std::vector<std::wstring> result;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(L'\n', start);
        if (end == std::wstring::npos) {
            end = text.size();
        }
        std::wstring line = text.substr(start, end - start);
        if (!line.empty() && line.back() == L'\r') {
            line.pop_back();
        }
        result.push_back(line);
        start = end + 1;
    }
    return result;
}

Fields split(const std::wstring& line) {
    Fields fields;
    size_t start = 0;
    for (;;) {
        const size_t bar = line.find(L'|', start);
        fields.push_back(line.substr(start, bar == std::wstring::npos ? bar : bar - start));
        if (bar == std::wstring::npos) {
            return fields;
        }
        start = bar + 1;
    }
}

std::vector<Rule> readRules(const std::wstring& path) {
    std::vector<Rule> rules;
    for (const std::wstring& line : lines(fromUtf8(readFile(path)))) {
        if (line.empty() || line[0] == L'#') {
            continue;
        }
        if (line.rfind(L"when|", 0) == 0) {
            rules.push_back(Rule{line.substr(5), false, {}});
        } else if (!rules.empty() && line == L"once") {
            rules.back().once = true;
        } else if (!rules.empty()) {
            rules.back().actions.push_back(split(line));
        }
    }
    return rules;
}

std::set<size_t> readUsedRules(const std::wstring& usedPath) {
    std::set<size_t> used;
    for (const std::wstring& line : lines(fromUtf8(readFile(usedPath)))) {
        if (!line.empty()) {
            used.insert(std::wcstoul(line.c_str(), nullptr, 10));
        }
    }
    return used;
}

std::wstring field(const Fields& fields, size_t index) {
    return index < fields.size() ? fields[index] : std::wstring();
}

// "HKLM\SOFTWARE\X" with view "64" -> root, subkey and the access flag of that view.
bool parseKey(const Fields& action, HKEY& root, std::wstring& subkey, REGSAM& view) {
    const std::wstring path = field(action, 2);
    const size_t slash = path.find(L'\\');
    const std::wstring rootName = path.substr(0, slash);
    if (rootName == L"HKLM") {
        root = HKEY_LOCAL_MACHINE;
    } else if (rootName == L"HKCU") {
        root = HKEY_CURRENT_USER;
    } else {
        return false;
    }
    subkey = slash == std::wstring::npos ? std::wstring() : path.substr(slash + 1);
    view = field(action, 1) == L"32" ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
    return true;
}

LSTATUS registryAction(const Fields& action) {
    HKEY root = nullptr;
    std::wstring subkey;
    REGSAM view = 0;
    if (!parseKey(action, root, subkey, view)) {
        return ERROR_INVALID_PARAMETER;
    }
    const std::wstring& verb = action[0];
    const std::wstring name = field(action, 3);
    HKEY key = nullptr;
    LSTATUS status = ERROR_SUCCESS;
    if (verb == L"reg-set") {
        status = RegCreateKeyExW(root, subkey.c_str(), 0, nullptr, 0, KEY_SET_VALUE | view, nullptr,
                                 &key, nullptr);
        if (status == ERROR_SUCCESS) {
            const std::wstring data = field(action, 5);
            if (field(action, 4) == L"dword") {
                const DWORD number = std::wcstoul(data.c_str(), nullptr, 10);
                status = RegSetValueExW(key, name.c_str(), 0, REG_DWORD,
                                        reinterpret_cast<const BYTE*>(&number), sizeof(number));
            } else {
                status = RegSetValueExW(key, name.c_str(), 0, REG_SZ,
                                        reinterpret_cast<const BYTE*>(data.c_str()),
                                        static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
            }
        }
    } else if (verb == L"reg-delete") {
        status = RegOpenKeyExW(root, subkey.c_str(), 0, KEY_SET_VALUE | view, &key);
        if (status == ERROR_SUCCESS) {
            status = RegDeleteValueW(key, name.c_str());
        }
    } else {
        const size_t slash = subkey.rfind(L'\\');
        const std::wstring parent = slash == std::wstring::npos ? L"" : subkey.substr(0, slash);
        const std::wstring leaf = subkey.substr(slash == std::wstring::npos ? 0 : slash + 1);
        status = RegOpenKeyExW(root, parent.c_str(), 0, KEY_ALL_ACCESS | view, &key);
        if (status == ERROR_SUCCESS) {
            status = RegDeleteTreeW(key, leaf.c_str());
        }
    }
    if (key != nullptr) {
        RegCloseKey(key);
    }
    return status;
}

std::wstring waitForEvent(const std::wstring& name, DWORD seconds) {
    const ULONGLONG deadline = GetTickCount64() + seconds * 1000ULL;
    // The launcher creates the event just before it starts msiexec, but a stand-in run by
    // another rule may be early: keep trying until it exists.
    HANDLE event = nullptr;
    while ((event = OpenEventW(SYNCHRONIZE, FALSE, name.c_str())) == nullptr) {
        if (GetTickCount64() >= deadline) {
            return L"timeout";
        }
        Sleep(10);
    }
    const ULONGLONG now = GetTickCount64();
    const DWORD remaining = now >= deadline ? 0 : static_cast<DWORD>(deadline - now);
    const DWORD result = WaitForSingleObject(event, remaining);
    CloseHandle(event);
    return result == WAIT_OBJECT_0 ? L"set" : L"timeout";
}

void listFiles(const std::wstring& record, const std::wstring& folder,
               const std::wstring& pattern) {
    std::vector<std::wstring> found;
    WIN32_FIND_DATAW data;
    HANDLE search = FindFirstFileW((folder + L"\\" + pattern).c_str(), &data);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
                const ULONGLONG size =
                    (static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
                found.push_back(std::wstring(data.cFileName) + L" " + std::to_wstring(size));
            }
        } while (FindNextFileW(search, &data));
        FindClose(search);
    }
    std::sort(found.begin(), found.end());
    for (const std::wstring& entry : found) {
        appendLine(record, L"file " + entry);
    }
}

DWORD probe(const std::wstring& mode, const std::wstring& path) {
    if (mode == L"delete") {
        return DeleteFileW(path.c_str()) ? ERROR_SUCCESS : GetLastError();
    }
    if (mode == L"rename") {
        // The swap of a folder on a path starts with moving it aside; a Unix rename from the
        // harness would ignore the share modes that are to be shown here.
        const std::wstring aside = path + L".standin-moved";
        if (!MoveFileExW(path.c_str(), aside.c_str(), 0)) {
            return GetLastError();
        }
        MoveFileExW(aside.c_str(), path.c_str(), 0);
        return ERROR_SUCCESS;
    }
    if (mode == L"replace") {
        // Put an empty file in its place, the way a program saves a file safely.
        const std::wstring temporary = path + L".standin-new";
        HANDLE file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            return GetLastError();
        }
        CloseHandle(file);
        if (!MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) {
            const DWORD error = GetLastError();
            DeleteFileW(temporary.c_str());
            return error;
        }
        return ERROR_SUCCESS;
    }
    // Share everything: only a holder that denies this use makes the open fail.
    const DWORD access = mode == L"write" ? GENERIC_WRITE : GENERIC_READ;
    HANDLE file =
        CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return GetLastError();
    }
    CloseHandle(file);
    return ERROR_SUCCESS;
}

// Runs a command line and returns its exit code, or the system error when it cannot start.
DWORD runProgram(std::wstring commandLine) {
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        return GetLastError();
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return code;
}

DWORD killParent(UINT code) {
    const DWORD self = GetCurrentProcessId();
    DWORD parent = 0;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) {
        return GetLastError();
    }
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot, &entry); more;
         more = Process32NextW(snapshot, &entry)) {
        if (entry.th32ProcessID == self) {
            parent = entry.th32ParentProcessID;
        }
    }
    CloseHandle(snapshot);
    HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, parent);
    if (process == nullptr) {
        return GetLastError();
    }
    DWORD result = ERROR_SUCCESS;
    if (!TerminateProcess(process, code)) {
        result = GetLastError();
    } else {
        WaitForSingleObject(process, 10000);
    }
    CloseHandle(process);
    return result;
}

std::wstring outcome(DWORD error) {
    return error == ERROR_SUCCESS ? L"ok" : L"error " + std::to_wstring(error);
}

// Runs the actions of one rule and returns the exit code they chose.
int perform(const Rule& rule, const std::wstring& record) {
    int exitCode = 0;
    for (const Fields& action : rule.actions) {
        const std::wstring& verb = action[0];
        if (verb == L"exit") {
            exitCode = static_cast<int>(std::wcstol(field(action, 1).c_str(), nullptr, 10));
        } else if (verb == L"sleep") {
            Sleep(std::wcstoul(field(action, 1).c_str(), nullptr, 10));
        } else if (verb == L"reg-set" || verb == L"reg-delete" || verb == L"reg-delete-key") {
            const LSTATUS status = registryAction(action);
            if (status != ERROR_SUCCESS) {
                appendLine(record, verb + L" error " + std::to_wstring(status));
            }
        } else if (verb == L"wait-event") {
            const DWORD seconds = std::wcstoul(field(action, 2).c_str(), nullptr, 10);
            appendLine(record, L"event " + field(action, 1) + L" " +
                                   waitForEvent(field(action, 1), seconds));
        } else if (verb == L"list-files") {
            listFiles(record, field(action, 1), field(action, 2));
        } else if (verb == L"probe") {
            appendLine(record, L"probe " + field(action, 1) + L" " + field(action, 2) + L" " +
                                   outcome(probe(field(action, 1), field(action, 2))));
        } else if (verb == L"run") {
            appendLine(record,
                       L"run " + std::to_wstring(static_cast<int>(runProgram(field(action, 1)))));
        } else if (verb == L"kill-parent") {
            const UINT code = static_cast<UINT>(std::wcstol(field(action, 1).c_str(), nullptr, 10));
            appendLine(record, L"kill-parent " + outcome(killParent(code)));
        } else {
            appendLine(record, L"unknown-action " + verb);
        }
    }
    return exitCode;
}

}  // namespace

int main() {
    const std::wstring commandLine = GetCommandLineW();
    const std::wstring record = windowsPath(variable(L"CDK_STANDIN_RECORD"));
    appendLine(record, L"cmd " + commandLine);

    const std::wstring rulesPath = windowsPath(variable(L"CDK_STANDIN_RULES"));
    if (rulesPath.empty()) {
        return 0;
    }
    const std::wstring usedPath = rulesPath + L".used";
    const std::vector<Rule> rules = readRules(rulesPath);
    const std::set<size_t> used = readUsedRules(usedPath);
    for (size_t index = 0; index < rules.size(); ++index) {
        const Rule& rule = rules[index];
        if (used.count(index) != 0 || commandLine.find(rule.match) == std::wstring::npos) {
            continue;
        }
        if (rule.once) {
            appendLine(usedPath, std::to_wstring(index));
        }
        appendLine(record, L"rule " + std::to_wstring(index + 1));
        return perform(rule, record);
    }
    return 0;
}
