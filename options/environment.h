#pragma once

#include <string>
#include <string_view>

// The folders derived from the chosen jvm.dll and the texts that put them on the native
// library path and on "Path". The %Path% reference in the texts is expanded by the caller.

/// For C:\rt\bin\server\jvm.dll: Home C:\rt, Lib C:\rt\lib, Bin C:\rt\bin.
struct RuntimeFolders {
    std::wstring Home;
    std::wstring Lib;
    std::wstring Bin;
};
RuntimeFolders DeriveRuntimeFolders(std::wstring_view vmLibraryPath);

/// "LibraryPath;LauncherFolder\;%Path%;runtime lib;." with exactly one ";" between parts.
std::wstring LibraryPathText(std::wstring_view libraryPath, std::wstring_view launcherFolder,
                             std::wstring_view runtimeLib);

/// "SystemPath;%Path%;runtime bin" (SystemPath and its ";" only when it is not empty).
std::wstring SearchPathText(std::wstring_view systemPath, std::wstring_view runtimeBin);

/// The folder to make current for "Override WorkingDir": the executable path cut before
/// its last "\" when that lies past the first character (a drive root keeps its "\");
/// empty when there is none.
std::wstring WorkingFolderOf(std::wstring_view modulePath);
