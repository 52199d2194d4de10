#include "SettingsFileTrust.h"

#include <algorithm>
#include <cstdio>

#include "Text.h"

namespace {

constexpr const char* kAdministrators = "S-1-5-32-544";
constexpr const char* kSystem = "S-1-5-18";
constexpr const char* kTrustedInstaller =
    "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";
// OWNER RIGHTS: an entry for whoever owns the file, which here is one of the above.
constexpr const char* kOwnerRights = "S-1-3-4";

bool sameSid(const std::string& sid, const char* other) {
    return cdk_text::asciiLower(sid) == cdk_text::asciiLower(other);
}

bool isAdministration(const std::string& sid) {
    return sameSid(sid, kAdministrators) || sameSid(sid, kSystem) ||
           sameSid(sid, kTrustedInstaller);
}

std::string hex(std::uint32_t value) {
    char text[16] = {};
    std::snprintf(text, sizeof(text), "0x%X", static_cast<unsigned>(value));
    return text;
}

}  // namespace

SettingsFileTrust judgeSettingsFile(const settings::FileSecurity& security) {
    if (!isAdministration(security.ownerSid)) {
        const std::string owner =
            security.ownerSid.empty() ? "an unknown account" : security.ownerSid;
        return {false, "it is owned by " + owner + ", not by the administrators"};
    }
    if (!security.hasAccessList) {
        return {false, "it has no access list, which lets everyone write it"};
    }
    for (const settings::FileAccessEntry& entry : security.accessList) {
        const std::uint32_t rights = entry.rights & kRightsThatChangeTheFile;
        if (!entry.allows || entry.inheritOnly || rights == 0 || isAdministration(entry.sid) ||
            sameSid(entry.sid, kOwnerRights)) {
            continue;
        }
        const std::string account = entry.sid.empty() ? "an account it does not name" : entry.sid;
        return {false, "its access list allows " + account + " the rights " + hex(rights)};
    }
    return {true, std::string()};
}
