// Class path assembly cost for 2,000 and 20,000 jars in one folder, with the launcher's own
// assembly code and its FindFirstFileW/FindNextFileW listing, timed in process.
//
//   class_path_bench.exe <folder holding lib2000\ and lib20000\> <repetitions>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "options/class_path.h"
#include "options/directory_lister_win32.h"

namespace {

double MedianMilliseconds(const std::wstring& folder, const wchar_t* value, int repetitions,
                          std::size_t& length) {
    LARGE_INTEGER frequency;
    ::QueryPerformanceFrequency(&frequency);
    std::vector<double> times;
    for (int i = 0; i < repetitions; ++i) {
        Win32DirectoryLister files;
        LARGE_INTEGER start, end;
        ::QueryPerformanceCounter(&start);
        std::wstring classPath = AssembleClassPath(value, folder, nullptr, files);
        ::QueryPerformanceCounter(&end);
        length = classPath.size();
        times.push_back(1000.0 * (end.QuadPart - start.QuadPart) / frequency.QuadPart);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) return 2;
    std::wstring folder = argv[1];
    int repetitions = _wtoi(argv[2]);
    std::size_t smallLength = 0, largeLength = 0;
    // One warm-up each so that both sizes are read from a warm directory cache.
    MedianMilliseconds(folder, L"lib2000\\*.jar", 1, smallLength);
    MedianMilliseconds(folder, L"lib20000\\*.jar", 1, largeLength);
    double small = MedianMilliseconds(folder, L"lib2000\\*.jar", repetitions, smallLength);
    double large = MedianMilliseconds(folder, L"lib20000\\*.jar", repetitions, largeLength);
    std::printf("class path 2000 jars: median %.2f ms (%zu characters)\n", small, smallLength);
    std::printf("class path 20000 jars: median %.2f ms (%zu characters)\n", large, largeLength);
    std::printf("class path ratio 20000/2000: %.2f\n", large / small);
    return 0;
}
