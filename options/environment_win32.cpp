#include "options/environment_win32.h"

#include "config/configuration_win32.h"
#include "core/launcher_win32.h"
#include "options/environment.h"
#include "core/path_utils_win32.h"
#include "options/vm_options_win32.h"

void SetWorkingDirectoryToLauncherFolder(const Launcher& launcher) {
    std::wstring module;
    if (!ModulePath(launcher, module)) return;
    std::wstring folder = WorkingFolderOf(module);
    NoteDecision(launcher.Decisions, "environment", "working-directory", {{"folder", folder}});
    if (folder.empty() || launcher.DryRun) return;
    ::SetCurrentDirectoryW(folder.c_str());
}

void SetRuntimeEnvironmentVariables(const Launcher& launcher, const std::wstring& vmLibraryPath) {
    RuntimeFolders folders = DeriveRuntimeFolders(vmLibraryPath);
    NoteDecision(launcher.Decisions, "environment", "runtime-variables",
                 {{"QL_JVM_PATH", vmLibraryPath}, {"QL_JVM_HOME", folders.Home}});
    if (launcher.DryRun) return;
    ::SetEnvironmentVariableW(L"QL_JVM_PATH", vmLibraryPath.c_str());
    ::SetEnvironmentVariableW(L"QL_JVM_HOME", folders.Home.c_str());
}

void SetLauncherFolderVariable(const Launcher& launcher) {
    std::wstring folder;
    if (!LauncherFolder(launcher, folder)) return;
    // Also in a dry run: only vmbootcheck's own environment changes, and its report then
    // shows the options as the launcher expands them (the folder is the class path's
    // "launcherFolder").
    ::SetEnvironmentVariableW(kLauncherFolderVariable, folder.c_str());
}

void SetupLibraryPathAndEnvironment(Launcher& launcher) {
    SetLauncherFolderVariable(launcher);
    SetRuntimeEnvironmentVariables(launcher, launcher.VmLibraryPath);
    RuntimeFolders folders = DeriveRuntimeFolders(launcher.VmLibraryPath);

    if (!launcher.LibraryPath.empty()) {
        std::wstring launcherFolder;
        LauncherFolder(launcher, launcherFolder);
        // Expanded before "Path" changes below, so %Path% is the value the process had.
        std::wstring text = LibraryPathText(launcher.LibraryPath, launcherFolder, folders.Lib);
        // The folders inherited from "Path" are not the application's: one that the code
        // page cannot carry is passed on as it converts, while the configured folders, the
        // launcher's and the runtime's must arrive intact.
        std::size_t reference = text.rfind(L"%Path%");
        std::wstring before = text.substr(0, reference);
        std::wstring inherited = L"%Path%";
        std::wstring after =
            reference == std::wstring::npos ? std::wstring() : text.substr(reference + 6);
        if (reference == std::wstring::npos) inherited.clear();
        ExpandEnvironment(before);
        ExpandEnvironment(inherited);
        ExpandEnvironment(after);
        AddPathListOption(launcher, L"-Djava.library.path=",
                          {{before, PathNeed::Required},
                           {inherited, PathNeed::Optional},
                           {after, PathNeed::Required}});
        NoteDecision(launcher.Decisions, "environment", "library-path",
                     {{"value", before + inherited + after}});
    }

    std::wstring path = SearchPathText(launcher.SystemPath, folders.Bin);
    ExpandEnvironment(path);
    NoteDecision(launcher.Decisions, "environment", "path", {{"value", path}});
    if (launcher.DryRun) return;
    ::SetEnvironmentVariableW(L"Path", path.c_str());
}
