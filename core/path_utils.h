#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

/// Splits at every occurrence of `delimiter`. Empty inner items stay; a trailing delimiter
/// adds no empty last item; an empty text gives no items.
std::vector<std::wstring> SplitList(std::wstring_view text, std::wstring_view delimiter);

/// Splits an argument text as the Microsoft C runtime splits the arguments after the program
/// name: spaces and tabs outside quotes separate, a double quote anywhere toggles quoting,
/// 2n backslashes before a quote give n and an odd one makes the quote literal, a doubled
/// quote inside quotes is one literal quote; other backslashes are ordinary.
std::vector<std::wstring> SplitArguments(std::wstring_view text);

/// Removes `levels` trailing "\"-separated components (a pass without a "\" changes nothing).
std::wstring StripPathLevels(std::wstring_view path, int levels);

/// True when the path starts with the long-path prefix "\\?\".
bool HasLongPathPrefix(std::wstring_view path);

/// A network path: "\\server..." or the long form "\\?\UNC\...", as PathIsUNCW decides.
bool IsUncPath(std::wstring_view path);

/// "/" as "\", "." and ".." resolved, doubled separators collapsed; the root ("C:\",
/// "\\server\share\", "\") kept as written. ".." never climbs above the root.
std::wstring NormalizePathSeparatorsAndDots(std::wstring_view path);

/// The form of `path` given to file-system calls: unchanged below 260 characters, else
/// with the local ("\\?\") or network ("\\?\UNC\") long-path prefix, never added twice;
/// a path that gets the prefix is normalised first (NormalizePathSeparatorsAndDots).
std::wstring ToLongPathForm(std::wstring_view path);

inline constexpr std::size_t kClassicPathLimit = 260;
inline constexpr std::size_t kMaximumPathLength = 32766;

/// Root (with any long-path prefix) followed by the folder and file names.
std::vector<std::wstring> SplitPathComponents(std::wstring_view path);

/// The folder of an executable path: everything before its last "\" (empty without one).
std::wstring FolderOf(std::wstring_view path);

/// `path` joined to `folder` with one "\\" when it is relative (neither "X:..." nor starting
/// with "\\" or "/"); unchanged otherwise, and when it is empty.
std::wstring AnchorRelativePath(std::wstring_view path, std::wstring_view folder);

/// True for the characters the launcher trims as white space.
bool IsWideSpace(wchar_t c);

/// An ASCII lower-case letter as upper case; every other character unchanged. The one case
/// fold for names that are ASCII by contract (provider names, flags, variable names), which
/// no locale's rules may match differently.
wchar_t AsciiUpper(wchar_t c);

/// Equal but for the case of ASCII letters.
bool EqualsIgnoringAsciiCase(std::wstring_view a, std::wstring_view b);

/// True when `text` ends with `end`, ASCII letters compared without regard to case.
bool EndsWithIgnoringAsciiCase(std::wstring_view text, std::wstring_view end);
