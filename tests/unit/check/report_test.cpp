#include "check/report.h"

#include <gtest/gtest.h>

#include <iterator>

#include "check/jar_manifest.h"
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
    // From the summary alone: the decisions hold no "runtime-seen" record.
    summary.runtimesSeen = {{L"registry", L"HKLM\\Software\\JavaSoft\\JRE\\1.7 (32-bit)",
                             L"C:\\old\\", L"1.7", L"JRE", L"below-minimum-version"}};
    summary.runtimeReport = {L"too old - C:\\old\\"};
    std::vector<Decision> decisions = {
        {"discovery", "registry-root", {{"root", L"Software\\JavaSoft\\JRE\\"}, {"view", L"32"}}},
        {"discovery", "chosen", {{"home", L"C:\\jre\\"}}}};
    std::string json = RenderJsonReport(summary, decisions);
    EXPECT_NE(json.find("\"outcome\": \"hand-over\""), std::string::npos);
    EXPECT_NE(json.find("\"handOver\": true"), std::string::npos);
    EXPECT_NE(json.find("\"vmOptions\": [\"-Djava.class.path=a.jar;\"]"), std::string::npos);
    EXPECT_NE(json.find("\"runtimesSeen\": [\n    {\"origin\": \"registry\", \"place\": "
                        "\"HKLM\\\\Software\\\\JavaSoft\\\\JRE\\\\1.7 (32-bit)\", \"folder\": "
                        "\"C:\\\\old\\\\\", \"version\": \"1.7\", \"kind\": \"JRE\", "
                        "\"rejected\": \"below-minimum-version\", \"text\": "
                        "\"too old - C:\\\\old\\\\\", \"chosen\": false}\n  ],"),
              std::string::npos);
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

TEST(FindRepeatedSections, LaterHeadersWithTheirUnreadKeys) {
    SettingsDocument document;
    ParseSettingsText(document,
                      L"[Java Runtime Environment]\r\nMain Class=a.B\r\n"
                      L"[Application]\r\nCmd=x\r\n"
                      L"[java runtime environment]\r\nVirtual Machine Parameters=-Xmx1g\r\n"
                      L"JRE Path=jre\r\n"
                      L"[Application+]\r\nCmd=y\r\n[Application]\r\n");
    std::vector<RepeatedSection> repeated = FindRepeatedSections(document);
    ASSERT_EQ(repeated.size(), 2u);
    EXPECT_EQ(repeated[0].section, L"java runtime environment");
    EXPECT_EQ(repeated[0].keys,
              (std::vector<std::wstring>{L"Virtual Machine Parameters", L"JRE Path"}));
    // The append section is a section of its own; an empty repeat is named all the same.
    EXPECT_EQ(repeated[1].section, L"Application");
    EXPECT_TRUE(repeated[1].keys.empty());
}

TEST(CaseOnlyMismatch, OnlyTheExactWordKeysAndOnlyCase) {
    struct Case {
        const wchar_t* key;
        const wchar_t* value;
        const wchar_t* needs;
    } cases[] = {
        {L"Single Instance", L"Yes", L"yes"},
        {L"output append", L"YES", L"yes"},
        {L"Error Append", L"yes", L""},
        {L"Error Append", L"true", L""},
        {L"Application Type", L"Service", L"service"},
        {L"Failure Check", L"yes", L""},  // takes "Yes" in any case
        {L"Single Instance", L"", L""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CaseOnlyMismatch(c.key, c.value), c.needs) << c.key << L"=" << c.value;
    }
}

TEST(Inflate, StoredFixedAndDynamicBlocksAndDamagedStreams) {
    const std::string text =
        "Manifest-Version: 1.0\r\nAdd-Opens: java.desktop/sun.awt java.base/java.lang\r\n"
        "Main-Class: org.example.Main\r\nCreated-By: 17 (Eclipse Adoptium)\r\n";
    std::string printable;
    for (char c = 32; c < 127; ++c) printable += c;
    std::string large;
    for (int i = 0; i < 8; ++i) large += text;
    large += printable + printable;
    // Made by zlib (raw deflate): level 0, Z_FIXED, and level 9, which chose dynamic codes.
    const std::string stored("\x01\x07\x00\xf8\xff" "stored!", 12);
    const std::string fixed("\x4b\x4c\x4a\x4e\x84\x21\x85\x8c\xd4\x9c\x9c\x7c\x08\x09\x00", 15);
    const std::string dynamic(
        "\xed\x8e\xd7\x52\xc2\x40\x18\x85\xef\x33\x93\x77\x88\x1d\xd4\x6c\xc0\x86\xc6\x1a\x22\xf6"
        "\x88\x15\x7b\xf9\x61\x7f\xe2\xc2\x66\xb3\x66\x37\x14\xdb\xb3\x0b\xfa\x0c\xde\x38\xb9\x3b"
        "\x73\x66\xce\x77\xbe\x00\x04\x6b\xa2\xd2\x76\x0d\x13\xc5\x62\xe1\x5a\x45\x52\x30\x0d\x8f"
        "\x52\xbb\x2a\x51\x28\xd7\x6a\x41\x07\x08\x45\xd5\xd6\xb1\x74\x54\x2a\x08\x74\xf5\x6f\x59"
        "\x07\x85\xce\x4f\xe2\x20\x42\xd3\x08\x80\x09\xdb\xe7\xa0\x06\xab\x38\x09\x09\xf6\x20\x92"
        "\x1c\xc9\xb0\x37\x0d\x3f\x41\xd0\x48\xed\x72\x7f\xf0\x51\xb2\x72\x95\x06\x67\x52\xa1\xe5"
        "\xd1\x58\x6a\x96\x46\xf9\x21\x20\x93\xc9\x64\x32\x99\x7f\x28\x63\x8d\x8c\x8e\x8d\x4f\x4c"
        "\x4e\xe5\xf2\xd3\x33\xb3\x36\x71\x0a\xc5\xb9\xf9\x85\xc5\xa5\xd2\xf2\x8a\xbb\xba\xb6\xbe"
        "\xb1\xb9\xe5\x95\xfd\xed\xca\xce\xee\xde\xfe\xc1\xe1\x51\x70\x5c\x3d\x39\x3d\x3b\xbf\xb8"
        "\xac\x5d\x5d\xdf\xdc\xde\xdd\x3f\x3c\x3e\x3d\x43\xbd\x41\xb1\x19\xbe\xb0\x56\x9b\x47\x22"
        "\x96\xaf\x89\xd2\x69\xa7\xdb\xeb\xbf\xbd\x7f\x7c\x7e\xfd\x31\xfe\x1b",
        237);
    EXPECT_EQ(Inflate(stored, 100), std::optional<std::string>("stored!"));
    EXPECT_EQ(Inflate(fixed, 100), std::optional<std::string>("abcabcabcabc hello hello"));
    EXPECT_EQ(Inflate(dynamic, 4096), std::optional<std::string>(large));
    // More than the limit, a cut stream, a reserved block type: nothing.
    EXPECT_EQ(Inflate(dynamic, large.size() - 1), std::nullopt);
    EXPECT_EQ(Inflate(dynamic.substr(0, 100), 4096), std::nullopt);
    EXPECT_EQ(Inflate(std::string("\x07", 1), 100), std::nullopt);
    EXPECT_EQ(Inflate(stored.substr(0, 9), 100), std::nullopt);
}

TEST(ManifestMainAttributes, ContinuationLinesAndTheEndOfTheMainSection) {
    auto attributes = ManifestMainAttributes(
        "Manifest-Version: 1.0\r\nAdd-Opens: java.desktop/sun.awt java.base/ja\r\n va.lang\r\n"
        "Main-Class:app.Main \n\nName: x/\nAdd-Opens: not/main\n");
    std::vector<std::pair<std::string, std::string>> expected = {
        {"Manifest-Version", "1.0"},
        {"Add-Opens", "java.desktop/sun.awt java.base/java.lang"},
        {"Main-Class", "app.Main"}};
    EXPECT_EQ(attributes, expected);
}

TEST(ManifestAttributesNotCarried, OnlyWhatTheOptionsLack) {
    std::vector<std::pair<std::string, std::string>> attributes = {
        {"Add-Opens", "java.desktop/sun.awt java.base/java.lang"},
        {"Add-Exports", "java.base/sun.nio.ch"},
        {"Enable-Native-Access", "ALL-UNNAMED"},
        {"Launcher-Agent-Class", "app.Agent"},
        {"Main-Class", "app.Main"}};
    auto notes = ManifestAttributesNotCarried(
        attributes, {"-Djava.class.path=a.jar", "--add-opens=java.base/java.lang=ALL-UNNAMED",
                     "--enable-native-access=ALL-UNNAMED"});
    ASSERT_EQ(notes.size(), 3u);
    EXPECT_EQ(notes[0].attribute + " " + notes[0].value, "Add-Opens java.desktop/sun.awt");
    EXPECT_EQ(notes[1].attribute + " " + notes[1].value, "Add-Exports java.base/sun.nio.ch");
    EXPECT_EQ(notes[2].attribute + " " + notes[2].value, "Launcher-Agent-Class app.Agent");
}
