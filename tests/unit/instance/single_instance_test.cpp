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

// The arguments in the block's area as one hand-over block; false when they need more.
bool WriteOneBlock(InstanceBlock& block, const Args& args) {
    std::vector<std::uint16_t> stream = PackForwardedArguments(args);
    if (ArgumentChunkCount(stream.size()) != 1) return false;
    WriteArgumentChunk(block, stream, 0);
    return true;
}

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
    ASSERT_TRUE(WriteOneBlock(block, {L"secret", L"b"}));
    EXPECT_TRUE(HasFreshArguments(block));
    MarkArgumentsConsumed(block);
    EXPECT_FALSE(HasFreshArguments(block));
    // Nothing of the copied arguments stays behind in the block.
    for (std::size_t i = 0; i + 1 < kArgumentAreaUnits; ++i) {
        ASSERT_EQ(UnitAtByte(block, 12 + 2 * i), 0u) << i;
    }
    // Arguments that fill the area exactly still leave the last unit zero: fresh.
    ASSERT_TRUE(WriteOneBlock(block, {std::wstring(kChunkUnits - 2, L'x')}));
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

TEST(ForwardedArguments, StreamAndBlocks) {
    struct Case {
        Args args;
        std::size_t units;
        std::size_t blocks;
    };
    const Case cases[] = {
        {{}, 1, 1},
        {{L""}, 2, 1},
        {{L"a", L"", L"b"}, 6, 1},
        {{L"abc"}, 5, 1},
        // A block carries 519 units: its last unit is the consumed mark.
        {{std::wstring(517, L'x')}, 519, 1},
        {{std::wstring(518, L'x')}, 520, 2},
        {{std::wstring(259, L'x'), std::wstring(259, L'y')}, 521, 2},
        {Args(3, std::wstring(180, L'p')), 544, 2},
        {Args(20, std::wstring(1000, L'q')), 20021, 39},
    };
    for (const auto& c : cases) {
        std::vector<std::uint16_t> stream = PackForwardedArguments(c.args);
        EXPECT_EQ(stream.size(), c.units) << c.args.size();
        EXPECT_EQ(ArgumentChunkCount(stream.size()), c.blocks) << c.args.size();
    }
}

TEST(ForwardedArguments, PackedLayout) {
    InstanceBlock block = ZeroBlock();
    block.ListenerThreadId = 11;
    block.PrimaryProcessId = 22;
    block.InstanceMessage = 0xC123;
    // Leftovers of an earlier, longer hand-over must not survive.
    std::memset(block.Arguments, 0x41, sizeof(block.Arguments));
    ASSERT_TRUE(WriteOneBlock(block, {L"ab", L"", L"c"}));
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

// A stream longer than a block travels in several, each leaving the consumed mark's unit
// zero (fresh), and reads back whole once the chunks are joined.
TEST(ForwardedArguments, LongStreamsTravelInBlocks) {
    const Args cases[] = {
        {std::wstring(518, L'x')},
        Args(3, L"C:\\Users\\someone\\Documents\\" + std::wstring(150, L'p')),
        {L"-open", std::wstring(5000, L'\u00e4'), L"\u65e5\u672c", L"last"},
    };
    for (const auto& args : cases) {
        std::vector<std::uint16_t> stream = PackForwardedArguments(args);
        std::vector<std::uint16_t> joined;
        InstanceBlock block = ZeroBlock();
        for (std::size_t i = 0; i < ArgumentChunkCount(stream.size()); ++i) {
            WriteArgumentChunk(block, stream, i);
            ASSERT_TRUE(HasFreshArguments(block)) << i;
            AppendArgumentChunk(block, joined);
            MarkArgumentsConsumed(block);
        }
        EXPECT_EQ(ParseForwardedArguments(joined), args) << args.size();
    }
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
        {{std::wstring(517, L'x')}, {std::wstring(517, L'x')}},
        {{std::wstring(258, L'x'), std::wstring(258, L'y')},
         {std::wstring(258, L'x'), std::wstring(258, L'y')}},
    };
    for (const auto& c : cases) {
        InstanceBlock block = ZeroBlock();
        ASSERT_TRUE(WriteOneBlock(block, c.written));
        EXPECT_EQ(ReadForwardedArguments(block), c.read) << c.written.size();
    }
}

TEST(ForwardedArguments, CharacterBeyondBasicPlaneTakesTwoUnits) {
    const std::wstring text = L"\U0001F600";
    InstanceBlock block = ZeroBlock();
    ASSERT_TRUE(WriteOneBlock(block, {text}));
    EXPECT_EQ(UnitAtByte(block, 12), 0xD83D);
    EXPECT_EQ(UnitAtByte(block, 14), 0xDE00);
    EXPECT_EQ(UnitAtByte(block, 16), 0);
    EXPECT_EQ(PackForwardedArguments({text}).size(), 4u);
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
