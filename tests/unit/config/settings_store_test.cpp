#include "config/settings_store.h"

#include <gtest/gtest.h>

#include "config/utf8_settings.h"

namespace {
// Every pair as "[section] key=value", in document order.
std::vector<std::wstring> Pairs(const SettingsDocument& document) {
    std::vector<std::wstring> pairs;
    for (const SettingsSection& section : document.Sections()) {
        for (const auto& [key, value] : section.Pairs) {
            pairs.push_back(L"[" + section.Name + L"] " + key + L"=" + value);
        }
    }
    return pairs;
}

std::vector<std::wstring> Names(const SettingsDocument& document) {
    std::vector<std::wstring> names;
    for (const SettingsSection& section : document.Sections()) names.push_back(section.Name);
    return names;
}
}  // namespace

TEST(ParseSettingsText, SectionsKeysAndTrimming) {
    SettingsDocument document;
    ParseSettingsText(document,
                      L"ignored=before any section\r\n"
                      L"[Java Runtime Environment]\r\n"
                      L"  Main Class  =  com.example.App \r\n"
                      L"no equals sign here\r\n"
                      L"\r\n"
                      L"Empty=\r\n"
                      L"a=b=c\r\n"
                      L"[Application]\r\n"
                      L"Cmd=-x \"y z\"\r\n");
    EXPECT_EQ(Names(document),
              (std::vector<std::wstring>{L"Java Runtime Environment", L"Application"}));
    EXPECT_EQ(Pairs(document), (std::vector<std::wstring>{
                                   L"[Java Runtime Environment] Main Class=com.example.App",
                                   L"[Java Runtime Environment] Empty=",
                                   L"[Java Runtime Environment] a=b=c",
                                   L"[Application] Cmd=-x \"y z\"",
                               }));
}

TEST(ParseSettingsText, LineSplittingEdges) {
    SettingsDocument document;
    ParseSettingsText(document, L"");
    EXPECT_TRUE(document.Sections().empty());

    // Only "\r\n" ends a line: a bare "\n" stays inside the header line, which then does
    // not end in "]".
    ParseSettingsText(document, L"[S]\nk=v");
    EXPECT_TRUE(document.Sections().empty());

    ParseSettingsText(document, L"[S]\r\nk=v\r\n");
    EXPECT_EQ(Pairs(document), std::vector<std::wstring>{L"[S] k=v"});

    // Parsing replaces whatever the document held.
    ParseSettingsText(document, L"[T]");
    EXPECT_EQ(Names(document), std::vector<std::wstring>{L"T"});
}

TEST(ParseSettingsText, ByteOrderMarkIsDroppedFromTheFirstLineOnly) {
    SettingsDocument document;
    ParseSettingsText(document, L"\uFEFF[S]\r\nk=v\r\n\uFEFF[T]\r\nx=y");
    // On a later line the mark is an ordinary character, so that line is no header.
    EXPECT_EQ(Names(document), std::vector<std::wstring>{L"S"});
    EXPECT_EQ(Pairs(document), (std::vector<std::wstring>{L"[S] k=v", L"[S] x=y"}));

    ParseSettingsText(document, L"\uFEFF");
    EXPECT_TRUE(document.Sections().empty());
}

struct HeaderCase {
    const wchar_t* line;
    bool isHeader;
    const wchar_t* name;
};

TEST(ParseSettingsText, HeaderEdgeCases) {
    const HeaderCase cases[] = {
        {L"[Plain]", true, L"Plain"},
        {L"   [Spaced]  \t", true, L"Spaced"},
        {L"\t[ Inner spaces ]", true, L" Inner spaces "},
        {L"[]", true, L""},
        {L"[a]b]", true, L"a]b"},
        {L"[a[b]", true, L"a[b"},
        {L"[Trailing] text", false, nullptr},
        {L"x[NotHeader]", false, nullptr},
        {L"[", false, nullptr},
        {L"]", false, nullptr},
        {L"[Open", false, nullptr},
    };
    for (const auto& c : cases) {
        SettingsDocument document;
        ParseSettingsText(document, std::wstring(L"[Before]\r\n") + c.line + L"\r\nk=v");
        std::vector<std::wstring> names = Names(document);
        if (c.isHeader) {
            ASSERT_EQ(names.size(), 2u) << c.line;
            EXPECT_EQ(names[1], c.name) << c.line;
            EXPECT_EQ(Pairs(document), std::vector<std::wstring>{L"[" + names[1] + L"] k=v"})
                << c.line;
        } else {
            EXPECT_EQ(names, std::vector<std::wstring>{L"Before"}) << c.line;
            EXPECT_EQ(Pairs(document), std::vector<std::wstring>{L"[Before] k=v"}) << c.line;
        }
    }
}

TEST(ParseSettingsText, TextAfterClosingBracketIsAKeyLineOfTheCurrentSection) {
    SettingsDocument document;
    ParseSettingsText(document, L"[S]\r\n[T] x=1\r\n");
    EXPECT_EQ(Names(document), std::vector<std::wstring>{L"S"});
    EXPECT_EQ(Pairs(document), std::vector<std::wstring>{L"[S] [T] x=1"});
}

TEST(ParseSettingsText, DuplicateSectionsAndKeysStayInFileOrder) {
    SettingsDocument document;
    ParseSettingsText(document, L"[S]\r\nk=first\r\nk=second\r\n[S]\r\nk=third\r\nonly=later\r\n");
    EXPECT_EQ(Names(document), (std::vector<std::wstring>{L"S", L"S"}));
    EXPECT_EQ(Pairs(document), (std::vector<std::wstring>{L"[S] k=first", L"[S] k=second",
                                                          L"[S] k=third", L"[S] only=later"}));
}

struct CombineCase {
    const wchar_t* file;
    const wchar_t* append;
    const wchar_t* value;
    SettingSource source;
};

TEST(CombineLayers, Table) {
    const CombineCase cases[] = {
        {L"", L"", L"", SettingSource::Absent},
        {L"f", L"tail", L"f", SettingSource::File},
        {L"file", L"", L"file", SettingSource::File},
        // A value from the append section alone keeps the separating space in front.
        {L"", L"com.example.App", L" com.example.App", SettingSource::AppendSection},
        {L"", L"  two", L"  two", SettingSource::AppendSection},
    };
    for (const auto& c : cases) {
        LayeredValue result = CombineLayers(c.file, c.append);
        EXPECT_EQ(result.Value, c.value) << c.file << "|" << c.append;
        EXPECT_EQ(result.Source, c.source) << c.file << "|" << c.append;
    }
}

TEST(ReadLayered, ReadsTheAppendSectionOnlyWhenTheFileValueIsEmpty) {
    SettingsDocument file;  // stands in for the profile file
    ParseSettingsText(
        file,
        L"[Java Runtime Environment+]\r\nVirtual Machine Parameters=-Xss1m\r\n"
        L"[Application]\r\nCmd=x\r\n[Application+]\r\nCmd=ignored\r\nOnly=appended\r\n");
    std::vector<std::wstring> fileReads;
    LayerReader fileReader = [&](const std::wstring& s, const std::wstring& k) {
        fileReads.push_back(s);
        return FindProfileValue(file, s, k);
    };

    LayeredValue vm =
        ReadLayered(fileReader, L"Java Runtime Environment", L"Virtual Machine Parameters");
    EXPECT_EQ(vm.Value, L" -Xss1m");
    EXPECT_EQ(vm.Source, SettingSource::AppendSection);

    fileReads.clear();
    LayeredValue cmd = ReadLayered(fileReader, L"Application", L"Cmd");
    EXPECT_EQ(cmd.Value, L"x");
    EXPECT_EQ(cmd.Source, SettingSource::File);
    EXPECT_EQ(fileReads, std::vector<std::wstring>{L"Application"});

    LayeredValue none = ReadLayered(fileReader, L"Application", L"Missing");
    EXPECT_EQ(none.Value, L"");
    EXPECT_EQ(none.Source, SettingSource::Absent);
}

TEST(SettingSourceName, EverySourceHasItsOwnName) {
    EXPECT_STREQ(SettingSourceName(SettingSource::Absent), L"absent");
    EXPECT_STREQ(SettingSourceName(SettingSource::File), L"file");
    EXPECT_STREQ(SettingSourceName(SettingSource::AppendSection), L"append");
    EXPECT_STREQ(SettingSourceName(SettingSource::PerUser), L"per-user");
    EXPECT_EQ(AppendSectionName(L"Application"), L"Application+");
}
