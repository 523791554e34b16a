#include "hosting/vm_win32.h"

#include "core/launcher_win32.h"

bool LoadVmLibrary(Launcher& launcher, const std::wstring& path) { return false; }
void QueryDefaultStackSize(Launcher& launcher) {}
bool CreateVm(Launcher& launcher) { return false; }
bool InvokeMainClass(Launcher& launcher) { return false; }
void DestroyVm(Launcher& launcher) {}
