#include "discovery/discovery_win32.h"

#include "core/launcher_win32.h"

bool DiscoverRuntime(Launcher& launcher) { return false; }
