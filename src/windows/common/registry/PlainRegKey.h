// Registry keys for the launcher's own markers and probes: every operation returns the Win32
// result (0 for success) and nothing throws. ERROR_INVALID_DATA (13) stands for a value of the
// wrong type, a text without its terminator or a null text.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

class PlainRegKey {
  public:
    PlainRegKey() = default;
    // Closes a key its owner forgot to close.
    ~PlainRegKey();
    PlainRegKey(const PlainRegKey&) = delete;
    PlainRegKey& operator=(const PlainRegKey&) = delete;

    // Opens subKey below parent; on success the key held before is closed and the view bits of
    // the access mask (KEY_WOW64_32KEY, KEY_WOW64_64KEY) are kept for deleteSubKey.
    LONG open(HKEY parent, const char* subKey, REGSAM access);
    LONG close();

    // Reads a REG_SZ or REG_EXPAND_SZ (unexpanded) into buffer. On entry *length is the
    // buffer's size in bytes; it is set to 0 and, on success, to the value's length including
    // its terminating NUL. A null buffer asks for the length only.
    LONG queryString(const char* name, char* buffer, DWORD* length);
    // Writes text with its terminating NUL as a value of the given type.
    LONG setString(const char* name, const char* text, DWORD type);
    // Deletes a subkey that has no subkeys, in the view this key was opened in.
    LONG deleteSubKey(const char* subKey);
    // Deletes a value of this key.
    LONG deleteValue(const char* name);

    HKEY handle() const { return key_; }
    REGSAM viewBits() const { return viewBits_; }

  private:
    HKEY key_ = nullptr;
    REGSAM viewBits_ = 0;
};

// A value read by RegKeyReader: its registry type and its raw bytes.
struct RegValue {
    DWORD type = 0;
    std::vector<uint8_t> data;
};

// Opens keys below a root it does not own and reads values of any type as raw bytes.
class RegKeyReader {
  public:
    explicit RegKeyReader(HKEY root) : root_(root) {}
    ~RegKeyReader();
    RegKeyReader(const RegKeyReader&) = delete;
    RegKeyReader& operator=(const RegKeyReader&) = delete;

    // Closes the key opened before, then opens subKey below the root.
    LONG open(const char* subKey, REGSAM access);
    LONG queryValue(const char* name, RegValue& value);
    LONG close();

    bool isOpen() const { return isOpen_; }
    HKEY handle() const { return key_; }

  private:
    HKEY root_;
    HKEY key_ = nullptr;
    bool isOpen_ = false;
};
