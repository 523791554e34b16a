#pragma once

#include "config/criteria.h"
#include "discovery/runtime_sources.h"

#include <string>
#include <string_view>
#include <vector>

class Launcher;

/// Finds the runtime (JRE Path, the runtime beside the executable, the registry) and fills
/// VmLibraryPath, or asks the user with the missing-runtime dialog. False ends the launch.
bool DiscoverRuntime(Launcher& launcher);

/// Reads the PE header of VmLibraryPath when there is a pair product and sets LaunchPairFlag
/// when the library belongs to the other processor. Clears the flag first.
void CheckVmLibraryMachine(Launcher& launcher);

/// The VM library of a runtime folder (ending in a backslash) on disk, for `mode`.
VmLibraryLocation LocateVmLibrary(const std::wstring& folder, JvmTypeMode mode);

/// "jre64\" in the 64-bit build, "jre\" in the 32-bit build.
const wchar_t* PrivateRuntimeFolder();
