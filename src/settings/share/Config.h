// The settings map: keys in ascending byte order, each with a value or without one. A Config is
// never changed once built; a context replaces it by a new one on every change.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "ConfigValue.h"

namespace settings_impl {

// The entries of a settings map: sorted by key, each key once. std::string orders by unsigned
// byte comparison, which is the order of keys everywhere. A Config never changes once built, so a
// sorted vector serves it: lookups by binary search, and every walk (export, comparison,
// iteration) reads memory in sequence.
using ConfigEntry = std::pair<std::string, std::optional<ConfigValue>>;
using ConfigMap = std::vector<ConfigEntry>;

// Read-only view of a settings map. Lookups are exact and case-sensitive. Failures throw
// settings::ExceptionCode: SETTINGS_E_KEY_ABSENT for an absent key,
// SETTINGS_E_NO_VALUE_OR_WRONG_TYPE for a key without value or a value of another type than a
// typed getter asks for, SETTINGS_E_INVALID_TEXT for a conversion failure.
class IConfig {
  public:
    virtual ~IConfig() = default;
    virtual int32_t getType(std::string_view key) const = 0;
    virtual bool hasValue(std::string_view key) const = 0;
    virtual const char* getUtf8(std::string_view key) const = 0;
    virtual int32_t getInteger(std::string_view key) const = 0;
    virtual double getDouble(std::string_view key) const = 0;
    virtual bool getBoolean(std::string_view key) const = 0;
    virtual std::string getText(std::string_view key) const = 0;
    virtual std::vector<const std::string*> getKeys() const = 0;
};

class Config : public IConfig {
  public:
    Config() = default;
    // `entries` must be sorted by key without duplicates (see sortEntries).
    explicit Config(ConfigMap entries) : entries_(std::move(entries)) {}

    int32_t getType(std::string_view key) const override;
    bool hasValue(std::string_view key) const override;
    const char* getUtf8(std::string_view key) const override;
    int32_t getInteger(std::string_view key) const override;
    double getDouble(std::string_view key) const override;
    bool getBoolean(std::string_view key) const override;
    std::string getText(std::string_view key) const override;
    std::vector<const std::string*> getKeys() const override;

    std::size_t size() const { return entries_.size(); }
    const ConfigMap& entries() const { return entries_; }
    // Hands the entries over; only for a config that is discarded afterwards.
    ConfigMap takeEntries() { return std::move(entries_); }

  private:
    const std::optional<ConfigValue>& find(std::string_view key) const;
    const ConfigValue& findValue(std::string_view key) const;

    ConfigMap entries_;
};

// The merge of every import: all entries of `current`, replaced or joined by all entries of
// `incoming` (an incoming key without value drops the current value). Values keep their type,
// typed value and text.
ConfigMap mergeConfigs(const Config& current, ConfigMap incoming);

// Sorts entries gathered in input order by key; of a key given more than once, the last entry
// stays.
ConfigMap sortEntries(ConfigMap entries);

// The entry of a key in sorted entries, or end.
ConfigMap::const_iterator findEntry(const ConfigMap& entries, std::string_view key);

}  // namespace settings_impl
