#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The single-instance protocol between launcher processes of one executable path and one
// user: a named shared block, registered thread messages and the names below. Every copy of
// the launcher relies on the exact layout and names, so none of them may change.

inline constexpr std::size_t kInstanceBlockSize = 2092;
/// Bytes of the argument area: one block of the argument stream and the consumed mark.
inline constexpr std::size_t kArgumentAreaBytes = 1040;
inline constexpr std::size_t kArgumentAreaUnits = kArgumentAreaBytes / 2;

/// The shared block, 2092 bytes, little-endian, in the paging file.
struct InstanceBlock {
    /// Thread identifier of the primary's listener; 0 until that thread can receive messages.
    std::uint32_t ListenerThreadId;
    std::uint32_t PrimaryProcessId;
    /// Identifier returned by RegisterWindowMessageW for the instance name.
    std::uint32_t InstanceMessage;
    /// One block of the argument stream (see PackForwardedArguments); the rest zero.
    std::uint16_t Arguments[kArgumentAreaUnits];
    /// Never written.
    std::uint16_t Unused[kArgumentAreaUnits];
};

static_assert(std::endian::native == std::endian::little, "the block is little-endian");
static_assert(offsetof(InstanceBlock, ListenerThreadId) == 0);
static_assert(offsetof(InstanceBlock, PrimaryProcessId) == 4);
static_assert(offsetof(InstanceBlock, InstanceMessage) == 8);
static_assert(offsetof(InstanceBlock, Arguments) == 12);
static_assert(offsetof(InstanceBlock, Unused) == 1052);
static_assert(sizeof(InstanceBlock) == kInstanceBlockSize);

/// The two registered message names. Fixed, so that every application shares the same two
/// entries of the system's message table (a name per path would add two entries for each
/// new folder a portable application runs from, and they are never freed); the block and the
/// receiving thread say which application a message belongs to.
inline constexpr wchar_t kInstanceMessageName[] = L"vmboot.single-instance.request";
inline constexpr wchar_t kHandOverAckMessageName[] = L"vmboot.single-instance.ack";

/// The names of the protocol's objects, derived from the user and the executable's identity
/// (its volume and file index, or its path where the file cannot be read).
struct InstanceNames {
    /// The user's SID, "_", then the identity with every "\" replaced by "_": the file
    /// mapping. Another user's starts of the same executable never meet this user's objects.
    std::wstring Instance;
    /// Manual-reset event the primary signals just before main.
    std::wstring MainStartedEvent;
    /// Mutex a second instance holds from writing the block until the primary has copied it.
    std::wstring HandOverLock;
    /// Registered message a second start posts to the listener, and the primary's answer.
    std::wstring Message;
    /// Registered message the primary posts to a second instance once it copied the block.
    std::wstring HandOverAck;
};

InstanceNames InstanceNamesFor(std::wstring_view identity, std::wstring_view userSid);

/// Whether the configuration asks for the protocol.
enum class SingleInstanceRequest {
    ServiceApplication,  ///< "Application Type" is "service": never single instance
    NotRequested,        ///< "Single Instance" is not exactly "yes"
    Requested,
};

/// Both values compare whole and case-sensitively ("Yes" does not switch it on).
SingleInstanceRequest DecideSingleInstance(std::wstring_view applicationType,
                                           std::wstring_view singleInstance);

/// Units of the argument stream one block carries: the area less its last unit, which marks
/// the area as consumed. Longer streams go in several blocks, one after another.
inline constexpr std::size_t kChunkUnits = kArgumentAreaUnits - 1;
/// The longest argument stream a primary takes, counted whole (a command line holds at most
/// 32,767 units).
inline constexpr std::size_t kMaxArgumentStreamUnits = 65536;

/// The arguments as one stream: the number of arguments (two units, low half first), then
/// each argument's UTF-16 units and one NUL. The count, not a second NUL, ends the list, so
/// an empty argument travels like any other.
std::vector<std::uint16_t> PackForwardedArguments(const std::vector<std::wstring>& arguments);
/// Blocks a stream of that many units takes (at least one).
std::size_t ArgumentChunkCount(std::size_t streamUnits);
/// Writes block `index` of the stream into the argument area, the rest of the area zero.
void WriteArgumentChunk(InstanceBlock& block, const std::vector<std::uint16_t>& stream,
                        std::size_t index);
/// Appends the block's chunk (the area less its last unit) to `stream`.
void AppendArgumentChunk(const InstanceBlock& block, std::vector<std::uint16_t>& stream);
/// The arguments of a stream (units after its end are ignored: a last block's zero fill).
/// False, with `arguments` empty, for a stream that is cut short, names more arguments than
/// it holds, or is longer than kMaxArgumentStreamUnits.
bool ParseForwardedArguments(const std::vector<std::uint16_t>& stream,
                             std::vector<std::wstring>& arguments);

/// What the primary makes of one more block of a hand-over.
enum class ArgumentStreamState {
    NeedsMore,  ///< more blocks follow and the stream may still be within the limit
    Complete,   ///< the last block: `arguments` holds the list
    Refused,    ///< too long or malformed: the start is answered -1
};
/// Appends the block's chunk to `pending` and, on the last block, parses the whole stream.
ArgumentStreamState AcceptArgumentChunk(const InstanceBlock& block, bool moreFollows,
                                        std::vector<std::uint16_t>& pending,
                                        std::vector<std::wstring>& arguments);

/// After the primary has copied the arguments: the area is cleared and its last unit (which a
/// writer always leaves zero) marks it as consumed, so that a stray or forged request finds
/// no arguments to replay. A new primary's block starts consumed as well.
void MarkArgumentsConsumed(InstanceBlock& block);
/// Whether a second start has written arguments that nobody has copied yet.
bool HasFreshArguments(const InstanceBlock& block);
