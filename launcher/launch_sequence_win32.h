#pragma once

#include <windows.h>

#include "core/launcher_win32.h"

/// The launch: Initialize, then Run, then the Launcher's teardown. The stages it calls work
/// on the Launcher state alone and never include this sequence.
class LaunchSequence : public Launcher {
public:
    /// Reads the command line and configuration, settles single-instance mode and chooses
    /// a runtime. True when Run is to be called.
    bool Initialize();
    /// Hands over, waits for the primary instance, or runs the VM in this process.
    /// Returns the process exit code.
    int Run();

private:
    /// The working folder and the runtime search, for a start that runs the program.
    bool PrepareRuntime();
    int LaunchPairProduct();
    int RunInProcess();
};

/// The routine of the thread that hosts the VM (argument: the Launcher): 0 on success, 1 on
/// failure.
DWORD WINAPI RunVmThread(void* launcher);
