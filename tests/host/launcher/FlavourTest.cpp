// What differs between the 32-bit product flavour and the 64-bit flavour, answered for both on
// the host: registry view and access masks, working folder, product codes' architecture digits.
#include <gtest/gtest.h>

#include "LauncherLogic.h"
#include "RegistryViewRule.h"

namespace {

struct Flavour {
    const char* name;
    const char* architecture;
    bool nativeAmd64;
    bool wow64;
    bool expectX64;
    bool expect32BitView;
    uint32_t expectReadMask;
    const char* expectFolder;
    const char* expectKitCode;
    const char* expectRuntimeCode;
};

const Flavour kFlavours[] = {
    // The product: a 32-bit process under WOW64 on 64-bit Windows.
    {"i586 on x64 Windows", "i586", true, true, false, true, 0x20219,
     R"(D:\Data\Halvard\Corvid\cdk3.6.0_09)", "{32C7E2B9-5D31-42A8-9F06-3E8A1C460090}",
     "{5B1C93D0-7E42-4F18-A3C6-1D73216009FF}"},
    // The product on 32-bit Windows.
    {"i586 on x86 Windows", "i586", false, false, false, true, 0x20219,
     R"(D:\Data\Halvard\Corvid\cdk3.6.0_09)", "{32C7E2B9-5D31-42A8-9F06-3E8A1C460090}",
     "{5B1C93D0-7E42-4F18-A3C6-1D73216009FF}"},
    // The 64-bit flavour, native.
    {"amd64 native", "amd64", true, false, true, false, 0x20119,
     R"(D:\Data\Halvard\Corvid\cdk3.6.0_09_x64)", "{64C7E2B9-5D31-42A8-9F06-3E8A1C460090}",
     "{5B1C93D0-7E42-4F18-A3C6-1D76416009FF}"},
};

}  // namespace

TEST(Flavours, EveryDifferenceFollowsFromTheArchitectureAndTheProcess) {
    for (const Flavour& f : kFlavours) {
        SCOPED_TRACE(f.name);
        const bool x64 = launcher::isX64Architecture(f.architecture);
        EXPECT_EQ(x64, f.expectX64);
        const bool use32 = registry_view::use32BitView(f.nativeAmd64, f.wow64);
        EXPECT_EQ(use32, f.expect32BitView);
        using registry_view::Access;
        using registry_view::View;
        EXPECT_EQ(registry_view::accessMask(Access::Read, View::Product, use32), f.expectReadMask);
        EXPECT_EQ(registry_view::accessMask(Access::ReadWrite, View::Product, use32),
                  (use32 ? 0x0200u : 0x0100u) | 0x2001Fu);
        EXPECT_EQ(launcher::workingFolder(R"(D:\Data)", "3.6.0_09", x64), f.expectFolder);
        EXPECT_EQ(launcher::kitProductCode(!use32, "3.6.0_09"), f.expectKitCode);
        EXPECT_EQ(launcher::runtimeProductCode(!use32, "3.6.0_09", 9), f.expectRuntimeCode);
    }
    EXPECT_TRUE(launcher::isX64Architecture("AMD64"));
    EXPECT_FALSE(launcher::isX64Architecture("amd64 "));
    EXPECT_FALSE(launcher::isX64Architecture("x86_64"));
}

// Only the product view follows the flavour; the other views name their flag, or none.
TEST(RegistryViews, EachViewHasItsMask) {
    using registry_view::Access;
    using registry_view::View;
    const struct {
        Access access;
        View view;
        bool use32;
        uint32_t mask;
    } rows[] = {
        {Access::Read, View::Process, true, 0x20019},
        {Access::ReadWrite, View::Process, false, 0x2001F},
        {Access::Read, View::Only32, false, 0x20219},
        {Access::ReadWrite, View::Only32, false, 0x2021F},
        {Access::Read, View::Only64, true, 0x20119},
        {Access::ReadWrite, View::Only64, true, 0x2011F},
        {Access::Read, View::Product, false, 0x20119},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(registry_view::accessMask(row.access, row.view, row.use32), row.mask)
            << static_cast<int>(row.view);
    }
}
