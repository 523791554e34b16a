#include "config/configuration_win32.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "../temp_folder_win32.h"
#include "config/settings_store_win32.h"
#include "core/launcher_win32.h"

using test_support::ScopedEnvironmentVariable;
using test_support::TempFolder;

namespace {
class RecordingLog : public DecisionLog {
  public:
    void Record(Decision decision) override { decisions.push_back(std::move(decision)); }

    /// The fields of the first decision `what` that has field `name` equal to `value`.
    const Decision* Find(const std::string& what, const std::string& name,
                         const std::wstring& value) const {
        for (const auto& decision : decisions) {
            if (decision.what != what) continue;
            for (const auto& field : decision.fields) {
                if (field.first == name && field.second == value) return &decision;
            }
        }
        return nullptr;
    }
    std::vector<Decision> decisions;
};

std::wstring Field(const Decision* decision, const std::string& name) {
    if (!decision) return L"<no decision>";
    for (const auto& field : decision->fields) {
        if (field.first == name) return field.second;
    }
    return L"<no field>";
}

std::wstring Read(const std::wstring& file, const std::wstring& section, const std::wstring& key) {
    IniSettingsStore store(file);
    std::wstring value;
    store.GetString(section, key, value);
    return value;
}

// A launcher that acts as "<folder>\app.exe" and shows no message boxes.
struct TestLauncher {
    explicit TestLauncher(const TempFolder& folder, const wchar_t* exeName = L"app.exe") {
        launcher.ExecutablePathOverride = folder / exeName;
        launcher.Decisions = &log;
        launcher.DryRun = true;
    }
    RecordingLog log;
    Launcher launcher;
};
}  // namespace

TEST(ModulePath, IsTheTestExecutableAndHasNoLengthLimit) {
    std::wstring path;
    DWORD error = 1;
    ASSERT_TRUE(QueryModulePath(path, error));
    EXPECT_EQ(error, 0u);
    EXPECT_GT(path.size(), 4u);
    EXPECT_EQ(path.substr(path.size() - 4), L".exe");
    EXPECT_EQ(::GetFileAttributesW(path.c_str()) & FILE_ATTRIBUTE_DIRECTORY, 0u);

    Launcher launcher;
    std::wstring viaLauncher;
    ASSERT_TRUE(ModulePath(launcher, viaLauncher));
    EXPECT_EQ(viaLauncher, path);
    std::wstring configuration;
    ASSERT_TRUE(ConfigurationFilePath(launcher, configuration));
    EXPECT_EQ(configuration, path.substr(0, path.size() - 3) + L"ini");
    std::wstring folder;
    ASSERT_TRUE(LauncherFolder(launcher, folder));
    EXPECT_EQ(folder, path.substr(0, path.rfind(L'\\')));
}

TEST(PerUserConfigurationPath, FromAppDataOfAnyLength) {
    TempFolder folder;
    Launcher launcher;
    launcher.ProductName = L"Acme: Tool?";
    launcher.ProductCode = L"7";
    {
        ScopedEnvironmentVariable appData(L"APPDATA", folder.Path().c_str());
        EXPECT_EQ(PerUserConfigurationPath(launcher, L"C:\\x\\tool.exe", false),
                  folder / L"Acme Tool\\7\\tool.ini");
        EXPECT_FALSE(test_support::IsFolder(folder / L"Acme Tool"));
        PerUserConfigurationPath(launcher, L"C:\\x\\tool.exe", true);
        EXPECT_TRUE(test_support::IsFolder(folder / L"Acme Tool\\7"));
    }
    std::wstring longAppData = L"C:\\" + std::wstring(600, L'p');
    {
        ScopedEnvironmentVariable appData(L"APPDATA", longAppData.c_str());
        EXPECT_EQ(PerUserConfigurationPath(launcher, L"tool.exe", false),
                  longAppData + L"\\Acme Tool\\7\\tool.ini");
    }
    {
        // Without a per-user folder there is no per-user file, never one at the drive root.
        ScopedEnvironmentVariable appData(L"APPDATA", nullptr);
        EXPECT_EQ(PerUserConfigurationPath(launcher, L"tool.exe", false), L"");
    }
    EXPECT_EQ(PairPerUserConfigurationPath(launcher), L"");
}

TEST(ReadConfiguration, FillsEveryKeyOfTheLauncher) {
    TempFolder folder;
    ScopedEnvironmentVariable appData(L"APPDATA", (folder / L"appdata").c_str());
    ASSERT_TRUE(test_support::WriteBytes(folder / L"app.ini",
                                         "[Product Information]\r\n"
                                         "Product Name=Acme\r\n"
                                         "Product Code=42\r\n"
                                         "[Java Runtime Environment]\r\n"
                                         "Minimum Version=1.6\r\n"
                                         "Maximum Version=1.8\r\n"
                                         "Preferred versions=1.7;;1.6;\r\n"
                                         "JRE Path=jre\r\n"
                                         "JVM Type=favor_server\r\n"
                                         "JVM Source=only_JRE\r\n"
                                         "VM Provider=IBM\r\n"
                                         "Main Class=com.example.App\r\n"
                                         "System Path=C:\\tools\r\n"
                                         "Library Path=lib\\native\r\n"
                                         "[Application]\r\n"
                                         "Failure Check=YES\r\n"
                                         "Override WorkingDir=yes\r\n"
                                         "Pair Product=vmboot32.exe\r\n"
                                         "Pair Return Code=Yes\r\n"));
    TestLauncher test(folder);
    Launcher& launcher = test.launcher;
    ASSERT_TRUE(ReadConfiguration(launcher));

    EXPECT_EQ(launcher.ProductName, L"Acme");
    EXPECT_EQ(launcher.ProductCode, L"42");
    const VersionNumber& minimum = launcher.Criteria.MinimumVersion;
    const VersionNumber& maximum = launcher.Criteria.MaximumVersion;
    EXPECT_EQ((std::vector<int>{minimum.components[0], minimum.components[1], minimum.components[2],
                                minimum.components[3]}),
              (std::vector<int>{1, 6, 0, 0}));
    EXPECT_EQ((std::vector<int>{maximum.components[0], maximum.components[1], maximum.components[2],
                                maximum.components[3]}),
              (std::vector<int>{1, 8, 65535, 65535}));
    EXPECT_EQ(launcher.Criteria.PreferredVersions,
              (std::vector<std::wstring>{L"1.7", L"", L"1.6"}));
    EXPECT_EQ(launcher.JrePath, folder / L"jre");
    EXPECT_EQ(launcher.Criteria.JvmType, JvmTypeMode::FavorServer);
    EXPECT_FALSE(launcher.Criteria.BothKinds);
    EXPECT_TRUE(launcher.Criteria.WantJre);
    EXPECT_FALSE(launcher.Criteria.WantJdk);
    EXPECT_TRUE(launcher.Criteria.Ibm.allowed);
    EXPECT_FALSE(launcher.Criteria.Sun.allowed);
    EXPECT_TRUE(launcher.KeepVmThreadParked);
    EXPECT_EQ(launcher.MainClassName, L"com/example/App");
    EXPECT_EQ(launcher.SystemPath, L"C:\\tools");
    EXPECT_EQ(launcher.LibraryPath, L"lib\\native");
    EXPECT_FALSE(launcher.IsServiceApplication);
    EXPECT_TRUE(launcher.FailureCheck);
    EXPECT_TRUE(launcher.OverrideWorkingDir);
    EXPECT_EQ(launcher.PairProduct, L"vmboot32.exe");
    EXPECT_TRUE(launcher.PairReturnCode);

    const Decision* mainClass = test.log.Find("key", "key", L"Main Class");
    EXPECT_EQ(Field(mainClass, "value"), L"com.example.App");
    EXPECT_EQ(Field(mainClass, "source"), L"file");
    EXPECT_EQ(Field(test.log.Find("key", "key", L"Cmd"), "source"), L"<no decision>");
    EXPECT_EQ(Field(test.log.Find("key", "key", L"JVM Source"), "value"), L"only_JRE");
    EXPECT_EQ(Field(test.log.Find("outcome", "result", L"ok"), "result"), L"ok");
}

TEST(ReadConfiguration, WordsCompareAsTheirKeysSay) {
    TempFolder folder;
    ScopedEnvironmentVariable appData(L"APPDATA", (folder / L"appdata").c_str());
    ASSERT_TRUE(test_support::WriteBytes(folder / L"app.ini",
                                         "[Java Runtime Environment]\r\n"
                                         "Main Class=a/b/C\r\n"
                                         "JVM Type=Server\r\n"
                                         "VM Provider=jrockit\r\n"
                                         "Maximum Version=any\r\n"
                                         "[Application]\r\n"
                                         "Application Type=Service\r\n"
                                         "Failure Check=true\r\n"
                                         "Pair Return Code=no\r\n"));
    TestLauncher test(folder);
    ASSERT_TRUE(ReadConfiguration(test.launcher));
    EXPECT_FALSE(test.launcher.IsServiceApplication);
    EXPECT_EQ(test.launcher.Criteria.JvmType, JvmTypeMode::AnyVm);
    EXPECT_FALSE(test.launcher.KeepVmThreadParked);
    EXPECT_TRUE(test.launcher.Criteria.JRockit.favoured);
    EXPECT_FALSE(test.launcher.FailureCheck);
    EXPECT_FALSE(test.launcher.PairReturnCode);
    EXPECT_EQ(test.launcher.MainClassName, L"a/b/C");
    EXPECT_EQ(test.launcher.Criteria.MaximumVersion.components[0], 65535);
    // No JRE Path: the launcher's own folder is tried first.
    EXPECT_EQ(test.launcher.JrePath, folder.Path() + L"\\");
    EXPECT_FALSE(test.launcher.JrePathConfigured);
}

TEST(ReadConfiguration, MissingFileOrMainClassFailsWithMessage210) {
    TempFolder folder;
    for (const char* text : {static_cast<const char*>(nullptr),
                             "[Java Runtime Environment]\r\n"
                             "Main Class=   \r\n"}) {
        if (text) {
            ASSERT_TRUE(test_support::WriteBytes(folder / L"app.ini", text));
        }
        TestLauncher test(folder);
        EXPECT_FALSE(ReadConfiguration(test.launcher));
        const Decision* message = test.log.Find("message", "id", L"210");
        EXPECT_NE(message, nullptr) << (text ? "empty Main Class" : "no file");
    }
}

TEST(ReadConfiguration, ModulePathWithoutAnyDotFailsWithoutAMessage) {
    TempFolder folder;
    TestLauncher test(folder, L"app");
    EXPECT_FALSE(ReadConfiguration(test.launcher));
    EXPECT_EQ(test.log.Find("message", "id", L"210"), nullptr);
    EXPECT_NE(test.log.Find("outcome", "result", L"fail"), nullptr);
}

TEST(ReadConfiguration, AppendSectionsReachLayeredKeysOnly) {
    TempFolder folder;
    ASSERT_TRUE(test_support::WriteBytes(folder / L"app.ini",
                                         "[Product Information+]\r\n"
                                         "Product Name=ignored\r\n"
                                         "[Java Runtime Environment+]\r\n"
                                         "Main Class=com.example.App\r\n"
                                         "[Application]\r\n"
                                         "Pair Product=p.exe\r\n"
                                         "[Application+]\r\n"
                                         "Pair Product=hidden.exe\r\n"));
    TestLauncher test(folder);
    ASSERT_TRUE(ReadConfiguration(test.launcher));
    EXPECT_EQ(test.launcher.ProductName, L"");
    EXPECT_EQ(test.launcher.MainClassName, L" com/example/App");
    EXPECT_EQ(test.launcher.PairProduct, L"p.exe");
    EXPECT_EQ(Field(test.log.Find("key", "key", L"Main Class"), "source"), L"append");
}

// The per-user file remembers the folder picked in the dialog beside the application's own
// "JRE Path", which it no longer hides: an empty or stale remembered value leaves it in use.
TEST(ReadConfiguration, PerUserFileRemembersAFolderBesideTheApplicationsOwn) {
    TempFolder folder;
    ScopedEnvironmentVariable appData(L"APPDATA", folder.Path().c_str());
    ASSERT_TRUE(test_support::WriteBytes(folder / L"app.ini",
                                         "[Product Information]\r\n"
                                         "Product Name=Acme\r\nProduct Code=1\r\n"
                                         "[Java Runtime Environment]\r\n"
                                         "Main Class=M\r\nJRE Path=D:\\shipped\\\r\n"));
    {
        TestLauncher test(folder);
        ASSERT_TRUE(ReadConfiguration(test.launcher));
        EXPECT_EQ(test.launcher.JrePath, L"D:\\shipped\\");
        EXPECT_TRUE(test.launcher.JrePathConfigured);
        EXPECT_EQ(test.launcher.RememberedJrePath, L"");
    }
    ASSERT_TRUE(::CreateDirectoryW((folder / L"Acme").c_str(), nullptr));
    ASSERT_TRUE(::CreateDirectoryW((folder / L"Acme\\1").c_str(), nullptr));
    ASSERT_TRUE(test_support::WriteBytes(folder / L"Acme\\1\\app.ini",
                                         "[Java Runtime Environment]\r\nJRE Path=\r\n"));
    {
        TestLauncher test(folder);
        ASSERT_TRUE(ReadConfiguration(test.launcher));
        EXPECT_EQ(test.launcher.JrePath, L"D:\\shipped\\");
        EXPECT_EQ(test.launcher.RememberedJrePath, L"");
    }
    ASSERT_TRUE(test_support::WriteBytes(folder / L"Acme\\1\\app.ini",
                                         "[Java Runtime Environment]\r\nJRE Path=\\\\srv\\jre\r\n"
                                         "[Java Runtime Environment+]\r\nJRE Path=x\r\n"));
    {
        TestLauncher test(folder);
        ASSERT_TRUE(ReadConfiguration(test.launcher));
        EXPECT_EQ(test.launcher.JrePath, L"D:\\shipped\\");
        EXPECT_EQ(test.launcher.RememberedJrePath, L"\\\\srv\\jre");
    }
    // A service reads its own file, whatever the per-user file says.
    ASSERT_TRUE(test_support::WriteBytes(folder / L"app.ini",
                                         "[Product Information]\r\n"
                                         "Product Name=Acme\r\nProduct Code=1\r\n"
                                         "[Java Runtime Environment]\r\nMain Class=M\r\n"
                                         "[Java Runtime Environment+]\r\nJRE Path=C:\\svc\r\n"
                                         "[Application]\r\nApplication Type=service\r\n"));
    {
        TestLauncher test(folder);
        ASSERT_TRUE(ReadConfiguration(test.launcher));
        EXPECT_TRUE(test.launcher.IsServiceApplication);
        // From the append section alone: one leading space, so it is no absolute form.
        EXPECT_EQ(test.launcher.JrePath, folder.Path() + L"\\ C:\\svc");
        EXPECT_EQ(test.launcher.RememberedJrePath, L"");
    }
}

TEST(RememberJrePath, PerUserFilesForAnApplication) {
    TempFolder folder;
    ScopedEnvironmentVariable appData(L"APPDATA", folder.Path().c_str());
    Launcher launcher;
    launcher.ExecutablePathOverride = folder / L"app.exe";
    launcher.ProductName = L"Acme";
    launcher.ProductCode = L"1";
    launcher.PairProduct = L"C:\\other\\app32.exe";

    launcher.DryRun = true;
    RememberJrePath(launcher, L"D:\\jre");
    EXPECT_FALSE(test_support::IsFolder(folder / L"Acme"));

    launcher.DryRun = false;
    RememberJrePath(launcher, L"D:\\jre");
    EXPECT_EQ(Read(folder / L"Acme\\1\\app.ini", L"Java Runtime Environment", L"JRE Path"),
              L"D:\\jre\\");
    EXPECT_EQ(Read(folder / L"Acme\\1\\app32.ini", L"Java Runtime Environment", L"JRE Path"),
              L"D:\\jre\\");
    EXPECT_FALSE(test_support::IsFile(folder / L"app.ini"));
}

TEST(RememberJrePath, PerUserFilesKeepFoldersOutsideTheCodePage) {
    TempFolder folder;
    ScopedEnvironmentVariable appData(L"APPDATA", folder.Path().c_str());
    Launcher launcher;
    launcher.ExecutablePathOverride = folder / L"app.exe";
    launcher.ProductName = L"Acme";
    launcher.ProductCode = L"1";
    launcher.PairProduct = L"app32.exe";
    const std::wstring runtime = L"C:\\Users\\\u7530\u4E2D\\\u0395\u03BB\u03BB\u03AC\\\U0001F600\\jdk\\";
    RememberJrePath(launcher, runtime);
    for (const wchar_t* name : {L"Acme\\1\\app.ini", L"Acme\\1\\app32.ini"}) {
        EXPECT_EQ(Read(folder / name, L"Java Runtime Environment", L"JRE Path"), runtime) << name;
        std::ifstream file((folder / name).c_str(), std::ios::binary);
        char mark[2] = {};
        file.read(mark, 2);
        EXPECT_EQ(std::string(mark, 2), "\xFF\xFE") << name;
    }
    // An existing file is written as it is: no mark is put in front of its text.
    std::wstring shipped = folder / L"Acme\\1\\app.ini";
    ::DeleteFileW(shipped.c_str());
    std::ofstream(shipped.c_str(), std::ios::binary) << "[Java Runtime Environment]\r\nJRE Path=x\r\n";
    RememberJrePath(launcher, L"D:\\jre\\");
    EXPECT_EQ(Read(shipped, L"Java Runtime Environment", L"JRE Path"), L"D:\\jre\\");
    {
        std::ifstream plain(shipped.c_str(), std::ios::binary);
        EXPECT_EQ(plain.get(), '[');
    }
    // ... until a folder comes that its encoding cannot hold: an ANSI file of an older
    // version, or an empty one, becomes UTF-16 with all its other lines.
    const std::pair<const char*, std::string> existing[] = {
        {"ANSI", "; kept\r\n[Other]\r\nName=Caf\xE9\r\n[Java Runtime Environment]\r\nJRE Path=x\r\n"},
        {"empty", ""},
    };
    for (const auto& [name, text] : existing) {
        ASSERT_TRUE(test_support::WriteBytes(shipped, text)) << name;
        RememberJrePath(launcher, runtime);
        EXPECT_EQ(Read(shipped, L"Java Runtime Environment", L"JRE Path"), runtime) << name;
        const std::string bytes = test_support::ReadBytes(shipped);
        EXPECT_EQ(bytes.substr(0, 2), "\xFF\xFE") << name;
        if (!text.empty()) {
            EXPECT_EQ(Read(shipped, L"Other", L"Name"), L"Caf\u00E9") << name;
            const std::wstring start(reinterpret_cast<const wchar_t*>(bytes.data() + 2), 8);
            EXPECT_EQ(start, L"; kept\r\n") << name;
        }
    }
}

TEST(RememberJrePath, BesideTheExecutablesForAService) {
    TempFolder folder;
    ScopedEnvironmentVariable appData(L"APPDATA", (folder / L"appdata").c_str());
    Launcher launcher;
    launcher.ExecutablePathOverride = folder / L"svc.exe";
    launcher.IsServiceApplication = true;
    launcher.PairProduct = folder / L"svc32.exe";
    RememberJrePath(launcher, L"D:\\jre\\");
    EXPECT_EQ(Read(folder / L"svc.ini", L"Java Runtime Environment", L"JRE Path"), L"D:\\jre\\");
    EXPECT_EQ(Read(folder / L"svc32.ini", L"Java Runtime Environment", L"JRE Path"), L"D:\\jre\\");
    EXPECT_FALSE(test_support::IsFolder(folder / L"appdata"));

    // A pair product whose own name has no "." has no configuration file to write, even in
    // a folder whose name has one.
    std::wstring dotted = folder / L"Tool 2.0";
    ASSERT_TRUE(::CreateDirectoryW(dotted.c_str(), nullptr));
    launcher.ExecutablePathOverride = dotted + L"\\svc.exe";
    launcher.PairProduct = L"svc32";
    RememberJrePath(launcher, L"F:\\j\\");
    EXPECT_FALSE(test_support::IsFile(folder / L"Tool 2.ini"));
    EXPECT_EQ(Read(dotted + L"\\svc.ini", L"Java Runtime Environment", L"JRE Path"), L"F:\\j\\");

    // A pair product without a "." has no configuration file to write.
    launcher.PairProduct = L"noextension";
    launcher.ExecutablePathOverride = folder / L"other.exe";
    RememberJrePath(launcher, L"E:\\j");
    EXPECT_EQ(Read(folder / L"other.ini", L"Java Runtime Environment", L"JRE Path"), L"E:\\j\\");
}

TEST(ReadNotedSetting, RecordsFileValueAndLayer) {
    TempFolder folder;
    std::wstring path = folder / L"app.ini";
    ASSERT_TRUE(test_support::WriteBytes(path,
                                         "[Display]\r\nSplash Screen=s.png\r\n"
                                         "[Application+]\r\nCmd=-v\r\n"));
    RecordingLog log;
    Launcher launcher;
    launcher.Decisions = &log;
    LayeredSettingsStore layered(path);
    EXPECT_EQ(ReadNotedSetting(launcher, layered, L"Application", L"Cmd"), L" -v");
    // The plain read of the same store's file base ignores the append section.
    EXPECT_EQ(ReadNotedSetting(launcher, layered.File(), L"Application", L"Cmd"), L"");
    IniSettingsStore plain(path);
    EXPECT_EQ(ReadNotedSetting(launcher, plain, L"Display", L"Splash Screen"), L"s.png");

    ASSERT_EQ(log.decisions.size(), 3u);
    EXPECT_EQ(Field(&log.decisions[0], "source"), L"append");
    EXPECT_EQ(Field(&log.decisions[0], "file"), path);
    EXPECT_EQ(Field(&log.decisions[1], "source"), L"absent");
    EXPECT_EQ(Field(&log.decisions[2], "source"), L"file");
    EXPECT_EQ(Field(&log.decisions[2], "value"), L"s.png");
    EXPECT_EQ(Field(&log.decisions[2], "section"), L"Display");
}
