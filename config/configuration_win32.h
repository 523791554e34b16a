#pragma once

#include <string>

class Launcher;

/// Reads the configuration keys into the launcher. False ends the launch with -1 (after
/// message 210 when "Main Class" is empty).
bool ReadConfiguration(Launcher& launcher);

/// Remembers a runtime folder the user chose as "JRE Path": beside the executable (and in
/// the pair product's file) for a service application, else in the per-user files.
void RememberJrePath(const Launcher& launcher, const std::wstring& folder);
