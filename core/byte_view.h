#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

/// Read-only little-endian access to a byte range; every read is checked by the caller
/// with Has(), so that damaged offsets are refused before they are followed.
struct ByteView {
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;

    ByteView() = default;
    ByteView(const std::uint8_t* bytes, std::size_t length) : data(bytes), size(length) {}
    explicit ByteView(const std::vector<std::uint8_t>& bytes)
        : data(bytes.data()), size(bytes.size()) {}

    /// True when [offset, offset + length) lies inside the range, without overflow.
    bool Has(std::size_t offset, std::size_t length) const {
        return offset <= size && length <= size - offset;
    }
    std::uint16_t U16(std::size_t offset) const {
        return static_cast<std::uint16_t>(data[offset] | (data[offset + 1] << 8));
    }
    std::uint32_t U32(std::size_t offset) const {
        return static_cast<std::uint32_t>(U16(offset)) |
               (static_cast<std::uint32_t>(U16(offset + 2)) << 16);
    }
    ByteView Sub(std::size_t offset, std::size_t length) const { return {data + offset, length}; }
};
