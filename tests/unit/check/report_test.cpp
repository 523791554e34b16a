#include "check/report.h"

#include <gtest/gtest.h>

#include <iterator>

#include "check/known_keys.h"

TEST(JsonString, EscapesQuotesControlsAndLoneSurrogates) {
    EXPECT_EQ(JsonString(L"C:\\a \"b\"\n\t\x01"), "\"C:\\\\a \\\"b\\\"\\n\\t\\u0001\"");
    EXPECT_EQ(JsonString(L"\u00e4\u4e2d"), "\"\xC3\xA4\xE4\xB8\xAD\"");
    std::wstring pair = {static_cast<wchar_t>(0xD83D), static_cast<wchar_t>(0xDE00)};
    EXPECT_EQ(JsonString(pair), "\"\xF0\x9F\x98\x80\"");
    std::wstring lone = {static_cast<wchar_t>(0xD800), L'x'};
    EXPECT_EQ(JsonString(lone), "\"\\ud800x\"");
}

TEST(RenderJsonReport, CarriesSummaryAndDecisionsInOrder) {
    LaunchSummary summary;
    summary.outcome = L"hand-over";
    summary.exitCode = 0;
    summary.launchPair = true;
    summary.vmOptions = {L"-Djava.class.path=a.jar;"};
    std::vector<Decision> decisions = {
        {"discovery", "registry-root", {{"root", L"Software\\JavaSoft\\JRE\\"}, {"view", L"32"}}},
        {"discovery", "chosen", {{"home", L"C:\\jre\\"}}}};
    std::string json = RenderJsonReport(summary, decisions);
    EXPECT_NE(json.find("\"outcome\": \"hand-over\""), std::string::npos);
    EXPECT_NE(json.find("\"handOver\": true"), std::string::npos);
    EXPECT_NE(json.find("\"vmOptions\": [\"-Djava.class.path=a.jar;\"]"), std::string::npos);
    std::size_t root = json.find("\"root\": \"Software\\\\JavaSoft\\\\JRE\\\\\"");
    std::size_t chosen = json.find("\"what\": \"chosen\"");
    ASSERT_NE(root, std::string::npos);
    ASSERT_NE(chosen, std::string::npos);
    EXPECT_LT(root, chosen);
}

TEST(CheckConfigurationKeys, UnknownAndMisplacedKeysAndSections) {
    SettingsDocument document;
    ParseSettingsText(document,
                      L"[Java Runtime Environment]\r\nmain class=a.B\r\nJRE Path=jre\r\n"
                      L"Main Clas=a.B\r\n"
                      L"[Application]\r\nJRE Path=jre64\r\nSingle Instance=yes\r\n"
                      L"[application+]\r\nCmd=x\r\nClass Path=lib\\*.jar\r\n"
                      L"[Display+]\r\nSplash Screen=s.png\r\n"
                      L"[Class Path]\r\nClass Path=a.jar\r\n[Splash]\r\nImage=s.png\r\n");
    struct Expected {
        const wchar_t* section;
        const wchar_t* key;
        const char* kind;
        const wchar_t* belongsIn;
    } expected[] = {
        {L"Java Runtime Environment", L"Main Clas", "unknown-key", L""},
        {L"Application", L"JRE Path", "misplaced-key", L"Java Runtime Environment"},
        {L"application+", L"Class Path", "misplaced-key", L"Class Path"},
        // Splash keys are read from the file alone: an append section of Display is ignored.
        {L"Display+", L"", "unknown-section", L""},
        {L"Splash", L"", "unknown-section", L""},
    };
    std::vector<KeyNote> notes = CheckConfigurationKeys(document);
    ASSERT_EQ(notes.size(), std::size(expected));
    for (std::size_t i = 0; i < notes.size(); ++i) {
        EXPECT_EQ(notes[i].section, expected[i].section) << i;
        EXPECT_EQ(notes[i].key, expected[i].key) << i;
        EXPECT_STREQ(notes[i].kind, expected[i].kind) << i;
        EXPECT_EQ(notes[i].belongsIn, expected[i].belongsIn) << i;
    }
}
