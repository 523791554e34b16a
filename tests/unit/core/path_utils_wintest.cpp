#include "core/path_utils_win32.h"

#include <shlwapi.h>

#include <gtest/gtest.h>

#include "../temp_folder_win32.h"
#include "core/path_utils.h"

using test_support::TempFolder;

TEST(IsUncPath, AgreesWithPathIsUNCW) {
    const wchar_t* paths[] = {
        L"\\\\srv\\share\\f",
        L"\\\\srv",
        L"\\\\",
        L"\\\\?\\UNC\\srv\\share",
        L"\\\\?\\UNC\\",
        L"C:\\a\\b",
        L"\\a\\b",
        L"a\\b",
        L"",
        L"\\",
        L"//srv/share",
        L"C:",
        L"\\\\.\\pipe\\p",
    };
    for (const wchar_t* path : paths) {
        EXPECT_EQ(IsUncPath(path), ::PathIsUNCW(path) != FALSE) << path;
    }
    // A local long-path form is no network path: it must not become "\\?\UNC\?\C:...".
    // (Wine's PathIsUNCW looks only at the two leading backslashes and says otherwise.)
    EXPECT_FALSE(IsUncPath(L"\\\\?\\C:\\x"));
    EXPECT_EQ(ToLongPathForm(L"\\\\?\\C:\\" + std::wstring(300, L'x')).substr(0, 7),
              L"\\\\?\\C:\\");
}

TEST(FileFinder, FindsFilesAndPatternsAndKeepsTheFirstMatch) {
    TempFolder folder;
    ASSERT_TRUE(test_support::WriteBytes(folder / L"one.txt", "1"));
    FileFinder finder;
    EXPECT_TRUE(finder.FindFile(folder / L"one.txt"));
    EXPECT_TRUE(finder.Found());
    EXPECT_STREQ(finder.Data().cFileName, L"one.txt");
    EXPECT_TRUE(finder.FindFile(folder / L"*.txt"));

    ::SetLastError(0);
    EXPECT_FALSE(finder.FindFile(folder / L"two.txt"));
    EXPECT_FALSE(finder.Found());
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_TRUE(PathExists(folder / L"one.txt"));
    EXPECT_FALSE(PathExists(folder / L"none"));
}

TEST(FileFinder, LongPathsAreSearchedInTheLongForm) {
    TempFolder folder;
    // Build a tree deeper than the classic limit with the long-path form.
    std::wstring deep = folder.Path();
    while (deep.size() < 400) {
        deep += L"\\" + std::wstring(40, L'd');
        ASSERT_TRUE(::CreateDirectoryW(test_support::LongForm(deep).c_str(), nullptr))
            << deep.size();
    }
    std::wstring file = deep + L"\\target.txt";
    ASSERT_GE(file.size(), 260u);
    ASSERT_TRUE(test_support::WriteBytes(file, "x"));

    FileFinder finder;
    EXPECT_TRUE(finder.FindFile(file));
    EXPECT_STREQ(finder.Data().cFileName, L"target.txt");
    EXPECT_TRUE(finder.FindFile(L"\\\\?\\" + file));  // already long: not prefixed twice
    EXPECT_FALSE(finder.FindFile(deep + L"\\missing.txt"));

    // Beyond the limit: refused without asking the file system.
    ::SetLastError(12345);
    EXPECT_FALSE(finder.FindFile(std::wstring(32767, L'a')));
    EXPECT_EQ(::GetLastError(), 12345u);
}

TEST(RemoveDirectoryLong, RemovesShortAndLongEmptyFolders) {
    TempFolder folder;
    std::wstring shortFolder = folder / L"empty";
    ASSERT_TRUE(::CreateDirectoryW(shortFolder.c_str(), nullptr));
    EXPECT_TRUE(RemoveDirectoryLong(shortFolder));
    EXPECT_FALSE(test_support::IsFolder(shortFolder));

    std::wstring deep = folder.Path();
    while (deep.size() < 300) {
        deep += L"\\" + std::wstring(50, L'r');
        ASSERT_TRUE(::CreateDirectoryW(test_support::LongForm(deep).c_str(), nullptr));
    }
    EXPECT_TRUE(RemoveDirectoryLong(deep));
    EXPECT_FALSE(test_support::IsFolder(deep));
    EXPECT_FALSE(RemoveDirectoryLong(deep));
}

TEST(CreateParentFolders, AbsolutePathCreatesEveryLevelButTheFile) {
    TempFolder folder;
    std::wstring file = folder / L"a\\b\\c.txt";
    EXPECT_EQ(CreateParentFolders(file), 0u);
    EXPECT_TRUE(test_support::IsFolder(folder / L"a"));
    EXPECT_TRUE(test_support::IsFolder(folder / L"a\\b"));
    EXPECT_FALSE(test_support::IsFolder(file));
    EXPECT_FALSE(test_support::IsFile(file));

    // Folders already there, and a file already there, are both success.
    EXPECT_EQ(CreateParentFolders(file), 0u);
    ASSERT_TRUE(test_support::WriteBytes(file, "x"));
    EXPECT_EQ(CreateParentFolders(file), 0u);
}

TEST(CreateParentFolders, RelativePathIsCreatedBelowTheCurrentDirectory) {
    TempFolder folder;
    wchar_t previous[MAX_PATH] = {};
    ::GetCurrentDirectoryW(MAX_PATH, previous);
    ASSERT_TRUE(::SetCurrentDirectoryW(folder.Path().c_str()));
    DWORD result = CreateParentFolders(L"logs\\today\\out.txt");
    ::SetCurrentDirectoryW(previous);
    EXPECT_EQ(result, 0u);
    EXPECT_TRUE(test_support::IsFolder(folder / L"logs\\today"));
    EXPECT_FALSE(test_support::IsFolder(folder / L"logs\\today\\out.txt"));
}

TEST(CreateParentFolders, FailureKeepsFoldersThatExistedBefore) {
    TempFolder folder;
    // A file stands where a folder is needed: the level below it cannot be made.
    ASSERT_TRUE(::CreateDirectoryW((folder / L"kept").c_str(), nullptr));
    ASSERT_TRUE(test_support::WriteBytes(folder / L"kept\\blocker", "x"));
    DWORD result = CreateParentFolders(folder / L"kept\\blocker\\sub\\f.txt");
    EXPECT_NE(result, 0u);
    EXPECT_TRUE(test_support::IsFolder(folder / L"kept"));

    // An empty folder that was there before is not removed when the level below it fails.
    ASSERT_TRUE(::CreateDirectoryW((folder / L"emptyBefore").c_str(), nullptr));
    EXPECT_NE(CreateParentFolders(folder / L"emptyBefore\\bad?name\\f.txt"), 0u);
    EXPECT_TRUE(test_support::IsFolder(folder / L"emptyBefore"));

    // One this call made is removed again (it is empty).
    EXPECT_NE(CreateParentFolders(folder / L"madeHere\\bad?name\\f.txt"), 0u);
    EXPECT_FALSE(test_support::IsFolder(folder / L"madeHere"));
}

TEST(CreateParentFolders, LongPaths) {
    TempFolder folder;
    std::wstring file = L"\\\\?\\" + folder.Path();
    for (int i = 0; i < 8; ++i) file += L"\\" + std::wstring(40, wchar_t(L'a' + i));
    file += L"\\f.txt";
    ASSERT_GT(file.size(), 300u);
    EXPECT_EQ(CreateParentFolders(file), 0u);
    EXPECT_TRUE(test_support::IsFolder(file.substr(0, file.rfind(L'\\'))));
}

TEST(ExpandEnvironment, DefinedNamesExpandUndefinedOnesStay) {
    test_support::ScopedEnvironmentVariable set(L"VMBOOT_TEST_VALUE", L"expanded");
    test_support::ScopedEnvironmentVariable unset(L"VMBOOT_TEST_UNDEFINED", nullptr);
    struct Case {
        const wchar_t* text;
        const wchar_t* expected;
    } cases[] = {
        {L"", L""},
        {L"plain", L"plain"},
        {L"%VMBOOT_TEST_VALUE%\\x", L"expanded\\x"},
        {L"a %VMBOOT_TEST_UNDEFINED% b", L"a %VMBOOT_TEST_UNDEFINED% b"},
        {L"%VMBOOT_TEST_UNDEFINED%;%VMBOOT_TEST_VALUE%", L"%VMBOOT_TEST_UNDEFINED%;expanded"},
        {L"100%", L"100%"},
    };
    for (const auto& c : cases) {
        std::wstring text = c.text;
        ExpandEnvironment(text);
        EXPECT_EQ(text, c.expected) << c.text;
    }
}

TEST(ExpandEnvironment, LongExpansionsGrowTheBuffer) {
    std::wstring longValue(3000, L'L');
    test_support::ScopedEnvironmentVariable set(L"VMBOOT_TEST_LONG", longValue.c_str());
    std::wstring text = L"%VMBOOT_TEST_LONG%;%VMBOOT_TEST_LONG%";
    ExpandEnvironment(text);
    EXPECT_EQ(text, longValue + L";" + longValue);
}

TEST(EnvironmentVariable, AnyLengthAndUnset) {
    std::wstring longValue(1000, L'q');
    test_support::ScopedEnvironmentVariable set(L"VMBOOT_TEST_LONG", longValue.c_str());
    test_support::ScopedEnvironmentVariable unset(L"VMBOOT_TEST_UNDEFINED", nullptr);
    EXPECT_EQ(EnvironmentVariable(L"VMBOOT_TEST_LONG"), longValue);
    EXPECT_EQ(EnvironmentVariable(L"VMBOOT_TEST_UNDEFINED"), L"");
}
