#pragma once

#include <string>

class Launcher;

/// Makes the launcher's folder the current directory.
void SetWorkingDirectoryToLauncherFolder(const Launcher& launcher);
/// Publishes the runtime in QL_JVM_PATH and QL_JVM_HOME, adds the library path option and
/// rewrites "Path" (configured folders first, the runtime's bin folder last).
void SetupLibraryPathAndEnvironment(Launcher& launcher);
/// QL_JVM_PATH = the VM library, QL_JVM_HOME = the runtime folder three levels above it.
void SetRuntimeEnvironmentVariables(const Launcher& launcher, const std::wstring& vmLibraryPath);
