// The launcher's install options: the table of the 41 options the launcher accepts, their
// validation rules and defaults, their import from the command line and from the two settings
// files, and the export, backup and restore of the runtime settings file.
//
// One instance exists per process (instance()); the rest of the launcher reaches it only
// through the free functions at the end of this header.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "MessageUi.h"
#include "SettingsContextHolder.h"
#include "SettingsFilePlace.h"
#include "settings.h"

// Option groups; an option is named by its group and its index in the group.
enum SwitchOptions : int {
    SWITCH_SILENT = 0,       // "/s"
    SWITCH_HELP = 1,         // "/h"
    SWITCH_DOWNLOAD = 2,     // "-download"
    SWITCH_NO_OVERRIDE = 3,  // "-no_override"
    SWITCH_QUIET = 4,        // "/q", any argument beginning with it
    SWITCH_LOG = 5,          // "/l", any argument beginning with it, followed by a log file
    SWITCH_OPTION_COUNT = 6
};

enum FlagOptions : int {
    FLAG_INSTALL_SILENT = 0,
    FLAG_STATIC,
    FLAG_AUTO_UPDATE,
    FLAG_SPONSORS,
    FLAG_WEB_CORVID,
    FLAG_WEB_ANALYTICS,
    FLAG_EULA,
    FLAG_OEMUPDATE,
    FLAG_DYNAMICBASELINEOFF,
    FLAG_NO_VERIFY,
    FLAG_FAMILYUPGRADE,
    FLAG_RUNONCE,
    FLAG_PIP,
    FLAG_REINSTALL_NO_PROMPT,
    FLAG_TEST_FINAL_DIALOG,
    FLAG_TEST_PROGRESS_DIALOG,
    FLAG_TEST_WELCOME_DIALOG,
    FLAG_TEST_CHANGE_DIALOG,
    FLAG_TEST_SETUPERROR_DIALOG,
    FLAG_TEST_ERRORHELP_DIALOG,
    FLAG_TEST_RETRYSPLASH_DIALOG,
    FLAG_OPTION_COUNT
};

enum StringOptions : int {
    STRING_INSTALLDIR = 0,
    STRING_INSTALLCFG,
    STRING_INSTALLDIRPUBCRE,  // "/INSTALLDIRPUBCRE"
    STRING_COUNTRYOVERRIDE,
    STRING_INSTALLURL,     // "/installurl"
    STRING_INSTALLMETHOD,  // "/installmethod"
    STRING_SPONSORPREF,
    STRING_ADDLOCAL,
    STRING_REBOOT,
    STRING_MSI_CMDLINE,
    STRING_CMDLINE,
    STRING_OPTION_COUNT
};

enum IntegerOptions : int {
    INTEGER_WEB_CORVID_SECURITY_LEVEL = 0,
    INTEGER_LANG,  // "/lang"
    INTEGER_TEST_CONFIG_FILE_ERRORS,
    INTEGER_OPTION_COUNT
};

// The option names by group and index.
const char* switchOptionName(int index);
const char* flagOptionName(int index);
const char* stringOptionName(int index);
const char* integerOptionName(int index);

// Imported into the working context before anything else.
inline constexpr const char* kDefaultConfigText =
    "INSTALL_SILENT=Disable\nSTATIC=Disable\nAUTO_UPDATE=Enable\nWEB_ANALYTICS=Enable\n"
    "EULA=Disable\nSPONSORS=Enable\n";

class InstallConfigData {
  public:
    struct OptionInfo {
        std::string name;
        bool persistent = false;      // kept by the export normalisation
        bool msiProperty = false;     // rendered into "CMDLINE" when given
        bool msiPassThrough = false;  // a command-line argument is copied into "MSI_CMDLINE"
        bool prefixMatch = false;     // an argument matches when its key begins with the name
        // The value becomes part of an msiexec command line, or names a file that can give
        // such values ("INSTALLCFG"): it is taken from the runtime settings file only when no
        // one but the administrators can have written that file.
        bool msiexecInput = false;
    };

    InstallConfigData();
    ~InstallConfigData();
    InstallConfigData(const InstallConfigData&) = delete;
    InstallConfigData& operator=(const InstallConfigData&) = delete;

    // The process-wide instance, created on first use. The launcher's start-up sequence makes
    // that first use happen after the system information and before the log path is set.
    static InstallConfigData& instance();

    const std::vector<OptionInfo>& options() const { return options_; }

    // The checks made before the runtime settings file is read, written or deleted; none
    // (nullptr, the default) leaves them to the settings store. Not owned.
    void setSettingsFilePlace(SettingsFilePlace* place) { place_ = place; }

    // True when the working context holds the key, with or without value.
    bool IsOptionSet(const char* name);
    // "/s" or "-download" given, or "INSTALL_SILENT" set and not 0.
    bool IsSilentInstall();

    bool IsFlagEnabled(int flagIndex);
    const char* GetStringOption(int stringIndex);
    int32_t GetIntegerOption(int integerIndex);
    bool IsStringOptionSet(int stringIndex);
    bool IsIntegerOptionSet(int integerIndex);

    // Command line.
    static bool IsSwitchName(std::string_view name);
    const OptionInfo* FindOption(std::string_view argument) const;

    // Load, export and restore.
    // Writes what ExportRuntimeConfig will store into a temporary file beside the runtime
    // settings file and reads it back, so that a file that cannot be written is known before
    // anything on the machine changes. Returns a settings status; on failure no temporary file
    // is left.
    int PrepareRuntimeExport(ModuleInstance module);
    // Stores the export: the prepared temporary file takes the settings file's place (without a
    // preparation the file is written now).
    int ExportRuntimeConfig(ModuleInstance module);
    // Deletes a prepared temporary file that was not stored.
    void DiscardRuntimeExport();
    int RestoreRuntimeConfig(ModuleInstance module);
    void ShowErrorMessage(ModuleInstance module, unsigned captionId, unsigned messageId,
                          unsigned icon, bool suppress, const std::string& firstArgument,
                          const std::string& secondArgument);

  private:
    // The steps of the load, the import and the export. The launcher reaches them through the
    // free functions below; tests through InstallConfigDataPeer (tests/support).
    friend class InstallConfigDataPeer;
    friend int LoadConfigSettings(ModuleInstance module, const char* const* argv, int argc);

    // The working context has its defaults loaded first; the other two are returned as they are.
    SettingsContextHolder& workingContext();
    SettingsContextHolder& exportContext() { return export_; }
    SettingsContextHolder& backupContext() { return backup_; }

    // Loads the defaults into the working context, once.
    void InitConfig();

    static bool MatchesArgument(const OptionInfo& option, std::string_view argument);
    int ImportArgsConfigSettings(ModuleInstance module, SettingsContextHolder& holder,
                                 const char* const* argv, int argc, bool suppressMessages);
    int _LoadConfigSettings(ModuleInstance module, const char* const* argv, int argc);
    int ImportConfigSettings(ModuleInstance module, SettingsContextHolder& holder,
                             const std::string& installConfigPath, const char* const* argv,
                             int argc, bool suppressMessages);
    // Imports the runtime settings file into `holder`. When the file is not one that only the
    // administrators can have written, its options marked msiexecInput are left out, each with
    // a warning.
    int ImportRuntimeConfigSettings(ModuleInstance module, SettingsContextHolder& holder,
                                    bool suppressMessages);
    int ImportInstallConfigSettings(ModuleInstance module, SettingsContextHolder& holder,
                                    const std::string& path, bool suppressMessages);
    int ExportConfigSettings(ModuleInstance module, SettingsContextHolder& holder, bool restoring);
    void NormalizeExport(SettingsContextHolder& holder);
    std::string BuildCmdLine(SettingsContextHolder& holder) const;
    std::string DumpConfig(SettingsContextHolder& holder, const std::string& title) const;
    bool ShowConfigError(ModuleInstance module, SettingsContextHolder& holder, int status,
                         const std::string& path, bool suppress);

    struct ValidatorDeleter {
        void (*destroy)(SettingsValidator*) = nullptr;
        void operator()(SettingsValidator* validator) const {
            if (destroy != nullptr) {
                destroy(validator);
            }
        }
    };

    static SettingsFunctions settingsFunctions();
    void buildOptionTable();
    void buildValidator();
    // Erases from `file`, read from the runtime settings file at `path`, the options that file
    // may not give (see judgeSettingsFile).
    void DropUntrustedRuntimeOptions(SettingsContextHolder& file, const std::string& path);
    // Deletes the runtime settings file named by the working context; logs its text first.
    void removeRuntimeConfigFile();
    // Deletes a settings file through the place's checks when there are any.
    bool removeCheckedFile(const std::string& path);
    // Whether the place lets the settings file at `path` be written, replaced or deleted now.
    bool mayWrite(const std::string& path);

    // Members in this order: the contexts are released before the validator, the validator
    // before the option table.
    SettingsFunctions api_;
    std::vector<OptionInfo> options_;
    std::unique_ptr<SettingsValidator, ValidatorDeleter> validator_;
    SettingsContextHolder working_;
    SettingsContextHolder export_;
    SettingsContextHolder backup_;
    bool defaultsLoaded_ = false;
    // The runtime settings file's bytes as they were when the options were loaded; none when
    // there was no file. A restore writes exactly these bytes back, comments and line ends
    // included.
    std::optional<std::string> runtimeFileBytes_;
    // Whether the last import of the runtime settings file left options out, and the options
    // this load has warned about.
    bool runtimeOptionsRefused_ = false;
    std::set<std::string> refusedRuntimeOptions_;
    // The temporary file written by PrepareRuntimeExport and not yet stored or discarded.
    std::optional<std::string> preparedExport_;
    SettingsFilePlace* place_ = nullptr;
};

// Replaces each "%s" of `format` by the next argument ("%%" gives "%"; any other "%" stays as
// it is) and cuts the result to fit a buffer of `capacity` bytes: at most capacity - 1 bytes,
// never inside a two-byte character of the ANSI code page. Message texts are formatted with it
// so that a translated text can never make the formatter read arguments that do not exist.
std::string formatMessageText(const std::string& format, const std::string& first,
                              const std::string& second, std::size_t capacity);

// Deletes a settings file given by its settings-store path ("C:\...\file.cfg"). False when the
// file could not be deleted (an absent file included).
bool removeSettingsFile(const std::string& utf8Path);

// The free functions over the process-wide instance.
int LoadConfigSettings(ModuleInstance module, const char* const* argv, int argc);
int PrepareRuntimeExport(ModuleInstance module);
int ExportRuntimeConfig(ModuleInstance module);
void DiscardRuntimeExport();
int RestoreRuntimeConfig(ModuleInstance module);
bool IsSilentInstall();
bool IsFlagEnabled(int flagIndex);
const char* GetStringOption(int stringIndex);
int32_t GetIntegerOption(int integerIndex);
bool IsStringOptionSet(int stringIndex);
bool IsIntegerOptionSet(int integerIndex);
