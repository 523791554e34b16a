// Starts one program with an exact command line and reports its 32-bit exit code.
//
// Wine rebuilds the command line of a program started from Linux out of argv, so a test that
// needs a particular command line (an unquoted program path with spaces, an empty argument,
// non-ASCII text) starts this console program instead, which hands the text to CreateProcessW
// unchanged. Every text option is hex-encoded UTF-8, so Wine's own conversion cannot touch it.
//
//   spawn.exe (--cmdline HEX | --cmdline-file HEX) [--app HEX] [--cwd HEX]
//             [--env HEX(NAME=VALUE or NAME to remove)]... [--result HEX] [--pid HEX]
//             [--timeout MILLISECONDS] [--no-std-handles] [--limited]
//
// --limited starts the program with the limited token linked to this process's elevated one
// (Wine runs every program elevated), as a standard user's start would.
//
// The result file receives "exit N" (N signed), "timeout" or "error N message"; without
// --result the exit code is printed on standard output. The own exit code is the child's.

#include <windows.h>

#include <string>

#include "common/tool_util.h"

namespace {

struct Request {
    std::wstring commandLine;
    std::wstring application;
    std::wstring currentDirectory;
    std::wstring resultFile;
    std::wstring pidFile;
    std::vector<std::wstring> environment;
    DWORD timeout = INFINITE;
    bool stdHandles = true;
    bool limited = false;
};

int Fail(const Request& request, const std::string& message, DWORD error) {
    std::string text = "error " + std::to_string(error) + " " + message;
    if (!request.resultFile.empty()) tool::WriteFileUtf8(request.resultFile, text);
    tool::WriteErr("spawn: " + text + "\n");
    return 120;
}

bool ParseRequest(const std::vector<std::wstring>& args, Request& request, std::string& problem) {
    bool haveCommandLine = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::wstring& name = args[i];
        if (name == L"--no-std-handles") {
            request.stdHandles = false;
            continue;
        }
        if (name == L"--limited") {
            request.limited = true;
            continue;
        }
        if (i + 1 >= args.size()) {
            problem = "option without value: " + tool::Narrow(name);
            return false;
        }
        const std::wstring& raw = args[++i];
        if (name == L"--timeout") {
            request.timeout = static_cast<DWORD>(std::wcstoul(raw.c_str(), nullptr, 10));
            continue;
        }
        std::wstring value;
        if (!tool::DecodeHex(raw, value)) {
            problem = "value of " + tool::Narrow(name) + " is not hex";
            return false;
        }
        if (name == L"--cmdline") {
            request.commandLine = value;
            haveCommandLine = true;
        } else if (name == L"--cmdline-file") {
            std::string utf8;
            if (!tool::ReadFileUtf8(value, utf8)) {
                problem = "cannot read " + tool::Narrow(value);
                return false;
            }
            request.commandLine = tool::Widen(utf8);
            haveCommandLine = true;
        } else if (name == L"--app") {
            request.application = value;
        } else if (name == L"--cwd") {
            request.currentDirectory = value;
        } else if (name == L"--env") {
            request.environment.push_back(value);
        } else if (name == L"--result") {
            request.resultFile = value;
        } else if (name == L"--pid") {
            request.pidFile = value;
        } else {
            problem = "unknown option " + tool::Narrow(name);
            return false;
        }
    }
    if (!haveCommandLine) problem = "no --cmdline or --cmdline-file";
    return haveCommandLine;
}

HANDLE InheritableStdHandle(DWORD which) {
    HANDLE original = ::GetStdHandle(which);
    if (original == nullptr || original == INVALID_HANDLE_VALUE) return nullptr;
    HANDLE copy = nullptr;
    if (!::DuplicateHandle(::GetCurrentProcess(), original, ::GetCurrentProcess(), &copy, 0, TRUE,
                           DUPLICATE_SAME_ACCESS)) {
        return nullptr;
    }
    return copy;
}

}  // namespace

int wmain() {
    Request request;
    std::string problem;
    if (!ParseRequest(tool::Arguments(), request, problem)) return Fail(request, problem, 0);

    // The child inherits this process's environment with the additions applied.
    for (const std::wstring& item : request.environment) {
        size_t equals = item.find(L'=', 1);
        if (equals == std::wstring::npos) {
            ::SetEnvironmentVariableW(item.c_str(), nullptr);
        } else {
            ::SetEnvironmentVariableW(item.substr(0, equals).c_str(),
                                      item.substr(equals + 1).c_str());
        }
    }

    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    UniqueHandle input, output, error;
    if (request.stdHandles) {
        input.reset(InheritableStdHandle(STD_INPUT_HANDLE));
        output.reset(InheritableStdHandle(STD_OUTPUT_HANDLE));
        error.reset(InheritableStdHandle(STD_ERROR_HANDLE));
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = input.get();
        startup.hStdOutput = output.get();
        startup.hStdError = error.get();
    }

    // CreateProcessW may write into the command-line buffer.
    std::wstring commandLine = request.commandLine;
    PROCESS_INFORMATION process{};
    UniqueHandle limitedToken;
    if (request.limited) {
        HANDLE own = nullptr;
        if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &own)) {
            return Fail(request, "OpenProcessToken failed", ::GetLastError());
        }
        UniqueHandle ownToken(own);
        TOKEN_LINKED_TOKEN linked{};
        DWORD size = 0;
        if (!::GetTokenInformation(ownToken.get(), TokenLinkedToken, &linked, sizeof linked,
                                   &size)) {
            return Fail(request, "no linked token", ::GetLastError());
        }
        limitedToken.reset(linked.LinkedToken);
    }
    if (!::CreateProcessAsUserW(
            limitedToken.get(), request.application.empty() ? nullptr : request.application.c_str(),
            commandLine.data(), nullptr, nullptr, request.stdHandles ? TRUE : FALSE, 0, nullptr,
            request.currentDirectory.empty() ? nullptr : request.currentDirectory.c_str(), &startup,
            &process)) {
        DWORD lastError = ::GetLastError();
        return Fail(request, "CreateProcessW failed", lastError);
    }
    UniqueHandle processHandle(process.hProcess);
    UniqueHandle threadHandle(process.hThread);
    if (!request.pidFile.empty()) {
        tool::WriteFileUtf8(request.pidFile, std::to_string(process.dwProcessId));
    }

    if (::WaitForSingleObject(processHandle.get(), request.timeout) == WAIT_TIMEOUT) {
        ::TerminateProcess(processHandle.get(), 0xDEAD);
        ::WaitForSingleObject(processHandle.get(), 5000);
        if (!request.resultFile.empty()) tool::WriteFileUtf8(request.resultFile, "timeout");
        tool::WriteErr("spawn: timed out, child terminated\n");
        return 121;
    }
    DWORD exitCode = 0;
    if (!::GetExitCodeProcess(processHandle.get(), &exitCode)) {
        return Fail(request, "GetExitCodeProcess failed", ::GetLastError());
    }
    std::string code = std::to_string(static_cast<int>(exitCode));
    if (request.resultFile.empty()) {
        tool::WriteOut(code + "\n");
    } else {
        tool::WriteFileUtf8(request.resultFile, "exit " + code);
    }
    return static_cast<int>(exitCode);
}
