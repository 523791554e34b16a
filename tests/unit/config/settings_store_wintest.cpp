#include "config/settings_store_win32.h"

#include <gtest/gtest.h>

#include "../temp_folder_win32.h"

using test_support::TempFolder;

namespace {
std::wstring Read(SettingsStore& store, const std::wstring& section, const std::wstring& key) {
    std::wstring out = L"<unset>";
    store.GetString(section, key, out);
    return out;
}

}  // namespace

TEST(IniSettingsStore, ValuesAroundTheFirstBufferSizeAndVeryLongValues) {
    TempFolder folder;
    std::wstring path = folder / L"long.ini";
    const std::size_t lengths[] = {1, 254, 255, 256, 511, 512, 5000, 20000};
    std::string text = "[S]\r\n";
    for (std::size_t length : lengths) {
        std::string value(length, 'v');
        value.back() = 'Z';  // a cut value would lose this last character
        text += "k" + std::to_string(length) + "=" + value + "\r\n";
    }
    ASSERT_TRUE(test_support::WriteBytes(path, text));

    IniSettingsStore store(path);
    for (std::size_t length : lengths) {
        std::wstring value = Read(store, L"S", L"k" + std::to_wstring(length));
        EXPECT_EQ(value.size(), length) << length;
        EXPECT_EQ(value.back(), L'Z') << length;
    }
}

TEST(IniSettingsStore, MissingFileKeyOrSectionReadsEmpty) {
    TempFolder folder;
    IniSettingsStore missing(folder / L"absent.ini");
    EXPECT_EQ(Read(missing, L"S", L"k"), L"");

    std::wstring path = folder / L"a.ini";
    ASSERT_TRUE(test_support::WriteBytes(path, "[S]\r\nk=v\r\nspaces=   \r\n"));
    IniSettingsStore store(path);
    EXPECT_EQ(Read(store, L"S", L"other"), L"");
    EXPECT_EQ(Read(store, L"T", L"k"), L"");
    EXPECT_EQ(Read(store, L"S", L"spaces"), L"");
    // The profile functions match names without regard to case.
    EXPECT_EQ(Read(store, L"s", L"K"), L"v");
}

TEST(IniSettingsStore, UnicodeFileAndQuotedValues) {
    TempFolder folder;
    std::wstring path = folder / L"u.ini";
    ASSERT_TRUE(
        test_support::WriteUtf16(path,
                                 L"[Product Information]\r\nProduct Name=Caf\u00E9 \u65E5\u672C\r\n"
                                 L"Quoted=\"  padded  \"\r\n"));
    IniSettingsStore store(path);
    EXPECT_EQ(Read(store, L"Product Information", L"Product Name"), L"Caf\u00E9 \u65E5\u672C");
    EXPECT_EQ(Read(store, L"Product Information", L"Quoted"), L"  padded  ");
}

TEST(IniSettingsStore, Utf8FilesReadAndWriteAsUtf8) {
    // Notepad's default (no mark) and the marked form; the profile functions would read both
    // in the ANSI code page ("cafÃ©").
    for (std::string mark : {std::string(), std::string("\xEF\xBB\xBF")}) {
        TempFolder folder;
        std::wstring path = folder / L"u8.ini";
        std::string text = mark +
                           "; comment caf\xC3\xA9\r\n[Java Runtime Environment]\r\n"
                           "Virtual Machine Parameters=-Dn=caf\xC3\xA9 -Dm=\xF0\x9F\x98\x80\r\n"
                           "JRE Path=C:\\Apps\\Caf\xC3\xA9\\jre\r\n"
                           "[Application+]\r\nCmd=\xE7\x94\xB0\xE4\xB8\xAD\r\n";
        ASSERT_TRUE(test_support::WriteBytes(path, text));
        LayeredSettingsStore store(path);
        EXPECT_EQ(Read(store.File(), L"java runtime environment", L"VIRTUAL MACHINE PARAMETERS"),
                  L"-Dn=caf\u00E9 -Dm=\U0001F600");
        SettingsStore& layered = store;
        EXPECT_EQ(Read(layered, L"Application", L"Cmd"), L" \u7530\u4E2D");

        // One key changes; the mark, the comment and every other line stay as they were.
        EXPECT_TRUE(store.File().WriteString(L"Java Runtime Environment", L"JRE Path",
                                             L"C:\\Users\\\u7530\u4E2D\\jdk\\"));
        std::string expected = text;
        std::string oldLine = "JRE Path=C:\\Apps\\Caf\xC3\xA9\\jre";
        expected.replace(expected.find(oldLine), oldLine.size(),
                         "JRE Path=C:\\Users\\\xE7\x94\xB0\xE4\xB8\xAD\\jdk\\");
        EXPECT_EQ(test_support::ReadBytes(path), expected);
        EXPECT_EQ(Read(store.File(), L"Java Runtime Environment", L"JRE Path"),
                  L"C:\\Users\\\u7530\u4E2D\\jdk\\");
        EXPECT_FALSE(test_support::IsFile(path + L".vmboot-new"));
    }
}

TEST(IniSettingsStore, Write) {
    TempFolder folder;
    std::wstring path = folder / L"w.ini";
    IniSettingsStore store(path);
    EXPECT_TRUE(store.WriteString(L"Java Runtime Environment", L"JRE Path", L"C:\\Java\\"));
    EXPECT_EQ(Read(store, L"Java Runtime Environment", L"JRE Path"), L"C:\\Java\\");

    IniSettingsStore noFolder(folder / L"missing\\x.ini");
    EXPECT_FALSE(noFolder.WriteString(L"S", L"k", L"v"));
}

TEST(LayeredSettingsStore, AppendSections) {
    TempFolder folder;
    std::wstring path = folder / L"app.ini";
    ASSERT_TRUE(test_support::WriteBytes(
        path,
        "[Java Runtime Environment+]\r\nVirtual Machine Parameters=-Xss1m\r\n"
        "[Application]\r\nCmd=x\r\n"
        "[Application+]\r\nCmd=hidden\r\nSingle Instance=appended\r\nSpaced=  lead\r\n"));
    LayeredSettingsStore store(path);

    EXPECT_EQ(Read(store, L"Java Runtime Environment", L"Virtual Machine Parameters"),
              L" -Xss1m");
    // A file value, even one character, hides the append section.
    EXPECT_EQ(Read(store, L"Application", L"Cmd"), L"x");
    // Reached through the file base, GetString is still the layered read.
    IniSettingsStore& asFile = store.File();
    EXPECT_EQ(Read(asFile, L"Application", L"Single Instance"), L" appended");
    EXPECT_EQ(asFile.ReadFileValue(L"Application", L"Single Instance"), L"");
    // The profile functions trim the appended value, so its leading spaces do not count.
    EXPECT_EQ(Read(store, L"Application", L"Spaced"), L" lead");

    LayeredValue sourced = store.GetStringWithSource(L"Application", L"Single Instance");
    EXPECT_EQ(sourced.Source, SettingSource::AppendSection);
    EXPECT_EQ(store.GetStringWithSource(L"Application", L"Cmd").Source, SettingSource::File);
    EXPECT_EQ(store.GetStringWithSource(L"Application", L"Nothing").Source, SettingSource::Absent);
}
