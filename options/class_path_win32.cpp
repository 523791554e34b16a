#include "options/class_path_win32.h"

#include "config/configuration_win32.h"
#include "config/settings_store_win32.h"
#include "core/launcher_win32.h"
#include "core/path_utils_win32.h"

namespace {

/// A list key with the class path's wildcard and relative-path rules, recorded as `decision`.
std::wstring AssemblePathList(const Launcher& launcher, LayeredSettingsStore& store,
                              const wchar_t* section, const wchar_t* key, const char* decision,
                              std::vector<std::wstring>* unmatched = nullptr) {
    std::wstring value = ReadNotedSetting(launcher, store, section, key);
    std::wstring folder;
    if (!LauncherFolder(launcher, folder)) return {};
    Win32DirectoryLister files;
    std::vector<std::wstring> missing;
    std::wstring list = AssembleClassPath(
        value, folder, [](std::wstring& entry) { ExpandEnvironment(entry); }, files, &missing);
    for (const std::wstring& entry : missing) {
        NoteDecision(launcher.Decisions, "options", "entry-not-found",
                     {{"key", key}, {"entry", entry}});
    }
    if (unmatched) *unmatched = std::move(missing);
    NoteDecision(launcher.Decisions, "options", decision,
                 {{"value", value}, {"launcherFolder", folder}, {"result", list}});
    return list;
}

}  // namespace

std::wstring AssembleClassPath(const Launcher& launcher, LayeredSettingsStore& store,
                               std::vector<std::wstring>* unmatched) {
    return AssemblePathList(launcher, store, L"Class Path", L"Class Path", "class-path", unmatched);
}

std::wstring AssembleModulePath(const Launcher& launcher, LayeredSettingsStore& store) {
    return AssemblePathList(launcher, store, L"Java Runtime Environment", L"Module Path",
                            "module-path");
}
