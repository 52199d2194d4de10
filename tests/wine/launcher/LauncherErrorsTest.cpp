// The fatal payload message and exit code, with the system's texts.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "Payload.h"

namespace {

TEST(LauncherErrors, FatalPayloadTextAndExitCode) {
    EXPECT_EQ(FatalExitCode(0), 1627u);
    EXPECT_EQ(FatalExitCode(5), 5u);
    const std::string denied = FatalErrorText("Installer : Wrapper.CreateFile ", 5);
    EXPECT_EQ(denied.rfind("Installer : Wrapper.CreateFile  failed with error 5: ", 0), 0u)
        << denied;
    EXPECT_GT(denied.size(),
              std::string("Installer : Wrapper.CreateFile  failed with error 5: ").size());
    EXPECT_EQ(FatalErrorText("Installer : Wrapper.WriteFile (In small chunks) ", 0x2000ABCD),
              "Installer : Wrapper.WriteFile (In small chunks)  failed with error 536914893: No "
              "description available\r\n");
}

}  // namespace
