#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "brand/byte_view.h"

/// One image of an .ico file, with the directory facts the icon group repeats.
struct IconImage {
    std::uint8_t width = 0;  ///< 0 means 256
    std::uint8_t height = 0;
    std::uint8_t color_count = 0;
    std::uint16_t planes = 0;
    std::uint16_t bit_count = 0;
    std::vector<std::uint8_t> bytes;  ///< the DIB or PNG data, an RT_ICON resource as it is
};

/// Reads every image of an .ico file; false with a message when it is not one or an image
/// lies outside it.
bool ParseIconFile(ByteView file, std::vector<IconImage>* images, std::string* error);

/// An RT_GROUP_ICON resource naming `images` by the RT_ICON ids `ids` (same order).
std::vector<std::uint8_t> BuildIconGroup(const std::vector<IconImage>& images,
                                         const std::vector<std::uint16_t>& ids);

/// The RT_ICON ids an RT_GROUP_ICON resource names; those that fit in the bytes.
std::vector<std::uint16_t> IconGroupIds(ByteView group);
