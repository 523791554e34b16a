#include "core/version.h"

#include "resources/resource_ids.h"

#include <gtest/gtest.h>

namespace {

VersionNumber V(std::int32_t a, std::int32_t b, std::int32_t c, std::int32_t d) {
    VersionNumber v;
    v.components[0] = a;
    v.components[1] = b;
    v.components[2] = c;
    v.components[3] = d;
    return v;
}

std::string Show(const VersionNumber& v) {
    return std::to_string(v.components[0]) + "." + std::to_string(v.components[1]) + "." +
           std::to_string(v.components[2]) + "." + std::to_string(v.components[3]) + "/" +
           std::to_string(v.componentCount);
}

}  // namespace

TEST(ParseVersion, Table) {
    struct Case {
        const wchar_t* text;
        std::int32_t fill;
        bool ok;
        const char* expected;  // components and componentCount
    };
    const Case cases[] = {
        {L"1.8.0_191", 0, true, "1.8.0.191/4"},
        {L"jdk-17.0.2+8", 0, true, "17.0.2.8/4"},
        {L"11", 0, true, "11.0.0.0/1"},
        {L"1.8", 65535, true, "1.8.65535.65535/2"},
        {L"1.2.3.4.5", 0, true, "1.2.3.4/5"},
        {L"1.2.3.4.5.6", 65535, true, "1.2.3.4/5"},
        {L"", 0, false, "0.0.0.0/0"},
        {L"any", 65535, false, "0.0.0.0/0"},
        {L"version", 0, false, "0.0.0.0/0"},
        {L"3000000000", 0, false, "0.0.0.0/0"},
        {L"1.3000000000", 65535, false, "0.0.0.0/0"},
        {L"2147483647", 0, true, "2147483647.0.0.0/1"},
        // One past the largest component must not wrap to a negative number.
        {L"2147483648", 0, false, "0.0.0.0/0"},
        {L"1.2147483649", 0, false, "0.0.0.0/0"},
        {L"  1 - 7 ", 0, true, "1.7.0.0/2"},
        {L"1..8", 0, true, "1.8.0.0/2"},
        {L"007.08", 0, true, "7.8.0.0/2"},
        {L"1.8 trailing", 65535, true, "1.8.65535.65535/2"},
        // Non-ASCII digits (Arabic-Indic) are separators, not digits.
        {L"1\x0663"
         L"2",
         0, true, "1.2.0.0/2"},
        // A fifth group is never read, so it cannot overflow.
        {L"1.2.3.4.99999999999", 0, true, "1.2.3.4/5"},
    };
    for (const Case& c : cases) {
        VersionNumber v = V(9, 9, 9, 9);
        v.componentCount = 9;
        EXPECT_EQ(ParseVersion(c.text, c.fill, v), c.ok)
            << "text: " << testing::PrintToString(std::wstring(c.text));
        EXPECT_EQ(Show(v), c.expected) << "text: " << testing::PrintToString(std::wstring(c.text));
    }
}

TEST(FormatVersion, Table) {
    struct Case {
        VersionNumber version;
        const wchar_t* expected;
    };
    const Case cases[] = {
        {V(1, 8, 0, 0), L"1.8"},
        {V(11, 0, 0, 0), L"11.0"},
        {V(1, 8, 65535, 65535), L"1.8"},
        {V(0, 0, 0, 0), L"0.0.0.0"},
        {V(65535, 65535, 65535, 65535), L"0.0.0.0"},
        {V(1, 65535, 2, 0), L"1.65535.2"},
        {V(1, 8, 0, 191), L"1.8.0.191"},
        {V(0, 0, 0, 5), L"0.0.0.5"},
        {V(2147483647, 0, 0, 0), L"2147483647.0"},
        {V(-3, 0, 0, 0), L"-3.0"},
    };
    for (const Case& c : cases) EXPECT_EQ(FormatVersion(c.version), c.expected);
}

TEST(CompareVersions, ComponentsInOrderAsSignedNumbers) {
    EXPECT_EQ(CompareVersions(V(1, 8, 0, 0), V(1, 8, 0, 0)), 0);
    EXPECT_EQ(CompareVersions(V(1, 8, 0, 191), V(1, 8, 0, 100)), 1);
    EXPECT_EQ(CompareVersions(V(1, 7, 99, 99), V(1, 8, 0, 0)), -1);
    EXPECT_EQ(CompareVersions(V(17, 0, 0, 0), V(1, 8, 65535, 65535)), 1);
    EXPECT_EQ(CompareVersions(V(-1, 0, 0, 0), V(0, 0, 0, 0)), -1);
    VersionNumber counted = V(1, 8, 0, 0);
    counted.componentCount = 2;
    EXPECT_EQ(CompareVersions(counted, V(1, 8, 0, 0)), 0) << "the count plays no part";
}

TEST(VersionMatchesPreference, TrailingZerosOfThePreferenceAreWildcards) {
    struct Case {
        VersionNumber candidate;
        VersionNumber preferred;
        bool matches;
    };
    const Case cases[] = {
        {V(1, 8, 0, 191), V(1, 8, 0, 0), true},    {V(1, 8, 5, 1), V(1, 8, 0, 0), true},
        {V(1, 7, 0, 80), V(1, 8, 0, 0), false},    {V(1, 8, 0, 191), V(1, 8, 0, 191), true},
        {V(1, 8, 0, 192), V(1, 8, 0, 191), false}, {V(1, 0, 5, 7), V(1, 0, 5, 0), true},
        {V(1, 1, 5, 7), V(1, 0, 5, 0), false},     {V(17, 0, 2, 8), V(0, 0, 0, 0), true},
        {V(1, 8, 0, 0), V(0, 0, 0, 8), false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(VersionMatchesPreference(c.candidate, c.preferred), c.matches)
            << Show(c.candidate) << " vs " << Show(c.preferred);
    }
}

TEST(IsUnboundedVersion, OnlyAllZeroOrAllOpen) {
    EXPECT_TRUE(IsUnboundedVersion(V(0, 0, 0, 0)));
    EXPECT_TRUE(IsUnboundedVersion(V(65535, 65535, 65535, 65535)));
    EXPECT_FALSE(IsUnboundedVersion(V(0, 0, 0, 65535)));
    EXPECT_FALSE(IsUnboundedVersion(V(65535, 65535, 65535, 0)));
    EXPECT_FALSE(IsUnboundedVersion(V(1, 1, 1, 1)));
}

TEST(ChooseVersionRequirementPhrase, Table) {
    struct Case {
        VersionNumber minimum;
        VersionNumber maximum;
        int id;
        std::vector<std::wstring> arguments;
    };
    const Case cases[] = {
        {V(0, 0, 0, 0), V(65535, 65535, 65535, 65535), IDS_VERSION_LATEST, {}},
        {V(0, 0, 0, 0), V(0, 0, 0, 0), IDS_VERSION_LATEST, {}},
        {V(0, 0, 0, 0), V(1, 8, 65535, 65535), IDS_VERSION_MAXIMUM, {L"1.8"}},
        {V(1, 6, 0, 0), V(65535, 65535, 65535, 65535), IDS_VERSION_MINIMUM, {L"1.6"}},
        {V(1, 7, 0, 0), V(1, 7, 0, 0), IDS_VERSION_EXACT, {L"1.7"}},
        {V(1, 6, 0, 0), V(1, 8, 65535, 65535), IDS_VERSION_BETWEEN, {L"1.6", L"1.8"}},
        // Same printed text, different components: still a range.
        {V(1, 8, 0, 0), V(1, 8, 65535, 65535), IDS_VERSION_BETWEEN, {L"1.8", L"1.8"}},
    };
    for (const Case& c : cases) {
        VersionRequirementPhrase phrase = ChooseVersionRequirementPhrase(c.minimum, c.maximum);
        EXPECT_EQ(phrase.stringId, c.id) << Show(c.minimum) << " " << Show(c.maximum);
        EXPECT_EQ(phrase.arguments, c.arguments) << Show(c.minimum) << " " << Show(c.maximum);
    }
}
