#include "Context.h"

#include <cstdio>

#include "CanonicalPath.h"
#include "SettingsException.h"
#include "SettingsFileSystem.h"
#include "Text.h"

namespace settings_impl {

namespace {

std::string computeSystemConfigFilePath() {
    std::u16string folder;
    if (!fs::commonAppDataFolder(folder)) throw settings::Exception(SETTINGS_E_UNEXPECTED);
    folder += kSystemConfigFileSuffix;
    std::string path;
    if (!cdk_text::utf16ToUtf8(folder, path, cdk_text::Utf16Errors::Fail))
        throw settings::Exception(SETTINGS_E_UNEXPECTED);
    return path;
}

}  // namespace

Context::Context()
    : config_(std::make_unique<Config>()), systemConfigFilePath_(computeSystemConfigFilePath()) {}

void Context::onError(const IParserCursor& cursor, const std::string& message) {
    lastImportErrors_.push_back(
        static_cast<const PlainTextFileConfigParser::Cursor&>(cursor).line());
    const std::string line = "Error reading config file: " + message + "\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
    throw settings::Exception(SETTINGS_E_REFUSED_LINES);
}

void Context::importFromFile(std::string_view path, const ConfigValidator* validator,
                             const KeyMapper* keyMapper, bool stopOnFirstError,
                             bool allowKeyWithoutValue) {
    auto parser = PlainTextFileConfigParser::fromFile(makeCanonicalPath(path));
    importWith(*parser, validator, keyMapper, stopOnFirstError, allowKeyWithoutValue);
}

void Context::importFromString(std::string_view text, const ConfigValidator* validator,
                               const KeyMapper* keyMapper, bool stopOnFirstError,
                               bool allowKeyWithoutValue) {
    auto parser = PlainTextFileConfigParser::fromView(text);
    importWith(*parser, validator, keyMapper, stopOnFirstError, allowKeyWithoutValue);
}

void Context::importWith(IConfigParser& parser, const ConfigValidator* validator,
                         const KeyMapper* keyMapper, bool stopOnFirstError,
                         bool allowKeyWithoutValue) {
    parser.setErrorListener(this);
    parser.setValidator(validator);
    parser.setKeyMapper(keyMapper);
    parser.setStopOnFirstError(stopOnFirstError);
    parser.setAllowKeyWithoutValue(allowKeyWithoutValue);
    lastImportErrors_.clear();
    std::unique_ptr<Config> parsed = parser.parse();
    if (parsed) {
        auto merged = std::make_unique<Config>(mergeConfigs(*config_, parsed->takeEntries()));
        config_ = std::move(merged);
    }
    if (!lastImportErrors_.empty()) throw settings::Exception(SETTINGS_E_REFUSED_LINES);
}

void Context::importFromContext(const Context& source) {
    auto merged = std::make_unique<Config>(mergeConfigs(*config_, source.config_->entries()));
    config_ = std::move(merged);
}

void Context::exportToFile(std::string_view path) const {
    const CanonicalPath canonical = makeCanonicalPath(path);
    const std::string text = configFileText(*config_);
    createParentFolders(canonical);
    const int status = fs::replaceFileContents(canonical, text);
    if (status != SETTINGS_OK) throw settings::Exception(status);
}

bool Context::isEqual(const Context& other) const {
    if (this == &other) return true;
    const Config& mine = *config_;
    const Config& theirs = *other.config_;
    if (mine.size() != theirs.size()) return false;
    auto a = mine.entries().begin();
    auto b = theirs.entries().begin();
    for (; a != mine.entries().end(); ++a, ++b) {
        if (a->first != b->first) return false;
    }
    for (a = mine.entries().begin(), b = theirs.entries().begin(); a != mine.entries().end();
         ++a, ++b) {
        if (!a->second) {
            if (b->second) return false;
            continue;
        }
        if (!b->second) throw settings::ExceptionCode<SETTINGS_E_NO_VALUE_OR_WRONG_TYPE>();
        const ConfigValue& x = *a->second;
        const ConfigValue& y = *b->second;
        if (x.type() != y.type()) return false;
        switch (x.type()) {
            case kIntegerValue:
                if (x.integerValue() != y.integerValue()) return false;
                break;
            case kBooleanValue:
                if (x.booleanValue() != y.booleanValue()) return false;
                break;
            case kDoubleValue:
                if (!(x.doubleValue() == y.doubleValue())) return false;
                break;
            default:
                if (x.text() != y.text()) return false;
                break;
        }
    }
    return true;
}

void Context::eraseKey(std::string_view key) {
    const ConfigMap& current = config_->entries();
    const auto it = findEntry(current, key);
    if (it == current.end()) throw settings::ExceptionCode<SETTINGS_E_KEY_ABSENT>();
    ConfigMap entries;
    entries.reserve(current.size() - 1);
    entries.insert(entries.end(), current.begin(), it);
    entries.insert(entries.end(), it + 1, current.end());
    config_ = std::make_unique<Config>(std::move(entries));
}

bool Context::getBoolean(std::string_view key) const {
    if (!config_->hasValue(key)) return true;
    return config_->getBoolean(key);
}

std::vector<std::string> Context::keys() const {
    std::vector<std::string> keys;
    keys.reserve(config_->size());
    for (const auto& entry : config_->entries()) keys.push_back(entry.first);
    return keys;
}

}  // namespace settings_impl
