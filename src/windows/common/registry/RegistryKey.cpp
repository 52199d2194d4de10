#include "RegistryKey.h"

#include <limits>
#include <stdexcept>

#include "RegistryData.h"
#include "RegistryView.h"

namespace {

// "<operation> (<name>) error: <detail>"
[[noreturn]] void throwRegistryError(const char* operation, const std::string& name,
                                     const std::string& detail) {
    throw std::runtime_error(std::string(operation) + " (" + name + ") error: " + detail);
}

[[noreturn]] void throwRegistryError(const char* operation, const std::string& name, LONG result) {
    // Printed as the unsigned value of the sign-extended result; registry results are never
    // negative, so this is the plain code.
    const auto code = static_cast<unsigned long long>(static_cast<long long>(result));
    throwRegistryError(operation, name, std::to_string(code));
}

DWORD checkedSize(const char* operation, const std::string& name, size_t size) {
    if (size > std::numeric_limits<DWORD>::max()) {
        throwRegistryError(operation, name, ERROR_INVALID_PARAMETER);
    }
    return static_cast<DWORD>(size);
}

}  // namespace

RegistryKey::~RegistryKey() { close(); }

RegistryKey& RegistryKey::localMachine() {
    static RegistryKey root(HKEY_LOCAL_MACHINE);
    return root;
}

RegistryKey& RegistryKey::currentUser() {
    static RegistryKey root(HKEY_CURRENT_USER);
    return root;
}

void RegistryKey::requireOpen() const {
    if (!isOpen()) {
        throw std::logic_error("the key is not opened");
    }
}

void RegistryKey::open(const RegistryKey& parent, const std::string& subKey,
                       registry_view::Access access, Create create, registry_view::View view) {
    parent.requireOpen();
    const REGSAM mask = registry_view::accessMask(
        access, view, view == registry_view::View::Product && use32BitRegistryView());
    HKEY opened = nullptr;
    LONG result;
    if (create == Create::IfMissing) {
        result = RegCreateKeyExA(parent.key_, subKey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                 mask, nullptr, &opened, nullptr);
    } else {
        result = RegOpenKeyExA(parent.key_, subKey.c_str(), 0, mask, &opened);
    }
    if (result != ERROR_SUCCESS) {
        throwRegistryError("open key", subKey, result);
    }
    close();
    key_ = opened;
    notOwned_ = false;
}

std::vector<uint8_t> RegistryKey::queryValue(const std::string& name, DWORD& type) const {
    requireOpen();
    std::vector<uint8_t> data;
    for (;;) {
        DWORD length = checkedSize("query value", name, data.size());
        const LONG result = RegQueryValueExA(key_, name.c_str(), nullptr, &type,
                                             data.empty() ? nullptr : data.data(), &length);
        if (result == ERROR_MORE_DATA) {
            // The value may have grown since the last call; never loop without growing.
            data.resize(length > data.size() ? length : data.size() * 2 + 1);
            continue;
        }
        if (result != ERROR_SUCCESS) {
            throwRegistryError("query value", name, result);
        }
        if (data.empty()) {
            if (length == 0) {
                return data;
            }
            data.resize(length);
            continue;
        }
        data.resize(length);
        return data;
    }
}

uint32_t RegistryKey::queryDword(const std::string& name) const {
    DWORD type = 0;
    const std::vector<uint8_t> data = queryValue(name, type);
    if (type != REG_DWORD) {
        throwRegistryError("query dword value", name, "wrong type");
    }
    if (data.size() != sizeof(uint32_t)) {
        throwRegistryError("query dword value", name, "wrong size");
    }
    return registry_data::dwordFromBytes(data.data());
}

std::string RegistryKey::queryString(const std::string& name) const {
    DWORD type = 0;
    const std::vector<uint8_t> data = queryValue(name, type);
    if (type != REG_SZ) {
        throwRegistryError("query string value", name, "wrong type");
    }
    std::string text(data.begin(), data.end());
    if (!text.empty() && text.back() == '\0') {
        text.pop_back();
    }
    return text;
}

std::vector<uint8_t> RegistryKey::queryBinary(const std::string& name) const {
    DWORD type = 0;
    std::vector<uint8_t> data = queryValue(name, type);
    if (type != REG_BINARY) {
        throwRegistryError("query binary value", name, "wrong type");
    }
    return data;
}

void RegistryKey::setDword(const std::string& name, uint32_t value) {
    requireOpen();
    const BYTE bytes[4] = {static_cast<BYTE>(value), static_cast<BYTE>(value >> 8),
                           static_cast<BYTE>(value >> 16), static_cast<BYTE>(value >> 24)};
    const LONG result = RegSetValueExA(key_, name.c_str(), 0, REG_DWORD, bytes, sizeof(bytes));
    if (result != ERROR_SUCCESS) {
        throwRegistryError("set dword value", name, result);
    }
}

void RegistryKey::setString(const std::string& name, const std::string& value) {
    requireOpen();
    const DWORD size = checkedSize("set string value", name, value.size() + 1);
    const LONG result = RegSetValueExA(key_, name.c_str(), 0, REG_SZ,
                                       reinterpret_cast<const BYTE*>(value.c_str()), size);
    if (result != ERROR_SUCCESS) {
        throwRegistryError("set string value", name, result);
    }
}

void RegistryKey::setBinary(const std::string& name, const void* data, size_t size) {
    requireOpen();
    const DWORD length = checkedSize("set binary value", name, size);
    const LONG result =
        RegSetValueExA(key_, name.c_str(), 0, REG_BINARY, static_cast<const BYTE*>(data), length);
    if (result != ERROR_SUCCESS) {
        throwRegistryError("set binary value", name, result);
    }
}

void RegistryKey::setBinary(const std::string& name, const std::vector<uint8_t>& data) {
    setBinary(name, data.data(), data.size());
}

LONG RegistryKey::close() {
    if (key_ == nullptr || notOwned_) {
        return ERROR_SUCCESS;
    }
    const LONG result = RegCloseKey(key_);
    key_ = nullptr;
    return result;
}
