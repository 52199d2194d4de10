#include <gtest/gtest.h>

#include "OsLevel.h"

namespace {

using sysinfo::osLevelForVersion;

TEST(OsLevel, TableOfWindowsGenerations) {
    EXPECT_EQ(osLevelForVersion(10, 0), 5);
    EXPECT_EQ(osLevelForVersion(6, 4), 5);
    EXPECT_EQ(osLevelForVersion(6, 3), 5);
    EXPECT_EQ(osLevelForVersion(6, 2), 4);
    EXPECT_EQ(osLevelForVersion(6, 1), 3);
    EXPECT_EQ(osLevelForVersion(6, 0), 2);
    EXPECT_EQ(osLevelForVersion(5, 2), 1);
    EXPECT_EQ(osLevelForVersion(5, 1), 1);
    EXPECT_EQ(osLevelForVersion(5, 0), 0);
    EXPECT_EQ(osLevelForVersion(4, 90), 0);
    // GetVersionExA failed: the record stays zero.
    EXPECT_EQ(osLevelForVersion(0, 0), 0);
}

TEST(OsLevel, VersionAtLeastComparesMajorFirst) {
    EXPECT_TRUE(sysinfo::versionAtLeast(6, 1, 6, 1));
    EXPECT_TRUE(sysinfo::versionAtLeast(6, 2, 6, 1));
    EXPECT_FALSE(sysinfo::versionAtLeast(6, 0, 6, 1));
    // A higher major wins whatever the minor.
    EXPECT_TRUE(sysinfo::versionAtLeast(10, 0, 6, 3));
    EXPECT_FALSE(sysinfo::versionAtLeast(5, 9, 6, 0));
}

TEST(OsLevel, OnlyWorkstationsAreNotServers) {
    EXPECT_FALSE(sysinfo::isServerProductType(1));
    EXPECT_TRUE(sysinfo::isServerProductType(2));
    EXPECT_TRUE(sysinfo::isServerProductType(3));
    EXPECT_TRUE(sysinfo::isServerProductType(0));  // version unavailable
}

}  // namespace
