#pragma once

class Launcher;

/// Finds the runtime (JRE Path, the runtime beside the executable, the registry) and fills
/// VmLibraryPath, or asks the user with the missing-runtime dialog. False ends the launch.
bool DiscoverRuntime(Launcher& launcher);
