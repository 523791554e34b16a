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
/// Bytes of the argument area: the packed arguments, their NULs and the final NUL must fit.
inline constexpr std::size_t kArgumentAreaBytes = 1040;
inline constexpr std::size_t kArgumentAreaUnits = kArgumentAreaBytes / 2;
/// The reader stops before this byte offset (the last unit of the block is never read as a
/// unit of its own, only as the one that follows).
inline constexpr std::size_t kArgumentScanEnd = 2090;

/// The shared block, 2092 bytes, little-endian, in the paging file.
struct InstanceBlock {
    /// Thread identifier of the primary's listener; 0 until that thread can receive messages.
    std::uint32_t ListenerThreadId;
    std::uint32_t PrimaryProcessId;
    /// Identifier returned by RegisterWindowMessageW for the instance name.
    std::uint32_t InstanceMessage;
    /// UTF-16 units: each argument followed by one NUL, then one more NUL; the rest zero.
    std::uint16_t Arguments[kArgumentAreaUnits];
    /// Never written; a reader's scan may run into it.
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
/// The longest argument stream a primary takes (a command line holds at most 32,767 units).
inline constexpr std::size_t kMaxArgumentStreamUnits = 65536;

/// The arguments as one stream: each argument's UTF-16 units and one NUL, then one more NUL.
std::vector<std::uint16_t> PackForwardedArguments(const std::vector<std::wstring>& arguments);
/// Blocks a stream of that many units takes (at least one).
std::size_t ArgumentChunkCount(std::size_t streamUnits);
/// Writes block `index` of the stream into the argument area, the rest of the area zero.
void WriteArgumentChunk(InstanceBlock& block, const std::vector<std::uint16_t>& stream,
                        std::size_t index);
/// Appends the block's chunk (the area less its last unit) to `stream`.
void AppendArgumentChunk(const InstanceBlock& block, std::vector<std::uint16_t>& stream);
/// The arguments of a stream, read as ReadForwardedArguments reads the block.
std::vector<std::wstring> ParseForwardedArguments(const std::vector<std::uint16_t>& stream);

/// After the primary has copied the arguments: the area is cleared and its last unit (which a
/// writer always leaves zero) marks it as consumed, so that a stray or forged request finds
/// no arguments to replay. A new primary's block starts consumed as well.
void MarkArgumentsConsumed(InstanceBlock& block);
/// Whether a second start has written arguments that nobody has copied yet.
bool HasFreshArguments(const InstanceBlock& block);

/// The forwarded arguments: units from offset 12 up to offset 2090; each NUL ends an item,
/// two NULs in a row end the list (the item before them is kept even when empty, so an
/// empty argument ends the list early and no arguments read as one empty string). An item
/// left unfinished at offset 2090 is dropped.
std::vector<std::wstring> ReadForwardedArguments(const InstanceBlock& block);
