#include "au/ConfigLogic.h"

#include <stdexcept>

namespace au {

const RegValueInfo& frequencyValue() {
    static const RegValueInfo info{LOCATION_POLICY_CUCHECK, "Frequency", ENCRYPTION_MACHINE_BASE64};
    return info;
}

const RegValueInfo& updateScheduleValue() {
    static const RegValueInfo info{LOCATION_POLICY_CUCHECK, "UpdateSchedule",
                                   ENCRYPTION_MACHINE_BASE64};
    return info;
}

const RegValueInfo& updateMinValue() {
    static const RegValueInfo info{LOCATION_POLICY_CUCHECK, "UpdateMin", ENCRYPTION_MACHINE_BASE64};
    return info;
}

const RegValueInfo& notifyDownloadValue() {
    static const RegValueInfo info{LOCATION_POLICY_CUCHECK, "NotifyDownload", ENCRYPTION_NONE};
    return info;
}

const RegValueInfo& notifyInstallValue() {
    static const RegValueInfo info{LOCATION_POLICY_CUCHECK, "NotifyInstall", ENCRYPTION_NONE};
    return info;
}

const char* locationKeyPath(int location) {
    switch (location) {
        case LOCATION_POLICY:
        case LOCATION_USER_POLICY:
            return "SOFTWARE\\Tarnwell\\Corvid Update\\Policy";
        case LOCATION_POLICY_CUCHECK:
            return "SOFTWARE\\Tarnwell\\Corvid Update\\Policy\\cucheck";
        default:
            throw std::logic_error("unknown reg location");
    }
}

bool locationIsMachineWide(int location) { return location != LOCATION_USER_POLICY; }

bool isNewLayout(int layout) { return layout >= 1; }

RegValueInfo translateForLayout(const RegValueInfo& info, int layout) {
    RegValueInfo translated = info;
    if (!isNewLayout(layout)) {
        if (translated.location == LOCATION_POLICY_CUCHECK) {
            translated.location = LOCATION_POLICY;
        }
        if (translated.encryptionType == ENCRYPTION_MACHINE_BASE64) {
            translated.encryptionType = ENCRYPTION_NONE;
        }
    }
    return translated;
}

ScheduleRecord weeklySchedule(int day, int secondByteShift, uint32_t hour, uint32_t minute) {
    if (day < 1 || day > 7) {
        throw std::out_of_range("(weekly) day value is out of range");
    }
    if (secondByteShift < 0 || secondByteShift > 6 || hour > 23 || minute > 59) {
        throw std::out_of_range("schedule value is out of range");
    }
    ScheduleRecord record;
    record.frequency = (1u << (day - 1)) | ((1u << secondByteShift) << 8);
    // The highest byte's lowest bit is a flag of its own; a weekly schedule never sets it.
    record.frequency &= ~(1u << 24);
    record.hour = hour;
    record.minute = minute;
    return record;
}

ScheduleRecord randomSchedule(std::mt19937& engine) {
    std::uniform_int_distribution<int> day(1, 7);
    std::uniform_int_distribution<int> shift(0, 6);
    std::uniform_int_distribution<uint32_t> hour(0, 23);
    std::uniform_int_distribution<uint32_t> minute(0, 59);
    const int d = day(engine);
    const int s = shift(engine);
    const uint32_t h = hour(engine);
    const uint32_t m = minute(engine);
    return weeklySchedule(d, s, h, m);
}

bool notifyPairFor(int notifyType, NotifyPair& pair) {
    switch (notifyType) {
        case 0:
            pair = {1, 0};
            return true;
        case 1:
            pair = {0, 1};
            return true;
        default:
            return false;
    }
}

int notifyTypeFromPair(uint32_t notifyDownload, uint32_t notifyInstall) {
    if ((notifyDownload != 0) == (notifyInstall != 0)) {
        throw std::runtime_error("inconsistent data");
    }
    return notifyInstall != 0 ? 1 : 0;
}

}  // namespace au
