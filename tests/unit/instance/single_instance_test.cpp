#include "instance/single_instance.h"

#include <gtest/gtest.h>

#include <cstring>

using Args = std::vector<std::wstring>;

namespace {

InstanceBlock ZeroBlock() {
    InstanceBlock block;
    std::memset(&block, 0, sizeof(block));
    return block;
}

// Writes raw units at the start of the argument area, running on into the unused area.
InstanceBlock BlockWithUnits(const std::vector<std::uint16_t>& units) {
    InstanceBlock block = ZeroBlock();
    if (!units.empty()) {
        std::memcpy(reinterpret_cast<unsigned char*>(&block) + 12, units.data(), units.size() * 2);
    }
    return block;
}

std::uint16_t UnitAtByte(const InstanceBlock& block, std::size_t offset) {
    std::uint16_t unit;
    std::memcpy(&unit, reinterpret_cast<const unsigned char*>(&block) + offset, 2);
    return unit;
}

}  // namespace

TEST(InstanceNames, DerivedFromUserAndModulePath) {
    const wchar_t* sid = L"S-1-5-21-1-2-3-1001";
    InstanceNames names = InstanceNamesFor(L"C:\\Apps\\Tool\\tool.exe", sid);
    EXPECT_EQ(names.Instance, L"S-1-5-21-1-2-3-1001_C:_Apps_Tool_tool.exe");
    EXPECT_EQ(names.MainStartedEvent, L"S-1-5-21-1-2-3-1001_C:_Apps_Tool_tool.exe_upr_evt");
    EXPECT_EQ(names.HandOverLock, L"S-1-5-21-1-2-3-1001_C:_Apps_Tool_tool.exe_handover_lock");
    // Another user's starts of the same file never meet these objects.
    EXPECT_NE(InstanceNamesFor(L"C:\\Apps\\Tool\\tool.exe", L"S-1-5-21-1-2-3-1002").Instance,
              names.Instance);
    // Paths written differently are different applications: no case folding, "/" kept.
    EXPECT_EQ(InstanceNamesFor(L"c:\\apps/Tool.EXE", sid).Instance,
              L"S-1-5-21-1-2-3-1001_c:_apps/Tool.EXE");
    EXPECT_EQ(InstanceNamesFor(L"\\\\server\\share\\a.exe", sid).Instance,
              L"S-1-5-21-1-2-3-1001___server_share_a.exe");
    // The message names are the same for every application and path, so that running from a
    // new folder each time adds nothing to the system's message table.
    InstanceNames other = InstanceNamesFor(L"D:\\Temp\\x1234\\tool.exe", L"S-1-5-18");
    EXPECT_EQ(other.Message, names.Message);
    EXPECT_EQ(other.HandOverAck, names.HandOverAck);
    EXPECT_NE(names.Message, names.HandOverAck);
}

TEST(ForwardedArguments, ConsumedBlockOffersNothingToReplay) {
    InstanceBlock block = ZeroBlock();
    MarkArgumentsConsumed(block);
    EXPECT_FALSE(HasFreshArguments(block));
    ASSERT_TRUE(WriteForwardedArguments(block, {L"secret", L"b"}));
    EXPECT_TRUE(HasFreshArguments(block));
    MarkArgumentsConsumed(block);
    EXPECT_FALSE(HasFreshArguments(block));
    // Nothing of the copied arguments stays behind in the block.
    for (std::size_t i = 0; i + 1 < kArgumentAreaUnits; ++i) {
        ASSERT_EQ(UnitAtByte(block, 12 + 2 * i), 0u) << i;
    }
    // Arguments that fill the area exactly still leave the last unit zero: fresh.
    ASSERT_TRUE(WriteForwardedArguments(block, {std::wstring(kArgumentAreaUnits - 2, L'x')}));
    EXPECT_TRUE(HasFreshArguments(block));
}

TEST(DecideSingleInstance, WholeValueCaseSensitive) {
    struct Case {
        const wchar_t* type;
        const wchar_t* single;
        SingleInstanceRequest expected;
    };
    const Case cases[] = {
        {L"", L"yes", SingleInstanceRequest::Requested},
        {L"console", L"yes", SingleInstanceRequest::Requested},
        {L"Service", L"yes", SingleInstanceRequest::Requested},
        {L"service", L"yes", SingleInstanceRequest::ServiceApplication},
        {L"service", L"", SingleInstanceRequest::ServiceApplication},
        {L"", L"Yes", SingleInstanceRequest::NotRequested},
        {L"", L"YES", SingleInstanceRequest::NotRequested},
        {L"", L"yes ", SingleInstanceRequest::NotRequested},
        {L"", L"true", SingleInstanceRequest::NotRequested},
        {L"", L"", SingleInstanceRequest::NotRequested},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DecideSingleInstance(c.type, c.single), c.expected)
            << "type=" << testing::PrintToString(std::wstring(c.type))
            << " single=" << testing::PrintToString(std::wstring(c.single));
    }
}

TEST(ForwardedArguments, SizeAndLimit) {
    struct Case {
        Args args;
        std::size_t bytes;
        bool fits;
    };
    const Case cases[] = {
        {{}, 2, true},
        {{L""}, 4, true},
        {{L"a", L"", L"b"}, 2 + 4 + 2 + 4, true},
        {{L"abc"}, 2 + 8, true},
        // 2 × 518 + 2 + 2 = 1040: exactly at the limit.
        {{std::wstring(518, L'x')}, 1040, true},
        {{std::wstring(519, L'x')}, 1042, false},
        {{std::wstring(258, L'x'), std::wstring(258, L'y')}, 1038, true},
        {{std::wstring(259, L'x'), std::wstring(258, L'y')}, 1040, true},
        {{std::wstring(259, L'x'), std::wstring(259, L'y')}, 1042, false},
        // 519 empty arguments: 2 × 519 + 2 = 1040.
        {Args(519, L""), 1040, true},
        {Args(520, L""), 1042, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ForwardedArgumentsBytes(c.args), c.bytes) << c.args.size();
        EXPECT_EQ(ArgumentsFitBlock(c.args), c.fits) << c.args.size();
    }
}

TEST(ForwardedArguments, CountingStopsPastLimitOnHugeLists) {
    Args many(100000, std::wstring(100, L'z'));
    EXPECT_GT(ForwardedArgumentsBytes(many), kArgumentAreaBytes);
    EXPECT_LT(ForwardedArgumentsBytes(many), 2 * kArgumentAreaBytes);
    EXPECT_FALSE(ArgumentsFitBlock(many));
}

TEST(ForwardedArguments, PackedLayout) {
    InstanceBlock block = ZeroBlock();
    block.ListenerThreadId = 11;
    block.PrimaryProcessId = 22;
    block.InstanceMessage = 0xC123;
    // Leftovers of an earlier, longer hand-over must not survive.
    std::memset(block.Arguments, 0x41, sizeof(block.Arguments));
    ASSERT_TRUE(WriteForwardedArguments(block, {L"ab", L"", L"c"}));
    const std::uint16_t expected[] = {u'a', u'b', 0, 0, u'c', 0, 0};
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        EXPECT_EQ(UnitAtByte(block, 12 + 2 * i), expected[i]) << i;
    }
    for (std::size_t offset = 12 + 2 * std::size(expected); offset < 1052; offset += 2) {
        ASSERT_EQ(UnitAtByte(block, offset), 0) << offset;
    }
    EXPECT_EQ(block.ListenerThreadId, 11u);
    EXPECT_EQ(block.PrimaryProcessId, 22u);
    EXPECT_EQ(block.InstanceMessage, 0xC123u);
}

TEST(ForwardedArguments, OverLimitLeavesBlockUntouched) {
    InstanceBlock block = ZeroBlock();
    ASSERT_TRUE(WriteForwardedArguments(block, {L"keep"}));
    EXPECT_FALSE(
        WriteForwardedArguments(block, {std::wstring(300, L'x'), std::wstring(300, L'y')}));
    EXPECT_EQ(ReadForwardedArguments(block), Args{L"keep"});
}

TEST(ForwardedArguments, RoundTripsThroughTheBlock) {
    struct Case {
        Args written;
        Args read;
    };
    const Case cases[] = {
        {{}, {L""}},
        {{L"a", L"", L"b"}, {L"a"}},
        // A leading empty argument is followed by a unit, not a second NUL: it survives.
        {{L"", L"x"}, {L"", L"x"}},
        {{L"", L"", L"x"}, {L""}},
        {{L"one"}, {L"one"}},
        {{L"a", L"b c", L"-nosplash"}, {L"a", L"b c", L"-nosplash"}},
        {{L"\u00e4\u00f6\u00fc", L"\u65e5\u672c", L"\"q\""},
         {L"\u00e4\u00f6\u00fc", L"\u65e5\u672c", L"\"q\""}},
        {{std::wstring(518, L'x')}, {std::wstring(518, L'x')}},
        {{std::wstring(258, L'x'), std::wstring(259, L'y')},
         {std::wstring(258, L'x'), std::wstring(259, L'y')}},
    };
    for (const auto& c : cases) {
        InstanceBlock block = ZeroBlock();
        ASSERT_TRUE(WriteForwardedArguments(block, c.written));
        EXPECT_EQ(ReadForwardedArguments(block), c.read) << c.written.size();
    }
}

TEST(ForwardedArguments, CharacterBeyondBasicPlaneTakesTwoUnits) {
    const std::wstring text = L"\U0001F600";
    InstanceBlock block = ZeroBlock();
    ASSERT_TRUE(WriteForwardedArguments(block, {text}));
    EXPECT_EQ(UnitAtByte(block, 12), 0xD83D);
    EXPECT_EQ(UnitAtByte(block, 14), 0xDE00);
    EXPECT_EQ(UnitAtByte(block, 16), 0);
    EXPECT_EQ(ForwardedArgumentsBytes({text}), 2u + 4u + 2u);
}

TEST(ReadForwardedArguments, RawBlocks) {
    struct Case {
        const char* name;
        std::vector<std::uint16_t> units;
        Args expected;
    };
    std::vector<std::uint16_t> fullNoEnd(1040, u'x');
    std::vector<std::uint16_t> itemsThenUnfinished;
    for (int i = 0; i < 519; ++i) {
        itemsThenUnfinished.push_back(u'k');
        itemsThenUnfinished.push_back(0);
    }
    itemsThenUnfinished.push_back(u'z');  // unit at offset 2088, not ended
    itemsThenUnfinished.push_back(u'z');  // offset 2090 is only ever looked at, never read
    // A NUL at offset 2088 followed by a NUL at 2090 ends the list.
    std::vector<std::uint16_t> endsAtLastPair(1039, u'q');
    endsAtLastPair.push_back(u'q');
    endsAtLastPair[1038] = 0;
    endsAtLastPair[1039] = 0;
    // The argument area full and ended by one NUL: the zero unused area supplies the end.
    std::vector<std::uint16_t> intoUnused(519, u'w');
    intoUnused.push_back(0);
    // A writer that ignored the limit: the scan runs on into the unused area.
    std::vector<std::uint16_t> spills(600, u's');
    spills.push_back(0);
    spills.push_back(u't');

    const Case cases[] = {
        {"all zero", {}, {L""}},
        {"one", {u'a', 0, 0}, {L"a"}},
        {"empty ends list", {u'a', 0, 0, u'b', 0, 0}, {L"a"}},
        {"full, no end", fullNoEnd, {}},
        {"finished items kept, unfinished dropped", itemsThenUnfinished, Args(519, L"k")},
        {"ends at last pair", endsAtLastPair, {std::wstring(1038, L'q')}},
        {"runs into unused area", intoUnused, {std::wstring(519, L'w')}},
        {"spills past argument area", spills, {std::wstring(600, L's'), L"t"}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ReadForwardedArguments(BlockWithUnits(c.units)), c.expected) << c.name;
    }
}
