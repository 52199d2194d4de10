#include <gtest/gtest.h>
#include "AllUtils.h"
TEST(Placeholder, Builds) { EXPECT_EQ(std::string("TRACE"), logLevelWord(0)); }
