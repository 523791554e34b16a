#include "hosting/time_pattern.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace {
// Stand-ins for the system formatters: they mark what they saw, so the order and the
// input of each step are visible in the result.
std::optional<std::wstring> FakeTime(const std::wstring& picture) {
    std::wstring out = picture;
    for (std::size_t at; (at = out.find(L"HH")) != std::wstring::npos;) out.replace(at, 2, L"14");
    for (std::size_t at; (at = out.find(L"mm")) != std::wstring::npos;) out.replace(at, 2, L"07");
    for (std::size_t at; (at = out.find(L"ss")) != std::wstring::npos;) out.replace(at, 2, L"09");
    return out;
}
std::optional<std::wstring> FakeDate(const std::wstring& picture) {
    std::wstring out = picture;
    for (std::size_t at; (at = out.find(L"yyyy")) != std::wstring::npos;)
        out.replace(at, 4, L"2024");
    for (std::size_t at; (at = out.find(L"MM")) != std::wstring::npos;) out.replace(at, 2, L"03");
    for (std::size_t at; (at = out.find(L"dd")) != std::wstring::npos;) out.replace(at, 2, L"05");
    return out;
}
std::optional<std::wstring> Refuse(const std::wstring&) { return std::nullopt; }
}  // namespace

TEST(SplitTimePattern, CutsAtFirstAndLastPercent) {
    struct Case {
        const wchar_t* name;
        bool found;
        const wchar_t* prefix;
        const wchar_t* pattern;
        const wchar_t* suffix;
    };
    const Case cases[] = {
        {L"out.log", false, L"", L"", L""},
        {L"", false, L"", L"", L""},
        {L"out_%yyyy%.log", true, L"out_", L"yyyy", L".log"},
        {L"a%x%b%y%c", true, L"a", L"x%b%y", L"c"},
        {L"single%percent", true, L"single", L"", L"percent"},
        {L"%%", true, L"", L"", L""},
        {L"%HH%", true, L"", L"HH", L""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "name=" << testing::PrintToString(std::wstring(c.name)));
        auto parts = SplitTimePattern(c.name);
        ASSERT_EQ(parts.has_value(), c.found);
        if (!parts) continue;
        EXPECT_EQ(parts->prefix, c.prefix);
        EXPECT_EQ(parts->pattern, c.pattern);
        EXPECT_EQ(parts->suffix, c.suffix);
    }
}

TEST(ReplaceMilliseconds, EveryUpperCaseLWithoutLeadingZeros) {
    EXPECT_EQ(ReplaceMilliseconds(L"ss-L", 42), L"ss-42");
    EXPECT_EQ(ReplaceMilliseconds(L"L.L", 7), L"7.7");
    EXPECT_EQ(ReplaceMilliseconds(L"LOG", 0), L"0OG");
    EXPECT_EQ(ReplaceMilliseconds(L"lower l stays", 999), L"lower l stays");
    EXPECT_EQ(ReplaceMilliseconds(L"", 5), L"");
}

TEST(ExpandTimePattern, DocumentedExample) {
    EXPECT_EQ(ExpandTimePattern(L"out_%yyyyMMdd-HHmmss-L%.log", 42, FakeTime, FakeDate),
              L"out_20240305-140709-42.log");
}

TEST(ExpandTimePattern, NamesWithoutPatternAreUnchanged) {
    int calls = 0;
    PictureFormatter counting = [&](const std::wstring& p) -> std::optional<std::wstring> {
        ++calls;
        return p;
    };
    EXPECT_EQ(ExpandTimePattern(L"C:\\logs\\out.log", 1, counting, counting), L"C:\\logs\\out.log");
    EXPECT_EQ(ExpandTimePattern(L"", 1, counting, counting), L"");
    EXPECT_EQ(calls, 0);
}

TEST(ExpandTimePattern, TimeIsFormattedBeforeDateAndDateSeesTimeResult) {
    std::vector<std::wstring> seen;
    PictureFormatter time = [&](const std::wstring& p) -> std::optional<std::wstring> {
        seen.push_back(L"time:" + p);
        return L"T(" + p + L")";
    };
    PictureFormatter date = [&](const std::wstring& p) -> std::optional<std::wstring> {
        seen.push_back(L"date:" + p);
        return L"D(" + p + L")";
    };
    EXPECT_EQ(ExpandTimePattern(L"x%ssL%y", 5, time, date), L"xD(T(ss5))y");
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0], L"time:ss5");
    EXPECT_EQ(seen[1], L"date:T(ss5)");
}

TEST(ExpandTimePattern, RefusedPicturesStayAsWritten) {
    EXPECT_EQ(ExpandTimePattern(L"a%HH-L%b", 3, Refuse, Refuse), L"aHH-3b");
    EXPECT_EQ(ExpandTimePattern(L"a%yyyy HH%b", 3, Refuse, FakeDate), L"a2024 HHb");
}

TEST(ExpandTimePattern, InnerPercentSignsAreCopied) {
    EXPECT_EQ(ExpandTimePattern(L"a%HH%x%mm%b", 0, FakeTime, FakeDate), L"a14%x%07b");
}

TEST(ExpandTimePattern, LongResultsAreNotCut) {
    std::wstring folder(300, L'f');
    std::wstring pattern;
    for (int i = 0; i < 100; ++i) pattern += L"yyyy";
    std::wstring expanded =
        ExpandTimePattern(folder + L"\\%" + pattern + L"%.log", 0, FakeTime, FakeDate);
    std::wstring years;
    for (int i = 0; i < 100; ++i) years += L"2024";
    EXPECT_EQ(expanded, folder + L"\\" + years + L".log");
}

TEST(SplitPicture, CutsOnlyBetweenPictures) {
    struct Case {
        const wchar_t* picture;
        std::size_t limit;
        std::vector<std::wstring> pieces;
    };
    const Case cases[] = {
        {L"yyyyMMdd-HHmmss-42", 48, {L"yyyyMMdd-HHmmss-42"}},
        {L"yyyyMMdd", 6, {L"yyyyMM", L"dd"}},
        {L"yyyyMMdd", 3, {L"yyyy", L"MM", L"dd"}},  // a run longer than the limit stays whole
        {L"HH'h at 'mm", 8, {L"HH", L"'h at '", L"mm"}},
        {L"HH'h at 'mm", 5, {L"HH", L"'h a'", L"'t '", L"mm"}},
        {L"'abcdefgh'", 5, {L"'abc'", L"'def'", L"'gh'"}},
        {L"'unclosed literal", 4, {L"'unclosed literal"}},
        {L"", 4, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.picture)));
        EXPECT_EQ(SplitPicture(c.picture, c.limit), c.pieces);
    }
}

TEST(ExpandTimePattern, LongPicturesAreFormattedInPiecesOfBoundedLength) {
    std::size_t longest = 0;
    PictureFormatter measuring = [&](const std::wstring& p) -> std::optional<std::wstring> {
        longest = std::max(longest, p.size());
        return FakeDate(p);
    };
    std::wstring pattern;
    std::wstring expected;
    for (int i = 0; i < 60; ++i) {
        pattern += L"yyyyMMdd-";
        expected += L"20240305-";
    }
    EXPECT_EQ(ExpandTimePattern(L"%" + pattern + L"%", 0, FakeTime, measuring), expected);
    EXPECT_LE(longest, kPicturePieceLimit);
}

TEST(ExpandTimePattern, SinglePercentShowsTheEmptyPictureToTheFormatters) {
    PictureFormatter time = [](const std::wstring& p) -> std::optional<std::wstring> {
        return L"[" + p + L"]";
    };
    EXPECT_EQ(ExpandTimePattern(L"out%.log", 0, time, FakeDate), L"out[].log");
}
