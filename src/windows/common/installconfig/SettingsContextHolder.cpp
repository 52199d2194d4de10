#include "SettingsContextHolder.h"

#include "SettingsException.h"

namespace {
void throwOnFailure(int status) {
    if (status != SETTINGS_OK) {
        throw settings::Exception(status);
    }
}
}  // namespace

SettingsContextHolder::SettingsContextHolder(const SettingsFunctions& api)
    : api_(api), context_(api_.context_create()) {
    if (context_ == nullptr) {
        throw settings::Exception(SETTINGS_E_UNEXPECTED);
    }
}

SettingsContextHolder::~SettingsContextHolder() { api_.context_destroy(context_); }

int SettingsContextHolder::importFromFile(const char* path) {
    return api_.context_import_from_file(context_, path, validator_, nullptr,
                                         stopOnFirstError_ ? 1 : 0, allowKeyWithoutValue_ ? 1 : 0);
}

int SettingsContextHolder::importFromString(const char* text) {
    return api_.context_import_from_string(context_, text, validator_, nullptr,
                                           stopOnFirstError_ ? 1 : 0,
                                           allowKeyWithoutValue_ ? 1 : 0);
}

int SettingsContextHolder::importFromContext(const SettingsContextHolder& source) {
    return api_.context_import_from_context(context_, source.context_);
}

int SettingsContextHolder::getUtf8Value(const char* key, const char*& value) const {
    return api_.context_get_utf8_value(context_, key, &value);
}

int SettingsContextHolder::getBooleanValue(const char* key, bool& value) const {
    int raw = 0;
    const int status = api_.context_get_boolean_value(context_, key, &raw);
    if (status == SETTINGS_OK) {
        value = raw != 0;
    }
    return status;
}

int SettingsContextHolder::getIntegerValue(const char* key, int& value) const {
    return api_.context_get_integer_value(context_, key, &value);
}

int SettingsContextHolder::eraseKey(const char* key) {
    return api_.context_erase_key(context_, key);
}

int SettingsContextHolder::exportToFile(const char* path) {
    return api_.context_export_to_file(context_, path);
}

const char* SettingsContextHolder::utf8Value(const char* key) const {
    const char* value = nullptr;
    throwOnFailure(getUtf8Value(key, value));
    return value;
}

int SettingsContextHolder::integerValue(const char* key) const {
    int value = 0;
    throwOnFailure(getIntegerValue(key, value));
    return value;
}

std::string SettingsContextHolder::systemConfigFilePath() const {
    const char* path = nullptr;
    throwOnFailure(api_.context_get_system_config_file_path(context_, &path));
    return path != nullptr ? std::string(path) : std::string();
}

bool SettingsContextHolder::isEmpty() const {
    int empty = 0;
    throwOnFailure(api_.context_is_empty(context_, &empty));
    return empty != 0;
}

bool SettingsContextHolder::isEqual(const SettingsContextHolder& other) const {
    int equal = 0;
    throwOnFailure(api_.context_is_equal(context_, other.context_, &equal));
    return equal != 0;
}

std::vector<int> SettingsContextHolder::lastImportErrors() const {
    const int* lines = nullptr;
    int count = 0;
    throwOnFailure(api_.context_get_last_import_errors(context_, &lines, &count));
    if (lines == nullptr || count <= 0) {
        return {};
    }
    return std::vector<int>(lines, lines + count);
}
