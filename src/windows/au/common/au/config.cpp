#include "au/config.h"

#include <chrono>
#include <random>
#include <stdexcept>

#include "AllUtils.h"
#include "StringFormat.h"
#include "au/RegData.h"

namespace au {

namespace {

// One engine per process, seeded from the system's random source and the clock, so that
// machines set up at the same moment still spread their checks.
std::mt19937& scheduleEngine() {
    static std::mt19937 engine = [] {
        std::random_device device;
        const auto ticks = std::chrono::high_resolution_clock::now().time_since_epoch().count();
        std::seed_seq seed{device(), device(), static_cast<unsigned>(ticks),
                           static_cast<unsigned>(static_cast<unsigned long long>(ticks) >> 32)};
        return std::mt19937(seed);
    }();
    return engine;
}

}  // namespace

Config::Config(int layout) : regData_(std::make_unique<RegData>(layout)) {}

Config::~Config() = default;

ScheduleRecord Config::getSchedule(bool& found) {
    found = true;
    try {
        ScheduleRecord schedule;
        schedule.frequency = regData_->getValue(frequencyValue());
        schedule.hour = regData_->getValue(updateScheduleValue());
        schedule.minute = regData_->getValue(updateMinValue());
        return schedule;
    } catch (const std::exception& e) {
        CDK_LOG(LOG_ERROR, "au::Config::getSchedule",
                std::string("getSchedule failed: ") + e.what() + ", rescheduling");
    }
    const ScheduleRecord schedule = randomSchedule(scheduleEngine());
    try {
        setSchedule(schedule);
    } catch (const std::exception&) {
        // setValue has logged the failure; the caller learns it through found.
        found = false;
    }
    return schedule;
}

void Config::setSchedule(const ScheduleRecord& schedule) {
    regData_->setValue(frequencyValue(), schedule.frequency);
    regData_->setValue(updateScheduleValue(), schedule.hour);
    regData_->setValue(updateMinValue(), schedule.minute);
}

int Config::getNotifyType() {
    try {
        const uint32_t download = regData_->getValue(notifyDownloadValue());
        const uint32_t install = regData_->getValue(notifyInstallValue());
        return notifyTypeFromPair(download, install);
    } catch (const std::exception& e) {
        CDK_LOG(LOG_ERROR, "au::Config::getNotifyType",
                std::string("getNotifyType failed: ") + e.what() + ", reset to default");
    }
    try {
        setNotifyType(0);
    } catch (const std::exception&) {
        // Already logged by setValue; the default is answered either way.
    }
    return 0;
}

void Config::setNotifyType(int notifyType) {
    NotifyPair pair;
    if (!notifyPairFor(notifyType, pair)) {
        CDK_LOG(LOG_ERROR, "au::Config::setNotifyType",
                formatString("setNotifyType: unknown value: %d", notifyType));
        throw std::runtime_error("unknown notifyType");
    }
    regData_->setValue(notifyDownloadValue(), pair.notifyDownload);
    regData_->setValue(notifyInstallValue(), pair.notifyInstall);
}

}  // namespace au
