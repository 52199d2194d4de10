#include "LauncherLogic.h"

#include <climits>
#include <utility>

#include "RegistryData.h"
#include "Text.h"

namespace launcher {

namespace {

constexpr std::string_view kDefaultFeatures = " ADDLOCAL=PubliccreFeature,ToolsFeature";

bool contains(std::string_view text, std::string_view part) {
    return text.find(part) != std::string_view::npos;
}

std::string quoted(std::string_view text) {
    std::string result;
    result.reserve(text.size() + 2);
    result.push_back('"');
    result.append(text);
    result.push_back('"');
    return result;
}

// The value of the leading digits, saturated instead of overflowing.
long long leadingDigitsValue(std::string_view text, std::size_t& position) {
    long long value = 0;
    while (position < text.size() && text[position] >= '0' && text[position] <= '9') {
        const int digit = text[position] - '0';
        value = value > (LLONG_MAX - digit) / 10 ? LLONG_MAX : value * 10 + digit;
        ++position;
    }
    return value;
}

}  // namespace

bool isX64Architecture(std::string_view architectureName) {
    return cdk_text::asciiLower(architectureName) == "amd64";
}

uint16_t installLanguageFromUiLanguage(uint16_t uiLanguage) {
    if (uiLanguage == kLanguageChinese) {
        return kLanguageChinese;
    }
    if ((uiLanguage & 0xFF) == 0x11) {
        return kLanguageJapanese;
    }
    return kLanguageEnglish;
}

bool isSupportedInstallLanguage(uint16_t language) {
    return language == kLanguageEnglish || language == kLanguageJapanese ||
           language == kLanguageChinese;
}

uint16_t chooseInstallLanguage(uint16_t detected, bool langSet, int32_t langValue) {
    if (!langSet) {
        return detected;
    }
    const auto requested = static_cast<uint16_t>(static_cast<uint32_t>(langValue) & 0xFFFFu);
    return isSupportedInstallLanguage(requested) ? requested : detected;
}

bool rebootSuppressed(bool rebootSet, std::string_view rebootValue) {
    return rebootSet && rebootValue == "ReallySuppress";
}

std::string withSilentAdditions(std::string msiArguments, bool addLocalSet) {
    if (!contains(msiArguments, "/qn")) {
        msiArguments += " /qn";
    }
    if (!addLocalSet) {
        msiArguments += kDefaultFeatures;
    }
    return msiArguments;
}

std::string installDirProperty(std::string_view folder) {
    if (folder.empty()) {
        return std::string();
    }
    const bool enclosed = folder.front() == '"' && folder.back() == '"';
    return " INSTALLDIR=" + (enclosed ? std::string(folder) : quoted(folder)) + " ";
}

std::string kitCommand(std::string_view msiexecPath, std::string_view databasePath,
                       uint16_t language, std::string_view msiArguments,
                       std::string_view kitFolder) {
    std::string command = quoted(msiexecPath) + " /i " + quoted(databasePath) + " ";
    if (language != kLanguageEnglish) {
        command += "TRANSFORMS=:" + std::to_string(language) + " ";
    }
    command.append(msiArguments);
    command += " WRAPPER=1";
    command += installDirProperty(kitFolder);
    return command;
}

bool runsPublicRuntime(bool silent, std::string_view msiArguments) {
    return silent &&
           (contains(msiArguments, "PubliccreFeature") || contains(msiArguments, "ADDLOCAL=ALL") ||
            !contains(msiArguments, "ADDLOCAL"));
}

bool runsUpdater(int kitResult, bool sameVersionRuntimeRegistered) {
    return kitResult == 0 && sameVersionRuntimeRegistered;
}

std::string publicRuntimeDatabasePath(std::string_view kitFolder) {
    return std::string(kitFolder) + "\\cre.msi";
}

std::string publicRuntimeTransformPath(std::string_view kitFolder, uint16_t language) {
    return std::string(kitFolder) + "\\cre" + std::to_string(language) + ".MST";
}

std::string publicRuntimeCommand(std::string_view msiexecPath, std::string_view kitFolder,
                                 uint16_t language, std::string_view runtimeFolder,
                                 bool suppressReboot) {
    std::string command =
        quoted(msiexecPath) + " /i " + quoted(publicRuntimeDatabasePath(kitFolder));
    if (language != kLanguageEnglish) {
        command += " TRANSFORMS=" + quoted(publicRuntimeTransformPath(kitFolder, language));
    }
    command += " /qn ADDLOCAL=ALL SDKSILENT=1";
    command += installDirProperty(runtimeFolder);
    if (suppressReboot) {
        command += " REBOOT=ReallySuppress";
    }
    return command;
}

std::string updaterInstallCommand(std::string_view msiexecPath, std::string_view databasePath,
                                  bool autoUpdate) {
    return quoted(msiexecPath) + " /i " + quoted(databasePath) +
           (autoUpdate ? " ALLUSERS=1 /qn" : " DISABLE=1 ALLUSERS=1 /qn");
}

std::string updaterRegistrationCommand(std::string_view programPath, std::string_view fullVersion) {
    return quoted(programPath) + " -r cre " + std::string(fullVersion);
}

std::string oldUpdaterUninstallCommand(std::string_view msiexecPath) {
    return quoted(msiexecPath) + " /x " + kOldUpdaterProductCode + " /qn";
}

std::string uninstallArguments(std::string_view productCode, bool quiet, std::string_view extra) {
    std::string arguments = " /x " + std::string(productCode) + (quiet ? " /qn" : " /qb!");
    if (!extra.empty()) {
        arguments += " ";
        arguments.append(extra);
    }
    return arguments;
}

std::string minorVersionPart(std::string_view version) {
    const std::size_t first = version.find('.');
    if (first == std::string_view::npos) {
        return std::string();
    }
    const std::size_t second = version.find('.', first + 1);
    return std::string(version.substr(
        first + 1, second == std::string_view::npos ? std::string_view::npos : second - first - 1));
}

std::string updateVersionPart(std::string_view version) {
    const std::size_t underscore = version.rfind('_');
    return underscore == std::string_view::npos ? std::string("00")
                                                : std::string(version.substr(underscore + 1));
}

VersionParts productVersionParts(std::string_view version) {
    VersionParts parts;
    const std::size_t first = version.find('.');
    parts.major = std::string(version.substr(0, first));
    parts.minor = minorVersionPart(version);
    if (first != std::string_view::npos) {
        const std::size_t second = version.find('.', first + 1);
        if (second != std::string_view::npos) {
            const std::size_t underscore = version.find('_', second + 1);
            parts.micro = std::string(version.substr(
                second + 1, underscore == std::string_view::npos ? std::string_view::npos
                                                                 : underscore - second - 1));
        }
    }
    parts.update = updateVersionPart(version);
    return parts;
}

int leadingNumber(std::string_view text) {
    std::size_t position = 0;
    const long long value = leadingDigitsValue(text, position);
    return value > INT_MAX ? INT_MAX : static_cast<int>(value);
}

const char* architectureDigits(bool view64) { return view64 ? "64" : "32"; }

std::string kitProductCode(bool view64, std::string_view version) {
    return std::string("{") + architectureDigits(view64) + "C7E2B9-5D31-42A8-9F06-3E8A1C4" +
           minorVersionPart(version) + "0" + updateVersionPart(version) + "0}";
}

std::string runtimeProductCode(bool view64, std::string_view version, int updateNumber) {
    std::string update = std::to_string(updateNumber);
    if (update.size() < 2) {
        update.insert(0, 2 - update.size(), '0');
    }
    return std::string("{5B1C93D0-7E42-4F18-A3C6-1D7") + architectureDigits(view64) + "1" +
           minorVersionPart(version) + "0" + update + "FF}";
}

long buildNumberFromBytes(const std::vector<uint8_t>& data) {
    std::string_view text(reinterpret_cast<const char*>(data.data()), data.size());
    const std::size_t end = text.find('\0');
    if (end != std::string_view::npos) {
        text = text.substr(0, end);
    }
    std::size_t position = 0;
    while (position < text.size() &&
           (text[position] == ' ' || (text[position] >= '\t' && text[position] <= '\r'))) {
        ++position;
    }
    bool negative = false;
    if (position < text.size() && (text[position] == '+' || text[position] == '-')) {
        negative = text[position] == '-';
        ++position;
    }
    const long long value = leadingDigitsValue(text, position);
    const long long limited = value > LONG_MAX ? LONG_MAX : value;
    return static_cast<long>(negative ? -limited : limited);
}

long buildNumberFromValue(uint32_t type, const std::vector<uint8_t>& data) {
    constexpr uint32_t kRegistryDword = 4;
    if (type == kRegistryDword && data.size() == 4) {
        const uint32_t value = registry_data::dwordFromBytes(data.data());
        // Read as text, these bytes would give 0 and make any build look older than this one.
        return value > static_cast<uint32_t>(LONG_MAX) ? LONG_MAX : static_cast<long>(value);
    }
    return buildNumberFromBytes(data);
}

namespace {

struct SplitVersion {
    long long major = 0, minor = 0, micro = 0;
    std::string_view rest;
};

long long numberOf(std::string_view text) {
    std::size_t position = 0;
    return leadingDigitsValue(text, position);
}

SplitVersion splitVersion(std::string_view text) {
    SplitVersion split;
    const std::size_t first = text.find('.');
    split.major = numberOf(text.substr(0, first));
    if (first == std::string_view::npos) {
        return split;
    }
    const std::size_t second = text.find('.', first + 1);
    split.minor = numberOf(text.substr(
        first + 1, second == std::string_view::npos ? std::string_view::npos : second - first - 1));
    if (second == std::string_view::npos) {
        return split;
    }
    const std::size_t underscore = text.find('_', second + 1);
    split.micro = numberOf(text.substr(second + 1, underscore == std::string_view::npos
                                                       ? std::string_view::npos
                                                       : underscore - second - 1));
    if (underscore != std::string_view::npos) {
        split.rest = text.substr(underscore + 1);
    }
    return split;
}

}  // namespace

int compareVersions(std::string_view a, std::string_view b) {
    const SplitVersion x = splitVersion(a);
    const SplitVersion y = splitVersion(b);
    for (const auto& [p, q] :
         {std::pair{x.major, y.major}, std::pair{x.minor, y.minor}, std::pair{x.micro, y.micro}}) {
        if (p != q) {
            return p < q ? -1 : 1;
        }
    }
    const int rest = x.rest.compare(y.rest);
    return rest < 0 ? -1 : (rest > 0 ? 1 : 0);
}

bool isWindowsInstallerVersionSufficient(uint32_t versionMs, uint32_t versionLs) {
    const uint64_t version = (static_cast<uint64_t>(versionMs) << 32) | versionLs;
    constexpr uint64_t kMinimum =
        (uint64_t{2} << 48) | (uint64_t{0} << 32) | (uint64_t{2600} << 16);
    return version >= kMinimum;
}

std::string workingFolder(std::string_view userDataFolder, std::string_view version, bool x64) {
    return std::string(userDataFolder) + "\\Halvard\\Corvid\\cdk" + std::string(version) +
           (x64 ? "_x64" : "");
}

std::string payloadFileName(std::string_view fileTemplate, std::string_view productVersion) {
    const VersionParts parts = productVersionParts(productVersion);
    const std::string digits = parts.major + parts.minor + parts.micro + parts.update;
    std::string name;
    for (std::size_t at = 0; at < fileTemplate.size();) {
        if (fileTemplate.substr(at, 9) == "{version}") {
            name += productVersion;
            at += 9;
        } else if (fileTemplate.substr(at, 8) == "{digits}") {
            name += digits;
            at += 8;
        } else {
            name += fileTemplate[at++];
        }
    }
    return name;
}

}  // namespace launcher
