// The entry table: the only way into the store. Each entry checks its pointer arguments, runs
// the operation and turns whatever the store throws into a status code, here and nowhere else.
#include <exception>
#include <new>
#include <string>
#include <vector>

#include "Config.h"
#include "ConfigValidator.h"
#include "Context.h"
#include "KeyMapper.h"
#include "SettingsException.h"
#include "settings.h"

using settings_impl::ConfigValidator;
using settings_impl::Context;
using settings_impl::KeyMapper;
using settings_impl::KeyMapperBuilder;
using settings_impl::ValidatorBuilder;

namespace {

// Handles are pointers to the store's objects under opaque names.
Context* impl(SettingsContext* handle) { return reinterpret_cast<Context*>(handle); }
const Context* impl(const SettingsContext* handle) {
    return reinterpret_cast<const Context*>(handle);
}
const ConfigValidator* impl(const SettingsValidator* handle) {
    return reinterpret_cast<const ConfigValidator*>(handle);
}
const KeyMapper* impl(const SettingsKeyMapper* handle) {
    return reinterpret_cast<const KeyMapper*>(handle);
}
ValidatorBuilder* impl(SettingsValidatorBuilder* handle) {
    return reinterpret_cast<ValidatorBuilder*>(handle);
}
KeyMapperBuilder* impl(SettingsKeyMapperBuilder* handle) {
    return reinterpret_cast<KeyMapperBuilder*>(handle);
}

template <class... Pointers>
bool anyNull(const Pointers*... pointers) {
    return ((pointers == nullptr) || ...);
}

// Runs one operation: SETTINGS_OK when it completes, the code of a settings::Exception,
// SETTINGS_E_UNEXPECTED for anything else.
template <class Operation>
int run(Operation&& operation) noexcept {
    try {
        operation();
        return SETTINGS_OK;
    } catch (const settings::Exception& e) {
        return e.code();
    } catch (...) {
        return SETTINGS_E_UNEXPECTED;
    }
}

SettingsContext* contextCreate() {
    // No catching frame: a failure to locate the system settings file leaves as
    // settings::Exception SETTINGS_E_UNEXPECTED.
    return reinterpret_cast<SettingsContext*>(new (std::nothrow) Context());
}

void contextDestroy(SettingsContext* context) { delete impl(context); }

int contextGetSystemConfigFilePath(SettingsContext* context, const char** path) {
    if (anyNull(context, path)) return SETTINGS_E_NULL_ARGUMENT;
    return run([&] { *path = impl(context)->systemConfigFilePath().c_str(); });
}

int contextImportFromFile(SettingsContext* context, const char* path,
                          const SettingsValidator* validator, const SettingsKeyMapper* keyMapper,
                          int stopOnFirstError, int allowKeyWithoutValue) {
    if (anyNull(context, path)) return SETTINGS_E_NULL_ARGUMENT;
    return run([&] {
        impl(context)->importFromFile(path, impl(validator), impl(keyMapper), stopOnFirstError != 0,
                                      allowKeyWithoutValue != 0);
    });
}

int contextImportFromString(SettingsContext* context, const char* text,
                            const SettingsValidator* validator, const SettingsKeyMapper* keyMapper,
                            int stopOnFirstError, int allowKeyWithoutValue) {
    if (anyNull(context, text)) return SETTINGS_E_NULL_ARGUMENT;
    return run([&] {
        impl(context)->importFromString(text, impl(validator), impl(keyMapper),
                                        stopOnFirstError != 0, allowKeyWithoutValue != 0);
    });
}

int contextImportFromContext(SettingsContext* context, const SettingsContext* source) {
    if (anyNull(context, source)) return SETTINGS_E_NULL_ARGUMENT;
    return run([&] { impl(context)->importFromContext(*impl(source)); });
}

int contextGetLastImportErrors(SettingsContext* context, const int** lines, int* count) {
    if (anyNull(context, lines, count)) return SETTINGS_E_NULL_ARGUMENT;
    return run([&] {
        const std::vector<int32_t>& errors = impl(context)->lastImportErrors();
        *lines = errors.empty() ? nullptr : errors.data();
        *count = static_cast<int>(errors.size());
    });
}

int contextExportToFile(SettingsContext* context, const char* path) {
    if (anyNull(context, path)) return SETTINGS_E_NULL_ARGUMENT;
    return run([&] { impl(context)->exportToFile(path); });
}

int contextIsEmpty(SettingsContext* context, int* isEmpty) {
    if (anyNull(context, isEmpty)) return SETTINGS_E_NULL_ARGUMENT;
    return run([&] { *isEmpty = impl(context)->isEmpty() ? 1 : 0; });
}

int contextIsEqual(SettingsContext* context, SettingsContext* other, int* isEqual) {
    if (anyNull(context, other, isEqual)) return SETTINGS_E_NULL_ARGUMENT;
    return run([&] {
        const bool equal = impl(context)->isEqual(*impl(other));
        *isEqual = equal ? 1 : 0;
    });
}

int contextIterateKeys(SettingsContext* context, SettingsKeyCallback callback, void* userData) {
    if (context == nullptr || callback == nullptr) return SETTINGS_E_NULL_ARGUMENT;
    return run([&] {
        // A copy: the callback may change the context while the walk goes on.
        const std::vector<std::string> keys = impl(context)->keys();
        const int count = static_cast<int>(keys.size());
        for (int i = 0; i < count; ++i) {
            callback(context, count, i, keys[static_cast<std::size_t>(i)].c_str(), userData);
        }
    });
}

// The status of a key that is not there, or (when a value is needed) has none, told without an
// exception: callers ask for each option they know, most of them unset, and a throw costs far
// more than the lookup. SETTINGS_OK when the getter itself is to run.
int missingStatus(SettingsContext* context, const char* key, bool valueNeeded) {
    const settings_impl::ConfigMap& entries = impl(context)->config().entries();
    const auto entry = settings_impl::findEntry(entries, key);
    if (entry == entries.end()) return SETTINGS_E_KEY_ABSENT;
    return valueNeeded && !entry->second ? SETTINGS_E_NO_VALUE_OR_WRONG_TYPE : SETTINGS_OK;
}

int contextGetUtf8Value(SettingsContext* context, const char* key, const char** value) {
    if (anyNull(context, key, value)) return SETTINGS_E_NULL_ARGUMENT;
    if (const int missing = missingStatus(context, key, true)) return missing;
    return run([&] { *value = impl(context)->config().getUtf8(key); });
}

int contextGetBooleanValue(SettingsContext* context, const char* key, int* value) {
    if (anyNull(context, key, value)) return SETTINGS_E_NULL_ARGUMENT;
    // A key without value reads as true.
    if (const int missing = missingStatus(context, key, false)) return missing;
    return run([&] {
        const bool result = impl(context)->getBoolean(key);
        *value = result ? 1 : 0;
    });
}

int contextGetIntegerValue(SettingsContext* context, const char* key, int* value) {
    if (anyNull(context, key, value)) return SETTINGS_E_NULL_ARGUMENT;
    if (const int missing = missingStatus(context, key, true)) return missing;
    return run([&] { *value = impl(context)->config().getInteger(key); });
}

int contextGetDoubleValue(SettingsContext* context, const char* key, double* value) {
    if (anyNull(context, key, value)) return SETTINGS_E_NULL_ARGUMENT;
    if (const int missing = missingStatus(context, key, true)) return missing;
    return run([&] { *value = impl(context)->config().getDouble(key); });
}

int contextEraseKey(SettingsContext* context, const char* key) {
    if (anyNull(context, key)) return SETTINGS_E_NULL_ARGUMENT;
    return run([&] { impl(context)->eraseKey(key); });
}

void validatorDestroy(SettingsValidator* validator) {
    delete reinterpret_cast<ConfigValidator*>(validator);
}

SettingsValidatorBuilder* validatorBuilderCreate() {
    return reinterpret_cast<SettingsValidatorBuilder*>(new (std::nothrow) ValidatorBuilder());
}

void validatorBuilderDestroy(SettingsValidatorBuilder* builder) { delete impl(builder); }

int validatorBuilderCreateValidator(SettingsValidatorBuilder* builder,
                                    SettingsValidator** validator) {
    if (anyNull(builder, validator)) return SETTINGS_E_NULL_ARGUMENT;
    return run([&] {
        *validator =
            reinterpret_cast<SettingsValidator*>(impl(builder)->createValidator().release());
    });
}

int setTypeRule(SettingsValidatorBuilder* builder, const char* key, int32_t type) {
    if (anyNull(builder, key)) return SETTINGS_E_NULL_ARGUMENT;
    return run([&] { impl(builder)->setTypeRule(key, type); });
}

int validatorBuilderSetUtf8Validator(SettingsValidatorBuilder* builder, const char* key) {
    return setTypeRule(builder, key, settings_impl::kUtf8Value);
}

int validatorBuilderSetIntegerValidator(SettingsValidatorBuilder* builder, const char* key) {
    return setTypeRule(builder, key, settings_impl::kIntegerValue);
}

int validatorBuilderSetBooleanValidator(SettingsValidatorBuilder* builder, const char* key) {
    return setTypeRule(builder, key, settings_impl::kBooleanValue);
}

int validatorBuilderSetDoubleValidator(SettingsValidatorBuilder* builder, const char* key) {
    return setTypeRule(builder, key, settings_impl::kDoubleValue);
}

int validatorBuilderAllowUnknownKeys(SettingsValidatorBuilder* builder, int allow) {
    if (builder == nullptr) return SETTINGS_E_NULL_ARGUMENT;
    return run([&] { impl(builder)->setAllowUnknownKeys(allow != 0); });
}

int validatorBuilderSetFixedValueValidator(SettingsValidatorBuilder* builder, const char* key,
                                           const FixedValueEntry* entries, int count) {
    if (anyNull(builder, key, entries)) return SETTINGS_E_NULL_ARGUMENT;
    // Every entry's text is read, so a null one is refused before anything changes.
    for (int i = 0; i < count; ++i) {
        if (entries[i].text == nullptr) return SETTINGS_E_NULL_ARGUMENT;
    }
    return run([&] {
        std::vector<settings_impl::FixedValue> list;
        for (int i = 0; i < count; ++i) {
            list.push_back({entries[i].text, entries[i].code, entries[i].flags});
        }
        impl(builder)->addFixedValues(key, list);
    });
}

int validatorBuilderSetDirnameValidator(SettingsValidatorBuilder* builder, const char* key,
                                        int acceptAnyText) {
    if (anyNull(builder, key)) return SETTINGS_E_NULL_ARGUMENT;
    return run([&] { impl(builder)->setDirnameRule(key, acceptAnyText != 0); });
}

void keyMapperDestroy(SettingsKeyMapper* keyMapper) {
    delete reinterpret_cast<KeyMapper*>(keyMapper);
}

SettingsKeyMapperBuilder* keyMapperBuilderCreate() {
    return reinterpret_cast<SettingsKeyMapperBuilder*>(new (std::nothrow) KeyMapperBuilder());
}

void keyMapperBuilderDestroy(SettingsKeyMapperBuilder* builder) { delete impl(builder); }

int keyMapperBuilderCreateKeyMapper(SettingsKeyMapperBuilder* builder,
                                    SettingsKeyMapper** keyMapper) {
    if (anyNull(builder, keyMapper)) return SETTINGS_E_NULL_ARGUMENT;
    return run([&] {
        *keyMapper =
            reinterpret_cast<SettingsKeyMapper*>(impl(builder)->createKeyMapper().release());
    });
}

int keyMapperBuilderMap(SettingsKeyMapperBuilder* builder, const char* sourceKey,
                        const char* targetKey, int caseSensitive) {
    if (anyNull(builder, sourceKey, targetKey)) return SETTINGS_E_NULL_ARGUMENT;
    return run([&] { impl(builder)->map(sourceKey, targetKey, caseSensitive != 0); });
}

constexpr SettingsFunctions kFunctions = {
    contextCreate,
    contextDestroy,
    contextGetSystemConfigFilePath,
    contextImportFromFile,
    contextImportFromString,
    contextImportFromContext,
    contextGetLastImportErrors,
    contextExportToFile,
    contextIsEmpty,
    contextIsEqual,
    contextIterateKeys,
    contextGetUtf8Value,
    contextGetBooleanValue,
    contextGetIntegerValue,
    contextGetDoubleValue,
    contextEraseKey,
    validatorDestroy,
    validatorBuilderCreate,
    validatorBuilderDestroy,
    validatorBuilderCreateValidator,
    validatorBuilderSetUtf8Validator,
    validatorBuilderSetIntegerValidator,
    validatorBuilderSetBooleanValidator,
    validatorBuilderSetDoubleValidator,
    validatorBuilderAllowUnknownKeys,
    validatorBuilderSetFixedValueValidator,
    validatorBuilderSetDirnameValidator,
    keyMapperDestroy,
    keyMapperBuilderCreate,
    keyMapperBuilderDestroy,
    keyMapperBuilderCreateKeyMapper,
    keyMapperBuilderMap,
};

static_assert(sizeof(SettingsFunctions) == 32 * sizeof(void (*)()),
              "the entry table holds exactly 32 function pointers");

}  // namespace

extern "C" void settings_get_functions(SettingsFunctions* table) {
    if (table != nullptr) *table = kFunctions;
}
