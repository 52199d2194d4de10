// Which owners and access lists make the runtime settings file one the launcher takes msiexec
// input from.
#include <gtest/gtest.h>

#include "SettingsFileTrust.h"

namespace {

constexpr const char* kAdmins = "S-1-5-32-544";
constexpr const char* kSystem = "S-1-5-18";
constexpr const char* kUsers = "S-1-5-32-545";
constexpr const char* kUser = "S-1-5-21-1004336348-1177238915-682003330-1001";
constexpr std::uint32_t kFull = 0x1F01FF;
constexpr std::uint32_t kRead = 0x1200A9;

using Entry = settings::FileAccessEntry;

Entry allow(const char* sid, std::uint32_t rights) { return {true, false, sid, rights}; }

// A file as an elevated administrator leaves it, with `extra` entries after the usual ones.
settings::FileSecurity adminFile(std::vector<Entry> extra = {}) {
    settings::FileSecurity security{
        kAdmins, true, {allow(kSystem, kFull), allow(kAdmins, kFull), allow(kUsers, kRead)}};
    security.accessList.insert(security.accessList.end(), extra.begin(), extra.end());
    return security;
}

TEST(SettingsFileTrustTest, OwnerAndWritingEntriesDecide) {
    struct Case {
        const char* what;
        settings::FileSecurity security;
        std::string reason;  // empty: trusted
    };
    settings::FileSecurity userOwned = adminFile();
    userOwned.ownerSid = kUser;
    settings::FileSecurity systemOwned = adminFile();
    systemOwned.ownerSid = kSystem;
    settings::FileSecurity installerOwned = adminFile();
    installerOwned.ownerSid = "s-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";
    settings::FileSecurity noOwner = adminFile();
    noOwner.ownerSid.clear();
    const settings::FileSecurity noList{kAdmins, false, {}};
    const settings::FileSecurity emptyList{kAdmins, true, {}};

    const std::vector<Case> cases = {
        {"administrators' file", adminFile(), ""},
        {"owned by SYSTEM", systemOwned, ""},
        {"owned by TrustedInstaller, SID in lower case", installerOwned, ""},
        {"empty access list: only the owner", emptyList, ""},
        {"owned by a user", userOwned,
         std::string("it is owned by ") + kUser + ", not by the administrators"},
        {"owner unknown", noOwner, "it is owned by an unknown account, not by the administrators"},
        {"no access list", noList, "it has no access list, which lets everyone write it"},
        {"Users may write data", adminFile({allow(kUsers, 0x2)}),
         "its access list allows S-1-5-32-545 the rights 0x2"},
        {"Authenticated Users may append", adminFile({allow("S-1-5-11", kRead | 0x4)}),
         "its access list allows S-1-5-11 the rights 0x4"},
        {"Everyone may change the access list", adminFile({allow("S-1-1-0", 0x40000)}),
         "its access list allows S-1-1-0 the rights 0x40000"},
        {"INTERACTIVE may take ownership", adminFile({allow("S-1-5-4", 0x80000)}),
         "its access list allows S-1-5-4 the rights 0x80000"},
        {"a user has full control", adminFile({allow(kUser, kFull)}),
         std::string("its access list allows ") + kUser + " the rights 0xC0006"},
        {"generic write", adminFile({allow(kUsers, 0x40000000)}),
         "its access list allows S-1-5-32-545 the rights 0x40000000"},
        {"generic all", adminFile({allow(kUsers, 0x10000000)}),
         "its access list allows S-1-5-32-545 the rights 0x10000000"},
        {"an entry whose account is not read", adminFile({allow("", 0x2)}),
         "its access list allows an account it does not name the rights 0x2"},
        {"a deny before the allow is not weighed",
         adminFile({{false, false, kUsers, kFull}, allow(kUsers, 0x2)}),
         "its access list allows S-1-5-32-545 the rights 0x2"},
        {"CREATOR OWNER on the file itself", adminFile({allow("S-1-3-0", kFull)}),
         "its access list allows S-1-3-0 the rights 0xC0006"},
        // Rights that leave the text as it is: delete, attributes, extended attributes.
        {"Users may delete and set attributes", adminFile({allow(kUsers, 0x10000 | 0x100 | 0x10)}),
         ""},
        {"a deny for everyone", adminFile({{false, false, "S-1-1-0", kFull}}), ""},
        {"CREATOR OWNER passed on only", adminFile({{true, true, "S-1-3-0", kFull}}), ""},
        {"OWNER RIGHTS", adminFile({allow("S-1-3-4", kFull)}), ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const SettingsFileTrust trust = judgeSettingsFile(c.security);
        EXPECT_EQ(trust.trusted, c.reason.empty());
        EXPECT_EQ(trust.reason, c.reason);
    }
}

}  // namespace
