#include <windows.h>

#include <cstdlib>
#include <exception>

#include "launcher/launcher_entry_win32.h"
#include "launcher/launch_sequence_win32.h"
#include "options/class_sharing_win32.h"

// The library's default terminate handler prints a demangled type name to a console the
// launcher does not have, and pulls the whole demangler into every executable; a launcher
// that ends up in std::terminate has nothing better to do than end.
namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx

namespace {

int RunLauncher(bool console) {
    int exitCode = -1;
    // A hidden start of this executable that makes a class-data-sharing archive.
    if (RunClassSharingDumpMode(exitCode)) return exitCode;
    try {
        LaunchSequence launcher;
        launcher.Console = console;
        exitCode = RunLauncherEntry(launcher);
    } catch (const std::exception&) {
        // Memory exhaustion or an index error in text handling: no stage recovers from it,
        // and the launch ends as a failed one.
        exitCode = -1;
    }
    // An orderly end, with or without a VM: a note of an archive this start mapped must not
    // be left for the next start to take for one that crashed the VM.
    FinishClassSharingRecording();
    // At a console a failed launch ends with 1, as with the java command: batch files test
    // "if errorlevel 1", which takes -1 for success.
    if (console && exitCode == -1) exitCode = 1;
    return exitCode;
}

}  // namespace

// One source, two subsystems: the build defines VMBOOT_CONSOLE for the console launcher.
#ifdef VMBOOT_CONSOLE
int wmain() { return RunLauncher(true); }
#else
int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) { return RunLauncher(false); }
#endif
