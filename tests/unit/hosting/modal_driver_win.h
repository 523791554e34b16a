#pragma once

// Drives a modal dialog of this process from a second thread: the test thread runs the
// dialog's own modal loop while the driver inspects it and ends it, as a user would.

#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "core/resources_win32.h"

namespace modal_driver {

/// True when this process can create windows (an X display under Wine). The dialog tests
/// skip without one and say so.
inline bool CanCreateWindows() {
    HWND probe = ::CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                   nullptr, nullptr);
    if (!probe) return false;
    ::DestroyWindow(probe);
    return true;
}

struct FindState {
    HWND found = nullptr;
};

inline BOOL CALLBACK CollectVisibleDialog(HWND window, LPARAM param) {
    wchar_t className[32] = {};
    ::GetClassNameW(window, className, 32);
    if (std::wstring(className) == L"#32770" && ::IsWindowVisible(window)) {
        reinterpret_cast<FindState*>(param)->found = window;
        return FALSE;
    }
    return TRUE;
}

inline HWND FindDialogOfThread(DWORD threadId) {
    FindState state;
    ::EnumThreadWindows(threadId, CollectVisibleDialog, reinterpret_cast<LPARAM>(&state));
    return state.found;
}

/// Runs `show` (which opens a modal dialog and returns its result) on this thread and
/// `drive` on another once the dialog is visible. `drive` must end the dialog. When no
/// dialog appears within ten seconds the test fails and the thread stops waiting.
inline INT_PTR RunModal(const std::function<INT_PTR()>& show,
                        const std::function<void(HWND)>& drive) {
    DWORD dialogThread = ::GetCurrentThreadId();
    std::thread driver([&] {
        HWND dialog = nullptr;
        for (int i = 0; i < 200 && !dialog; ++i) {
            ::Sleep(50);
            dialog = FindDialogOfThread(dialogThread);
        }
        if (!dialog) {
            ADD_FAILURE() << "no dialog appeared";
            return;
        }
        drive(dialog);
    });
    INT_PTR result = show();
    driver.join();
    return result;
}

inline void Press(HWND dialog, int id) {
    ::SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(dialog, id)));
}

inline std::wstring Text(HWND window) {
    wchar_t buffer[4096] = {};
    ::GetWindowTextW(window, buffer, 4096);
    return buffer;
}

inline RECT ClientRectIn(HWND dialog, HWND control) {
    RECT r{};
    ::GetWindowRect(control, &r);
    ::MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

inline std::wstring ClassOf(HWND window) {
    wchar_t name[64] = {};
    ::GetClassNameW(window, name, 64);
    return name;
}

/// Checks that every text of the dialog fits its control at the control's own font and
/// that no two controls overlap (a group box must hold a control whole or not at all).
inline void ExpectTextsFit(HWND dialog, const std::string& what) {
    SCOPED_TRACE(what);
    RECT client{};
    ::GetClientRect(dialog, &client);
    struct Item {
        HWND window;
        RECT rect;
        bool group;
    };
    std::vector<Item> items;
    for (HWND child = ::GetWindow(dialog, GW_CHILD); child;
         child = ::GetWindow(child, GW_HWNDNEXT)) {
        if (!::IsWindowVisible(child)) continue;
        RECT rect = ClientRectIn(dialog, child);
        std::wstring cls = ClassOf(child);
        LONG style = ::GetWindowLongW(child, GWL_STYLE);
        bool group = _wcsicmp(cls.c_str(), L"Button") == 0 && (style & 0x0F) == BS_GROUPBOX;
        if (_wcsicmp(cls.c_str(), L"ScrollBar") != 0) items.push_back({child, rect, group});
        std::wstring text = Text(child);
        std::string name = "control " + std::to_string(::GetDlgCtrlID(child));
        EXPECT_GE(rect.left, client.left) << name;
        EXPECT_GE(rect.top, client.top) << name;
        EXPECT_LE(rect.right, client.right) << name;
        EXPECT_LE(rect.bottom, client.bottom) << name;
        if (text.empty() || _wcsicmp(cls.c_str(), L"Edit") == 0) continue;
        HDC dc = ::GetDC(child);
        HGDIOBJ old =
            ::SelectObject(dc, reinterpret_cast<HGDIOBJ>(::SendMessageW(child, WM_GETFONT, 0, 0)));
        const int width = rect.right - rect.left;
        const int height = rect.bottom - rect.top;
        if (_wcsicmp(cls.c_str(), L"Static") == 0) {
            RECT measured{0, 0, width, 0};
            ::DrawTextW(dc, text.c_str(), -1, &measured,
                        DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS);
            EXPECT_LE(measured.right, width)
                << name << " text too wide: " << testing::PrintToString(text);
            EXPECT_LE(measured.bottom, height)
                << name << " text cut off: " << testing::PrintToString(text);
        } else {
            SIZE extent{};
            ::GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &extent);
            // Push buttons need room for their frame, group boxes for the frame's left part.
            const int margin = group ? 16 : 8;
            EXPECT_LE(extent.cx + margin, width)
                << name << " text too wide: " << testing::PrintToString(text);
            if (!group) {
                EXPECT_LE(extent.cy + 4, height) << name;
            }
        }
        ::SelectObject(dc, old);
        ::ReleaseDC(child, dc);
    }
    for (std::size_t i = 0; i < items.size(); ++i) {
        for (std::size_t j = i + 1; j < items.size(); ++j) {
            RECT overlap;
            const RECT& a = items[i].rect;
            const RECT& b = items[j].rect;
            if (!::IntersectRect(&overlap, &a, &b)) continue;
            std::string pair = "controls " + std::to_string(::GetDlgCtrlID(items[i].window)) +
                               " and " + std::to_string(::GetDlgCtrlID(items[j].window));
            if (items[i].group || items[j].group) {
                const RECT& outer = items[i].group ? a : b;
                const RECT& inner = items[i].group ? b : a;
                EXPECT_TRUE(inner.left >= outer.left && inner.right <= outer.right &&
                            inner.top >= outer.top && inner.bottom <= outer.bottom)
                    << pair << " cross a frame";
            } else {
                ADD_FAILURE() << pair << " overlap";
            }
        }
    }
}

/// The languages the build carries.
inline std::vector<LANGID> BuiltLanguages() {
    std::vector<LANGID> languages{MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_UK)};
#if defined(_WIN64)
    languages.push_back(MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN));
    languages.push_back(MAKELANGID(LANG_FRENCH, SUBLANG_FRENCH));
    languages.push_back(MAKELANGID(LANG_DUTCH, SUBLANG_DUTCH));
#endif
    return languages;
}

/// Chooses the launcher's message language for the scope.
class MessageLanguage {
  public:
    explicit MessageLanguage(LANGID language) {
        SetMessageLocale(MAKELCID(language, SORT_DEFAULT));
    }
    ~MessageLanguage() { SetMessageLocale(0); }
    MessageLanguage(const MessageLanguage&) = delete;
    MessageLanguage& operator=(const MessageLanguage&) = delete;
};

}  // namespace modal_driver
