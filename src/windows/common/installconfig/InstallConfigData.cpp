#include "InstallConfigData.h"

#include <array>

#include "AllUtils.h"
#include "SettingsException.h"
#include "SettingsFiles.h"
#include "StringFormat.h"
#include "SystemError.h"
#include "Text.h"

namespace {

// The group of an option; with its index in the group (its value in the group's enum of
// InstallConfigData.h) it names the option in the queries.
enum class OptionGroup { Flag, String, Integer, Switch };

// One row of the option table: name, group and index, persistent, msiProperty, msiPassThrough,
// prefixMatch, msiexecInput. The order is the order of the configuration dumps and of the "CMDLINE"
// properties, and the command-line matcher takes the first row that matches. Each name is
// written here only: the group name lists below are built from this table.
struct OptionRow {
    const char* name;
    OptionGroup group;
    int index;
    bool persistent;
    bool msiProperty;
    bool msiPassThrough;
    bool prefixMatch;
    bool msiexecInput;
};

using G = OptionGroup;
constexpr OptionRow kOptionRows[] = {
    {"INSTALL_SILENT", G::Flag, FLAG_INSTALL_SILENT, true, true, false, false, false},
    {"STATIC", G::Flag, FLAG_STATIC, false, true, false, false, false},
    {"AUTO_UPDATE", G::Flag, FLAG_AUTO_UPDATE, true, true, false, false, false},
    {"SPONSORS", G::Flag, FLAG_SPONSORS, true, true, false, false, false},
    {"WEB_CORVID", G::Flag, FLAG_WEB_CORVID, false, true, false, false, false},
    {"WEB_ANALYTICS", G::Flag, FLAG_WEB_ANALYTICS, true, true, false, false, false},
    {"EULA", G::Flag, FLAG_EULA, true, true, false, false, false},
    {"OEMUPDATE", G::Flag, FLAG_OEMUPDATE, false, true, false, false, false},
    {"DYNAMICBASELINEOFF", G::Flag, FLAG_DYNAMICBASELINEOFF, false, false, false, false, false},
    {"NO_VERIFY", G::Flag, FLAG_NO_VERIFY, false, false, false, false, false},
    {"FAMILYUPGRADE", G::Flag, FLAG_FAMILYUPGRADE, false, false, false, false, false},
    {"RUNONCE", G::Flag, FLAG_RUNONCE, false, false, false, false, false},
    {"PIP", G::Flag, FLAG_PIP, false, true, false, false, false},
    {"REINSTALL_NO_PROMPT", G::Flag, FLAG_REINSTALL_NO_PROMPT, false, true, false, false, false},
    {"TEST_FINAL_DIALOG", G::Flag, FLAG_TEST_FINAL_DIALOG, false, false, false, false, false},
    {"TEST_PROGRESS_DIALOG", G::Flag, FLAG_TEST_PROGRESS_DIALOG, false, false, false, false, false},
    {"TEST_WELCOME_DIALOG", G::Flag, FLAG_TEST_WELCOME_DIALOG, false, false, false, false, false},
    {"TEST_CHANGE_DIALOG", G::Flag, FLAG_TEST_CHANGE_DIALOG, false, false, false, false, false},
    {"TEST_SETUPERROR_DIALOG", G::Flag, FLAG_TEST_SETUPERROR_DIALOG, false, false, false, false,
     false},
    {"TEST_ERRORHELP_DIALOG", G::Flag, FLAG_TEST_ERRORHELP_DIALOG, false, false, false, false,
     false},
    {"TEST_RETRYSPLASH_DIALOG", G::Flag, FLAG_TEST_RETRYSPLASH_DIALOG, false, false, false, false,
     false},
    {"INSTALLDIR", G::String, STRING_INSTALLDIR, false, true, false, false, true},
    {"/INSTALLDIRPUBCRE", G::String, STRING_INSTALLDIRPUBCRE, false, true, false, false, true},
    {"INSTALLCFG", G::String, STRING_INSTALLCFG, false, true, false, false, true},
    {"COUNTRYOVERRIDE", G::String, STRING_COUNTRYOVERRIDE, false, false, false, false, false},
    {"/installurl", G::String, STRING_INSTALLURL, false, false, false, false, false},
    {"/installmethod", G::String, STRING_INSTALLMETHOD, false, true, false, false, false},
    {"SPONSORPREF", G::String, STRING_SPONSORPREF, false, false, false, false, false},
    {"ADDLOCAL", G::String, STRING_ADDLOCAL, false, false, true, false, true},
    {"REBOOT", G::String, STRING_REBOOT, false, false, true, false, true},
    {"MSI_CMDLINE", G::String, STRING_MSI_CMDLINE, false, false, false, false, true},
    {"CMDLINE", G::String, STRING_CMDLINE, false, false, false, false, true},
    {"WEB_CORVID_SECURITY_LEVEL", G::Integer, INTEGER_WEB_CORVID_SECURITY_LEVEL, false, true, false,
     false, false},
    {"/lang", G::Integer, INTEGER_LANG, false, false, false, false, false},
    {"TEST_CONFIG_FILE_ERRORS", G::Integer, INTEGER_TEST_CONFIG_FILE_ERRORS, false, false, false,
     false, false},
    {"/s", G::Switch, SWITCH_SILENT, false, false, false, false, false},
    {"/h", G::Switch, SWITCH_HELP, false, false, false, false, false},
    {"-download", G::Switch, SWITCH_DOWNLOAD, false, false, false, false, false},
    {"-no_override", G::Switch, SWITCH_NO_OVERRIDE, false, false, false, false, false},
    {"/q", G::Switch, SWITCH_QUIET, false, false, true, true, false},
    {"/l", G::Switch, SWITCH_LOG, false, false, true, true, false},
};

// The names of one group in the order of its enum. An index beyond the group's count stops the
// compilation; a gap or a second row for one index is caught by the checks below.
template <OptionGroup Group, int Count>
constexpr std::array<const char*, Count> groupNames() {
    std::array<const char*, Count> names{};
    for (const OptionRow& row : kOptionRows) {
        if (row.group == Group) names[static_cast<std::size_t>(row.index)] = row.name;
    }
    return names;
}

template <OptionGroup Group, std::size_t Count>
constexpr bool namesEveryIndexOnce(const std::array<const char*, Count>& names) {
    std::size_t rows = 0;
    for (const OptionRow& row : kOptionRows) rows += row.group == Group ? 1 : 0;
    for (const char* name : names) {
        if (name == nullptr) return false;
    }
    return rows == Count;
}

constexpr auto kSwitchNames = groupNames<OptionGroup::Switch, SWITCH_OPTION_COUNT>();
constexpr auto kFlagNames = groupNames<OptionGroup::Flag, FLAG_OPTION_COUNT>();
constexpr auto kStringNames = groupNames<OptionGroup::String, STRING_OPTION_COUNT>();
constexpr auto kIntegerNames = groupNames<OptionGroup::Integer, INTEGER_OPTION_COUNT>();
static_assert(namesEveryIndexOnce<OptionGroup::Switch>(kSwitchNames) &&
                  namesEveryIndexOnce<OptionGroup::Flag>(kFlagNames) &&
                  namesEveryIndexOnce<OptionGroup::String>(kStringNames) &&
                  namesEveryIndexOnce<OptionGroup::Integer>(kIntegerNames),
              "every index of every option group has exactly one row");
static_assert(std::size(kOptionRows) == 41, "the launcher accepts 41 install options");

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

// A settings file the store wrote that it could not give to the Administrators group is
// written all the same; the next run then reads it as a file a standard user may have written.
void logOwnerFailure(const char* utf8Path, unsigned long systemError) {
    CDK_LOG(LOG_WARNING, "InstallConfigData::ExportConfigSettings",
            formatString("The Administrators group could not be made the owner of %s: %s", utf8Path,
                         describeSystemError(static_cast<uint32_t>(systemError)).c_str()));
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
    settings::setOwnerFailureHandler(logOwnerFailure);
    buildOptionTable();
    buildValidator();
}

InstallConfigData::~InstallConfigData() = default;

void InstallConfigData::buildOptionTable() {
    options_.reserve(sizeof(kOptionRows) / sizeof(kOptionRows[0]));
    for (const OptionRow& row : kOptionRows) {
        options_.push_back(OptionInfo{row.name, row.persistent, row.msiProperty, row.msiPassThrough,
                                      row.prefixMatch, row.msiexecInput});
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
    return std::string(cdk_text::cutToBuffer(result, capacity, cdk_text::isAnsiLeadByte));
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
int PrepareRuntimeExport(ModuleInstance module) {
    return InstallConfigData::instance().PrepareRuntimeExport(module);
}
int ExportRuntimeConfig(ModuleInstance module) {
    return InstallConfigData::instance().ExportRuntimeConfig(module);
}
void DiscardRuntimeExport() { InstallConfigData::instance().DiscardRuntimeExport(); }
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
