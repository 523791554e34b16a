// Drives the launcher's windows for the end-to-end tests: finds a top-level window, describes
// it and its controls as JSON, presses buttons, sends keys, closes, resizes and captures it.
//
//   uidriver.exe wait [--timeout MS] [--title HEX] [--class HEX] [--any-class] [--pid N]
//   uidriver.exe list [--pid N]
//   uidriver.exe info --hwnd N
//   uidriver.exe press --hwnd N (--text HEX | --id N)
//   uidriver.exe key --hwnd N --key enter|esc|space|tab
//   uidriver.exe close --hwnd N
//   uidriver.exe resize --hwnd N --width W --height H
//   uidriver.exe move --hwnd N --x X --y Y
//   uidriver.exe wait-gone --hwnd N [--timeout MS]
//   uidriver.exe screenshot --out HEX [--hwnd N]
//   uidriver.exe kill --pid N [--code C]
//   uidriver.exe foreground
//   uidriver.exe hold-mutex --name HEX --ms N
//
// hold-mutex creates (or opens) the named mutex as the launcher makes its own, owned by the
// user, takes it, reports {"held": ...} and keeps it for N milliseconds.
//
// Texts are hex-encoded UTF-8. Output is one JSON document on standard output; exit code 0
// on success, 1 on timeout, 2 when the watched process ended first, 3 on bad usage or failure.

#include <windows.h>

#include <sddl.h>

#include <cstdint>
#include <cwchar>
#include <map>
#include <string>
#include <vector>

#include "common/tool_util.h"

namespace {

using Options = std::map<std::wstring, std::wstring>;

BOOL CALLBACK CollectWindow(HWND window, LPARAM list) {
    reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
    return TRUE;
}

std::wstring GetText(HWND window) {
    DWORD_PTR length = 0;
    if (!::SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 2000, &length)) {
        return {};
    }
    std::wstring text(length + 1, L'\0');
    DWORD_PTR copied = 0;
    if (!::SendMessageTimeoutW(window, WM_GETTEXT, text.size(),
                               reinterpret_cast<LPARAM>(text.data()), SMTO_ABORTIFHUNG, 2000,
                               &copied)) {
        return {};
    }
    text.resize(copied);
    return text;
}

std::wstring GetClass(HWND window) {
    wchar_t name[256] = {};
    int length = ::GetClassNameW(window, name, 256);
    return std::wstring(name, length > 0 ? static_cast<size_t>(length) : 0);
}

std::string Handle(HWND window) {
    return std::to_string(static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(window)));
}

std::string RectJson(const RECT& rect) {
    return "{\"left\": " + std::to_string(rect.left) + ", \"top\": " + std::to_string(rect.top) +
           ", \"right\": " + std::to_string(rect.right) +
           ", \"bottom\": " + std::to_string(rect.bottom) +
           ", \"width\": " + std::to_string(rect.right - rect.left) +
           ", \"height\": " + std::to_string(rect.bottom - rect.top) + "}";
}

/// A 32-bit top-down DIB of a screen area (or a drawn image) for pixel comparisons.
struct Pixels {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> data;
};

bool CaptureScreen(const RECT& area, Pixels& pixels) {
    pixels.width = area.right - area.left;
    pixels.height = area.bottom - area.top;
    if (pixels.width <= 0 || pixels.height <= 0) return false;
    HDC screen = ::GetDC(nullptr);
    if (!screen) return false;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = pixels.width;
    info.bmiHeader.biHeight = -pixels.height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    UniqueGdiObject bitmap(::CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    UniqueMemoryDc memory(::CreateCompatibleDC(screen));
    bool ok = false;
    if (bitmap && memory) {
        HGDIOBJ old = ::SelectObject(memory.get(), bitmap.get());
        ok = ::BitBlt(memory.get(), 0, 0, pixels.width, pixels.height, screen, area.left, area.top,
                      SRCCOPY | CAPTUREBLT) != FALSE;
        ::GdiFlush();
        ::SelectObject(memory.get(), old);
        const uint32_t* source = static_cast<const uint32_t*>(bits);
        pixels.data.assign(source, source + static_cast<size_t>(pixels.width) * pixels.height);
    }
    ::ReleaseDC(nullptr, screen);
    return ok;
}

/// Draws `icon` the way a static icon control does, over a plain background.
Pixels RenderIcon(HICON icon, int width, int height, uint32_t background) {
    Pixels pixels;
    pixels.width = width;
    pixels.height = height;
    HDC screen = ::GetDC(nullptr);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    UniqueGdiObject bitmap(::CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    UniqueMemoryDc memory(::CreateCompatibleDC(screen));
    ::ReleaseDC(nullptr, screen);
    if (!bitmap || !memory) return pixels;
    HGDIOBJ old = ::SelectObject(memory.get(), bitmap.get());
    uint32_t* target = static_cast<uint32_t*>(bits);
    for (int i = 0; i < width * height; ++i) target[i] = background;
    ::DrawIconEx(memory.get(), 0, 0, icon, width, height, 0, nullptr, DI_NORMAL);
    ::GdiFlush();
    pixels.data.assign(target, target + static_cast<size_t>(width) * height);
    ::SelectObject(memory.get(), old);
    return pixels;
}

double MeanDifference(const Pixels& a, const Pixels& b) {
    if (a.data.size() != b.data.size() || a.data.empty()) return 1e9;
    double total = 0;
    for (size_t i = 0; i < a.data.size(); ++i) {
        for (int shift = 0; shift < 24; shift += 8) {
            int x = static_cast<int>((a.data[i] >> shift) & 0xFF);
            int y = static_cast<int>((b.data[i] >> shift) & 0xFF);
            total += x > y ? x - y : y - x;
        }
    }
    return total / (a.data.size() * 3.0);
}

/// Names the system icon that a static icon control shows, by comparing its pixels on the
/// screen with the system icons drawn here (icon handles of another process cannot be drawn).
std::string IdentifyIcon(HWND control, std::string& scores) {
    RECT rect;
    if (!::GetWindowRect(control, &rect)) return "";
    Pixels shown;
    if (!CaptureScreen(rect, shown)) return "";
    const struct {
        const char* name;
        LPCWSTR id;
    } candidates[] = {{"error", IDI_ERROR},
                      {"warning", IDI_WARNING},
                      {"information", IDI_INFORMATION},
                      {"question", IDI_QUESTION}};
    std::string best;
    double bestScore = 1e9;
    scores = "{";
    for (const auto& candidate : candidates) {
        HICON icon = ::LoadIconW(nullptr, candidate.id);
        Pixels drawn = RenderIcon(icon, shown.width, shown.height, shown.data[0]);
        double score = MeanDifference(shown, drawn);
        if (scores.size() > 1) scores += ", ";
        char buffer[64];
        std::snprintf(buffer, sizeof(buffer), "\"%s\": %.2f", candidate.name, score);
        scores += buffer;
        if (score < bestScore) {
            bestScore = score;
            best = candidate.name;
        }
    }
    scores += "}";
    // A close match only: anything else (not yet painted, covered) is reported as unknown.
    return bestScore < 8.0 ? best : "unknown";
}

std::string OwnerJson(HWND window) {
    HWND owner = ::GetWindow(window, GW_OWNER);
    if (!owner) return "null";
    DWORD pid = 0;
    ::GetWindowThreadProcessId(owner, &pid);
    return "{\"hwnd\": " + Handle(owner) + ", \"class\": " + tool::JsonString(GetClass(owner)) +
           ", \"caption\": " + tool::JsonString(GetText(owner)) +
           ", \"pid\": " + std::to_string(pid) +
           ", \"visible\": " + (::IsWindowVisible(owner) ? "true" : "false") + "}";
}

std::string WindowJson(HWND window, bool withControls) {
    DWORD pid = 0;
    DWORD tid = ::GetWindowThreadProcessId(window, &pid);
    RECT rect{}, client{};
    ::GetWindowRect(window, &rect);
    ::GetClientRect(window, &client);
    LONG style = ::GetWindowLongW(window, GWL_STYLE);
    LONG exStyle = ::GetWindowLongW(window, GWL_EXSTYLE);
    std::string out = "{\"hwnd\": " + Handle(window) +
                      ", \"caption\": " + tool::JsonString(GetText(window)) +
                      ", \"class\": " + tool::JsonString(GetClass(window)) +
                      ", \"pid\": " + std::to_string(pid) + ", \"tid\": " + std::to_string(tid) +
                      ", \"visible\": " + (::IsWindowVisible(window) ? "true" : "false") +
                      ", \"enabled\": " + (::IsWindowEnabled(window) ? "true" : "false") +
                      ", \"style\": " + std::to_string(static_cast<unsigned long>(style)) +
                      ", \"exstyle\": " + std::to_string(static_cast<unsigned long>(exStyle)) +
                      ", \"class_style\": " +
                      std::to_string(static_cast<unsigned long>(::GetClassLongPtrW(window, GCL_STYLE))) +
                      ", \"topmost\": " + ((exStyle & WS_EX_TOPMOST) ? "true" : "false") +
                      ", \"rect\": " + RectJson(rect) + ", \"client\": " + RectJson(client) +
                      ", \"owner\": " + OwnerJson(window);
    if (withControls) {
        GUITHREADINFO gui{};
        gui.cbSize = sizeof(gui);
        HWND focus = ::GetGUIThreadInfo(tid, &gui) ? gui.hwndFocus : nullptr;
        out += ", \"focus\": " + (focus ? Handle(focus) : std::string("null"));
        std::vector<HWND> children;
        ::EnumChildWindows(window, CollectWindow, reinterpret_cast<LPARAM>(&children));
        std::string icon = "null";
        std::string iconScores = "null";
        out += ", \"controls\": [";
        bool first = true;
        for (HWND child : children) {
            RECT childRect{};
            ::GetWindowRect(child, &childRect);
            LONG childStyle = ::GetWindowLongW(child, GWL_STYLE);
            std::wstring childClass = GetClass(child);
            if (!first) out += ", ";
            first = false;
            out += "{\"hwnd\": " + Handle(child) + ", \"class\": " + tool::JsonString(childClass) +
                   ", \"id\": " + std::to_string(::GetDlgCtrlID(child)) +
                   ", \"text\": " + tool::JsonString(GetText(child)) +
                   ", \"visible\": " + (::IsWindowVisible(child) ? "true" : "false") +
                   ", \"enabled\": " + (::IsWindowEnabled(child) ? "true" : "false") +
                   ", \"style\": " + std::to_string(static_cast<unsigned long>(childStyle)) +
                   ", \"rect\": " + RectJson(childRect) + "}";
            if (_wcsicmp(childClass.c_str(), L"Static") == 0 &&
                (childStyle & SS_TYPEMASK) == SS_ICON && icon == "null") {
                std::string scores;
                std::string name;
                // The control may not be painted yet right after the window appeared.
                for (int attempt = 0; attempt < 20; ++attempt) {
                    name = IdentifyIcon(child, scores);
                    if (name != "unknown" && !name.empty()) break;
                    ::Sleep(50);
                }
                icon = name.empty() ? "null" : "\"" + name + "\"";
                iconScores = scores.empty() ? "null" : scores;
            }
        }
        out += "], \"icon\": " + icon + ", \"icon_scores\": " + iconScores;
    }
    out += "}";
    return out;
}

struct Filter {
    std::wstring title;
    std::wstring windowClass = L"#32770";
    bool anyClass = false;
    DWORD pid = 0;
};

std::vector<HWND> TopLevelWindows() {
    std::vector<HWND> windows;
    ::EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&windows));
    return windows;
}

bool Matches(HWND window, const Filter& filter) {
    if (!::IsWindowVisible(window)) return false;
    if (filter.pid) {
        DWORD pid = 0;
        ::GetWindowThreadProcessId(window, &pid);
        if (pid != filter.pid) return false;
    }
    if (!filter.anyClass && GetClass(window) != filter.windowClass) return false;
    if (!filter.title.empty() && GetText(window) != filter.title) return false;
    return true;
}

std::string ListJson(DWORD pid) {
    std::string out = "[";
    bool first = true;
    for (HWND window : TopLevelWindows()) {
        if (!::IsWindowVisible(window)) continue;
        if (pid) {
            DWORD owner = 0;
            ::GetWindowThreadProcessId(window, &owner);
            if (owner != pid) continue;
        }
        if (!first) out += ", ";
        first = false;
        out += WindowJson(window, false);
    }
    return out + "]";
}

bool Option(const Options& options, const wchar_t* name, std::wstring& value) {
    auto found = options.find(name);
    if (found == options.end()) return false;
    value = found->second;
    return true;
}

bool TextOption(const Options& options, const wchar_t* name, std::wstring& value) {
    std::wstring raw;
    if (!Option(options, name, raw)) return false;
    return tool::DecodeHex(raw, value);
}

long long NumberOption(const Options& options, const wchar_t* name, long long fallback) {
    std::wstring raw;
    if (!Option(options, name, raw)) return fallback;
    return std::wcstoll(raw.c_str(), nullptr, 10);
}

HWND HwndOption(const Options& options) {
    return reinterpret_cast<HWND>(static_cast<uintptr_t>(NumberOption(options, L"--hwnd", 0)));
}

int Report(int code, const std::string& json) {
    tool::WriteOut(json + "\n");
    return code;
}

int Error(const std::string& message) {
    return Report(3, "{\"error\": " + tool::JsonString(tool::Widen(message)) + "}");
}

int Wait(const Options& options) {
    Filter filter;
    TextOption(options, L"--title", filter.title);
    TextOption(options, L"--class", filter.windowClass);
    filter.anyClass = options.count(L"--any-class") > 0;
    filter.pid = static_cast<DWORD>(NumberOption(options, L"--pid", 0));
    DWORD timeout = static_cast<DWORD>(NumberOption(options, L"--timeout", 30000));
    UniqueHandle process;
    if (filter.pid) {
        process.reset(
            ::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, filter.pid));
        // A process that already ended cannot be opened (its id may even be reused).
        if (!process) return Report(2, "{\"error\": \"process ended\", \"exit_code\": null}");
    }
    DWORD start = ::GetTickCount();
    for (;;) {
        for (HWND window : TopLevelWindows()) {
            if (Matches(window, filter)) {
                // Let the window finish its first paint before it is described.
                ::Sleep(100);
                if (::IsWindow(window)) return Report(0, WindowJson(window, true));
            }
        }
        if (process && ::WaitForSingleObject(process.get(), 0) == WAIT_OBJECT_0) {
            DWORD exitCode = 0;
            ::GetExitCodeProcess(process.get(), &exitCode);
            return Report(2, "{\"error\": \"process ended\", \"exit_code\": " +
                                 std::to_string(static_cast<int>(exitCode)) + "}");
        }
        if (::GetTickCount() - start >= timeout) {
            return Report(1, "{\"error\": \"timeout\", \"windows\": " + ListJson(0) + "}");
        }
        ::Sleep(50);
    }
}

std::wstring WithoutAmpersands(const std::wstring& text) {
    std::wstring out;
    for (wchar_t c : text) {
        if (c != L'&') out.push_back(c);
    }
    return out;
}

HWND FindButton(HWND window, const Options& options) {
    std::wstring text;
    bool byText = TextOption(options, L"--text", text);
    long long id = NumberOption(options, L"--id", -1);
    std::vector<HWND> children;
    ::EnumChildWindows(window, CollectWindow, reinterpret_cast<LPARAM>(&children));
    for (HWND child : children) {
        if (byText) {
            // "&OK" and "OK" both name the button the user sees as OK.
            if (_wcsicmp(GetClass(child).c_str(), L"Button") == 0 &&
                WithoutAmpersands(GetText(child)) == WithoutAmpersands(text)) {
                return child;
            }
        } else if (::GetDlgCtrlID(child) == id) {
            return child;
        }
    }
    return nullptr;
}

int Press(const Options& options) {
    HWND window = HwndOption(options);
    if (!::IsWindow(window)) return Error("no such window");
    HWND button = FindButton(window, options);
    if (!button) return Error("no such button");
    std::string description = "{\"pressed\": " + Handle(button) +
                              ", \"text\": " + tool::JsonString(GetText(button)) +
                              ", \"id\": " + std::to_string(::GetDlgCtrlID(button)) + "}";
    // Buttons in an inactive dialog may ignore BM_CLICK, so the dialog is activated first.
    ::SetForegroundWindow(window);
    // Posted: a click that opens another modal window would not return until that closes.
    ::PostMessageW(button, BM_CLICK, 0, 0);
    return Report(0, description);
}

int Key(const Options& options) {
    HWND window = HwndOption(options);
    if (!::IsWindow(window)) return Error("no such window");
    std::wstring name;
    Option(options, L"--key", name);
    WPARAM key = 0;
    if (name == L"enter") key = VK_RETURN;
    if (name == L"esc") key = VK_ESCAPE;
    if (name == L"space") key = VK_SPACE;
    if (name == L"tab") key = VK_TAB;
    if (!key) return Error("unknown key");
    DWORD tid = ::GetWindowThreadProcessId(window, nullptr);
    GUITHREADINFO gui{};
    gui.cbSize = sizeof(gui);
    HWND target = (::GetGUIThreadInfo(tid, &gui) && gui.hwndFocus) ? gui.hwndFocus : window;
    UINT scan = ::MapVirtualKeyW(static_cast<UINT>(key), MAPVK_VK_TO_VSC);
    ::PostMessageW(target, WM_KEYDOWN, key, 1 | (scan << 16));
    if (key == VK_SPACE) ::PostMessageW(target, WM_CHAR, L' ', 1 | (scan << 16));
    ::PostMessageW(target, WM_KEYUP, key, 1 | (scan << 16) | (1u << 30) | (1u << 31));
    return Report(0,
                  "{\"key\": " + tool::JsonString(name) + ", \"target\": " + Handle(target) + "}");
}

int Close(const Options& options) {
    HWND window = HwndOption(options);
    if (!::IsWindow(window)) return Error("no such window");
    ::PostMessageW(window, WM_CLOSE, 0, 0);
    return Report(0, "{\"closed\": " + Handle(window) + "}");
}

int Resize(const Options& options, bool move) {
    HWND window = HwndOption(options);
    if (!::IsWindow(window)) return Error("no such window");
    BOOL ok;
    if (move) {
        ok = ::SetWindowPos(window, nullptr, static_cast<int>(NumberOption(options, L"--x", 0)),
                            static_cast<int>(NumberOption(options, L"--y", 0)), 0, 0,
                            SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    } else {
        ok = ::SetWindowPos(window, nullptr, 0, 0,
                            static_cast<int>(NumberOption(options, L"--width", 100)),
                            static_cast<int>(NumberOption(options, L"--height", 100)),
                            SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    if (!ok) return Error("SetWindowPos failed");
    ::Sleep(100);
    return Report(0, WindowJson(window, false));
}

int WaitGone(const Options& options) {
    HWND window = HwndOption(options);
    DWORD timeout = static_cast<DWORD>(NumberOption(options, L"--timeout", 30000));
    DWORD start = ::GetTickCount();
    while (::IsWindow(window) && ::IsWindowVisible(window)) {
        if (::GetTickCount() - start >= timeout) return Report(1, "{\"error\": \"timeout\"}");
        ::Sleep(50);
    }
    return Report(0, "{\"gone\": " + Handle(window) + "}");
}

bool WriteBmp(const std::wstring& path, const Pixels& pixels) {
    BITMAPFILEHEADER file{};
    BITMAPINFOHEADER info{};
    info.biSize = sizeof(info);
    info.biWidth = pixels.width;
    info.biHeight = -pixels.height;
    info.biPlanes = 1;
    info.biBitCount = 32;
    info.biCompression = BI_RGB;
    DWORD dataSize = static_cast<DWORD>(pixels.data.size() * 4);
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof(file) + sizeof(info);
    file.bfSize = file.bfOffBits + dataSize;
    std::string bytes(reinterpret_cast<const char*>(&file), sizeof(file));
    bytes.append(reinterpret_cast<const char*>(&info), sizeof(info));
    bytes.append(reinterpret_cast<const char*>(pixels.data.data()), dataSize);
    return tool::WriteFileUtf8(path, bytes);
}

int Screenshot(const Options& options) {
    std::wstring path;
    if (!TextOption(options, L"--out", path)) return Error("--out missing");
    RECT area{0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
    HWND window = HwndOption(options);
    if (window) {
        if (!::IsWindow(window)) return Error("no such window");
        ::GetWindowRect(window, &area);
    }
    Pixels pixels;
    if (!CaptureScreen(area, pixels)) return Error("capture failed");
    if (!WriteBmp(path, pixels)) return Error("cannot write the image");
    return Report(0, "{\"width\": " + std::to_string(pixels.width) +
                         ", \"height\": " + std::to_string(pixels.height) + "}");
}

int Kill(const Options& options) {
    DWORD pid = static_cast<DWORD>(NumberOption(options, L"--pid", 0));
    UINT code = static_cast<UINT>(NumberOption(options, L"--code", 1));
    UniqueHandle process(::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid));
    if (!process) return Error("cannot open the process");
    if (!::TerminateProcess(process.get(), code)) return Error("TerminateProcess failed");
    ::WaitForSingleObject(process.get(), 5000);
    return Report(0, "{\"killed\": " + std::to_string(pid) + "}");
}

int Foreground() {
    HWND window = ::GetForegroundWindow();
    if (!window) return Report(0, "{\"hwnd\": 0}");
    return Report(0, WindowJson(window, false));
}

std::wstring UserSidText() {
    HANDLE rawToken = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &rawToken)) return {};
    UniqueHandle token(rawToken);
    DWORD size = 0;
    ::GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
    std::vector<unsigned char> user(size);
    if (size == 0 || !::GetTokenInformation(token.get(), TokenUser, user.data(), size, &size))
        return {};
    wchar_t* text = nullptr;
    if (!::ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid, &text))
        return {};
    std::wstring result = text;
    ::LocalFree(text);
    return result;
}

int HoldMutex(const Options& options) {
    std::wstring name;
    if (!TextOption(options, L"--name", name)) return Error("--name missing");
    DWORD ms = static_cast<DWORD>(NumberOption(options, L"--ms", 60000));
    std::wstring sid = UserSidText();
    if (sid.empty()) return Error("no user SID");
    std::wstring sddl =
        L"O:" + sid + L"D:P(A;;GA;;;" + sid + L")(A;;GA;;;SY)S:(ML;;NWNR;;;ME)";
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1,
                                                                &descriptor, nullptr))
        return Error("cannot make the descriptor");
    SECURITY_ATTRIBUTES attributes{sizeof(attributes), descriptor, FALSE};
    UniqueHandle mutex(::CreateMutexW(&attributes, FALSE, name.c_str()));
    ::LocalFree(descriptor);
    if (!mutex) return Error("CreateMutexW failed");
    DWORD waited = ::WaitForSingleObject(mutex.get(), 10000);
    if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) return Error("mutex not taken");
    Report(0, "{\"held\": " + std::to_string(ms) + "}");
    ::Sleep(ms);
    ::ReleaseMutex(mutex.get());
    return 0;
}

}  // namespace

int wmain() {
    std::vector<std::wstring> args = tool::Arguments();
    if (args.empty()) return Error("no command");
    std::wstring command = args[0];
    Options options;
    for (size_t i = 1; i < args.size(); ++i) {
        if (args[i].rfind(L"--", 0) != 0) return Error("unexpected argument");
        bool flag = i + 1 >= args.size() || args[i + 1].rfind(L"--", 0) == 0;
        options[args[i]] = flag ? std::wstring() : args[i + 1];
        if (!flag) ++i;
    }
    if (command == L"wait") return Wait(options);
    if (command == L"list") {
        return Report(0, ListJson(static_cast<DWORD>(NumberOption(options, L"--pid", 0))));
    }
    if (command == L"info") {
        HWND window = HwndOption(options);
        if (!::IsWindow(window)) return Error("no such window");
        return Report(0, WindowJson(window, true));
    }
    if (command == L"press") return Press(options);
    if (command == L"key") return Key(options);
    if (command == L"close") return Close(options);
    if (command == L"resize") return Resize(options, false);
    if (command == L"move") return Resize(options, true);
    if (command == L"wait-gone") return WaitGone(options);
    if (command == L"screenshot") return Screenshot(options);
    if (command == L"kill") return Kill(options);
    if (command == L"foreground") return Foreground();
    if (command == L"hold-mutex") return HoldMutex(options);
    return Error("unknown command");
}
