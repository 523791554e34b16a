// Starts a console program in this process's console and presses Ctrl+C there once the
// program is ready: what a user at the console does, for tests of console control events.
//
//   ctrl_event.exe [--close] READY_FILE PROGRAM [ARGUMENT]...
//
// The program gets this process's standard handles (so its output reaches whatever reads
// ours). Once READY_FILE exists, CTRL_C_EVENT goes to every process of the console; this
// one ignores it. With --close the console window is closed instead (CTRL_CLOSE_EVENT), and
// this process holds its own handler until the program has ended. The own exit code is the program's; 121 when it has not ended 60 s later,
// 120 when it could not be started. Progress lines go to standard error, "ctrl_event: ...".

#include <windows.h>

#include <string>

#include "common/tool_util.h"

namespace {

HANDLE g_program = nullptr;
HANDLE g_report = nullptr;  // the caller's standard error, kept past AllocConsole

BOOL WINAPI IgnoreCtrlC(DWORD event) {
    // The system ends this process too once a close handler returns: not before the program.
    if (event == CTRL_CLOSE_EVENT && g_program) {
        static const char line[] = "ctrl_event: CTRL_CLOSE_EVENT received\n";
        DWORD written = 0;
        ::WriteFile(g_report, line, sizeof line - 1, &written, nullptr);
        ::WaitForSingleObject(g_program, 60000);
    }
    return TRUE;
}

HANDLE InheritableCopy(HANDLE original) {
    if (original == nullptr || original == INVALID_HANDLE_VALUE) return nullptr;
    HANDLE copy = nullptr;
    if (!::DuplicateHandle(::GetCurrentProcess(), original, ::GetCurrentProcess(), &copy, 0, TRUE,
                           DUPLICATE_SAME_ACCESS)) {
        return nullptr;
    }
    return copy;
}

std::wstring Quote(const std::wstring& item) {
    if (!item.empty() && item.find_first_of(L" \t\"") == std::wstring::npos) return item;
    return L"\"" + item + L"\"";
}

}  // namespace

int wmain() {
    std::vector<std::wstring> args = tool::Arguments();
    bool close = !args.empty() && args[0] == L"--close";
    if (close) args.erase(args.begin());
    if (args.size() < 2) {
        tool::WriteErr("usage: ctrl_event.exe [--close] READY_FILE PROGRAM [ARGUMENT]...\n");
        return 120;
    }
    // The handles the caller gave us, before a console of our own replaces them.
    UniqueHandle input(InheritableCopy(::GetStdHandle(STD_INPUT_HANDLE)));
    UniqueHandle output(InheritableCopy(::GetStdHandle(STD_OUTPUT_HANDLE)));
    UniqueHandle error(InheritableCopy(::GetStdHandle(STD_ERROR_HANDLE)));
    HANDLE originalError = ::GetStdHandle(STD_ERROR_HANDLE);
    g_report = originalError;
    auto report = [&](const std::string& text) {
        DWORD written = 0;
        std::string line = "ctrl_event: " + text + "\n";
        ::WriteFile(originalError, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    };
    // Started from outside any console (as under a test runner): a console of our own, which
    // the program then shares.
    if (!::GetConsoleWindow() && !::AttachConsole(ATTACH_PARENT_PROCESS)) {
        ::FreeConsole();
        if (::AllocConsole()) {
            report("allocated a console");
        } else {
            report("no console, error " + std::to_string(::GetLastError()));
        }
    }

    std::wstring commandLine;
    for (size_t i = 1; i < args.size(); ++i) {
        if (i > 1) commandLine += L" ";
        commandLine += Quote(args[i]);
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = input.get();
    startup.hStdOutput = output.get();
    startup.hStdError = error.get();
    PROCESS_INFORMATION process{};
    // Same console, same process group: Ctrl+C reaches the program as it would from the keyboard.
    if (!::CreateProcessW(args[1].c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                          nullptr, &startup, &process)) {
        report("CreateProcessW failed, error " + std::to_string(::GetLastError()));
        return 120;
    }
    UniqueHandle processHandle(process.hProcess);
    UniqueHandle threadHandle(process.hThread);
    g_program = processHandle.get();
    ::SetConsoleCtrlHandler(IgnoreCtrlC, TRUE);

    const std::wstring& ready = args[0];
    bool isReady = false;
    for (int waited = 0; waited < 60000; waited += 100) {
        if (::GetFileAttributesW(ready.c_str()) != INVALID_FILE_ATTRIBUTES) {
            isReady = true;
            break;
        }
        if (::WaitForSingleObject(processHandle.get(), 100) == WAIT_OBJECT_0) break;
    }
    if (isReady && close) {
        HWND window = ::GetConsoleWindow();
        BOOL sent = window && ::PostMessageW(window, WM_CLOSE, 0, 0);
        report(sent ? "closed the console window"
                    : window ? "PostMessageW failed" : "the console has no window");
    } else if (isReady) {
        BOOL sent = ::GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0);
        report(sent ? "sent CTRL_C_EVENT"
                    : "GenerateConsoleCtrlEvent failed, error " + std::to_string(::GetLastError()));
    } else {
        report("the program ended or was not ready; nothing sent");
    }
    if (::WaitForSingleObject(processHandle.get(), 60000) == WAIT_TIMEOUT) {
        report("the program did not end within 60 s; terminated");
        ::TerminateProcess(processHandle.get(), 0xDEAD);
        return 121;
    }
    DWORD exitCode = 0;
    ::GetExitCodeProcess(processHandle.get(), &exitCode);
    report("exit " + std::to_string(static_cast<int>(exitCode)));
    return static_cast<int>(exitCode);
}
