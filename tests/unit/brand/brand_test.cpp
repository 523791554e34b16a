#include "brand/brand.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>

#include "brand/icon_file.h"
#include "brand/manifest.h"
#include "brand/pe_image.h"
#include "brand/resource_tree.h"
#include "brand/version_info.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes BytesOf(const std::string& text) { return Bytes(text.begin(), text.end()); }

ResourceKey Named(const std::u16string& name) { return ResourceKey{true, 0, name}; }

// A .ico file whose images are 1x1 bitmaps of the given sizes in the directory.
Bytes MakeIcon(const std::vector<std::uint8_t>& sizes) {
    Bytes out;
    Append16(out, 0);
    Append16(out, 1);
    Append16(out, static_cast<std::uint32_t>(sizes.size()));
    std::size_t image_at = 6 + 16 * sizes.size();
    for (std::uint8_t size : sizes) {
        out.insert(out.end(), {size, size, 0, 0});
        Append16(out, 1);
        Append16(out, 32);
        Append32(out, 48);
        Append32(out, static_cast<std::uint32_t>(image_at));
        image_at += 48;
    }
    for (std::uint8_t size : sizes) {
        Append32(out, 40);  // a bitmap header, then pixel and mask bytes marked by the size
        out.resize(out.size() + 44, size);
    }
    return out;
}

const char kManifest[] =
    "<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" manifestVersion=\"1.0\">\n"
    "  <dependency>Common-Controls</dependency>\n"
    "  <trustInfo><security><requestedPrivileges>\n"
    "    <requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\"/>\n"
    "  </requestedPrivileges></security></trustInfo>\n"
    "</assembly>\n";

// The resources of a small launcher: an icon group of two images, a version block, a
// manifest, a string table and a named resource.
ResourceTree SampleTree() {
    ResourceTree tree;
    const Bytes icon = MakeIcon({32, 16});
    std::vector<IconImage> images;
    std::string error;
    EXPECT_TRUE(ParseIconFile(ByteView(icon), &images, &error)) << error;
    tree[ResourceKey::Id(kResourceIcon)][ResourceKey::Id(1)][ResourceKey::Id(0)] = {images[0].bytes,
                                                                                    0};
    tree[ResourceKey::Id(kResourceIcon)][ResourceKey::Id(2)][ResourceKey::Id(0)] = {images[1].bytes,
                                                                                    0};
    tree[ResourceKey::Id(kResourceGroupIcon)][ResourceKey::Id(1)][ResourceKey::Id(0)] = {
        BuildIconGroup(images, {1, 2}), 0};
    VersionInfo version;
    version.Set(u"ProductName", u"vmboot");
    version.Set(u"CompanyName", u"vmboot");
    tree[ResourceKey::Id(kResourceVersion)][ResourceKey::Id(1)][ResourceKey::Id(0)] = {
        BuildVersionInfo(version), 0};
    tree[ResourceKey::Id(kResourceManifest)][ResourceKey::Id(1)][ResourceKey::Id(0)] = {
        BytesOf(kManifest), 0};
    tree[ResourceKey::Id(6)][ResourceKey::Id(13)][ResourceKey::Id(0x0809)] = {BytesOf("strings"),
                                                                              0};
    tree[Named(u"JAR")][Named(u"Main")][ResourceKey::Id(0)] = {BytesOf("named resource"), 1252};
    return tree;
}

// An image of either kind as a linker lays it out: code, then resources, then (when asked
// for) the base relocations last.
Bytes MakeImage(bool plus, const ResourceTree& tree, bool relocations = false) {
    const std::size_t optional_size = plus ? 240 : 224;
    const std::size_t opt = 0x58;
    const std::size_t directories = opt + (plus ? 112 : 96);
    const std::size_t count = relocations ? 3 : 2;
    Bytes out(0x600, 0);
    out[0] = 'M';
    out[1] = 'Z';
    Put32(out, 0x3C, 0x40);
    Put32(out, 0x40, 0x00004550);
    Put16(out, 0x44, plus ? 0x8664 : 0x14C);
    Put16(out, 0x46, static_cast<std::uint32_t>(count));
    Put16(out, 0x54, static_cast<std::uint32_t>(optional_size));
    Put16(out, opt, plus ? 0x20B : 0x10B);
    Put32(out, opt + 32, 0x1000);
    Put32(out, opt + 36, 0x200);
    Put32(out, opt + 60, 0x400);
    Put32(out, opt + (plus ? 108 : 92), 16);
    const std::size_t table = opt + optional_size;
    const char* names[] = {".text", ".rsrc", ".reloc"};
    for (std::size_t i = 0; i < count; ++i)
        std::copy(names[i], names[i] + 6, out.begin() + static_cast<long>(table + 40 * i));
    Put32(out, table + 8, 0x10);
    Put32(out, table + 12, 0x1000);
    Put32(out, table + 16, 0x200);
    Put32(out, table + 20, 0x400);
    const Bytes resources = BuildResourceSection(tree, 0x2000);
    const std::uint32_t resources_raw =
        static_cast<std::uint32_t>(AlignUp(resources.size(), 0x200));
    Put32(out, table + 40 + 8, static_cast<std::uint32_t>(resources.size()));
    Put32(out, table + 40 + 12, 0x2000);
    Put32(out, table + 40 + 16, resources_raw);
    Put32(out, table + 40 + 20, 0x600);
    Put32(out, directories + 16, 0x2000);
    Put32(out, directories + 20, static_cast<std::uint32_t>(resources.size()));
    std::uint32_t image_end =
        static_cast<std::uint32_t>(0x2000 + AlignUp(resources.size(), 0x1000));
    out.insert(out.end(), resources.begin(), resources.end());
    PadTo(out, 0x200);
    if (relocations) {
        // One block for the code page: two entries of the image's pointer kind and padding.
        Bytes block;
        Append32(block, 0x1000);
        Append32(block, 12);
        Append16(block, (plus ? 0xA000u : 0x3000u) | 0x8);
        Append16(block, 0);
        Put32(out, table + 80 + 8, static_cast<std::uint32_t>(block.size()));
        Put32(out, table + 80 + 12, image_end);
        Put32(out, table + 80 + 16, 0x200);
        Put32(out, table + 80 + 20, static_cast<std::uint32_t>(out.size()));
        Put32(out, directories + 40, image_end);
        Put32(out, directories + 44, static_cast<std::uint32_t>(block.size()));
        out.insert(out.end(), block.begin(), block.end());
        PadTo(out, 0x200);
        image_end += 0x1000;
    }
    Put32(out, opt + 56, image_end);
    Put32(out, opt + 64, ComputePeChecksum(ByteView(out), opt + 64));
    return out;
}

BrandRequest FullRequest() {
    BrandRequest request;
    request.icon = MakeIcon({48, 32, 16});
    request.strings = {{"ProductName", "Hello Äpp"}, {"CompanyName", ""}, {"Comments", "branded"}};
    request.file_version = "2.3.4.5";
    request.product_version = "2.3";
    request.execution_level = "requireAdministrator";
    return request;
}

struct Reread {
    PeImage image;
    ResourceTree tree;
};

Reread ParseBack(const Bytes& file) {
    Reread back;
    std::string error;
    EXPECT_TRUE(ParsePeImage(ByteView(file), &back.image, &error)) << error;
    EXPECT_TRUE(ParseResourceTree(ByteView(file), back.image, &back.tree, &error)) << error;
    return back;
}

// What a branded image must show, whatever launcher it came from: the new icon group and
// images, the version block, the manifest's level, every other resource as it was, and
// headers a loader accepts.
void ExpectBranded(const Bytes& input, const Bytes& output, const BrandRequest& request) {
    const Reread before = ParseBack(input);
    const Reread after = ParseBack(output);
    std::vector<IconImage> images;
    std::string error;
    ASSERT_TRUE(ParseIconFile(ByteView(request.icon), &images, &error));

    const auto& group =
        after.tree.at(ResourceKey::Id(kResourceGroupIcon)).begin()->second.begin()->second;
    const std::vector<std::uint16_t> ids = IconGroupIds(ByteView(group.bytes));
    ASSERT_EQ(ids.size(), images.size());
    EXPECT_EQ(group.bytes, BuildIconGroup(images, ids));
    const auto& icons = after.tree.at(ResourceKey::Id(kResourceIcon));
    EXPECT_EQ(icons.size(), images.size()) << "the launcher's own images must go";
    for (std::size_t i = 0; i < ids.size(); ++i) {
        EXPECT_EQ(icons.at(ResourceKey::Id(ids[i])).begin()->second.bytes, images[i].bytes);
    }

    const auto& versions = after.tree.at(ResourceKey::Id(kResourceVersion));
    ASSERT_EQ(versions.size(), 1u);
    ASSERT_EQ(versions.begin()->second.size(), 1u);
    VersionInfo version;
    ASSERT_TRUE(ParseVersionInfo(ByteView(versions.begin()->second.begin()->second.bytes), &version,
                                 &error))
        << error;
    const std::map<std::u16string, std::u16string> strings(version.strings.begin(),
                                                           version.strings.end());
    EXPECT_EQ(strings.at(u"ProductName"), u"Hello \u00C4pp");
    EXPECT_EQ(strings.at(u"Comments"), u"branded");
    EXPECT_EQ(strings.count(u"CompanyName"), 0u);
    EXPECT_EQ(version.fixed[2], 0x00020003u);
    EXPECT_EQ(version.fixed[3], 0x00040005u);
    EXPECT_EQ(version.fixed[4], 0x00020003u);
    EXPECT_EQ(version.fixed[5], 0u);

    const auto& manifest =
        after.tree.at(ResourceKey::Id(kResourceManifest)).begin()->second.begin()->second.bytes;
    const std::string text(manifest.begin(), manifest.end());
    EXPECT_NE(text.find("level=\"requireAdministrator\" uiAccess=\"false\""), std::string::npos)
        << text;
    EXPECT_NE(text.find("Common-Controls"), std::string::npos) << text;

    for (const auto& [type, names] : before.tree) {
        if (type == ResourceKey::Id(kResourceIcon) || type == ResourceKey::Id(kResourceGroupIcon) ||
            type == ResourceKey::Id(kResourceVersion) ||
            type == ResourceKey::Id(kResourceManifest)) {
            continue;
        }
        ASSERT_TRUE(after.tree.count(type));
        EXPECT_TRUE(after.tree.at(type) == names) << "resource type " << type.id << " changed";
    }

    const ByteView file(output);
    EXPECT_EQ(after.image.pe32_plus, before.image.pe32_plus);
    EXPECT_EQ(file.U32(ChecksumOffset(after.image)),
              ComputePeChecksum(file, ChecksumOffset(after.image)));
    std::uint64_t memory_end = 0;
    for (const PeSection& section : after.image.sections) {
        memory_end = std::max<std::uint64_t>(
            memory_end,
            AlignUp(section.virtual_address + std::max(section.virtual_size, section.raw_size),
                    after.image.section_alignment));
        EXPECT_EQ(section.raw_pointer % after.image.file_alignment, 0u) << section.name;
    }
    EXPECT_EQ(file.U32(after.image.optional_header_offset + 56), memory_end);
    // One resource section, where the directory says, and no stale copy of the old one.
    const auto resources = std::find_if(after.image.sections.begin(), after.image.sections.end(),
                                        [](const PeSection& s) { return s.name == ".rsrc"; });
    ASSERT_NE(resources, after.image.sections.end());
    EXPECT_EQ(after.image.DirectoryRva(file, kDirectoryResource), resources->virtual_address);
    EXPECT_EQ(std::count_if(after.image.sections.begin(), after.image.sections.end(),
                            [](const PeSection& s) { return s.name == ".oldrsrc"; }),
              0);
    // Sections follow each other in memory without gaps or overlaps, as the loader demands.
    for (std::size_t i = 1; i < after.image.sections.size(); ++i) {
        const PeSection& previous = after.image.sections[i - 1];
        EXPECT_EQ(
            after.image.sections[i].virtual_address,
            AlignUp(previous.virtual_address + std::max(previous.virtual_size, previous.raw_size),
                    after.image.section_alignment))
            << after.image.sections[i].name;
    }
    // The relocations are the same bytes wherever they now lie.
    const std::size_t kRelocations = 5;
    const std::uint32_t relocation_size = before.image.DirectorySize(ByteView(input), kRelocations);
    ASSERT_EQ(after.image.DirectorySize(file, kRelocations), relocation_size);
    if (relocation_size != 0) {
        const auto old_at = before.image.FileOffset(
            before.image.DirectoryRva(ByteView(input), kRelocations), relocation_size);
        const auto new_at =
            after.image.FileOffset(after.image.DirectoryRva(file, kRelocations), relocation_size);
        ASSERT_TRUE(old_at && new_at);
        EXPECT_TRUE(std::equal(input.begin() + static_cast<long>(*old_at),
                               input.begin() + static_cast<long>(*old_at + relocation_size),
                               output.begin() + static_cast<long>(*new_at)));
    }
}

Bytes Brand(const Bytes& input, const BrandRequest& request,
            std::vector<std::string>* warnings = nullptr) {
    BrandOutput output;
    std::string error;
    EXPECT_TRUE(BrandLauncher(ByteView(input), request, &output, &error)) << error;
    if (warnings) *warnings = output.warnings;
    return output.image;
}

}  // namespace

TEST(Brand, RewritesTheLastResourceSectionInPlaceForBothImageKinds) {
    for (bool plus : {false, true}) {
        SCOPED_TRACE(plus ? "PE32+" : "PE32");
        const Bytes input = MakeImage(plus, SampleTree());
        const Bytes output = Brand(input, FullRequest());
        ExpectBranded(input, output, FullRequest());
        EXPECT_EQ(ParseBack(output).image.sections.size(), 2u);
        EXPECT_EQ(
            ParseBack(output).tree.at(Named(u"JAR")).at(Named(u"Main")).begin()->second.code_page,
            1252u);
    }
}

TEST(Brand, KeepsTrailingDataAndRemovesTheSignatureWithAWarning) {
    Bytes input = MakeImage(true, SampleTree());
    const Bytes appended = BytesOf("PK\x05\x06 an appended archive");
    input.insert(input.end(), appended.begin(), appended.end());
    PeImage image;
    std::string error;
    ASSERT_TRUE(ParsePeImage(ByteView(input), &image, &error));
    Put32(input, image.DirectoryOffset(kDirectorySecurity),
          static_cast<std::uint32_t>(input.size()));
    Put32(input, image.DirectoryOffset(kDirectorySecurity) + 4, 16);
    input.resize(input.size() + 16, 0xCE);

    std::vector<std::string> warnings;
    const Bytes output = Brand(input, FullRequest(), &warnings);
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_NE(warnings[0].find("signature was removed"), std::string::npos);
    ASSERT_GT(output.size(), appended.size());
    EXPECT_TRUE(std::equal(appended.begin(), appended.end(),
                           output.end() - static_cast<long>(appended.size())));
    EXPECT_EQ(ParseBack(output).image.DirectorySize(ByteView(output), kDirectorySecurity), 0u);
    EXPECT_EQ(ByteView(output).U32(ChecksumOffset(image)),
              ComputePeChecksum(ByteView(output), ChecksumOffset(image)));
    EXPECT_EQ(Brand(output, FullRequest(), &warnings).size(), output.size());
    EXPECT_TRUE(warnings.empty());
}

// Branding a branded copy must give what branding the launcher gives: no version string of
// the first branding stays, the resources are rebuilt where they were (the relocations after
// them move along), and the file does not grow with each branding.
void ExpectBrandingTwiceIsBrandingOnce(const Bytes& input) {
    BrandRequest first = FullRequest();
    first.strings = {
        {"ProductName", "First"}, {"Comments", "first branding"}, {"CompanyName", "First Ltd"}};
    first.file_version = "9.9";
    first.icon = MakeIcon({16});
    first.execution_level.clear();
    const Bytes once = Brand(input, FullRequest());
    ExpectBranded(input, once, FullRequest());
    const Bytes branded = Brand(input, first);
    const Bytes twice = Brand(branded, FullRequest());
    ExpectBranded(branded, twice, FullRequest());
    EXPECT_TRUE(twice == once) << "sizes " << twice.size() << " and " << once.size();
    EXPECT_EQ(Brand(once, FullRequest()), once);
    const Reread original = ParseBack(input);
    const Reread result = ParseBack(once);
    ASSERT_EQ(result.image.sections.size(), original.image.sections.size());
    for (std::size_t i = 0; i < result.image.sections.size(); ++i)
        EXPECT_EQ(result.image.sections[i].name, original.image.sections[i].name);
}

TEST(Brand, BrandingTwiceIsBrandingOnceWhateverTheResourcesSize) {
    for (bool plus : {false, true}) {
        SCOPED_TRACE(plus ? "PE32+" : "PE32");
        ExpectBrandingTwiceIsBrandingOnce(MakeImage(plus, SampleTree(), true));
        // Resources past a page push the relocations up a page, and back when they shrink.
        ResourceTree large = SampleTree();
        large[ResourceKey::Id(10)][ResourceKey::Id(1)][ResourceKey::Id(0)] = {Bytes(0x2345, 7), 0};
        const Bytes input = MakeImage(plus, large, true);
        const Bytes output = Brand(input, FullRequest());
        ExpectBranded(input, output, FullRequest());
        ExpectBrandingTwiceIsBrandingOnce(input);
        BrandRequest grow = FullRequest();
        grow.icon = MakeIcon({48, 32, 16, 24, 64, 96, 128});
        grow.strings.emplace_back("PrivateBuild", std::string(20000, 'c'));
        const Bytes grown = Brand(input, grow);
        const Reread back = ParseBack(grown);
        EXPECT_GT(back.image.sections[2].virtual_address,
                  ParseBack(input).image.sections[2].virtual_address);
        ExpectBranded(input, grown, grow);
        EXPECT_EQ(Brand(grown, FullRequest()), output);
    }
}

TEST(Brand, TheBuiltLaunchersTakeABrandingTwiceAsOnce) {
    for (const char* name : {"vmboot64.exe", "vmboot32.exe"}) {
        SCOPED_TRACE(name);
        std::ifstream in(std::string(VMBOOT_DIST_DIR) + "/" + name, std::ios::binary);
        if (!in) GTEST_SKIP() << "scripts/build.sh has not built " << name;
        const Bytes input((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const Reread original = ParseBack(input);
        // The linker's checksum is an independent reckoning of the same algorithm.
        EXPECT_EQ(ByteView(input).U32(ChecksumOffset(original.image)),
                  ComputePeChecksum(ByteView(input), ChecksumOffset(original.image)));
        ExpectBrandingTwiceIsBrandingOnce(input);
    }
}

TEST(Brand, DamagedInputGivesAMessage) {
    PeImage image;
    std::string error;
    const Bytes good = MakeImage(false, SampleTree());
    ASSERT_TRUE(ParsePeImage(ByteView(good), &image, &error));
    const std::size_t rsrc_header = image.sections[1].header_offset;
    const std::size_t rsrc = image.sections[1].raw_pointer;
    const struct {
        const char* name;
        std::function<void(Bytes&, BrandRequest&)> damage;
        const char* message;
        BrandFault fault = BrandFault::kLauncher;
    } cases[] = {
        {"no MZ", [](Bytes& b, BrandRequest&) { b[0] = 'X'; }, "no MZ header"},
        {"PE header past the end", [](Bytes& b, BrandRequest&) { Put32(b, 0x3C, 0x7FFFFFF0); },
         "no PE header"},
        {"negative PE offset", [](Bytes& b, BrandRequest&) { Put32(b, 0x3C, 0x80000000); },
         "no PE header"},
        {"unknown optional header", [](Bytes& b, BrandRequest&) { Put16(b, 0x58, 0x107); },
         "neither PE32 nor PE32+"},
        {"alignment not a power of two",
         [](Bytes& b, BrandRequest&) { Put32(b, 0x58 + 36, 0x300); }, "power of two"},
        {"no sections", [](Bytes& b, BrandRequest&) { Put16(b, 0x46, 0); }, "section table"},
        {"section past the end",
         [&](Bytes& b, BrandRequest&) { Put32(b, rsrc_header + 16, 0x10000); }, "past the end"},
        {"directory loop", [&](Bytes& b, BrandRequest&) { Put32(b, rsrc + 20, 0x80000000u); },
         "refers to itself"},
        {"data where a directory belongs",
         [&](Bytes& b, BrandRequest&) { Put32(b, rsrc + 20, 0x10); },
         "where a resource directory belongs"},
        {"entry count past the section",
         [&](Bytes& b, BrandRequest&) { Put16(b, rsrc + 14, 0xFFFF); },
         "outside the resource section"},
        {"data outside the file",
         [&](Bytes& b, BrandRequest&) {
             // Follow the first entry of each level down to a data entry; its RVA is first.
             auto first_child = [&](std::size_t directory) {
                 return ByteView(b).U32(directory + 20) & 0x7FFFFFFFu;
             };
             const std::size_t names = rsrc + first_child(rsrc);
             const std::size_t languages = rsrc + first_child(names);
             Put32(b, rsrc + first_child(languages), 0x7FFF0000);
         },
         "outside the file"},
        {"not an icon", [](Bytes&, BrandRequest& r) { r.icon = BytesOf("GIF89a"); },
         "not a usable .ico file: not an icon file", BrandFault::kIcon},
        {"icon image outside the file",
         [](Bytes&, BrandRequest& r) { Put32(r.icon, 6 + 12, 0xFFFFFFF0); },
         "lies outside the icon file", BrandFault::kIcon},
        {"version number", [](Bytes&, BrandRequest& r) { r.file_version = "1.2.3.70000"; },
         "\"1.2.3.70000\" is not a version number", BrandFault::kRequest},
        {"execution level", [](Bytes&, BrandRequest& r) { r.execution_level = "admin"; },
         "unknown execution level", BrandFault::kRequest},
        {"version strings too long",
         [](Bytes&, BrandRequest& r) {
             r.strings.emplace_back("Comments", std::string(40000, 'x'));
         },
         "the version strings are too long", BrandFault::kRequest},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes input = good;
        BrandRequest request = FullRequest();
        c.damage(input, request);
        BrandOutput output;
        ASSERT_FALSE(BrandLauncher(ByteView(input), request, &output, &error));
        EXPECT_NE(error.find(c.message), std::string::npos) << error;
        EXPECT_EQ(output.fault, c.fault) << error;
    }
}

TEST(Brand, EveryTruncatedImageIsRefused) {
    const Bytes good = MakeImage(true, SampleTree());
    for (std::size_t size = 0; size < good.size(); size += 7) {
        const Bytes cut(good.begin(), good.begin() + static_cast<long>(size));
        BrandOutput output;
        std::string error;
        EXPECT_FALSE(BrandLauncher(ByteView(cut), FullRequest(), &output, &error)) << size;
        EXPECT_FALSE(error.empty()) << size;
    }
}

TEST(Brand, AHeaderWithoutRoomForAnotherSectionIsRefused) {
    // The resources are not last, so a section must be added; the headers end at the table.
    Bytes input = MakeImage(false, SampleTree());
    PeImage image;
    std::string error;
    ASSERT_TRUE(ParsePeImage(ByteView(input), &image, &error));
    Put32(input, image.optional_header_offset + 96 + 16, 0x1000);
    Put32(input, image.optional_header_offset + 60,
          static_cast<std::uint32_t>(image.section_table_offset + 80));
    BrandRequest request = FullRequest();
    request.execution_level.clear();  // the code section holds no manifest
    BrandOutput output;
    EXPECT_FALSE(BrandLauncher(ByteView(input), request, &output, &error));
    EXPECT_NE(error.find("no room in the headers"), std::string::npos) << error;
}

TEST(Brand, AHeaderSizePastTheEndOfTheFileEndsAtTheFile) {
    Bytes input = MakeImage(false, SampleTree());
    PeImage image;
    std::string error;
    ASSERT_TRUE(ParsePeImage(ByteView(input), &image, &error));
    Put32(input, image.optional_header_offset + 96 + 16, 0x1000);  // a section is added
    Put32(input, image.optional_header_offset + 60, 0x7FFFFFF0);
    BrandRequest request = FullRequest();
    request.execution_level.clear();
    const Bytes output = Brand(input, request);
    EXPECT_EQ(ParseBack(output).image.sections.size(), 3u);
    EXPECT_TRUE(std::equal(input.begin() + 0x400, input.end(), output.begin() + 0x400));
}

TEST(PeChecksum, KnownAnswers) {
    // Answers reckoned apart from this code, by the loader's documented algorithm, and
    // checked against files the mingw-w64 linker had stamped.
    Bytes pattern(0x201);
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        pattern[i] = static_cast<std::uint8_t>(i * 151 + 7);
    }
    struct Case {
        Bytes file;
        std::size_t checksum_offset;
        std::uint32_t checksum;
    } cases[] = {
        // Little-endian words; the stored field counts as zero.
        {{0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08}, 4, 0x060C},
        // Carries come back into the low bits; an odd last byte is a word of its own.
        {{0xFF, 0xFF, 0xFF, 0xFF, 0xAA, 0xAA, 0xAA, 0xAA, 0x01}, 4, 0x000A},
        // Odd length, the field where a 64-bit image has it.
        {pattern, 0xD8, 0x477B},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ComputePeChecksum(ByteView(c.file), c.checksum_offset), c.checksum)
            << c.file.size() << " bytes";
    }
}

TEST(IconFile, ReadsEveryImageAndTakesTheDepthFromTheBitmapHeader) {
    Bytes icon = MakeIcon({0, 48});
    Put16(icon, 6 + 16 + 6, 0);   // the second entry's bit count left out
    icon[6 + 32 + 48 + 14] = 24;  // its bitmap header's biBitCount
    icon[6 + 32 + 48 + 15] = 0;
    std::vector<IconImage> images;
    std::string error;
    ASSERT_TRUE(ParseIconFile(ByteView(icon), &images, &error)) << error;
    ASSERT_EQ(images.size(), 2u);
    EXPECT_EQ(images[0].width, 0);
    EXPECT_EQ(images[0].bit_count, 32);
    EXPECT_EQ(images[1].bit_count, 24);
    EXPECT_EQ(images[1].bytes.size(), 48u);
    Put16(icon, 4, 0);
    EXPECT_FALSE(ParseIconFile(ByteView(icon), &images, &error));
    EXPECT_EQ(error, "the icon file holds no images");
}

TEST(VersionInfo, BuildsWhatItReadsBack) {
    VersionInfo info;
    info.language = 0x0809;
    info.Set(u"ProductName", u"Caf\u00E9 \u65E5\u672C");
    info.Set(u"Odd", u"x");  // odd lengths need the padding
    info.Set(u"Empty", u"");
    info.fixed[2] = 0x00010002;
    const Bytes bytes = BuildVersionInfo(info);
    EXPECT_EQ(ByteView(bytes).U16(0), bytes.size());
    VersionInfo back;
    std::string error;
    ASSERT_TRUE(ParseVersionInfo(ByteView(bytes), &back, &error)) << error;
    EXPECT_EQ(back.strings, info.strings);
    EXPECT_EQ(back.fixed, info.fixed);
    EXPECT_EQ(back.language, 0x0809);
    EXPECT_EQ(back.code_page, 1200);

    Bytes damaged = bytes;
    Put16(damaged, 0, static_cast<std::uint32_t>(bytes.size() + 2));
    EXPECT_FALSE(ParseVersionInfo(ByteView(damaged), &back, &error));
    damaged = bytes;
    Put32(damaged, 40, 0);  // the fixed block's signature
    EXPECT_FALSE(ParseVersionInfo(ByteView(damaged), &back, &error));
    EXPECT_EQ(error, "the version resource has no fixed file information");
}

TEST(VersionInfo, VersionNumbers) {
    const struct {
        const char* text;
        bool valid;
        std::uint32_t high, low;
    } cases[] = {
        {"1", true, 0x00010000, 0},
        {"1.2", true, 0x00010002, 0},
        {"1.2.3.4", true, 0x00010002, 0x00030004},
        {"65535.0.0.65535", true, 0xFFFF0000, 0x0000FFFF},
        {"", false, 0, 0},
        {"1.2.3.4.5", false, 0, 0},
        {"1..2", false, 0, 0},
        {"1.2.", false, 0, 0},
        {"65536", false, 0, 0},
        {"v1", false, 0, 0},
        {"1.2-beta", false, 0, 0},
    };
    for (const auto& c : cases) {
        const auto words = ParseVersionNumber(c.text);
        EXPECT_EQ(words.has_value(), c.valid) << c.text;
        if (words) {
            EXPECT_EQ((*words)[0], c.high) << c.text;
            EXPECT_EQ((*words)[1], c.low) << c.text;
        }
    }
}

TEST(Manifest, SetsTheLevelAndKeepsTheRest) {
    const struct {
        const char* manifest;
        const char* expected;  // nullptr: refused
    } cases[] = {
        {"<a><requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\"/></a>",
         "<a><requestedExecutionLevel level=\"highestAvailable\" uiAccess=\"false\"/></a>"},
        {"<a><requestedExecutionLevel uiAccess='false' level = 'asInvoker'/></a>",
         "<a><requestedExecutionLevel uiAccess='false' level = 'highestAvailable'/></a>"},
        {"<a><v3:requestedExecutionLevel level=\"asInvoker\"/></a>",
         "<a><v3:requestedExecutionLevel level=\"highestAvailable\"/></a>"},
        {"<a><requestedExecutionLevel uiAccess=\"false\"/></a>", nullptr},
        {"<assembly>\n</assembly>",
         "<assembly>\n  <trustInfo xmlns=\"urn:schemas-microsoft-com:asm.v3\">\n    <security>\n"
         "      <requestedPrivileges>\n        <requestedExecutionLevel level=\"highestAvailable\" "
         "uiAccess=\"false\"/>\n      </requestedPrivileges>\n    </security>\n  "
         "</trustInfo>\n</assembly>"},
        {"not xml", nullptr},
    };
    for (const auto& c : cases) {
        std::string result;
        std::string error;
        EXPECT_EQ(SetExecutionLevel(c.manifest, "highestAvailable", &result, &error),
                  c.expected != nullptr)
            << c.manifest;
        if (c.expected) {
            EXPECT_EQ(result, c.expected);
        }
    }
}

TEST(BrandArguments, DefaultsFollowTheOutputAndWhatWasGiven) {
    BrandCommand command;
    std::string error;
    ASSERT_TRUE(ParseBrandArguments(
        {"--icon", "app.ico", "--version", "1.2", "in.exe", "out/Hello App.exe"}, &command, &error))
        << error;
    EXPECT_EQ(command.input, "in.exe");
    EXPECT_EQ(command.output, "out/Hello App.exe");
    EXPECT_EQ(command.icon_path, "app.ico");
    EXPECT_EQ(command.request.file_version, "1.2");
    EXPECT_EQ(command.request.product_version, "1.2");
    const std::vector<std::pair<std::string, std::string>> defaults = {
        {"ProductName", "Hello App"},
        {"FileDescription", "Hello App"},
        {"CompanyName", ""},
        {"LegalCopyright", ""},
        {"FileVersion", "1.2"},
        {"ProductVersion", "1.2"},
        {"OriginalFilename", "Hello App.exe"},
        {"InternalName", "Hello App"}};
    EXPECT_EQ(command.request.strings, defaults);

    ASSERT_TRUE(ParseBrandArguments({"--name",
                                     "N",
                                     "--description",
                                     "D",
                                     "--company",
                                     "C",
                                     "--copyright",
                                     "R",
                                     "--product-version",
                                     "9",
                                     "--string",
                                     "Comments=a=b",
                                     "--original-filename",
                                     "o.exe",
                                     "--internal-name",
                                     "i",
                                     "--execution-level",
                                     "requireAdministrator",
                                     "a.exe",
                                     "b.exe"},
                                    &command, &error))
        << error;
    const std::vector<std::pair<std::string, std::string>> given = {
        {"ProductName", "N"},    {"FileDescription", "D"}, {"CompanyName", "C"},
        {"LegalCopyright", "R"}, {"Comments", "a=b"},      {"OriginalFilename", "o.exe"},
        {"InternalName", "i"},   {"ProductVersion", "9"}};
    EXPECT_EQ(command.request.strings, given);
    EXPECT_EQ(command.request.execution_level, "requireAdministrator");
    EXPECT_TRUE(command.request.file_version.empty());
}

TEST(BrandArguments, Errors) {
    const struct {
        std::vector<std::string> arguments;
        const char* message;
    } cases[] = {
        {{"a.exe"}, "name the launcher and the output file"},
        {{"a.exe", "b.exe", "c.exe"}, "name the launcher and the output file"},
        {{"a.exe", "b.exe", "--icon"}, "--icon needs a value"},
        {{"--colour", "red", "a.exe", "b.exe"}, "unknown option --colour"},
        {{"--execution-level", "root", "a.exe", "b.exe"},
         "unknown execution level \"root\" (asInvoker, highestAvailable or requireAdministrator)"},
        {{"--string", "=x", "a.exe", "b.exe"}, "--string needs KEY=VALUE: =x"},
    };
    for (const auto& c : cases) {
        BrandCommand command;
        std::string error;
        EXPECT_FALSE(ParseBrandArguments(c.arguments, &command, &error));
        EXPECT_EQ(error, c.message);
    }
}

TEST(ResourceTree, NamesComeBeforeNumbersWithoutRegardToCase) {
    std::vector<ResourceKey> keys = {ResourceKey::Id(5), Named(u"beta"), ResourceKey::Id(1),
                                     Named(u"ALPHA"), Named(u"Gamma")};
    std::sort(keys.begin(), keys.end());
    const std::vector<ResourceKey> expected = {Named(u"ALPHA"), Named(u"beta"), Named(u"Gamma"),
                                               ResourceKey::Id(1), ResourceKey::Id(5)};
    EXPECT_EQ(keys, expected);
}
