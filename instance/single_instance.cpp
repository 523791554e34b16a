#include "instance/single_instance.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace {

// Where wchar_t is wider than 16 bits (the native test build), a character beyond the
// basic plane takes two units, as it does in the Windows build's strings.
template <typename Sink>
void ForEachUtf16Unit(const std::wstring& text, Sink sink) {
    for (wchar_t ch : text) {
        auto value = static_cast<std::uint32_t>(ch);
        if constexpr (sizeof(wchar_t) > 2) {
            if (value > 0xFFFF && value <= 0x10FFFF) {
                value -= 0x10000;
                sink(static_cast<std::uint16_t>(0xD800 + (value >> 10)));
                sink(static_cast<std::uint16_t>(0xDC00 + (value & 0x3FF)));
                continue;
            }
        }
        sink(static_cast<std::uint16_t>(value));
    }
}

}  // namespace

InstanceNames InstanceNamesFor(std::wstring_view modulePath, std::wstring_view userSid) {
    InstanceNames names;
    names.Instance.assign(userSid);
    names.Instance += L'_';
    std::size_t pathStart = names.Instance.size();
    names.Instance.append(modulePath);
    for (std::size_t i = pathStart; i < names.Instance.size(); ++i) {
        if (names.Instance[i] == L'\\') names.Instance[i] = L'_';
    }
    names.MainStartedEvent = names.Instance + L"_upr_evt";
    names.HandOverLock = names.Instance + L"_handover_lock";
    names.Message = kInstanceMessageName;
    names.HandOverAck = kHandOverAckMessageName;
    return names;
}

SingleInstanceRequest DecideSingleInstance(std::wstring_view applicationType,
                                           std::wstring_view singleInstance) {
    if (applicationType == L"service") return SingleInstanceRequest::ServiceApplication;
    if (singleInstance != L"yes") return SingleInstanceRequest::NotRequested;
    return SingleInstanceRequest::Requested;
}

namespace {
constexpr std::uint16_t kConsumedMark = 0xFFFF;
}  // namespace

void MarkArgumentsConsumed(InstanceBlock& block) {
    std::uint16_t area[kArgumentAreaUnits] = {};
    area[kArgumentAreaUnits - 1] = kConsumedMark;
    std::memcpy(block.Arguments, area, sizeof(block.Arguments));
}

bool HasFreshArguments(const InstanceBlock& block) {
    std::uint16_t last;
    std::memcpy(&last, &block.Arguments[kArgumentAreaUnits - 1], sizeof(last));
    return last == 0;
}

std::vector<std::uint16_t> PackForwardedArguments(const std::vector<std::wstring>& arguments) {
    std::vector<std::uint16_t> stream;
    auto count = static_cast<std::uint32_t>(arguments.size());
    stream.push_back(static_cast<std::uint16_t>(count & 0xFFFF));
    stream.push_back(static_cast<std::uint16_t>(count >> 16));
    for (const auto& argument : arguments) {
        ForEachUtf16Unit(argument, [&](std::uint16_t unit) { stream.push_back(unit); });
        stream.push_back(0);
    }
    return stream;
}

std::size_t ArgumentChunkCount(std::size_t streamUnits) {
    return streamUnits == 0 ? 1 : (streamUnits + kChunkUnits - 1) / kChunkUnits;
}

void WriteArgumentChunk(InstanceBlock& block, const std::vector<std::uint16_t>& stream,
                        std::size_t index) {
    std::array<std::uint16_t, kArgumentAreaUnits> area{};
    std::size_t start = index * kChunkUnits;
    for (std::size_t i = 0; i < kChunkUnits && start + i < stream.size(); ++i)
        area[i] = stream[start + i];
    std::memcpy(block.Arguments, area.data(), sizeof(block.Arguments));
}

void AppendArgumentChunk(const InstanceBlock& block, std::vector<std::uint16_t>& stream) {
    std::uint16_t area[kArgumentAreaUnits];
    std::memcpy(area, block.Arguments, sizeof(area));
    stream.insert(stream.end(), area, area + kChunkUnits);
}

bool ParseForwardedArguments(const std::vector<std::uint16_t>& stream,
                             std::vector<std::wstring>& arguments) {
    arguments.clear();
    if (stream.size() < 2) return false;
    std::uint32_t count = stream[0] | (static_cast<std::uint32_t>(stream[1]) << 16);
    // Every argument takes at least its NUL: a count beyond what the stream can hold is
    // forged, and is refused before anything is reserved for it.
    std::size_t limit = std::min(stream.size(), kMaxArgumentStreamUnits);
    if (count > limit - 2) return false;
    std::size_t position = 2;
    std::wstring current;
    while (arguments.size() < count) {
        if (position >= limit) {
            arguments.clear();
            return false;
        }
        std::uint16_t unit = stream[position++];
        if (unit != 0) {
            current.push_back(static_cast<wchar_t>(unit));
            continue;
        }
        arguments.push_back(std::move(current));
        current.clear();
    }
    return true;
}

ArgumentStreamState AcceptArgumentChunk(const InstanceBlock& block, bool moreFollows,
                                        std::vector<std::uint16_t>& pending,
                                        std::vector<std::wstring>& arguments) {
    AppendArgumentChunk(block, pending);
    if (moreFollows) {
        // A stream that already fills the limit and goes on is longer than the limit.
        return pending.size() < kMaxArgumentStreamUnits ? ArgumentStreamState::NeedsMore
                                                        : ArgumentStreamState::Refused;
    }
    return ParseForwardedArguments(pending, arguments) ? ArgumentStreamState::Complete
                                                       : ArgumentStreamState::Refused;
}
