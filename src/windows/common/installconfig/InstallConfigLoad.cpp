// Loading the install options from the defaults, the command line and the two settings files;
// export, backup and restore of the runtime settings file; the configuration error messages.
#include "AllUtils.h"
#include "AllUtilsPlatform.h"
#include "InstallConfigData.h"
#include "MessageTexts.h"
#include "SettingsFileTrust.h"
#include "SettingsFiles.h"
#include "StringFormat.h"

namespace {

constexpr const char* kLoadFunction = "InstallConfigData::_LoadConfigSettings";
constexpr std::size_t kCaptionCapacity = 256;
constexpr std::size_t kMessageCapacity = 1024;

}  // namespace

int InstallConfigData::_LoadConfigSettings(ModuleInstance module, const char* const* argv,
                                           int argc) {
    refusedRuntimeOptions_.clear();
    logit("-->Loading Important args...");
    int status = ImportArgsConfigSettings(module, workingContext(), argv, argc, false);
    if (status != SETTINGS_OK) {
        CDK_LOG(LOG_ERROR, kLoadFunction,
                "Error occurred while importing important args. Exiting installer.");
        return status;
    }
    logit(DumpConfig(workingContext(), "Important args config (TMP)"));

    std::string installConfigPath;
    if (IsOptionSet(stringOptionName(STRING_INSTALLCFG))) {
        installConfigPath = GetStringOption(STRING_INSTALLCFG);
        logit("Path to the install configuration file is set to " + installConfigPath);
    }

    logit("-->Loading Config...");
    const bool silent = IsSilentInstall();
    status = ImportConfigSettings(module, workingContext(), installConfigPath, argv, argc, silent);
    if (status != SETTINGS_OK) {
        CDK_LOG(LOG_ERROR, kLoadFunction,
                "Error occurred while importing configuration settings. Exiting installer.");
        return status;
    }

    logit("-->Saving backup...");
    status = ImportRuntimeConfigSettings(module, backup_, true);
    if (status != SETTINGS_OK) {
        CDK_LOG(LOG_ERROR, kLoadFunction,
                "Error occurred while importing runtime file for backup.Exiting installer.");
        return status;
    }
    logit(DumpConfig(backup_, "Config to backup"));
    std::string bytes;
    if (runtimeOptionsRefused_) {
        // Written back as it was, the file would carry what was refused from it under the
        // administrators' name (the launcher's files are theirs): a restore writes what the
        // backup context took from it instead.
        logit(
            "The runtime config file gave options that were ignored; a restore writes back "
            "only what was taken from it.");
        runtimeFileBytes_.reset();
    } else if (settings::readFileBytes(backup_.systemConfigFilePath().c_str(), bytes)) {
        runtimeFileBytes_ = std::move(bytes);
    } else {
        runtimeFileBytes_.reset();
    }

    logit("-->Loading export config...");
    status = ImportConfigSettings(module, export_, installConfigPath, argv, argc, true);
    if (status != SETTINGS_OK) {
        CDK_LOG(LOG_ERROR, kLoadFunction,
                "Error occurred while importing configuration files without defaults. Exiting "
                "installer.");
        return status;
    }

    logit("-->Adding CMDLINE to config...");
    const std::string cmdLine = BuildCmdLine(export_);
    if (!cmdLine.empty()) {
        const std::string line = std::string(stringOptionName(STRING_CMDLINE)) + "=" + cmdLine;
        // Without "CMDLINE" msiexec would run without the properties the user gave.
        status = workingContext().importFromString(line.c_str());
        if (status != SETTINGS_OK) {
            CDK_LOG(LOG_ERROR, kLoadFunction,
                    formatString("Error occurred while adding CMDLINE to config (status %d). "
                                 "Exiting installer.",
                                 status));
            return status;
        }
    }

    logit("-->Normalizing Export...");
    NormalizeExport(export_);

    logit(DumpConfig(export_, "Config to export"));
    logit(DumpConfig(workingContext(), "!!!!Working config!!!!"));
    return SETTINGS_OK;
}

int InstallConfigData::ImportConfigSettings(ModuleInstance module, SettingsContextHolder& holder,
                                            const std::string& installConfigPath,
                                            const char* const* argv, int argc,
                                            bool suppressMessages) {
    int status = ImportRuntimeConfigSettings(module, holder, suppressMessages);
    if (status != SETTINGS_OK) {
        return status;
    }
    if (!installConfigPath.empty()) {
        status = ImportInstallConfigSettings(module, holder, installConfigPath, suppressMessages);
        if (status != SETTINGS_OK) {
            return status;
        }
    }
    return ImportArgsConfigSettings(module, holder, argv, argc, suppressMessages);
}

int InstallConfigData::ImportRuntimeConfigSettings(ModuleInstance module,
                                                   SettingsContextHolder& holder,
                                                   bool suppressMessages) {
    logit("...Importing runtime configuration file...");
    const std::string path = holder.systemConfigFilePath();
    logit(formatString("Runtime config file path is %s", path.c_str()));
    runtimeOptionsRefused_ = false;
    // The file is read into a context of its own first, so that what it may not give is taken
    // out before anything of it reaches `holder`.
    SettingsContextHolder file(holder.api());
    file.setValidator(holder.validator());
    file.setAllowKeyWithoutValue(holder.allowKeyWithoutValue());
    if (place_ != nullptr && !place_->mayRead(path)) {
        // Read through a link, the options would come from whatever file it leads to: refused
        // like a file that cannot be opened.
        ShowConfigError(module, file, SETTINGS_E_FILE_OPEN, path, suppressMessages);
        CDK_LOG(
            LOG_ERROR, "InstallConfigData::ImportRuntimeConfigSettings",
            formatString("Runtime configuration file import failed with %d", SETTINGS_E_FILE_OPEN));
        return SETTINGS_E_FILE_OPEN;
    }
    int status = file.importFromFile(path.c_str());
    // Only a file that is not there is one to be created later. One that is there but cannot be
    // opened now (locked, access denied) is refused as such: taken for a missing one, the
    // export would replace it with the command line's options alone and lose the rest of it.
    if (status == SETTINGS_E_FILE_OPEN && (place_ == nullptr || place_->isAbsent(path))) {
        logit(
            "Runtime configuration file doesn't exist. It will be created later by "
            "settings_api.");
        return SETTINGS_OK;
    }
    if (!ShowConfigError(module, file, status, path, suppressMessages)) {
        CDK_LOG(LOG_ERROR, "InstallConfigData::ImportRuntimeConfigSettings",
                formatString("Runtime configuration file import failed with %d", status));
        return status;
    }
    DropUntrustedRuntimeOptions(file, path);
    status = holder.importFromContext(file);
    if (!ShowConfigError(module, holder, status, path, suppressMessages)) {
        CDK_LOG(LOG_ERROR, "InstallConfigData::ImportRuntimeConfigSettings",
                formatString("Runtime configuration file import failed with %d", status));
    }
    return status;
}

void InstallConfigData::DropUntrustedRuntimeOptions(SettingsContextHolder& file,
                                                    const std::string& path) {
    settings::FileSecurity security;
    SettingsFileTrust trust;
    if (settings::readFileSecurity(path.c_str(), security)) {
        trust = judgeSettingsFile(security);
    } else {
        trust.reason = "its owner and access list cannot be read";
    }
    if (trust.trusted) {
        return;
    }
    for (const OptionInfo& option : options_) {
        if (!option.msiexecInput || file.eraseKey(option.name.c_str()) != SETTINGS_OK) {
            continue;
        }
        runtimeOptionsRefused_ = true;
        // Each load reads the file for three contexts; one record per option is enough.
        if (refusedRuntimeOptions_.insert(option.name).second) {
            CDK_LOG(LOG_WARNING, "InstallConfigData::ImportRuntimeConfigSettings",
                    "Ignoring " + option.name + " in the runtime configuration file " + path +
                        ": " + trust.reason +
                        ", so the options that reach msiexec are taken only from the command "
                        "line and the install configuration file.");
        }
    }
}

int InstallConfigData::ImportInstallConfigSettings(ModuleInstance module,
                                                   SettingsContextHolder& holder,
                                                   const std::string& path, bool suppressMessages) {
    constexpr const char* function = "InstallConfigData::ImportInstallConfigSettings";
    logit("...Importing Install Configuration file");
    // An empty path is handed on as no path at all, which the store answers with
    // SETTINGS_E_NULL_ARGUMENT.
    const int status = holder.importFromFile(path.empty() ? nullptr : path.c_str());
    if (status == SETTINGS_E_NULL_ARGUMENT) {
        CDK_LOG(LOG_WARNING, function,
                "Install Configuration file path is empty. Ignore it and continue installation.");
        return SETTINGS_OK;
    }
    if (!ShowConfigError(module, holder, status, path, suppressMessages)) {
        CDK_LOG(LOG_ERROR, function,
                formatString("Install Configuration file import failed with %d", status));
    }
    return status;
}

void InstallConfigData::NormalizeExport(SettingsContextHolder& holder) {
    for (const OptionInfo& option : options_) {
        if (!option.persistent) {
            holder.eraseKey(option.name.c_str());
        }
    }
}

std::string InstallConfigData::BuildCmdLine(SettingsContextHolder& holder) const {
    std::string cmdLine;
    for (const OptionInfo& option : options_) {
        const char* value = nullptr;
        if (option.msiProperty && holder.getUtf8Value(option.name.c_str(), value) == SETTINGS_OK &&
            value != nullptr) {
            cmdLine += ' ';
            cmdLine += option.name;
            cmdLine += "=\"";
            cmdLine += value;
            cmdLine += '"';
        }
    }
    return cmdLine;
}

std::string InstallConfigData::DumpConfig(SettingsContextHolder& holder,
                                          const std::string& title) const {
    std::string dump = "|------" + title + "--------|\n\n";
    for (const OptionInfo& option : options_) {
        const char* text = nullptr;
        bool flag = false;
        if (holder.getUtf8Value(option.name.c_str(), text) == SETTINGS_OK && text != nullptr) {
            dump += option.name + " = " + text + "\n";
        } else if (holder.getBooleanValue(option.name.c_str(), flag) == SETTINGS_OK) {
            dump += option.name + " = " + (flag ? "1" : "0") + "\n";
        }
    }
    dump += "|-------------------------------------|\n";
    return dump;
}

bool InstallConfigData::mayWrite(const std::string& path) {
    return place_ == nullptr || place_->beforeWriting(path);
}

bool InstallConfigData::removeCheckedFile(const std::string& path) {
    return place_ != nullptr ? place_->remove(path) : removeSettingsFile(path);
}

int InstallConfigData::PrepareRuntimeExport(ModuleInstance module) {
    DiscardRuntimeExport();
    if (place_ != nullptr) {
        place_->removeLeftovers(export_.systemConfigFilePath());
    }
    if (backup_.isEqual(export_)) {
        // Nothing to write: the export leaves the file as it is.
        return SETTINGS_OK;
    }
    const std::string path = export_.systemConfigFilePath();
    const std::string temporary =
        path + ".~export-" + std::to_string(allutils_platform::processId()) + ".tmp";
    // The export deletes or replaces the file: a link in its place, or in the temporary file's,
    // stops the run now, before anything on the machine changes.
    if (!mayWrite(path) || (!export_.isEmpty() && !mayWrite(temporary))) {
        if (!ShowConfigError(module, export_, SETTINGS_E_FILE_OPEN, path, IsSilentInstall())) {
            CDK_LOG(LOG_ERROR, "InstallConfigData::PrepareRuntimeExport",
                    "Fails on writing to the runtime config file.");
        }
        return SETTINGS_E_FILE_OPEN;
    }
    if (export_.isEmpty()) {
        // The export deletes the file.
        return SETTINGS_OK;
    }
    logit("...Preparing the export of config settings");
    int status = export_.exportToFile(temporary.c_str());
    std::string bytes;
    if (status == SETTINGS_OK && !settings::readFileBytes(temporary.c_str(), bytes)) {
        status = SETTINGS_E_FILE_OPEN;
    }
    if (status != SETTINGS_OK) {
        removeCheckedFile(temporary);
        if (!ShowConfigError(module, export_, status, path, IsSilentInstall())) {
            CDK_LOG(LOG_ERROR, "InstallConfigData::PrepareRuntimeExport",
                    "Fails on writing to the runtime config file.");
        }
        return status;
    }
    preparedExport_ = temporary;
    return SETTINGS_OK;
}

void InstallConfigData::DiscardRuntimeExport() {
    if (preparedExport_) {
        removeCheckedFile(*preparedExport_);
        preparedExport_.reset();
    }
}

int InstallConfigData::ExportRuntimeConfig(ModuleInstance module) {
    logit("...Exporting config settings");
    if (backup_.isEqual(export_)) {
        logit("Nothing new to export to runtime.");
        return SETTINGS_OK;
    }
    if (export_.isEmpty()) {
        removeRuntimeConfigFile();
        return SETTINGS_OK;
    }
    if (!preparedExport_) {
        return ExportConfigSettings(module, export_, false);
    }
    logit("Writing to the runtime config file.");
    const std::string path = export_.systemConfigFilePath();
    // Checked again: the folder's owner may have put a link in the file's place meanwhile.
    const int status = mayWrite(path)
                           ? settings::replaceFileWith(path.c_str(), preparedExport_->c_str())
                           : SETTINGS_E_FILE_OPEN;
    DiscardRuntimeExport();
    if (!ShowConfigError(module, export_, status, path, IsSilentInstall())) {
        CDK_LOG(LOG_ERROR, "InstallConfigData::ExportConfigSettings",
                "Fails on writing to the runtime config file.");
    }
    return status;
}

int InstallConfigData::RestoreRuntimeConfig(ModuleInstance module) {
    logit("...Restoring config settings");
    if (backup_.isEqual(export_)) {
        return SETTINGS_OK;
    }
    if (runtimeFileBytes_) {
        logit("Writing the runtime config file back as it was.");
        const std::string path = backup_.systemConfigFilePath();
        const int status = mayWrite(path)
                               ? settings::replaceFileBytes(path.c_str(), *runtimeFileBytes_)
                               : SETTINGS_E_FILE_OPEN;
        if (!ShowConfigError(module, backup_, status, path, true)) {
            CDK_LOG(LOG_ERROR, "InstallConfigData::RestoreRuntimeConfig",
                    "Fails on writing to the runtime config file.");
        }
        return status;
    }
    if (backup_.isEmpty()) {
        removeRuntimeConfigFile();
        return SETTINGS_OK;
    }
    return ExportConfigSettings(module, backup_, true);
}

void InstallConfigData::removeRuntimeConfigFile() {
    logit("Removing runtime config file IF EXIST.");
    // Whether there was a file to delete does not matter here.
    removeCheckedFile(workingContext().systemConfigFilePath());
}

int InstallConfigData::ExportConfigSettings(ModuleInstance module, SettingsContextHolder& holder,
                                            bool restoring) {
    logit("...Exporting config settings");
    if (holder.isEmpty()) {
        logit("Config is empty: don't do export");
        return SETTINGS_OK;
    }
    logit("Writing to the runtime config file.");
    const std::string path = holder.systemConfigFilePath();
    const int status = mayWrite(path) ? holder.exportToFile(path.c_str()) : SETTINGS_E_FILE_OPEN;
    const bool suppress = restoring || IsSilentInstall();
    if (!ShowConfigError(module, holder, status, path, suppress)) {
        CDK_LOG(LOG_ERROR, "InstallConfigData::ExportConfigSettings",
                "Fails on writing to the runtime config file.");
    }
    return status;
}

bool InstallConfigData::ShowConfigError(ModuleInstance module, SettingsContextHolder& holder,
                                        int status, const std::string& path, bool suppress) {
    unsigned messageId = 0;
    bool withPath = false;
    switch (status) {
        case SETTINGS_OK:
            return true;
        case SETTINGS_E_UNEXPECTED:
            messageId = IDS_CONFIG_INTERNAL_ERROR;
            break;
        case SETTINGS_E_NULL_ARGUMENT:
            logit(loadMessageText(module, IDS_ERROR_INVALID_PARAMETER, kMessageCapacity));
            return false;
        case SETTINGS_E_FILE_OPEN:
            messageId = IDS_CONFIG_OPEN_FAILED;
            withPath = true;
            break;
        case SETTINGS_E_FILE_PERMISSIONS:
            messageId = IDS_CONFIG_PERMISSIONS;
            withPath = true;
            break;
        case SETTINGS_E_FILE_WRITE:
            messageId = IDS_CONFIG_WRITE_FAILED;
            break;
        case SETTINGS_E_FILE_READ:
            messageId = IDS_CONFIG_READ_FAILED;
            withPath = true;
            break;
        case SETTINGS_E_FILE_RENAME:
            logit(loadMessageText(module, IDS_ERROR_RENAME_MESSAGE, kMessageCapacity));
            return false;
        case SETTINGS_E_FILE_REMOVE:
            logit(loadMessageText(module, IDS_ERROR_REMOVE_MESSAGE, kMessageCapacity));
            return false;
        case SETTINGS_E_PATH_TOO_LONG:
            messageId = IDS_CONFIG_PATH_TOO_LONG;
            break;
        case SETTINGS_E_PATH_INVALID:
            messageId = IDS_CONFIG_PATH_INVALID;
            break;
        case SETTINGS_E_PATH_NOT_UTF8:
            messageId = IDS_CONFIG_PATH_NOT_PLAIN_TEXT;
            break;
        case SETTINGS_E_REFUSED_LINES: {
            const std::vector<int> lines = holder.lastImportErrors();
            const std::string lineText =
                lines.empty() ? std::string("<line number>") : std::to_string(lines.front() + 1);
            ShowErrorMessage(module, IDS_CONFIG_ERROR_CAPTION, IDS_CONFIG_MALFORMED,
                             kMessageIconError, suppress, path, lineText);
            return false;
        }
        case SETTINGS_E_TEXT_NOT_UTF8:
            messageId = IDS_CONFIG_NOT_PLAIN_TEXT;
            withPath = true;
            break;
        case SETTINGS_E_FILE_TOO_LARGE:
            messageId = IDS_CONFIG_FILE_TOO_LONG;
            withPath = true;
            break;
        default:
            logit(formatString("Unknown Error code %d", status));
            return false;
    }
    ShowErrorMessage(module, IDS_CONFIG_ERROR_CAPTION, messageId, kMessageIconError, suppress,
                     withPath ? path : std::string(), std::string());
    return false;
}

void InstallConfigData::ShowErrorMessage(ModuleInstance module, unsigned captionId,
                                         unsigned messageId, unsigned icon, bool suppress,
                                         const std::string& firstArgument,
                                         const std::string& secondArgument) {
    const std::string caption = loadMessageText(module, captionId, kCaptionCapacity);
    const std::string format = loadMessageText(module, messageId, kMessageCapacity);
    const std::string text =
        formatMessageText(format, firstArgument, secondArgument, kMessageCapacity);
    logit(text);
    showMessageBox(caption, text, icon, suppress);
}
