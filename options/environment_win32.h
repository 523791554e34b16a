#pragma once

#include <string>

class Launcher;

/// Makes the launcher's folder the current directory.
void SetWorkingDirectoryToLauncherFolder(const Launcher& launcher);
/// Publishes the launcher's folder and the runtime (QL_JVM_PATH, QL_JVM_HOME), adds the
/// library path option and rewrites "Path" (configured folders first, the runtime's bin
/// folder last).
void SetupLibraryPathAndEnvironment(Launcher& launcher);
/// The variable that names the launcher's folder (no trailing "\\"), for the options.
inline constexpr wchar_t kLauncherFolderVariable[] = L"QL_APP_HOME";
/// Sets kLauncherFolderVariable before any configured text is expanded.
void SetLauncherFolderVariable(const Launcher& launcher);
/// QL_JVM_PATH = the VM library, QL_JVM_HOME = the runtime folder three levels above it.
void SetRuntimeEnvironmentVariables(const Launcher& launcher, const std::wstring& vmLibraryPath);
