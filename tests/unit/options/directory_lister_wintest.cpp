#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "options/directory_lister_win32.h"

namespace {

std::wstring MakeTempFolder(const wchar_t* name) {
    wchar_t base[MAX_PATH];
    DWORD length = ::GetTempPathW(MAX_PATH, base);
    std::wstring folder =
        std::wstring(base, length) + name + std::to_wstring(::GetCurrentProcessId());
    ::CreateDirectoryW(folder.c_str(), nullptr);
    return folder;
}

void Touch(const std::wstring& path) {
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file != INVALID_HANDLE_VALUE) ::CloseHandle(file);
}

std::vector<std::wstring> List(const std::wstring& pattern) {
    Win32DirectoryLister lister;
    std::vector<std::wstring> names;
    lister.List(pattern, [&](std::wstring_view name) { names.emplace_back(name); });
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace

TEST(Win32DirectoryLister, ListsMatchesFoldersAndDots) {
    std::wstring folder = MakeTempFolder(L"vmboot-lister-");
    Touch(folder + L"\\b.jar");
    Touch(folder + L"\\c.jar");
    Touch(folder + L"\\notes.txt");
    ::CreateDirectoryW((folder + L"\\classes").c_str(), nullptr);
    // A non-ASCII name arrives unchanged.
    Touch(folder + L"\\\u00e9t\u00e9-\u65e5\u672c.jar");

    EXPECT_EQ(List(folder + L"\\*.jar"),
              (std::vector<std::wstring>{L"b.jar", L"c.jar", L"\u00e9t\u00e9-\u65e5\u672c.jar"}));
    EXPECT_EQ(List(folder + L"\\classes"), (std::vector<std::wstring>{L"classes"}));
    EXPECT_EQ(List(folder + L"\\*"),
              (std::vector<std::wstring>{L".", L"..", L"b.jar", L"c.jar", L"classes", L"notes.txt",
                                         L"\u00e9t\u00e9-\u65e5\u672c.jar"}));
    EXPECT_TRUE(List(folder + L"\\missing.jar").empty());
    EXPECT_TRUE(List(folder + L"\\").empty());

    // A pattern of more than 260 characters is searched in the long-path form.
    std::wstring deep = folder + L"\\" + std::wstring(120, L'd');
    std::wstring deeper = deep + L"\\" + std::wstring(120, L'e');
    ASSERT_TRUE(::CreateDirectoryW((L"\\\\?\\" + deep).c_str(), nullptr));
    ASSERT_TRUE(::CreateDirectoryW((L"\\\\?\\" + deeper).c_str(), nullptr));
    HANDLE file = ::CreateFileW((L"\\\\?\\" + deeper + L"\\long.jar").c_str(), GENERIC_WRITE, 0,
                                nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    ::CloseHandle(file);
    ASSERT_GE((deeper + L"\\*.jar").size(), 260u);
    EXPECT_EQ(List(deeper + L"\\*.jar"), (std::vector<std::wstring>{L"long.jar"}));

    ::DeleteFileW((L"\\\\?\\" + deeper + L"\\long.jar").c_str());
    ::RemoveDirectoryW((L"\\\\?\\" + deeper).c_str());
    ::RemoveDirectoryW((L"\\\\?\\" + deep).c_str());
    for (const wchar_t* name :
         {L"b.jar", L"c.jar", L"notes.txt", L"\u00e9t\u00e9-\u65e5\u672c.jar"}) {
        ::DeleteFileW((folder + L"\\" + name).c_str());
    }
    ::RemoveDirectoryW((folder + L"\\classes").c_str());
    ::RemoveDirectoryW(folder.c_str());
}
