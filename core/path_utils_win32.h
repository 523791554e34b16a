#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "core/unique_handle_win32.h"

/// A one-shot search: keeps the open search handle and the first match. Paths of 260 or
/// more characters are searched in the long-path form; paths over 32766 are refused.
class FileFinder {
  public:
    /// True when an entry matches `path` (a path or a wildcard pattern). On false the
    /// thread's last error says why (ERROR_INVALID_NAME when the full path cannot be formed).
    bool FindFile(std::wstring_view path);
    /// Searches "*.*" in the current directory.
    bool FindFile() { return FindFile(L"*.*"); }

    bool Found() const { return found_; }
    const WIN32_FIND_DATAW& Data() const { return data_; }
    void Close();

  private:
    UniqueFindHandle handle_;
    WIN32_FIND_DATAW data_{};
    bool found_ = false;
};

/// The full path Windows makes of `path` (against the current folder); `path` itself when
/// none can be formed.
std::wstring FullPathName(const std::wstring& path);

/// True when some file or folder matches the exact path.
bool PathExists(std::wstring_view path);

/// RemoveDirectoryW, with "\\?\" in front of a path of 260 or more characters.
bool RemoveDirectoryLong(const std::wstring& path);

/// Creates every missing folder above the file `path` (never the file's own name).
/// 0 when the folder of the file exists afterwards, else the Windows error of the level
/// that failed.
DWORD CreateParentFolders(const std::wstring& path);

/// Replaces %NAME% references in place with the Windows rules: undefined names stay as
/// written. A failing expansion leaves the text unchanged.
void ExpandEnvironment(std::wstring& text);

/// An environment variable of any length; empty when it is not set.
std::wstring EnvironmentVariable(const wchar_t* name);
