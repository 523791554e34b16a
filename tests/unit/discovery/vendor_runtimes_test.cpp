#include "discovery/vendor_runtimes.h"

#include "discovery/selection.h"
#include "discovery_fakes.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

using V = RegistryView;
constexpr std::uint16_t kX64 = 0x8664;
constexpr std::uint16_t kX86 = 0x014C;
constexpr std::uint16_t kArm64 = 0xAA64;

RuntimeSearchCriteria Criteria(const wchar_t* provider = L"", const wchar_t* source = L"",
                               const wchar_t* minimum = L"", const wchar_t* maximum = L"",
                               const wchar_t* vendor = L"", const wchar_t* javaHome = L"") {
    RuntimeCriteriaKeys keys;
    keys.VmProvider = provider;
    keys.JvmSource = source;
    keys.MinimumVersion = minimum;
    keys.MaximumVersion = maximum;
    keys.VendorRuntimes = vendor;
    keys.UseJavaHome = javaHome;
    return BuildSearchCriteria(keys);
}

// An application in C:\app that ships no runtime of its own.
RuntimeSearchInputs AppInputs(const wchar_t* pairProduct, RuntimeSearchCriteria criteria) {
    RuntimeSearchInputs inputs;
    inputs.launcherFolder = L"C:\\app";
    inputs.jrePath = L"C:\\app\\";
    inputs.privateFolder = L"jre64\\";
    inputs.pairProduct = pairProduct;
    inputs.criteria = criteria;
    return inputs;
}

}  // namespace

// One runtime per vendor layout, registered where that vendor's installer puts it.
TEST(ScanVendorRuntimes, EachVendorLayout) {
    struct Case {
        const char* name;
        V view;
        const wchar_t* key;    // the key that holds the folder value
        const wchar_t* value;  // its name
        std::uint16_t machine;
        const char* release;  // nullptr: no release file
        const wchar_t* version;
        const wchar_t* kind;
        bool other;  // the pair product's
        bool inJre = false;  // the VM library is in "jre\", as in every Java 8 kit
    };
    const Case cases[] = {
        {"Temurin kit", V::Native, L"Software\\Eclipse Adoptium\\JDK\\17.0.9.9\\hotspot\\MSI",
         L"Path", kX64, nullptr, L"17.0.9.9", L"JDK", false},
        {"Temurin per user", V::CurrentUser,
         L"Software\\Eclipse Adoptium\\JRE\\21.0.2.13\\hotspot\\MSI", L"Path", kX64, nullptr,
         L"21.0.2.13", L"JRE", false},
        {"Temurin 32-bit, per user", V::CurrentUser,
         L"Software\\Eclipse Adoptium\\JRE\\11.0.22.7\\hotspot\\MSI", L"Path", kX86, nullptr,
         L"11.0.22.7", L"JRE", true},
        // The vendors number Java 8 as 8.0.<update>.<build>; the runtime calls itself 1.8.0_402.
        {"AdoptOpenJDK OpenJ9 in the 32-bit view", V::Alternate,
         L"Software\\AdoptOpenJDK\\JDK\\8.0.402.6\\openj9\\MSI", L"Path", kX86, nullptr,
         L"1.8.0.402", L"JDK", true, true},
        {"Temurin 8 runtime", V::Native, L"Software\\Eclipse Adoptium\\JRE\\8.0.392.8\\hotspot\\MSI",
         L"Path", kX64, nullptr, L"1.8.0.392", L"JRE", false},
        {"Semeru 8 kit, release file", V::Native, L"Software\\Semeru\\JDK\\8.0.392.8\\openj9\\MSI",
         L"Path", kX64, "JAVA_VERSION=\"1.8.0_392\"\n", L"1.8.0.392", L"JDK", false, true},
        {"Eclipse Foundation", V::Native, L"Software\\Eclipse Foundation\\JDK\\11.0.12.7\\hotspot\\MSI",
         L"Path", kX64, nullptr, L"11.0.12.7", L"JDK", false},
        {"Microsoft", V::Native, L"Software\\Microsoft\\JDK\\21.0.2.13\\hotspot\\MSI", L"Path",
         kX64, nullptr, L"21.0.2.13", L"JDK", false},
        {"Semeru", V::Native, L"Software\\Semeru\\JRE\\17.0.9.9\\openj9\\MSI", L"Path", kX64,
         nullptr, L"17.0.9.9", L"JRE", false},
        {"Zulu, version from the release file", V::Native, L"Software\\Azul Systems\\Zulu\\zulu-17",
         L"InstallationPath", kX64, "IMPLEMENTOR=\"Azul Systems, Inc.\"\r\nJAVA_VERSION=\"17.0.9\"\r\n",
         L"17.0.9", L"JDK", false},
        {"Zulu 32-bit runtime", V::Alternate, L"Software\\Azul Systems\\Zulu 32-bit\\zulu-8-jre",
         L"InstallationPath", kX86, "JAVA_VERSION=\"1.8.0_402\"\n", L"1.8.0.402", L"JRE", true},
        {"Liberica kit", V::Native, L"Software\\BellSoft\\Liberica\\jdk-21", L"InstallationPath",
         kX64, "JAVA_VERSION=\"21.0.2\"\n", L"21.0.2", L"JDK", false},
        {"Liberica runtime", V::Native, L"Software\\BellSoft\\Liberica\\jre-11",
         L"InstallationPath", kX64, "JAVA_VERSION=\"11.0.22\"\n", L"11.0.22", L"JRE", false},
        {"SapMachine", V::Native, L"Software\\SapMachine\\JDK\\17", L"JavaHome", kX64,
         "JAVA_VERSION=\"17.0.10\"\n", L"17.0.10", L"JDK", false},
        {"SapMachine without a release file", V::Native, L"Software\\SapMachine\\JRE\\17.0.8",
         L"JavaHome", kX64, nullptr, L"17.0.8", L"JRE", false},
        {"SapMachine major only", V::Native, L"Software\\SapMachine\\JDK\\17", L"JavaHome", kX64,
         nullptr, L"17.0", L"JDK", false},
        {"Zulu 8 kit without a release file", V::Native, L"Software\\Azul Systems\\Zulu\\zulu-8",
         L"InstallationPath", kX64, nullptr, L"1.8", L"JDK", false, true},
    };
    for (const Case& c : cases) {
        FakeRegistry registry;
        FakeFiles files;
        const std::wstring folder = L"C:\\Program Files\\Vendor\\rt\\";
        registry.SetText(c.view, c.key, c.value, L"C:\\Program Files\\Vendor\\rt");
        const std::wstring runtime = c.inJre ? folder + L"jre\\" : folder;
        files.AddRuntime(runtime, {L"server"}, true, c.machine);
        if (c.release) files.AddRelease(folder, c.release);
        VendorRuntimes found = ScanVendorRuntimes(registry, files, Criteria(), true);
        const auto& list = c.other ? found.other : found.own;
        ASSERT_EQ(list.size(), 1u) << c.name;
        EXPECT_EQ((c.other ? found.own : found.other).size(), 0u) << c.name;
        EXPECT_EQ(list[0].home, runtime) << c.name;
        EXPECT_TRUE(list[0].hasServerVm) << c.name;
        // The default "VM Provider" favours Sun, whose successors they are.
        EXPECT_TRUE(list[0].preferred) << c.name;
        const std::vector<SeenRuntime>& seen = found.seen;
        ASSERT_EQ(seen.size(), 1u) << c.name;
        EXPECT_EQ(seen[0].version, c.version) << c.name;
        EXPECT_EQ(seen[0].kind, c.kind) << c.name;
        EXPECT_EQ(seen[0].reason, L"") << c.name;
        EXPECT_EQ(seen[0].origin, L"vendor") << c.name;
        EXPECT_EQ(seen[0].place.substr(0, 5), c.view == V::CurrentUser ? L"HKCU\\" : L"HKLM\\")
            << c.name;
    }
}

// What uninstalls leave behind and what the installers keep beside the folder value: each
// runtime is reported with the first check it fails, and none becomes a candidate.
TEST(ScanVendorRuntimes, RejectsWithTheFirstFailingCheck) {
    const std::wstring temurin = L"Software\\Eclipse Adoptium\\JDK\\17.0.9.9\\hotspot\\MSI";
    struct Case {
        const char* name;
        RuntimeSearchCriteria criteria;
        bool pair;
        std::function<void(FakeRegistry&, FakeFiles&)> setUp;
        const wchar_t* reason;
    };
    auto registered = [&](std::uint16_t machine, bool withLibrary = true) {
        return [=](FakeRegistry& r, FakeFiles& f) {
            r.SetText(V::Native, temurin, L"Path", L"C:\\jdk\\");
            if (withLibrary) f.AddRuntime(L"C:\\jdk\\", {L"server"}, true, machine);
            else f.Add(L"C:\\jdk\\bin\\java.dll");
        };
    };
    auto temurin8 = [](bool inJre) {
        return [=](FakeRegistry& r, FakeFiles& f) {
            r.SetText(V::Native, L"Software\\Eclipse Adoptium\\JDK\\8.0.392.8\\hotspot\\MSI",
                      L"Path", L"C:\\jdk8\\");
            f.Add(L"C:\\jdk8\\bin\\javac.exe");
            if (inJre) f.AddRuntime(L"C:\\jdk8\\jre\\", {L"server"});
        };
    };
    auto zulu = [](const wchar_t* subkey, const char* release) {
        return [=](FakeRegistry& r, FakeFiles& f) {
            r.SetText(V::Native, std::wstring(L"Software\\Azul Systems\\Zulu\\") + subkey,
                      L"InstallationPath", L"C:\\zulu\\");
            f.AddRuntime(L"C:\\zulu\\", {L"server"});
            if (release) f.AddRelease(L"C:\\zulu\\", release);
        };
    };
    const Case cases[] = {
        {"uninstalled: the folder is gone", Criteria(), true,
         [&](FakeRegistry& r, FakeFiles&) { r.SetText(V::Native, temurin, L"Path", L"C:\\gone\\"); },
         L"folder-missing"},
        // The MSI key holds JavaHome, Main and EnvironmentPath as DWORD flags only.
        {"only the installer's feature flags", Criteria(), true,
         [&](FakeRegistry& r, FakeFiles&) { r.AddKey(V::Native, temurin); }, L"folder-missing"},
        {"a subkey that is no version and holds nothing", Criteria(), true,
         [](FakeRegistry& r, FakeFiles&) {
             r.AddKey(V::Native, L"Software\\Azul Systems\\Zulu\\CurrentVersion");
         },
         L"folder-missing"},
        {"no VM library", Criteria(), true, registered(kX64, false), L"no-vm-library"},
        {"ARM64", Criteria(), true, registered(kArm64), L"unsupported-processor"},
        {"x86 without a pair product", Criteria(), false, registered(kX86),
         L"other-processor-no-pair-product"},
        {"not a PE image", Criteria(), true,
         [&](FakeRegistry& r, FakeFiles& f) {
             r.SetText(V::Native, temurin, L"Path", L"C:\\jdk\\");
             f.AddRuntime(L"C:\\jdk\\", {L"server"}, true, std::nullopt);
         },
         L"damaged-vm-library"},
        {"a kit where only runtime environments are wanted", Criteria(L"any", L"only_JRE"), true,
         registered(kX64), L"wrong-kind"},
        {"VM Provider allows IBM runtimes only", Criteria(L"ibm"), true, registered(kX64),
         L"provider-not-allowed"},
        {"VM Provider allows JRockit runtimes only", Criteria(L"JRockit"), true,
         registered(kX64), L"provider-not-allowed"},
        {"favoured JRockit still allows Sun's successors", Criteria(L"favor_jrockit"), true,
         registered(kX64), L""},
        {"any provider", Criteria(L"any"), true, registered(kX64), L""},
        {"below the minimum", Criteria(L"any", L"", L"21"), true, registered(kX64),
         L"below-minimum-version"},
        {"above the maximum", Criteria(L"any", L"", L"", L"11"), true, registered(kX64),
         L"above-maximum-version"},
        // Java 8 under the vendors' numbering: within "Maximum Version=1.8", below 17.
        {"Temurin 8 kit, maximum 1.8", Criteria(L"", L"", L"", L"1.8"), true, temurin8(true),
         L""},
        {"Temurin 8 kit, minimum 17", Criteria(L"", L"", L"17"), true, temurin8(true),
         L"below-minimum-version"},
        {"Zulu 8 runtime without a release file, minimum 17", Criteria(L"", L"", L"17"), true,
         zulu(L"zulu-8-jre", nullptr), L"below-minimum-version"},
        {"release file beats the subkey name", Criteria(L"", L"", L"17"), true,
         zulu(L"zulu-8-jre", "JAVA_VERSION=\"17.0.2\""), L""},
        {"no version anywhere, minimum set", Criteria(L"", L"", L"17"), true,
         zulu(L"CurrentVersion", nullptr), L"version-unknown"},
        {"no version anywhere, no bounds", Criteria(), true, zulu(L"CurrentVersion", nullptr),
         L""},
        {"Java 8 kit: neither bin nor jre\\bin", Criteria(), true, temurin8(false),
         L"no-vm-library"},
    };
    for (const Case& c : cases) {
        FakeRegistry registry;
        FakeFiles files;
        c.setUp(registry, files);
        VendorRuntimes found = ScanVendorRuntimes(registry, files, c.criteria, c.pair);
        const bool accepted = *c.reason == 0;
        EXPECT_EQ(found.own.size(), accepted ? 1u : 0u) << c.name;
        EXPECT_TRUE(found.other.empty()) << c.name;
        ASSERT_EQ(found.seen.size(), 1u) << c.name;
        EXPECT_EQ(found.seen[0].reason, c.reason) << c.name;
    }
}

TEST(SearchRuntime, VendorRuntimesFallbackYesNo) {
    const std::wstring classicRoot = kRuntimeRegistryRoots[3].path;  // JavaSoft JRE
    const std::wstring temurin = L"Software\\Eclipse Adoptium\\JDK\\17.0.9.9\\hotspot\\MSI";
    struct Case {
        const wchar_t* mode;
        const wchar_t* provider;
        bool classic;        // a JavaSoft 1.8 runtime in the native view
        std::uint16_t vendorMachine;
        const wchar_t* pair;
        RuntimeSource source;
        const wchar_t* folder;
        bool launchPair;
        V classicView = V::Native;
    };
    const Case cases[] = {
        // The default changes no choice the specified sources make.
        {L"", L"any", true, kX64, L"", RuntimeSource::NativeRegistry, L"C:\\classic\\", false},
        {L"fallback", L"any", false, kX64, L"", RuntimeSource::VendorRegistry, L"C:\\temurin\\",
         false},
        {L"FALLBACK", L"any", false, kX86, L"pair.exe", RuntimeSource::VendorRegistry,
         L"C:\\temurin\\", true},
        {L"", L"any", false, kX86, L"", RuntimeSource::None, L"", false},
        {L"", L"", false, kX64, L"", RuntimeSource::VendorRegistry, L"C:\\temurin\\", false},
        {L"", L"ibm", false, kX64, L"", RuntimeSource::None, L"", false},
        // This build's own vendor runtime before an old one that the pair product would run.
        {L"", L"", true, kX64, L"pair.exe", RuntimeSource::VendorRegistry, L"C:\\temurin\\", false,
         V::Alternate},
        {L"", L"", true, kX86, L"pair.exe", RuntimeSource::AlternateRegistry, L"C:\\classic\\",
         true, V::Alternate},
        // Sorted together: the newer vendor runtime wins in the native view.
        {L"yes", L"any", true, kX64, L"", RuntimeSource::NativeRegistry, L"C:\\temurin\\", false},
        // Vendor runtimes sort as Sun's own: favoured with them, so the newest still wins.
        {L"yes", L"", true, kX64, L"", RuntimeSource::NativeRegistry, L"C:\\temurin\\", false},
        {L"yes", L"favor_sun", true, kX64, L"", RuntimeSource::NativeRegistry, L"C:\\temurin\\",
         false},
        {L"Yes", L"any", true, kX86, L"pair.exe", RuntimeSource::NativeRegistry, L"C:\\classic\\",
         false},
        {L"yes", L"any", false, kX86, L"pair.exe", RuntimeSource::AlternateRegistry,
         L"C:\\temurin\\", true},
        {L"no", L"any", false, kX64, L"", RuntimeSource::None, L"", false},
        {L"unknown word", L"any", false, kX64, L"", RuntimeSource::VendorRegistry,
         L"C:\\temurin\\", false},
    };
    for (const Case& c : cases) {
        FakeRegistry registry;
        FakeFiles files;
        RuntimeSearchInputs inputs = AppInputs(c.pair, Criteria(c.provider, L"", L"", L"", c.mode));
        if (c.classic) registry.Add(c.classicView, classicRoot, L"1.8", L"C:\\classic");
        files.AddRuntime(L"C:\\classic\\", {L"client"}, true,
                         c.classicView == V::Native ? kX64 : kX86);
        registry.SetText(V::Native, temurin, L"Path", L"C:\\temurin\\");
        files.AddRuntime(L"C:\\temurin\\", {L"server"}, true, c.vendorMachine);
        RuntimeSearchResult result = SearchRuntime(inputs, registry, files);
        const std::string label = testing::PrintToString(std::wstring(c.mode)) + " " +
                                  testing::PrintToString(std::wstring(c.provider));
        EXPECT_EQ(result.source, c.source) << label;
        EXPECT_EQ(result.folder, c.folder) << label;
        EXPECT_EQ(result.launchPair, c.launchPair) << label;
        EXPECT_FALSE(result.needsMachineCheck) << label;
    }
}

TEST(SearchRuntime, JavaHomeOnRequest) {
    const std::wstring classicRoot = kRuntimeRegistryRoots[3].path;
    struct Case {
        const wchar_t* use;
        const wchar_t* javaHome;
        bool shipped;  // a runtime in jre64\ beside the launcher
        const wchar_t* pair;
        RuntimeSource source;
        bool launchPair;
        const wchar_t* reason;  // of the JAVA_HOME runtime; nullptr: not looked at
    };
    const Case cases[] = {
        {L"", L"C:\\jdk", false, L"", RuntimeSource::NativeRegistry, false, nullptr},
        {L"no", L"C:\\jdk", false, L"", RuntimeSource::NativeRegistry, false, nullptr},
        {L"yes", L"C:\\jdk", false, L"", RuntimeSource::JavaHome, false, L""},
        {L"yes", L"C:\\jdk\\", false, L"", RuntimeSource::JavaHome, false, L""},
        {L"YES", L"C:\\jdk\\bin", false, L"", RuntimeSource::JavaHome, false, L""},
        {L"yes", L"\"C:\\jdk\\bin\\\"", false, L"", RuntimeSource::JavaHome, false, L""},
        // A Java 8 kit: its VM library is in jre\bin.
        {L"yes", L"C:\\jdk8", false, L"", RuntimeSource::JavaHome, false, L""},
        {L"yes", L"C:\\jdk", true, L"", RuntimeSource::PrivateRuntime, false, nullptr},
        {L"yes", L"", false, L"", RuntimeSource::NativeRegistry, false, nullptr},
        {L"yes", L"C:\\uninstalled", false, L"", RuntimeSource::NativeRegistry, false,
         L"folder-missing"},
        {L"yes", L"C:\\jdk32", false, L"pair.exe", RuntimeSource::JavaHome, true, L""},
        {L"yes", L"C:\\jdk32", false, L"", RuntimeSource::NativeRegistry, false,
         L"other-processor-no-pair-product"},
        {L"yes", L"C:\\arm", false, L"pair.exe", RuntimeSource::NativeRegistry, false,
         L"unsupported-processor"},
    };
    for (const Case& c : cases) {
        FakeRegistry registry;
        FakeFiles files;
        RuntimeSearchInputs inputs = AppInputs(c.pair, Criteria(L"", L"", L"", L"", L"", c.use));
        inputs.javaHome = c.javaHome;
        registry.Add(V::Native, classicRoot, L"1.8", L"C:\\classic");
        files.AddRuntime(L"C:\\classic\\", {L"client"});
        files.AddRuntime(L"C:\\jdk\\", {L"server"});
        files.Add(L"C:\\jdk\\bin\\javac.exe");
        files.AddRelease(L"C:\\jdk\\", "JAVA_VERSION=\"17.0.9\"\n");
        files.AddRuntime(L"C:\\jdk32\\", {L"client"}, true, kX86);
        files.Add(L"C:\\jdk8\\bin\\javac.exe");
        files.AddRelease(L"C:\\jdk8\\", "JAVA_VERSION=\"1.8.0_392\"\n");
        files.AddRuntime(L"C:\\jdk8\\jre\\", {L"server"});
        files.AddRuntime(L"C:\\arm\\", {L"server"}, true, kArm64);
        if (c.shipped) files.AddRuntime(L"C:\\app\\jre64\\", {L"client"});
        RuntimeSearchResult result = SearchRuntime(inputs, registry, files);
        const std::string label = testing::PrintToString(std::wstring(c.use)) + " " +
                                  testing::PrintToString(std::wstring(c.javaHome));
        EXPECT_EQ(result.source, c.source) << label;
        EXPECT_EQ(result.launchPair, c.launchPair) << label;
        if (c.source == RuntimeSource::JavaHome) {
            EXPECT_EQ(result.folder.substr(0, 6), L"C:\\jdk") << label;
            EXPECT_EQ(result.folder.back(), L'\\') << label;
            EXPECT_EQ(result.library.substr(0, result.folder.size() + 4), result.folder + L"bin\\")
                << label;
        }
        const SeenRuntime* home = nullptr;
        for (const SeenRuntime& s : result.seen) {
            if (s.origin == kOriginJavaHome) home = &s;
        }
        ASSERT_EQ(home != nullptr, c.reason != nullptr) << label;
        if (home) {
            EXPECT_EQ(home->reason, c.reason) << label;
        }
        if (home && result.source == RuntimeSource::JavaHome && !c.launchPair) {
            const bool java8 = std::wstring(c.javaHome) == L"C:\\jdk8";
            EXPECT_EQ(home->version, java8 ? L"1.8.0.392" : L"17.0.9") << label;
            EXPECT_EQ(home->kind, L"JDK") << label;
            EXPECT_EQ(home->folder, java8 ? L"C:\\jdk8\\jre\\" : L"C:\\jdk\\") << label;
        }
    }
}

// The report the missing-runtime dialog shows is made of the search's list alone.
TEST(SearchRuntime, ReportsEveryRuntimeItSawAndWhy) {
    RuntimeSearchInputs inputs;
    inputs.launcherFolder = L"C:\\app";
    inputs.jrePath = L"D:\\gone";
    inputs.privateFolder = L"jre64\\";
    inputs.criteria = Criteria(L"", L"", L"1.8");
    inputs.criteria.UseJavaHome = true;
    inputs.javaHome = L"C:\\jdk\\bin";
    FakeRegistry registry;
    FakeFiles files;
    files.AddRuntime(L"C:\\jdk\\", {L"client"}, true, kArm64);
    files.AddRelease(L"C:\\jdk\\", "JAVA_VERSION=\"17.0.9\"\n");
    files.Add(L"C:\\app\\jre64\\bin\\java.dll");  // shipped, but no VM library
    const std::wstring root4 = kRuntimeRegistryRoots[3].path;
    registry.Add(V::Native, root4, L"1.7", L"C:\\old");
    registry.Add(V::Native, root4, L"1.8", L"C:\\stale");
    // Without a pair product the 32-bit view cannot be used, but it is shown.
    registry.Add(V::Alternate, root4, L"1.8.0_402", L"C:\\x86");
    files.AddRuntime(L"C:\\x86\\", {L"client"}, true, kX86);
    registry.SetText(V::Native, L"Software\\Eclipse Adoptium\\JDK\\17.0.9.9\\hotspot\\MSI",
                     L"Path", L"C:\\temurin\\");
    files.AddRuntime(L"C:\\temurin\\", {}, true);  // its VM library is gone
    RuntimeSearchResult result = SearchRuntime(inputs, registry, files);
    EXPECT_EQ(result.source, RuntimeSource::None);
    std::vector<std::wstring> lines;
    auto text = [](std::wstring_view code) { return L"<" + std::wstring(code) + L">"; };
    for (const SeenRuntime& s : result.seen) lines.push_back(DescribeSeenRuntime(s, text));
    EXPECT_EQ(lines, (std::vector<std::wstring>{
                         L"<folder-missing> - JRE Path: D:\\gone\\",
                         L"<no-vm-library> - <bundled>: C:\\app\\jre64\\",
                         L"<unsupported-processor> - JAVA_HOME: C:\\jdk\\ (17.0.9, JRE)",
                         L"<below-minimum-version> - HKLM\\Software\\JavaSoft\\Java Runtime "
                         L"Environment\\1.7 (64-bit): C:\\old (1.7, JRE)",
                         L"<folder-missing> - HKLM\\Software\\JavaSoft\\Java Runtime "
                         L"Environment\\1.8 (64-bit): C:\\stale\\ (1.8, JRE)",
                         L"<no-vm-library> - HKLM\\Software\\Eclipse "
                         L"Adoptium\\JDK\\17.0.9.9\\hotspot\\MSI (64-bit): C:\\temurin\\ "
                         L"(17.0.9.9, JDK)",
                         L"<other-processor-no-pair-product> - HKLM\\Software\\JavaSoft\\Java "
                         L"Runtime Environment\\1.8.0_402 (32-bit): C:\\x86\\ (1.8.0.402, JRE)",
                     }));
}

TEST(ParseReleaseVersion, Forms) {
    struct Case {
        std::string_view text;
        const wchar_t* version;  // nullptr: none
    };
    using namespace std::string_view_literals;
    const Case cases[] = {
        // As editors save it again: with a byte-order mark, as UTF-16, with spaces around "=".
        {"\xEF\xBB\xBFJAVA_VERSION=\"1.8.0_392\"\r\n", L"1.8.0.392"},
        {"\xFF\xFEJ\0A\0V\0A\0_\0V\0E\0R\0S\0I\0O\0N\0=\0\"\0" "1\0.\0" "8\0\"\0\r\0\n\0"sv,
         L"1.8.0.0"},
        {"\xFE\xFF\0J\0A\0V\0A\0_\0V\0E\0R\0S\0I\0O\0N\0=\0" "2\0" "1"sv, L"21.0.0.0"},
        {"JAVA_VERSION = \"17.0.9\"\n", L"17.0.9.0"},
        {"  JAVA_VERSION\t=\"11.0.2\"  \n", L"11.0.2.0"},
        {"JAVA_VERSION_DATE=\"2023-10-17\"\n", nullptr},
        {"JAVA_VERSION=\"17.0.9\"\n", L"17.0.9.0"},
        {"IMPLEMENTOR=\"Eclipse Adoptium\"\r\nJAVA_VERSION=\"21.0.2\"\r\n", L"21.0.2.0"},
        {"JAVA_VERSION=\"1.8.0_402\"", L"1.8.0.402"},
        {"JAVA_VERSION=11", L"11.0.0.0"},
        {"JAVA_RUNTIME_VERSION=\"17.0.9+9\"\n", nullptr},
        {"JAVA_VERSION=\"\"\n", nullptr},
        {"", nullptr},
        {"\xff\xfe garbage", nullptr},
    };
    for (const Case& c : cases) {
        const std::string label(c.text);
        std::optional<VersionNumber> version = ParseReleaseVersion(c.text);
        ASSERT_EQ(version.has_value(), c.version != nullptr) << label;
        if (version) {
            EXPECT_EQ(DecisionText(*version), c.version) << label;
        }
    }
}

TEST(RenameViewFolders, OnlyWholeReferencesInAnyCase) {
    const std::vector<std::pair<std::wstring, std::wstring>> renames = {
        {L"ProgramFiles", L"ProgramFiles(x86)"}, {L"CommonProgramFiles", L"CommonProgramFiles(x86)"}};
    struct Case {
        const wchar_t* text;
        const wchar_t* expected;
    };
    const Case cases[] = {
        {L"%ProgramFiles%\\Java\\jre", L"%ProgramFiles(x86)%\\Java\\jre"},
        {L"%PROGRAMFILES%\\Java", L"%ProgramFiles(x86)%\\Java"},
        {L"%ProgramFiles(x86)%\\Java", L"%ProgramFiles(x86)%\\Java"},
        {L"%CommonProgramFiles%\\Oracle", L"%CommonProgramFiles(x86)%\\Oracle"},
        {L"%SystemDrive%\\Java", L"%SystemDrive%\\Java"},
        {L"100%\\%ProgramFiles%", L"100%\\%ProgramFiles(x86)%"},
        {L"%ProgramFiles", L"%ProgramFiles"},
        {L"C:\\Java", L"C:\\Java"},
    };
    for (const Case& c : cases) EXPECT_EQ(RenameViewFolders(c.text, renames), c.expected);
}

TEST(JavaHomeFolder, Endings) {
    EXPECT_EQ(JavaHomeFolder(L"C:\\jdk"), L"C:\\jdk\\");
    EXPECT_EQ(JavaHomeFolder(L"C:\\jdk\\\\"), L"C:\\jdk\\");
    EXPECT_EQ(JavaHomeFolder(L"C:\\jdk\\BIN\\"), L"C:\\jdk\\");
    EXPECT_EQ(JavaHomeFolder(L"\"C:\\Program Files\\jdk\""), L"C:\\Program Files\\jdk\\");
    EXPECT_EQ(JavaHomeFolder(L"C:\\cabin"), L"C:\\cabin\\");
    EXPECT_EQ(JavaHomeFolder(L""), L"");
    EXPECT_EQ(JavaHomeFolder(L"C:\\jdk "), L"C:\\jdk\\");
    EXPECT_EQ(JavaHomeFolder(L" C:\\jdk\\bin;"), L"C:\\jdk\\");
    EXPECT_EQ(JavaHomeFolder(L"\"C:\\jdk\\\";"), L"C:\\jdk\\");
    EXPECT_EQ(JavaHomeFolder(L" ; "), L"");
}
