#include "core/format.h"

#include <gtest/gtest.h>

#include <cstdint>

TEST(FormatTemplate, FillsTextAndNumbers) {
    EXPECT_EQ(FormatTemplate(L"Windows exception: %s (errno = %d).\n",
                             {std::wstring_view(L"x"), std::int64_t{-5}}),
              L"Windows exception: x (errno = -5).\n");
    EXPECT_EQ(FormatTemplate(L"100%% %s", {std::wstring_view(L"done")}), L"100% done");
}

TEST(FormatTemplate, MissingOrMismatchedArgumentsAreSafe) {
    EXPECT_EQ(FormatTemplate(L"%s and %s", {std::wstring_view(L"a")}), L"a and %s");
    EXPECT_EQ(FormatTemplate(L"%d", {std::wstring_view(L"a")}), L"");
    EXPECT_EQ(FormatTemplate(L"50%p %", {}), L"50%p %");
}

TEST(DecimalText, ExtremesOfEachWidth) {
    EXPECT_EQ(DecimalText(0), L"0");
    EXPECT_EQ(DecimalText(std::int64_t{INT64_MIN}), L"-9223372036854775808");
    EXPECT_EQ(DecimalText(UINT64_MAX), L"18446744073709551615");
    EXPECT_EQ(DecimalText(static_cast<signed char>(-128)), L"-128");
    EXPECT_EQ(DecimalText(std::size_t{1000}), L"1000");
}

TEST(HexText, DigitsLettersAndWidth) {
    struct Case {
        std::uint64_t value;
        int digits;
        HexLetters letters;
        const wchar_t* text;
    } cases[] = {
        {0, 16, HexLetters::Lower, L"0000000000000000"},
        {UINT64_MAX, 16, HexLetters::Lower, L"ffffffffffffffff"},
        {0x0123456789ABCDEFull, 16, HexLetters::Lower, L"0123456789abcdef"},
        {0x8664, 4, HexLetters::Upper, L"8664"},
        {0xAA64, 4, HexLetters::Upper, L"AA64"},
        {0x14C, 4, HexLetters::Upper, L"014C"},
        // Only the last digits are kept.
        {0x12345, 4, HexLetters::Lower, L"2345"},
        {0xF, 0, HexLetters::Lower, L""},
    };
    for (const Case& c : cases) EXPECT_EQ(HexText(c.value, c.digits, c.letters), c.text) << c.text;
    EXPECT_EQ(HexText<char16_t>(0x04B0, 4), u"04b0");
}
