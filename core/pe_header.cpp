#include "core/pe_header.h"

#include <algorithm>

namespace {

constexpr std::size_t kDosHeaderSize = 64;
constexpr std::size_t kNewHeaderOffsetField = 0x3C;
constexpr std::uint32_t kNtSignature = 0x00004550u;  // "PE\0\0"
constexpr std::size_t kFileHeaderSize = 20;
constexpr std::uint16_t kMagicPe32 = 0x10B;
constexpr std::uint16_t kMagicPe32Plus = 0x20B;

// `error` may be null where the reason does not matter.
bool Fail(std::string* error, const char* message) {
    if (error) *error = message;
    return false;
}

// The offset of the NT signature, when the image starts with a DOS header whose e_lfanew
// points inside the data at "PE\0\0" with `needed` bytes from there.
bool FindNtHeaders(ByteView image, std::size_t needed, std::size_t* at, std::string* error) {
    if (!image.Has(0, kDosHeaderSize) || image.data[0] != 'M' || image.data[1] != 'Z') {
        return Fail(error, "not a Windows executable (no MZ header)");
    }
    // e_lfanew is a signed field; a negative offset is as damaged as one past the end.
    const std::int32_t nt = static_cast<std::int32_t>(image.U32(kNewHeaderOffsetField));
    if (nt < 0 || !image.Has(static_cast<std::size_t>(nt), needed) ||
        image.U32(static_cast<std::size_t>(nt)) != kNtSignature) {
        return Fail(error, "not a Windows executable (no PE header)");
    }
    *at = static_cast<std::size_t>(nt);
    return true;
}

}  // namespace

std::optional<std::uint16_t> ReadPeMachine(const std::uint8_t* data, std::size_t size) {
    if (!data) return std::nullopt;
    const ByteView image(data, size);
    std::size_t nt = 0;
    // Only the signature and the Machine field that follows it need to be there.
    if (!FindNtHeaders(image, 6, &nt, nullptr)) return std::nullopt;
    return image.U16(nt + 4);
}

std::size_t PeHeaders::DirectoryOffset(std::size_t index) const {
    return optional_header_offset + (pe32_plus ? 112 : 96) + index * 8;
}

std::uint32_t PeHeaders::DirectoryRva(ByteView image, std::size_t index) const {
    return index < directory_count ? image.U32(DirectoryOffset(index)) : 0;
}

std::uint32_t PeHeaders::DirectorySize(ByteView image, std::size_t index) const {
    return index < directory_count ? image.U32(DirectoryOffset(index) + 4) : 0;
}

bool ReadPeHeaders(ByteView image, PeHeaders* headers, std::string* error) {
    *headers = PeHeaders{};
    std::size_t nt = 0;
    if (!FindNtHeaders(image, 4 + kFileHeaderSize, &nt, error)) return false;
    headers->file_header_offset = nt + 4;
    const std::size_t file_header = headers->file_header_offset;
    headers->machine = image.U16(file_header);
    headers->section_count = image.U16(file_header + 2);
    const std::size_t optional_size = image.U16(file_header + 16);
    headers->optional_header_offset = file_header + kFileHeaderSize;
    const std::size_t opt = headers->optional_header_offset;
    if (!image.Has(opt, optional_size) || optional_size < 2) {
        return Fail(error, "the optional header lies past the end of the file");
    }
    const std::uint16_t magic = image.U16(opt);
    if (magic != kMagicPe32 && magic != kMagicPe32Plus) {
        return Fail(error, "unknown optional header kind (neither PE32 nor PE32+)");
    }
    headers->pe32_plus = magic == kMagicPe32Plus;
    const std::size_t directories_at = headers->pe32_plus ? 112 : 96;
    if (optional_size < directories_at) return Fail(error, "the optional header is too short");
    headers->section_alignment = image.U32(opt + 32);
    headers->file_alignment = image.U32(opt + 36);
    headers->size_of_headers = image.U32(opt + 60);
    headers->subsystem = image.U16(opt + 68);
    const std::uint32_t declared = image.U32(opt + directories_at - 4);
    headers->directory_count = static_cast<std::uint32_t>(
        std::min<std::size_t>({declared, 16, (optional_size - directories_at) / 8}));
    headers->section_table_offset = opt + optional_size;
    return true;
}

MachineFit ClassifyMachine(std::uint16_t machine, bool build64) {
    const std::uint16_t own = build64 ? kMachineAmd64 : kMachineI386;
    const std::uint16_t pair = build64 ? kMachineI386 : kMachineAmd64;
    if (machine == own) return MachineFit::Own;
    if (machine == pair) return MachineFit::Pair;
    return MachineFit::Unsupported;
}
