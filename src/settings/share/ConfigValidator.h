// Per-key validation rules (typed, directory name, fixed set of values), the validator that holds
// them and the builder through which clients assemble a validator.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <map>
#include <vector>

#include "ConfigValue.h"

namespace settings_impl {

// One rule for one key. `validate` gets the value text (none for a key without value) and
// returns the typed value, or none when the key may stand without value.
class IConfigValueValidator {
  public:
    virtual ~IConfigValueValidator() = default;
    virtual std::optional<ConfigValue> validate(std::optional<std::string_view> text) const = 0;
};

// One accepted text of a fixed-value rule.
struct FixedValue {
    std::string text;
    int32_t code = 0;
    int32_t flags = 0;
};
inline constexpr int32_t kFixedCaseSensitive = 1;
inline constexpr int32_t kFixedStoreEntryText = 2;

class ConfigValidator {
  public:
    // Refusals raised while a line is parsed; they become line errors, never status codes.
    class Error : public std::runtime_error {
      public:
        Error() : std::runtime_error(std::string()) {}
    };
    class InvalidValueError : public Error {};
    class InvalidKeyError : public Error {};

    using RuleMap = std::map<std::string, std::unique_ptr<IConfigValueValidator>>;

    ConfigValidator(RuleMap rules, bool allowUnknownKeys)
        : rules_(std::move(rules)), allowUnknownKeys_(allowUnknownKeys) {}

    // The value for a key (after key mapping): the key's rule decides; without a rule the value
    // is stored untyped when unknown keys are allowed, else the key is refused.
    std::optional<ConfigValue> validate(const std::string& key,
                                        std::optional<std::string_view> text) const;

    bool allowUnknownKeys() const { return allowUnknownKeys_; }

  private:
    RuleMap rules_;
    bool allowUnknownKeys_;
};

// Collects one rule per key. Setting a rule of one kind removes the key's rules of the other
// kinds; fixed-value entries accumulate.
class ValidatorBuilder {
  public:
    void setTypeRule(const std::string& key, int32_t type);
    void setDirnameRule(const std::string& key, bool acceptAnyText);
    // Adds entries in order: an entry whose text is already listed replaces that entry's code
    // and flags in place, any other is appended.
    void addFixedValues(const std::string& key, const std::vector<FixedValue>& entries);
    void setAllowUnknownKeys(bool allow) { allowUnknownKeys_ = allow; }

    // A new validator with copies of the rules; the builder stays as it is.
    std::unique_ptr<ConfigValidator> createValidator() const;

  private:
    std::map<std::string, int32_t> typeRules_;
    std::map<std::string, bool> dirnameRules_;
    std::map<std::string, std::vector<FixedValue>> fixedRules_;
    bool allowUnknownKeys_ = false;
};

}  // namespace settings_impl
