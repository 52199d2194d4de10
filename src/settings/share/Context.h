// A settings context: the current settings, the system settings file location and the outcome
// of the last import.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "Config.h"
#include "PlainTextParser.h"

namespace settings_impl {

class ConfigValidator;
class KeyMapper;

// Below the shared application-data folder.
inline constexpr char16_t kSystemConfigFileSuffix[] = u"\\Quillon\\Corvid\\corvid.settings.cfg";

// Every change builds a new Config and swaps it in, so that a failed change leaves the context
// as it was.
class Context : public IParserErrorListener {
  public:
    // Throws settings::Exception SETTINGS_E_UNEXPECTED when the shared application-data folder is
    // not available.
    Context();

    // Records the line, writes "Error reading config file: <message>" to the standard error
    // stream and throws settings::Exception SETTINGS_E_REFUSED_LINES.
    void onError(const IParserCursor& cursor, const std::string& message) override;

    const std::string& systemConfigFilePath() const { return systemConfigFilePath_; }
    const std::vector<int32_t>& lastImportErrors() const { return lastImportErrors_; }
    const Config& config() const { return *config_; }

    // Imports merge into the current settings. SETTINGS_E_REFUSED_LINES after the merge when
    // lines were refused.
    void importFromFile(std::string_view path, const ConfigValidator* validator,
                        const KeyMapper* keyMapper, bool stopOnFirstError,
                        bool allowKeyWithoutValue);
    void importFromString(std::string_view text, const ConfigValidator* validator,
                          const KeyMapper* keyMapper, bool stopOnFirstError,
                          bool allowKeyWithoutValue);
    void importFromContext(const Context& source);

    // Writes the settings to the file, creating missing folders; an existing file is replaced
    // only when the whole text has been written.
    void exportToFile(std::string_view path) const;

    bool isEmpty() const { return config_->size() == 0; }
    // SETTINGS_E_NO_VALUE_OR_WRONG_TYPE when this context has a value for a key that the other
    // holds without value.
    bool isEqual(const Context& other) const;
    // Throws SETTINGS_E_KEY_ABSENT for an absent key.
    void eraseKey(std::string_view key);
    // A key present without value reads as true.
    bool getBoolean(std::string_view key) const;
    std::vector<std::string> keys() const;

  private:
    void importWith(IConfigParser& parser, const ConfigValidator* validator,
                    const KeyMapper* keyMapper, bool stopOnFirstError, bool allowKeyWithoutValue);

    std::unique_ptr<Config> config_;
    std::string systemConfigFilePath_;
    std::vector<int32_t> lastImportErrors_;
};

}  // namespace settings_impl
