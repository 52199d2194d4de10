// The launcher's decisions without an operating system: command lines, languages, versions and
// product codes.
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "LauncherLogic.h"

using namespace launcher;

namespace {

const std::string kMsiexec = R"(C:\Windows\system32\msiexec.exe)";
const std::string kDatabase =
    R"(C:\Users\u\AppData\LocalLow\Halvard\Corvid\cdk3.6.0_09\cdk3.6.0_09.msi)";

}  // namespace

TEST(InstallLanguage, FromUserInterfaceLanguage) {
    const struct {
        uint16_t ui, expected;
    } rows[] = {{1041, 1041}, {3076, 1033}, {2052, 2052}, {1031, 1033}, {0x0811, 1041},
                {1033, 1033}, {1028, 1033}, {4100, 1033}, {0, 1033}};
    for (const auto& row : rows) {
        EXPECT_EQ(installLanguageFromUiLanguage(row.ui), row.expected) << row.ui;
    }
}

TEST(InstallLanguage, LangOptionOnlyReplacesWithASupportedLanguage) {
    EXPECT_EQ(chooseInstallLanguage(1033, false, 2052), 1033);
    EXPECT_EQ(chooseInstallLanguage(1033, true, 2052), 2052);
    EXPECT_EQ(chooseInstallLanguage(1041, true, 1036), 1041);
    // Only the low 16 bits count: 0x10411 is 1041 there.
    EXPECT_EQ(chooseInstallLanguage(1033, true, 0x10411), 1041);
    EXPECT_EQ(chooseInstallLanguage(2052, true, -1), 2052);
    for (uint16_t language : {1033, 1041, 2052}) {
        EXPECT_TRUE(isSupportedInstallLanguage(language));
    }
    EXPECT_FALSE(isSupportedInstallLanguage(1036));
    EXPECT_FALSE(isSupportedInstallLanguage(0));
}

TEST(KitCommand, SilentCommandsByLanguage) {
    const std::string silent = withSilentAdditions("", false);
    EXPECT_EQ(kitCommand(kMsiexec, kDatabase, 1033, silent, ""),
              "\"" + kMsiexec + "\" /i \"" + kDatabase +
                  "\"  /qn ADDLOCAL=PubliccreFeature,ToolsFeature WRAPPER=1");
    EXPECT_EQ(kitCommand(kMsiexec, kDatabase, 1041, silent, ""),
              "\"" + kMsiexec + "\" /i \"" + kDatabase +
                  "\" TRANSFORMS=:1041  /qn ADDLOCAL=PubliccreFeature,ToolsFeature WRAPPER=1");
    // An interactive run without MSI_CMDLINE: two blanks before WRAPPER=1.
    EXPECT_EQ(kitCommand(kMsiexec, kDatabase, 2052, "", ""),
              "\"" + kMsiexec + "\" /i \"" + kDatabase + "\" TRANSFORMS=:2052  WRAPPER=1");
}

TEST(KitCommand, SilentAdditions) {
    const struct {
        std::string msiArguments;
        bool addLocalSet;
        std::string expected;
    } rows[] = {
        {"", false, " /qn ADDLOCAL=PubliccreFeature,ToolsFeature"},
        {"/qn ", false, "/qn  ADDLOCAL=PubliccreFeature,ToolsFeature"},
        {"/QN ", false, "/QN  /qn ADDLOCAL=PubliccreFeature,ToolsFeature"},
        {"/l* x.log /qn ADDLOCAL=ToolsFeature ", true, "/l* x.log /qn ADDLOCAL=ToolsFeature "},
        {"/qb ", true, "/qb  /qn"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(withSilentAdditions(row.msiArguments, row.addLocalSet), row.expected)
            << row.msiArguments;
    }
}

TEST(KitCommand, InstallDirQuoting) {
    EXPECT_EQ(installDirProperty(R"(D:\Kit)"), R"( INSTALLDIR="D:\Kit" )");
    EXPECT_EQ(installDirProperty(R"("D:\Kit")"), R"( INSTALLDIR="D:\Kit" )");
    EXPECT_EQ(installDirProperty("\""), " INSTALLDIR=\" ");
    EXPECT_EQ(installDirProperty(R"("D:\Kit)"), R"( INSTALLDIR=""D:\Kit" )");
    EXPECT_EQ(installDirProperty(""), "");
    EXPECT_EQ(kitCommand(kMsiexec, kDatabase, 1033, "", R"(D:\Kit)"),
              "\"" + kMsiexec + "\" /i \"" + kDatabase + "\"  WRAPPER=1 INSTALLDIR=\"D:\\Kit\" ");
}

TEST(KitCommand, LongArgumentsAreNeverCut) {
    const std::string arguments(3000, 'x');
    const std::string command = kitCommand(kMsiexec, kDatabase, 1033, arguments + " ", "");
    EXPECT_NE(command.find(arguments + "  WRAPPER=1"), std::string::npos);
    const std::string huge(kMaxCommandLineLength, 'y');
    EXPECT_GT(kitCommand(kMsiexec, kDatabase, 1033, huge, "").size(), kMaxCommandLineLength);
}

TEST(FollowUps, WhichRun) {
    const struct {
        bool silent;
        std::string msiArguments;
        bool expected;
    } rows[] = {
        {true, " /qn ADDLOCAL=PubliccreFeature,ToolsFeature", true},
        {true, "ADDLOCAL=ALL /qn", true},
        {true, "/qn", true},
        {true, "ADDLOCAL=ToolsFeature /qn", false},
        {true, "addlocal=ToolsFeature /qn", true},
        {false, "", false},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(runsPublicRuntime(row.silent, row.msiArguments), row.expected)
            << row.msiArguments;
    }
    EXPECT_TRUE(runsUpdater(0, true));
    EXPECT_FALSE(runsUpdater(0, false));
    EXPECT_FALSE(runsUpdater(3010, true));
    EXPECT_FALSE(runsUpdater(1603, true));
    EXPECT_TRUE(rebootSuppressed(true, "ReallySuppress"));
    EXPECT_FALSE(rebootSuppressed(true, "reallysuppress"));
    EXPECT_FALSE(rebootSuppressed(false, "ReallySuppress"));
}

TEST(FollowUps, PublicRuntimeCommands) {
    EXPECT_EQ(publicRuntimeCommand(kMsiexec, R"(C:\Kit)", 1033, "", false),
              "\"" + kMsiexec + R"(" /i "C:\Kit\cre.msi" /qn ADDLOCAL=ALL SDKSILENT=1)");
    EXPECT_EQ(publicRuntimeCommand(kMsiexec, R"(C:\Kit)", 1041, R"(D:\Pub)", true),
              "\"" + kMsiexec +
                  R"(" /i "C:\Kit\cre.msi" TRANSFORMS="C:\Kit\cre1041.MST" /qn ADDLOCAL=ALL )"
                  R"(SDKSILENT=1 INSTALLDIR="D:\Pub"  REBOOT=ReallySuppress)");
}

TEST(FollowUps, UpdaterCommands) {
    EXPECT_EQ(updaterInstallCommand(kMsiexec, R"(C:\AU\au.msi)", true),
              "\"" + kMsiexec + R"(" /i "C:\AU\au.msi" ALLUSERS=1 /qn)");
    EXPECT_EQ(updaterInstallCommand(kMsiexec, R"(C:\AU\au.msi)", false),
              "\"" + kMsiexec + R"(" /i "C:\AU\au.msi" DISABLE=1 ALLUSERS=1 /qn)");
    EXPECT_EQ(updaterRegistrationCommand(R"(C:\caureg.exe)", "3.6.0_09-b11"),
              R"("C:\caureg.exe" -r cre 3.6.0_09-b11)");
    EXPECT_EQ(oldUpdaterUninstallCommand(kMsiexec),
              "\"" + kMsiexec + "\" /x {6D2F84B1-39C7-4E5A-8B16-0C7E93A5F2D4} /qn");
}

TEST(PriorInstall, ProductCodesAndUninstallArguments) {
    EXPECT_EQ(kitProductCode(false, "3.6.0_09"), "{32C7E2B9-5D31-42A8-9F06-3E8A1C460090}");
    EXPECT_EQ(kitProductCode(true, "3.6.0_09"), "{64C7E2B9-5D31-42A8-9F06-3E8A1C460090}");
    EXPECT_EQ(runtimeProductCode(false, "3.6.0_09", 9), "{5B1C93D0-7E42-4F18-A3C6-1D73216009FF}");
    EXPECT_EQ(runtimeProductCode(true, "3.6.0_09", 0), "{5B1C93D0-7E42-4F18-A3C6-1D76416000FF}");
    EXPECT_EQ(uninstallArguments("{X}", false, ""), " /x {X} /qb!");
    EXPECT_EQ(uninstallArguments("{X}", true, "REBOOT=1"), " /x {X} /qn REBOOT=1");
}

TEST(PriorInstall, VersionParts) {
    EXPECT_EQ(minorVersionPart("3.6.0_09"), "6");
    EXPECT_EQ(updateVersionPart("3.6.0_09"), "09");
    EXPECT_EQ(updateVersionPart("3.6.0"), "00");
    EXPECT_EQ(minorVersionPart("3"), "");
    EXPECT_EQ(minorVersionPart("3.12"), "12");
    EXPECT_EQ(leadingNumber("09"), 9);
    EXPECT_EQ(leadingNumber("ab"), 0);
    EXPECT_EQ(leadingNumber("99999999999999999999"), INT32_MAX);
    // The payload's file names, from the table's templates.
    EXPECT_EQ(payloadFileName("ss{digits}0.cab", "3.6.0_09"), "ss360090.cab");
    EXPECT_EQ(payloadFileName("cdk{version}.msi", "3.6.0_09"), "cdk3.6.0_09.msi");
    EXPECT_EQ(payloadFileName("au.msi", "3.6.0_09"), "au.msi");
    EXPECT_EQ(payloadFileName("{digits}{version}{", "4.10.2"), "4102004.10.2{");
    EXPECT_EQ(workingFolder(R"(D:\LocalLow)", "3.6.0_09", false),
              R"(D:\LocalLow\Halvard\Corvid\cdk3.6.0_09)");
    EXPECT_EQ(workingFolder(R"(D:\LocalLow)", "3.6.0_09", true),
              R"(D:\LocalLow\Halvard\Corvid\cdk3.6.0_09_x64)");
}

TEST(PriorInstall, BuildNumberFromRegistryBytes) {
    const auto bytes = [](const std::string& text) {
        return std::vector<uint8_t>(text.begin(), text.end());
    };
    EXPECT_EQ(buildNumberFromBytes(bytes(std::string("11\0", 3))), 11);
    EXPECT_EQ(buildNumberFromBytes(bytes("12")), 12);
    EXPECT_EQ(buildNumberFromBytes(bytes("  7x")), 7);
    EXPECT_EQ(buildNumberFromBytes(bytes("-3")), -3);
    EXPECT_EQ(buildNumberFromBytes(bytes("")), 0);
    EXPECT_EQ(buildNumberFromBytes(bytes("b11")), 0);
    // A DWORD 12 is the bytes 0C 00 00 00: no digits before the first NUL.
    EXPECT_EQ(buildNumberFromBytes({0x0C, 0, 0, 0}), 0);
    // A DWORD is its number; binary data is read as text like a string.
    EXPECT_EQ(buildNumberFromValue(4, {0x0C, 0, 0, 0}), 12);
    EXPECT_GT(buildNumberFromValue(4, {0xFF, 0xFF, 0xFF, 0xFF}), 11);
    EXPECT_EQ(buildNumberFromValue(3, {0x0C, 0, 0, 0}), 0);
    EXPECT_EQ(buildNumberFromValue(3, bytes("12")), 12);
    EXPECT_EQ(buildNumberFromValue(1, bytes(std::string("7\0", 2))), 7);
    // Huge numbers saturate and count as newer builds.
    EXPECT_GT(buildNumberFromBytes(bytes("123456789012345678901234567890")), 11);
}

TEST(Versions, ThreeWayComparison) {
    const struct {
        const char* a;
        const char* b;
        int expected;
    } rows[] = {
        {"5.6.09.11", "5.6.09.11", 0},
        {"5.4.1.2", "5.6.09.11", -1},
        {"5.6.02.11", "5.6", 1},
        {"5.6", "5.6.02.11", -1},
        {"5.6.09.12", "5.6.09.11", 0},
        {"5.6.10", "5.6.9", 1},
        {"3.6.0_09", "3.6.0_10", -1},
        {"3.6.0_b", "3.6.0_a", 1},
        {"6", "5.9.9", 1},
        {"", "0.0.0", 0},
        {"x.y", "0", 0},
        {"10.0", "9.9", 1},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(compareVersions(row.a, row.b), row.expected) << row.a << " vs " << row.b;
    }
}

TEST(Versions, WindowsInstallerAtLeast2_0_2600_0) {
    EXPECT_TRUE(isWindowsInstallerVersionSufficient(0x00020000, 0x0A280000));
    EXPECT_FALSE(isWindowsInstallerVersionSufficient(0x00020000, 0x0A27FFFF));
    EXPECT_TRUE(isWindowsInstallerVersionSufficient(0x00030000, 0));
    EXPECT_FALSE(isWindowsInstallerVersionSufficient(0x00010009, 0xFFFFFFFF));
    EXPECT_TRUE(isWindowsInstallerVersionSufficient(0x00050000, 0x1DB10000));
}
