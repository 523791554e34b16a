#include "brand/icon_file.h"

namespace {

constexpr std::size_t kDirectoryHeader = 6;
constexpr std::size_t kFileEntry = 16;
constexpr std::size_t kGroupEntry = 14;

bool Fail(std::string* error, std::string message) {
    *error = std::move(message);
    return false;
}

}  // namespace

bool ParseIconFile(ByteView file, std::vector<IconImage>* images, std::string* error) {
    images->clear();
    if (!file.Has(0, kDirectoryHeader) || file.U16(0) != 0 || file.U16(2) != 1) {
        return Fail(error, "not an icon file (.ico)");
    }
    const std::size_t count = file.U16(4);
    if (count == 0) return Fail(error, "the icon file holds no images");
    if (!file.Has(kDirectoryHeader, count * kFileEntry)) {
        return Fail(error, "the icon file's directory lies past its end");
    }
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t at = kDirectoryHeader + i * kFileEntry;
        IconImage image;
        image.width = file.data[at];
        image.height = file.data[at + 1];
        image.color_count = file.data[at + 2];
        image.planes = file.U16(at + 4);
        image.bit_count = file.U16(at + 6);
        const std::uint32_t size = file.U32(at + 8);
        const std::uint32_t offset = file.U32(at + 12);
        if (size == 0 || !file.Has(offset, size)) {
            return Fail(error,
                        "icon image " + std::to_string(i + 1) + " lies outside the icon file");
        }
        image.bytes.assign(file.data + offset, file.data + offset + size);
        // Some writers leave the colour depth out of the directory; a bitmap image's own
        // header has it, and the shell picks images by it.
        if (image.bit_count == 0 && size >= 16 && file.U32(offset) == 40) {
            image.planes = 1;
            image.bit_count = file.U16(offset + 14);
        }
        images->push_back(std::move(image));
    }
    return true;
}

std::vector<std::uint8_t> BuildIconGroup(const std::vector<IconImage>& images,
                                         const std::vector<std::uint16_t>& ids) {
    std::vector<std::uint8_t> out;
    Append16(out, 0);
    Append16(out, 1);
    Append16(out, static_cast<std::uint32_t>(images.size()));
    for (std::size_t i = 0; i < images.size(); ++i) {
        const IconImage& image = images[i];
        out.push_back(image.width);
        out.push_back(image.height);
        out.push_back(image.color_count);
        out.push_back(0);
        Append16(out, image.planes);
        Append16(out, image.bit_count);
        Append32(out, static_cast<std::uint32_t>(image.bytes.size()));
        Append16(out, ids[i]);
    }
    return out;
}

std::vector<std::uint16_t> IconGroupIds(ByteView group) {
    std::vector<std::uint16_t> ids;
    if (!group.Has(0, kDirectoryHeader)) return ids;
    const std::size_t count = group.U16(4);
    for (std::size_t i = 0; i < count && group.Has(kDirectoryHeader + i * kGroupEntry, kGroupEntry);
         ++i) {
        ids.push_back(group.U16(kDirectoryHeader + i * kGroupEntry + 12));
    }
    return ids;
}
