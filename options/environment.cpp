#include "options/environment.h"

#include "core/path_utils.h"

RuntimeFolders DeriveRuntimeFolders(std::wstring_view vmLibraryPath) {
    RuntimeFolders folders;
    folders.Home = StripPathLevels(vmLibraryPath, 3);
    folders.Bin = StripPathLevels(vmLibraryPath, 2);
    std::size_t slash = folders.Bin.rfind(L'\\');
    if (slash != std::wstring::npos) folders.Lib.assign(folders.Bin, 0, slash + 1);
    folders.Lib += L"lib";
    return folders;
}

std::wstring LibraryPathText(std::wstring_view libraryPath, std::wstring_view launcherFolder,
                             std::wstring_view runtimeLib) {
    std::wstring text(libraryPath);
    if (text.empty() || text.back() != L';') text += L';';
    // The current folder comes last, where the java command puts it.
    text.append(launcherFolder).append(L"\\;%Path%;").append(runtimeLib).append(L";.");
    return text;
}

std::wstring SearchPathText(std::wstring_view systemPath, std::wstring_view runtimeBin) {
    std::wstring text(systemPath);
    if (!text.empty() && text.back() != L';') text += L';';
    text.append(L"%Path%;").append(runtimeBin);
    return text;
}

std::wstring WorkingFolderOf(std::wstring_view modulePath) {
    std::size_t slash = modulePath.rfind(L'\\');
    if (slash == std::wstring_view::npos || slash == 0) return {};
    std::wstring folder(modulePath.substr(0, slash));
    // "C:" alone names the drive's current directory, not its root.
    if (folder.size() == 2 && folder[1] == L':') folder += L'\\';
    return folder;
}
