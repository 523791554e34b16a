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
