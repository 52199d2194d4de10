#include "ConfigValidator.h"

#include "CanonicalPath.h"
#include "SettingsException.h"
#include "Text.h"

namespace settings_impl {

namespace {

class TypeValidator : public IConfigValueValidator {
  public:
    explicit TypeValidator(int32_t type) : type_(type) {}

    std::optional<ConfigValue> validate(std::optional<std::string_view> text) const override {
        if (!text) {
            // A boolean key may stand alone; it then reads as true.
            if (type_ == kBooleanValue) return std::nullopt;
            throw ConfigValidator::InvalidValueError();
        }
        return ConfigValue::fromText(type_, std::string(*text));
    }

  private:
    int32_t type_;
};

class DirnameValidator : public IConfigValueValidator {
  public:
    explicit DirnameValidator(bool acceptAnyText) : acceptAnyText_(acceptAnyText) {}

    std::optional<ConfigValue> validate(std::optional<std::string_view> text) const override {
        if (!text) throw ConfigValidator::InvalidValueError();
        if (!acceptAnyText_ && !isAbsoluteFolder(*text)) throw ConfigValidator::InvalidValueError();
        return ConfigValue::fromText(kUtf8Value, std::string(*text));
    }

  private:
    static bool isAbsoluteFolder(std::string_view text) {
        std::string_view first;
        return checkPathText(text, first) == SETTINGS_OK && isDriveComponent(first);
    }

    bool acceptAnyText_;
};

class FixedValueValidator : public IConfigValueValidator {
  public:
    explicit FixedValueValidator(std::vector<FixedValue> entries) : entries_(std::move(entries)) {}

    std::optional<ConfigValue> validate(std::optional<std::string_view> text) const override {
        if (!text) throw ConfigValidator::InvalidValueError();
        // The entry added last wins when several match.
        for (auto it = entries_.rbegin(); it != entries_.rend(); ++it) {
            const bool matches = (it->flags & kFixedCaseSensitive)
                                     ? *text == it->text
                                     : cdk_text::equalsIgnoringAsciiCase(*text, it->text);
            if (matches) {
                return ConfigValue::integerWithText(
                    it->code, (it->flags & kFixedStoreEntryText) ? it->text : std::string(*text));
            }
        }
        throw ConfigValidator::InvalidValueError();
    }

  private:
    std::vector<FixedValue> entries_;
};

}  // namespace

std::optional<ConfigValue> ConfigValidator::validate(const std::string& key,
                                                     std::optional<std::string_view> text) const {
    const auto rule = rules_.find(key);
    if (rule != rules_.end()) return rule->second->validate(text);
    if (!allowUnknownKeys_) throw InvalidKeyError();
    if (!text) return std::nullopt;
    return ConfigValue::fromText(kUntypedValue, std::string(*text));
}

void ValidatorBuilder::setTypeRule(const std::string& key, int32_t type) {
    dirnameRules_.erase(key);
    fixedRules_.erase(key);
    typeRules_[key] = type;
}

void ValidatorBuilder::setDirnameRule(const std::string& key, bool acceptAnyText) {
    typeRules_.erase(key);
    fixedRules_.erase(key);
    dirnameRules_[key] = acceptAnyText;
}

void ValidatorBuilder::addFixedValues(const std::string& key,
                                      const std::vector<FixedValue>& entries) {
    typeRules_.erase(key);
    dirnameRules_.erase(key);
    std::vector<FixedValue>& list = fixedRules_[key];
    for (const FixedValue& entry : entries) {
        bool replaced = false;
        for (FixedValue& existing : list) {
            if (existing.text == entry.text) {
                existing.code = entry.code;
                existing.flags = entry.flags;
                replaced = true;
                break;
            }
        }
        if (!replaced) list.push_back(entry);
    }
}

std::unique_ptr<ConfigValidator> ValidatorBuilder::createValidator() const {
    ConfigValidator::RuleMap rules;
    for (const auto& [key, type] : typeRules_) {
        rules.emplace(key, std::make_unique<TypeValidator>(type));
    }
    for (const auto& [key, acceptAnyText] : dirnameRules_) {
        rules.emplace(key, std::make_unique<DirnameValidator>(acceptAnyText));
    }
    for (const auto& [key, entries] : fixedRules_) {
        rules.emplace(key, std::make_unique<FixedValueValidator>(entries));
    }
    return std::make_unique<ConfigValidator>(std::move(rules), allowUnknownKeys_);
}

}  // namespace settings_impl
