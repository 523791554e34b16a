#include "options/vm_parameters.h"

#include <gtest/gtest.h>

namespace {

std::vector<std::wstring> Tokenize(std::wstring_view text, VmParameterContext& context) {
    std::vector<std::wstring> options;
    TokenizeVmParameters(text, options, context);
    return options;
}

std::vector<std::wstring> Tokenize(std::wstring_view text) {
    VmParameterContext context;
    return Tokenize(text, context);
}

}  // namespace

TEST(FindTokenEnd, QuotesProtectSpaces) {
    struct Case {
        const wchar_t* text;
        std::size_t start;
        std::size_t expected;
    } cases[] = {
        {L"-Xmx1g -Da=b", 0, 6},
        {L"-Xmx1g", 0, 6},
        {L"-Da=\"x y\" z", 0, 9},
        {L"\"a b\"", 0, 5},
        {L"-Da=\"x y", 0, 6},          // unclosed quote does not protect
        {L"-Da=\"x\"\" y\" z", 0, 8},  // doubled quote ends the run
        {L"a\"b\"c d", 0, 5},
        {L" x", 0, 0},
        {L"x y", 2, 3},
        {L"\"\"", 0, 2},
        {L"a \"b c\"", 0, 1},  // space before the quote
    };
    for (const Case& c : cases) EXPECT_EQ(FindTokenEnd(c.text, c.start), c.expected) << c.text;
}

TEST(StripQuotes, RemovesPairsKeepsLoneQuotes) {
    struct Case {
        const wchar_t* token;
        const wchar_t* expected;
    } cases[] = {
        {L"-Dname=\"a b\"", L"-Dname=a b"},
        {L"\"-Dx=1\"", L"-Dx=1"},
        {L"plain", L"plain"},
        {L"", L""},
        {L"a\"", L"a\""},            // final lone quote stays
        {L"a\"bc", L"a\"bc"},        // unclosed quote stays
        {L"\"a\"\"", L"a\""},        // doubled closing quote: the first is content
        {L"\"a\"\"b\"", L"a\"b\""},  // ...and the second closes, leaving b"
        {L"\"a\"x\"b\"", L"axb"},
        {L"\"\"", L""},
        {L"x\"\"y", L"xy"},
        {L"\"a\"\"\"b", L"a\"\"b"},  // the quote after the doubled one is unclosed
        {L"\"a\" \"", L"a \""},
    };
    for (const Case& c : cases) {
        std::wstring token = c.token;
        StripQuotes(token);
        EXPECT_EQ(token, c.expected) << c.token;
    }
}

TEST(TokenizeVmParameters, SplitsUnquotesAndKeepsOrder) {
    struct Case {
        const wchar_t* text;
        std::vector<std::wstring> expected;
    } cases[] = {
        {L"-Xmx512m -Dapp.mode=test", {L"-Xmx512m", L"-Dapp.mode=test"}},
        {L"-Dpath=\"C:\\Program Files\\x\"  -Dy=1", {L"-Dpath=C:\\Program Files\\x", L"-Dy=1"}},
        {L"\"-Dwhole=a b\"", {L"-Dwhole=a b"}},
        {L"a   b ", {L"a", L"b"}},
        {L"-Da=\"x y", {L"-Da=\"x", L"y"}},
        // Tabs do not separate.
        {L"a\tb c", {L"a\tb", L"c"}},
        // A leading space (a value read only from an append section) adds no empty option.
        {L" -Xss1m", {L"-Xss1m"}},
        {L"\"\" -Da", {L"-Da"}},
        {L"-Dhome=%USERPROFILE%", {L"-Dhome=%USERPROFILE%"}},
    };
    for (const Case& c : cases) EXPECT_EQ(Tokenize(c.text), c.expected) << c.text;
}

TEST(TokenizeVmParameters, PercentSizesAndStackSize) {
    int queries = 0;
    VmParameterContext context;
    context.QueryMemory = [&] {
        ++queries;
        MemoryAmounts<std::size_t> memory;
        memory.TotalPhysical = std::size_t{1} << 30;
        memory.AvailableVirtual = std::size_t{1} << 30;
        return memory;
    };
    auto options = Tokenize(L"-Xmx50p -Xss2m -Xms25p -Xss512k -Xss10p", context);
    EXPECT_EQ(options, (std::vector<std::wstring>{L"-Xmx524288K", L"-Xss2m", L"-Xms262144K",
                                                  L"-Xss512k", L"-Xss104857K"}));
    EXPECT_EQ(queries, 3);  // once per percentage option, nothing cached
    EXPECT_EQ(context.StackSize, std::size_t{104857} * 1024);

    context.StackSize = 0;
    Tokenize(L"-Xss2m -Xss:1m", context);
    EXPECT_EQ(context.StackSize, 0u);  // the last one wins, even when unreadable

    context.StackSize = 77;
    Tokenize(L"-Xmx1g \"-Xss1m\"", context);
    EXPECT_EQ(context.StackSize, 1048576u);  // read after unquoting
}

TEST(JoinModuleOptionValues, JoinsTwoWordModuleOptionsOnly) {
    struct Case {
        const wchar_t* text;
        std::vector<std::wstring> expected;
        std::size_t joined;
    } cases[] = {
        {L"--add-opens java.base/java.lang=ALL-UNNAMED -Xmx1g",
         {L"--add-opens=java.base/java.lang=ALL-UNNAMED", L"-Xmx1g"}, 1},
        {L"--add-exports a/b=c --add-reads a=b --add-modules x,y --limit-modules x",
         {L"--add-exports=a/b=c", L"--add-reads=a=b", L"--add-modules=x,y", L"--limit-modules=x"},
         4},
        {L"-p mods --module-path \"C:\\My Mods\" --upgrade-module-path u",
         {L"--module-path=mods", L"--module-path=C:\\My Mods", L"--upgrade-module-path=u"}, 3},
        {L"--patch-module m=p.jar --enable-native-access ALL-UNNAMED",
         {L"--patch-module=m=p.jar", L"--enable-native-access=ALL-UNNAMED"}, 2},
        // Already one word, another option's value, or nothing after it: untouched.
        {L"--add-opens=a/b=c -cp x.jar -Dp=-p", {L"--add-opens=a/b=c", L"-cp", L"x.jar", L"-Dp=-p"},
         0},
        {L"-Xmx1g --add-modules", {L"-Xmx1g", L"--add-modules"}, 0},
        {L"--ADD-OPENS a/b=c -P x", {L"--ADD-OPENS", L"a/b=c", L"-P", L"x"}, 0},
        // The value is taken as the java command takes it, whatever it looks like.
        {L"--add-modules --add-opens x", {L"--add-modules=--add-opens", L"x"}, 1},
    };
    for (const Case& c : cases) {
        auto options = Tokenize(c.text);
        EXPECT_EQ(JoinModuleOptionValues(options), c.joined) << c.text;
        EXPECT_EQ(options, c.expected) << c.text;
    }
}

TEST(TakeModulePathOptions, RemovesThemInOrderAndKeepsTheRest) {
    auto options = Tokenize(L"-p a --add-modules m --module-path=b;c -Dmodule-path=x -Xmx1g");
    JoinModuleOptionValues(options);
    EXPECT_EQ(TakeModulePathOptions(options), (std::vector<std::wstring>{L"a", L"b;c"}));
    EXPECT_EQ(options, (std::vector<std::wstring>{L"--add-modules=m", L"-Dmodule-path=x", L"-Xmx1g"}));
    auto none = Tokenize(L"-Xmx1g --upgrade-module-path=u");
    EXPECT_TRUE(TakeModulePathOptions(none).empty());
    EXPECT_EQ(none.size(), 2u);
}

TEST(JavaCommandOptionKey, OptionsOnlyTheJavaCommandReads) {
    const struct {
        const wchar_t* option;
        const wchar_t* key;  ///< null: an option the VM reads itself
    } rows[] = {
        {L"-cp", L"Class Path"},
        {L"-classpath", L"Class Path"},
        {L"--class-path", L"Class Path"},
        {L"--class-path=lib\\a.jar", L"Class Path"},
        {L"-jar", L"Class Path\" and \"Main Class"},
        {L"-m", L"Main Module"},
        {L"--module", L"Main Module"},
        {L"--module=app/app.Main", L"Main Module"},
        {L"@options.txt", L"Virtual Machine Parameters"},
        {L"-cpx", nullptr},
        {L"-cp=x", nullptr},
        {L"-mx64m", nullptr},
        {L"--module-path=mods", nullptr},
        {L"-Dcp=@x", nullptr},
        {L"", nullptr},
    };
    for (const auto& row : rows) {
        const wchar_t* key = JavaCommandOptionKey(row.option);
        if (row.key == nullptr) {
            EXPECT_EQ(key, nullptr) << row.option;
        } else {
            EXPECT_STREQ(key, row.key) << row.option;
        }
    }
}

TEST(ClassifyJavaLauncherOption, OptionsTheJavaCommandActsOn) {
    using enum JavaLauncherOption;
    const struct {
        const wchar_t* option;
        JavaLauncherOption kind;
    } rows[] = {
        {L"-server", ServerVm},
        {L"-client", ClientVm},
        {L"-showversion", ShowVersion},
        {L"--show-version", ShowVersion},
        {L"-XshowSettings", ShowSettings},
        {L"-XshowSettings:properties", ShowSettings},
        {L"-splash:images\\splash.png", Splash},
        {L"-Xdiag", Diagnostics},
        {L"--dry-run", DryRun},
        {L"-version", EndsJava},
        {L"--version", EndsJava},
        {L"-fullversion", EndsJava},
        {L"-help", EndsJava},
        {L"-?", EndsJava},
        {L"-X", EndsJava},
        {L"--list-modules", EndsJava},
        {L"--describe-module=java.base", EndsJava},
        // What the VM reads itself.
        {L"-Xmx512m", None},
        {L"-XshowSettingsX", None},
        {L"-Xdiagnostics", None},
        {L"-serverx", None},
        {L"-splash", None},
        {L"-version:11", None},
        {L"-Dx=-version", None},
        {L"-verbose:gc", None},
        {L"", None},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(ClassifyJavaLauncherOption(row.option), row.kind) << row.option;
    }
}

TEST(TakeJavaLauncherOptions, TakesWhatJavaActsOnAndKeepsTheRestInOrder) {
    std::vector<std::wstring> options = {
        L"-server", L"-Xmx64m",      L"-showversion", L"-client",   L"-Xdiag",
        L"-XshowSettings:vm",        L"-splash:a.png", L"-XshowSettings:locale",
        L"--dry-run", L"-d",         L"java.base",    L"-version",  L"-Da=b"};
    JavaLauncherRequests requests = TakeJavaLauncherOptions(options);
    EXPECT_EQ(options, (std::vector<std::wstring>{L"-Xmx64m", L"-Dsun.java.launcher.diag=true",
                                                  L"-Da=b"}));
    EXPECT_EQ(requests.VmType, JavaLauncherOption::ClientVm);
    EXPECT_TRUE(requests.ShowVersion);
    EXPECT_FALSE(requests.ShowVersionOnStdout);
    EXPECT_EQ(requests.ShowSettings, L"-XshowSettings:locale");
    EXPECT_EQ(requests.SplashImage, L"a.png");
    EXPECT_TRUE(requests.DryRun);
    EXPECT_EQ(requests.EndingOptions, (std::vector<std::wstring>{L"-d", L"-version"}));

    std::vector<std::wstring> plain = {L"-Xss1m", L"--show-version"};
    requests = TakeJavaLauncherOptions(plain);
    EXPECT_EQ(plain, std::vector<std::wstring>{L"-Xss1m"});
    EXPECT_TRUE(requests.ShowVersionOnStdout);
    EXPECT_EQ(requests.VmType, JavaLauncherOption::None);
    EXPECT_FALSE(requests.DryRun);
}

TEST(JavaCommandProperty, TargetThenArguments) {
    EXPECT_EQ(JavaCommandProperty(L"com/app/Main", L"", {L"a b", L"", L"c"}),
              L"-Dsun.java.command=com.app.Main a b  c");
    EXPECT_EQ(JavaCommandProperty(L"", L"app/com.app.Main", {}),
              L"-Dsun.java.command=app/com.app.Main");
}

TEST(DecidePerUserParameters, UsedUnlessElevatedOrBlank) {
    struct Case {
        const wchar_t* value;
        bool elevated;
        PerUserParameters expected;
    } cases[] = {
        {L"-Xmx2g", false, PerUserParameters::Used},
        {L"-javaagent:x.jar", true, PerUserParameters::IgnoredElevated},
        {L"", false, PerUserParameters::None},
        {L"   ", true, PerUserParameters::None},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DecidePerUserParameters(c.value, c.elevated), c.expected) << c.value;
    }
}

TEST(TokenizeVmParameters, UsersOptionsComeAfterTheApplicationsSoTheyWin) {
    // As the option step reads them: the application's, then the user's, each on its own so
    // an unclosed quote in one cannot swallow the other.
    VmParameterContext context;
    std::vector<std::wstring> options;
    TokenizeVmParameters(L"-Xmx512m -Xss1m -Da=\"x", options, context);
    TokenizeVmParameters(L"-Xmx2g -Xss4m", options, context);
    EXPECT_EQ(options, (std::vector<std::wstring>{L"-Xmx512m", L"-Xss1m", L"-Da=\"x", L"-Xmx2g",
                                                  L"-Xss4m"}));
    EXPECT_EQ(context.StackSize, 4u * 1024 * 1024);
}
