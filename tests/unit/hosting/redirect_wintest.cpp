#include "hosting/redirect_win32.h"

#include <gtest/gtest.h>
#include <io.h>

#include <cstdio>

#include "../temp_folder_win32.h"

namespace {
SYSTEMTIME Instant() {
    SYSTEMTIME time{};
    time.wYear = 2024;
    time.wMonth = 3;
    time.wDay = 5;
    time.wDayOfWeek = 2;
    time.wHour = 14;
    time.wMinute = 7;
    time.wSecond = 9;
    time.wMilliseconds = 42;
    return time;
}
}  // namespace

TEST(ExpandTimePatternWin, SystemFormattersFillThePictures) {
    struct Case {
        const wchar_t* name;
        const wchar_t* expected;
    };
    const Case cases[] = {
        {L"out_%yyyyMMdd-HHmmss-L%.log", L"out_20240305-140709-42.log"},
        // Only the first and the last "%" delimit; inner ones are copied.
        {L"C:\\logs\\%yyyy%\\%MM%\\err.log", L"C:\\logs\\2024%\\%03\\err.log"},
        {L"no pattern.log", L"no pattern.log"},
        {L"%hh_mm_ss%", L"02_07_09"},
        {L"LOG%L%", L"LOG42"},
    };
    for (const Case& c : cases) {
        std::wstring name = c.name;
        ExpandTimePattern(name, Instant());
        EXPECT_EQ(name, c.expected) << testing::PrintToString(std::wstring(c.name));
    }
}

TEST(ExpandTimePatternWin, ResultsLongerThanTheClassicBufferAreKeptWhole) {
    std::wstring pattern;
    std::wstring expected;
    for (int i = 0; i < 80; ++i) {
        pattern += L"yyyyMMdd-";
        expected += L"20240305-";
    }
    std::wstring name = L"C:\\logs\\%" + pattern + L"%.log";
    ExpandTimePattern(name, Instant());
    ASSERT_GT(expected.size(), 259u);
    EXPECT_EQ(name, L"C:\\logs\\" + expected + L".log");
}

TEST(ExpandTimePatternWin, SinglePercentSignDisappears) {
    // An empty picture: whatever the formatters make of it, the name keeps its two halves.
    std::wstring name = L"out%.log";
    ExpandTimePattern(name, Instant());
    EXPECT_EQ(name.substr(0, 3), L"out");
    EXPECT_EQ(name.substr(name.size() - 4), L".log");
    EXPECT_EQ(name.find(L'%'), std::wstring::npos);
}

TEST(UseAsStandardHandleWin, HandleStreamAndDescriptorAllWriteToTheFile) {
    test_support::TempFolder folder;
    const std::wstring path = folder.Path() + L"\\err.log";
    const HANDLE savedHandle = ::GetStdHandle(STD_ERROR_HANDLE);
    const int savedDescriptor = _dup(2);
    UseAsStandardHandle(UniqueFileHandle(::CreateFileW(
                            path.c_str(), FILE_APPEND_DATA | SYNCHRONIZE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr)),
                        STD_ERROR_HANDLE, 2);
    DWORD written = 0;
    ::WriteFile(::GetStdHandle(STD_ERROR_HANDLE), "handle\r\n", 8, &written, nullptr);
    std::fputs("stream\n", stderr);
    std::fflush(stderr);
    _write(2, "descriptor\n", 11);

    // Give the test process its own standard error back before anything can fail.
    UniqueFileHandle redirected(::GetStdHandle(STD_ERROR_HANDLE));
    ::SetStdHandle(STD_ERROR_HANDLE, savedHandle);
    if (savedDescriptor >= 0) {
        _dup2(savedDescriptor, 2);
        _close(savedDescriptor);
    }
    redirected.reset();
    // Other C runtimes of this process (Wine's own DLLs load ucrtbase) still hold the file.
    UniqueFileHandle file(::CreateFileW(path.c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    char bytes[64] = {};
    DWORD read = 0;
    ASSERT_TRUE(::ReadFile(file.get(), bytes, sizeof(bytes) - 1, &read, nullptr));
    EXPECT_EQ(std::string(bytes, read), "handle\r\nstream\r\ndescriptor\r\n");
}
