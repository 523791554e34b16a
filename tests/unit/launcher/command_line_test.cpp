#include "launcher/command_line.h"

#include <gtest/gtest.h>

using Args = std::vector<std::wstring>;

TEST(ParseCommandLine, DropsProgramPathAndTrims) {
    EXPECT_EQ(ParseCommandLine(L"  \"C:\\Program Files\\App\\app.exe\" a  \"b c\"  \t"),
              (Args{L"a", L"b c"}));
    EXPECT_EQ(ParseCommandLine(L""), Args{});
    EXPECT_EQ(ParseCommandLine(L"app.exe"), Args{});
}

TEST(ParseCommandLine, UnquotedPathWithSpacesSpillsIntoArguments) {
    EXPECT_EQ(ParseCommandLine(L"C:\\My Apps\\app.exe x"), (Args{L"Apps\\app.exe", L"x"}));
}

TEST(ParseCommandLine, QuotesAndTabs) {
    EXPECT_EQ(ParseCommandLine(L"app \"\" x"), (Args{L"", L"x"}));
    EXPECT_EQ(ParseCommandLine(L"app \"open ended  text"), (Args{L"open ended  text"}));
    EXPECT_EQ(ParseCommandLine(L"app a\tb"), (Args{L"a", L"b"}));
}

TEST(ParseCommandLine, ProgramPathKeepsBackslashesAndEndsAtBlank) {
    // Backslash escapes apply to the arguments only: a path ending in "\" before its
    // closing quote still ends there.
    EXPECT_EQ(ParseCommandLine(L"\"C:\\App\\\" \"x\""), (Args{L"x"}));
    EXPECT_EQ(ParseCommandLine(L"C:\\A\"p p\"\\app.exe\ty"), (Args{L"y"}));
}

TEST(HasSplashSwitch, ExactWholeArgumentOnly) {
    EXPECT_TRUE(HasSplashSwitch({L"x", L"-nosplash"}));
    EXPECT_TRUE(HasSplashSwitch({L"/nosplash"}));
    EXPECT_FALSE(HasSplashSwitch({L"-NOSPLASH"}));
    EXPECT_FALSE(HasSplashSwitch({L"-nosplash2", L"nosplash"}));
}
