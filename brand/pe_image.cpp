#include "brand/pe_image.h"

#include <algorithm>

namespace {

constexpr std::size_t kSectionHeaderSize = 40;
constexpr std::uint32_t kResourceCharacteristics = 0x40000040;  // initialized data, readable

bool IsPowerOfTwo(std::uint32_t value) { return value != 0 && (value & (value - 1)) == 0; }

bool Fail(std::string* error, std::string message) {
    *error = std::move(message);
    return false;
}

std::uint64_t MemoryEnd(const PeSection& section) {
    return static_cast<std::uint64_t>(section.virtual_address) +
           std::max(section.virtual_size, section.raw_size);
}

constexpr std::size_t kDirectoryDebug = 6;
constexpr std::size_t kDirectoryRelocations = 5;

bool DirectoryInside(ByteView file, const PeImage& image, std::size_t index,
                     const PeSection& section) {
    if (index >= image.directory_count || image.DirectorySize(file, index) == 0) return false;
    const std::uint32_t rva = image.DirectoryRva(file, index);
    return rva >= section.virtual_address && rva < MemoryEnd(section);
}

// A section may move to another address when nothing but the data directory refers to it:
// the base relocations, which name addresses elsewhere and never their own.
bool Movable(ByteView file, const PeImage& image, const PeSection& section) {
    if (image.directory_count <= kDirectoryRelocations ||
        image.DirectoryRva(file, kDirectoryRelocations) != section.virtual_address ||
        image.DirectorySize(file, kDirectoryRelocations) == 0) {
        return false;
    }
    for (std::size_t i = 0; i < image.directory_count; ++i) {
        if (i != kDirectoryRelocations && i != kDirectorySecurity &&
            DirectoryInside(file, image, i, section)) {
            return false;
        }
    }
    return true;
}

// Debug entries name their data by file offset too; data behind the resources would move.
bool DebugDataBefore(ByteView file, const PeImage& image, std::uint64_t offset) {
    if (image.directory_count <= kDirectoryDebug) return true;
    const std::uint32_t size = image.DirectorySize(file, kDirectoryDebug);
    if (size == 0) return true;
    const auto at = image.FileOffset(image.DirectoryRva(file, kDirectoryDebug), size);
    if (!at) return false;
    for (std::size_t entry = 0; entry + 28 <= size; entry += 28) {
        const std::uint32_t pointer = file.U32(*at + entry + 24);
        if (pointer != 0 && pointer >= offset) return false;
    }
    return true;
}

// The resource section is rebuilt where it is, so no stale copy stays behind, when every
// section after it in memory can move with its size: a linker puts only the relocations
// there.
bool PlaceInPlace(ByteView file, const PeImage& image, std::uint32_t resource_rva,
                  std::size_t headers_end, SectionPlacement* placement) {
    if (resource_rva == 0) return false;
    std::optional<std::size_t> found;
    for (std::size_t i = 0; i < image.sections.size(); ++i) {
        if (image.sections[i].virtual_address == resource_rva) found = i;
    }
    if (!found) return false;
    const PeSection& resources = image.sections[*found];
    if (resources.raw_pointer < headers_end || resources.raw_size == 0) return false;
    const std::uint64_t old_end =
        AlignUp(static_cast<std::uint64_t>(resources.raw_pointer) + resources.raw_size,
                image.file_alignment);
    std::vector<std::size_t> moved;
    for (std::size_t i = 0; i < image.sections.size(); ++i) {
        const PeSection& section = image.sections[i];
        if (i == *found) continue;
        // Raw data between the old end and the next boundary would be cut.
        if (section.raw_size != 0 && section.raw_pointer >= resources.raw_pointer &&
            section.raw_pointer < old_end) {
            return false;
        }
        if (section.virtual_address < resource_rva) continue;
        if (!Movable(file, image, section)) return false;
        moved.push_back(i);
    }
    if (!DebugDataBefore(file, image, old_end)) return false;
    placement->append = false;
    placement->replaced_index = *found;
    placement->rva = resources.virtual_address;
    placement->raw_pointer = resources.raw_pointer;
    placement->moved = std::move(moved);
    return true;
}

}  // namespace

std::optional<std::size_t> PeImage::FileOffset(std::uint32_t rva, std::uint32_t length) const {
    for (const PeSection& section : sections) {
        if (rva < section.virtual_address) continue;
        const std::uint64_t inside = rva - section.virtual_address;
        if (inside + length <= section.raw_size) return section.raw_pointer + inside;
    }
    return std::nullopt;
}

bool ParsePeImage(ByteView file, PeImage* image, std::string* error) {
    *image = PeImage{};
    if (!ReadPeHeaders(file, image, error)) return false;
    if (!IsPowerOfTwo(image->section_alignment) || !IsPowerOfTwo(image->file_alignment) ||
        image->file_alignment > image->section_alignment || image->section_alignment > 0x10000000) {
        return Fail(error, "the section or file alignment is not a valid power of two");
    }
    const std::size_t section_count = image->section_count;
    if (section_count == 0 ||
        !file.Has(image->section_table_offset, section_count * kSectionHeaderSize)) {
        return Fail(error, "the section table is missing or lies past the end of the file");
    }
    for (std::size_t i = 0; i < section_count; ++i) {
        const std::size_t at = image->section_table_offset + i * kSectionHeaderSize;
        PeSection section;
        section.header_offset = at;
        for (std::size_t k = 0; k < 8 && file.data[at + k] != 0; ++k) {
            section.name.push_back(static_cast<char>(file.data[at + k]));
        }
        section.virtual_size = file.U32(at + 8);
        section.virtual_address = file.U32(at + 12);
        section.raw_size = file.U32(at + 16);
        section.raw_pointer = file.U32(at + 20);
        if (section.raw_size != 0 && !file.Has(section.raw_pointer, section.raw_size)) {
            return Fail(error, "section \"" + section.name + "\" lies past the end of the file");
        }
        image->sections.push_back(section);
    }
    return true;
}

std::uint32_t ComputePeChecksum(ByteView file, std::size_t checksum_offset) {
    std::uint64_t sum = 0;
    auto byte_at = [&](std::size_t i) -> std::uint32_t {
        if (i >= file.size || (i >= checksum_offset && i < checksum_offset + 4)) return 0;
        return file.data[i];
    };
    for (std::size_t i = 0; i < file.size; i += 2) {
        sum += byte_at(i) | (byte_at(i + 1) << 8);
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<std::uint32_t>(sum + file.size);
}

bool PlaceResourceSection(ByteView file, const PeImage& image, SectionPlacement* placement,
                          std::string* error) {
    if (image.directory_count <= kDirectoryResource) {
        return Fail(error, "the image has no data directory entry for resources");
    }
    const std::uint32_t resource_rva = image.DirectoryRva(file, kDirectoryResource);
    // The headers end with the section table at the least, and within the file at the most.
    const std::size_t headers_end =
        image.section_table_offset + image.sections.size() * kSectionHeaderSize;
    std::uint64_t sections_end = std::max<std::uint64_t>(
        headers_end, std::min<std::uint64_t>(image.size_of_headers, file.size));
    std::uint64_t memory_end = 0;
    for (const PeSection& section : image.sections) {
        if (section.raw_size != 0)
            sections_end = std::max<std::uint64_t>(
                sections_end, static_cast<std::uint64_t>(section.raw_pointer) + section.raw_size);
        memory_end = std::max(memory_end, MemoryEnd(section));
    }
    placement->sections_end = sections_end;
    if (PlaceInPlace(file, image, resource_rva, headers_end, placement)) return true;
    const std::size_t table_end =
        image.section_table_offset + (image.sections.size() + 1) * kSectionHeaderSize;
    bool room = table_end <= image.size_of_headers && table_end <= sections_end;
    for (const PeSection& section : image.sections) {
        if (section.raw_size != 0 && section.raw_pointer < table_end) room = false;
    }
    if (!room) return Fail(error, "no room in the headers for another section");
    const std::uint64_t rva = AlignUp(memory_end, image.section_alignment);
    const std::uint64_t raw = AlignUp(sections_end, image.file_alignment);
    if (rva > 0xF0000000u || raw > 0xF0000000u) return Fail(error, "the image is too large");
    placement->append = true;
    for (std::size_t i = 0; i < image.sections.size(); ++i) {
        const PeSection& section = image.sections[i];
        if (section.name == ".rsrc" && resource_rva >= section.virtual_address &&
            resource_rva < MemoryEnd(section)) {
            placement->stale_index = i;
        }
    }
    placement->rva = static_cast<std::uint32_t>(rva);
    placement->raw_pointer = static_cast<std::uint32_t>(raw);
    return true;
}

bool AssembleImage(ByteView file, const PeImage& image, const SectionPlacement& placement,
                   const std::vector<std::uint8_t>& content, SectionRewrite* out,
                   std::string* error) {
    // The certificate table's "address" is a file offset; it is normally the file's tail.
    std::uint64_t signature_at = 0;
    std::uint64_t signature_end = 0;
    if (image.DirectorySize(file, kDirectorySecurity) != 0) {
        signature_at = image.DirectoryRva(file, kDirectorySecurity);
        signature_end = signature_at + image.DirectorySize(file, kDirectorySecurity);
        if (signature_end > file.size)
            return Fail(error, "the signature lies past the end of the file");
        out->removed_signature = true;
    }
    const std::uint64_t raw_size = AlignUp(content.size(), image.file_alignment);
    if (placement.raw_pointer + raw_size > 0xF0000000u || content.size() > 0xF0000000u) {
        return Fail(error, "the resources are too large");
    }

    std::vector<std::uint8_t>& result = out->file;
    result.assign(file.data, file.data + std::min<std::uint64_t>(placement.raw_pointer,
                                                                 placement.sections_end));
    result.resize(placement.raw_pointer, 0);
    result.insert(result.end(), content.begin(), content.end());
    result.resize(placement.raw_pointer + raw_size, 0);
    const std::uint64_t new_end = result.size();
    // What followed the old resources (the relocations, data after the sections) stays, less
    // the signature, and moves by the change in size.
    std::uint64_t copy_from = placement.sections_end;
    if (!placement.append) {
        const PeSection& old = image.sections[placement.replaced_index];
        copy_from = std::min<std::uint64_t>(
            AlignUp(static_cast<std::uint64_t>(old.raw_pointer) + old.raw_size,
                    image.file_alignment),
            file.size);
    }
    const std::int64_t shift =
        static_cast<std::int64_t>(new_end) - static_cast<std::int64_t>(copy_from);
    for (std::uint64_t i = copy_from; i < file.size; ++i) {
        if (i >= signature_at && i < signature_end) continue;
        result.push_back(file.data[i]);
    }

    std::uint32_t old_raw_size = 0;
    std::size_t header;
    if (placement.append) {
        header = image.section_table_offset + image.sections.size() * kSectionHeaderSize;
        std::fill(result.begin() + static_cast<std::ptrdiff_t>(header),
                  result.begin() + static_cast<std::ptrdiff_t>(header + kSectionHeaderSize), 0);
        const char name[] = ".rsrc";
        std::copy(name, name + 5, result.begin() + static_cast<std::ptrdiff_t>(header));
        Put32(result, header + 12, placement.rva);
        Put32(result, header + 20, placement.raw_pointer);
        Put32(result, header + 36, kResourceCharacteristics);
        Put16(result, image.file_header_offset + 2,
              static_cast<std::uint32_t>(image.sections.size() + 1));
        if (placement.stale_index) {
            const char stale[] = ".oldrsrc";
            std::copy(stale, stale + 8,
                      result.begin() + static_cast<std::ptrdiff_t>(
                                           image.sections[*placement.stale_index].header_offset));
        }
    } else {
        header = image.sections[placement.replaced_index].header_offset;
        old_raw_size = image.sections[placement.replaced_index].raw_size;
    }
    Put32(result, header + 8, static_cast<std::uint32_t>(content.size()));
    Put32(result, header + 16, static_cast<std::uint32_t>(raw_size));

    std::uint64_t memory_end = AlignUp(
        placement.rva + std::max<std::uint64_t>(content.size(), raw_size), image.section_alignment);
    // The sections after the resources in memory start where the new resources end.
    std::int64_t rva_delta = 0;
    if (!placement.moved.empty()) {
        std::uint32_t first = 0xFFFFFFFFu;
        for (std::size_t i : placement.moved)
            first = std::min(first, image.sections[i].virtual_address);
        rva_delta = static_cast<std::int64_t>(memory_end) - first;
    }
    const bool moves_relocations = rva_delta != 0;
    for (std::size_t i = 0; i < image.sections.size(); ++i) {
        if (!placement.append && i == placement.replaced_index) continue;
        PeSection section = image.sections[i];
        if (section.raw_size != 0 && section.raw_pointer >= copy_from) {
            section.raw_pointer = static_cast<std::uint32_t>(section.raw_pointer + shift);
            Put32(result, section.header_offset + 20, section.raw_pointer);
        }
        if (std::find(placement.moved.begin(), placement.moved.end(), i) != placement.moved.end()) {
            section.virtual_address =
                static_cast<std::uint32_t>(section.virtual_address + rva_delta);
            Put32(result, section.header_offset + 12, section.virtual_address);
        }
        memory_end = std::max(memory_end, AlignUp(MemoryEnd(section), image.section_alignment));
    }
    if (memory_end > 0xF0000000u) return Fail(error, "the image is too large");
    if (moves_relocations) {
        const std::size_t at = image.DirectoryOffset(kDirectoryRelocations);
        Put32(result, at, static_cast<std::uint32_t>(file.U32(at) + rva_delta));
    }
    const std::size_t opt = image.optional_header_offset;
    Put32(result, opt + 56, static_cast<std::uint32_t>(memory_end));
    Put32(result, opt + 8, static_cast<std::uint32_t>(file.U32(opt + 8) - old_raw_size + raw_size));
    Put32(result, image.DirectoryOffset(kDirectoryResource), placement.rva);
    Put32(result, image.DirectoryOffset(kDirectoryResource) + 4,
          static_cast<std::uint32_t>(content.size()));
    if (out->removed_signature) {
        Put32(result, image.DirectoryOffset(kDirectorySecurity), 0);
        Put32(result, image.DirectoryOffset(kDirectorySecurity) + 4, 0);
    }
    const std::uint32_t symbols = file.U32(image.file_header_offset + 8);
    if (symbols != 0 && symbols >= copy_from) {
        Put32(result, image.file_header_offset + 8, static_cast<std::uint32_t>(symbols + shift));
    }
    Put32(result, ChecksumOffset(image),
          ComputePeChecksum(ByteView(result), ChecksumOffset(image)));
    return true;
}
