#include "au/DataProtection.h"

#include <windows.h>

#include <wincrypt.h>

#include <limits>
#include <stdexcept>

#include "ScopedHandle.h"
#include "SysInfo.h"

namespace au {

namespace {

// crypt32 is loaded from the system directory on first use rather than imported: loading it
// costs a noticeable part of the launcher's start under Wine, and only the updater's settings
// need it, at the very end of a run.
struct Crypt32 {
    decltype(&::CryptProtectData) protect = nullptr;
    decltype(&::CryptUnprotectData) unprotect = nullptr;
    decltype(&::CryptBinaryToStringA) binaryToString = nullptr;
    decltype(&::CryptStringToBinaryA) stringToBinary = nullptr;

    static const Crypt32& get() {
        static const Crypt32 functions = load();
        if (functions.protect == nullptr) {
            throw std::runtime_error("crypt32.dll is not available");
        }
        return functions;
    }

  private:
    template <typename Function>
    static void find(HMODULE module, const char* name, Function& out) {
        out = reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    }
    static Crypt32 load() {
        Crypt32 functions;
        // Held for the rest of the process, like an imported library.
        const HMODULE module = CRE_System_LoadLibrary("crypt32.dll");
        if (module == nullptr) {
            return functions;
        }
        find(module, "CryptProtectData", functions.protect);
        find(module, "CryptUnprotectData", functions.unprotect);
        find(module, "CryptBinaryToStringA", functions.binaryToString);
        find(module, "CryptStringToBinaryA", functions.stringToBinary);
        if (functions.unprotect == nullptr || functions.binaryToString == nullptr ||
            functions.stringToBinary == nullptr) {
            functions.protect = nullptr;
        }
        return functions;
    }
};

[[noreturn]] void throwWithSystemError(const char* text) {
    const DWORD error = GetLastError();
    throw std::runtime_error(std::string(text) + std::to_string(static_cast<unsigned long>(error)));
}

DWORD checkedLength(size_t size, const char* text) {
    if (size > std::numeric_limits<DWORD>::max()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        throwWithSystemError(text);
    }
    return static_cast<DWORD>(size);
}

// Copies a DATA_BLOB the system allocated with LocalAlloc and releases it, also when the copy
// throws.
std::vector<uint8_t> takeBlob(DATA_BLOB& blob) {
    const ScopedLocalMemory owner(blob.pbData);
    blob.pbData = nullptr;
    const auto* bytes = static_cast<const uint8_t*>(owner.get());
    return std::vector<uint8_t>(bytes, bytes + blob.cbData);
}

}  // namespace

std::vector<uint8_t> protectForMachine(const std::vector<uint8_t>& data) {
    DATA_BLOB in;
    in.cbData = checkedLength(data.size(), "encryption failed, sysError=");
    in.pbData = const_cast<BYTE*>(data.data());
    DATA_BLOB out = {};
    if (!Crypt32::get().protect(&in, nullptr, nullptr, nullptr, nullptr,
                                CRYPTPROTECT_LOCAL_MACHINE | CRYPTPROTECT_UI_FORBIDDEN, &out)) {
        throwWithSystemError("encryption failed, sysError=");
    }
    return takeBlob(out);
}

std::vector<uint8_t> unprotectData(const std::vector<uint8_t>& blob) {
    DATA_BLOB in;
    in.cbData = checkedLength(blob.size(), "decryption failed, sysError=");
    in.pbData = const_cast<BYTE*>(blob.data());
    DATA_BLOB out = {};
    if (!Crypt32::get().unprotect(&in, nullptr, nullptr, nullptr, nullptr,
                                  CRYPTPROTECT_UI_FORBIDDEN, &out)) {
        throwWithSystemError("decryption failed, sysError=");
    }
    return takeBlob(out);
}

std::string binaryToBase64(const std::vector<uint8_t>& data) {
    if (data.empty()) {
        return std::string();
    }
    const DWORD flags = CRYPT_STRING_BASE64 | CRYPT_STRING_NOCRLF;
    const DWORD size = checkedLength(data.size(), "binary2string (phase1) failed, sysError=");
    DWORD length = 0;
    if (!Crypt32::get().binaryToString(data.data(), size, flags, nullptr, &length)) {
        throwWithSystemError("binary2string (phase1) failed, sysError=");
    }
    // The size query counts the terminating NUL.
    std::string text(length, '\0');
    if (!Crypt32::get().binaryToString(data.data(), size, flags, text.data(), &length)) {
        throwWithSystemError("binary2string (phase2) failed, sysError=");
    }
    // The conversion reports the length without the NUL.
    text.resize(std::min<size_t>(length, text.size()));
    while (!text.empty() && text.back() == '\0') {
        text.pop_back();
    }
    return text;
}

std::vector<uint8_t> base64ToBinary(const std::string& text) {
    if (text.empty()) {
        return std::vector<uint8_t>();
    }
    const DWORD length = checkedLength(text.size(), "string2binary (phase1) failed, sysError=");
    DWORD size = 0;
    if (!Crypt32::get().stringToBinary(text.data(), length, CRYPT_STRING_BASE64, nullptr, &size,
                                       nullptr, nullptr)) {
        throwWithSystemError("string2binary (phase1) failed, sysError=");
    }
    std::vector<uint8_t> data(size);
    if (!Crypt32::get().stringToBinary(text.data(), length, CRYPT_STRING_BASE64, data.data(), &size,
                                       nullptr, nullptr)) {
        throwWithSystemError("string2binary (phase2) failed, sysError=");
    }
    data.resize(std::min<size_t>(size, data.size()));
    return data;
}

std::vector<uint8_t> dwordBytes(uint32_t value) {
    return {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
            static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
}

}  // namespace au
