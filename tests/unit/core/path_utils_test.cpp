#include "core/path_utils.h"

#include <gtest/gtest.h>

using Items = std::vector<std::wstring>;

struct SplitListCase {
    const wchar_t* text;
    const wchar_t* delimiter;
    Items items;
};

TEST(SplitList, Table) {
    const SplitListCase cases[] = {
        {L"", L";", {}},
        {L"abc", L";", {L"abc"}},
        {L"a;b", L";", {L"a", L"b"}},
        {L"a;;b", L";", {L"a", L"", L"b"}},
        {L"a;", L";", {L"a"}},
        {L";a", L";", {L"", L"a"}},
        {L";", L";", {L""}},
        {L";;", L";", {L"", L""}},
        {L" a ; b ", L";", {L" a ", L" b "}},
        {L"l1\r\nl2\r\n", L"\r\n", {L"l1", L"l2"}},
        {L"l1\r\n\r\nl3", L"\r\n", {L"l1", L"", L"l3"}},
        {L"l1\nl2", L"\r\n", {L"l1\nl2"}},
        {L"C:\\a\\b", L"\\", {L"C:", L"a", L"b"}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SplitList(c.text, c.delimiter), c.items) << c.text;
    }
}

struct SplitArgumentsCase {
    const wchar_t* text;
    Items arguments;
};

TEST(SplitArguments, Table) {
    const SplitArgumentsCase cases[] = {
        {L"", {}},
        {L"a", {L"a"}},
        {L"a  \"b c\"  d", {L"a", L"b c", L"d"}},
        {L"a b ", {L"a", L"b"}},
        {L"  a", {L"a"}},
        {L"\"\"", {L""}},
        {L"\"", {L""}},
        {L"x \"\" y", {L"x", L"", L"y"}},
        {L"\"open ended  text", {L"open ended  text"}},
        {L"\"a\"b", {L"ab"}},
        {L"a\tb c", {L"a", L"b", L"c"}},
        {L"\"a b\"   ", {L"a b"}},
        // Quotes toggle anywhere in an argument.
        {L"--name=\"John Smith\"", {L"--name=John Smith"}},
        {L"a\"b c\"d", {L"ab cd"}},
        {L"-Da=\"b c\"", {L"-Da=b c"}},
        // Backslashes: literal unless before a quote; 2n give n, an odd one escapes the quote.
        {L"\"say \\\"hi\\\"\"", {L"say \"hi\""}},
        {L"C:\\dir\\ x", {L"C:\\dir\\", L"x"}},
        {L"a\\\\\"b c\"", {L"a\\b c"}},
        {L"a\\\\\\\"b", {L"a\\\"b"}},
        {L"\"C:\\dir\\\\\" x", {L"C:\\dir\\", L"x"}},
        {L"\"D:\\\" x", {L"D:\" x"}},
        {L"tail\\\\", {L"tail\\\\"}},
        // A doubled quote inside quotes is one literal quote.
        {L"\"a\"\"b\" c", {L"a\"b", L"c"}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SplitArguments(c.text), c.arguments) << c.text;
    }
}

TEST(StripPathLevels, RemovesTrailingComponents) {
    EXPECT_EQ(StripPathLevels(L"C:\\rt\\bin\\server\\jvm.dll", 2), L"C:\\rt\\bin");
    EXPECT_EQ(StripPathLevels(L"C:\\rt\\bin\\", 1), L"C:\\rt\\bin");
    EXPECT_EQ(StripPathLevels(L"C:\\jvm.dll", 2), L"C:");
    EXPECT_EQ(StripPathLevels(L"jvm.dll", 2), L"jvm.dll");
    EXPECT_EQ(StripPathLevels(L"a\\b", 0), L"a\\b");
}

TEST(IsUncPath, NetworkForms) {
    EXPECT_TRUE(IsUncPath(L"\\\\srv\\share"));
    EXPECT_TRUE(IsUncPath(L"\\\\"));
    EXPECT_TRUE(IsUncPath(L"\\\\?\\UNC\\srv\\share"));
    EXPECT_FALSE(IsUncPath(L"\\\\?\\C:\\x"));
    EXPECT_FALSE(IsUncPath(L"C:\\x"));
    EXPECT_FALSE(IsUncPath(L"\\x"));
    EXPECT_FALSE(IsUncPath(L""));
    EXPECT_TRUE(HasLongPathPrefix(L"\\\\?\\C:\\x"));
    EXPECT_FALSE(HasLongPathPrefix(L"\\\\.\\C:\\x"));
}

TEST(ToLongPathForm, SwitchesAtTheClassicLimit) {
    std::wstring local259 = L"C:\\" + std::wstring(256, L'a');
    ASSERT_EQ(local259.size(), 259u);
    EXPECT_EQ(ToLongPathForm(local259), local259);

    std::wstring local260 = local259 + L"b";
    EXPECT_EQ(ToLongPathForm(local260), L"\\\\?\\" + local260);
    EXPECT_EQ(ToLongPathForm(L"\\\\?\\" + local260), L"\\\\?\\" + local260);

    std::wstring network260 = L"\\\\srv\\share\\" + std::wstring(248, L'n');
    ASSERT_EQ(network260.size(), 260u);
    EXPECT_EQ(ToLongPathForm(network260), L"\\\\?\\UNC\\" + network260.substr(2));
    std::wstring longNetwork = L"\\\\?\\UNC\\" + network260.substr(2);
    EXPECT_EQ(ToLongPathForm(longNetwork), longNetwork);

    // The prefix turns off the system's normalisation, so "/" and ".." are resolved first.
    std::wstring folder = L"C:\\" + std::wstring(250, L'a');
    EXPECT_EQ(ToLongPathForm(folder + L"\\app\\..\\lib/./x/*.jar"),
              L"\\\\?\\" + folder + L"\\lib\\x\\*.jar");
}

TEST(NormalizePathSeparatorsAndDots, RootsStayAndDotsResolve) {
    struct Case {
        const wchar_t* path;
        const wchar_t* expected;
    } cases[] = {
        {L"C:\\a\\b\\..\\c", L"C:\\a\\c"},
        {L"C:/a/./b//c/", L"C:\\a\\b\\c\\"},
        {L"C:\\..\\..\\a", L"C:\\a"},
        {L"C:a\\..\\b", L"C:b"},
        {L"\\\\srv\\share\\x\\..\\y", L"\\\\srv\\share\\y"},
        {L"\\\\srv\\share\\..\\y", L"\\\\srv\\share\\y"},
        {L"a\\..\\..\\b", L"..\\b"},
        {L"\\a\\..\\b", L"\\b"},
    };
    for (const Case& c : cases) EXPECT_EQ(NormalizePathSeparatorsAndDots(c.path), c.expected) << c.path;
}

struct ComponentsCase {
    const wchar_t* path;
    Items components;
};

TEST(SplitPathComponents, Table) {
    const ComponentsCase cases[] = {
        {L"C:\\Users\\a\\logs\\out.txt", {L"C:", L"Users", L"a", L"logs", L"out.txt"}},
        {L"\\\\?\\UNC\\srv\\share\\x\\f.log", {L"\\\\?\\UNC\\srv", L"share", L"x", L"f.log"}},
        {L"\\\\?\\C:\\a\\f", {L"\\\\?\\C:", L"a", L"f"}},
        {L"\\\\srv\\share\\f.log", {L"\\\\srv", L"share", L"f.log"}},
        {L"logs\\out.txt", {L"logs", L"out.txt"}},
        {L"\\a\\b.txt", {L"a", L"b.txt"}},
        {L"out.txt", {L"out.txt"}},
        {L"C:\\", {L"C:"}},
        {L"", {}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SplitPathComponents(c.path), c.components) << c.path;
    }
}

TEST(FolderOf, EverythingBeforeTheLastBackslash) {
    EXPECT_EQ(FolderOf(L"C:\\a\\b.exe"), L"C:\\a");
    EXPECT_EQ(FolderOf(L"b.exe"), L"");
}

TEST(AnchorRelativePath, OnlyRelativeNamesMoveUnderTheFolder) {
    struct Case {
        const wchar_t* path;
        const wchar_t* expected;
    } cases[] = {
        {L"logs\\out.log", L"C:\\App\\logs\\out.log"},
        {L"out_%yyyyMMdd%.log", L"C:\\App\\out_%yyyyMMdd%.log"},
        {L"..\\out.log", L"C:\\App\\..\\out.log"},
        {L"D:\\logs\\out.log", L"D:\\logs\\out.log"},
        {L"D:out.log", L"D:out.log"},
        {L"\\\\srv\\share\\out.log", L"\\\\srv\\share\\out.log"},
        {L"\\logs\\out.log", L"\\logs\\out.log"},
        {L"/logs/out.log", L"/logs/out.log"},
        {L"", L""},
    };
    for (const Case& c : cases) EXPECT_EQ(AnchorRelativePath(c.path, L"C:\\App"), c.expected) << c.path;
    EXPECT_EQ(AnchorRelativePath(L"out.log", L"C:\\"), L"C:\\out.log");
}

TEST(EqualsIgnoringAsciiCase, OnlyAsciiLettersFold) {
    struct Case {
        const wchar_t* a;
        const wchar_t* b;
        bool equal;
    } cases[] = {
        {L"favor_IBM", L"FAVOR_ibm", true},
        {L"", L"", true},
        {L"yes", L"ye", false},
        {L"azAZ", L"AZaz", true},
        // The characters beside the letters' ranges are no letters.
        {L"@[`{", L"`{@[", false},
        {L"@", L"`", false},
        {L"[", L"{", false},
        // Other scripts keep their case: no locale decides.
        {L"\u00E4", L"\u00C4", false},
        {L"\u0131", L"I", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(EqualsIgnoringAsciiCase(c.a, c.b), c.equal) << c.a << L"|" << c.b;
    }
    EXPECT_EQ(AsciiUpper(L'a'), L'A');
    EXPECT_EQ(AsciiUpper(L'z'), L'Z');
    EXPECT_EQ(AsciiUpper(L'`'), L'`');
    EXPECT_EQ(AsciiUpper(L'{'), L'{');
    EXPECT_EQ(AsciiUpper(L'\u00E4'), L'\u00E4');
}

TEST(EndsWithIgnoringAsciiCase, ComparesOnlyTheEnd) {
    EXPECT_TRUE(EndsWithIgnoringAsciiCase(L"C:\\Java\\BIN", L"\\bin"));
    EXPECT_TRUE(EndsWithIgnoringAsciiCase(L"-jre", L"-JRE"));
    EXPECT_FALSE(EndsWithIgnoringAsciiCase(L"jre", L"-jre"));
    EXPECT_FALSE(EndsWithIgnoringAsciiCase(L"1.8-jre ", L"-jre"));
    EXPECT_TRUE(EndsWithIgnoringAsciiCase(L"x", L""));
}
