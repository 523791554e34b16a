// Stand-in for a runtime's splashscreen.dll: logs each call to the stand-in log. The
// functions use the plain C calling convention, as the runtime's own library does.
#include <windows.h>

#include <string>

#include "json_log.h"
#include "vm.h"

namespace {

std::wstring OwnFolder() {
    HMODULE self = nullptr;
    GetModuleHandleExW(
        GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
        reinterpret_cast<LPCWSTR>(&OwnFolder), &self);
    std::wstring path(32768, L'\0');
    path.resize(GetModuleFileNameW(self, path.data(), static_cast<DWORD>(path.size())));
    return path.substr(0, path.find_last_of(L"\\/"));
}

// The log named by VMBOOT_STANDIN_LOG, else the "log=" line of standin.cfg beside the library.
void EnsureLog() {
    static bool done = false;
    if (done) return;
    done = true;
    wchar_t value[32768];
    DWORD n = GetEnvironmentVariableW(L"VMBOOT_STANDIN_LOG", value, 32768);
    if (n > 0 && n < 32768) {
        standin::SetLogPath(standin::Narrow(std::wstring(value, n)));
        return;
    }
    HANDLE file =
        CreateFileW((OwnFolder() + L"\\standin.cfg").c_str(), GENERIC_READ, FILE_SHARE_READ,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    char buffer[8192];
    DWORD got = 0;
    std::string text;
    if (ReadFile(file, buffer, sizeof buffer, &got, nullptr)) text.assign(buffer, got);
    CloseHandle(file);
    size_t at = text.find("\nlog=");
    if (text.rfind("log=", 0) == 0)
        at = 0;
    else if (at != std::string::npos)
        ++at;
    if (at == std::string::npos) return;
    std::string path = text.substr(at + 4, text.find_first_of("\r\n", at) - at - 4);
    standin::SetLogPath(path);
}

standin::JsonValue Bytes(const char* s) {
    // The launcher passes ANSI code-page text; log it as UTF-16 decoded from that code page.
    if (!s) return standin::JsonValue(nullptr);
    int n = MultiByteToWideChar(CP_ACP, 0, s, -1, nullptr, 0);
    std::wstring w(n > 0 ? n - 1 : 0, L'\0');
    if (n > 1) MultiByteToWideChar(CP_ACP, 0, s, -1, w.data(), n);
    return standin::JsonValue(standin::U16(w));
}

}  // namespace

extern "C" {

void StandinSplashInit() {
    EnsureLog();
    standin::LogEvent("splash", {{"call", "SplashInit"}});
}

int StandinSplashLoadFile(const char* file) {
    EnsureLog();
    standin::LogEvent("splash", {{"call", "SplashLoadFile"}, {"file", Bytes(file)}});
    return 1;
}

void StandinSplashSetFileJarName(const char* file, const char* jar) {
    EnsureLog();
    standin::LogEvent(
        "splash", {{"call", "SplashSetFileJarName"}, {"file", Bytes(file)}, {"jar", Bytes(jar)}});
}

void StandinSplashClose() {
    EnsureLog();
    standin::LogEvent("splash", {{"call", "SplashClose"}});
}

}  // extern "C"
