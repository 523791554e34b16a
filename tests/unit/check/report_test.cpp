#include "check/report.h"

#include <gtest/gtest.h>

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
