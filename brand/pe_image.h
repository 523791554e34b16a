#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "brand/byte_view.h"
#include "core/pe_header.h"

struct PeSection {
    std::string name;  ///< up to 8 characters, as stored
    std::uint32_t virtual_size = 0;
    std::uint32_t virtual_address = 0;
    std::uint32_t raw_size = 0;
    std::uint32_t raw_pointer = 0;
    std::size_t header_offset = 0;  ///< where the 40-byte section header sits in the file
};

/// The layout facts of a PE32 or PE32+ image that a rewrite of its resources needs.
struct PeImage : PeHeaders {
    std::vector<PeSection> sections;

    /// The file offset of `length` bytes at `rva`, when one section's raw data holds them all.
    std::optional<std::size_t> FileOffset(std::uint32_t rva, std::uint32_t length) const;
};

/// Reads the headers and the section table; false with a message naming what is damaged.
bool ParsePeImage(ByteView file, PeImage* image, std::string* error);

/// The image checksum as the loader's algorithm computes it: 16-bit one's-complement-style
/// sum of the file with the CheckSum field counted as zero, plus the file length.
std::uint32_t ComputePeChecksum(ByteView file, std::size_t checksum_offset);

/// The offset of the optional header's CheckSum field.
inline std::size_t ChecksumOffset(const PeImage& image) {
    return image.optional_header_offset + 64;
}

struct SectionRewrite {
    std::vector<std::uint8_t> file;
    bool removed_signature = false;
};

/// Writes `image` with a new resource section: in place when every section after the
/// resources in memory is one that may move (the base relocations, which a linker puts
/// last), those sections following the new resources; otherwise appended as a new last
/// section. `build` receives the section's RVA and returns its content (resource data
/// entries hold RVAs). Fixes the section table, SizeOfImage, SizeOfInitializedData, the
/// resource and relocation directory entries and the checksum; drops an Authenticode
/// signature, which the change invalidates. An old resource section left behind by an
/// append is renamed ".oldrsrc". Bytes after the last section (an appended archive, for
/// example) are kept after the sections.
template <typename Build>
bool ReplaceResourceSection(ByteView file, const PeImage& image, Build build, SectionRewrite* out,
                            std::string* error);

// Implementation detail of ReplaceResourceSection, split so the template stays small.
struct SectionPlacement {
    bool append = true;
    std::size_t replaced_index = 0;
    std::uint32_t rva = 0;
    std::uint32_t raw_pointer = 0;
    std::uint64_t sections_end = 0;  ///< end of the last section's raw data in the input
    /// The old resource section, renamed when a new one is appended, so that tools which
    /// find resources by section name read the new ones.
    std::optional<std::size_t> stale_index;
    /// In place: the sections after the resources in memory, which move with their size.
    std::vector<std::size_t> moved;
};
bool PlaceResourceSection(ByteView file, const PeImage& image, SectionPlacement* placement,
                          std::string* error);
bool AssembleImage(ByteView file, const PeImage& image, const SectionPlacement& placement,
                   const std::vector<std::uint8_t>& content, SectionRewrite* out,
                   std::string* error);

template <typename Build>
bool ReplaceResourceSection(ByteView file, const PeImage& image, Build build, SectionRewrite* out,
                            std::string* error) {
    SectionPlacement placement;
    if (!PlaceResourceSection(file, image, &placement, error)) return false;
    std::vector<std::uint8_t> content;
    if (!build(placement.rva, &content, error)) return false;
    return AssembleImage(file, image, placement, content, out, error);
}
