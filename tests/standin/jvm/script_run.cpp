// Runs the scripted behaviour of an application method.
#include <windows.h>

#include "vm.h"

namespace standin {
namespace {

StreamObject* Stream(const std::string& which) {
    Vm& vm = Vm::Get();
    std::lock_guard<std::recursive_mutex> guard(vm.lock);
    return which == "err" ? vm.err : vm.out;
}

std::string FirstWord(const std::string& s, std::string& rest) {
    size_t space = s.find_first_of(" \t");
    rest = space == std::string::npos ? "" : s.substr(s.find_first_not_of(" \t", space));
    return s.substr(0, space);
}

int Number(const std::string& s) {
    try {
        return std::stoi(s);
    } catch (...) {
        Vm::Get().Fatal("script: '" + s + "' is not a number");
    }
}

LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CLOSE) {
        LogEvent("window_close",
                 {{"hwnd", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(hwnd))}});
        DestroyWindow(hwnd);
        return 0;
    }
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

void WaitForWindowClose(const std::string& title) {
    static ATOM atom = [] {
        WNDCLASSW wc{};
        wc.lpfnWndProc = WindowProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"StandinAppWindow";
        return RegisterClassW(&wc);
    }();
    (void)atom;
    HWND hwnd =
        CreateWindowExW(0, L"StandinAppWindow", WideFromUtf8(title).c_str(), WS_OVERLAPPEDWINDOW, 0,
                        0, 200, 100, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    LogEvent("window",
             {{"hwnd", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(hwnd))},
              {"title", title}});
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

}  // namespace

jint RunScript(Thread& t, Class* cls, const char* method, const ScriptSection& section,
               const std::vector<std::u16string>& args) {
    Vm& vm = Vm::Get();
    jint result = section.result;
    for (const ScriptAction& action : section.actions) {
        const std::string& verb = action.verb;
        std::string rest;
        if (verb == "print-args") {
            StreamObject* s = Stream(action.argument);
            for (const auto& a : args) PrintTo(s, a + u"\r\n");
        } else if (verb == "println") {
            std::string word = FirstWord(action.argument, rest);
            PrintTo(Stream(word), FromUtf8(rest) + u"\r\n");
        } else if (verb == "exit") {
            vm.Exit(Number(action.argument));
        } else if (verb == "throw") {
            std::string name = FirstWord(action.argument, rest);
            for (char& c : name)
                if (c == '.') c = '/';
            std::u16string message = FromUtf8(rest);
            Throw(t, name, rest.empty() ? nullptr : &message);
            std::string simple = cls->name.substr(cls->name.find_last_of('/') + 1);
            static_cast<ThrowableObject*>(t.pending)->frames = {Dotted(cls->name) + "." + method +
                                                                "(" + simple + ".java)"};
            return result;
        } else if (verb == "thread" || verb == "daemon") {
            DWORD ms = static_cast<DWORD>(Number(action.argument));
            bool daemon = verb == "daemon";
            StartJavaThread(daemon, [ms, daemon](Thread& jt) {
                LogEvent("thread_start", {{"thread", jt.name},
                                          {"daemon", daemon},
                                          {"ms", static_cast<unsigned long>(ms)}});
                Sleep(ms);
                LogEvent("thread_end", {{"thread", jt.name}});
            });
        } else if (verb == "sleep") {
            Sleep(static_cast<DWORD>(Number(action.argument)));
        } else if (verb == "wait-file") {
            std::wstring path = WideFromUtf8(action.argument);
            LogEvent("wait_file", {{"file", action.argument}});
            while (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) Sleep(50);
            LogEvent("wait_file_done", {{"file", action.argument}});
        } else if (verb == "wait-window") {
            WaitForWindowClose(action.argument);
        } else if (verb == "wait-quit") {
            MSG msg;
            PeekMessageW(&msg, nullptr, 0, 0,
                         PM_NOREMOVE);  // creates the queue before telling anyone
            LogEvent("wait_quit",
                     {{"thread_id", static_cast<unsigned long>(GetCurrentThreadId())}});
            while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
            }
            LogEvent("wait_quit_done");
        } else if (verb == "close-splash") {
            HWND splash = FindWindowW(L"SplashScreenWindow", nullptr);
            LogEvent("close_splash", {{"found", splash != nullptr}});
            if (splash) PostMessageW(splash, WM_CLOSE, 0, 0);
        } else if (verb == "return") {
            return Number(action.argument);
        } else if (verb == "return-arg") {
            // The first argument as a decimal number, so that a caller can tell answers apart.
            if (args.empty() || args[0].empty() || args[0].size() > 9) return -1;
            jint value = 0;
            for (char16_t c : args[0]) {
                if (c < u'0' || c > u'9') return -1;
                value = value * 10 + (c - u'0');
            }
            return value;
        } else if (verb == "mark") {
            LogEvent("mark", {{"text", action.argument}});
        } else if (verb == "abort") {
            vm.Fatal("the application asked for a VM abort");
        }
    }
    return result;
}

}  // namespace standin
