#include "discovery/runtime_sources.h"

#include "discovery_fakes.h"

#include <gtest/gtest.h>

namespace {

const RuntimeRegistryRoot& Root(int number) { return kRuntimeRegistryRoots[number - 1]; }

RuntimeSearchCriteria Criteria(const wchar_t* source, const wchar_t* provider,
                               const wchar_t* type = L"") {
    RuntimeCriteriaKeys keys;
    keys.JvmSource = source;
    keys.VmProvider = provider;
    keys.JvmType = type;
    return BuildSearchCriteria(keys);
}

}  // namespace

TEST(LocateVmLibrary, ProbeOrderPerMode) {
    struct Case {
        std::initializer_list<const wchar_t*> vms;
        JvmTypeMode mode;
        const wchar_t* expected;  // relative path found, empty for none
        bool server;
    };
    using M = JvmTypeMode;
    const Case cases[] = {
        {{L"client", L"server"}, M::AnyVm, L"bin\\client\\jvm.dll", false},
        {{L"client", L"server"}, M::FavorServer, L"bin\\server\\jvm.dll", true},
        {{L"client", L"server"}, M::ServerOnly, L"bin\\server\\jvm.dll", true},
        {{L"server"}, M::AnyVm, L"bin\\server\\jvm.dll", true},
        {{L"client"}, M::ServerOnly, L"", false},
        {{L"client"}, M::FavorServer, L"bin\\client\\jvm.dll", false},
        {{L"jrockit"}, M::AnyVm, L"bin\\jrockit\\jvm.dll", false},
        {{L"jrockit"}, M::FavorServer, L"bin\\jrockit\\jvm.dll", false},
        {{L"jrockit"}, M::ServerOnly, L"", false},
        {{L"classic", L"hotspot"}, M::AnyVm, L"bin\\classic\\jvm.dll", false},
        {{L"hotspot", L"server"}, M::AnyVm, L"bin\\hotspot\\jvm.dll", false},
        {{L"hotspot", L"jrockit"}, M::FavorServer, L"bin\\hotspot\\jvm.dll", false},
        {{}, M::AnyVm, L"", false},
    };
    for (const Case& c : cases) {
        FakeFiles files;
        files.AddRuntime(L"C:\\rt\\", c.vms);
        VmLibraryLocation found = LocateVmLibrary(files, L"C:\\rt\\", c.mode);
        std::wstring expected = *c.expected ? std::wstring(L"C:\\rt\\") + c.expected : L"";
        EXPECT_EQ(found.path, expected)
            << static_cast<int>(c.mode) << " " << testing::PrintToString(expected);
        EXPECT_EQ(found.server, c.server) << testing::PrintToString(expected);
    }
}

TEST(LocateVmLibrary, ServerOnlyStopsAfterTheServerProbe) {
    FakeFiles files;
    LocateVmLibrary(files, L"D:\\j\\", JvmTypeMode::ServerOnly);
    EXPECT_EQ(files.probed, std::vector<std::wstring>{L"D:\\j\\bin\\server\\jvm.dll"});
    files.probed.clear();
    LocateVmLibrary(files, L"D:\\j\\", JvmTypeMode::FavorServer);
    EXPECT_EQ(files.probed.size(), 6u) << "server first, then the five AnyVm probes";
}

TEST(RegistryRoots, SearchedAndPreferredForEachSourceAndProvider) {
    struct Case {
        const wchar_t* source;
        const wchar_t* provider;
        const char* searched;   // root numbers
        const char* preferred;  // root numbers
    };
    const Case cases[] = {
        {L"", L"", "1234", "1234"},
        {L"favor_JRE", L"", "1234", "24"},
        {L"favor_JDK", L"", "1234", "13"},
        {L"only_JDK", L"", "13", "13"},
        {L"only_JRE", L"", "24", "24"},
        {L"JRE", L"", "", ""},
        {L"", L"jrockit", "56", "56"},
        {L"", L"ibm", "7", "7"},
        {L"only_JDK", L"IBM", "", ""},
        {L"only_JRE", L"ibm", "7", "7"},
        {L"", L"any", "1234567", ""},
        {L"", L"favor_sun", "1234567", "1234"},
        {L"favor_JRE", L"favor_jrockit", "1234567", "5"},
        {L"favor_JDK", L"favor_jrockit", "1234567", "6"},
        {L"only_JRE", L"favor_ibm", "245 7", "7"},
        {L"only_JDK", L"any", "136", ""},
    };
    for (const Case& c : cases) {
        RuntimeSearchCriteria criteria = Criteria(c.source, c.provider);
        std::string searched, preferred;
        for (const RuntimeRegistryRoot& root : kRuntimeRegistryRoots) {
            if (IsRootSearched(root, criteria)) searched += std::to_string(root.number);
            if (IsRootPreferred(root, criteria)) preferred += std::to_string(root.number);
        }
        std::string expectedSearched = c.searched;
        std::erase(expectedSearched, ' ');
        const std::string label = testing::PrintToString(std::wstring(c.source)) + " " +
                                  testing::PrintToString(std::wstring(c.provider));
        EXPECT_EQ(searched, expectedSearched) << label;
        EXPECT_EQ(preferred, c.preferred) << label;
    }
}

TEST(ReadRegisteredRuntime, FolderFromJavaHome) {
    struct Case {
        int root;
        const wchar_t* javaHome;  // nullptr: no value
        JvmTypeMode mode;
        bool ok;
        const wchar_t* folder;
        bool server;
    };
    using M = JvmTypeMode;
    const Case cases[] = {
        {3, L"C:\\jdk", M::AnyVm, true, L"C:\\jdk\\jre\\", false},
        {6, L"C:\\jdk\\", M::AnyVm, true, L"C:\\jdk\\jre\\", false},
        {1, L"C:\\jdk", M::AnyVm, true, L"C:\\jdk\\", false},
        {2, L"C:\\jre\\", M::AnyVm, true, L"C:\\jre\\", false},
        // Root 4 probes FavorServer as AnyVm: the client library wins.
        {4, L"C:\\both", M::FavorServer, true, L"C:\\both\\", false},
        {2, L"C:\\both", M::FavorServer, true, L"C:\\both\\", true},
        {4, L"C:\\both", M::ServerOnly, true, L"C:\\both\\", true},
        {1, nullptr, M::AnyVm, false, L"", false},
        {1, L"", M::AnyVm, false, L"", false},
        {1, L"C:\\empty", M::AnyVm, false, L"", false},
        // A kit's own folder is not probed for roots 3 and 6.
        {3, L"C:\\both", M::AnyVm, false, L"", false},
    };
    for (const Case& c : cases) {
        FakeRegistry registry;
        FakeFiles files;
        files.AddRuntime(L"C:\\jdk\\jre\\", {L"client"});
        files.AddRuntime(L"C:\\jdk\\", {L"client"});
        files.AddRuntime(L"C:\\jre\\", {L"client"});
        files.AddRuntime(L"C:\\both\\", {L"client", L"server"});
        registry.Add(RegistryView::Native, Root(c.root).path, L"1.8", c.javaHome);
        RegisteredRuntime runtime;
        runtime.folder = L"stale";
        const std::string label =
            "root " + std::to_string(c.root) + " " +
            testing::PrintToString(std::wstring(c.javaHome ? c.javaHome : L"(none)"));
        EXPECT_EQ(ReadRegisteredRuntime(registry, files, Root(c.root), L"1.8", RegistryView::Native,
                                        c.mode, runtime),
                  c.ok)
            << label;
        EXPECT_EQ(runtime.folder, c.folder) << label;
        EXPECT_EQ(runtime.server, c.server) << label;
    }
}

TEST(ScanRegistryRoot, BoundsAreInclusiveAndDuplicatesStay) {
    FakeRegistry registry;
    FakeFiles files;
    files.AddRuntime(L"C:\\java\\", {L"client"});
    const std::wstring root = Root(4).path;
    for (const wchar_t* name :
         {L"1.8", L"1.8.0_191", L"1.8.0_100", L"1.7", L"1.9", L"CurrentVersion"}) {
        registry.Add(RegistryView::Native, root, name, L"C:\\java");
    }
    RuntimeCriteriaKeys keys;
    keys.MinimumVersion = L"1.8";
    keys.MaximumVersion = L"1.8.0_100";
    RuntimeSearchCriteria criteria = BuildSearchCriteria(keys);
    std::vector<RuntimeCandidate> candidates;
    RecordingLog log;
    ScanRegistryRoot(registry, files, Root(4), RegistryView::Native, criteria, candidates, nullptr,
                     &log);
    std::vector<std::wstring> versions;
    for (const RuntimeCandidate& c : candidates) {
        versions.push_back(DecisionText(c.version));
        EXPECT_EQ(c.home, L"C:\\java\\");
        EXPECT_TRUE(c.preferred);
    }
    EXPECT_EQ(versions, (std::vector<std::wstring>{L"1.8.0.0", L"1.8.0.100"}));
    std::vector<std::wstring> rejected;
    for (const std::wstring& line : log.Lines("candidate")) {
        if (line.find(L"rejected=") != std::wstring::npos) rejected.push_back(line);
    }
    ASSERT_EQ(rejected.size(), 4u);
    EXPECT_NE(rejected[0].find(L"subkey=1.8.0_191"), std::wstring::npos);
    EXPECT_NE(rejected[0].find(L"above Maximum Version"), std::wstring::npos);
    EXPECT_NE(rejected[3].find(L"subkey=CurrentVersion"), std::wstring::npos);
    EXPECT_NE(rejected[3].find(L"below Minimum Version"), std::wstring::npos);
}

TEST(ScanRegistryRoot, NoBoundsKeepsEveryRuntimeInEnumerationOrder) {
    FakeRegistry registry;
    FakeFiles files;
    files.AddRuntime(L"C:\\a\\", {L"server"});
    files.AddRuntime(L"C:\\b\\", {L"client"});
    const std::wstring root = Root(1).path;
    registry.Add(RegistryView::Native, root, L"17", L"C:\\a");
    registry.Add(RegistryView::Native, root, L"11", L"C:\\b");
    registry.Add(RegistryView::Native, root, L"latest", L"C:\\b");
    registry.Add(RegistryView::Alternate, root, L"21", L"C:\\a");
    std::vector<RuntimeCandidate> candidates;
    ScanRegistryRoot(registry, files, Root(1), RegistryView::Native, BuildSearchCriteria({}),
                     candidates);
    ASSERT_EQ(candidates.size(), 3u);
    EXPECT_EQ(DecisionText(candidates[0].version), L"17.0.0.0");
    EXPECT_TRUE(candidates[0].hasServerVm);
    EXPECT_EQ(DecisionText(candidates[1].version), L"11.0.0.0");
    EXPECT_EQ(DecisionText(candidates[2].version), L"0.0.0.0") << "a name without digits";
}

TEST(PrivateRuntime, LauncherFolderWinsOverTheShippedFolder) {
    struct Case {
        bool markerInLauncherFolder;
        bool markerInShippedFolder;
        const wchar_t* expected;
    };
    const Case cases[] = {
        {true, true, L"C:\\app\\"},
        {false, true, L"C:\\app\\jre64\\"},
        {false, false, L""},
    };
    for (const Case& c : cases) {
        FakeFiles files;
        if (c.markerInLauncherFolder) files.Add(L"C:\\app\\bin\\java.dll");
        if (c.markerInShippedFolder) files.Add(L"C:\\app\\jre64\\bin\\java.dll");
        EXPECT_EQ(FindPrivateRuntimeFolder(files, L"C:\\app", L"jre64\\"), c.expected);
    }
}

TEST(JrePathFolder, AddsTheMissingBackslashOnly) {
    EXPECT_EQ(JrePathFolder(L"D:\\java"), L"D:\\java\\");
    EXPECT_EQ(JrePathFolder(L"\\\\server\\java\\"), L"\\\\server\\java\\");
    EXPECT_EQ(JrePathFolder(L"C:\\app\\..\\runtime"), L"C:\\app\\..\\runtime\\");
}
