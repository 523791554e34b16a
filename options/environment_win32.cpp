#include "options/environment_win32.h"

#include "core/launcher_win32.h"

void SetWorkingDirectoryToLauncherFolder(const Launcher& launcher) {}
void SetupLibraryPathAndEnvironment(Launcher& launcher) {}
