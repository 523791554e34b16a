#pragma once

#include <windows.h>

#include <jni.h>

#include <string>

#include "core/system_library_win32.h"

class Launcher;

/// Loads jvm.dll and resolves its entry points; shows 222 or 202/212 on failure.
bool LoadVmLibrary(Launcher& launcher, const std::wstring& path);
/// The path to load jvm.dll by: its short name when only that one fits the ANSI code page.
std::wstring VmLibraryLoadPath(const Launcher& launcher, const std::wstring& path);
/// For a main module: true when the runtime has a module image (lib\modules beside bin\,
/// as every runtime since 9 has); otherwise shows 266. Runtimes before 9 would refuse the
/// module options with an unexplained creation failure.
bool CheckModuleSupport(Launcher& launcher);
/// Asks the VM library for its default thread stack size when none was configured.
void QueryDefaultStackSize(Launcher& launcher);
/// Creates the VM with the "vfprintf" hook first, then VmOptions, then the "abort" and
/// "exit" hooks. Once it exists, a console build installs its close handler, then
/// System.out and System.err are pointed at OutputFile and ErrorFile.
bool CreateVm(Launcher& launcher);
/// Loads the main class and runs main with ApplicationArguments.
bool InvokeMainClass(Launcher& launcher);
/// Reports an exception that ends a Java call on this thread as the VM reports one that
/// ends a thread: through the thread's uncaught-exception handler (the pending exception is
/// cleared first), or printed when the handler cannot be reached. System.err is flushed
/// afterwards, so that an "Error File" holds the trace before anything else happens.
void ReportUncaughtOnThisThread(JNIEnv* env, jthrowable uncaught);
/// DestroyJavaVM (waits for the program's non-daemon threads) when a VM exists.
/// `JavaVmPointer` stays set meanwhile: other threads may still attach while it waits. The
/// caller clears it afterwards (see ForgetVm).
void DestroyVm(Launcher& launcher);

/// Loads a VM library so that its dependencies are found in `dependencyFolder` too: with
/// `addDllDirectory` through the default directories plus that folder, otherwise (older
/// systems) through the library's own folder and the process "Path". Null on failure, the
/// thread's last error telling why.
HMODULE LoadVmLibraryModule(const std::wstring& path, const std::wstring& dependencyFolder,
                            AddDllDirectoryFunction addDllDirectory);
