#include <gtest/gtest.h>

#include <bit>
#include <set>
#include <stdexcept>

#include "au/ConfigLogic.h"

namespace {

using namespace au;

TEST(RandomSchedule, EveryDrawIsAValidWeeklySchedule) {
    std::mt19937 engine(12345);
    std::set<uint32_t> days, shifts, hours, minutes;
    for (int i = 0; i < 5000; ++i) {
        const ScheduleRecord s = randomSchedule(engine);
        const uint32_t day = s.frequency & 0xFF;
        const uint32_t second = (s.frequency >> 8) & 0xFF;
        ASSERT_EQ(std::popcount(day), 1) << s.frequency;
        ASSERT_LE(day, 0x40u);
        ASSERT_EQ(std::popcount(second), 1) << s.frequency;
        ASSERT_LE(second, 0x40u);
        ASSERT_EQ(s.frequency >> 16, 0u);
        ASSERT_LE(s.hour, 23u);
        ASSERT_LE(s.minute, 59u);
        days.insert(day);
        shifts.insert(second);
        hours.insert(s.hour);
        minutes.insert(s.minute);
    }
    // Every value of every range turns up, so no range is cut short.
    EXPECT_EQ(days.size(), 7u);
    EXPECT_EQ(shifts.size(), 7u);
    EXPECT_EQ(hours.size(), 24u);
    EXPECT_EQ(minutes.size(), 60u);
}

TEST(RandomSchedule, WeeklyEncodingAndRanges) {
    EXPECT_EQ(weeklySchedule(1, 0, 0, 0).frequency, 0x0101u);
    EXPECT_EQ(weeklySchedule(7, 6, 23, 59), (ScheduleRecord{0x4040u, 23, 59}));
    try {
        weeklySchedule(8, 0, 0, 0);
        FAIL() << "day 8 accepted";
    } catch (const std::out_of_range& e) {
        EXPECT_STREQ(e.what(), "(weekly) day value is out of range");
    }
    EXPECT_THROW(weeklySchedule(0, 0, 0, 0), std::out_of_range);
    EXPECT_THROW(weeklySchedule(1, 7, 0, 0), std::out_of_range);
    EXPECT_THROW(weeklySchedule(1, 0, 24, 0), std::out_of_range);
    EXPECT_THROW(weeklySchedule(1, 0, 0, 60), std::out_of_range);
}

TEST(StoreLayout, OldLayoutKeepsPlainNumbersInThePolicyKey) {
    for (int layout : {0, -1}) {
        const RegValueInfo old = translateForLayout(frequencyValue(), layout);
        EXPECT_EQ(old.location, LOCATION_POLICY);
        EXPECT_EQ(old.encryptionType, ENCRYPTION_NONE);
        EXPECT_EQ(old.name, "Frequency");
    }
    for (int layout : {1, 2}) {
        const RegValueInfo current = translateForLayout(frequencyValue(), layout);
        EXPECT_EQ(current.location, LOCATION_POLICY_CUCHECK);
        EXPECT_EQ(current.encryptionType, ENCRYPTION_MACHINE_BASE64);
    }
    // Only location 1 and type 2 are translated.
    const RegValueInfo user{LOCATION_USER_POLICY, "x", ENCRYPTION_USER_BINARY};
    const RegValueInfo same = translateForLayout(user, 0);
    EXPECT_EQ(same.location, LOCATION_USER_POLICY);
    EXPECT_EQ(same.encryptionType, ENCRYPTION_USER_BINARY);
    EXPECT_STREQ(locationKeyPath(LOCATION_POLICY_CUCHECK),
                 "SOFTWARE\\Tarnwell\\Corvid Update\\Policy\\cucheck");
    EXPECT_FALSE(locationIsMachineWide(LOCATION_USER_POLICY));
    EXPECT_THROW(locationKeyPath(3), std::logic_error);
}

}  // namespace
