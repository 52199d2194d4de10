// A registry key that reports every failure as an exception: a logic error for a key that is
// not open, a runtime error naming the operation, the key or value name and the Win32 result
// otherwise. Used by the updater settings store, which catches and logs.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "RegistryViewRule.h"

class RegistryKey {
  public:
    // Whether open() creates a key that is missing.
    enum class Create : uint8_t { No, IfMissing };

    // An empty key that owns what it will open.
    RegistryKey() = default;
    ~RegistryKey();
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;

    // The two process-wide roots. They are never closed.
    static RegistryKey& localMachine();
    static RegistryKey& currentUser();

    bool isOpen() const { return key_ != nullptr; }
    HKEY handle() const { return key_; }

    // Opens (or creates, when asked to and missing) subKey below parent's key with the access in
    // the view (registry_view::View::Product is the launcher's product view). On success the
    // previously held key is closed; on failure it is kept and a runtime error is thrown.
    void open(const RegistryKey& parent, const std::string& subKey, registry_view::Access access,
              Create create, registry_view::View view);

    // The bytes of a value of any size; its registry type goes to type.
    std::vector<uint8_t> queryValue(const std::string& name, DWORD& type) const;
    // A REG_DWORD of exactly four bytes.
    uint32_t queryDword(const std::string& name) const;
    // A REG_SZ; one trailing NUL is removed.
    std::string queryString(const std::string& name) const;
    // A REG_BINARY.
    std::vector<uint8_t> queryBinary(const std::string& name) const;

    void setDword(const std::string& name, uint32_t value);
    // Writes REG_SZ with the terminating NUL.
    void setString(const std::string& name, const std::string& value);
    void setBinary(const std::string& name, const void* data, size_t size);
    void setBinary(const std::string& name, const std::vector<uint8_t>& data);

    // Closes an owned key; a root is left open. Returns the Win32 result (0 when nothing was
    // held).
    LONG close();

  private:
    explicit RegistryKey(HKEY root) : key_(root), notOwned_(true) {}

    void requireOpen() const;

    HKEY key_ = nullptr;
    bool notOwned_ = false;
};
