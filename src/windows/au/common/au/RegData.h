// The updater's registry values: plain numbers and machine-protected numbers stored as Base64
// text, in the old or the new layout, always in the 32-bit registry view.
#pragma once

#include <cstdint>

#include "RegistryKey.h"
#include "au/ConfigLogic.h"

namespace au {

class RegData {
  public:
    // layout: 1 or more for the new layout, 0 or less for the old one.
    explicit RegData(int layout);
    ~RegData() = default;
    RegData(const RegData&) = delete;
    RegData& operator=(const RegData&) = delete;

    // Reads a value. Throws (and logs) on any failure: a missing key or value, a value of the
    // wrong type, a blob that cannot be opened or does not hold exactly four bytes.
    uint32_t getValue(const RegValueInfo& info);
    // Writes a value, creating its key when missing. Throws (and logs) on any failure.
    void setValue(const RegValueInfo& info, uint32_t value);

  private:
    RegistryKey& readingKey(int location);
    RegistryKey& writingKey(int location);
    RegistryKey& cachedKey(int location, bool forWriting);

    int layout_;
    // Reading keys of locations 0, 1, 2, then writing keys of locations 0, 1, 2. Opened on
    // first use; destroyed (closed) last one first.
    RegistryKey keys_[2 * kLocationCount];
};

}  // namespace au
