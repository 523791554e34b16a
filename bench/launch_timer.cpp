// Measures launch latency inside Windows (or Wine): from just before CreateProcessW to the
// moment the stand-in runtime's log shows that main was entered. Commands are run
// interleaved, round by round, so that drifts of the machine affect every command alike.
//
//   launch_timer.exe <rounds> <log file> <name> <command line> [<name> <command line> ...]
// Prints one line per launch: "<name> <round> <milliseconds> <exit code>".
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

bool LogShowsMain(const wchar_t* log) {
    HANDLE file =
        ::CreateFileW(log, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                      nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    std::string text;
    char buffer[65536];
    DWORD got = 0;
    while (::ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got) text.append(buffer, got);
    ::CloseHandle(file);
    return text.find("\"event\":\"main\"") != std::string::npos;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 5 || (argc - 3) % 2 != 0) return 2;
    int rounds = _wtoi(argv[1]);
    const wchar_t* log = argv[2];
    ::SetEnvironmentVariableW(L"VMBOOT_STANDIN_LOG", log);
    // Only the event waited for: every host pays the same for the log.
    ::SetEnvironmentVariableW(L"VMBOOT_STANDIN_LOG_EVENTS", L"main");
    LARGE_INTEGER frequency;
    ::QueryPerformanceFrequency(&frequency);

    for (int round = 0; round < rounds; ++round) {
        for (int i = 3; i + 1 < argc; i += 2) {
            ::DeleteFileW(log);
            std::wstring commandLine = argv[i + 1];
            STARTUPINFOW startup{};
            startup.cb = sizeof(startup);
            PROCESS_INFORMATION process{};
            LARGE_INTEGER start, now;
            ::QueryPerformanceCounter(&start);
            if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                  nullptr, &startup, &process)) {
                std::printf("%ls %d failed-to-start %lu\n", argv[i], round, ::GetLastError());
                continue;
            }
            double elapsed = -1;
            for (;;) {
                bool seen = LogShowsMain(log);
                ::QueryPerformanceCounter(&now);
                if (seen) {
                    elapsed = 1000.0 * (now.QuadPart - start.QuadPart) / frequency.QuadPart;
                    break;
                }
                if (::WaitForSingleObject(process.hProcess, 0) == WAIT_OBJECT_0 &&
                    !LogShowsMain(log))
                    break;
                ::Sleep(1);
            }
            ::WaitForSingleObject(process.hProcess, 60000);
            DWORD exitCode = 0;
            ::GetExitCodeProcess(process.hProcess, &exitCode);
            ::CloseHandle(process.hThread);
            ::CloseHandle(process.hProcess);
            std::printf("%ls %d %.3f %ld\n", argv[i], round, elapsed, static_cast<long>(exitCode));
            std::fflush(stdout);
        }
    }
    return 0;
}
