#include "InstallConfigData.h"

#include "AllUtils.h"
#include "SettingsException.h"
#include "SettingsFiles.h"

namespace {

constexpr const char* kSwitchNames[SWITCH_OPTION_COUNT] = {"/s",           "/h", "-download",
                                                           "-no_override", "/q", "/l"};

constexpr const char* kFlagNames[FLAG_OPTION_COUNT] = {"INSTALL_SILENT",
                                                       "STATIC",
                                                       "AUTO_UPDATE",
                                                       "SPONSORS",
                                                       "WEB_CORVID",
                                                       "WEB_ANALYTICS",
                                                       "EULA",
                                                       "OEMUPDATE",
                                                       "DYNAMICBASELINEOFF",
                                                       "NO_VERIFY",
                                                       "FAMILYUPGRADE",
                                                       "RUNONCE",
                                                       "PIP",
                                                       "REINSTALL_NO_PROMPT",
                                                       "TEST_FINAL_DIALOG",
                                                       "TEST_PROGRESS_DIALOG",
                                                       "TEST_WELCOME_DIALOG",
                                                       "TEST_CHANGE_DIALOG",
                                                       "TEST_SETUPERROR_DIALOG",
                                                       "TEST_ERRORHELP_DIALOG",
                                                       "TEST_RETRYSPLASH_DIALOG"};

constexpr const char* kStringNames[STRING_OPTION_COUNT] = {
    "INSTALLDIR",     "INSTALLCFG",  "/INSTALLDIRPUBCRE", "COUNTRYOVERRIDE", "/installurl",
    "/installmethod", "SPONSORPREF", "ADDLOCAL",          "REBOOT",          "MSI_CMDLINE",
    "CMDLINE"};

constexpr const char* kIntegerNames[INTEGER_OPTION_COUNT] = {"WEB_CORVID_SECURITY_LEVEL", "/lang",
                                                             "TEST_CONFIG_FILE_ERRORS"};

// One row of the option table: name, persistent, msiProperty, msiPassThrough, prefixMatch. The
// order is the order of the configuration dumps and of the "CMDLINE" properties, and the
// command-line matcher takes the first row that matches.
struct OptionRow {
    const char* name;
    bool persistent;
    bool msiProperty;
    bool msiPassThrough;
    bool prefixMatch;
};

constexpr OptionRow kOptionRows[] = {
    {"INSTALL_SILENT", true, true, false, false},
    {"STATIC", false, true, false, false},
    {"AUTO_UPDATE", true, true, false, false},
    {"SPONSORS", true, true, false, false},
    {"WEB_CORVID", false, true, false, false},
    {"WEB_ANALYTICS", true, true, false, false},
    {"EULA", true, true, false, false},
    {"OEMUPDATE", false, true, false, false},
    {"DYNAMICBASELINEOFF", false, false, false, false},
    {"NO_VERIFY", false, false, false, false},
    {"FAMILYUPGRADE", false, false, false, false},
    {"RUNONCE", false, false, false, false},
    {"PIP", false, true, false, false},
    {"REINSTALL_NO_PROMPT", false, true, false, false},
    {"TEST_FINAL_DIALOG", false, false, false, false},
    {"TEST_PROGRESS_DIALOG", false, false, false, false},
    {"TEST_WELCOME_DIALOG", false, false, false, false},
    {"TEST_CHANGE_DIALOG", false, false, false, false},
    {"TEST_SETUPERROR_DIALOG", false, false, false, false},
    {"TEST_ERRORHELP_DIALOG", false, false, false, false},
    {"TEST_RETRYSPLASH_DIALOG", false, false, false, false},
    {"INSTALLDIR", false, true, false, false},
    {"/INSTALLDIRPUBCRE", false, true, false, false},
    {"INSTALLCFG", false, true, false, false},
    {"COUNTRYOVERRIDE", false, false, false, false},
    {"/installurl", false, false, false, false},
    {"/installmethod", false, true, false, false},
    {"SPONSORPREF", false, false, false, false},
    {"ADDLOCAL", false, false, true, false},
    {"REBOOT", false, false, true, false},
    {"MSI_CMDLINE", false, false, false, false},
    {"CMDLINE", false, false, false, false},
    {"WEB_CORVID_SECURITY_LEVEL", false, true, false, false},
    {"/lang", false, false, false, false},
    {"TEST_CONFIG_FILE_ERRORS", false, false, false, false},
    {"/s", false, false, false, false},
    {"/h", false, false, false, false},
    {"-download", false, false, false, false},
    {"-no_override", false, false, false, false},
    {"/q", false, false, true, true},
    {"/l", false, false, true, true},
};

// Flags 1: the text is compared case-sensitively and the value keeps the text as given.
constexpr int32_t kFixedFlags = SETTINGS_FIXED_CASE_SENSITIVE;

const FixedValueEntry kFlagValues[] = {
    {"Enable", 1, kFixedFlags},
    {"Disable", 0, kFixedFlags},
    {"1", 1, kFixedFlags},
    {"0", 0, kFixedFlags},
};

const FixedValueEntry kSecurityLevelValues[] = {
    {"1", 1, kFixedFlags}, {"2", 2, kFixedFlags}, {"3", 3, kFixedFlags}, {"4", 4, kFixedFlags},
    {"L", 1, kFixedFlags}, {"M", 2, kFixedFlags}, {"H", 3, kFixedFlags}, {"VH", 4, kFixedFlags},
};

void throwOnFailure(int status) {
    if (status != SETTINGS_OK) {
        throw settings::Exception(status);
    }
}

}  // namespace

const char* switchOptionName(int index) { return kSwitchNames[index]; }
const char* flagOptionName(int index) { return kFlagNames[index]; }
const char* stringOptionName(int index) { return kStringNames[index]; }
const char* integerOptionName(int index) { return kIntegerNames[index]; }

SettingsFunctions InstallConfigData::settingsFunctions() {
    SettingsFunctions api{};
    settings_get_functions(&api);
    return api;
}

InstallConfigData::InstallConfigData()
    : api_(settingsFunctions()),
      validator_(nullptr, ValidatorDeleter{api_.validator_destroy}),
      working_(api_),
      export_(api_),
      backup_(api_) {
    ScopeTrace trace(DiagnosticLog::instance(), LOG_TRACE, __FILE__, __LINE__,
                     "InstallConfigData::InstallConfigData",
                     "InstallConfigData::InstallConfigData");
    defaultsLoaded_ = false;
    buildOptionTable();
    buildValidator();
}

InstallConfigData::~InstallConfigData() = default;

void InstallConfigData::buildOptionTable() {
    options_.reserve(sizeof(kOptionRows) / sizeof(kOptionRows[0]));
    for (const OptionRow& row : kOptionRows) {
        options_.push_back(OptionInfo{row.name, row.persistent, row.msiProperty, row.msiPassThrough,
                                      row.prefixMatch});
    }
}

void InstallConfigData::buildValidator() {
    struct BuilderDeleter {
        void (*destroy)(SettingsValidatorBuilder*);
        void operator()(SettingsValidatorBuilder* builder) const { destroy(builder); }
    };
    std::unique_ptr<SettingsValidatorBuilder, BuilderDeleter> builder(
        api_.validator_builder_create(), BuilderDeleter{api_.validator_builder_destroy});
    if (!builder) {
        throw settings::Exception(SETTINGS_E_UNEXPECTED);
    }
    SettingsValidatorBuilder* b = builder.get();

    for (const char* name : kFlagNames) {
        throwOnFailure(api_.validator_builder_set_fixed_value_validator(
            b, name, kFlagValues, static_cast<int>(std::size(kFlagValues))));
    }
    for (const char* name : kIntegerNames) {
        throwOnFailure(api_.validator_builder_set_integer_validator(b, name));
    }
    // The security level takes only its eight texts: this rule replaces the integer rule above.
    throwOnFailure(api_.validator_builder_set_fixed_value_validator(
        b, kIntegerNames[INTEGER_WEB_CORVID_SECURITY_LEVEL], kSecurityLevelValues,
        static_cast<int>(std::size(kSecurityLevelValues))));
    for (const char* name : kStringNames) {
        throwOnFailure(api_.validator_builder_set_utf8_validator(b, name));
    }
    for (int index : {STRING_INSTALLDIR, STRING_INSTALLCFG, STRING_INSTALLDIRPUBCRE}) {
        throwOnFailure(api_.validator_builder_set_dirname_validator(b, kStringNames[index], 0));
    }
    throwOnFailure(api_.validator_builder_allow_unknown_keys(b, 0));

    SettingsValidator* validator = nullptr;
    throwOnFailure(api_.validator_builder_create_validator(b, &validator));
    validator_.reset(validator);

    working_.setValidator(validator);
    export_.setValidator(validator);
    backup_.setValidator(validator);
}

SettingsContextHolder& InstallConfigData::workingContext() {
    InitConfig();
    return working_;
}

void InstallConfigData::InitConfig() {
    if (defaultsLoaded_) {
        return;
    }
    throwOnFailure(working_.importFromString(kDefaultConfigText));
    defaultsLoaded_ = true;
    CDK_LOG(LOG_INFO, "InstallConfigData::InitConfig",
            formatString("Default config settings are: \n%s", kDefaultConfigText));
}

bool InstallConfigData::IsOptionSet(const char* name) {
    SettingsContextHolder& working = workingContext();
    const char* text = nullptr;
    if (working.getUtf8Value(name, text) == SETTINGS_OK) {
        return true;
    }
    bool value = false;
    return working.getBooleanValue(name, value) == SETTINGS_OK;
}

bool InstallConfigData::IsSilentInstall() {
    if (IsOptionSet(kSwitchNames[SWITCH_SILENT]) || IsOptionSet(kSwitchNames[SWITCH_DOWNLOAD])) {
        return true;
    }
    const char* silent = kFlagNames[FLAG_INSTALL_SILENT];
    return IsOptionSet(silent) && workingContext().integerValue(silent) != 0;
}

bool InstallConfigData::IsFlagEnabled(int flagIndex) {
    return workingContext().integerValue(kFlagNames[flagIndex]) != 0;
}

const char* InstallConfigData::GetStringOption(int stringIndex) {
    return workingContext().utf8Value(kStringNames[stringIndex]);
}

int32_t InstallConfigData::GetIntegerOption(int integerIndex) {
    return workingContext().integerValue(kIntegerNames[integerIndex]);
}

bool InstallConfigData::IsStringOptionSet(int stringIndex) {
    return IsOptionSet(kStringNames[stringIndex]);
}

bool InstallConfigData::IsIntegerOptionSet(int integerIndex) {
    return IsOptionSet(kIntegerNames[integerIndex]);
}

std::string formatMessageText(const std::string& format, const std::string& first,
                              const std::string& second, std::size_t capacity) {
    std::string result;
    const std::string* arguments[] = {&first, &second};
    std::size_t used = 0;
    for (std::size_t i = 0; i < format.size(); ++i) {
        if (format[i] == '%' && i + 1 < format.size()) {
            if (format[i + 1] == 's') {
                if (used < 2) {
                    result += *arguments[used];
                }
                ++used;
                ++i;
                continue;
            }
            if (format[i + 1] == '%') {
                result.push_back('%');
                ++i;
                continue;
            }
        }
        result.push_back(format[i]);
    }
    if (capacity == 0) {
        return std::string();
    }
    if (result.size() > capacity - 1) {
        result.resize(capacity - 1);
    }
    return result;
}

bool removeSettingsFile(const std::string& utf8Path) {
    return settings::removeFile(utf8Path.c_str());
}

InstallConfigData& InstallConfigData::instance() {
    // Created on first use; the start-up sequence of the program makes that first use happen at
    // a fixed point of static initialisation.
    static InstallConfigData data;
    return data;
}

int LoadConfigSettings(ModuleInstance module, const char* const* argv, int argc) {
    return InstallConfigData::instance()._LoadConfigSettings(module, argv, argc);
}
int ExportRuntimeConfig(ModuleInstance module) {
    return InstallConfigData::instance().ExportRuntimeConfig(module);
}
int RestoreRuntimeConfig(ModuleInstance module) {
    return InstallConfigData::instance().RestoreRuntimeConfig(module);
}
bool IsSilentInstall() { return InstallConfigData::instance().IsSilentInstall(); }
bool IsFlagEnabled(int flagIndex) { return InstallConfigData::instance().IsFlagEnabled(flagIndex); }
const char* GetStringOption(int stringIndex) {
    return InstallConfigData::instance().GetStringOption(stringIndex);
}
int32_t GetIntegerOption(int integerIndex) {
    return InstallConfigData::instance().GetIntegerOption(integerIndex);
}
bool IsStringOptionSet(int stringIndex) {
    return InstallConfigData::instance().IsStringOptionSet(stringIndex);
}
bool IsIntegerOptionSet(int integerIndex) {
    return InstallConfigData::instance().IsIntegerOptionSet(integerIndex);
}
