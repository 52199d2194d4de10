// Settings text through a validator and key mapper shaped like the installer's option table.
// The first byte chooses the error mode, bare keys and whether unknown keys are allowed.
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzSupport.h"

using namespace settings_fuzz;

namespace {

struct Rules {
    SettingsValidator* strict = nullptr;
    SettingsValidator* lenient = nullptr;
    SettingsKeyMapper* mapper = nullptr;

    Rules() {
        SettingsValidatorBuilder* b = api().validator_builder_create();
        const FixedValueEntry flag[] = {
            {"Enable", 1, 1}, {"Disable", 0, 1}, {"1", 1, 1}, {"0", 0, 1}};
        for (const char* key : {"AUTO_UPDATE", "WEB_ANALYTICS", "EULA", "NOSTARTMENU"}) {
            api().validator_builder_set_fixed_value_validator(b, key, flag, 4);
        }
        const FixedValueEntry mode[] = {{"auto", 1, 0}, {"Manual", 2, 3}, {"off", 0, 2}};
        api().validator_builder_set_fixed_value_validator(b, "MODE", mode, 3);
        api().validator_builder_set_integer_validator(b, "INSTALL_SILENT");
        api().validator_builder_set_integer_validator(b, "REBOOT");
        api().validator_builder_set_boolean_validator(b, "SPONSORS");
        api().validator_builder_set_double_validator(b, "RATIO");
        api().validator_builder_set_utf8_validator(b, "INSTALLCFG");
        api().validator_builder_set_utf8_validator(b, "LOG");
        api().validator_builder_set_dirname_validator(b, "INSTALLDIR", 0);
        api().validator_builder_set_dirname_validator(b, "STATICDIR", 1);
        api().validator_builder_create_validator(b, &strict);
        api().validator_builder_allow_unknown_keys(b, 1);
        api().validator_builder_create_validator(b, &lenient);
        api().validator_builder_destroy(b);

        SettingsKeyMapperBuilder* m = api().key_mapper_builder_create();
        api().key_mapper_builder_map(m, "INSTALL_DIR", "INSTALLDIR", 0);
        api().key_mapper_builder_map(m, "silent", "INSTALL_SILENT", 0);
        api().key_mapper_builder_map(m, "Mode", "MODE", 1);
        api().key_mapper_builder_map(m, "auto_update", "AUTO_UPDATE", 0);
        api().key_mapper_builder_create_key_mapper(m, &mapper);
        api().key_mapper_builder_destroy(m);
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const Rules rules;
    if (size == 0) return 0;
    driveRoot();
    const bool stop = data[0] & 1;
    const bool bare = data[0] & 2;
    const SettingsValidator* validator = (data[0] & 4) ? rules.lenient : rules.strict;
    const SettingsKeyMapper* mapper = (data[0] & 8) ? rules.mapper : nullptr;
    const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);

    SettingsContext* context = api().context_create();
    const int status =
        api().context_import_from_string(context, text.c_str(), validator, mapper, stop, bare);
    check(status == 0 || status == SETTINGS_E_REFUSED_LINES || status == SETTINGS_E_TEXT_NOT_UTF8,
          "import status", status);
    checkEqualsOwnCopy(context);
    if (status == 0) checkRoundTrip(context, validator);

    // Every getter either answers or reports a defined status.
    struct Walk {
        SettingsContext* context;
    } walk{context};
    api().context_iterate_keys(
        context,
        [](SettingsContext* c, int, int, const char* key, void*) {
            int i = 0;
            double d = 0;
            const char* t = nullptr;
            for (int s : {api().context_get_integer_value(c, key, &i),
                          api().context_get_boolean_value(c, key, &i),
                          api().context_get_double_value(c, key, &d),
                          api().context_get_utf8_value(c, key, &t)}) {
                check(s == 0 || s == SETTINGS_E_NO_VALUE_OR_WRONG_TYPE ||
                          s == SETTINGS_E_INVALID_TEXT,
                      "getter status", s);
            }
            check(api().context_erase_key(c, key) == 0, "erase of a listed key");
        },
        &walk);
    int empty = 0;
    api().context_is_empty(context, &empty);
    check(empty == 1, "all keys erased");
    api().context_destroy(context);
    return 0;
}
