#include "launcher/command_line_win32.h"

#include <windows.h>

std::wstring ProcessCommandLine() {
    const wchar_t* commandLine = ::GetCommandLineW();
    return commandLine ? std::wstring(commandLine) : std::wstring();
}
