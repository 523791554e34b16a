#include "discovery/selection.h"

#include "discovery_fakes.h"

#include <gtest/gtest.h>

namespace {

RuntimeCandidate Candidate(const wchar_t* version, const wchar_t* home, bool server = false,
                           bool preferred = true) {
    RuntimeCandidate candidate;
    ParseVersion(version, 0, candidate.version);
    candidate.home = home;
    candidate.hasServerVm = server;
    candidate.preferred = preferred;
    return candidate;
}

std::vector<std::wstring> Homes(const std::vector<RuntimeCandidate>& candidates) {
    std::vector<std::wstring> homes;
    for (const RuntimeCandidate& c : candidates) homes.push_back(c.home);
    return homes;
}

RuntimeSearchCriteria Criteria(const wchar_t* source = L"", const wchar_t* provider = L"",
                               const wchar_t* type = L"", const wchar_t* preferred = L"") {
    RuntimeCriteriaKeys keys;
    keys.JvmSource = source;
    keys.VmProvider = provider;
    keys.JvmType = type;
    keys.PreferredVersions = preferred;
    return BuildSearchCriteria(keys);
}

const std::wstring kRoot1 = kRuntimeRegistryRoots[0].path;  // JavaSoft JDK
const std::wstring kRoot3 = kRuntimeRegistryRoots[2].path;  // JavaSoft Java Development Kit
const std::wstring kRoot4 = kRuntimeRegistryRoots[3].path;  // JavaSoft Java Runtime Environment
const std::wstring kRoot5 = kRuntimeRegistryRoots[4].path;  // JRockit JRE
const std::wstring kRoot7 = kRuntimeRegistryRoots[6].path;  // IBM

}  // namespace

TEST(SortCandidates, Rules) {
    struct Case {
        const char* name;
        RuntimeSearchCriteria criteria;
        std::vector<RuntimeCandidate> input;
        std::vector<std::wstring> expected;
    };
    const Case cases[] = {
        {"newest first",
         Criteria(),
         {Candidate(L"1.6", L"a"), Candidate(L"1.8.0_191", L"b"), Candidate(L"1.8", L"c"),
          Candidate(L"11", L"d")},
         {L"d", L"b", L"c", L"a"}},
        {"equal versions keep discovery order",
         Criteria(),
         {Candidate(L"1.8", L"a"), Candidate(L"1.7", L"b"), Candidate(L"1.8", L"c"),
          Candidate(L"1.8", L"d")},
         {L"a", L"c", L"d", L"b"}},
        {"preferred before newer when both kinds are searched",
         Criteria(L"favor_JRE"),
         {Candidate(L"1.8", L"kit", false, false), Candidate(L"1.6", L"jre", false, true)},
         {L"jre", L"kit"}},
        {"preference ignored when one kind is searched",
         Criteria(L"only_JRE", L"favor_jrockit"),
         {Candidate(L"1.6", L"favoured", false, true), Candidate(L"1.8", L"other", false, false)},
         {L"other", L"favoured"}},
        {"favor_server: server VMs first, newest first within each group",
         Criteria(L"", L"", L"favor_server"),
         {Candidate(L"1.8", L"client18"), Candidate(L"1.6", L"server16", true),
          Candidate(L"11", L"client11"), Candidate(L"1.7", L"server17", true)},
         {L"server17", L"server16", L"client11", L"client18"}},
        {"preference outranks the server VM",
         Criteria(L"favor_JDK", L"", L"favor_server"),
         {Candidate(L"1.8", L"jre-server", true, false),
          Candidate(L"1.7", L"jdk-client", false, true)},
         {L"jdk-client", L"jre-server"}},
        {"server flag ignored without favor_server",
         Criteria(L"", L"", L"server"),
         {Candidate(L"1.7", L"server", true), Candidate(L"1.8", L"client")},
         {L"client", L"server"}},
    };
    for (const Case& c : cases) {
        std::vector<RuntimeCandidate> list = c.input;
        SortCandidates(list, c.criteria);
        EXPECT_EQ(Homes(list), c.expected) << c.name;
    }
}

TEST(SelectRuntime, PreferredVersions) {
    struct Case {
        const wchar_t* preferred;
        const wchar_t* expected;
    };
    const Case cases[] = {
        {L"", L"1.8.0.191"},
        {L"1.7;1.8", L"1.7.0.80"},
        {L"1.9", L"1.8.0.191"},
        {L"1.9;1.8.0_100", L"1.8.0.100"},
        {L"1.8.0;1.7", L"1.8.0.191"},
        {L";1.7", L"1.8.0.191"},
        {L"1.7;;1.8", L"1.7.0.80"},
        {L"1.9;;1.7", L"1.8.0.191"},
        {L"garbage;1.7", L"1.8.0.191"},
        {L" 1.7 ", L"1.7.0.80"},
    };
    for (const Case& c : cases) {
        std::vector<RuntimeCandidate> list = {Candidate(L"1.7.0_80", L"C:\\7\\"),
                                              Candidate(L"1.8.0_100", L"C:\\8a\\"),
                                              Candidate(L"1.8.0_191", L"C:\\8b\\")};
        std::optional<RuntimeCandidate> chosen =
            SelectRuntime(list, Criteria(L"", L"", L"", c.preferred));
        ASSERT_TRUE(chosen);
        EXPECT_EQ(DecisionText(chosen->version), c.expected)
            << testing::PrintToString(std::wstring(c.preferred));
    }
    std::vector<RuntimeCandidate> empty;
    EXPECT_FALSE(SelectRuntime(empty, Criteria(L"", L"", L"", L"1.8")));
}

TEST(FindRegisteredRuntime, ConfigurationsOverOneRegistry) {
    // One machine with a runtime of every kind and provider.
    FakeRegistry registry;
    FakeFiles files;
    auto add = [&](const std::wstring& root, const wchar_t* version, const wchar_t* home,
                   std::initializer_list<const wchar_t*> vms) {
        registry.Add(RegistryView::Native, root, version, home);
        files.AddRuntime(std::wstring(home) + L"\\", vms);
    };
    add(kRoot1, L"11", L"C:\\jdk11", {L"server"});
    add(kRoot3, L"1.8", L"C:\\jdk8", {});
    files.AddRuntime(L"C:\\jdk8\\jre\\", {L"client", L"server"});
    add(kRoot4, L"1.6", L"C:\\jre6", {L"client"});
    add(kRoot4, L"1.7", L"C:\\jre7", {L"client", L"server"});
    add(kRoot5, L"1.6", L"C:\\jrockit6", {L"jrockit"});
    add(kRoot7, L"1.5", L"C:\\ibm5", {L"classic"});

    struct Case {
        RuntimeSearchCriteria criteria;
        const wchar_t* expected;  // empty: nothing found
    };
    const Case cases[] = {
        {Criteria(), L"C:\\jdk11\\"},
        {Criteria(L"favor_JRE"), L"C:\\jre7\\"},
        {Criteria(L"favor_JDK"), L"C:\\jdk11\\"},
        {Criteria(L"only_JRE"), L"C:\\jre7\\"},
        {Criteria(L"only_JDK", L"", L"", L"1.8"), L"C:\\jdk8\\jre\\"},
        {Criteria(L"JRE"), L""},
        {Criteria(L"", L"IBM"), L"C:\\ibm5\\"},
        {Criteria(L"only_JDK", L"ibm"), L""},
        {Criteria(L"", L"jrockit"), L"C:\\jrockit6\\"},
        {Criteria(L"", L"jrockit", L"server"), L""},
        {Criteria(L"favor_JRE", L"favor_jrockit"), L"C:\\jrockit6\\"},
        {Criteria(L"", L"any", L"", L"1.5"), L"C:\\ibm5\\"},
        {Criteria(L"", L"favor_ibm", L"", L"1.6"), L"C:\\jre6\\"},
        {Criteria(L"", L"", L"server"), L"C:\\jdk11\\"},
        {Criteria(L"", L"", L"server", L"1.6"), L"C:\\jdk11\\"},
        {Criteria(L"favor_JRE", L"", L"favor_server"), L"C:\\jre7\\"},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        std::optional<std::wstring> found =
            FindRegisteredRuntime(registry, files, RegistryView::Native, cases[i].criteria, L"");
        EXPECT_EQ(found.value_or(L""), cases[i].expected) << "case " << i;
    }
}

TEST(FindRegisteredRuntime, FavorServerOnRoot4RecordsTheClientLibrary) {
    FakeRegistry registry;
    FakeFiles files;
    registry.Add(RegistryView::Native, kRoot4, L"1.8", L"C:\\old");
    files.AddRuntime(L"C:\\old\\", {L"client", L"server"});
    registry.Add(RegistryView::Native, kRoot1, L"1.7", L"C:\\kit");
    files.AddRuntime(L"C:\\kit\\", {L"server"});
    RecordingLog log;
    // Root 4 reports no server VM, so the older kit with a server VM sorts first.
    EXPECT_EQ(FindRegisteredRuntime(registry, files, RegistryView::Native,
                                    Criteria(L"", L"", L"favor_server"), L"", nullptr, &log),
              L"C:\\kit\\");
    std::vector<std::wstring> sorted = log.Lines("sorted");
    ASSERT_EQ(sorted.size(), 2u);
    EXPECT_EQ(sorted[0], L"position=1,version=1.7.0.0,home=C:\\kit\\,server=true,preferred=true");
    EXPECT_EQ(sorted[1], L"position=2,version=1.8.0.0,home=C:\\old\\,server=false,preferred=true");
}

TEST(FindRegisteredRuntime, AlternateViewNeedsAPairProduct) {
    FakeRegistry registry;
    FakeFiles files;
    registry.Add(RegistryView::Alternate, kRoot4, L"1.8", L"C:\\x86");
    files.AddRuntime(L"C:\\x86\\", {L"client"});
    EXPECT_FALSE(FindRegisteredRuntime(registry, files, RegistryView::Alternate, Criteria(), L""));
    EXPECT_TRUE(registry.listed.empty()) << "not even opened";
    EXPECT_EQ(FindRegisteredRuntime(registry, files, RegistryView::Alternate, Criteria(),
                                    L"vmboot32.exe"),
              L"C:\\x86\\");
    EXPECT_FALSE(
        FindRegisteredRuntime(registry, files, RegistryView::Native, Criteria(), L"vmboot32.exe"));
}

namespace {

struct SearchFixture {
    FakeRegistry registry;
    FakeFiles files;
    RuntimeSearchInputs inputs;
    SearchFixture() {
        inputs.launcherFolder = L"C:\\app";
        inputs.jrePath = L"C:\\app\\";
        inputs.privateFolder = L"jre64\\";
        inputs.criteria = Criteria();
    }
    RuntimeSearchResult Search() { return SearchRuntime(inputs, registry, files); }
};

}  // namespace

TEST(SearchRuntime, JrePathComesFirstAndIgnoresBounds) {
    SearchFixture f;
    f.inputs.jrePath = L"D:\\java";
    f.inputs.criteria = Criteria();
    f.inputs.criteria.MinimumVersion.components[0] = 99;
    f.files.AddRuntime(L"D:\\java\\", {L"client"}, false);
    f.files.AddRuntime(L"C:\\app\\jre64\\", {L"client"});
    f.registry.Add(RegistryView::Native, kRoot4, L"1.8", L"C:\\reg");
    f.files.AddRuntime(L"C:\\reg\\", {L"client"});
    RuntimeSearchResult result = f.Search();
    EXPECT_EQ(result.source, RuntimeSource::JrePath);
    EXPECT_EQ(result.library, L"D:\\java\\bin\\client\\jvm.dll");
    EXPECT_TRUE(result.needsMachineCheck);
    EXPECT_FALSE(result.launchPair);
    EXPECT_TRUE(f.registry.listed.empty());
}

TEST(SearchRuntime, PrivateRuntimeNeedsNoMachineCheck) {
    SearchFixture f;
    f.files.AddRuntime(L"C:\\app\\jre64\\", {L"server"});
    RuntimeSearchResult result = f.Search();
    EXPECT_EQ(result.source, RuntimeSource::PrivateRuntime);
    EXPECT_EQ(result.library, L"C:\\app\\jre64\\bin\\server\\jvm.dll");
    EXPECT_TRUE(result.server);
    EXPECT_FALSE(result.needsMachineCheck);
}

TEST(SearchRuntime, MarkerWithoutLibraryFallsThroughToTheRegistry) {
    SearchFixture f;
    f.files.AddRuntime(L"C:\\app\\jre64\\", {L"client"});
    f.files.Add(L"C:\\app\\bin\\java.dll");  // marker in the launcher folder, but no VM
    f.registry.Add(RegistryView::Native, kRoot4, L"1.8", L"C:\\reg");
    f.files.AddRuntime(L"C:\\reg\\", {L"client"});
    RuntimeSearchResult result = f.Search();
    EXPECT_EQ(result.source, RuntimeSource::NativeRegistry);
    EXPECT_EQ(result.folder, L"C:\\reg\\");
}

TEST(SearchRuntime, AlternateViewOnlyWhenNativeFindsNothing) {
    struct Case {
        bool native;
        bool alternate;
        const wchar_t* pairProduct;
        RuntimeSource source;
        bool launchPair;
    };
    const Case cases[] = {
        {true, true, L"pair.exe", RuntimeSource::NativeRegistry, false},
        {false, true, L"pair.exe", RuntimeSource::AlternateRegistry, true},
        {false, true, L"", RuntimeSource::None, false},
        {false, false, L"pair.exe", RuntimeSource::None, false},
    };
    for (const Case& c : cases) {
        SearchFixture f;
        f.inputs.pairProduct = c.pairProduct;
        if (c.native) f.registry.Add(RegistryView::Native, kRoot4, L"1.8", L"C:\\native");
        if (c.alternate) f.registry.Add(RegistryView::Alternate, kRoot4, L"1.8", L"C:\\alt");
        f.files.AddRuntime(L"C:\\native\\", {L"client"});
        f.files.AddRuntime(L"C:\\alt\\", {L"client"});
        RuntimeSearchResult result = f.Search();
        EXPECT_EQ(result.source, c.source) << c.native << c.alternate;
        EXPECT_EQ(result.launchPair, c.launchPair) << c.native << c.alternate;
        EXPECT_EQ(result.library.empty(), c.source == RuntimeSource::None);
        bool alternateOpened = false;
        for (const auto& [view, path] : f.registry.listed) {
            for (const RuntimeRegistryRoot& root : kRuntimeRegistryRoots)
                alternateOpened |= view == RegistryView::Alternate && path == root.path;
        }
        // Without a pair product it is read only for the report, which every search makes.
        EXPECT_EQ(alternateOpened, !c.native) << c.native << c.alternate;
    }
}

TEST(SearchRuntime, RecordsEachStep) {
    SearchFixture f;
    f.inputs.pairProduct = L"pair.exe";
    RecordingLog log;
    SearchRuntime(f.inputs, f.registry, f.files, &log);
    EXPECT_EQ(log.Lines("jre-path"), std::vector<std::wstring>{L"folder=C:\\app\\,accepted=false"});
    EXPECT_EQ(log.Lines("private-runtime"),
              (std::vector<std::wstring>{L"folder=C:\\app\\,marker=missing",
                                         L"folder=C:\\app\\jre64\\,marker=missing"}));
    EXPECT_EQ(log.Lines("registry-root").size(), 14u) << "seven roots in two views";
    EXPECT_EQ(log.Lines("chosen"), std::vector<std::wstring>{L"source=none"});
}

TEST(SearchRuntime, EmptyPathsAreNotProbedAsDriveRoots) {
    SearchFixture f;
    f.inputs.jrePath.clear();
    f.inputs.launcherFolder.clear();
    f.files.AddRuntime(L"\\", {L"client"});
    f.files.AddRuntime(L"\\jre64\\", {L"client"});
    RuntimeSearchResult result = f.Search();
    EXPECT_EQ(result.source, RuntimeSource::None);
    EXPECT_TRUE(f.files.probed.empty());
}

// The folder picked in the dialog is kept only while it still fits; then the application's
// own "JRE Path" and the search take over again, and the report says why.
TEST(SearchRuntime, RememberedFolderOnlyWhileItFits) {
    struct Case {
        const char* name;
        const wchar_t* remembered;
        const wchar_t* minimum;
        bool jrePathConfigured;
        RuntimeSource source;
        const wchar_t* folder;
        const wchar_t* reason;  // of the remembered folder; nullptr: not reported
    };
    const Case cases[] = {
        {"fits", L"D:\\jdk17", L"17", true, RuntimeSource::RememberedJrePath, L"D:\\jdk17\\", L""},
        {"Java 8 where 17 is needed", L"D:\\jdk8", L"17", true, RuntimeSource::JrePath,
         L"C:\\app\\rt\\", L"below-minimum-version"},
        {"a Java 8 kit root, no bound", L"D:\\jdk8", L"", true, RuntimeSource::RememberedJrePath,
         L"D:\\jdk8\\jre\\", L""},
        {"a runtime's bin folder", L"D:\\jdk17\\bin\\", L"17", true,
         RuntimeSource::RememberedJrePath, L"D:\\jdk17\\", L""},
        {"uninstalled", L"D:\\gone", L"", true, RuntimeSource::JrePath, L"C:\\app\\rt\\",
         L"folder-missing"},
        {"no VM library left", L"D:\\empty", L"", true, RuntimeSource::JrePath, L"C:\\app\\rt\\",
         L"no-vm-library"},
        {"no version and a bound", L"D:\\unknown", L"11", true, RuntimeSource::JrePath,
         L"C:\\app\\rt\\", L"version-unknown"},
        {"nothing remembered", L"", L"17", true, RuntimeSource::JrePath, L"C:\\app\\rt\\", nullptr},
        {"no JRE Path either", L"D:\\jdk8", L"17", false, RuntimeSource::NativeRegistry,
         L"C:\\reg\\", L"below-minimum-version"},
    };
    for (const Case& c : cases) {
        SearchFixture f;
        RuntimeCriteriaKeys keys;
        keys.MinimumVersion = c.minimum;
        f.inputs.criteria = BuildSearchCriteria(keys);
        f.inputs.rememberedJrePath = c.remembered;
        f.inputs.jrePathConfigured = c.jrePathConfigured;
        f.inputs.jrePath = c.jrePathConfigured ? L"C:\\app\\rt" : L"C:\\app\\";
        f.files.AddRuntime(L"D:\\jdk17\\", {L"server"});
        f.files.AddRelease(L"D:\\jdk17\\", "JAVA_VERSION=\"17.0.9\"\n");
        f.files.Add(L"D:\\jdk8\\bin\\javac.exe");
        f.files.AddRelease(L"D:\\jdk8\\", "JAVA_VERSION=\"1.8.0_392\"\n");
        f.files.AddRuntime(L"D:\\jdk8\\jre\\", {L"server"});
        f.files.Add(L"D:\\empty\\bin\\java.exe");
        f.files.AddRuntime(L"D:\\unknown\\", {L"server"});
        f.files.AddRuntime(L"C:\\app\\rt\\", {L"client"});
        f.registry.Add(RegistryView::Native, kRoot4, L"21", L"C:\\reg");
        f.files.AddRuntime(L"C:\\reg\\", {L"client"});
        RuntimeSearchResult result = f.Search();
        EXPECT_EQ(result.source, c.source) << c.name;
        EXPECT_EQ(result.folder, c.folder) << c.name;
        const SeenRuntime* remembered = nullptr;
        const SeenRuntime* jrePath = nullptr;
        for (const SeenRuntime& s : result.seen) {
            if (s.origin == kOriginRemembered) remembered = &s;
            if (s.origin == kOriginJrePath) jrePath = &s;
        }
        ASSERT_EQ(remembered != nullptr, c.reason != nullptr) << c.name;
        if (remembered) {
            EXPECT_EQ(remembered->reason, c.reason) << c.name;
            EXPECT_EQ(remembered->chosen, c.source == RuntimeSource::RememberedJrePath) << c.name;
        }
        // "JRE Path" is listed as the chosen runtime when taken; an unset one probes the
        // launcher folder, but names no runtime to report when nothing is there.
        EXPECT_EQ(jrePath != nullptr, c.source == RuntimeSource::JrePath) << c.name;
        if (jrePath) {
            EXPECT_TRUE(jrePath->chosen) << c.name;
            EXPECT_EQ(jrePath->folder, L"C:\\app\\rt\\") << c.name;
        }
        std::size_t chosen = 0;
        for (const SeenRuntime& s : result.seen) chosen += s.chosen;
        EXPECT_EQ(chosen, 1u) << c.name;
    }
}
