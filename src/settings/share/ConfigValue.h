// The value object kept for every key that has a value, and the conversions between text and
// typed values.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace settings_impl {

// Type codes of a value.
enum ValueType : int32_t {
    kUntypedValue = 100,  // no rule applied; converted on demand by the getters
    kUtf8Value = 101,
    kIntegerValue = 102,
    kBooleanValue = 103,
    kDoubleValue = 104,
};

// Text to number conversions. Each throws settings::ExceptionCode<SETTINGS_E_INVALID_TEXT> when
// nothing can be read or the number does not fit.
//
// Integer: leading space, tab, line feed and vertical tab are skipped; "0x"/"-0x" selects base
// 16, a leading "0"/"-0" base 8, anything else base 10; one 32-bit signed number is read from the
// start and whatever follows it is ignored.
int32_t parseInteger(std::string_view text);
// "yes"/"true" and "no"/"false" in any case; anything else is an integer, true when not 0.
bool parseBoolean(std::string_view text);
// The same leading blanks as the integer, then one decimal floating-point number (sign, digits,
// decimal point, exponent). Trailing characters are ignored; infinities and NaN are not read.
double parseDouble(std::string_view text);

class ConfigValue {
  public:
    // A value of the given type from its text: the text must be valid UTF-8 and convert to the
    // type (both failures throw ExceptionCode<SETTINGS_E_INVALID_TEXT>).
    static ConfigValue fromText(int32_t type, std::string text);
    // An integer value with its code already known (fixed-value rules).
    static ConfigValue integerWithText(int32_t value, std::string text);

    int32_t type() const { return type_; }
    const std::string& text() const { return text_; }
    // The typed values; meaningful only for the matching type.
    int32_t integerValue() const { return integer_; }
    bool booleanValue() const { return boolean_; }
    double doubleValue() const { return double_; }

  private:
    ConfigValue(int32_t type, std::string text) : type_(type), text_(std::move(text)) {}

    int32_t type_;
    int32_t integer_ = 0;
    bool boolean_ = false;
    double double_ = 0.0;
    std::string text_;
};

}  // namespace settings_impl
