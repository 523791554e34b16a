// A GUI program, like the launcher, that shows the harness what it was started with. Driven
// by environment variables so that its command line stays pure test data:
//   PROBE_OUT      file that receives JSON: the command line, the current directory and the
//                  values of the variables named in PROBE_ENV (comma-separated)
//   PROBE_STDOUT / PROBE_STDERR   text written to the standard handles
//   PROBE_MESSAGE  text of a message box (PROBE_CAPTION, PROBE_ICON error|warning|information)
//   PROBE_EXIT     exit code (decimal, may be negative); after a message box, its result is
//                  added to it

#include <windows.h>

#include <cstdlib>
#include <string>

#include "common/tool_util.h"

namespace {

bool Variable(const wchar_t* name, std::wstring& value) {
    DWORD size = ::GetEnvironmentVariableW(name, nullptr, 0);
    if (size == 0) return false;
    value.assign(size, L'\0');
    DWORD length = ::GetEnvironmentVariableW(name, value.data(), size);
    value.resize(length);
    return true;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    std::wstring out;
    if (Variable(L"PROBE_OUT", out)) {
        wchar_t directory[MAX_PATH * 4] = {};
        ::GetCurrentDirectoryW(MAX_PATH * 4, directory);
        std::string json = "{\"cmdline\": " + tool::JsonString(::GetCommandLineW()) +
                           ", \"cwd\": " + tool::JsonString(directory) + ", \"env\": {";
        std::wstring names;
        if (Variable(L"PROBE_ENV", names)) {
            bool first = true;
            size_t start = 0;
            while (start <= names.size()) {
                size_t comma = names.find(L',', start);
                if (comma == std::wstring::npos) comma = names.size();
                std::wstring name = names.substr(start, comma - start);
                if (!name.empty()) {
                    std::wstring value;
                    bool present = Variable(name.c_str(), value);
                    if (!first) json += ", ";
                    first = false;
                    json += tool::JsonString(name) + ": " +
                            (present ? tool::JsonString(value) : std::string("null"));
                }
                start = comma + 1;
            }
        }
        json += "}}";
        tool::WriteFileUtf8(out, json);
    }
    std::wstring text;
    if (Variable(L"PROBE_STDOUT", text)) tool::WriteOut(tool::Narrow(text));
    if (Variable(L"PROBE_STDERR", text)) tool::WriteErr(tool::Narrow(text));
    int exitCode = 0;
    if (Variable(L"PROBE_EXIT", text))
        exitCode = static_cast<int>(std::wcstol(text.c_str(), nullptr, 10));
    std::wstring message;
    if (Variable(L"PROBE_MESSAGE", message)) {
        std::wstring caption, icon;
        bool hasCaption = Variable(L"PROBE_CAPTION", caption);
        Variable(L"PROBE_ICON", icon);
        UINT type = MB_OK | MB_ICONERROR;
        if (icon == L"warning") type = MB_OK | MB_ICONWARNING;
        if (icon == L"information") type = MB_OK | MB_ICONINFORMATION;
        if (icon == L"question") type = MB_YESNO | MB_ICONQUESTION;
        exitCode +=
            ::MessageBoxW(nullptr, message.c_str(), hasCaption ? caption.c_str() : nullptr, type);
    }
    return exitCode;
}
