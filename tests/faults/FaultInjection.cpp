// Fault injection for the test variant cdk-setup-faults.exe; never linked into the shipped
// program. Its static object is built before the program's own (init_priority 101) and rewrites
// the import table entries of the program and of the C runtime (whose own kernel32 calls carry
// the settings file's and the log's I/O) for the fallible functions of kernel32, advapi32,
// user32, shell32 and version, and answers GetProcAddress for them with the same wrappers.
//
// CDK_FAULTS chooses what the wrappers do:
//   count:<file>                                 each call is counted by its point, and the
//                                                table is written to <file> as the process ends
//   fail:<function>:<site>:<thread>:<n>:<error>  the nth call at that point fails: the
//                                                function's failure value, last error <error>
//   kill:<function>:<site>:<thread>:<n>          the process ends at the nth call at that point
// and CDK_FAULT_BOXES, when set, names a file that receives each message box shown.
// A point is the function, its call site (the caller's module and the return address's offset
// in it: "exe+1a2b", "msvcrt+3c4d") and the thread ("main", or "worker" for any other). Unset,
// every call goes straight through.
#include <windows.h>

#include <aclapi.h>
#include <sddl.h>
#include <shlobj.h>
#include <winver.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <tuple>

namespace {

// ---- The plan ----

enum class Mode { Off, Count, Fail, Kill };

struct Plan {
    Mode mode = Mode::Off;
    std::string file;  // count
    std::string function, site, thread;
    long occurrence = 0;
    DWORD error = 0;
};

// Built with the same priority as the object below and before it: the program's own objects,
// built later, must not find it unset.
__attribute__((init_priority(101))) Plan plan;
DWORD mainThread = 0;
SRWLOCK lock = SRWLOCK_INIT;
std::map<std::tuple<std::string, std::string, std::string>, long>* counts = nullptr;
// Whether this thread is in this file's own bookkeeping, whose calls go through. A TLS slot of
// the system's: the compiler's thread_local allocates on first use, through calls that are
// wrapped themselves.
DWORD insideSlot = TLS_OUT_OF_INDEXES;

bool isInside() { return TlsGetValue(insideSlot) != nullptr; }
void setInside(bool value) {
    TlsSetValue(insideSlot, value ? reinterpret_cast<void*>(1) : nullptr);
}

void parsePlan(const char* text) {
    std::string rest(text);
    auto next = [&rest]() {
        const std::size_t cut = rest.find(':');
        std::string part = rest.substr(0, cut);
        rest = cut == std::string::npos ? std::string() : rest.substr(cut + 1);
        return part;
    };
    const std::string mode = next();
    if (mode == "count") {
        plan.mode = Mode::Count;
        plan.file = rest;  // a Windows path holds ':' itself
        return;
    }
    if (mode != "fail" && mode != "kill") return;
    plan.mode = mode == "fail" ? Mode::Fail : Mode::Kill;
    plan.function = next();
    plan.site = next();
    plan.thread = next();
    plan.occurrence = std::strtol(next().c_str(), nullptr, 10);
    if (plan.mode == Mode::Fail) plan.error = std::strtoul(next().c_str(), nullptr, 10);
}

std::string siteOf(void* returnAddress) {
    HMODULE module = nullptr;
    GetModuleHandleExW(
        GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
        static_cast<LPCWSTR>(returnAddress), &module);
    char name[MAX_PATH] = "?";
    if (module == GetModuleHandleW(nullptr)) {
        std::strcpy(name, "exe");
    } else if (module != nullptr) {
        char path[MAX_PATH] = {};
        GetModuleFileNameA(module, path, MAX_PATH);
        const char* base = std::strrchr(path, '\\');
        std::snprintf(name, sizeof(name), "%s", base != nullptr ? base + 1 : path);
        if (char* dot = std::strrchr(name, '.')) *dot = '\0';
    }
    char site[MAX_PATH + 32];
    std::snprintf(site, sizeof(site), "%s+%llx", name,
                  static_cast<unsigned long long>(reinterpret_cast<char*>(returnAddress) -
                                                  reinterpret_cast<char*>(module)));
    return site;
}

// What a wrapper does with this call: go through, fail, or (never returning) end the process.
bool shouldFail(const char* function, void* returnAddress) {
    if (plan.mode == Mode::Off || isInside()) return false;
    setInside(true);
    const std::string site = siteOf(returnAddress);
    const std::string thread = GetCurrentThreadId() == mainThread ? "main" : "worker";
    AcquireSRWLockExclusive(&lock);
    const long n = ++(*counts)[{function, site, thread}];
    ReleaseSRWLockExclusive(&lock);
    bool fail = false;
    if (plan.mode != Mode::Count && n == plan.occurrence && plan.function == function &&
        plan.site == site && plan.thread == thread) {
        if (plan.mode == Mode::Kill) {
            TerminateProcess(GetCurrentProcess(), 0xDEAD);
        }
        fail = true;
    }
    setInside(false);
    return fail;
}

void writeCounts() {
    if (plan.mode != Mode::Count || counts == nullptr) return;
    setInside(true);
    AcquireSRWLockExclusive(&lock);
    if (FILE* out = std::fopen(plan.file.c_str(), "w")) {
        for (const auto& [point, n] : *counts) {
            std::fprintf(out, "%s %s %s %ld\n", std::get<0>(point).c_str(),
                         std::get<1>(point).c_str(), std::get<2>(point).c_str(), n);
        }
        std::fclose(out);
    }
    ReleaseSRWLockExclusive(&lock);
    setInside(false);
}

// ---- The wrappers ----
//
// One per function: the original's address, and a wrapper of the same signature and calling
// convention, so that a wrapper may return the failure value without calling the original.

#define CDK_FAULT_HOOKS(X)                                                                         \
    X(CreateDirectoryW, BOOL, (LPCWSTR a, LPSECURITY_ATTRIBUTES b), (a, b), FALSE)                 \
    X(CreateEventA, HANDLE, (LPSECURITY_ATTRIBUTES a, BOOL b, BOOL c, LPCSTR d), (a, b, c, d),     \
      nullptr)                                                                                     \
    X(CreateFileA, HANDLE,                                                                         \
      (LPCSTR a, DWORD b, DWORD c, LPSECURITY_ATTRIBUTES d, DWORD e, DWORD f, HANDLE g),           \
      (a, b, c, d, e, f, g), INVALID_HANDLE_VALUE)                                                 \
    X(CreateFileW, HANDLE,                                                                         \
      (LPCWSTR a, DWORD b, DWORD c, LPSECURITY_ATTRIBUTES d, DWORD e, DWORD f, HANDLE g),          \
      (a, b, c, d, e, f, g), INVALID_HANDLE_VALUE)                                                 \
    X(CreatePipe, BOOL, (PHANDLE a, PHANDLE b, LPSECURITY_ATTRIBUTES c, DWORD d), (a, b, c, d),    \
      FALSE)                                                                                       \
    X(CreateProcessA, BOOL,                                                                        \
      (LPCSTR a, LPSTR b, LPSECURITY_ATTRIBUTES c, LPSECURITY_ATTRIBUTES d, BOOL e, DWORD f,       \
       LPVOID g, LPCSTR h, LPSTARTUPINFOA i, LPPROCESS_INFORMATION j),                             \
      (a, b, c, d, e, f, g, h, i, j), FALSE)                                                       \
    X(CreateThread, HANDLE,                                                                        \
      (LPSECURITY_ATTRIBUTES a, SIZE_T b, LPTHREAD_START_ROUTINE c, LPVOID d, DWORD e, LPDWORD f), \
      (a, b, c, d, e, f), nullptr)                                                                 \
    X(DeleteFileA, BOOL, (LPCSTR a), (a), FALSE)                                                   \
    X(DeleteFileW, BOOL, (LPCWSTR a), (a), FALSE)                                                  \
    X(DuplicateHandle, BOOL, (HANDLE a, HANDLE b, HANDLE c, LPHANDLE d, DWORD e, BOOL f, DWORD g), \
      (a, b, c, d, e, f, g), FALSE)                                                                \
    X(FindResourceA, HRSRC, (HMODULE a, LPCSTR b, LPCSTR c), (a, b, c), nullptr)                   \
    X(FlushFileBuffers, BOOL, (HANDLE a), (a), FALSE)                                              \
    X(GetCurrentDirectoryW, DWORD, (DWORD a, LPWSTR b), (a, b), 0)                                 \
    X(GetExitCodeProcess, BOOL, (HANDLE a, LPDWORD b), (a, b), FALSE)                              \
    X(GetFileAttributesA, DWORD, (LPCSTR a), (a), INVALID_FILE_ATTRIBUTES)                         \
    X(GetFileAttributesW, DWORD, (LPCWSTR a), (a), INVALID_FILE_ATTRIBUTES)                        \
    X(GetFileInformationByHandle, BOOL, (HANDLE a, LPBY_HANDLE_FILE_INFORMATION b), (a, b), FALSE) \
    X(GetFileInformationByHandleEx, BOOL,                                                          \
      (HANDLE a, FILE_INFO_BY_HANDLE_CLASS b, LPVOID c, DWORD d), (a, b, c, d), FALSE)             \
    X(GetFinalPathNameByHandleW, DWORD, (HANDLE a, LPWSTR b, DWORD c, DWORD d), (a, b, c, d), 0)   \
    X(GetModuleFileNameA, DWORD, (HMODULE a, LPSTR b, DWORD c), (a, b, c), 0)                      \
    X(GetShortPathNameW, DWORD, (LPCWSTR a, LPWSTR b, DWORD c), (a, b, c), 0)                      \
    X(GetSystemDirectoryA, UINT, (LPSTR a, UINT b), (a, b), 0)                                     \
    X(GetTempPathW, DWORD, (DWORD a, LPWSTR b), (a, b), 0)                                         \
    X(GetVersionExA, BOOL, (LPOSVERSIONINFOA a), (a), FALSE)                                       \
    X(LoadLibraryA, HMODULE, (LPCSTR a), (a), nullptr)                                             \
    X(LoadLibraryW, HMODULE, (LPCWSTR a), (a), nullptr)                                            \
    X(LoadResource, HGLOBAL, (HMODULE a, HRSRC b), (a, b), nullptr)                                \
    X(LockResource, LPVOID, (HGLOBAL a), (a), nullptr)                                             \
    X(MoveFileExW, BOOL, (LPCWSTR a, LPCWSTR b, DWORD c), (a, b, c), FALSE)                        \
    X(MultiByteToWideChar, int, (UINT a, DWORD b, LPCCH c, int d, LPWSTR e, int f),                \
      (a, b, c, d, e, f), 0)                                                                       \
    X(OpenProcess, HANDLE, (DWORD a, BOOL b, DWORD c), (a, b, c), nullptr)                         \
    X(ReadFile, BOOL, (HANDLE a, LPVOID b, DWORD c, LPDWORD d, LPOVERLAPPED e), (a, b, c, d, e),   \
      FALSE)                                                                                       \
    X(ReplaceFileW, BOOL, (LPCWSTR a, LPCWSTR b, LPCWSTR c, DWORD d, LPVOID e, LPVOID f),          \
      (a, b, c, d, e, f), FALSE)                                                                   \
    X(ResetEvent, BOOL, (HANDLE a), (a), FALSE)                                                    \
    X(SetDllDirectoryA, BOOL, (LPCSTR a), (a), FALSE)                                              \
    X(SetEndOfFile, BOOL, (HANDLE a), (a), FALSE)                                                  \
    X(SetEvent, BOOL, (HANDLE a), (a), FALSE)                                                      \
    X(SetFileInformationByHandle, BOOL,                                                            \
      (HANDLE a, FILE_INFO_BY_HANDLE_CLASS b, LPVOID c, DWORD d), (a, b, c, d), FALSE)             \
    X(SetFilePointer, DWORD, (HANDLE a, LONG b, PLONG c, DWORD d), (a, b, c, d),                   \
      INVALID_SET_FILE_POINTER)                                                                    \
    X(SetFilePointerEx, BOOL, (HANDLE a, LARGE_INTEGER b, PLARGE_INTEGER c, DWORD d),              \
      (a, b, c, d), FALSE)                                                                         \
    X(SizeofResource, DWORD, (HMODULE a, HRSRC b), (a, b), 0)                                      \
    X(WaitForMultipleObjects, DWORD, (DWORD a, const HANDLE* b, BOOL c, DWORD d), (a, b, c, d),    \
      WAIT_FAILED)                                                                                 \
    X(WaitForSingleObject, DWORD, (HANDLE a, DWORD b), (a, b), WAIT_FAILED)                        \
    X(WideCharToMultiByte, int,                                                                    \
      (UINT a, DWORD b, LPCWCH c, int d, LPSTR e, int f, LPCCH g, LPBOOL h),                       \
      (a, b, c, d, e, f, g, h), 0)                                                                 \
    X(WriteFile, BOOL, (HANDLE a, LPCVOID b, DWORD c, LPDWORD d, LPOVERLAPPED e), (a, b, c, d, e), \
      FALSE)                                                                                       \
    X(ConvertSidToStringSidA, BOOL, (PSID a, LPSTR * b), (a, b), FALSE)                            \
    X(CreateWellKnownSid, BOOL, (WELL_KNOWN_SID_TYPE a, PSID b, PSID c, DWORD * d), (a, b, c, d),  \
      FALSE)                                                                                       \
    X(GetAce, BOOL, (PACL a, DWORD b, LPVOID * c), (a, b, c), FALSE)                               \
    X(LoadStringA, int, (HINSTANCE a, UINT b, LPSTR c, int d), (a, b, c, d), 0)                    \
    X(MsgWaitForMultipleObjectsEx, DWORD, (DWORD a, const HANDLE* b, DWORD c, DWORD d, DWORD e),   \
      (a, b, c, d, e), WAIT_FAILED)                                                                \
    X(GetFileVersionInfoA, BOOL, (LPCSTR a, DWORD b, DWORD c, LPVOID d), (a, b, c, d), FALSE)      \
    X(VerQueryValueA, BOOL, (LPCVOID a, LPCSTR b, LPVOID * c, PUINT d), (a, b, c, d), FALSE)

// Functions whose result is the error code itself.
#define CDK_FAULT_CODE_HOOKS(X)                                                                    \
    X(RegCreateKeyExA, LONG,                                                                       \
      (HKEY a, LPCSTR b, DWORD c, LPSTR d, DWORD e, REGSAM f, LPSECURITY_ATTRIBUTES g, PHKEY h,    \
       LPDWORD i),                                                                                 \
      (a, b, c, d, e, f, g, h, i), LONG)                                                           \
    X(RegDeleteKeyA, LONG, (HKEY a, LPCSTR b), (a, b), LONG)                                       \
    X(RegDeleteValueA, LONG, (HKEY a, LPCSTR b), (a, b), LONG)                                     \
    X(RegOpenKeyExA, LONG, (HKEY a, LPCSTR b, DWORD c, REGSAM d, PHKEY e), (a, b, c, d, e), LONG)  \
    X(RegQueryInfoKeyA, LONG,                                                                      \
      (HKEY a, LPSTR b, LPDWORD c, LPDWORD d, LPDWORD e, LPDWORD f, LPDWORD g, LPDWORD h,          \
       LPDWORD i, LPDWORD j, LPDWORD k, PFILETIME l),                                              \
      (a, b, c, d, e, f, g, h, i, j, k, l), LONG)                                                  \
    X(RegQueryValueExA, LONG, (HKEY a, LPCSTR b, LPDWORD c, LPDWORD d, LPBYTE e, LPDWORD f),       \
      (a, b, c, d, e, f), LONG)                                                                    \
    X(RegSetValueExA, LONG, (HKEY a, LPCSTR b, DWORD c, DWORD d, const BYTE* e, DWORD f),          \
      (a, b, c, d, e, f), LONG)                                                                    \
    X(GetSecurityInfo, DWORD,                                                                      \
      (HANDLE a, SE_OBJECT_TYPE b, SECURITY_INFORMATION c, PSID * d, PSID * e, PACL * f, PACL * g, \
       PSECURITY_DESCRIPTOR * h),                                                                  \
      (a, b, c, d, e, f, g, h), DWORD)                                                             \
    X(SetSecurityInfo, DWORD,                                                                      \
      (HANDLE a, SE_OBJECT_TYPE b, SECURITY_INFORMATION c, PSID d, PSID e, PACL f, PACL g),        \
      (a, b, c, d, e, f, g), DWORD)                                                                \
    X(SHGetFolderPathW, HRESULT, (HWND a, int b, HANDLE c, DWORD d, LPWSTR e), (a, b, c, d, e),    \
      HRESULT)

#define CDK_DECLARE(name, result, params, args, failure)      \
    using name##_t = result(WINAPI*) params;                  \
    name##_t original_##name = nullptr;                       \
    result WINAPI hook_##name params {                        \
        if (shouldFail(#name, __builtin_return_address(0))) { \
            SetLastError(plan.error);                         \
            return failure;                                   \
        }                                                     \
        return original_##name args;                          \
    }
CDK_FAULT_HOOKS(CDK_DECLARE)

// The code's own failure: the error as the function's result (an HRESULT made from it).
template <typename T>
T failureCode(DWORD error) {
    return static_cast<T>(error);
}
template <>
HRESULT failureCode<HRESULT>(DWORD error) {
    return HRESULT_FROM_WIN32(error);
}

#define CDK_DECLARE_CODE(name, result, params, args, kind)    \
    using name##_t = result(WINAPI*) params;                  \
    name##_t original_##name = nullptr;                       \
    result WINAPI hook_##name params {                        \
        if (shouldFail(#name, __builtin_return_address(0))) { \
            return failureCode<kind>(plan.error);             \
        }                                                     \
        return original_##name args;                          \
    }
CDK_FAULT_CODE_HOOKS(CDK_DECLARE_CODE)

// Message boxes are also written down, one line each ("<caption>|<text>"), to the file that
// CDK_FAULT_BOXES names, so that the sweep sees which boxes a silent run showed.
using MessageBoxA_t = int(WINAPI*)(HWND, LPCSTR, LPCSTR, UINT);
MessageBoxA_t original_MessageBoxA = nullptr;
int WINAPI hook_MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
    if (!isInside()) {
        setInside(true);
        char boxes[MAX_PATH] = {};
        if (GetEnvironmentVariableA("CDK_FAULT_BOXES", boxes, sizeof(boxes)) > 0) {
            // One line per box: its line breaks become blanks.
            std::string line = std::string(caption != nullptr ? caption : "") + "|" +
                               (text != nullptr ? text : "");
            for (char& c : line) {
                if (c == '\r' || c == '\n') c = ' ';
            }
            if (FILE* out = std::fopen(boxes, "a")) {
                std::fprintf(out, "%s\n", line.c_str());
                std::fclose(out);
            }
        }
        setInside(false);
    }
    if (shouldFail("MessageBoxA", __builtin_return_address(0))) {
        SetLastError(plan.error);
        return 0;
    }
    return original_MessageBoxA(owner, text, caption, type);
}

// The process's end writes the count table first.
using ExitProcess_t = void(WINAPI*)(UINT);
ExitProcess_t original_ExitProcess = nullptr;
void WINAPI hook_ExitProcess(UINT code) {
    if (shouldFail("ExitProcess", __builtin_return_address(0))) {
        // A kill point only: ExitProcess has no failure.
    }
    writeCounts();
    original_ExitProcess(code);
}

struct Hook {
    const char* name;
    void* hook;
    void** original;
};

#define CDK_ENTRY(name, result, params, args, failure) \
    {#name, reinterpret_cast<void*>(&hook_##name), reinterpret_cast<void**>(&original_##name)},
const Hook hooks[] = {CDK_FAULT_HOOKS(CDK_ENTRY) CDK_FAULT_CODE_HOOKS(CDK_ENTRY){
                          "ExitProcess", reinterpret_cast<void*>(&hook_ExitProcess),
                          reinterpret_cast<void**>(&original_ExitProcess)},
                      {"MessageBoxA", reinterpret_cast<void*>(&hook_MessageBoxA),
                       reinterpret_cast<void**>(&original_MessageBoxA)}};

const Hook* findHook(const char* name) {
    for (const Hook& hook : hooks) {
        if (std::strcmp(hook.name, name) == 0) return &hook;
    }
    return nullptr;
}

using GetProcAddress_t = FARPROC(WINAPI*)(HMODULE, LPCSTR);
GetProcAddress_t original_GetProcAddress = nullptr;
// Functions looked up at run time get the wrapper too.
FARPROC WINAPI hook_GetProcAddress(HMODULE module, LPCSTR name) {
    const FARPROC found = original_GetProcAddress(module, name);
    if (found == nullptr || IS_INTRESOURCE(name)) return found;
    if (const Hook* hook = findHook(name)) {
        if (*hook->original == nullptr) *hook->original = reinterpret_cast<void*>(found);
        if (*hook->original == reinterpret_cast<void*>(found)) {
            return reinterpret_cast<FARPROC>(hook->hook);
        }
    }
    return found;
}

// Points every import table entry of `module` that names a hooked function at its wrapper.
void patchImports(HMODULE module) {
    auto* base = reinterpret_cast<BYTE*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& directory =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (directory.VirtualAddress == 0) return;
    for (auto* entry = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + directory.VirtualAddress);
         entry->Name != 0; ++entry) {
        if (entry->OriginalFirstThunk == 0) continue;
        auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + entry->OriginalFirstThunk);
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + entry->FirstThunk);
        for (; names->u1.AddressOfData != 0; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
            const auto* byName =
                reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            const char* name = reinterpret_cast<const char*>(byName->Name);
            void* replacement = nullptr;
            void** original = nullptr;
            if (std::strcmp(name, "GetProcAddress") == 0) {
                replacement = reinterpret_cast<void*>(&hook_GetProcAddress);
                original = reinterpret_cast<void**>(&original_GetProcAddress);
            } else if (const Hook* hook = findHook(name)) {
                replacement = hook->hook;
                original = hook->original;
            }
            if (replacement == nullptr) continue;
            void* current = reinterpret_cast<void*>(slots->u1.Function);
            if (current == replacement) continue;
            if (*original == nullptr) *original = current;
            DWORD protection = 0;
            VirtualProtect(&slots->u1.Function, sizeof(void*), PAGE_READWRITE, &protection);
            slots->u1.Function = reinterpret_cast<ULONG_PTR>(replacement);
            VirtualProtect(&slots->u1.Function, sizeof(void*), protection, &protection);
        }
    }
}

struct FaultInjection {
    FaultInjection() {
        char text[1024] = {};
        if (GetEnvironmentVariableA("CDK_FAULTS", text, sizeof(text)) == 0) return;
        mainThread = GetCurrentThreadId();
        insideSlot = TlsAlloc();
        counts = new std::map<std::tuple<std::string, std::string, std::string>, long>();
        parsePlan(text);
        if (plan.mode == Mode::Off) return;
        patchImports(GetModuleHandleW(nullptr));
        if (HMODULE runtime = GetModuleHandleW(L"msvcrt.dll")) patchImports(runtime);
        std::atexit(writeCounts);
    }
};

__attribute__((init_priority(101))) FaultInjection faultInjection;

}  // namespace
