#include <gtest/gtest.h>

#include "ExecutorCommandLine.h"

using executor_cmdline::composeCommandLine;
using executor_cmdline::normalizeApplicationPath;
using executor_cmdline::trimBlanks;

namespace {

const std::string kPath = R"(C:\Program Files\Corvid\msiexec.exe)";

TEST(ExecutorTrim, RemovesOnlySpacesAndTabsAtBothEnds) {
    EXPECT_EQ(trimBlanks(" \t a b\t \t"), "a b");
    EXPECT_EQ(trimBlanks("\r\nx\n"), "\r\nx\n");
    EXPECT_EQ(trimBlanks(" \t \t"), "");
    EXPECT_EQ(trimBlanks(""), "");
    EXPECT_EQ(trimBlanks("x"), "x");
}

TEST(ExecutorApplicationPath, TrimsThenRemovesEnclosingQuotes) {
    EXPECT_EQ(normalizeApplicationPath("  \"" + kPath + "\"\t"), kPath);
    EXPECT_EQ(normalizeApplicationPath("\t" + kPath + " "), kPath);
    // Quotes inside the text, or only on one side, are part of the path.
    EXPECT_EQ(normalizeApplicationPath("\"C:\\a.exe"), "\"C:\\a.exe");
    EXPECT_EQ(normalizeApplicationPath("C:\\a.exe\""), "C:\\a.exe\"");
    EXPECT_EQ(normalizeApplicationPath("\"a\" \"b\""), "a\" \"b");
    // Only one pair is removed.
    EXPECT_EQ(normalizeApplicationPath("\"\"a\"\""), "\"a\"");
    // Blanks inside the quotes stay.
    EXPECT_EQ(normalizeApplicationPath("\" a \""), " a ");
}

TEST(ExecutorApplicationPath, BlankAndDegenerateQuotes) {
    EXPECT_EQ(normalizeApplicationPath(" \t "), "");
    EXPECT_EQ(normalizeApplicationPath("\"\""), "");
    EXPECT_EQ(normalizeApplicationPath(" \" "), "\"");
}

TEST(ExecutorCommandLine, NoArgumentsGiveTheQuotedPath) {
    EXPECT_EQ(composeCommandLine(kPath, ""), "\"" + kPath + "\"");
    EXPECT_EQ(composeCommandLine(kPath, " \t "), "\"" + kPath + "\"");
}

TEST(ExecutorCommandLine, PlainArgumentsFollowTheQuotedPathAfterOneSpace) {
    EXPECT_EQ(composeCommandLine(kPath, "/i kit.msi /qn"), "\"" + kPath + "\" /i kit.msi /qn");
    EXPECT_EQ(composeCommandLine(kPath, "\t /x {ABC}  "), "\"" + kPath + "\" /x {ABC}");
}

TEST(ExecutorCommandLine, ArgumentsBeginningWithTheUnquotedPathDoNotRepeatIt) {
    EXPECT_EQ(composeCommandLine(kPath, kPath + " /qn"), "\"" + kPath + "\" /qn");
    EXPECT_EQ(composeCommandLine(kPath, "  " + kPath + " /qn "), "\"" + kPath + "\" /qn");
    EXPECT_EQ(composeCommandLine(kPath, kPath), "\"" + kPath + "\"");
    // The rest is appended as it is, without a separator of its own.
    EXPECT_EQ(composeCommandLine("C:\\a.exe", "C:\\a.exe.bak x"), "\"C:\\a.exe\".bak x");
}

TEST(ExecutorCommandLine, ArgumentsBeginningWithTheQuotedPathAreTheCommandLine) {
    const std::string given = "\"" + kPath + "\"   /i \"C:\\kit dir\\kit.msi\"";
    EXPECT_EQ(composeCommandLine(kPath, given), given);
    EXPECT_EQ(composeCommandLine(kPath, " " + given + "\t"), given);
}

TEST(ExecutorCommandLine, PathElsewhereInTheArgumentsIsAnOrdinaryArgument) {
    EXPECT_EQ(composeCommandLine(kPath, "/x " + kPath + " /y"),
              "\"" + kPath + "\" /x " + kPath + " /y");
    // Quoted, but not at the start.
    EXPECT_EQ(composeCommandLine(kPath, "/x \"" + kPath + "\""),
              "\"" + kPath + "\" /x \"" + kPath + "\"");
    // Found at position 1 without a leading quote.
    EXPECT_EQ(composeCommandLine("a.exe", "xa.exe"), "\"a.exe\" xa.exe");
}

TEST(ExecutorCommandLine, PathComparisonIsCaseSensitive) {
    EXPECT_EQ(composeCommandLine("C:\\A.exe", "c:\\a.exe /q"), "\"C:\\A.exe\" c:\\a.exe /q");
}

TEST(ExecutorCommandLine, LongCommandLinesAreKeptWhole) {
    const std::string arguments(40000, 'x');
    const std::string line = composeCommandLine(kPath, arguments);
    EXPECT_EQ(line.size(), kPath.size() + 3 + arguments.size());
    EXPECT_EQ(line.substr(line.size() - arguments.size()), arguments);
}

}  // namespace
