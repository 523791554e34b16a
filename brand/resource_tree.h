#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "brand/byte_view.h"
#include "brand/pe_image.h"

inline constexpr std::uint16_t kResourceIcon = 3;
inline constexpr std::uint16_t kResourceVersion = 16;
inline constexpr std::uint16_t kResourceGroupIcon = 14;
inline constexpr std::uint16_t kResourceManifest = 24;

/// A resource type, name or language: a string or a 16-bit number.
struct ResourceKey {
    bool named = false;
    std::uint16_t id = 0;
    std::u16string name;

    static ResourceKey Id(std::uint16_t value) { return ResourceKey{false, value, {}}; }
    /// The directory order the loader's search expects: names (case-insensitively) before
    /// numbers, numbers ascending.
    bool operator<(const ResourceKey& other) const;
    bool operator==(const ResourceKey& other) const {
        return named == other.named && id == other.id && name == other.name;
    }
};

struct ResourceData {
    std::vector<std::uint8_t> bytes;
    std::uint32_t code_page = 0;
    bool operator==(const ResourceData&) const = default;
};

using ResourceLanguages = std::map<ResourceKey, ResourceData>;
using ResourceNames = std::map<ResourceKey, ResourceLanguages>;
/// type -> name -> language -> data, the three levels of the resource directory.
using ResourceTree = std::map<ResourceKey, ResourceNames>;

/// Reads the image's resource directory (empty when it has none). Refuses a directory
/// deeper than three levels, one that refers to itself, and entries outside the file.
bool ParseResourceTree(ByteView file, const PeImage& image, ResourceTree* tree, std::string* error);

/// Lays the tree out as a resource section placed at `section_rva`.
std::vector<std::uint8_t> BuildResourceSection(const ResourceTree& tree, std::uint32_t section_rva);
