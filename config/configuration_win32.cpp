#include "config/configuration_win32.h"

#include "core/launcher_win32.h"

bool ReadConfiguration(Launcher& launcher) { return true; }

void RememberJrePath(const Launcher& launcher, const std::wstring& folder) {}
