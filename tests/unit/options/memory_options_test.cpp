#include "options/memory_options.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

constexpr std::uint64_t kGiB = 1024ull * 1024 * 1024;

template <typename Unsigned>
std::wstring Rewrite(std::wstring option, std::uint64_t physical, std::uint64_t virtualBytes = 0) {
    MemoryAmounts<Unsigned> memory;
    memory.TotalPhysical = static_cast<Unsigned>(physical);
    memory.AvailableVirtual = static_cast<Unsigned>(virtualBytes);
    RewritePercentSize(option, memory);
    return option;
}

}  // namespace

TEST(IsPercentSizeOption, PrefixAndSuffixAreExact) {
    struct Case {
        const wchar_t* option;
        bool expected;
    } cases[] = {
        {L"-Xmx50p", true}, {L"-Xms25P", true},  {L"-Xss10t", true},   {L"-Xmx5:1:2T", true},
        {L"-Xmxp", true},   {L"-XMX50p", false}, {L"-Xmx512m", false}, {L"-Xmn50p", false},
        {L"-Xms", false},   {L"", false},        {L"-Xm", false},      {L"-Dx=50p", false},
    };
    for (const Case& c : cases) EXPECT_EQ(IsPercentSizeOption(c.option), c.expected) << c.option;
}

TEST(ParseNumberList, ReadsUpToTheSuffix) {
    auto list = ParseNumberList<std::uint64_t>(L"-Xmx50:1024:4096p");
    EXPECT_EQ(list.Start, 4u);
    EXPECT_EQ(list.Numbers, (std::vector<std::uint64_t>{50, 1024, 4096}));

    list = ParseNumberList<std::uint64_t>(L"-Xmxp");
    EXPECT_EQ(list.Start, 5u);
    EXPECT_TRUE(list.Numbers.empty());

    // The last character is never a digit of the number, other characters are skipped.
    list = ParseNumberList<std::uint64_t>(L"x1a2b34");
    EXPECT_EQ(list.Start, 1u);
    EXPECT_EQ(list.Numbers, (std::vector<std::uint64_t>{123}));

    list = ParseNumberList<std::uint64_t>(L":5");
    EXPECT_EQ(list.Start, 0u);
    EXPECT_EQ(list.Numbers, (std::vector<std::uint64_t>{0, 0}));
}

TEST(ParseNumberList, HugeNumbersSaturateInsteadOfWrapping) {
    auto wide = ParseNumberList<std::uint64_t>(L"99999999999999999999999p");
    EXPECT_EQ(wide.Numbers.at(0), UINT64_MAX);
    auto narrow = ParseNumberList<std::uint32_t>(L"4294967296p");  // 2^32
    EXPECT_EQ(narrow.Numbers.at(0), UINT32_MAX);
    narrow = ParseNumberList<std::uint32_t>(L"4294967295p");
    EXPECT_EQ(narrow.Numbers.at(0), 4294967295u);
}

TEST(RewritePercentSize, SixtyFourBitWithInjectedMemory) {
    struct Case {
        const wchar_t* option;
        std::uint64_t physical;
        const wchar_t* expected;
    } cases[] = {
        {L"-Xmx50p", 16 * kGiB, L"-Xmx8388608K"},
        {L"-Xms25P", 16 * kGiB, L"-Xms4194304K"},
        {L"-Xmx50:1024:4096p", 16 * kGiB, L"-Xmx4194304K"},  // maximum applies
        {L"-Xmx50:1024:4096p", 1 * kGiB, L"-Xmx1048576K"},   // minimum applies to 524288
        {L"-Xmx90:8192:4096p", 16 * kGiB, L"-Xmx8388608K"},  // minimum wins over maximum
        {L"-Xmx100p", 1 * kGiB, L"-Xmx1048576K"},
        {L"-Xmx33p", 1000 * 1024, L"-Xmx330K"},          // truncated toward zero
        {L"-Xmxp", 16 * kGiB, L"-Xmxp0K"},               // no digits: "0K" appended
        {L"-Xmx50:0:0:7p", 16 * kGiB, L"-Xmx8388608K"},  // numbers after the third ignored
        {L"-Xss10P", 1 * kGiB, L"-Xss104857K"},
        // Beyond 32 bits: written in full, not cut to an int.
        {L"-Xmx50p", 8192 * kGiB, L"-Xmx4294967296K"},
        {L"-Xmx200p", 8192 * kGiB, L"-Xmx17179869184K"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Rewrite<std::uint64_t>(c.option, c.physical), c.expected) << c.option;
    }
}

TEST(RewritePercentSize, TSuffixUsesAvailableVirtualMemory) {
    EXPECT_EQ(Rewrite<std::uint64_t>(L"-Xmx50t", 16 * kGiB, 2 * kGiB), L"-Xmx1048576K");
    EXPECT_EQ(Rewrite<std::uint64_t>(L"-Xmx50T", 16 * kGiB, 2 * kGiB), L"-Xmx1048576K");
    EXPECT_EQ(Rewrite<std::uint32_t>(L"-Xmx50t", 1 * kGiB, 2 * kGiB), L"-Xmx1048576K");
}

TEST(RewritePercentSize, ThirtyTwoBitArithmetic) {
    struct Case {
        const wchar_t* option;
        std::uint64_t physical;
        const wchar_t* expected;
    } cases[] = {
        {L"-Xmx50p", 1 * kGiB, L"-Xmx524288K"},
        {L"-Xmx50:1024:4096p", 1 * kGiB, L"-Xmx1048576K"},
        {L"-Xmx90:8192:4096p", 1 * kGiB, L"-Xmx8388608K"},
        // GlobalMemoryStatus reports at most 4 GiB - 1 in a 32-bit process.
        {L"-Xmx50p", 0xFFFFFFFFull, L"-Xmx2097151K"},
        {L"-Xmx1000p", 0xFFFFFFFFull, L"-Xmx41943030K"},
        // 200000% of 4 GiB does not fit 32 bits: the value saturates instead of wrapping.
        {L"-Xmx200000p", 0xFFFFFFFFull, L"-Xmx4294967295K"},
        // A minimum whose kibibytes exceed 32 bits saturates as well.
        {L"-Xmx1:5000000:0p", 1 * kGiB, L"-Xmx4294967295K"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Rewrite<std::uint32_t>(c.option, c.physical), c.expected) << c.option;
    }
}

TEST(RewritePercentSize, HugePercentSaturatesAtSixtyFourBits) {
    EXPECT_EQ(Rewrite<std::uint64_t>(L"-Xmx99999999999999999999p", 16 * kGiB),
              L"-Xmx18446744073709551615K");
}

TEST(ParseStackSize, UnitsAndUnreadableValues) {
    struct Case {
        const wchar_t* option;
        std::uint64_t expected;
    } cases[] = {
        {L"-Xss2m", 2097152},
        {L"-Xss512k", 524288},
        {L"-Xss1g", 1073741824},
        {L"-Xss262144", 262144},
        {L"-Xss1", 1},
        {L"-Xss2M", 2097152},
        {L"-Xss512K", 524288},
        {L"-Xss1G", 1073741824},
        {L"-Xss:1m", 0},
        {L"-Xssm", 0},
        {L"-Xss", 0},
        {L"-Xss1:2m", 0},
        {L"-Xss104857K", 104857u * 1024},
        {L"-Xss7x", 7},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ParseStackSize<std::uint64_t>(c.option), c.expected) << c.option;
        if (c.expected <= UINT32_MAX) {
            EXPECT_EQ(ParseStackSize<std::uint32_t>(c.option), c.expected) << c.option;
        }
    }
}

TEST(ParseStackSize, ValuesBeyondTheWidthAreUnreadable) {
    EXPECT_EQ(ParseStackSize<std::uint32_t>(L"-Xss4g"), 0u);
    EXPECT_EQ(ParseStackSize<std::uint64_t>(L"-Xss4g"), 4 * kGiB);
    EXPECT_EQ(ParseStackSize<std::uint32_t>(L"-Xss4294967296"), 0u);
    EXPECT_EQ(ParseStackSize<std::uint64_t>(L"-Xss99999999999999999999999g"), 0u);
    EXPECT_EQ(ParseStackSize<std::uint64_t>(L"-Xss17179869184g"), 0u);  // 2^34 GiB overflows
}
