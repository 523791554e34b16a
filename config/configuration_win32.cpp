#include "config/configuration_win32.h"

#include "config/configuration.h"
#include "config/settings_store_win32.h"
#include "core/launcher_win32.h"
#include "core/messages_win32.h"
#include "core/text_win32.h"
#include "config/criteria.h"
#include "core/path_utils.h"
#include "core/path_utils_win32.h"
#include "resources/resource_ids.h"

namespace {
void NoteKey(const Launcher& launcher, const std::wstring& file, const std::wstring& section,
             const std::wstring& key, const std::wstring& value, SettingSource source) {
    NoteDecision(launcher.Decisions, "config", "key",
                 {{"file", file},
                  {"section", section},
                  {"key", key},
                  {"value", value},
                  {"source", SettingSourceName(source)}});
}

// "JRE Path" of the application, and the folder remembered for this user. A service keeps
// both in the one file beside the executable, where they cannot be told apart. Anyone else
// has the remembered one in the per-user file; it no longer hides the application's own,
// which is the fallback when the remembered runtime is gone or no longer fits.
std::wstring ReadJrePathValue(Launcher& launcher, LayeredSettingsStore& layered,
                              std::wstring& remembered) {
    remembered.clear();
    if (!launcher.IsServiceApplication) {
        std::wstring perUser = LauncherPerUserConfigurationPath(launcher, false);
        bool exists = !perUser.empty() && PathExists(perUser);
        NoteDecision(launcher.Decisions, "config", "per-user-file",
                     {{"path", perUser}, {"exists", exists ? L"yes" : L"no"}});
        if (exists) {
            IniSettingsStore store(perUser);
            remembered = ReadNotedSetting(launcher, store, kRuntimeSection, kJrePathKey);
        }
    }
    return ReadNotedSetting(launcher, layered, kRuntimeSection, kJrePathKey);
}

void WriteJrePath(const Launcher& launcher, const std::wstring& file, const std::wstring& folder) {
    NoteDecision(
        launcher.Decisions, "config", "remember-jre-path",
        {{"file", file}, {"value", folder}, {"written", launcher.DryRun ? L"no" : L"yes"}});
    if (launcher.DryRun || file.empty()) return;
    // A folder such as C:\Users\田中\jdk that the file's encoding cannot hold turns the
    // file into UTF-16 (the store does that), so it never comes back as "?".
    IniSettingsStore store(file);
    store.WriteString(kRuntimeSection, kJrePathKey, folder);  // A failed write is ignored.
}
}  // namespace

std::wstring ReadNotedSetting(const Launcher& launcher, IniSettingsStore& store,
                              const std::wstring& section, const std::wstring& key,
                              SettingSource found) {
    // Qualified: through a layered store's file base this is still the file alone.
    std::wstring value = store.ReadFileValue(section, key);
    NoteKey(launcher, store.Path(), section, key, value,
            value.empty() ? SettingSource::Absent : found);
    return value;
}

std::wstring ReadNotedSetting(const Launcher& launcher, LayeredSettingsStore& store,
                              const std::wstring& section, const std::wstring& key) {
    LayeredValue value = store.GetStringWithSource(section, key);
    NoteKey(launcher, store.Path(), section, key, value.Value, value.Source);
    return std::move(value.Value);
}

bool QueryModulePath(std::wstring& path, DWORD& error) {
    error = 0;
    // GetModuleFileNameW cuts a long path silently (returning the full capacity): grow instead.
    bool ok = FillGrowingBuffer(path, MAX_PATH, [&](wchar_t* buffer, DWORD capacity) {
        DWORD length = ::GetModuleFileNameW(nullptr, buffer, capacity);
        if (length == 0) {
            error = ::GetLastError();
            return kBufferFailed;
        }
        return length >= capacity ? kGrowBuffer : length;
    });
    if (!ok && error == 0) error = ERROR_INSUFFICIENT_BUFFER;
    return ok;
}

bool ModulePath(const Launcher& launcher, std::wstring& path) {
    if (!launcher.ExecutablePathOverride.empty()) {
        path = launcher.ExecutablePathOverride;
        return true;
    }
    DWORD error = 0;
    if (QueryModulePath(path, error)) return true;
    ReportLaunchWindowsError(launcher, IDS_MODULE_PATH_FAILED, error);
    return false;
}

bool LauncherFolder(const Launcher& launcher, std::wstring& folder) {
    std::wstring path;
    if (!ModulePath(launcher, path)) return false;
    folder = LauncherFolderOf(path);
    return true;
}

bool ConfigurationFilePath(const Launcher& launcher, std::wstring& path) {
    std::wstring module;
    if (!ModulePath(launcher, module)) return false;
    std::optional<std::wstring> configuration = ConfigurationPathFor(module);
    if (!configuration) return false;
    path = std::move(*configuration);
    return true;
}

std::wstring PerUserConfigurationPath(const Launcher& launcher, const std::wstring& executablePath,
                                      bool create) {
    PerUserLocation location =
        PerUserLocationFor(EnvironmentVariable(L"APPDATA"), launcher.ProductName,
                           launcher.ProductCode, executablePath);
    if (location.File.empty()) return {};
    if (create && !launcher.DryRun) {
        // One level each; a failure shows up later as a failed write, which is ignored.
        ::CreateDirectoryW(location.ProductFolder.c_str(), nullptr);
        ::CreateDirectoryW(location.CodeFolder.c_str(), nullptr);
    }
    return location.File;
}

std::wstring LauncherPerUserConfigurationPath(const Launcher& launcher, bool create) {
    std::wstring module;
    if (!ModulePath(launcher, module)) return {};
    return PerUserConfigurationPath(launcher, module, create);
}

std::wstring PairPerUserConfigurationPath(const Launcher& launcher) {
    if (launcher.PairProduct.empty()) return {};
    return PerUserConfigurationPath(launcher, launcher.PairProduct, true);
}

std::wstring PairProductPath(const Launcher& launcher) {
    if (launcher.PairProduct.empty()) return {};
    std::wstring folder;
    if (!LauncherFolder(launcher, folder)) return {};
    return ResolvePairProductPath(launcher.PairProduct, folder);
}

bool ReadConfiguration(Launcher& launcher) {
    std::wstring configurationPath;
    if (!ConfigurationFilePath(launcher, configurationPath)) {
        NoteDecision(launcher.Decisions, "config", "outcome",
                     {{"result", L"fail"}, {"reason", L"no configuration file path"}});
        return false;
    }
    NoteDecision(
        launcher.Decisions, "config", "file",
        {{"path", configurationPath}, {"exists", PathExists(configurationPath) ? L"yes" : L"no"}});

    IniSettingsStore plain(configurationPath);
    launcher.ProductCode = ReadNotedSetting(launcher, plain, kProductSection, L"Product Code");
    launcher.ProductName = ReadNotedSetting(launcher, plain, kProductSection, L"Product Name");

    LayeredSettingsStore layered(configurationPath);
    auto read = [&](const wchar_t* section, const wchar_t* key) {
        return ReadNotedSetting(launcher, layered, section, key);
    };

    RuntimeCriteriaKeys keys;
    keys.MinimumVersion = read(kRuntimeSection, L"Minimum Version");
    keys.MaximumVersion = read(kRuntimeSection, L"Maximum Version");

    launcher.IsServiceApplication = read(kApplicationSection, L"Application Type") == L"service";
    // Read for services as the file format defines it; it changes nothing.
    if (launcher.IsServiceApplication) read(kApplicationSection, L"Omit Service Name");

    keys.PreferredVersions = read(kRuntimeSection, L"Preferred versions");

    std::wstring remembered;
    std::wstring jrePathValue = ReadJrePathValue(launcher, layered, remembered);
    std::wstring module;
    if (!ModulePath(launcher, module)) return false;
    launcher.JrePath = ResolveJrePath(jrePathValue, LauncherFolderOf(module));
    launcher.JrePathConfigured = !jrePathValue.empty();
    launcher.RememberedJrePath =
        remembered.empty() ? std::wstring() : ResolveJrePath(remembered, LauncherFolderOf(module));
    NoteDecision(launcher.Decisions, "config", "jre-path",
                 {{"resolved", launcher.JrePath}, {"remembered", launcher.RememberedJrePath}});

    keys.JvmType = read(kRuntimeSection, L"JVM Type");
    keys.JvmSource = read(kRuntimeSection, L"JVM Source");
    keys.VmProvider = read(kRuntimeSection, L"VM Provider");
    keys.VendorRuntimes = read(kRuntimeSection, L"Vendor Runtimes");
    keys.UseJavaHome = read(kRuntimeSection, L"Use JAVA_HOME");
    launcher.Criteria = BuildSearchCriteria(keys);
    launcher.KeepVmThreadParked = KeepsVmThreadParked(launcher.Criteria);

    std::wstring mainClass = read(kRuntimeSection, L"Main Class");
    std::wstring mainModule = read(kRuntimeSection, L"Main Module");
    if (!mainClass.empty() && !mainModule.empty()) {
        // Starting one of the two silently would hide a configuration mistake.
        NoteDecision(launcher.Decisions, "config", "outcome",
                     {{"result", L"fail"}, {"reason", L"Main Class and Main Module both set"}});
        ReportLaunchError(launcher, IDS_MAIN_CLASS_AND_MODULE);
        return false;
    }
    if (!mainModule.empty()) {
        launcher.MainModule = mainModule;
        MainModuleSetting setting = ParseMainModule(mainModule);
        NoteDecision(launcher.Decisions, "config", "main-module",
                     {{"module", setting.Module},
                      {"class", setting.Class.empty() ? L"(from the module)" : setting.Class}});
    } else if (mainClass.empty()) {
        NoteDecision(launcher.Decisions, "config", "outcome",
                     {{"result", L"fail"}, {"reason", L"Main Class is empty"}});
        ReportLaunchError(launcher, IDS_NO_MAIN_CLASS);
        return false;
    } else {
        launcher.MainClassName = MainClassSlashForm(mainClass);
    }

    launcher.FailureCheck = IsYesFlag(read(kApplicationSection, L"Failure Check"));
    launcher.OverrideWorkingDir = IsYesFlag(read(kApplicationSection, L"Override WorkingDir"));
    launcher.SystemPath = read(kRuntimeSection, L"System Path");
    launcher.LibraryPath = read(kRuntimeSection, L"Library Path");
    launcher.PairProduct = read(kApplicationSection, L"Pair Product");
    launcher.PairReturnCode = IsYesFlag(read(kApplicationSection, L"Pair Return Code"));

    NoteDecision(launcher.Decisions, "config", "outcome", {{"result", L"ok"}});
    return true;
}

void RememberJrePath(const Launcher& launcher, const std::wstring& folder) {
    std::wstring configurationPath;
    if (!ConfigurationFilePath(launcher, configurationPath)) return;
    std::wstring value = folder;
    if (value.empty() || value.back() != L'\\') value += L'\\';

    if (launcher.IsServiceApplication) {
        WriteJrePath(launcher, configurationPath, value);
        if (!launcher.PairProduct.empty()) {
            // A relative name would send the profile functions to the Windows folder.
            std::wstring launcherFolder;
            if (!LauncherFolder(launcher, launcherFolder)) return;
            if (auto pairFile = PairConfigurationPathFor(launcher.PairProduct, launcherFolder)) {
                WriteJrePath(launcher, *pairFile, value);
            }
        }
        return;
    }
    WriteJrePath(launcher, LauncherPerUserConfigurationPath(launcher, true), value);
    if (!launcher.PairProduct.empty()) {
        WriteJrePath(launcher, PairPerUserConfigurationPath(launcher), value);
    }
}
