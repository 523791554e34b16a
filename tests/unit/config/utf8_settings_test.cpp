#include "config/utf8_settings.h"

#include <gtest/gtest.h>

using namespace std::string_literals;

TEST(IsUtf8SettingsFile, BomOrValidMultiByteOnly) {
    struct Case {
        std::string bytes;
        bool utf8;
    } cases[] = {
        {"\xEF\xBB\xBF[a]\r\nk=v\r\n", true},          // mark, ASCII after it
        {"\xEF\xBB\xBF[a]\r\nk=caf\xE9\r\n", true},     // the mark wins over a bad byte
        {"[a]\r\nk=caf\xC3\xA9\r\n", true},             // Notepad without a mark
        {"[a]\r\nk=\xF0\x9F\x98\x80\r\n", true},         // U+1F600
        {"[a]\r\nk=caf\xE9\r\n", false},                 // ANSI 1252
        {"[a]\r\nk=v\r\n", false},                       // ASCII: the profile functions
        {"\xFF\xFE[\0a\0]\0"s, false},                   // UTF-16LE
        {"[a]\r\nk=caf\xC3\xA9\0"s, false},              // a NUL: not a text
        {"[a]\r\nk=\xC0\xAF\r\n", false},                // overlong "/"
        {"[a]\r\nk=\xE0\x80\xAF\r\n", false},            // "/" again, in three bytes
        {"[a]\r\nk=\xF0\x80\x80\xAF\r\n", false},        // and in four
        {"[a]\r\nk=\xED\xA0\x80\r\n", false},            // encoded surrogate
        {"[a]\r\nk=\xE6\x97\r\n", false},                // cut sequence
        {"", false},
    };
    for (const Case& c : cases) EXPECT_EQ(IsUtf8SettingsFile(c.bytes), c.utf8) << c.bytes;
}

TEST(ParseUtf8Settings, ProfileLookupRules) {
    SettingsDocument document;
    ParseUtf8Settings(document,
                      "\xEF\xBB\xBF[Java Runtime Environment]\n"
                      "Virtual Machine Parameters = -Dn=caf\xC3\xA9 \n"
                      "JRE Path=\"C:\\Apps\\Caf\xC3\xA9\\jre\"\n"
                      "jre path=second\n"
                      "[Application]\r\n"
                      "Cmd=\xF0\x9F\x98\x80 \xE7\x94\xB0\xE4\xB8\xAD\r\n"
                      "[APPLICATION+]\r\n"
                      "Cmd=more\r\n"
                      "[application]\r\n"
                      "Output File=never\r\n");
    // Names without regard to case, values trimmed and unquoted, the first match wins.
    EXPECT_EQ(FindProfileValue(document, L"java runtime environment", L"virtual machine parameters"),
              L"-Dn=caf\u00E9");
    EXPECT_EQ(FindProfileValue(document, L"Java Runtime Environment", L"JRE PATH"),
              L"C:\\Apps\\Caf\u00E9\\jre");
    std::wstring cmd = FindProfileValue(document, L"Application", L"Cmd");
    std::wstring expected = DecodeUtf8Text("\xF0\x9F\x98\x80 \xE7\x94\xB0\xE4\xB8\xAD");
    EXPECT_EQ(cmd, expected);
    EXPECT_EQ(FindProfileValue(document, L"Application+", L"cmd"), L"more");
    // Only the first section of a name is looked at.
    EXPECT_EQ(FindProfileValue(document, L"Application", L"Output File"), L"");
    EXPECT_EQ(document.Sections().size(), 4u);
    EXPECT_EQ(EncodeUtf8Text(cmd), "\xF0\x9F\x98\x80 \xE7\x94\xB0\xE4\xB8\xAD");

    // A marked file is read as UTF-8 even with a stray ANSI byte: only that byte is lost.
    SettingsDocument marked;
    ParseUtf8Settings(marked, "\xEF\xBB\xBF[a]\r\nk=caf\xE9\r\n");
    EXPECT_EQ(FindProfileValue(marked, L"a", L"k"), L"caf\uFFFD");
}

TEST(RewriteSettingsValue, OneKeyChangesEveryOtherLineStays) {
    struct Case {
        const wchar_t* text;
        const wchar_t* expected;
    } cases[] = {
        // Existing key: rewritten in place, its spelling and the comments around it kept.
        {L"\uFEFF; caf\u00E9\r\n[Java Runtime Environment]\r\nMain Class=a.B\r\n  jre path = old\r\n"
         L"[Application]\r\nCmd=x\r\n",
         L"\uFEFF; caf\u00E9\r\n[Java Runtime Environment]\r\nMain Class=a.B\r\n  jre path =C:\\\u7530\u4E2D\\jdk\r\n"
         L"[Application]\r\nCmd=x\r\n"},
        // Missing key: after the section's last key line, with the file's "\n" line end.
        {L"[java runtime environment]\nMain Class=a.B\n\n[Application]\nCmd=x",
         L"[java runtime environment]\nMain Class=a.B\nJRE Path=C:\\\u7530\u4E2D\\jdk\n\n[Application]\nCmd=x"},
        // Missing section: appended, after a line end for a last line without one.
        {L"[Application]\r\nCmd=x",
         L"[Application]\r\nCmd=x\r\n[Java Runtime Environment]\r\nJRE Path=C:\\\u7530\u4E2D\\jdk\r\n"},
        // Only the first section of the name counts, as for reading.
        {L"[Java Runtime Environment]\r\n[Java Runtime Environment]\r\nJRE Path=second\r\n",
         L"[Java Runtime Environment]\r\nJRE Path=C:\\\u7530\u4E2D\\jdk\r\n[Java Runtime Environment]\r\nJRE Path=second\r\n"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(RewriteSettingsValue(c.text, L"Java Runtime Environment", L"JRE Path",
                                       L"C:\\\u7530\u4E2D\\jdk"),
                  c.expected)
            << EncodeUtf8Text(c.text);
    }
}
