#include "ConfigValue.h"

#include <charconv>
#include <cstddef>
#include <system_error>

#include "SettingsException.h"
#include "Text.h"
#include "Utf8.h"

namespace settings_impl {

namespace {

[[noreturn]] void invalidText() { throw settings::ExceptionCode<SETTINGS_E_INVALID_TEXT>(); }

// The blanks a number may begin with: space, tab, line feed and vertical tab.
constexpr std::string_view kNumberBlanks = " \t\n\v";

int digitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'z') return c - 'a' + 10;
    return 99;
}

}  // namespace

int32_t parseInteger(std::string_view text) {
    const std::string lower = cdk_text::asciiLower(cdk_text::trimLeading(text, kNumberBlanks));
    std::string_view rest = lower;
    int base = 10;
    if (rest.starts_with("0x") || rest.starts_with("-0x")) {
        base = 16;
    } else if (rest.starts_with("0") || rest.starts_with("-0")) {
        base = 8;
    }
    bool negative = false;
    if (!rest.empty() && (rest[0] == '+' || rest[0] == '-')) {
        negative = rest[0] == '-';
        rest.remove_prefix(1);
    }
    // The hexadecimal prefix belongs to the number only when a digit follows it; otherwise the
    // "0" alone is the number, as a C library reader would take it.
    if (base == 16 && rest.size() > 2 && digitValue(rest[2]) < 16) rest.remove_prefix(2);
    int64_t magnitude = 0;
    std::size_t digits = 0;
    for (char c : rest) {
        const int d = digitValue(c);
        if (d >= base) break;
        magnitude = magnitude * base + d;
        ++digits;
        if (magnitude > 0x80000000LL) invalidText();
    }
    if (digits == 0) invalidText();
    const int64_t value = negative ? -magnitude : magnitude;
    if (value > INT32_MAX || value < INT32_MIN) invalidText();
    return static_cast<int32_t>(value);
}

bool parseBoolean(std::string_view text) {
    const std::string lower = cdk_text::asciiLower(text);
    if (lower == "yes" || lower == "true") return true;
    if (lower == "no" || lower == "false") return false;
    return parseInteger(text) != 0;
}

double parseDouble(std::string_view text) {
    const std::string_view rest = cdk_text::trimLeading(text, kNumberBlanks);
    // Find the longest prefix in decimal notation, then let from_chars (locale-independent)
    // convert exactly that prefix.
    std::size_t i = 0;
    if (i < rest.size() && (rest[i] == '+' || rest[i] == '-')) ++i;
    const std::size_t numberStart = i;
    std::size_t mantissaDigits = 0;
    while (i < rest.size() && rest[i] >= '0' && rest[i] <= '9') ++i, ++mantissaDigits;
    if (i < rest.size() && rest[i] == '.') {
        ++i;
        while (i < rest.size() && rest[i] >= '0' && rest[i] <= '9') ++i, ++mantissaDigits;
    }
    if (mantissaDigits == 0) invalidText();
    if (i < rest.size() && (rest[i] == 'e' || rest[i] == 'E')) {
        std::size_t j = i + 1;
        if (j < rest.size() && (rest[j] == '+' || rest[j] == '-')) ++j;
        if (j < rest.size() && rest[j] >= '0' && rest[j] <= '9') {
            while (j < rest.size() && rest[j] >= '0' && rest[j] <= '9') ++j;
            i = j;
        }
    }
    double value = 0.0;
    const char* first = rest.data() + numberStart;
    const char* last = rest.data() + i;
    const auto result = std::from_chars(first, last, value, std::chars_format::general);
    if (result.ec != std::errc() || result.ptr != last) invalidText();
    return (numberStart > 0 && rest[0] == '-') ? -value : value;
}

ConfigValue ConfigValue::fromText(int32_t type, std::string text) {
    if (!isValidUtf8(text)) invalidText();
    ConfigValue value(type, std::move(text));
    switch (type) {
        case kIntegerValue:
            value.integer_ = parseInteger(value.text_);
            break;
        case kBooleanValue:
            value.boolean_ = parseBoolean(value.text_);
            break;
        case kDoubleValue:
            value.double_ = parseDouble(value.text_);
            break;
        default:
            break;
    }
    return value;
}

ConfigValue ConfigValue::integerWithText(int32_t integer, std::string text) {
    if (!isValidUtf8(text)) invalidText();
    ConfigValue value(kIntegerValue, std::move(text));
    value.integer_ = integer;
    return value;
}

}  // namespace settings_impl
