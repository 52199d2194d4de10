// The updater's settings as the launcher sees them: the check schedule and the notify type,
// read in the layout of the installed updater and written back in the current one.
#pragma once

#include <cstdint>
#include <memory>

#include "au/ConfigLogic.h"

namespace au {

class RegData;

class Config {
  public:
    // layout: 1 or more for the new layout (updater 5.6 and later), 0 or less for the old one.
    explicit Config(int layout);
    virtual ~Config();
    Config(const Config&) = delete;
    Config& operator=(const Config&) = delete;

    // Reads the schedule. A schedule that cannot be read is replaced by a random one, which is
    // written back; found becomes false only when that write fails too.
    ScheduleRecord getSchedule(bool& found);
    // Writes "Frequency", "UpdateSchedule" and "UpdateMin", in that order; throws on failure.
    void setSchedule(const ScheduleRecord& schedule);
    // 0 (notify before download) or 1 (before install). A pair that cannot be read or is
    // inconsistent is reset to 0.
    int getNotifyType();
    // Writes the pair for 0 or 1; throws std::runtime_error("unknown notifyType") for any other
    // type without writing anything.
    void setNotifyType(int notifyType);

  private:
    std::unique_ptr<RegData> regData_;
};

}  // namespace au
