#include "launcher/launcher_entry_win32.h"

#include <windows.h>

#include "core/entry_win32.h"
#include "launcher/command_line_win32.h"
#include "launcher/launch_sequence_win32.h"

int RunLauncherEntry(LaunchSequence& launcher) {
    RemoveCurrentDirectoryFromDllSearch();
    if (launcher.CommandLine.empty()) launcher.CommandLine = ProcessCommandLine();
    // Taken out at once: the application and whatever it starts are no part of the chain.
    if (::GetEnvironmentVariableW(kHandOverMarkVariable, nullptr, 0) > 0) {
        launcher.ArrivedByHandOver = true;
        ::SetEnvironmentVariableW(kHandOverMarkVariable, nullptr);
    }
    // The first user-interface calls make this a GUI thread with a message queue, which a
    // second instance needs before it posts to the primary.
    ::DefWindowProcW(nullptr, WM_NULL, 0, 0);
    MSG message;
    ::PeekMessageW(&message, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
    return launcher.Initialize() ? launcher.Run() : -1;
}
