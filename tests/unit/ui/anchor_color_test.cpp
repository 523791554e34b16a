#include "ui/anchor_color.h"

#include <gtest/gtest.h>

TEST(ParseAnchorColor, Table) {
    struct Case {
        const wchar_t* text;
        std::optional<RgbColor> expected;
    };
    const Case cases[] = {
        {L"255,0,0", RgbColor{255, 0, 0}},
        {L"0,0,255", RgbColor{0, 0, 255}},
        {L"128, 0, 128", RgbColor{128, 0, 128}},
        {L" 1 ,2 , 3 ", RgbColor{1, 2, 3}},
        {L"255,0", std::nullopt},
        {L"1,2,3,4", std::nullopt},
        {L"", std::nullopt},
        {L",,", std::nullopt},
        {L"256,0,0", std::nullopt},
        {L"1000,0,0", std::nullopt},
        {L"-1,0,0", std::nullopt},
        {L"+1,0,0", std::nullopt},
        {L"1 2,0,0", std::nullopt},
        {L"0x10,0,0", std::nullopt},
        {L"red,green,blue", std::nullopt},
        {L"99999999999999999999,0,0", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.text)));
        EXPECT_EQ(ParseAnchorColor(c.text), c.expected);
    }
}
