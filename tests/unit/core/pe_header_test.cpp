#include "core/pe_header.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// A minimal image: DOS header with e_lfanew, then "PE\0\0" and the Machine field.
std::vector<std::uint8_t> Image(std::uint32_t ntOffset, std::uint16_t machine,
                                std::size_t size = 0) {
    std::vector<std::uint8_t> bytes(std::max<std::size_t>(size, ntOffset + 24), 0);
    bytes[0] = 'M';
    bytes[1] = 'Z';
    for (int i = 0; i < 4; ++i) bytes[0x3C + i] = static_cast<std::uint8_t>(ntOffset >> (8 * i));
    bytes[ntOffset] = 'P';
    bytes[ntOffset + 1] = 'E';
    bytes[ntOffset + 4] = static_cast<std::uint8_t>(machine);
    bytes[ntOffset + 5] = static_cast<std::uint8_t>(machine >> 8);
    return bytes;
}

std::optional<std::uint16_t> Read(const std::vector<std::uint8_t>& bytes) {
    return ReadPeMachine(bytes.data(), bytes.size());
}

void Put16(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t value) {
    bytes[at] = static_cast<std::uint8_t>(value);
    bytes[at + 1] = static_cast<std::uint8_t>(value >> 8);
}

void Put32(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t value) {
    Put16(bytes, at, value & 0xFFFF);
    Put16(bytes, at + 2, value >> 16);
}

constexpr std::size_t kNt = 0x80;
constexpr std::size_t kOptional = kNt + 4 + 20;

// The headers of a console image with `directories` data directory entries, the import
// directory (index 1) at 0x2000, size 0x28.
std::vector<std::uint8_t> Headers(bool plus, std::uint32_t directories = 16) {
    const std::size_t directoriesAt = plus ? 112 : 96;
    const std::size_t optionalSize = directoriesAt + 8 * directories;
    std::vector<std::uint8_t> bytes = Image(kNt, plus ? kMachineAmd64 : kMachineI386,
                                            kOptional + optionalSize);
    Put16(bytes, kNt + 4 + 2, 3);  // sections
    Put16(bytes, kNt + 4 + 16, static_cast<std::uint32_t>(optionalSize));
    Put16(bytes, kOptional, plus ? 0x20B : 0x10B);
    Put32(bytes, kOptional + 32, 0x1000);
    Put32(bytes, kOptional + 36, 0x200);
    Put32(bytes, kOptional + 60, 0x400);
    Put16(bytes, kOptional + 68, 3);
    Put32(bytes, kOptional + directoriesAt - 4, directories);
    if (directories > 1) {
        Put32(bytes, kOptional + directoriesAt + 8, 0x2000);
        Put32(bytes, kOptional + directoriesAt + 12, 0x28);
    }
    return bytes;
}

}  // namespace

TEST(ReadPeMachine, ValidImages) {
    EXPECT_EQ(Read(Image(0x80, kMachineI386)), kMachineI386);
    EXPECT_EQ(Read(Image(0xF8, kMachineAmd64)), kMachineAmd64);
    EXPECT_EQ(Read(Image(0x40, kMachineArm64)), kMachineArm64);
    // Headers that end exactly at the end of the data are still read.
    std::vector<std::uint8_t> tight = Image(0x80, kMachineAmd64);
    tight.resize(0x80 + 6);
    EXPECT_EQ(Read(tight), kMachineAmd64);
}

TEST(ReadPeMachine, DamagedImagesAreNotImages) {
    struct Case {
        const char* name;
        std::vector<std::uint8_t> bytes;
    };
    std::vector<Case> cases;
    cases.push_back({"empty", {}});
    cases.push_back({"only MZ", {'M', 'Z'}});
    {
        auto b = Image(0x80, kMachineI386);
        b.resize(0x3F);
        cases.push_back({"truncated DOS header", b});
    }
    {
        auto b = Image(0x80, kMachineI386);
        b.resize(0x80 + 5);
        cases.push_back({"machine cut off", b});
    }
    {
        auto b = Image(0x80, kMachineI386);
        b.resize(0x80);
        cases.push_back({"ends at the NT offset", b});
    }
    {
        auto b = Image(0x80, kMachineI386, 0x200);
        b[0x3C] = 0x00;
        b[0x3D] = 0x10;  // e_lfanew 0x1000, beyond the data
        cases.push_back({"offset past the end", b});
    }
    {
        auto b = Image(0x80, kMachineI386, 0x200);
        b[0x3C] = b[0x3D] = b[0x3E] = b[0x3F] = 0xFF;  // -1
        cases.push_back({"negative offset", b});
    }
    {
        auto b = Image(0x80, kMachineI386, 0x200);
        b[0x3C] = 0xFE;
        b[0x3D] = b[0x3E] = b[0x3F] = 0xFF;  // 0xFFFFFFFE
        cases.push_back({"offset near the top of the address space", b});
    }
    {
        auto b = Image(0x80, kMachineI386);
        b[1] = 'X';
        cases.push_back({"no MZ", b});
    }
    {
        auto b = Image(0x80, kMachineI386);
        b[0x80 + 2] = 'X';
        cases.push_back({"NE-style signature", b});
    }
    cases.push_back({"garbage", std::vector<std::uint8_t>(4096, 0xA5)});
    for (const Case& c : cases) EXPECT_FALSE(Read(c.bytes)) << c.name;
    EXPECT_FALSE(ReadPeMachine(nullptr, 0));
}

TEST(ClassifyMachine, OnlyX86AndX64GoToThePairProduct) {
    struct Case {
        std::uint16_t machine;
        MachineFit on64;
        MachineFit on32;
    };
    const Case cases[] = {
        {kMachineAmd64, MachineFit::Own, MachineFit::Pair},
        {kMachineI386, MachineFit::Pair, MachineFit::Own},
        // No build hosts these, and the pair product could not either.
        {kMachineArm64, MachineFit::Unsupported, MachineFit::Unsupported},
        {0x01C4 /* ARMNT */, MachineFit::Unsupported, MachineFit::Unsupported},
        {0, MachineFit::Unsupported, MachineFit::Unsupported},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ClassifyMachine(c.machine, true), c.on64) << c.machine;
        EXPECT_EQ(ClassifyMachine(c.machine, false), c.on32) << c.machine;
    }
}

TEST(ReadPeHeaders, Pe32AndPe32Plus) {
    for (bool plus : {false, true}) {
        const std::vector<std::uint8_t> bytes = Headers(plus);
        const ByteView image(bytes);
        PeHeaders headers;
        std::string error;
        ASSERT_TRUE(ReadPeHeaders(image, &headers, &error)) << error;
        EXPECT_EQ(headers.pe32_plus, plus);
        EXPECT_EQ(headers.machine, plus ? kMachineAmd64 : kMachineI386);
        EXPECT_EQ(headers.subsystem, 3);
        EXPECT_EQ(headers.file_header_offset, kNt + 4);
        EXPECT_EQ(headers.optional_header_offset, kOptional);
        EXPECT_EQ(headers.section_count, 3u);
        EXPECT_EQ(headers.section_table_offset, bytes.size());
        EXPECT_EQ(headers.section_alignment, 0x1000u);
        EXPECT_EQ(headers.file_alignment, 0x200u);
        EXPECT_EQ(headers.size_of_headers, 0x400u);
        EXPECT_EQ(headers.directory_count, 16u);
        EXPECT_EQ(headers.DirectoryRva(image, kDirectoryImport), 0x2000u);
        EXPECT_EQ(headers.DirectorySize(image, kDirectoryImport), 0x28u);
        EXPECT_EQ(headers.DirectoryRva(image, kDirectoryResource), 0u);
    }
}

TEST(ReadPeHeaders, DirectoriesBeyondTheCountReadAsAbsent) {
    // The count the header declares, and no more than its optional header holds.
    std::vector<std::uint8_t> bytes = Headers(true);
    Put32(bytes, kOptional + 108, 1);
    PeHeaders headers;
    std::string error;
    ASSERT_TRUE(ReadPeHeaders(ByteView(bytes), &headers, &error)) << error;
    EXPECT_EQ(headers.directory_count, 1u);
    EXPECT_EQ(headers.DirectoryRva(ByteView(bytes), kDirectoryImport), 0u);

    bytes = Headers(true, 2);
    Put32(bytes, kOptional + 108, 40);
    ASSERT_TRUE(ReadPeHeaders(ByteView(bytes), &headers, &error)) << error;
    EXPECT_EQ(headers.directory_count, 2u);
    EXPECT_EQ(headers.DirectoryRva(ByteView(bytes), kDirectoryImport), 0x2000u);
}

TEST(ReadPeHeaders, DamagedHeadersAreNamed) {
    struct Case {
        const char* name;
        std::vector<std::uint8_t> bytes;
        const char* error;
    };
    std::vector<Case> cases;
    {
        auto b = Headers(true);
        b[0] = 'X';
        cases.push_back({"no MZ", b, "not a Windows executable (no MZ header)"});
    }
    {
        // Enough for the Machine field, not for the whole file header.
        auto b = Image(kNt, kMachineAmd64);
        b.resize(kNt + 23);
        cases.push_back({"file header cut off", b, "not a Windows executable (no PE header)"});
    }
    {
        auto b = Headers(false);
        b.resize(b.size() - 1);
        cases.push_back({"optional header cut off", b,
                         "the optional header lies past the end of the file"});
    }
    {
        auto b = Headers(false);
        Put16(b, kNt + 4 + 16, 1);
        cases.push_back({"optional header of one byte", b,
                         "the optional header lies past the end of the file"});
    }
    {
        auto b = Headers(true);
        Put16(b, kOptional, 0x107);
        cases.push_back({"ROM image", b, "unknown optional header kind (neither PE32 nor PE32+)"});
    }
    {
        // A PE32+ header with the size of a PE32 one ends before its directories.
        auto b = Headers(true, 0);
        Put16(b, kNt + 4 + 16, 100);
        cases.push_back({"no room for the directory count", b, "the optional header is too short"});
    }
    for (const Case& c : cases) {
        PeHeaders headers;
        std::string error;
        EXPECT_FALSE(ReadPeHeaders(ByteView(c.bytes), &headers, &error)) << c.name;
        EXPECT_EQ(error, c.error) << c.name;
    }
    PeHeaders headers;
    EXPECT_FALSE(ReadPeHeaders(ByteView(), &headers, nullptr));
}
