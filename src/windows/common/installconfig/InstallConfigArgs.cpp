// Import of the launcher's command-line arguments into a settings context.
#include "AllUtils.h"
#include "InstallConfigData.h"
#include "MessageTexts.h"
#include "StringFormat.h"
#include "Text.h"

namespace {

constexpr const char* kArgsFunction = "InstallConfigData::ImportArgsConfigSettings";
constexpr int kRefusedStatus = SETTINGS_E_REFUSED_LINES;

// An argument holding a line break would be imported as several settings lines, setting
// options that were never named as arguments, and would split the "MSI_CMDLINE" line.
bool holdsLineBreak(std::string_view text) {
    return text.find_first_of("\r\n") != std::string_view::npos;
}

// An argument as msiexec must see it again after the runtime split the command line and took its
// quotes away: a value with blanks is quoted ("C:\deploy logs\x.log", PROP="a b"), so that it
// stays one argument. Text that already holds a quote is left as the user wrote it.
std::string msiexecArgument(std::string_view argument) {
    if (argument.find_first_of(" \t") == std::string_view::npos ||
        argument.find('"') != std::string_view::npos) {
        return std::string(argument);
    }
    const std::size_t equals = argument.find('=');
    const std::size_t valueStart = equals == std::string_view::npos ? 0 : equals + 1;
    std::string quoted;
    quoted.reserve(argument.size() + 2);
    quoted.append(argument.substr(0, valueStart));
    quoted.push_back('"');
    quoted.append(argument.substr(valueStart));
    quoted.push_back('"');
    return quoted;
}

void refuse(std::string& errorList, std::string_view argument) {
    errorList.push_back('"');
    errorList.append(argument);
    errorList.append("\";");
}

}  // namespace

bool InstallConfigData::IsSwitchName(std::string_view name) {
    for (int index = 0; index < SWITCH_OPTION_COUNT; ++index) {
        if (name == switchOptionName(index)) {
            return true;
        }
    }
    return false;
}

bool InstallConfigData::MatchesArgument(const OptionInfo& option, std::string_view argument) {
    const std::size_t separator = argument.find_first_of("=:");
    const std::string_view key = argument.substr(0, separator);
    const std::string_view name = option.name;
    const bool namesOption =
        option.prefixMatch ? key.size() >= name.size() &&
                                 cdk_text::equalsIgnoringAsciiCase(key.substr(0, name.size()), name)
                           : cdk_text::equalsIgnoringAsciiCase(key, name);
    // Switches match only bare arguments; every other option only an argument with a value.
    const bool hasSeparator = separator != std::string_view::npos;
    return namesOption && hasSeparator != IsSwitchName(option.name);
}

const InstallConfigData::OptionInfo* InstallConfigData::FindOption(
    std::string_view argument) const {
    for (const OptionInfo& option : options_) {
        if (MatchesArgument(option, argument)) {
            return &option;
        }
    }
    return nullptr;
}

int InstallConfigData::ImportArgsConfigSettings(ModuleInstance module,
                                                SettingsContextHolder& holder,
                                                const char* const* argv, int argc,
                                                bool suppressMessages) {
    ScopeTrace trace(DiagnosticLog::instance(), LOG_TRACE, __FILE__, __LINE__, kArgsFunction,
                     kArgsFunction);
    logit("...Importing command line arguments");

    std::string msiText;
    std::string errorList;
    int status = SETTINGS_OK;

    // Switches come without value; every later import into this context accepts such keys.
    holder.setAllowKeyWithoutValue(true);
    if (argc <= 1 || argv == nullptr) {
        return SETTINGS_OK;
    }

    for (int i = 1; i < argc; ++i) {
        const char* raw = argv[i];
        if (raw == nullptr || *raw == '\0') {
            continue;
        }
        const std::string argument(raw);

        const OptionInfo* option = FindOption(argument);
        if (option == nullptr) {
            CDK_LOG(LOG_ERROR, kArgsFunction,
                    formatString("arg %s is not supported", argument.c_str()));
            status = kRefusedStatus;
            refuse(errorList, argument);
            continue;
        }

        if (holdsLineBreak(argument)) {
            CDK_LOG(
                LOG_ERROR, kArgsFunction,
                formatString("Loading arg %s failed with %d", argument.c_str(), kRefusedStatus));
            status = kRefusedStatus;
            refuse(errorList, argument);
            continue;
        }

        if (option->msiPassThrough) {
            msiText += ' ';
            msiText += msiexecArgument(argument);
            if (option->name == switchOptionName(SWITCH_LOG)) {
                if (i + 1 < argc) {
                    // The element after an "/l..." switch is its log file; the pair goes to
                    // msiexec only.
                    ++i;
                    const char* logFile = argv[i] != nullptr ? argv[i] : "";
                    if (holdsLineBreak(logFile)) {
                        CDK_LOG(LOG_ERROR, kArgsFunction,
                                formatString("arg %s is incorrect", logFile));
                        status = kRefusedStatus;
                        refuse(errorList, logFile);
                        continue;
                    }
                    msiText += ' ';
                    msiText += msiexecArgument(logFile);
                } else {
                    CDK_LOG(LOG_ERROR, kArgsFunction,
                            formatString("arg %s is incorrect", argument.c_str()));
                    status = kRefusedStatus;
                    refuse(errorList, argument);
                }
                continue;
            }
        }

        const std::string& text = option->prefixMatch ? option->name : argument;
        const int importStatus = holder.importFromString(text.c_str());
        if (importStatus == SETTINGS_OK && IsOptionSet(option->name.c_str())) {
            continue;
        }
        const int failure = importStatus != SETTINGS_OK ? importStatus : kRefusedStatus;
        status = failure;
        CDK_LOG(LOG_ERROR, kArgsFunction,
                formatString("Loading arg %s failed with %d", argument.c_str(), failure));
        refuse(errorList, argument);
    }

    if (!msiText.empty()) {
        CDK_LOG(LOG_INFO, kArgsFunction, "...adding MSICMDLINE to settingsConfig");
        const std::string line = std::string(stringOptionName(STRING_MSI_CMDLINE)) + "=" + msiText;
        // The text fails only when an argument for msiexec is not UTF-8; dropping the arguments
        // silently would run msiexec without them, so the call fails instead.
        const int msiStatus = holder.importFromString(line.c_str());
        if (msiStatus != SETTINGS_OK) {
            const std::string pieces = msiText.substr(1);
            CDK_LOG(LOG_ERROR, kArgsFunction,
                    formatString("Loading arg %s failed with %d", pieces.c_str(), msiStatus));
            status = msiStatus;
            refuse(errorList, pieces);
        }
    }

    if (status != SETTINGS_OK) {
        const bool suppress = suppressMessages || IsSilentInstall();
        ShowErrorMessage(module, IDS_CONFIG_ERROR_CAPTION, IDS_CMDLINE_ERRORS, kMessageIconError,
                         suppress, errorList, std::string());
    }
    return status;
}
