// The updater settings' data: where each value lives, how it is encoded, the schedule record
// and the notify pair, and the translations of the old (pre-5.6) layout. Plain functions, no
// registry access.
#pragma once

#include <cstdint>
#include <random>
#include <string>

namespace au {

// Where a value lives.
enum RegLocation : int {
    LOCATION_POLICY = 0,          // HKLM "SOFTWARE\Tarnwell\Corvid Update\Policy"
    LOCATION_POLICY_CUCHECK = 1,  // HKLM "...\Policy\cucheck"
    LOCATION_USER_POLICY = 2,     // HKCU "SOFTWARE\Tarnwell\Corvid Update\Policy"
};
inline constexpr int kLocationCount = 3;

// How a value is stored.
enum EncryptionType : int {
    ENCRYPTION_NONE = 0,            // REG_DWORD
    ENCRYPTION_USER_BINARY = 1,     // REG_BINARY user-scope blob (not used by any value)
    ENCRYPTION_MACHINE_BASE64 = 2,  // REG_SZ Base64 of a machine-scope blob of 4 bytes
};

struct RegValueInfo {
    int location;
    std::string name;
    int encryptionType;
};

// The values of the store.
const RegValueInfo& frequencyValue();
const RegValueInfo& updateScheduleValue();
const RegValueInfo& updateMinValue();
const RegValueInfo& notifyDownloadValue();
const RegValueInfo& notifyInstallValue();

// The registry key path of a location; throws std::logic_error for an unknown location.
const char* locationKeyPath(int location);
// Locations 0 and 1 are below HKEY_LOCAL_MACHINE, 2 below HKEY_CURRENT_USER.
bool locationIsMachineWide(int location);

// A layout of 1 or more is the new one. The old layout keeps every value as a plain number in
// the Policy key itself.
bool isNewLayout(int layout);
RegValueInfo translateForLayout(const RegValueInfo& info, int layout);

// When and how often the updater checks: words of "Frequency", "UpdateSchedule", "UpdateMin".
struct ScheduleRecord {
    uint32_t frequency = 0;
    uint32_t hour = 0;
    uint32_t minute = 0;

    bool operator==(const ScheduleRecord&) const = default;
};

// A weekly schedule: day d (1 to 7) as bit d - 1 of the lowest byte, 1 << secondByteShift in
// the second byte, the upper bytes 0. Throws std::out_of_range("(weekly) day value is out of
// range") for a day outside 1 to 7, std::out_of_range for a shift above 6, an hour above 23 or
// a minute above 59.
ScheduleRecord weeklySchedule(int day, int secondByteShift, uint32_t hour, uint32_t minute);

// A weekly schedule with every field drawn uniformly from its range.
ScheduleRecord randomSchedule(std::mt19937& engine);

// Notify type 0 (before download) is stored as the pair (1, 0), 1 (before install) as (0, 1).
struct NotifyPair {
    uint32_t notifyDownload;
    uint32_t notifyInstall;
};
// False for a type other than 0 or 1.
bool notifyPairFor(int notifyType, NotifyPair& pair);
// Throws std::runtime_error("inconsistent data") when both or neither are set.
int notifyTypeFromPair(uint32_t notifyDownload, uint32_t notifyInstall);

}  // namespace au
