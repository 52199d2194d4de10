// The settings map: keys in ascending byte order, each with a value or without one. A Config is
// never changed once built; a context replaces it by a new one on every change.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ConfigValue.h"

namespace settings_impl {

// std::string orders by unsigned byte comparison, which is the order of keys everywhere.
using ConfigMap = std::map<std::string, std::optional<ConfigValue>, std::less<>>;

// Read-only view of a settings map. Lookups are exact and case-sensitive. Failures throw
// settings::ExceptionCode: 303 for an absent key, 301 for a key without value or a value of
// another type than a typed getter asks for, 302 for a conversion failure.
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

}  // namespace settings_impl
