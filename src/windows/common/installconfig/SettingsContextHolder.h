// One settings context of the store together with what every import into it uses: the shared
// validator, no key mapper, stop on the first refused line, and whether keys without value are
// accepted. The holder reaches the store only through its copy of the entry table.
#pragma once

#include <string>
#include <vector>

#include "settings.h"

class SettingsContextHolder {
  public:
    // Creates the context; throws settings::Exception (SETTINGS_E_UNEXPECTED when the store has
    // no memory left).
    explicit SettingsContextHolder(const SettingsFunctions& api);
    ~SettingsContextHolder();
    SettingsContextHolder(const SettingsContextHolder&) = delete;
    SettingsContextHolder& operator=(const SettingsContextHolder&) = delete;

    SettingsContext* context() const { return context_; }
    const SettingsFunctions& api() const { return api_; }

    void setValidator(const SettingsValidator* validator) { validator_ = validator; }
    const SettingsValidator* validator() const { return validator_; }
    bool stopOnFirstError() const { return stopOnFirstError_; }
    bool allowKeyWithoutValue() const { return allowKeyWithoutValue_; }
    void setAllowKeyWithoutValue(bool allow) { allowKeyWithoutValue_ = allow; }

    // Imports with the holder's validator, no key mapper and its two flags; return the status.
    // A null path or text is passed on as null (the store answers SETTINGS_E_NULL_ARGUMENT).
    int importFromFile(const char* path);
    int importFromString(const char* text);
    // Takes every entry of `source`, its values winning.
    int importFromContext(const SettingsContextHolder& source);

    // Status-returning reads; the out argument is written only on success.
    int getUtf8Value(const char* key, const char*& value) const;
    int getBooleanValue(const char* key, bool& value) const;
    int getIntegerValue(const char* key, int& value) const;
    int eraseKey(const char* key);
    int exportToFile(const char* path);

    // Reads that throw settings::Exception with the store's status when it refuses.
    const char* utf8Value(const char* key) const;
    int integerValue(const char* key) const;
    std::string systemConfigFilePath() const;
    bool isEmpty() const;
    bool isEqual(const SettingsContextHolder& other) const;
    // 0-based indexes of the lines that the last file or string import refused.
    std::vector<int> lastImportErrors() const;

  private:
    SettingsFunctions api_;
    SettingsContext* context_ = nullptr;
    const SettingsValidator* validator_ = nullptr;
    const bool stopOnFirstError_ = true;
    bool allowKeyWithoutValue_ = false;
};
