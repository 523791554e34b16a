#include <windows.h>

#include <new>

#include "core/launcher_win32.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    int exitCode = -1;
    try {
        Launcher launcher;
        ::SetThreadLocale(::GetSystemDefaultLCID());
        // The first user-interface calls make this a GUI thread with a message queue, which a
        // second instance needs before it posts to the primary.
        ::DefWindowProcW(nullptr, WM_NULL, 0, 0);
        MSG message;
        ::PeekMessageW(&message, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
        exitCode = launcher.Initialize() ? launcher.Run() : -1;
    } catch (const std::bad_alloc&) {
        exitCode = -1;
    }
    return exitCode;
}
