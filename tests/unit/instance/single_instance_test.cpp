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
    ASSERT_TRUE(WriteOneBlock(block, {std::wstring(kChunkUnits - 3, L'x')}));
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
        {{}, 2, 1},
        {{L""}, 3, 1},
        {{L"a", L"", L"b"}, 7, 1},
        {{L"abc"}, 6, 1},
        // A block carries 519 units: its last unit is the consumed mark.
        {{std::wstring(516, L'x')}, 519, 1},
        {{std::wstring(517, L'x')}, 520, 2},
        {{std::wstring(259, L'x'), std::wstring(259, L'y')}, 522, 2},
        {Args(3, std::wstring(180, L'p')), 545, 2},
        {Args(20, std::wstring(1000, L'q')), 20022, 39},
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
    const std::uint16_t expected[] = {3, 0, u'a', u'b', 0, 0, u'c', 0};
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

// Every argument list travels whole, in as many blocks as it takes, each leaving the
// consumed mark's unit zero (fresh): empty arguments anywhere, no arguments at all.
TEST(ForwardedArguments, RoundTripThroughBlocks) {
    const Args cases[] = {
        {},
        {L""},
        {L"e1", L"", L"after-empty"},
        {L"", L"", L"x", L""},
        {L"a", L"b c", L"-nosplash"},
        {L"\u00e4\u00f6\u00fc", L"\u65e5\u672c", L"\"q\""},
        {std::wstring(516, L'x')},
        {std::wstring(517, L'x')},
        Args(3, L"C:\\Users\\someone\\Documents\\" + std::wstring(150, L'p')),
        {L"-open", std::wstring(5000, L'\u00e4'), L"", L"last"},
    };
    for (const auto& args : cases) {
        std::vector<std::uint16_t> stream = PackForwardedArguments(args);
        std::vector<std::uint16_t> pending;
        std::vector<std::wstring> received;
        InstanceBlock block = ZeroBlock();
        std::size_t chunks = ArgumentChunkCount(stream.size());
        for (std::size_t i = 0; i < chunks; ++i) {
            WriteArgumentChunk(block, stream, i);
            ASSERT_TRUE(HasFreshArguments(block)) << i;
            bool last = i + 1 == chunks;
            EXPECT_EQ(AcceptArgumentChunk(block, !last, pending, received),
                      last ? ArgumentStreamState::Complete : ArgumentStreamState::NeedsMore);
            MarkArgumentsConsumed(block);
        }
        EXPECT_EQ(received, args) << args.size();
    }
}

TEST(ForwardedArguments, CharacterBeyondBasicPlaneTakesTwoUnits) {
    const std::wstring text = L"\U0001F600";
    InstanceBlock block = ZeroBlock();
    ASSERT_TRUE(WriteOneBlock(block, {text}));
    EXPECT_EQ(UnitAtByte(block, 16), 0xD83D);
    EXPECT_EQ(UnitAtByte(block, 18), 0xDE00);
    EXPECT_EQ(UnitAtByte(block, 20), 0);
    EXPECT_EQ(PackForwardedArguments({text}).size(), 5u);
}

// Streams as another process could write them: whatever they hold, the reader stays within
// them, and keeps nothing of one that is not a whole list within the limit.
TEST(ParseForwardedArguments, RawStreams) {
    using Units = std::vector<std::uint16_t>;
    struct Case {
        const char* name;
        Units stream;
        bool accepted;
        Args expected;
    };
    auto withCount = [](std::uint32_t count, Units rest) {
        Units stream = {static_cast<std::uint16_t>(count & 0xFFFF),
                        static_cast<std::uint16_t>(count >> 16)};
        stream.insert(stream.end(), rest.begin(), rest.end());
        return stream;
    };
    // One argument taking the stream to the limit exactly, and one unit over it.
    Units atLimit = withCount(1, Units(kMaxArgumentStreamUnits - 3, u'x'));
    atLimit.push_back(0);
    Units overLimit = withCount(1, Units(kMaxArgumentStreamUnits - 2, u'x'));
    overLimit.push_back(0);

    const Case cases[] = {
        {"nothing", {}, false, {}},
        {"half a count", {1}, false, {}},
        {"no arguments", withCount(0, {}), true, {}},
        {"zero fill after the end ignored", withCount(1, {u'a', 0, 0, 0, u'z'}), true, {L"a"}},
        {"empty arguments kept", withCount(3, {0, u'b', 0, 0}), true, {L"", L"b", L""}},
        {"last argument unfinished", withCount(2, {u'a', 0, u'b'}), false, {}},
        {"more arguments than units", withCount(5, {0, 0}), false, {}},
        {"count in the high half", withCount(0x10001, {0, 0, 0}), false, {}},
        {"largest count", withCount(0xFFFFFFFF, Units(600, 0)), false, {}},
        {"at the limit", atLimit, true, {std::wstring(kMaxArgumentStreamUnits - 3, L'x')}},
        {"over the limit", overLimit, false, {}},
    };
    for (const auto& c : cases) {
        Args received = {L"stale"};
        EXPECT_EQ(ParseForwardedArguments(c.stream, received), c.accepted) << c.name;
        EXPECT_EQ(received, c.expected) << c.name;
    }
}

// The limit holds for the whole stream, however it is cut into blocks: a last block that
// takes a stream past it is refused as a block that says more follows is.
TEST(ForwardedArguments, LimitAppliesToTheWholeStream) {
    struct Case {
        const char* name;
        std::size_t argumentUnits;  // one argument of this many units
        bool lastSaysMore;          // the last block claims that more follows
        ArgumentStreamState outcome;
    };
    const Case cases[] = {
        {"at the limit", kMaxArgumentStreamUnits - 3, false, ArgumentStreamState::Complete},
        {"one over, in a last block", kMaxArgumentStreamUnits - 2, false,
         ArgumentStreamState::Refused},
        // 127 full blocks, 65,913 units, ending in a last block.
        {"full last block", kChunkUnits * 127 - 3, false, ArgumentStreamState::Refused},
        {"full blocks going on", kChunkUnits * 127 - 3, true, ArgumentStreamState::Refused},
    };
    for (const auto& c : cases) {
        std::vector<std::uint16_t> stream =
            PackForwardedArguments({std::wstring(c.argumentUnits, L'x')});
        std::vector<std::uint16_t> pending;
        std::vector<std::wstring> received;
        InstanceBlock block = ZeroBlock();
        std::size_t chunks = ArgumentChunkCount(stream.size());
        ArgumentStreamState state = ArgumentStreamState::NeedsMore;
        for (std::size_t i = 0; i < chunks && state == ArgumentStreamState::NeedsMore; ++i) {
            WriteArgumentChunk(block, stream, i);
            state = AcceptArgumentChunk(block, i + 1 < chunks || c.lastSaysMore, pending, received);
        }
        EXPECT_EQ(state, c.outcome) << c.name;
    }
}
