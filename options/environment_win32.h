#pragma once

class Launcher;

/// Makes the launcher's folder the current directory.
void SetWorkingDirectoryToLauncherFolder(const Launcher& launcher);
/// Publishes the runtime in QL_JVM_PATH and QL_JVM_HOME, adds the library path option and
/// rewrites "Path" (configured folders first, the runtime's bin folder last).
void SetupLibraryPathAndEnvironment(Launcher& launcher);
