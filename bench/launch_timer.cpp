// Measures launch latency inside Windows (or Wine): from just before CreateProcessW to the
// moment the started program is ready. Commands are run interleaved, round by round, so that
// drifts of the machine affect every command alike.
//
//   launch_timer.exe <rounds> <log file> <name> <command line> [<name> <command line> ...]
//   launch_timer.exe --until=window[:<title>] <rounds> <name> <command line> [...]
//   launch_timer.exe --until=exit <rounds> <name> <command line> [...]
//
// Ready is, by default, when the stand-in runtime's log shows that main was entered. With
// --until=window it is when the process has a visible top-level window (whose title contains
// <title>, when given); the window is then sent WM_CLOSE, so that the program ends the way a
// user ends it, and the next launch waits for that. With --until=exit it is when the process
// ended. In these two modes the programs' standard handles are NUL: their output is not
// timed, and nothing they start keeps the caller's pipes open.
// Prints one line per launch: "<name> <round> <milliseconds> <exit code>".
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "core/unique_handle_win32.h"

namespace {

enum class Until { Main, Window, Exit };

// A launch that is not ready (or has not ended) after this long counts as failed: -1.
constexpr DWORD kLimitMs = 120000;

bool LogShowsMain(const wchar_t* log) {
    UniqueFileHandle file(
        ::CreateFileW(log, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                      nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file) return false;
    std::string text;
    char buffer[65536];
    DWORD got = 0;
    while (::ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr) && got)
        text.append(buffer, got);
    return text.find("\"event\":\"main\"") != std::string::npos;
}

struct WindowSearch {
    DWORD processId;
    const wchar_t* title;
    HWND found;
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM parameter) {
    auto* search = reinterpret_cast<WindowSearch*>(parameter);
    DWORD owner = 0;
    ::GetWindowThreadProcessId(window, &owner);
    if (owner != search->processId || !::IsWindowVisible(window)) return TRUE;
    if (*search->title) {
        wchar_t text[512];
        ::GetWindowTextW(window, text, 512);
        if (!std::wcsstr(text, search->title)) return TRUE;
    }
    search->found = window;
    return FALSE;
}

HWND VisibleWindow(DWORD processId, const wchar_t* title) {
    WindowSearch search{processId, title, nullptr};
    ::EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    Until until = Until::Main;
    const wchar_t* title = L"";
    int first = 1;
    if (argc > 1 && std::wcsncmp(argv[1], L"--until=", 8) == 0) {
        const wchar_t* mode = argv[1] + 8;
        if (std::wcscmp(mode, L"exit") == 0) {
            until = Until::Exit;
        } else if (std::wcsncmp(mode, L"window", 6) == 0 && (!mode[6] || mode[6] == L':')) {
            until = Until::Window;
            title = mode[6] ? mode + 7 : L"";
        } else if (std::wcscmp(mode, L"main") != 0) {
            return 2;
        }
        first = 2;
    }
    const wchar_t* log = nullptr;
    if (until == Until::Main) {
        if (first + 1 >= argc) return 2;
        log = argv[first + 1];
    }
    int commands = first + (until == Until::Main ? 2 : 1);
    if (argc < commands + 2 || (argc - commands) % 2 != 0) return 2;
    int rounds = _wtoi(argv[first]);

    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    BOOL inherit = FALSE;
    UniqueFileHandle nul;
    if (log) {
        ::SetEnvironmentVariableW(L"VMBOOT_STANDIN_LOG", log);
        // Only the event waited for: every host pays the same for the log.
        ::SetEnvironmentVariableW(L"VMBOOT_STANDIN_LOG_EVENTS", L"main");
    } else {
        SECURITY_ATTRIBUTES inheritable{sizeof(inheritable), nullptr, TRUE};
        nul.reset(::CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable, OPEN_EXISTING,
                                0, nullptr));
        for (DWORD which : {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE})
            ::SetHandleInformation(::GetStdHandle(which), HANDLE_FLAG_INHERIT, 0);
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = startup.hStdOutput = startup.hStdError = nul.get();
        inherit = TRUE;
    }
    LARGE_INTEGER frequency;
    ::QueryPerformanceFrequency(&frequency);

    for (int round = 0; round < rounds; ++round) {
        for (int i = commands; i + 1 < argc; i += 2) {
            if (log) ::DeleteFileW(log);
            std::wstring commandLine = argv[i + 1];
            PROCESS_INFORMATION started{};
            LARGE_INTEGER start, now;
            ::QueryPerformanceCounter(&start);
            if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, inherit, 0,
                                  nullptr, nullptr, &startup, &started)) {
                std::printf("%ls %d failed-to-start %lu\n", argv[i], round, ::GetLastError());
                continue;
            }
            UniqueHandle process(started.hProcess), thread(started.hThread);
            double elapsed = -1;
            if (until == Until::Exit &&
                ::WaitForSingleObject(process.get(), kLimitMs) == WAIT_OBJECT_0) {
                ::QueryPerformanceCounter(&now);
                elapsed = 1000.0 * (now.QuadPart - start.QuadPart) / frequency.QuadPart;
            }
            while (until != Until::Exit) {
                bool ended = ::WaitForSingleObject(process.get(), 0) == WAIT_OBJECT_0;
                HWND window = nullptr;
                bool ready = until == Until::Main
                                 ? LogShowsMain(log)
                                 : (window = VisibleWindow(started.dwProcessId, title)) != nullptr;
                ::QueryPerformanceCounter(&now);
                double sinceStart = 1000.0 * (now.QuadPart - start.QuadPart) / frequency.QuadPart;
                if (ready) {
                    elapsed = sinceStart;
                    if (window) ::PostMessageW(window, WM_CLOSE, 0, 0);
                    break;
                }
                if (ended || sinceStart > kLimitMs) break;
                // Asking for windows goes through the window server: not too often, so that
                // the polling does not slow the start it measures.
                ::Sleep(until == Until::Window ? 5 : 1);
            }
            if (::WaitForSingleObject(process.get(), kLimitMs) == WAIT_TIMEOUT)
                ::TerminateProcess(process.get(), 1);
            DWORD exitCode = 0;
            ::GetExitCodeProcess(process.get(), &exitCode);
            std::printf("%ls %d %.3f %ld\n", argv[i], round, elapsed, static_cast<long>(exitCode));
            std::fflush(stdout);
        }
    }
    return 0;
}
