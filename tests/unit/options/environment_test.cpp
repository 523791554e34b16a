#include "options/environment.h"

#include <gtest/gtest.h>

TEST(DeriveRuntimeFolders, FromTheVmLibrary) {
    struct Case {
        const wchar_t* library;
        const wchar_t* home;
        const wchar_t* lib;
        const wchar_t* bin;
    } cases[] = {
        {L"C:\\rt\\bin\\server\\jvm.dll", L"C:\\rt", L"C:\\rt\\lib", L"C:\\rt\\bin"},
        {L"C:\\App\\jre64\\bin\\client\\jvm.dll", L"C:\\App\\jre64", L"C:\\App\\jre64\\lib",
         L"C:\\App\\jre64\\bin"},
        {L"\\\\srv\\rt\\bin\\server\\jvm.dll", L"\\\\srv\\rt", L"\\\\srv\\rt\\lib",
         L"\\\\srv\\rt\\bin"},
        // Too few levels: what is left stays, as each missing level changes nothing.
        {L"server\\jvm.dll", L"server", L"lib", L"server"},
    };
    for (const Case& c : cases) {
        RuntimeFolders folders = DeriveRuntimeFolders(c.library);
        EXPECT_EQ(folders.Home, c.home) << c.library;
        EXPECT_EQ(folders.Lib, c.lib) << c.library;
        EXPECT_EQ(folders.Bin, c.bin) << c.library;
    }
}

TEST(LibraryPathText, OneSemicolonBetweenParts) {
    EXPECT_EQ(LibraryPathText(L"native", L"C:\\App", L"C:\\rt\\lib"),
              L"native;C:\\App\\;%Path%;C:\\rt\\lib;.");
    EXPECT_EQ(LibraryPathText(L"native;", L"C:\\App", L"C:\\rt\\lib"),
              L"native;C:\\App\\;%Path%;C:\\rt\\lib;.");
    EXPECT_EQ(LibraryPathText(L"a;b", L"C:\\App", L"C:\\rt\\lib"),
              L"a;b;C:\\App\\;%Path%;C:\\rt\\lib;.");
}

TEST(SearchPathText, SystemPathFirstRuntimeBinLast) {
    EXPECT_EQ(SearchPathText(L"", L"C:\\rt\\bin"), L"%Path%;C:\\rt\\bin");
    EXPECT_EQ(SearchPathText(L"D:\\tools", L"C:\\rt\\bin"), L"D:\\tools;%Path%;C:\\rt\\bin");
    EXPECT_EQ(SearchPathText(L"D:\\tools;", L"C:\\rt\\bin"), L"D:\\tools;%Path%;C:\\rt\\bin");
}

TEST(WorkingFolderOf, CutsBeforeTheLastBackslash) {
    EXPECT_EQ(WorkingFolderOf(L"C:\\App\\run.exe"), L"C:\\App");
    EXPECT_EQ(WorkingFolderOf(L"C:\\run.exe"), L"C:\\");
    EXPECT_EQ(WorkingFolderOf(L"\\run.exe"), L"");
    EXPECT_EQ(WorkingFolderOf(L"run.exe"), L"");
}
