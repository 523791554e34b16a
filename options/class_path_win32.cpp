#include "options/class_path_win32.h"

#include "config/configuration_win32.h"
#include "config/settings_store_win32.h"
#include "core/launcher_win32.h"
#include "options/path_utils_win32.h"

std::wstring AssembleClassPath(const Launcher& launcher, LayeredSettingsStore& store) {
    std::wstring value;
    store.GetString(L"Class Path", L"Class Path", value);
    std::wstring folder;
    if (!LauncherFolder(launcher, folder)) return {};
    Win32DirectoryLister files;
    std::wstring classPath = AssembleClassPath(
        value, folder, [](std::wstring& entry) { ExpandEnvironment(entry); }, files);
    NoteDecision(launcher.Decisions, "options", "class-path",
                 {{"value", value}, {"launcherFolder", folder}, {"result", classPath}});
    return classPath;
}

std::wstring AssembleModulePath(const Launcher& launcher, LayeredSettingsStore& store) {
    std::wstring value;
    store.GetString(L"Java Runtime Environment", L"Module Path", value);
    std::wstring folder;
    if (!LauncherFolder(launcher, folder)) return {};
    Win32DirectoryLister files;
    std::wstring modulePath = AssembleClassPath(
        value, folder, [](std::wstring& entry) { ExpandEnvironment(entry); }, files);
    // The module system reads an empty element as the current directory.
    if (!modulePath.empty() && modulePath.back() == L';') modulePath.pop_back();
    NoteDecision(launcher.Decisions, "options", "module-path",
                 {{"value", value}, {"launcherFolder", folder}, {"result", modulePath}});
    return modulePath;
}
