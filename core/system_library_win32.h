#pragma once

#include <windows.h>

#include <string>

#include "core/unique_handle_win32.h"

/// A DLL of the system folder, loaded when a feature first needs it and kept for the life of
/// the process (windows of its classes may outlive the caller). Only the system folder is
/// searched, never the application's. Null when it cannot be loaded.
HMODULE LoadSystemLibrary(const wchar_t* name);

/// An export of a system DLL, loaded on demand; null when the DLL or the export is missing
/// (older systems lack some, e.g. SHGetPathFromIDListEx before Windows 7).
template <typename Fn>
Fn SystemFunction(const wchar_t* library, const char* name) {
    HMODULE module = LoadSystemLibrary(library);
    return module ? GetProcAddressAs<Fn>(module, name) : nullptr;
}

using AddDllDirectoryFunction = void*(WINAPI*)(PCWSTR);
/// AddDllDirectory of this system, or null where it is missing (Vista, 7 without update
/// KB2533623). Never imported: an import would keep the executables from starting at all on
/// those systems, which the manifest declares.
AddDllDirectoryFunction ResolveAddDllDirectory();

/// Whether two paths name the same existing file: equal ignoring letter case, or the same
/// file identity (another spelling, a short name, a link).
bool IsSameFile(const std::wstring& a, const std::wstring& b);
