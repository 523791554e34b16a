#include "config/configuration.h"

#include <gtest/gtest.h>

TEST(ConfigurationPathFor, LastDotOfTheWholePath) {
    EXPECT_EQ(ConfigurationPathFor(L"C:\\App\\tool.exe"), L"C:\\App\\tool.ini");
    EXPECT_EQ(ConfigurationPathFor(L"C:\\App\\tool.v2.exe"), L"C:\\App\\tool.v2.ini");
    // Without an extension the folder's dot is the last one.
    EXPECT_EQ(ConfigurationPathFor(L"C:\\my.app\\tool"), L"C:\\my.ini");
    EXPECT_EQ(ConfigurationPathFor(L"C:\\App\\tool."), L"C:\\App\\tool.ini");
    EXPECT_FALSE(ConfigurationPathFor(L"C:\\App\\tool").has_value());
    EXPECT_FALSE(ConfigurationPathFor(L"").has_value());
}

TEST(LauncherFolderOf, EverythingBeforeTheLastBackslash) {
    EXPECT_EQ(LauncherFolderOf(L"C:\\App\\tool.exe"), L"C:\\App");
    EXPECT_EQ(LauncherFolderOf(L"\\\\srv\\share\\tool.exe"), L"\\\\srv\\share");
    EXPECT_EQ(LauncherFolderOf(L"tool.exe"), L"");
}

TEST(SanitizeFolderName, RemovesTheNineForbiddenCharacters) {
    EXPECT_EQ(SanitizeFolderName(L"My: \"App\" <1|2>/\\?*"), L"My App 12");
    EXPECT_EQ(SanitizeFolderName(L"\\?\"|><:/*"), L"");
    EXPECT_EQ(SanitizeFolderName(L"Caf\u00E9 & Co."), L"Caf\u00E9 & Co.");
}

struct PerUserCase {
    const wchar_t* appData;
    const wchar_t* productName;
    const wchar_t* productCode;
    const wchar_t* executable;
    const wchar_t* file;
};

TEST(PerUserLocationFor, Table) {
    const PerUserCase cases[] = {
        {L"C:\\Users\\u\\AppData\\Roaming", L"Acme Tool", L"1.0", L"C:\\App\\tool.exe",
         L"C:\\Users\\u\\AppData\\Roaming\\Acme Tool\\1.0\\tool.ini"},
        {L"D:\\data", L"A:B", L"x", L"tool.v2.exe", L"D:\\data\\AB\\x\\tool.v2.ini"},
        // Only forbidden characters, or no product code: two backslashes in a row.
        {L"D:\\data", L"<>", L"x", L"C:\\a\\t.exe", L"D:\\data\\\\x\\t.ini"},
        {L"D:\\data", L"P", L"", L"C:\\a\\t.exe", L"D:\\data\\P\\\\t.ini"},
        // The product code is a folder name too.
        {L"D:\\data", L"P", L"v1:2\\b", L"C:\\a\\t.exe", L"D:\\data\\P\\v12b\\t.ini"},
        // APPDATA not set, or not an absolute path: no per-user file at all (never one at
        // the root of the current drive, which another user could plant).
        {L"", L"P", L"C", L"C:\\a\\t.exe", L""},
        {L"\\data", L"P", L"C", L"C:\\a\\t.exe", L""},
        {L"data", L"P", L"C", L"C:\\a\\t.exe", L""},
        {L"1:\\data", L"P", L"C", L"C:\\a\\t.exe", L""},
        {L"\\\\server\\share", L"P", L"C", L"t.exe", L"\\\\server\\share\\P\\C\\t.ini"},
        // A name without a dot is used whole; a dot in the folder does not count.
        {L"D:", L"P", L"C", L"C:\\my.app\\tool", L"D:\\P\\C\\tool.ini"},
        {L"D:", L"P", L"C", L"vmboot32.exe", L"D:\\P\\C\\vmboot32.ini"},
    };
    for (const auto& c : cases) {
        PerUserLocation location =
            PerUserLocationFor(c.appData, c.productName, c.productCode, c.executable);
        EXPECT_EQ(location.File, c.file) << c.executable;
    }
    PerUserLocation location = PerUserLocationFor(L"A:", L"N", L"C", L"x.exe");
    EXPECT_EQ(location.ProductFolder, L"A:\\N");
    EXPECT_EQ(location.CodeFolder, L"A:\\N\\C");
    EXPECT_EQ(PerUserLocationFor(L"", L"N", L"C", L"x.exe").ProductFolder, L"");
}

TEST(PerUserLocationFor, AppDataOfAnyLength) {
    std::wstring appData = L"C:\\" + std::wstring(5000, L'a');
    EXPECT_EQ(PerUserLocationFor(appData, L"P", L"C", L"t.exe").File, appData + L"\\P\\C\\t.ini");
}

TEST(ResolveJrePath, AbsoluteFormsStayOthersHangOffTheLauncherFolder) {
    const wchar_t* folder = L"C:\\App";
    EXPECT_EQ(ResolveJrePath(L"D:\\Java\\jre\\", folder), L"D:\\Java\\jre\\");
    EXPECT_EQ(ResolveJrePath(L"\\\\srv\\java", folder), L"\\\\srv\\java");
    EXPECT_EQ(ResolveJrePath(L"D:", folder), L"D:");
    EXPECT_EQ(ResolveJrePath(L"jre", folder), L"C:\\App\\jre");
    EXPECT_EQ(ResolveJrePath(L"", folder), L"C:\\App\\");
    EXPECT_EQ(ResolveJrePath(L"\\java", folder), L"C:\\App\\\\java");
    EXPECT_EQ(ResolveJrePath(L"\\", folder), L"C:\\App\\\\");
    EXPECT_EQ(ResolveJrePath(L"j", folder), L"C:\\App\\j");
}

TEST(MainClassSlashForm, DotsBecomeSlashes) {
    EXPECT_EQ(MainClassSlashForm(L"com.example.App"), L"com/example/App");
    EXPECT_EQ(MainClassSlashForm(L"com/example/App"), L"com/example/App");
    EXPECT_EQ(MainClassSlashForm(L" a.b"), L" a/b");
}

TEST(ParseMainModule, ModuleAndOptionalClass) {
    struct Case {
        const wchar_t* value;
        const wchar_t* module;
        const wchar_t* mainClass;
        const wchar_t* target;
    } cases[] = {
        {L"com.example.app", L"com.example.app", L"", L"com.example.app"},
        {L"com.example.app/com.example.app.Main", L"com.example.app", L"com.example.app.Main",
         L"com.example.app/com.example.app.Main"},
        {L"app/com/example/Main", L"app", L"com.example.Main", L"app/com.example.Main"},
        {L"app/", L"app", L"", L"app"},
    };
    for (const Case& c : cases) {
        MainModuleSetting setting = ParseMainModule(c.value);
        EXPECT_EQ(setting.Module, c.module) << c.value;
        EXPECT_EQ(setting.Class, c.mainClass) << c.value;
        EXPECT_EQ(ModuleLaunchTarget(setting), c.target) << c.value;
    }
}

TEST(IsYesFlag, YesInAnyLetterCaseOnly) {
    for (const wchar_t* yes : {L"Yes", L"yes", L"YES", L"yEs"}) EXPECT_TRUE(IsYesFlag(yes)) << yes;
    for (const wchar_t* no : {L"", L"Y", L"true", L"1", L"Yes ", L" Yes", L"Yess", L"No"}) {
        EXPECT_FALSE(IsYesFlag(no)) << no;
    }
}

TEST(PairConfigurationPathFor, DotOfTheFileNameOnly) {
    EXPECT_EQ(PairConfigurationPathFor(L"tool32.exe", L"C:\\Apps\\Tool 2.0"),
              L"C:\\Apps\\Tool 2.0\\tool32.ini");
    // The folder's "." must not turn a name without one into "C:\Apps\Tool 2.ini".
    EXPECT_EQ(PairConfigurationPathFor(L"tool32", L"C:\\Apps\\Tool 2.0"), std::nullopt);
    EXPECT_EQ(PairConfigurationPathFor(L"D:\\x.y\\tool32", L"C:\\App"), std::nullopt);
    EXPECT_EQ(PairConfigurationPathFor(L"x86/tool32.exe", L"C:\\App"), L"C:\\App\\x86/tool32.ini");
}

TEST(ResolvePairProductPath, RelativeNamesLieBesideTheLauncher) {
    EXPECT_EQ(ResolvePairProductPath(L"vmboot32.exe", L"C:\\App"), L"C:\\App\\vmboot32.exe");
    EXPECT_EQ(ResolvePairProductPath(L"..\\x86\\a.exe", L"C:\\App"), L"C:\\App\\..\\x86\\a.exe");
    EXPECT_EQ(ResolvePairProductPath(L"D:\\x\\a.exe", L"C:\\App"), L"D:\\x\\a.exe");
    EXPECT_EQ(ResolvePairProductPath(L"\\\\srv\\a.exe", L"C:\\App"), L"\\\\srv\\a.exe");
    EXPECT_EQ(ResolvePairProductPath(L"", L"C:\\App"), L"");
}
