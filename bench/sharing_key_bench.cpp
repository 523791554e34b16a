// What keying the class path on content costs: for every jar of a folder, the file's size and
// time (what the key always held) and then also its zip central directory, read from the end
// of the file with the launcher's own code, timed in process (median of the repetitions).
//
//   sharing_key_bench.exe <folder of jars> <repetitions>
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "options/jar_key_win32.h"

namespace {

/// `content`: 0 size and time only, 1 every central directory read, 2 through the keys a
/// start remembers in `cache` (filled by the warm-up).
double MedianMilliseconds(const std::vector<std::wstring>& jars, int content, int repetitions,
                          const std::wstring& cache, std::uint64_t& fold) {
    LARGE_INTEGER frequency;
    ::QueryPerformanceFrequency(&frequency);
    std::vector<double> times;
    for (int i = 0; i < repetitions; ++i) {
        LARGE_INTEGER start, end;
        ::QueryPerformanceCounter(&start);
        JarKeys keys(content == 2 ? cache : std::wstring());
        for (const std::wstring& jar : jars) {
            WIN32_FILE_ATTRIBUTE_DATA data{};
            if (!::GetFileAttributesExW(jar.c_str(), GetFileExInfoStandard, &data)) continue;
            std::uint64_t size = (std::uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
            fold ^= size + data.ftLastWriteTime.dwLowDateTime;
            std::uint64_t time = (std::uint64_t{data.ftLastWriteTime.dwHighDateTime} << 32) |
                                 data.ftLastWriteTime.dwLowDateTime;
            if (content == 1) fold ^= JarContentKey(jar, size);
            if (content == 2) fold ^= keys.Key(jar, size, time);
        }
        if (content == 2) keys.Save();
        ::QueryPerformanceCounter(&end);
        times.push_back(1000.0 * (end.QuadPart - start.QuadPart) / frequency.QuadPart);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) return 2;
    std::wstring folder = argv[1];
    if (folder.back() != L'\\') folder += L'\\';
    int repetitions = std::max(1, _wtoi(argv[2]));
    std::vector<std::wstring> jars;
    WIN32_FIND_DATAW found;
    HANDLE search = ::FindFirstFileW((folder + L"*.jar").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return 1;
    do {
        jars.push_back(folder + found.cFileName);
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
    std::uint64_t fold = 0;
    const std::wstring cache = folder + L"jar-keys.bench";
    ::DeleteFileW(cache.c_str());
    // One warm-up each, which also fills the remembered keys: all are timed from a warm file
    // cache, as a start after log-in is not.
    MedianMilliseconds(jars, 1, 1, cache, fold);
    MedianMilliseconds(jars, 2, 1, cache, fold);
    double stamps = MedianMilliseconds(jars, 0, repetitions, cache, fold);
    double content = MedianMilliseconds(jars, 1, repetitions, cache, fold);
    double remembered = MedianMilliseconds(jars, 2, repetitions, cache, fold);
    ::DeleteFileW(cache.c_str());
    std::printf("sharing key %zu jars: size and time %.1f ms, every central directory read %.1f ms, "
                "through the remembered keys %.1f ms (content costs %.1f ms) [%llx]\n",
                jars.size(), stamps, content, remembered, remembered - stamps,
                static_cast<unsigned long long>(fold & 0xF));
    return 0;
}
