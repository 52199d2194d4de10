#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "LogCapture.h"
#include "au/DataProtection.h"
#include "au/RegData.h"
#include "au/config.h"

namespace {

using namespace au;

constexpr const char* kUpdateKey = "SOFTWARE\\Tarnwell\\Corvid Update";
constexpr const char* kPolicy = "SOFTWARE\\Tarnwell\\Corvid Update\\Policy";
constexpr const char* kCucheck = "SOFTWARE\\Tarnwell\\Corvid Update\\Policy\\cucheck";

// Direct access to the updater's keys in the 32-bit view, beside the classes under test.
struct RawKey {
    static void removeAll() {
        for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
            for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
                HKEY parent = nullptr;
                if (RegOpenKeyExA(root, "SOFTWARE\\Tarnwell", 0, KEY_ALL_ACCESS | view, &parent) ==
                    ERROR_SUCCESS) {
                    RegDeleteTreeA(parent, "Corvid Update");
                    RegCloseKey(parent);
                }
            }
        }
    }
    static bool exists(const char* path, REGSAM view = KEY_WOW64_32KEY) {
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ | view, &key) != ERROR_SUCCESS) {
            return false;
        }
        RegCloseKey(key);
        return true;
    }
    static void put(const char* path, const char* name, DWORD type, const void* data, DWORD size) {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0,
                                  KEY_ALL_ACCESS | KEY_WOW64_32KEY, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size),
                  ERROR_SUCCESS);
        RegCloseKey(key);
    }
    static void putDword(const char* path, const char* name, DWORD value) {
        put(path, name, REG_DWORD, &value, sizeof(value));
    }
    static void putText(const char* path, const char* name, const std::string& text) {
        put(path, name, REG_SZ, text.c_str(), static_cast<DWORD>(text.size() + 1));
    }
    // Type and bytes of a value; type 0 when it is missing.
    static DWORD get(const char* path, const char* name, std::string& bytes) {
        HKEY key = nullptr;
        bytes.clear();
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ | KEY_WOW64_32KEY, &key) !=
            ERROR_SUCCESS) {
            return 0;
        }
        DWORD type = 0;
        DWORD size = 0;
        if (RegQueryValueExA(key, name, nullptr, &type, nullptr, &size) == ERROR_SUCCESS) {
            bytes.resize(size);
            RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(bytes.data()),
                             &size);
        } else {
            type = 0;
        }
        RegCloseKey(key);
        return type;
    }
    static DWORD getDword(const char* path, const char* name) {
        std::string bytes;
        EXPECT_EQ(get(path, name, bytes), static_cast<DWORD>(REG_DWORD)) << name;
        DWORD value = 0;
        if (bytes.size() == sizeof(value)) {
            memcpy(&value, bytes.data(), sizeof(value));
        }
        return value;
    }
    static std::string getText(const char* path, const char* name) {
        std::string bytes;
        EXPECT_EQ(get(path, name, bytes), static_cast<DWORD>(REG_SZ)) << name;
        return std::string(bytes.c_str());
    }
};

// Every test starts and ends without the updater's keys, and logs to a file of its own.
class UpdaterStore : public ::testing::Test {
  protected:
    void SetUp() override {
        RawKey::removeAll();
        log_.emplace();
    }
    void TearDown() override {
        log_.reset();
        RawKey::removeAll();
    }
    std::string logText() const { return log_->text(); }
    bool logged(const std::string& function, const std::string& message) const {
        const std::vector<std::string> errors = log_->messages(function, "ERROR");
        return std::find(errors.begin(), errors.end(), message) != errors.end();
    }
    static std::string protectedText(uint32_t value) {
        return binaryToBase64(protectForMachine(dwordBytes(value)));
    }

    std::optional<cdk_test::LogCapture> log_;
};

TEST_F(UpdaterStore, NewLayoutRoundTripsEncryptedScheduleAndPlainNotifyPair) {
    const ScheduleRecord schedule = weeklySchedule(3, 2, 17, 45);
    {
        Config config(1);
        config.setSchedule(schedule);
        config.setNotifyType(1);
    }
    // Stored in the cucheck key of the 32-bit view, schedule words as Base64 text on one line.
    for (const char* name : {"Frequency", "UpdateSchedule", "UpdateMin"}) {
        const std::string text = RawKey::getText(kCucheck, name);
        EXPECT_FALSE(text.empty());
        EXPECT_EQ(text.find_first_of("\r\n"), std::string::npos) << text;
    }
    EXPECT_EQ(RawKey::getDword(kCucheck, "NotifyDownload"), 0u);
    EXPECT_EQ(RawKey::getDword(kCucheck, "NotifyInstall"), 1u);
    if (sizeof(void*) == 8) {
        EXPECT_FALSE(RawKey::exists(kCucheck, KEY_WOW64_64KEY));
    }

    Config reader(1);
    bool found = false;
    EXPECT_EQ(reader.getSchedule(found), schedule);
    EXPECT_TRUE(found);
    EXPECT_EQ(reader.getNotifyType(), 1);
    reader.setNotifyType(0);
    EXPECT_EQ(reader.getNotifyType(), 0);
    EXPECT_EQ(logText(), "");
}

TEST_F(UpdaterStore, OldLayoutKeepsPlainNumbersInThePolicyKey) {
    RawKey::putDword(kPolicy, "Frequency", 0x0208);
    RawKey::putDword(kPolicy, "UpdateSchedule", 9);
    RawKey::putDword(kPolicy, "UpdateMin", 15);
    RawKey::putDword(kPolicy, "NotifyDownload", 0);
    RawKey::putDword(kPolicy, "NotifyInstall", 1);
    Config old(0);
    bool found = false;
    EXPECT_EQ(old.getSchedule(found), (ScheduleRecord{0x0208, 9, 15}));
    EXPECT_TRUE(found);
    EXPECT_EQ(old.getNotifyType(), 1);

    // Upgrading: what the old layout held is written in the new one.
    Config current(1);
    current.setSchedule(old.getSchedule(found));
    current.setNotifyType(old.getNotifyType());
    EXPECT_EQ(current.getSchedule(found), (ScheduleRecord{0x0208, 9, 15}));
    EXPECT_EQ(current.getNotifyType(), 1);

    // Writing in the old layout never makes the cucheck key.
    RawKey::removeAll();
    Config(0).setSchedule(ScheduleRecord{0x0101, 1, 2});
    EXPECT_EQ(RawKey::getDword(kPolicy, "Frequency"), 0x0101u);
    EXPECT_FALSE(RawKey::exists(kCucheck));
}

TEST_F(UpdaterStore, ProtectedNumberReadsBackAndIsReprotectedFresh) {
    const std::string first = protectedText(1032);
    RawKey::putText(kCucheck, "Frequency", first);
    RegData data(1);
    EXPECT_EQ(data.getValue(frequencyValue()), 1032u);
    data.setValue(frequencyValue(), 1032);
    const std::string second = RawKey::getText(kCucheck, "Frequency");
    EXPECT_NE(second, first);
    EXPECT_EQ(unprotectData(base64ToBinary(second)), dwordBytes(1032));
    EXPECT_EQ(RegData(1).getValue(frequencyValue()), 1032u);
}

TEST_F(UpdaterStore, WrongSizeBlobIsRescheduled) {
    RawKey::putText(kCucheck, "Frequency",
                    binaryToBase64(protectForMachine({1, 2, 3, 4, 5, 6, 7, 8})));
    RawKey::putText(kCucheck, "UpdateSchedule", protectedText(4));
    RawKey::putText(kCucheck, "UpdateMin", protectedText(5));
    {
        RegData data(1);
        try {
            data.getValue(frequencyValue());
            FAIL() << "an 8-byte blob was accepted";
        } catch (const std::runtime_error& e) {
            EXPECT_STREQ(e.what(), "decrypted data has wrong size");
        }
    }
    EXPECT_TRUE(
        logged("au::RegData::getValue", "getValue(DWORD) failed: decrypted data has wrong size"));

    Config config(1);
    bool found = false;
    const ScheduleRecord random = config.getSchedule(found);
    EXPECT_TRUE(found);
    EXPECT_TRUE(logged("au::Config::getSchedule",
                       "getSchedule failed: decrypted data has wrong size, rescheduling"));
    EXPECT_EQ(std::popcount(random.frequency & 0xFF), 1);
    EXPECT_EQ(random.frequency >> 16, 0u);
    // The random schedule replaced the stored one.
    EXPECT_EQ(Config(1).getSchedule(found), random);
}

TEST_F(UpdaterStore, MissingScheduleIsCreatedButReadingAloneCreatesNothing) {
    RegData data(1);
    EXPECT_THROW(data.getValue(frequencyValue()), std::runtime_error);
    EXPECT_TRUE(logged("au::RegData::getValue", std::string("getValue(DWORD) failed: open key (") +
                                                    kCucheck + ") error: 2"));
    EXPECT_FALSE(RawKey::exists(kUpdateKey));

    Config config(1);
    bool found = false;
    const ScheduleRecord random = config.getSchedule(found);
    EXPECT_TRUE(found);
    EXPECT_EQ(Config(1).getSchedule(found), random);
}

TEST_F(UpdaterStore, WrongRegistryTypeIsAReadFailure) {
    RawKey::putDword(kCucheck, "Frequency", 1032);
    EXPECT_THROW(RegData(1).getValue(frequencyValue()), std::runtime_error);
    EXPECT_TRUE(logged("au::RegData::getValue",
                       "getValue(DWORD) failed: query string value (Frequency) error: wrong type"));
    // The old layout reads the same number plainly, but from the Policy key.
    RawKey::putDword(kPolicy, "Frequency", 1032);
    EXPECT_EQ(RegData(0).getValue(frequencyValue()), 1032u);
}

TEST_F(UpdaterStore, InconsistentNotifyPairIsReset) {
    for (DWORD both : {1u, 0u}) {
        RawKey::putDword(kCucheck, "NotifyDownload", both);
        RawKey::putDword(kCucheck, "NotifyInstall", both);
        EXPECT_EQ(Config(1).getNotifyType(), 0);
        EXPECT_EQ(RawKey::getDword(kCucheck, "NotifyDownload"), 1u);
        EXPECT_EQ(RawKey::getDword(kCucheck, "NotifyInstall"), 0u);
    }
    EXPECT_TRUE(logged("au::Config::getNotifyType",
                       "getNotifyType failed: inconsistent data, reset to default"));
}

TEST_F(UpdaterStore, HealingThatCannotBeWrittenIsReportedNotThrown) {
    // A volatile Policy key cannot hold the non-volatile cucheck key, so every write of the new
    // layout fails while reading finds nothing.
    HKEY policy = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kPolicy, 0, nullptr, REG_OPTION_VOLATILE,
                              KEY_ALL_ACCESS | KEY_WOW64_32KEY, nullptr, &policy, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(policy);
    const std::string refused = std::string("setValue(DWORD) failed: open key (") + kCucheck +
                                ") error: " + std::to_string(ERROR_CHILD_MUST_BE_VOLATILE);

    Config config(1);
    bool found = true;
    const ScheduleRecord random = config.getSchedule(found);
    EXPECT_FALSE(found);
    EXPECT_EQ(std::popcount(random.frequency & 0xFF), 1);
    EXPECT_TRUE(logged("au::RegData::setValue", refused)) << logText();

    // The notify type falls back to 0 even though the reset cannot be stored.
    EXPECT_EQ(config.getNotifyType(), 0);
    EXPECT_FALSE(RawKey::exists(kCucheck));
    // A direct write still reports its failure to the caller.
    EXPECT_THROW(config.setNotifyType(1), std::runtime_error);
}

TEST_F(UpdaterStore, UnknownNotifyTypeWritesNothing) {
    Config config(1);
    try {
        config.setNotifyType(2);
        FAIL() << "notify type 2 accepted";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "unknown notifyType");
    }
    EXPECT_TRUE(logged("au::Config::setNotifyType", "setNotifyType: unknown value: 2"));
    EXPECT_FALSE(RawKey::exists(kUpdateKey));
}

TEST_F(UpdaterStore, UnknownEncryptionTypeIsALogicError) {
    RegData data(1);
    const RegValueInfo userBlob{LOCATION_USER_POLICY, "Blob", ENCRYPTION_USER_BINARY};
    EXPECT_THROW(data.setValue(userBlob, 1), std::logic_error);
    EXPECT_TRUE(logged("au::RegData::setValue", "setValue(DWORD) failed: unknown encryptionType"));
}

TEST(DataProtection, Base64AndBlobFailuresNameTheirStep) {
    EXPECT_EQ(binaryToBase64({}), "");
    EXPECT_TRUE(base64ToBinary("").empty());
    EXPECT_EQ(binaryToBase64({'M', 'a', 'n'}), "TWFu");
    EXPECT_EQ(base64ToBinary("TWFu"), (std::vector<uint8_t>{'M', 'a', 'n'}));
    try {
        base64ToBinary("***");
        FAIL() << "bad Base64 accepted";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()).rfind("string2binary (phase1) failed, sysError=", 0), 0u)
            << e.what();
    }
    std::vector<uint8_t> blob = protectForMachine(dwordBytes(7));
    blob.back() ^= 0x5A;  // the signature at the end
    try {
        unprotectData(blob);
        FAIL() << "tampered blob accepted";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "decryption failed, sysError=13") << e.what();
    }
}

}  // namespace
