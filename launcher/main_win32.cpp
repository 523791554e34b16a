#include <windows.h>

#include <cstdlib>
#include <exception>

#include "launcher/command_line_win32.h"
#include "launcher/launch_sequence_win32.h"

// The library's default terminate handler prints a demangled type name to a console the
// launcher does not have, and pulls the whole demangler into every executable; a launcher
// that ends up in std::terminate has nothing better to do than end.
namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    int exitCode = -1;
    try {
        LaunchSequence launcher;
        launcher.CommandLine = ProcessCommandLine();
        ::SetThreadLocale(::GetSystemDefaultLCID());
        // The first user-interface calls make this a GUI thread with a message queue, which a
        // second instance needs before it posts to the primary.
        ::DefWindowProcW(nullptr, WM_NULL, 0, 0);
        MSG message;
        ::PeekMessageW(&message, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
        exitCode = launcher.Initialize() ? launcher.Run() : -1;
    } catch (const std::exception&) {
        // Memory exhaustion or an index error in text handling: no stage recovers from it,
        // and the launch ends as a failed one.
        exitCode = -1;
    }
    return exitCode;
}
