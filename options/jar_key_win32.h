#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>

#include "options/class_sharing.h"

/// What a jar holds, cheaply: its zip central directory lists every entry with its CRC, so
/// that a jar replaced by one of the same size and time gets another key. Read from the end
/// of the file (`size` bytes long); a file that is not a plain zip is keyed by its last
/// 64 KB instead, an unreadable one is 0.
std::uint64_t JarContentKey(const std::wstring& path, std::uint64_t size);

/// The content keys of an application's jars, kept between starts in a file of the archive
/// folder: opening a file costs far more than asking for its times (a tenth of a millisecond
/// under Wine, 2,000 jars: 300 ms), so a jar whose size, write time and change time are those
/// remembered keeps its key unopened. The change time is set by every write, rename or change
/// of the other times, and no common tool sets it back.
class JarKeys {
  public:
    /// Reads the remembered keys from `file` (none when it is missing or unreadable).
    explicit JarKeys(std::wstring file);
    /// The key of the jar at `path`, `size` bytes long and written at `writeTime`.
    std::uint64_t Key(const std::wstring& path, std::uint64_t size, std::uint64_t writeTime);
    /// Writes the keys used since the file was read, if any was read anew; false on failure.
    bool Save() const;

  private:
    std::wstring file_;
    std::unordered_map<std::wstring, JarKeyRecord> remembered_;
    std::unordered_map<std::wstring, JarKeyRecord> used_;
    bool changed_ = false;
};
