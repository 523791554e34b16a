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

TEST(ArchiveFile, FormatsAndParsesEveryKindOfFile) {
    using What = ArchiveFile::What;
    const ArchiveFile app{ArchiveFile::Owner::App, What::Archive, L"app-0000abcd", 1, 2, 0xFF};
    struct Case {
        ArchiveFile file;
        const wchar_t* name;
    } cases[] = {
        {app, L"app.app-0000abcd.0000000000000001.0000000000000002.00000000000000ff.jsa"},
        {{ArchiveFile::Owner::Base, What::Archive, L"", 1, 0, 0xFF},
         L"base.0000000000000001.00000000000000ff.jsa"},
        {{ArchiveFile::Owner::Base, What::Temporary, L"", 1, 0, 4242}, L"base.0000000000000001.4242.tmp"},
        {{ArchiveFile::Owner::Base, What::Lock, L"", 1, 0, 0}, L"base.0000000000000001.lock"},
        {{ArchiveFile::Owner::Base, What::Failed, L"", 1, 0, 0}, L"base.0000000000000001.failed"},
        {{ArchiveFile::Owner::App, What::Refused, L"a_b", 1, 2, 0},
         L"app.a_b.0000000000000001.0000000000000002.refused"},
        {{ArchiveFile::Owner::App, What::MappingNote, L"a", 1, 2, 4294967295},
         L"app.a.0000000000000001.0000000000000002.mapping.4294967295"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FormatArchiveFile(c.file), c.name);
        std::optional<ArchiveFile> parsed = ParseArchiveFile(c.name);
        ASSERT_TRUE(parsed) << c.name;
        EXPECT_EQ(FormatArchiveFile(*parsed), c.name);
        EXPECT_EQ(parsed->what, c.file.what) << c.name;
        EXPECT_EQ(parsed->number, c.file.number) << c.name;
        EXPECT_TRUE(SameArchive(*parsed, c.file)) << c.name;
    }
    EXPECT_FALSE(SameArchive(app, ArchiveFile{ArchiveFile::Owner::App, What::Archive, L"app-0000abcd", 1, 3}));
}

TEST(ArchiveFile, RefusesNamesOfOtherShapes) {
    for (const wchar_t* name : {
             L"app.app-0000abcd.0000000000000001.0000000000000002.00000000000000FF.jsa",  // upper case
             L"app.app-0000abcd.0000000000000001.0000000000000002.00000000000000ff.tmp",  // not a pid
             L"app.app-0000abcd.0000000000000001.0000000000000002.0ff.jsa",
             L"app.a b.0000000000000001.0000000000000002.00000000000000ff.jsa",           // stem
             L"app.0000000000000001.0000000000000002.00000000000000ff.jsa",              // no stem
             L"base.0000000000000001.00000000000000ff.jsa.jsa",
             L"base.0000000000000001.04242.tmp",
             L"base.0000000000000001.99999999999.tmp",
             L"base.0000000000000001.mapping.",
             L"base.0000000000000001.locked",
             L"base.0000000000000001",
             L"probe.4242.tmp",
             L"",
         }) {
        EXPECT_FALSE(ParseArchiveFile(name)) << name;
    }
}

TEST(SharingJob, FormatsAndParsesByName) {
    SharingJob job{L"base", L"C:\\jre\\bin\\server\\jvm.dll", L"C:\\L\\Class Data\\", 0xABC,
                   L"C:\\L\\CLASSD~1\\", {L"-Xmx2g", L"-XX:+UseSerialGC", L"-Dx=a=b"}};
    std::optional<SharingJob> parsed = ParseSharingJob(FormatSharingJob(job));
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->mode, job.mode);
    EXPECT_EQ(parsed->vmLibrary, job.vmLibrary);
    EXPECT_EQ(parsed->folder, job.folder);
    EXPECT_EQ(parsed->runtimeKey, job.runtimeKey);
    EXPECT_EQ(parsed->vmFolder, job.vmFolder);
    EXPECT_EQ(parsed->options, job.options);
    // Lines may come in any order; a line missing, twice, unknown or of another version is
    // no job at all.
    const std::wstring text = FormatSharingJob(job);
    const std::wstring header = text.substr(0, text.find(L'\n'));
    EXPECT_TRUE(ParseSharingJob(header + L"\nruntime=0000000000000abc\nmode=vm\nvm=j\nfolder=f\nvmfolder=g"));
    for (const std::wstring& bad : {
             header + L"\nmode=vm\nvm=j\nfolder=f\nvmfolder=g",
             header + L"\nmode=vm\nmode=vm\nvm=j\nfolder=f\nruntime=0000000000000abc\nvmfolder=g",
             header + L"\nmode=vm\nvm=j\nfolder=f\nruntime=0000000000000abc\nvmfolder=g\nextra=1",
             header + L"\nmode=dump\nvm=j\nfolder=f\nruntime=0000000000000abc\nvmfolder=g",
             header + L"\nmode=vm\nvm=j\nfolder=f\nruntime=abc\nvmfolder=g",
             header + L"\nmode=vm\nvm=\nfolder=f\nruntime=0000000000000abc\nvmfolder=g",
             header + L"\nmode=vm\nvm=j\nfolder=f\nruntime=0000000000000abc\nvmfolder=g\nno equals",
             std::wstring(L"vmboot class data job 0\nmode=vm"),
             std::wstring(L"C:\\jre\\bin\\server\\jvm.dll\nC:\\L\\"),
             std::wstring(),
         }) {
        EXPECT_FALSE(ParseSharingJob(bad)) << std::string(bad.begin(), bad.end());
    }
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
        {"--limit-modules=java.base", SharingOptionRole::ForbidsRecording},
        {"--patch-module=java.base=p.jar", SharingOptionRole::ForbidsRecording},
        {"--upgrade-module-path=up", SharingOptionRole::ForbidsRecording},
        {"-Djdk.module.limitmods=java.base", SharingOptionRole::ForbidsRecording},
        {"-Djdk.module.upgrade.path=up", SharingOptionRole::ForbidsRecording},
        {"-Djdk.module.patch.0=java.base=p.jar", SharingOptionRole::ForbidsRecording},
        {"-javaagent:agent.jar", SharingOptionRole::ForbidsRecording},
        {"-agentlib:jdwp=transport=dt_socket", SharingOptionRole::ForbidsRecording},
        {"-agentpath:C:\a.dll", SharingOptionRole::ForbidsRecording},
        {"-Xrunjdwp:transport=dt_socket", SharingOptionRole::ForbidsRecording},
        {"-Djava.system.class.loader=a.Loader", SharingOptionRole::ChangesOutput},
        {"-Djdk.module.main=app", SharingOptionRole::None},
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

namespace {

/// Facts of a 64-bit HotSpot 17 start with a usable folder, a private base and no archive.
SharingFacts Facts() {
    SharingFacts facts;
    facts.runtimeVersion = VersionNumber{{17, 0, 17, 0}, 3};
    facts.privateBase = true;
    facts.vmFolder = "C:\\L\\";
    facts.baseName = "base.jsa";
    facts.appName = "app.jsa";
    facts.temporaryName = "app.1.tmp";
    return facts;
}

}  // namespace

TEST(PlanSharing, DecidesFromTheFacts) {
    using Action = SharingAction;
    using Reason = SharingReason;
    struct Case {
        const char* name;
        void (*change)(SharingFacts&);
        Action action;
        Reason reason;
    } cases[] = {
        {"records", [](SharingFacts&) {}, Action::Record, Reason::None},
        {"maps", [](SharingFacts& f) { f.appArchive = true; }, Action::Map, Reason::None},
        {"off by key", [](SharingFacts& f) { f.enabled = false; }, Action::Off, Reason::Disabled},
        {"no release", [](SharingFacts& f) { f.runtimeVersion.reset(); }, Action::Off,
         Reason::RuntimeVersionUnknown},
        {"Java 11", [](SharingFacts& f) { f.runtimeVersion = VersionNumber{{11, 0, 2, 0}, 3}; },
         Action::Off, Reason::RuntimeTooOld},
        {"OpenJ9", [](SharingFacts& f) { f.hotSpot = false; }, Action::Off, Reason::NotHotSpot},
        {"32-bit", [](SharingFacts& f) { f.pointers64 = false; }, Action::Off, Reason::ThirtyTwoBit},
        {"module limit", [](SharingFacts& f) { f.options = ReviewSharingOptions({"--limit-modules=java.base"}, {}); },
         Action::Off, Reason::OptionForbidsRecording},
        {"agent, even with an archive",
         [](SharingFacts& f) {
             f.appArchive = true;
             f.options = ReviewSharingOptions({}, {"-javaagent:a.jar"});
         },
         Action::Off, Reason::OptionForbidsRecording},
        {"class loader", [](SharingFacts& f) { f.options = ReviewSharingOptions({"-Djava.system.class.loader=L"}, {}); },
         Action::Off, Reason::OptionChangesOutput},
        {"user's -Xshare", [](SharingFacts& f) { f.options = ReviewSharingOptions({"-Xshare:off"}, {}); },
         Action::Off, Reason::ParametersChooseSharing},
        {"environment's -Xshare", [](SharingFacts& f) { f.options = ReviewSharingOptions({}, {"-Xshare:off"}); },
         Action::Off, Reason::EnvironmentChoosesSharing},
        {"class path folder", [](SharingFacts& f) { f.pathProblem = Reason::ClassPathFolder; }, Action::Off,
         Reason::ClassPathFolder},
        {"folder", [](SharingFacts& f) { f.folderProblem = Reason::FolderNotEncodable; }, Action::Off,
         Reason::FolderNotEncodable},
        {"suspect before refused",
         [](SharingFacts& f) {
             f.suspectArchive = true;
             f.refusedRecently = true;
         },
         Action::Off, Reason::SuspectArchive},
        {"refused", [](SharingFacts& f) { f.refusedRecently = true; }, Action::Off, Reason::RefusedRecently},
        {"no room to record", [](SharingFacts& f) { f.roomProblem = Reason::LowSpace; }, Action::Off,
         Reason::LowSpace},
        {"mapping needs no room",
         [](SharingFacts& f) {
             f.appArchive = true;
             f.roomProblem = Reason::LowSpace;
         },
         Action::Map, Reason::None},
        {"no room to dump",
         [](SharingFacts& f) {
             f.privateBase = false;
             f.roomProblem = Reason::FolderNotWritable;
         },
         Action::Off, Reason::FolderNotWritable},
        {"dump", [](SharingFacts& f) { f.privateBase = false; }, Action::Dump, Reason::BaseMadeNow},
        {"dump running",
         [](SharingFacts& f) {
             f.privateBase = false;
             f.dumpRunning = true;
         },
         Action::Dump, Reason::BaseBeingMade},
        {"dump failed",
         [](SharingFacts& f) {
             f.privateBase = false;
             f.dumpRunning = true;
             f.dumpFailedRecently = true;
         },
         Action::Dump, Reason::BaseFailedRecently},
        {"dry run dumps nothing",
         [](SharingFacts& f) {
             f.privateBase = false;
             f.dryRun = true;
         },
         Action::Dump, Reason::BaseMadeByNextStart},
        {"shipped base needs no dump",
         [](SharingFacts& f) {
             f.privateBase = false;
             f.shippedBase = true;
         },
         Action::Record, Reason::None},
    };
    for (const Case& c : cases) {
        SharingFacts facts = Facts();
        c.change(facts);
        SharingPlan plan = PlanSharing(facts);
        EXPECT_EQ(plan.action, c.action) << c.name;
        EXPECT_EQ(plan.reason, c.reason) << c.name;
        EXPECT_NE(std::wstring_view(SharingReasonText(plan.reason)).empty(), c.reason != Reason::None) << c.name;
        if (c.action == Action::Off || c.action == Action::Dump) {
            EXPECT_TRUE(plan.leading.empty() && plan.trailing.empty()) << c.name;
        }
    }
}

TEST(PlanSharing, OptionsNameTheArchives) {
    using Options = std::vector<std::string>;
    SharingFacts facts = Facts();
    SharingPlan plan = PlanSharing(facts);
    EXPECT_EQ(plan.leading, Options{"-Xlog:cds*=off"});
    EXPECT_EQ(plan.trailing, (Options{"-XX:SharedArchiveFile=C:\\L\\base.jsa", "-XX:ArchiveClassesAtExit=C:\\L\\app.1.tmp"}));
    facts.appArchive = true;
    EXPECT_EQ(PlanSharing(facts).trailing,
              (Options{"-XX:SharedArchiveFile=C:\\L\\base.jsa;C:\\L\\app.jsa", "-Xshare:auto"}));
    // On the runtime's own archive the VM finds the base by itself.
    facts.privateBase = false;
    facts.shippedBase = true;
    EXPECT_EQ(PlanSharing(facts).trailing, (Options{"-XX:SharedArchiveFile=C:\\L\\app.jsa", "-Xshare:auto"}));
    facts.appArchive = false;
    EXPECT_EQ(PlanSharing(facts).trailing, Options{"-XX:ArchiveClassesAtExit=C:\\L\\app.1.tmp"});
}

TEST(ReviewSharingOptions, ShapingOptionsAndTheFirstRefusal) {
    SharingOptionsReview review = ReviewSharingOptions(
        {"-Djava.class.path=-Xshare:off.jar", "-Xmx2g", "-Dsun.java.command=a"}, {"-XX:+UseSerialGC"});
    EXPECT_EQ(review.refusal, SharingReason::None);
    EXPECT_EQ(review.shaping, (std::vector<std::string>{"-Xmx2g", "-XX:+UseSerialGC"}));
    review = ReviewSharingOptions({"-Xmx2g", "--patch-module=java.base=p.jar", "-Xshare:off"}, {});
    EXPECT_EQ(review.refusal, SharingReason::OptionForbidsRecording);
    EXPECT_EQ(review.culprit, "--patch-module=java.base=p.jar");
}

TEST(ReviewSharingOptions, DefaultArchiveKeepsItsShapeWithSmallHeaps) {
    struct Case {
        const char* option;
        bool small;
    } cases[] = {
        {"-Xmx256m", true},       {"-Xmx12341874K", true}, {"-Xmx29g", true},
        {"-Xmx30g", false},       {"-Xmx31457280k", false}, {"-XX:MaxHeapSize=1073741824", true},
        {"-Xmx64G", false},       {"-Xmx99999999999999999999", false},
        {"-Xmx", false},          {"-Xmx1gb", false},     {"-Xmx1t", false},
        {"-Xms64m", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(IsSmallHeapSize(c.option), c.small) << c.option;
        if (ClassifySharingOption(c.option) == SharingOptionRole::ShapesArchive) {
            EXPECT_EQ(ReviewSharingOptions({c.option}, {}).defaultShape, c.small) << c.option;
        }
    }
    EXPECT_FALSE(ReviewSharingOptions({"-Xmx1g", "-XX:+UseSerialGC"}, {}).defaultShape);
    EXPECT_FALSE(ReviewSharingOptions({"-Xmx1g"}, {"-XX:-UseCompressedOops"}).defaultShape);
}

TEST(FindZipDirectory, FromTheEndRecord) {
    // A directory of 46 bytes at 100, then the end record with a 3-byte comment.
    std::vector<unsigned char> file(146 + 22 + 3, 0);
    unsigned char* end = file.data() + 146;
    const unsigned char record[] = {0x50, 0x4b, 0x05, 0x06, 0, 0, 0, 0, 1, 0, 1, 0,
                                    46,   0,    0,    0,    100, 0, 0, 0, 3, 0};
    std::copy(std::begin(record), std::end(record), end);
    std::optional<ZipDirectory> found = FindZipDirectory(file.data(), file.size(), file.size());
    ASSERT_TRUE(found);
    EXPECT_EQ(found->offset, 100u);
    EXPECT_EQ(found->size, 46u);
    // Only the tail is read: offsets stay those of the file.
    found = FindZipDirectory(file.data() + 50, file.size() - 50, file.size());
    ASSERT_TRUE(found);
    EXPECT_EQ(found->offset, 100u);
    // A comment length that does not reach the end, a directory past the record, zip64.
    end[20] = 2;
    EXPECT_FALSE(FindZipDirectory(file.data(), file.size(), file.size()));
    end[20] = 3;
    end[12] = 47;
    EXPECT_FALSE(FindZipDirectory(file.data(), file.size(), file.size()));
    std::fill(end + 12, end + 20, 0xFF);
    EXPECT_FALSE(FindZipDirectory(file.data(), file.size(), file.size()));
    EXPECT_FALSE(FindZipDirectory(file.data(), 21, file.size()));
}

TEST(JarKeys, FormatAndParseKeepEveryRecord) {
    std::vector<JarKeyRecord> records = {
        {L"C:\\App\\lib\\a b.jar", 134, 0x1d689c921a68000, 0x1dd8735ecb2d289, 0xFEED},
        {L"\\\\server\\share\\x.jar", 0, 0, 1, 0},
    };
    std::vector<JarKeyRecord> parsed = ParseJarKeys(FormatJarKeys(records));
    ASSERT_EQ(parsed.size(), records.size());
    for (std::size_t i = 0; i < records.size(); ++i) {
        EXPECT_EQ(parsed[i].path, records[i].path);
        EXPECT_EQ(parsed[i].size, records[i].size);
        EXPECT_EQ(parsed[i].writeTime, records[i].writeTime);
        EXPECT_EQ(parsed[i].changeTime, records[i].changeTime);
        EXPECT_EQ(parsed[i].key, records[i].key);
    }
    // A damaged line is a key to read again, not a wrong one; another version is none at all.
    std::wstring text = FormatJarKeys(records);
    text[text.find(L'\n') + 3] = L'x';
    EXPECT_EQ(ParseJarKeys(text).size(), 1u);
    EXPECT_EQ(ParseJarKeys(text + L"\n0000000000000001 short").size(), 1u);
    EXPECT_TRUE(ParseJarKeys(L"vmboot jar keys 0\n" + text.substr(text.find(L'\n') + 1)).empty());
}
