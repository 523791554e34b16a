#include "options/class_sharing.h"

#include <gtest/gtest.h>

#include <string_view>

namespace {

std::uint64_t Checksum(std::string_view text) {
    return ContentChecksum(reinterpret_cast<const unsigned char*>(text.data()), text.size());
}

}  // namespace

// Published XXH64 values: the short-input tail, the 4-byte step and the 32-byte lanes.
TEST(ContentChecksum, MatchesXxh64) {
    EXPECT_EQ(Checksum(""), 0xEF46DB3751D8E999ull);
    EXPECT_EQ(Checksum("a"), 0xD24EC4F1A98C6E5Bull);
    EXPECT_EQ(Checksum("abc"), 0x44BC2CF5AD770999ull);
    EXPECT_EQ(Checksum("Nobody inspects the spammish repetition"), 0xFBCEA83C8A378BF1ull);
}

TEST(SharingKey, ItemBoundariesCount) {
    EXPECT_NE(SharingKey().Add(std::string_view("ab")).Add(std::string_view("c")).Value(),
              SharingKey().Add(std::string_view("a")).Add(std::string_view("bc")).Value());
    // The same entry before and after a change of its size is another key.
    EXPECT_NE(SharingKey().Add(std::wstring_view(L"a.jar")).Add(std::uint64_t{10}).Value(),
              SharingKey().Add(std::wstring_view(L"a.jar")).Add(std::uint64_t{11}).Value());
}

TEST(ArchiveChecksum, OnlyNamesOfThePrefixWithSixteenDigits) {
    const std::wstring prefix = AppArchivePrefix(L"app-0000abcd", 1, 2);
    EXPECT_EQ(prefix, L"app.app-0000abcd.0000000000000001.0000000000000002.");
    EXPECT_EQ(ArchiveChecksum(prefix + L"00000000000000ff.jsa", prefix), 0xFFull);
    EXPECT_FALSE(ArchiveChecksum(prefix + L"00000000000000FF.jsa", prefix));
    EXPECT_FALSE(ArchiveChecksum(prefix + L"00000000000000ff.tmp", prefix));
    EXPECT_FALSE(ArchiveChecksum(prefix + L"0ff.jsa", prefix));
    EXPECT_FALSE(ArchiveChecksum(BaseArchivePrefix(1) + L"00000000000000ff.jsa", prefix));
    EXPECT_EQ(ArchiveChecksum(L"base.0000000000000001.00000000000000ff.jsa", BaseArchivePrefix(1)), 0xFFull);
}

TEST(ArchiveStem, SafeNameAndOneKeyPerInstallation) {
    std::wstring stem = ArchiveStem(L"C:\\Program Files\\My App\\My App.v2.exe");
    EXPECT_EQ(stem.substr(0, 10), L"My_App_v2-");
    EXPECT_EQ(stem.size(), 18u);
    // Windows paths ignore case; another folder is another installation.
    EXPECT_EQ(stem, ArchiveStem(L"c:\\program files\\my app\\My App.v2.exe"));
    EXPECT_NE(stem, ArchiveStem(L"D:\\My App\\My App.v2.exe"));
    // No dot may reach the name: the fields of a name are separated by dots.
    EXPECT_EQ(ArchiveStem(L"C:\\a\\\x65e5.exe").find(L'.'), std::wstring::npos);
}

TEST(ClassifySharingOption, UserSharingAndArchiveShape) {
    struct Case {
        const char* option;
        SharingOptionRole role;
    } cases[] = {
        {"-Xshare:off", SharingOptionRole::TakesOver},
        {"-XX:SharedArchiveFile=C:\\a.jsa", SharingOptionRole::TakesOver},
        {"-XX:ArchiveClassesAtExit=a.jsa", SharingOptionRole::TakesOver},
        {"-XX:-UseCompressedClassPointers", SharingOptionRole::TakesOver},
        {"-Xmx2048m", SharingOptionRole::ShapesArchive},
        {"-XX:-UseCompressedOops", SharingOptionRole::ShapesArchive},
        {"-XX:+UseZGC", SharingOptionRole::ShapesArchive},
        {"-XX:MaxRAMPercentage=80", SharingOptionRole::ShapesArchive},
        {"-Xms64m", SharingOptionRole::None},
        {"-Dsample.mode=demo", SharingOptionRole::None},
    };
    for (const Case& c : cases) EXPECT_EQ(ClassifySharingOption(c.option), c.role) << c.option;
}

TEST(SupportsDynamicArchive, FromJava13) {
    EXPECT_FALSE(SupportsDynamicArchive(VersionNumber{{1, 8, 0, 392}, 4}));
    EXPECT_FALSE(SupportsDynamicArchive(VersionNumber{{11, 0, 22, 0}, 3}));
    EXPECT_TRUE(SupportsDynamicArchive(VersionNumber{{13, 0, 0, 0}, 1}));
    EXPECT_TRUE(SupportsDynamicArchive(VersionNumber{{17, 0, 17, 0}, 3}));
}
