#pragma once

#include <optional>
#include <string>
#include <string_view>

// The pure rules behind the configuration paths and keys; the Win32 layer supplies the
// module path, "APPDATA" and the files.

inline constexpr wchar_t kProductSection[] = L"Product Information";
inline constexpr wchar_t kRuntimeSection[] = L"Java Runtime Environment";
inline constexpr wchar_t kClassPathSection[] = L"Class Path";
inline constexpr wchar_t kApplicationSection[] = L"Application";
inline constexpr wchar_t kDisplaySection[] = L"Display";
inline constexpr wchar_t kJrePathKey[] = L"JRE Path";

/// The path up to and including its last "." followed by "ini"; none when the path has no
/// "." anywhere (a "." in a folder name counts: C:\my.app\tool gives C:\my.ini).
std::optional<std::wstring> ConfigurationPathFor(std::wstring_view executablePath);

/// The executable path up to, not including, its last "\" (empty without one).
std::wstring LauncherFolderOf(std::wstring_view executablePath);

/// The name with every \ ? " | > < : / * removed.
std::wstring SanitizeFolderName(std::wstring_view name);

/// The per-user configuration file of an executable and the two folders above it.
struct PerUserLocation {
    std::wstring ProductFolder;  ///< APPDATA\<sanitised product name>
    std::wstring CodeFolder;     ///< ProductFolder\<product code>
    std::wstring File;           ///< CodeFolder\<base name>.ini
};

/// APPDATA, the sanitised product name and code, and the executable's base name
/// (after its last "\", cut before its last ".") with ".ini". All three empty when APPDATA
/// is not an absolute path ("X:..." or "\\server..."; unset included): no per-user file.
PerUserLocation PerUserLocationFor(std::wstring_view appData, std::wstring_view productName,
                                   std::wstring_view productCode, std::wstring_view executablePath);

/// "JRE Path" made absolute: a value starting with "\\" or whose second character is ":"
/// stays; anything else (the empty value included) is appended to the launcher folder
/// after a "\".
std::wstring ResolveJrePath(std::wstring_view value, std::wstring_view launcherFolder);

/// The main class with every "." replaced by "/".
std::wstring MainClassSlashForm(std::wstring_view mainClass);

/// "Main Module": a module name, optionally followed by "/" and the class to start.
struct MainModuleSetting {
    std::wstring Module;  ///< the name before the first "/"
    std::wstring Class;   ///< dotted ("/" in it read as "."); empty = the module's own main class
};
MainModuleSetting ParseMainModule(std::wstring_view value);

/// "module" or "module/class": what the runtime's launcher helper takes in module mode.
std::wstring ModuleLaunchTarget(const MainModuleSetting& setting);

/// "Yes" in any letter case.
bool IsYesFlag(std::wstring_view value);

/// The "Pair Product" path to start or to write beside: a relative value is taken from the
/// launcher folder (not from the current directory, nor the profile functions' Windows
/// folder); an absolute one stays; empty stays empty.
std::wstring ResolvePairProductPath(std::wstring_view value, std::wstring_view launcherFolder);

/// The configuration file beside the pair product, for a service: none when the value's
/// own file name has no "." (a "." in the launcher's folder, "C:\Apps\Tool 2.0\", does not
/// count).
std::optional<std::wstring> PairConfigurationPathFor(std::wstring_view value,
                                                     std::wstring_view launcherFolder);
