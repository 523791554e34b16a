#pragma once

#include <string>

class Launcher;

/// Loads jvm.dll and resolves its entry points; shows 222 or 202/212 on failure.
bool LoadVmLibrary(Launcher& launcher, const std::wstring& path);
/// Asks the VM library for its default thread stack size when none was configured.
void QueryDefaultStackSize(Launcher& launcher);
/// Creates the VM with VmOptions plus the "abort" and "exit" hooks, then redirects output.
bool CreateVm(Launcher& launcher);
/// Loads the main class and runs main with ApplicationArguments.
bool InvokeMainClass(Launcher& launcher);
/// DestroyJavaVM (waits for the program's non-daemon threads) when a VM exists.
void DestroyVm(Launcher& launcher);
