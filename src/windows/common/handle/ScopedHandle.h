// One owner for a Win32 handle or system-allocated buffer: released exactly once, movable, never
// copied. A traits class says what "no handle" is, which values are invalid and how to release.
// Releasing keeps the thread's last error, so a caller can still report the failure that made it
// give up after the handle is gone.
#pragma once

#include <windows.h>
#include <objbase.h>

template <typename Traits>
class ScopedHandle {
  public:
    using Handle = typename Traits::Handle;

    ScopedHandle() noexcept = default;
    explicit ScopedHandle(Handle handle) noexcept : handle_(handle) {}
    ~ScopedHandle() { reset(); }

    ScopedHandle(ScopedHandle&& other) noexcept : handle_(other.take()) {}
    ScopedHandle& operator=(ScopedHandle&& other) noexcept {
        if (this != &other) {
            reset(other.take());
        }
        return *this;
    }
    ScopedHandle(const ScopedHandle&) = delete;
    ScopedHandle& operator=(const ScopedHandle&) = delete;

    bool valid() const noexcept { return Traits::isValid(handle_); }
    explicit operator bool() const noexcept { return valid(); }
    Handle get() const noexcept { return handle_; }

    // Hands ownership to the caller; this object then holds nothing.
    Handle take() noexcept {
        Handle handle = handle_;
        handle_ = Traits::none();
        return handle;
    }

    // Releases what is held (if valid) and holds `handle` instead.
    void reset(Handle handle = Traits::none()) noexcept {
        if (Traits::isValid(handle_)) {
            const DWORD lastError = GetLastError();
            Traits::release(handle_);
            SetLastError(lastError);
        }
        handle_ = handle;
    }

    // For calls that return a handle through an out-parameter: releases what is held and
    // gives the address to fill.
    Handle* receive() noexcept {
        reset();
        return &handle_;
    }

  private:
    Handle handle_ = Traits::none();
};

// Kernel objects (processes, threads, files, events, pipes, mappings): CloseHandle. Both null and
// INVALID_HANDLE_VALUE mean "no handle", as the creating functions use either.
struct KernelHandleTraits {
    using Handle = HANDLE;
    static Handle none() noexcept { return nullptr; }
    static bool isValid(Handle handle) noexcept {
        return handle != nullptr && handle != INVALID_HANDLE_VALUE;
    }
    static void release(Handle handle) noexcept { CloseHandle(handle); }
};

// FindFirstFile handles: FindClose.
struct FindHandleTraits {
    using Handle = HANDLE;
    static Handle none() noexcept { return INVALID_HANDLE_VALUE; }
    static bool isValid(Handle handle) noexcept {
        return handle != nullptr && handle != INVALID_HANDLE_VALUE;
    }
    static void release(Handle handle) noexcept { FindClose(handle); }
};

// Buffers the system allocated with LocalAlloc (FormatMessage, CryptProtectData): LocalFree.
struct LocalMemoryTraits {
    using Handle = void*;
    static Handle none() noexcept { return nullptr; }
    static bool isValid(Handle handle) noexcept { return handle != nullptr; }
    static void release(Handle handle) noexcept { LocalFree(handle); }
};

// Buffers the shell allocated with the COM task allocator (SHGetKnownFolderPath): CoTaskMemFree.
struct CoTaskMemoryTraits {
    using Handle = void*;
    static Handle none() noexcept { return nullptr; }
    static bool isValid(Handle handle) noexcept { return handle != nullptr; }
    static void release(Handle handle) noexcept { CoTaskMemFree(handle); }
};

// Libraries loaded with LoadLibrary: FreeLibrary.
struct LibraryTraits {
    using Handle = HMODULE;
    static Handle none() noexcept { return nullptr; }
    static bool isValid(Handle handle) noexcept { return handle != nullptr; }
    static void release(Handle handle) noexcept { FreeLibrary(handle); }
};

using ScopedKernelHandle = ScopedHandle<KernelHandleTraits>;
using ScopedFindHandle = ScopedHandle<FindHandleTraits>;
using ScopedLocalMemory = ScopedHandle<LocalMemoryTraits>;
using ScopedCoTaskMemory = ScopedHandle<CoTaskMemoryTraits>;
using ScopedLibrary = ScopedHandle<LibraryTraits>;
