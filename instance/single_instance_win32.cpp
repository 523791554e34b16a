#include "instance/single_instance_win32.h"

#include "core/launcher_win32.h"

bool InitSingleInstance(Launcher& launcher) { return true; }
int WaitForPrimaryInstance(Launcher& launcher) { return 0; }
void ShutdownSingleInstance(Launcher& launcher) {}
