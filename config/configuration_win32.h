#pragma once

#include <windows.h>

#include <string>

#include "config/settings_store.h"

class IniSettingsStore;
class Launcher;
class LayeredSettingsStore;

/// Reads the configuration keys into the launcher. False ends the launch with -1 (after
/// message 210 when "Main Class" is empty).
bool ReadConfiguration(Launcher& launcher);

/// Remembers a runtime folder the user chose as "JRE Path": beside the executable (and in
/// the pair product's file) for a service application, else in the per-user files. Write
/// failures are ignored; a dry run only records what would be written.
void RememberJrePath(const Launcher& launcher, const std::wstring& folder);

/// The running executable's full path, however long, or `launcher.ExecutablePathOverride`
/// when set. On failure shows template 202 with 208 and returns false.
bool ModulePath(const Launcher& launcher, std::wstring& path);
/// The running executable's full path without any message; false and `error` on failure.
bool QueryModulePath(std::wstring& path, DWORD& error);
/// ModulePath up to, not including, its last "\".
bool LauncherFolder(const Launcher& launcher, std::wstring& folder);
/// ModulePath up to and including its last "." followed by "ini". False (no message of its
/// own) when ModulePath fails or the path has no ".".
bool ConfigurationFilePath(const Launcher& launcher, std::wstring& path);

/// APPDATA\<sanitised "Product Name">\<"Product Code">\<base name>.ini for an executable
/// path; with `create`, the two folders below APPDATA are made first (results ignored).
std::wstring PerUserConfigurationPath(const Launcher& launcher, const std::wstring& executablePath,
                                      bool create);
/// The launcher's own per-user file; empty when ModulePath fails.
std::wstring LauncherPerUserConfigurationPath(const Launcher& launcher, bool create);
/// The pair product's per-user file (folders created); empty without a pair product.
std::wstring PairPerUserConfigurationPath(const Launcher& launcher);
/// "Pair Product" as a path to start: a relative value is taken from the launcher folder.
/// Empty without a pair product or when ModulePath fails.
std::wstring PairProductPath(const Launcher& launcher);

/// A layered read that the diagnostics log records with its file, value and layer; for the
/// steps that read keys after ReadConfiguration (single instance, options).
std::wstring ReadNotedSetting(const Launcher& launcher, LayeredSettingsStore& store,
                              const std::wstring& section, const std::wstring& key);
/// A plain read of the file alone (no append section), recorded likewise; a value found is
/// recorded as coming from `found` (the per-user file says so).
std::wstring ReadNotedSetting(const Launcher& launcher, IniSettingsStore& store,
                              const std::wstring& section, const std::wstring& key,
                              SettingSource found = SettingSource::File);
