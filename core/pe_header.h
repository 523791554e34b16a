#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "core/byte_view.h"

// The headers of a PE image, read from its bytes: a file on disk (a VM library, a launcher
// to brand) or a module the loader mapped. Every read is bounded by the bytes given.

inline constexpr std::uint16_t kMachineI386 = 0x014C;
inline constexpr std::uint16_t kMachineAmd64 = 0x8664;
inline constexpr std::uint16_t kMachineArm64 = 0xAA64;

inline constexpr std::size_t kDirectoryImport = 1;
inline constexpr std::size_t kDirectoryResource = 2;
inline constexpr std::size_t kDirectorySecurity = 4;

/// The Machine field of a PE image's file header, read from the whole file's bytes: the
/// "MZ" signature, the NT headers' offset (e_lfanew) inside the data, and the "PE\0\0"
/// signature there. Nothing when the bytes are not such an image; never reads past `size`.
std::optional<std::uint16_t> ReadPeMachine(const std::uint8_t* data, std::size_t size);

/// The file header and the optional header of a PE32 or PE32+ image, up to its data
/// directories; the section table is left to the caller.
struct PeHeaders {
    bool pe32_plus = false;
    std::uint16_t machine = 0;
    std::uint16_t subsystem = 0;
    std::size_t file_header_offset = 0;  ///< the COFF file header, after "PE\0\0"
    std::size_t optional_header_offset = 0;
    std::size_t section_count = 0;
    std::size_t section_table_offset = 0;  ///< right after the optional header
    std::uint32_t section_alignment = 0;
    std::uint32_t file_alignment = 0;
    std::uint32_t size_of_headers = 0;
    std::uint32_t directory_count = 0;  ///< entries the optional header holds, at most 16

    std::size_t DirectoryOffset(std::size_t index) const;
    /// The entry's address (a file offset for the security directory), 0 when the header
    /// holds no such entry.
    std::uint32_t DirectoryRva(ByteView image, std::size_t index) const;
    std::uint32_t DirectorySize(ByteView image, std::size_t index) const;
};

/// Reads the headers; false with a message naming what is damaged (in `error` unless null).
bool ReadPeHeaders(ByteView image, PeHeaders* headers, std::string* error);

/// How a VM library's processor fits the running build.
enum class MachineFit {
    Own,          ///< loads in this process
    Pair,         ///< x86 for the 64-bit build, x64 for the 32-bit build: the pair product's
    Unsupported,  ///< ARM64 and every other processor: neither build can host it
};
MachineFit ClassifyMachine(std::uint16_t machine, bool build64);
