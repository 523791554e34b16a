// registry_bench N [rounds]: registers N runtimes under HKLM\Software\JavaSoft\JRE (native
// view), all pointing at one runtime folder, times the registry search and selection over
// them, prints "runtimes=N rounds=R microseconds_per_search=X chosen=<version folder>" and
// removes the registrations again.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "core/unique_handle_win32.h"
#include "discovery/runtime_sources_win32.h"
#include "discovery/selection.h"

namespace {
const wchar_t kRoot[] = L"Software\\JavaSoft\\JRE";

bool MakeRuntimeFolder(const std::wstring& folder) {
    for (const wchar_t* sub : {L"", L"bin", L"bin\\client"}) {
        ::CreateDirectoryW((folder + sub).c_str(), nullptr);
    }
    UniqueFileHandle file(::CreateFileW((folder + L"bin\\client\\jvm.dll").c_str(), GENERIC_WRITE,
                                        0, nullptr, CREATE_ALWAYS, 0, nullptr));
    return static_cast<bool>(file);
}
}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        std::fputs("usage: registry_bench N [rounds]\n", stderr);
        return 2;
    }
    int count = std::wcstol(argv[1], nullptr, 10);
    int rounds = argc > 2 ? std::wcstol(argv[2], nullptr, 10) : 20;
    wchar_t temp[MAX_PATH];
    ::GetTempPathW(MAX_PATH, temp);
    std::wstring folder = std::wstring(temp) + L"registry_bench_rt\\";
    if (!MakeRuntimeFolder(folder)) {
        std::fputs("registry_bench: cannot create the runtime folder\n", stderr);
        return 1;
    }
    ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, kRoot);
    for (int i = 0; i < count; ++i) {
        std::wstring key = std::wstring(kRoot) + L"\\1." + std::to_wstring(i / 100) + L".0_" +
                           std::to_wstring(i % 100);
        UniqueHKey handle;
        if (::RegCreateKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                              handle.put(), nullptr) != ERROR_SUCCESS) {
            std::fputs("registry_bench: cannot write HKLM\n", stderr);
            return 1;
        }
        ::RegSetValueExW(handle.get(), L"JavaHome", 0, REG_SZ,
                         reinterpret_cast<const BYTE*>(folder.c_str()),
                         static_cast<DWORD>((folder.size() + 1) * sizeof(wchar_t)));
    }
    RuntimeSearchCriteria criteria;
    criteria.MaximumVersion = {{65535, 65535, 65535, 65535}, 4};
    Win32RegistryAccess registry;
    Win32FileProbe files;
    LARGE_INTEGER frequency, start, end;
    ::QueryPerformanceFrequency(&frequency);
    std::optional<std::wstring> chosen;
    ::QueryPerformanceCounter(&start);
    for (int r = 0; r < rounds; ++r) {
        chosen = FindRegisteredRuntime(registry, files, RegistryView::Native, criteria, L"");
    }
    ::QueryPerformanceCounter(&end);
    double microseconds = 1e6 * static_cast<double>(end.QuadPart - start.QuadPart) /
                          static_cast<double>(frequency.QuadPart) / rounds;
    ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, kRoot);
    std::printf("runtimes=%d rounds=%d microseconds_per_search=%.1f found=%s\n", count, rounds,
                microseconds, chosen ? "yes" : "no");
    return chosen || count == 0 ? 0 : 1;
}
