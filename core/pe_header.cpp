#include "core/pe_header.h"

namespace {

constexpr std::size_t kDosHeaderSize = 64;
constexpr std::size_t kNewHeaderOffsetField = 0x3C;
// NT signature (4 bytes) followed by the file header's Machine field (2 bytes).
constexpr std::size_t kSignatureAndMachineSize = 6;

std::uint16_t ReadUint16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

std::uint32_t ReadUint32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

}  // namespace

std::optional<std::uint16_t> ReadPeMachine(const std::uint8_t* data, std::size_t size) {
    if (!data || size < kDosHeaderSize) return std::nullopt;
    if (data[0] != 'M' || data[1] != 'Z') return std::nullopt;
    // e_lfanew is a signed field; a negative offset is as damaged as one past the end.
    const std::int32_t offset = static_cast<std::int32_t>(ReadUint32(data + kNewHeaderOffsetField));
    if (offset < 0) return std::nullopt;
    const std::size_t start = static_cast<std::size_t>(offset);
    if (start > size || size - start < kSignatureAndMachineSize) return std::nullopt;
    if (ReadUint32(data + start) != 0x00004550u) return std::nullopt;
    return ReadUint16(data + start + 4);
}

MachineFit ClassifyMachine(std::uint16_t machine, bool build64) {
    const std::uint16_t own = build64 ? kMachineAmd64 : kMachineI386;
    const std::uint16_t pair = build64 ? kMachineI386 : kMachineAmd64;
    if (machine == own) return MachineFit::Own;
    if (machine == pair) return MachineFit::Pair;
    return MachineFit::Unsupported;
}
