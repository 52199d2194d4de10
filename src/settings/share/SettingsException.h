// The exceptions of the settings store. The entry table turns every settings::Exception into
// its status code (a SettingsStatus of settings.h); its clients may throw it too, with the same
// codes.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

#include "settings.h"

namespace settings {

class Exception : public std::runtime_error {
  public:
    explicit Exception(int32_t code, const std::string& message = std::string())
        : std::runtime_error(message), code_(code) {}
    int32_t code() const noexcept { return code_; }

  private:
    int32_t code_;
};

// The codes that callers distinguish by type: SETTINGS_E_NO_VALUE_OR_WRONG_TYPE,
// SETTINGS_E_INVALID_TEXT and SETTINGS_E_KEY_ABSENT.
template <int32_t Code>
class ExceptionCode : public Exception {
  public:
    ExceptionCode() : Exception(Code) {}
};

}  // namespace settings
