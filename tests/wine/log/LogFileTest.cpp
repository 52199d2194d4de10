#include <gtest/gtest.h>
#include "AllUtils.h"
TEST(Placeholder, Builds) { EXPECT_FALSE(systemMessageText(5).empty()); }
