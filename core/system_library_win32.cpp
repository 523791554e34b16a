#include "core/system_library_win32.h"

#include <string>

HMODULE LoadSystemLibrary(const wchar_t* name) {
    // The loader counts references, so loading again is cheap and nothing is freed.
    if (HMODULE module = ::LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32)) {
        return module;
    }
    // Systems without the search flags: name the system folder explicitly.
    wchar_t folder[MAX_PATH];
    UINT length = ::GetSystemDirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return nullptr;
    std::wstring path = std::wstring(folder, length) + L"\\" + name;
    return ::LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

AddDllDirectoryFunction ResolveAddDllDirectory() {
    HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
    if (!kernel) return nullptr;
    return GetProcAddressAs<AddDllDirectoryFunction>(kernel, "AddDllDirectory");
}

namespace {
UniqueFileHandle OpenForIdentity(const std::wstring& path) {
    return UniqueFileHandle(::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                          nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                                          nullptr));
}
}  // namespace

bool IsSameFile(const std::wstring& a, const std::wstring& b) {
    if (a.empty() || b.empty()) return false;
    if (::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                               static_cast<int>(b.size()), TRUE) == CSTR_EQUAL) {
        return true;
    }
    UniqueFileHandle first = OpenForIdentity(a);
    UniqueFileHandle second = OpenForIdentity(b);
    BY_HANDLE_FILE_INFORMATION one{}, two{};
    if (!first || !second || !::GetFileInformationByHandle(first.get(), &one) ||
        !::GetFileInformationByHandle(second.get(), &two)) {
        return false;
    }
    return one.dwVolumeSerialNumber == two.dwVolumeSerialNumber &&
           one.nFileIndexHigh == two.nFileIndexHigh && one.nFileIndexLow == two.nFileIndexLow;
}
