/* The settings store's public interface: a table of 32 plain entry points over opaque handles.
 *
 * A client calls settings_get_functions() once to fill its own SettingsFunctions table and from
 * then on calls the store only through that table. Every entry that returns an int returns a
 * status (SETTINGS_OK or one of the SETTINGS_E_* codes below); no exception leaves the store,
 * except from context_create (see there). Strings are NUL-terminated UTF-8. An int used as a flag
 * is true when not 0; an out int that carries a boolean is set to 1 or 0. Out arguments are
 * written only on success. The client owns every handle it receives and releases it with the
 * matching destroy entry; destroy entries ignore a null handle. The store takes no locks. */
#ifndef CDK_SETTINGS_SETTINGS_H
#define CDK_SETTINGS_SETTINGS_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Opaque handles. */
typedef struct SettingsContext SettingsContext;
typedef struct SettingsValidator SettingsValidator;
typedef struct SettingsValidatorBuilder SettingsValidatorBuilder;
typedef struct SettingsKeyMapper SettingsKeyMapper;
typedef struct SettingsKeyMapperBuilder SettingsKeyMapperBuilder;

/* Status codes of the entries. */
enum SettingsStatus {
    SETTINGS_OK = 0,
    /* Unexpected failure: memory exhaustion, a platform failure (shared data folder, current
     * directory, UTF-8/UTF-16 conversion), any failure that has no code of its own. */
    SETTINGS_E_UNEXPECTED = 200,
    SETTINGS_E_NULL_ARGUMENT = 300,
    /* The key has no value, or its value has another type than requested. */
    SETTINGS_E_NO_VALUE_OR_WRONG_TYPE = 301,
    /* A text is not valid UTF-8, or cannot be converted to the requested type. */
    SETTINGS_E_INVALID_TEXT = 302,
    SETTINGS_E_KEY_ABSENT = 303,
    SETTINGS_E_FILE_OPEN = 304,
    /* A file may not be read for lack of permission. The store itself does not return it (a
     * refused open is 304); clients report their own file failures with it and the two below. */
    SETTINGS_E_FILE_PERMISSIONS = 305,
    SETTINGS_E_FILE_WRITE = 306,
    SETTINGS_E_FILE_READ = 307,
    /* A file could not be renamed. */
    SETTINGS_E_FILE_RENAME = 308,
    /* A file could not be removed. */
    SETTINGS_E_FILE_REMOVE = 309,
    /* A path of 260 bytes or more. */
    SETTINGS_E_PATH_TOO_LONG = 310,
    /* An empty path, a forbidden component, ".." above the root, or a folder that cannot be
     * created. */
    SETTINGS_E_PATH_INVALID = 311,
    SETTINGS_E_PATH_NOT_UTF8 = 312,
    /* The imported text had refused lines (see context_get_last_import_errors). */
    SETTINGS_E_REFUSED_LINES = 313,
    SETTINGS_E_TEXT_NOT_UTF8 = 314,
    /* The file is 1 MiB (1,048,576 bytes) or larger. */
    SETTINGS_E_FILE_TOO_LARGE = 315
};

/* Flags of a FixedValueEntry. */
enum SettingsFixedValueFlags {
    /* Compare the value with the entry's text byte for byte; otherwise both are compared after
     * lower-casing ASCII letters. */
    SETTINGS_FIXED_CASE_SENSITIVE = 1,
    /* Store the entry's own text as the value's text; otherwise the text as given is kept. */
    SETTINGS_FIXED_STORE_ENTRY_TEXT = 2
};

/* One accepted text of a fixed-value rule and the integer it stands for. */
typedef struct FixedValueEntry {
    const char* text;
    int32_t code;
    int32_t flags;
} FixedValueEntry;

/* Called once per key by context_iterate_keys, in ascending byte order of the keys. */
typedef void (*SettingsKeyCallback)(SettingsContext* context, int keyCount, int index,
                                    const char* key, void* userData);

/* The entry table. The order of the members is the contract between client and store. */
typedef struct SettingsFunctions {
    /* 0: a new, empty context, or null when memory runs out. A failure while locating the
     * system settings file leaves this entry as settings::Exception (SETTINGS_E_UNEXPECTED);
     * memory exhaustion after the context was allocated leaves it as std::bad_alloc. */
    SettingsContext* (*context_create)(void);
    /* 1 */
    void (*context_destroy)(SettingsContext* context);
    /* 2: the system-wide settings file path; the text belongs to the context. */
    int (*context_get_system_config_file_path)(SettingsContext* context, const char** path);
    /* 3: imports a settings file; validator and keyMapper may be null (every value untyped,
     * keys unchanged). SETTINGS_E_REFUSED_LINES means some lines were refused. */
    int (*context_import_from_file)(SettingsContext* context, const char* path,
                                    const SettingsValidator* validator,
                                    const SettingsKeyMapper* keyMapper, int stopOnFirstError,
                                    int allowKeyWithoutValue);
    /* 4: imports settings text held in memory (no size limit). */
    int (*context_import_from_string)(SettingsContext* context, const char* text,
                                      const SettingsValidator* validator,
                                      const SettingsKeyMapper* keyMapper, int stopOnFirstError,
                                      int allowKeyWithoutValue);
    /* 5: merges the source's settings into the context. */
    int (*context_import_from_context)(SettingsContext* context, const SettingsContext* source);
    /* 6: 0-based line indexes refused by the last file or string import; the array is null
     * when there are none and stays valid until the next such import or the context's end. */
    int (*context_get_last_import_errors)(SettingsContext* context, const int** lines, int* count);
    /* 7: writes the settings to a file, creating missing folders; an existing file is replaced
     * only when the whole text has been written. */
    int (*context_export_to_file)(SettingsContext* context, const char* path);
    /* 8 */
    int (*context_is_empty)(SettingsContext* context, int* isEmpty);
    /* 9 */
    int (*context_is_equal)(SettingsContext* context, SettingsContext* other, int* isEqual);
    /* 10: the callback may change the context; the keys are copied before the first call. */
    int (*context_iterate_keys)(SettingsContext* context, SettingsKeyCallback callback,
                                void* userData);
    /* 11: the value's text; valid until the context's settings are next replaced. */
    int (*context_get_utf8_value)(SettingsContext* context, const char* key, const char** value);
    /* 12: a key present without value reads as true. */
    int (*context_get_boolean_value)(SettingsContext* context, const char* key, int* value);
    /* 13 */
    int (*context_get_integer_value)(SettingsContext* context, const char* key, int* value);
    /* 14 */
    int (*context_get_double_value)(SettingsContext* context, const char* key, double* value);
    /* 15 */
    int (*context_erase_key)(SettingsContext* context, const char* key);
    /* 16 */
    void (*validator_destroy)(SettingsValidator* validator);
    /* 17: a new validator builder, or null when memory runs out. */
    SettingsValidatorBuilder* (*validator_builder_create)(void);
    /* 18 */
    void (*validator_builder_destroy)(SettingsValidatorBuilder* builder);
    /* 19: a new validator, independent of the builder. */
    int (*validator_builder_create_validator)(SettingsValidatorBuilder* builder,
                                              SettingsValidator** validator);
    /* 20..23: typed rules for a key (each key has one rule; a later one replaces it). */
    int (*validator_builder_set_utf8_validator)(SettingsValidatorBuilder* builder, const char* key);
    int (*validator_builder_set_integer_validator)(SettingsValidatorBuilder* builder,
                                                   const char* key);
    int (*validator_builder_set_boolean_validator)(SettingsValidatorBuilder* builder,
                                                   const char* key);
    int (*validator_builder_set_double_validator)(SettingsValidatorBuilder* builder,
                                                  const char* key);
    /* 24 */
    int (*validator_builder_allow_unknown_keys)(SettingsValidatorBuilder* builder, int allow);
    /* 25: adds entries to the key's fixed-value rule, in array order; an entry whose text is
     * already listed replaces that entry's code and flags. */
    int (*validator_builder_set_fixed_value_validator)(SettingsValidatorBuilder* builder,
                                                       const char* key,
                                                       const FixedValueEntry* entries, int count);
    /* 26: the value must be an absolute folder path ("C:\..."), unless acceptAnyText. */
    int (*validator_builder_set_dirname_validator)(SettingsValidatorBuilder* builder,
                                                   const char* key, int acceptAnyText);
    /* 27 */
    void (*key_mapper_destroy)(SettingsKeyMapper* keyMapper);
    /* 28: a new key mapper builder, or null when memory runs out. */
    SettingsKeyMapperBuilder* (*key_mapper_builder_create)(void);
    /* 29 */
    void (*key_mapper_builder_destroy)(SettingsKeyMapperBuilder* builder);
    /* 30: a new key mapper, independent of the builder. */
    int (*key_mapper_builder_create_key_mapper)(SettingsKeyMapperBuilder* builder,
                                                SettingsKeyMapper** keyMapper);
    /* 31: renames sourceKey to targetKey; the rule added last is tried first. */
    int (*key_mapper_builder_map)(SettingsKeyMapperBuilder* builder, const char* sourceKey,
                                  const char* targetKey, int caseSensitive);
} SettingsFunctions;

/* Copies the 32 entries into *table. A null table is ignored. */
void settings_get_functions(SettingsFunctions* table);

#ifdef __cplusplus
}
#endif

#endif /* CDK_SETTINGS_SETTINGS_H */
