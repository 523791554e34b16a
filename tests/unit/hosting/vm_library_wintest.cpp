#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "core/unique_handle_win32.h"
#include "hosting/vm_win32.h"

namespace {

std::wstring SystemFolder() {
    wchar_t buffer[MAX_PATH];
    UINT length = ::GetSystemDirectoryW(buffer, MAX_PATH);
    return std::wstring(buffer, length);
}

}  // namespace

// Both ways of loading (with the search-directory update and without it) load a library by
// its full path and report a missing one with the system's own error.
TEST(LoadVmLibraryModule, BothSearchModes) {
    const std::wstring folder = SystemFolder();
    const std::wstring library = folder + L"\\version.dll";
    const AddDllDirectoryFunction modes[] = {ResolveAddDllDirectory(), nullptr};
    for (AddDllDirectoryFunction mode : modes) {
        UniqueHModule module(LoadVmLibraryModule(library, folder, mode));
        EXPECT_TRUE(module) << (mode ? "default dirs" : "altered search path");
        if (module) {
            EXPECT_NE(::GetProcAddress(module.get(), "GetFileVersionInfoW"), nullptr);
        }

        ::SetLastError(0);
        UniqueHModule missing(LoadVmLibraryModule(folder + L"\\no-such-vm\\jvm.dll", folder, mode));
        EXPECT_FALSE(missing);
        DWORD error = ::GetLastError();
        EXPECT_TRUE(error == ERROR_MOD_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) << error;
    }
}
