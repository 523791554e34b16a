#pragma once

#include <cstdint>
#include <string>

/// What a jar holds, cheaply: its zip central directory lists every entry with its CRC, so
/// that a jar replaced by one of the same size and time gets another key. Read from the end
/// of the file (`size` bytes long); a file that is not a plain zip is keyed by its last
/// 64 KB instead, an unreadable one is 0.
std::uint64_t JarContentKey(const std::wstring& path, std::uint64_t size);
