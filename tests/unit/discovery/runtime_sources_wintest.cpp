#include "discovery/runtime_sources_win32.h"

#include "core/launcher_win32.h"
#include "core/unique_handle_win32.h"
#include "discovery/discovery_win32.h"
#include "core/pe_header.h"
#include "discovery/missing_runtime_dialog_win32.h"
#include "discovery/selection.h"
#include "core/path_utils.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

constexpr REGSAM kView64 = KEY_WOW64_64KEY;
constexpr REGSAM kView32 = KEY_WOW64_32KEY;
#ifdef _WIN64
constexpr REGSAM kNativeFlag = kView64;
constexpr REGSAM kAlternateFlag = kView32;
constexpr std::uint16_t kOwnMachine = kMachineAmd64;
#else
constexpr REGSAM kNativeFlag = kView32;
constexpr REGSAM kAlternateFlag = kView64;
constexpr std::uint16_t kOwnMachine = kMachineI386;
#endif

std::wstring Unique() {
    return std::to_wstring(::GetCurrentProcessId()) + L"-" + std::to_wstring(::GetTickCount());
}

// HKLM keys written by the test in an explicit view. Every key that did not exist before
// (parents included) is deleted again, deepest first; keys that existed stay.
class RegistryFixture {
  public:
    ~RegistryFixture() {
        for (auto it = created_.rbegin(); it != created_.rend(); ++it) {
            ::RegDeleteKeyExW(HKEY_LOCAL_MACHINE, it->first.c_str(), it->second, 0);
        }
    }
    UniqueHKey Create(const std::wstring& path, REGSAM flag) {
        for (std::size_t slash = path.find(L'\\');; slash = path.find(L'\\', slash + 1)) {
            std::wstring prefix = path.substr(0, slash);
            HKEY existing = nullptr;
            if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, prefix.c_str(), 0, KEY_READ | flag,
                                &existing) == ERROR_SUCCESS) {
                UniqueHKey closer(existing);
            } else {
                created_.push_back({prefix, flag});
            }
            if (slash == std::wstring::npos) break;
        }
        HKEY key = nullptr;
        LSTATUS status = ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0,
                                           KEY_ALL_ACCESS | flag, nullptr, &key, nullptr);
        EXPECT_EQ(status, ERROR_SUCCESS) << "creating a key";
        return UniqueHKey(key);
    }
    void SetBytes(HKEY key, const wchar_t* name, DWORD type, const void* data, DWORD size) {
        EXPECT_EQ(::RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size),
                  ERROR_SUCCESS);
    }
    void SetText(HKEY key, const wchar_t* name, const std::wstring& text, DWORD type = REG_SZ) {
        SetBytes(key, name, type, text.c_str(),
                 static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    }

  private:
    std::vector<std::pair<std::wstring, REGSAM>> created_;
};

std::wstring TempFolder() {
    wchar_t buffer[MAX_PATH + 1];
    DWORD length = ::GetTempPathW(MAX_PATH + 1, buffer);
    std::wstring folder(buffer, length);
    folder += L"vmboot-discovery-" + Unique() + L"\\";
    ::CreateDirectoryW(folder.c_str(), nullptr);
    return folder;
}

void RemoveTree(const std::wstring& folder) {
    WIN32_FIND_DATAW data;
    UniqueFindHandle find(::FindFirstFileW(ToLongPathForm(folder + L"*").c_str(), &data));
    if (find) {
        do {
            std::wstring name = data.cFileName;
            if (name == L"." || name == L"..") continue;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(folder + name + L"\\");
            } else {
                ::DeleteFileW(ToLongPathForm(folder + name).c_str());
            }
        } while (::FindNextFileW(find.get(), &data));
    }
    find.reset();
    ::RemoveDirectoryW(ToLongPathForm(folder).c_str());
}

void WriteFileBytes(const std::wstring& path, const void* data, std::size_t size) {
    for (std::size_t slash = path.find(L'\\', 3); slash != std::wstring::npos;
         slash = path.find(L'\\', slash + 1)) {
        ::CreateDirectoryW(path.substr(0, slash).c_str(), nullptr);
    }
    UniqueFileHandle file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(file) << "creating a fixture file";
    DWORD written = 0;
    if (size) ::WriteFile(file.get(), data, static_cast<DWORD>(size), &written, nullptr);
}

std::vector<char> ReadFileBytes(const std::wstring& path) {
    std::vector<char> bytes;
    UniqueFileHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                        OPEN_EXISTING, 0, nullptr));
    if (!file) return bytes;
    LARGE_INTEGER size{};
    ::GetFileSizeEx(file.get(), &size);
    bytes.resize(static_cast<std::size_t>(size.QuadPart));
    DWORD read = 0;
    if (!bytes.empty()) {
        ::ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
    }
    bytes.resize(read);
    return bytes;
}

void AddRuntime(const std::wstring& folder, std::initializer_list<const wchar_t*> vms,
                bool marker = true) {
    if (marker) WriteFileBytes(folder + L"bin\\java.dll", "", 0);
    for (const wchar_t* vm : vms) WriteFileBytes(folder + L"bin\\" + vm + L"\\jvm.dll", "", 0);
}

std::wstring TestFolder() {
    wchar_t path[MAX_PATH];
    DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, length);
    return folder.substr(0, folder.rfind(L'\\') + 1);
}

// The probe DLLs of both processors, built beside the test tools.
std::wstring ProbeDll(const wchar_t* machine) {
    return TestFolder() + L"tools\\probe_" + machine + L".dll";
}

class CollectingLog : public DecisionLog {
  public:
    void Record(Decision decision) override { decisions.push_back(std::move(decision)); }
    const Decision* Find(const std::string& what) const {
        for (const Decision& d : decisions) {
            if (d.what == what) return &d;
        }
        return nullptr;
    }
    std::vector<Decision> decisions;
};

std::wstring Field(const Decision& d, const std::string& name) {
    for (const auto& [field, value] : d.fields) {
        if (field == name) return value;
    }
    return L"(missing)";
}

}  // namespace

TEST(RegistryKeyReader, ValuesOfEveryShape) {
    RegistryFixture fixture;
    const std::wstring base = L"Software\\vmboot-tests\\reader-" + Unique();
    UniqueHKey key = fixture.Create(base, kNativeFlag);
    ASSERT_TRUE(key);
    fixture.SetText(key.get(), L"plain", L"C:\\Java\\jre");
    // Written without its terminating NUL: the text ends with the data.
    const std::wstring unterminated = L"C:\\NoNul";
    fixture.SetBytes(key.get(), L"unterminated", REG_SZ, unterminated.data(),
                     static_cast<DWORD>(unterminated.size() * sizeof(wchar_t)));
    const wchar_t embedded[] = L"C:\\first\0C:\\second";
    fixture.SetBytes(key.get(), L"embedded", REG_SZ, embedded, sizeof(embedded));
    fixture.SetBytes(key.get(), L"odd", REG_SZ, L"C:\\xy",
                     7);  // 3.5 characters: "C:\" and half an "x"
    fixture.SetBytes(key.get(), L"empty", REG_SZ, L"", 0);
    fixture.SetText(key.get(), L"expand", L"%SystemRoot%\\java", REG_EXPAND_SZ);
    fixture.SetText(key.get(), L"undefined", L"%VMBOOT_UNDEFINED_NAME%\\x", REG_EXPAND_SZ);
    const DWORD number = 0x003A0043;  // "C:" if read as text
    fixture.SetBytes(key.get(), L"dword", REG_DWORD, &number, sizeof(number));
    fixture.SetBytes(key.get(), L"binary", REG_BINARY, L"C:\\bin", 14);
    const wchar_t multi[] = L"C:\\one\0C:\\two\0";
    fixture.SetBytes(key.get(), L"multi", REG_MULTI_SZ, multi, sizeof(multi));

    wchar_t systemRoot[MAX_PATH];
    DWORD length = ::GetEnvironmentVariableW(L"SystemRoot", systemRoot, MAX_PATH);
    ASSERT_GT(length, 0u);

    struct Case {
        const wchar_t* name;
        bool ok;
        std::wstring text;
    };
    const Case cases[] = {
        {L"plain", true, L"C:\\Java\\jre"},
        {L"unterminated", true, L"C:\\NoNul"},
        {L"embedded", true, L"C:\\first"},
        {L"odd", true, L"C:\\"},
        {L"empty", true, L""},
        {L"expand", true, std::wstring(systemRoot, length) + L"\\java"},
        {L"undefined", true, L"%VMBOOT_UNDEFINED_NAME%\\x"},
        {L"dword", false, L""},
        {L"binary", false, L""},
        {L"multi", false, L""},
        {L"missing", false, L""},
    };
    RegistryKeyReader reader(base, RegistryView::Native);
    for (const Case& c : cases) {
        std::wstring text = L"stale";
        EXPECT_EQ(reader.ReadText(c.name, text), c.ok)
            << testing::PrintToString(std::wstring(c.name));
        EXPECT_EQ(text, c.text) << testing::PrintToString(std::wstring(c.name));
    }
    RegistryKeyReader missing(base + L"\\absent", RegistryView::Native);
    EXPECT_TRUE(missing.SubkeyNames().empty());
    std::wstring text;
    EXPECT_FALSE(missing.ReadText(L"plain", text));
}

TEST(RegistryKeyReader, ViewsAreSeparate) {
    RegistryFixture fixture;
    const std::wstring base = L"Software\\vmboot-tests\\views-" + Unique();
    fixture.Create(base + L"\\native-only", kNativeFlag);
    fixture.Create(base + L"\\alternate-only", kAlternateFlag);
    fixture.Create(base + L"\\1.8", kNativeFlag);
    fixture.Create(base + L"\\1.7", kNativeFlag);

    std::vector<std::wstring> native = RegistryKeyReader(base, RegistryView::Native).SubkeyNames();
    std::vector<std::wstring> alternate =
        RegistryKeyReader(base, RegistryView::Alternate).SubkeyNames();
    std::sort(native.begin(), native.end());
    EXPECT_EQ(native, (std::vector<std::wstring>{L"1.7", L"1.8", L"native-only"}));
    EXPECT_EQ(alternate, std::vector<std::wstring>{L"alternate-only"});
    EXPECT_EQ(RegistryViewAccess(RegistryView::Native), static_cast<REGSAM>(KEY_READ));
    EXPECT_EQ(RegistryViewAccess(RegistryView::Alternate), KEY_READ | kAlternateFlag);
}

TEST(RuntimeSearch, RegisteredRuntimesInBothViews) {
    const std::wstring folder = TempFolder();
    AddRuntime(folder + L"native-old\\", {L"client"});
    AddRuntime(folder + L"native-new\\", {L"server"});
    AddRuntime(folder + L"kit\\jre\\", {L"client"});
    AddRuntime(folder + L"alternate\\", {L"client"});

    RegistryFixture fixture;
    // Version numbers no real installation uses, so that the bounds admit only these.
    const std::wstring jre = L"Software\\JavaSoft\\Java Runtime Environment\\";
    const std::wstring kit = L"Software\\JavaSoft\\Java Development Kit\\";
    fixture.SetText(fixture.Create(jre + L"9001.1", kNativeFlag).get(), L"JavaHome",
                    folder + L"native-old");
    fixture.SetText(fixture.Create(jre + L"9001.2", kNativeFlag).get(), L"JavaHome",
                    folder + L"native-new\\");
    fixture.Create(jre + L"9001.3", kNativeFlag);  // no JavaHome
    fixture.SetText(fixture.Create(jre + L"9001.4", kNativeFlag).get(), L"JavaHome", L"");
    fixture.SetText(fixture.Create(jre + L"9001.5", kAlternateFlag).get(), L"JavaHome",
                    folder + L"alternate");
    RegistryFixture kitFixture;
    kitFixture.SetText(kitFixture.Create(kit + L"9001.0.0_7", kNativeFlag).get(), L"JavaHome",
                       folder + L"kit");

    RuntimeCriteriaKeys keys;
    keys.MinimumVersion = L"9001";
    keys.MaximumVersion = L"9001";
    RuntimeSearchInputs inputs;
    inputs.jrePath = folder + L"no-runtime-here";
    inputs.launcherFolder = folder + L"launcher";
    inputs.privateFolder = PrivateRuntimeFolder();
    inputs.criteria = BuildSearchCriteria(keys);
    Win32RegistryAccess registry;
    Win32FileProbe files;

    RuntimeSearchResult result = SearchRuntime(inputs, registry, files);
    EXPECT_EQ(result.source, RuntimeSource::NativeRegistry);
    EXPECT_EQ(result.folder, folder + L"native-new\\");
    EXPECT_EQ(result.library, folder + L"native-new\\bin\\server\\jvm.dll");
    EXPECT_FALSE(result.launchPair);

    inputs.criteria.PreferredVersions = {L"9001.0.0_7"};
    result = SearchRuntime(inputs, registry, files);
    EXPECT_EQ(result.folder, folder + L"kit\\jre\\") << "a development kit's jre folder";

    // Only the alternate view holds a runtime of this version.
    keys.MinimumVersion = L"9001.5";
    inputs.criteria = BuildSearchCriteria(keys);
    result = SearchRuntime(inputs, registry, files);
    EXPECT_EQ(result.source, RuntimeSource::None) << "no pair product";
    inputs.pairProduct = L"pair.exe";
    result = SearchRuntime(inputs, registry, files);
    EXPECT_EQ(result.source, RuntimeSource::AlternateRegistry);
    EXPECT_EQ(result.folder, folder + L"alternate\\");
    EXPECT_TRUE(result.launchPair);

    RemoveTree(folder);
}

TEST(RuntimeSearch, FoldersOnDisk) {
    const std::wstring folder = TempFolder();
    AddRuntime(folder + L"both\\", {L"client", L"server"});
    AddRuntime(folder + L"jrockit\\", {L"jrockit"});
    AddRuntime(folder + L"app\\" + PrivateRuntimeFolder(), {L"hotspot"});
    ::CreateDirectoryW((folder + L"dir\\").c_str(), nullptr);

    EXPECT_EQ(LocateVmLibrary(folder + L"both\\", JvmTypeMode::AnyVm).path,
              folder + L"both\\bin\\client\\jvm.dll");
    VmLibraryLocation server = LocateVmLibrary(folder + L"both\\", JvmTypeMode::FavorServer);
    EXPECT_EQ(server.path, folder + L"both\\bin\\server\\jvm.dll");
    EXPECT_TRUE(server.server);
    EXPECT_EQ(LocateVmLibrary(folder + L"jrockit\\", JvmTypeMode::AnyVm).path,
              folder + L"jrockit\\bin\\jrockit\\jvm.dll");
    EXPECT_TRUE(LocateVmLibrary(folder + L"jrockit\\", JvmTypeMode::ServerOnly).path.empty());
    EXPECT_TRUE(LocateVmLibrary(folder + L"missing\\", JvmTypeMode::AnyVm).path.empty());

    Win32FileProbe files;
    EXPECT_EQ(FindPrivateRuntimeFolder(files, folder + L"app", PrivateRuntimeFolder()),
              folder + L"app\\" + PrivateRuntimeFolder());
    AddRuntime(folder + L"app\\", {L"client"});
    EXPECT_EQ(FindPrivateRuntimeFolder(files, folder + L"app", PrivateRuntimeFolder()),
              folder + L"app\\");
    EXPECT_EQ(FindPrivateRuntimeFolder(files, folder + L"dir", PrivateRuntimeFolder()), L"");
    RemoveTree(folder);
}

TEST(ReadImageMachine, RealAndDamagedLibraries) {
    const std::wstring x86 = ProbeDll(L"x86");
    const std::wstring x64 = ProbeDll(L"x64");
    EXPECT_EQ(ReadImageMachine(x86), kMachineI386);
    EXPECT_EQ(ReadImageMachine(x64), kMachineAmd64);
    wchar_t self[MAX_PATH];
    DWORD length = ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    EXPECT_EQ(ReadImageMachine(std::wstring(self, length)), kOwnMachine);

    const std::wstring folder = TempFolder();
    std::vector<char> image = ReadFileBytes(x64);
    ASSERT_GT(image.size(), 0x200u);
    const std::uint32_t ntOffset =
        static_cast<std::uint8_t>(image[0x3C]) | (static_cast<std::uint8_t>(image[0x3D]) << 8);
    struct Case {
        const wchar_t* name;
        std::vector<char> bytes;
    };
    std::vector<Case> damaged = {
        {L"empty.dll", {}},
        {L"dos-only.dll", std::vector<char>(image.begin(), image.begin() + 0x40)},
        {L"cut-in-signature.dll", std::vector<char>(image.begin(), image.begin() + ntOffset + 3)},
        {L"garbage.dll", std::vector<char>(8192, '\x5A')},
        {L"text.dll",
         std::vector<char>{'M', 'Z', ' ', 'i', 's', ' ', 'n', 'o', 't', ' ', 'P', 'E'}},
    };
    std::vector<char> distant = image;
    distant[0x3D] = '\x7F';  // e_lfanew points far beyond the end of the file
    damaged.push_back({L"far-offset.dll", distant});
    for (const Case& c : damaged) {
        WriteFileBytes(folder + c.name, c.bytes.data(), c.bytes.size());
        EXPECT_FALSE(ReadImageMachine(folder + c.name))
            << testing::PrintToString(std::wstring(c.name));
    }
    // The machine field is the last thing read: a file that ends right after it still counts.
    std::vector<char> tight(image.begin(), image.begin() + ntOffset + 6);
    WriteFileBytes(folder + L"tight.dll", tight.data(), tight.size());
    EXPECT_EQ(ReadImageMachine(folder + L"tight.dll"), kMachineAmd64);
    EXPECT_FALSE(ReadImageMachine(folder + L"missing.dll"));
    EXPECT_FALSE(ReadImageMachine(folder));  // a folder
    RemoveTree(folder);
}

TEST(CheckVmLibraryMachine, HandsOverOnlyForTheOtherProcessorWithAPairProduct) {
    struct Case {
        const wchar_t* library;
        const wchar_t* pairProduct;
        bool handOver;
    };
#ifdef _WIN64
    const Case cases[] = {
        {L"probe_x86.dll", L"vmboot32.exe", true},
        {L"probe_x64.dll", L"vmboot32.exe", false},
        {L"probe_x86.dll", L"", false},
        {L"missing.dll", L"vmboot32.exe", false},
    };
#else
    const Case cases[] = {
        {L"probe_x64.dll", L"vmboot64.exe", true},
        {L"probe_x86.dll", L"vmboot64.exe", false},
        {L"probe_x64.dll", L"", false},
        {L"missing.dll", L"vmboot64.exe", false},
    };
#endif
    for (const Case& c : cases) {
        Launcher launcher;
        CollectingLog log;
        launcher.Decisions = &log;
        launcher.VmLibraryPath = TestFolder() + L"tools\\" + c.library;
        launcher.PairProduct = c.pairProduct;
        launcher.LaunchPairFlag = true;  // cleared first
        CheckVmLibraryMachine(launcher);
        EXPECT_EQ(launcher.LaunchPairFlag, c.handOver)
            << testing::PrintToString(std::wstring(c.library));
        const Decision* machine = log.Find("machine");
        ASSERT_NE(machine, nullptr);
        if (!*c.pairProduct) {
            EXPECT_EQ(Field(*machine, "skipped"), L"no Pair Product");
        }
    }
}

TEST(DiscoverRuntime, JrePathOfTheOtherProcessorHandsOver) {
    const std::wstring folder = TempFolder();
    std::vector<char> other = ReadFileBytes(ProbeDll(sizeof(void*) == 8 ? L"x86" : L"x64"));
    WriteFileBytes(folder + L"bin\\client\\jvm.dll", other.data(), other.size());
    Launcher launcher;
    CollectingLog log;
    launcher.Decisions = &log;
    launcher.JrePath = folder.substr(0, folder.size() - 1);  // without its backslash
    launcher.PairProduct = L"pair.exe";
    launcher.KeepVmThreadParked = true;  // IBM runtimes allowed by the configuration
    ASSERT_TRUE(DiscoverRuntime(launcher));
    EXPECT_EQ(launcher.VmLibraryPath, folder + L"bin\\client\\jvm.dll");
    EXPECT_TRUE(launcher.LaunchPairFlag);
    EXPECT_FALSE(launcher.KeepVmThreadParked) << "parked for a runtime outside IBM's root";

    Launcher alone;
    alone.JrePath = launcher.JrePath;
    ASSERT_TRUE(DiscoverRuntime(alone));
    EXPECT_FALSE(alone.LaunchPairFlag) << "without a pair product the header is not read";
    RemoveTree(folder);
}

TEST(DiscoverRuntime, DryRunRecordsTheDialogInsteadOfShowingIt) {
    const std::wstring folder = TempFolder();
    Launcher launcher;
    CollectingLog log;
    launcher.Decisions = &log;
    launcher.DryRun = true;
    launcher.JrePath = folder + L"none";
    RuntimeCriteriaKeys keys;
    keys.JvmType = L"server";
    keys.MinimumVersion = L"9999.1";
    launcher.Criteria = BuildSearchCriteria(keys);
    EXPECT_FALSE(DiscoverRuntime(launcher));
    EXPECT_TRUE(launcher.VmLibraryPath.empty());
    const Decision* dialog = log.Find("missing-runtime-dialog");
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(Field(*dialog, "message"),
              L"The Java Runtime Environment (JRE) was not found. Please download and install a "
              L"JRE with a server JVM (minimum version 9999.1) from:");
    RemoveTree(folder);
}

// The launcher attaches no log: the dialog's details and vmbootcheck's report are made of
// the list the search leaves in the launcher state.
TEST(DiscoverRuntime, KeepsTheRuntimesItSawWithoutALog) {
    const std::wstring folder = TempFolder();
    Launcher launcher;
    launcher.DryRun = true;  // no dialog
    launcher.JrePath = folder + L"none";
    launcher.JrePathConfigured = true;
    RuntimeCriteriaKeys keys;
    keys.MinimumVersion = L"9999.1";
    launcher.Criteria = BuildSearchCriteria(keys);
    EXPECT_FALSE(DiscoverRuntime(launcher));
    const std::vector<std::wstring> lines = RuntimeReportLines(launcher.RuntimesSeen);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0], L"folder missing - JRE Path: " + folder + L"none\\");
    RemoveTree(folder);
}

TEST(RegistryKeyReader, ExpandsTheProgramFoldersOfTheViewTheValueCameFrom) {
    RegistryFixture fixture;
    const std::wstring base = L"Software\\vmboot-tests\\expand-" + Unique();
    UniqueHKey native = fixture.Create(base, kNativeFlag);
    UniqueHKey alternate = fixture.Create(base, kAlternateFlag);
    const std::wstring value = L"%ProgramFiles%\\Java;%CommonProgramFiles%;%ProgramFiles(x86)%";
    fixture.SetText(native.get(), L"JavaHome", value, REG_EXPAND_SZ);
    fixture.SetText(alternate.get(), L"JavaHome", value, REG_EXPAND_SZ);
    auto variable = [](const wchar_t* name) {
        wchar_t buffer[MAX_PATH] = {};
        ::GetEnvironmentVariableW(name, buffer, MAX_PATH);
        return std::wstring(buffer);
    };
#ifdef _WIN64
    const std::wstring otherProgramFiles = variable(L"ProgramFiles(x86)");
    const std::wstring otherCommon = variable(L"CommonProgramFiles(x86)");
#else
    const std::wstring otherProgramFiles = variable(L"ProgramW6432");
    const std::wstring otherCommon = variable(L"CommonProgramW6432");
#endif
    ASSERT_FALSE(otherProgramFiles.empty());
    ASSERT_NE(otherProgramFiles, variable(L"ProgramFiles"));
    std::wstring text;
    ASSERT_TRUE(RegistryKeyReader(base, RegistryView::Native).ReadText(L"JavaHome", text));
    EXPECT_EQ(text, variable(L"ProgramFiles") + L"\\Java;" + variable(L"CommonProgramFiles") +
                        L";" + variable(L"ProgramFiles(x86)"));
    ASSERT_TRUE(RegistryKeyReader(base, RegistryView::Alternate).ReadText(L"JavaHome", text));
    EXPECT_EQ(text, otherProgramFiles + L"\\Java;" + otherCommon + L";" +
                        variable(L"ProgramFiles(x86)"));
}

// The vendors' installers on a real registry and file system: a Temurin kit in a folder
// whose VM library path is longer than 260 characters, with the installer's DWORD flags
// beside its folder value; a per-user runtime under HKEY_CURRENT_USER; and an ARM64 kit in
// the other view, which neither build can run.
TEST(RuntimeSearch, VendorRuntimesOnDisk) {
    const std::wstring folder = TempFolder();
    std::wstring deep = folder;
    while (deep.size() < 250) deep += L"a-rather-long-folder-name-for-a-runtime\\";
    for (std::size_t slash = deep.find(L'\\', 3); slash != std::wstring::npos;
         slash = deep.find(L'\\', slash + 1)) {
        ::CreateDirectoryW(ToLongPathForm(deep.substr(0, slash)).c_str(), nullptr);
    }
    auto write = [](const std::wstring& path, const std::vector<char>& bytes) {
        for (std::size_t slash = path.find(L'\\', 3); slash != std::wstring::npos;
             slash = path.find(L'\\', slash + 1)) {
            ::CreateDirectoryW(ToLongPathForm(path.substr(0, slash)).c_str(), nullptr);
        }
        UniqueFileHandle file(::CreateFileW(ToLongPathForm(path).c_str(), GENERIC_WRITE, 0,
                                            nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                            nullptr));
        ASSERT_TRUE(file) << "creating a fixture file";
        DWORD written = 0;
        ::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    };
    const std::vector<char> own = ReadFileBytes(ProbeDll(sizeof(void*) == 8 ? L"x64" : L"x86"));
    std::vector<char> arm = ReadFileBytes(ProbeDll(L"x64"));
    const std::uint32_t ntOffset =
        static_cast<std::uint8_t>(arm[0x3C]) | (static_cast<std::uint8_t>(arm[0x3D]) << 8);
    arm[ntOffset + 4] = '\x64';
    arm[ntOffset + 5] = '\xAA';
    const std::string release = "JAVA_VERSION=\"9001.0.1\"\r\n";
    write(deep + L"bin\\server\\jvm.dll", own);
    write(deep + L"release", std::vector<char>(release.begin(), release.end()));
    ASSERT_GE((deep + L"bin\\server\\jvm.dll").size(), 260u);
    write(folder + L"user\\bin\\client\\jvm.dll", own);
    write(folder + L"arm\\bin\\server\\jvm.dll", arm);

    RegistryFixture fixture;
    const std::wstring kits = L"Software\\Eclipse Adoptium\\JDK\\";
    UniqueHKey msi = fixture.Create(kits + L"9001.0.1.2\\hotspot\\MSI", kNativeFlag);
    fixture.SetText(msi.get(), L"Path", deep);
    const DWORD flag = 1;
    for (const wchar_t* name : {L"JavaHome", L"Main", L"EnvironmentPath"}) {
        fixture.SetBytes(msi.get(), name, REG_DWORD, &flag, sizeof flag);
    }
    fixture.SetText(fixture.Create(kits + L"9001.0.3.1\\hotspot\\MSI", kAlternateFlag).get(),
                    L"Path", folder + L"arm\\");
    const std::wstring userKey = L"Software\\Eclipse Adoptium\\JRE\\9001.0.0.5\\hotspot\\MSI";
    HKEY user = nullptr;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, userKey.c_str(), 0, nullptr, 0,
                                KEY_ALL_ACCESS, nullptr, &user, nullptr),
              ERROR_SUCCESS);
    UniqueHKey userOwner(user);
    fixture.SetText(user, L"Path", folder + L"user\\");
    userOwner.reset();

    RuntimeCriteriaKeys keys;
    keys.MinimumVersion = L"9001";
    keys.MaximumVersion = L"9001";
    keys.VmProvider = L"any";
    RuntimeSearchInputs inputs;
    inputs.jrePath = folder + L"no-runtime-here";
    inputs.launcherFolder = folder + L"launcher";
    inputs.privateFolder = PrivateRuntimeFolder();
    inputs.pairProduct = L"pair.exe";
    inputs.criteria = BuildSearchCriteria(keys);
    inputs.criteria.HostIs64Bit = sizeof(void*) == 8;
    Win32RegistryAccess registry;
    Win32FileProbe files;
    RuntimeSearchResult result = SearchRuntime(inputs, registry, files);
    EXPECT_EQ(result.source, RuntimeSource::VendorRegistry);
    EXPECT_EQ(result.library, deep + L"bin\\server\\jvm.dll");
    EXPECT_FALSE(result.launchPair);
    std::vector<std::wstring> seen;
    for (const SeenRuntime& runtime : result.seen) {
        if (runtime.origin == kOriginVendor) {
            seen.push_back(runtime.place + L"=" + runtime.version + L"," + runtime.reason);
        }
    }
    const wchar_t* nativeView = sizeof(void*) == 8 ? L" (64-bit)" : L" (32-bit)";
    const wchar_t* otherView = sizeof(void*) == 8 ? L" (32-bit)" : L" (64-bit)";
    EXPECT_EQ(seen, (std::vector<std::wstring>{
                        // From its release file, read beyond 260 characters.
                        L"HKLM\\" + kits + L"9001.0.1.2\\hotspot\\MSI" + nativeView + L"=9001.0.1,",
                        L"HKLM\\" + kits + L"9001.0.3.1\\hotspot\\MSI" + otherView +
                            L"=9001.0.3.1,unsupported-processor",
                        L"HKCU\\" + userKey + L"=9001.0.0.5,",
                    }));

    ::RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Eclipse Adoptium\\JRE\\9001.0.0.5");
    ::RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\Eclipse Adoptium\\JRE");
    ::RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\Eclipse Adoptium");
    RemoveTree(folder);
}
