#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

/// Reads the fuzzer's bytes as little-endian UTF-16 units, as the launcher's text arrives
/// from Windows (a trailing odd byte is dropped).
inline std::wstring WideFromBytes(const std::uint8_t* data, std::size_t size) {
    std::wstring text;
    text.reserve(size / 2);
    for (std::size_t i = 0; i + 1 < size; i += 2) {
        text.push_back(static_cast<wchar_t>(data[i] | (data[i + 1] << 8)));
    }
    return text;
}
