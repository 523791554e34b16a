// Stand-in for the pair product in end-to-end tests. Appends its command line (UTF-8, one
// line) to the file named by VMBOOT_PAIR_RECORD and exits with the number in
// VMBOOT_PAIR_EXIT_CODE (0 when unset).
#include <windows.h>

#include "core/unique_handle_win32.h"

#include <cwchar>
#include <string>

namespace {

std::wstring Variable(const wchar_t* name) {
    wchar_t buffer[4096];
    DWORD length = ::GetEnvironmentVariableW(name, buffer, static_cast<DWORD>(std::size(buffer)));
    if (length == 0 || length >= std::size(buffer)) return {};
    return std::wstring(buffer, length);
}

std::string ToUtf8(const std::wstring& text) {
    int size = ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()),
                                     nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), bytes.data(),
                          size, nullptr, nullptr);
    return bytes;
}

}  // namespace

int wmain() {
    std::wstring record = Variable(L"VMBOOT_PAIR_RECORD");
    if (!record.empty()) {
        UniqueFileHandle file(::CreateFileW(record.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ,
                                            nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file) {
            std::string line = ToUtf8(::GetCommandLineW()) + "\n";
            DWORD written = 0;
            ::WriteFile(file.get(), line.data(), static_cast<DWORD>(line.size()), &written,
                        nullptr);
        }
    }
    std::wstring code = Variable(L"VMBOOT_PAIR_EXIT_CODE");
    return code.empty() ? 0 : static_cast<int>(std::wcstol(code.c_str(), nullptr, 10));
}
