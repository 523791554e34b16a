// vmbootcheck's module check over every jar of a folder, timed in process: the same reading
// code (zip, inflate, class files, module table), the files mapped into memory as the tool
// maps them. Prints wall-clock and processor time.
//
//   module_check_bench.exe <folder of jars>
#include <windows.h>

#include <cstdio>
#include <string>

#include "check/module_check.h"
#include "core/unique_handle_win32.h"

namespace {

double Seconds(const FILETIME& time) {
    ULARGE_INTEGER value;
    value.LowPart = time.dwLowDateTime;
    value.HighPart = time.dwHighDateTime;
    return value.QuadPart / 1e7;
}

double ProcessorSeconds() {
    FILETIME created, ended, kernel, user;
    ::GetProcessTimes(::GetCurrentProcess(), &created, &ended, &kernel, &user);
    return Seconds(kernel) + Seconds(user);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) return 2;
    std::wstring folder = argv[1];
    LARGE_INTEGER frequency, start, end;
    ::QueryPerformanceFrequency(&frequency);
    double processorStart = ProcessorSeconds();
    ::QueryPerformanceCounter(&start);
    ModuleUse use;
    unsigned long long bytes = 0;
    int jars = 0;
    WIN32_FIND_DATAW found;
    UniqueFindHandle find(::FindFirstFileW((folder + L"\\*.jar").c_str(), &found));
    if (!find) return 1;
    do {
        std::wstring path = folder + L"\\" + found.cFileName;
        UniqueFileHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                            OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
        LARGE_INTEGER size{};
        if (!file || !::GetFileSizeEx(file.get(), &size) || size.QuadPart == 0) continue;
        UniqueHandle mapping(::CreateFileMappingW(file.get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
        if (!mapping) continue;
        UniqueMappedView view(::MapViewOfFile(mapping.get(), FILE_MAP_READ, 0, 0, 0));
        if (!view) continue;
        use.AddJar(std::string_view(static_cast<const char*>(view.get()),
                                    static_cast<std::size_t>(size.QuadPart)));
        bytes += static_cast<unsigned long long>(size.QuadPart);
        ++jars;
    } while (::FindNextFileW(find.get(), &found));
    auto missing = use.Missing({"java.base"});
    ::QueryPerformanceCounter(&end);
    double wall = static_cast<double>(end.QuadPart - start.QuadPart) / frequency.QuadPart;
    std::printf("module check in process: %llu MB, %d jars, %zu classes, %zu modules beyond "
                "java.base: wall %.2f s, processor %.2f s (budget 2 s)\n",
                bytes >> 20, jars, use.classes, missing.size(), wall, ProcessorSeconds() - processorStart);
    return 0;
}
