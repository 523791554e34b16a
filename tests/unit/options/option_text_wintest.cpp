#include "options/option_text_win32.h"

#include <gtest/gtest.h>

#include "../temp_folder_win32.h"
#include "check/report.h"
#include "core/launcher_win32.h"
#include "core/resources_win32.h"
#include "core/text_win32.h"
#include "options/vm_options_win32.h"

using test_support::TempFolder;

// The real code pages: no best-fit look-alikes, and the loss is reported.
TEST(ToCodePageExact, NoBestFitAndLossReported) {
    struct Row {
        UINT codePage;
        const wchar_t* text;
        const char* expected;
        bool exact;
    } rows[] = {
        {1252, L"-Dn=caf\u00E9", "-Dn=caf\xE9", true},
        // Best fit would give "Lukasz_O" and "\\" (a real separator) here.
        {1252, L"-Dn=\u0141ukasz_\u03A9", "-Dn=?ukasz_?", false},
        {1252, L"a\u2216b\uFF0Fc", "a?b?c", false},
        {1252, L"\u65E5\u672C\\*.jar", "??\\*.jar", false},
        {932, L"\u65E5\u672C", "\x93\xFA\x96\x7B", true},
        // Plain Greek letters exist in 932, the accented "ά" does not.
        {932, L"\u0395\u03BB\u03BB\u03B7\u03BD\u03B9\u03BA\u03AC",
         "\x83\xA3\x83\xC9\x83\xC9\x83\xC5\x83\xCB\x83\xC7\x83\xC8?", false},
        // Each half of a surrogate pair becomes one default character.
        {932, L"x\U0001F600", "x??", false},
        {CP_UTF8, L"x\U0001F600", "x\xF0\x9F\x98\x80", true},
    };
    for (const Row& row : rows) {
        std::string out;
        EXPECT_EQ(ToCodePageExact(row.codePage, row.text, out), row.exact) << row.codePage;
        EXPECT_EQ(out, row.expected) << row.codePage;
    }
}

TEST(Win32OptionTextCodec, ShortNameOfAFolderOutsideTheCodePage) {
    TempFolder temp;
    std::wstring folder = temp.Path() + L"\\\u65E5\u672C\u8A9E";
    ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr));
    Win32OptionTextCodec codec(1252);
    OptionTextCodec::ShortName shortName = codec.ShortForm(folder);
    EXPECT_TRUE(shortName.Exists);
    std::string encoded;
    EXPECT_TRUE(codec.Encode(shortName.Path, encoded)) << "no short name in code page 1252";
    EXPECT_EQ(::GetFileAttributesW(shortName.Path.c_str()) & FILE_ATTRIBUTE_DIRECTORY,
              static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
    OptionTextCodec::ShortName missing = codec.ShortForm(folder + L"\\absent.jar");
    EXPECT_FALSE(missing.Exists);
}

TEST(CheckOptionText, ALostPathStopsWithItsMessageAndEverySubstitutionIsRecorded) {
    CollectingDecisionLog log;
    Launcher launcher;
    launcher.DryRun = true;
    launcher.Decisions = &log;
    SetMessageLocale(MAKELCID(MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_UK), SORT_DEFAULT));
    launcher.OptionText.Substituted.emplace_back(L"C:\\\u65E5\u672C\\a.jar", L"C:\\65E5~1\\a.jar");
    EXPECT_TRUE(CheckOptionText(launcher));
    launcher.OptionText.Lost.push_back(L"C:\\\u0395\u03BB\u03BB\u03AC\\lib\\b.jar");
    EXPECT_FALSE(CheckOptionText(launcher));
    SetMessageLocale(0);
    std::wstring message;
    int shortNames = 0, lost = 0;
    for (const Decision& d : log.decisions) {
        if (d.what == "short-name") ++shortNames;
        if (d.what == "unrepresentable-path") ++lost;
        if (d.stage == "launch" && d.what == "message") {
            for (const auto& [name, value] : d.fields) {
                if (name == "text") message = value;
            }
        }
    }
    EXPECT_EQ(shortNames, 2);
    EXPECT_EQ(lost, 1);
    EXPECT_EQ(message.substr(0, 38), L"Java cannot be started with the path\nC");
    EXPECT_NE(message.find(L"C:\\\u0395\u03BB\u03BB\u03AC\\lib\\b.jar\n"), std::wstring::npos);
}
