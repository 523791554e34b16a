#include "hosting/exception_dialog_win32.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "ui/dialog_layout.h"
#include "ui/dialog_resizer_win32.h"
#include "ui/dpi_win32.h"
#include "modal_driver_win.h"
#include "resources/resource_ids.h"

using namespace modal_driver;

namespace {

const std::wstring kTrace =
    L"java.lang.IllegalStateException: Gr\u00FC\u00DFe \u20AC \u65E5\u672C\n"
    L"\tat com.example.App.run(App.java:12)\n\tat com.example.App.main(App.java:5)\n";

const std::wstring kTraceCrLf =
    L"java.lang.IllegalStateException: Gr\u00FC\u00DFe \u20AC \u65E5\u672C\r\n"
    L"\tat com.example.App.run(App.java:12)\r\n\tat com.example.App.main(App.java:5)\r\n";

struct LanguageTexts {
    LANGID language;
    const wchar_t* caption;
    const wchar_t* ignore;
    const wchar_t* stop;
};

const LanguageTexts kTexts[] = {
    {MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_UK), L"Java Exception", L"Ignore", L"Stop"},
    {MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN), L"Java Fehler", L"Ignorieren", L"Stop"},
    {MAKELANGID(LANG_FRENCH, SUBLANG_FRENCH), L"Exception Java", L"Ignorer", L"Arr\u00EAter"},
    {MAKELANGID(LANG_DUTCH, SUBLANG_DUTCH), L"Java Exception", L"Negeer", L"Stop"},
};

class ExceptionDialogTest : public testing::Test {
  protected:
    void SetUp() override {
        if (!CanCreateWindows()) GTEST_SKIP() << "no display: run under xvfb-run";
    }
};

}  // namespace

TEST_F(ExceptionDialogTest, ShowsTheTraceInEveryBuiltLanguageAndEveryTextFits) {
    for (LANGID language : BuiltLanguages()) {
        const LanguageTexts* expected = nullptr;
        for (const LanguageTexts& texts : kTexts) {
            if (texts.language == language) expected = &texts;
        }
        ASSERT_NE(expected, nullptr);
        MessageLanguage scope(language);
        INT_PTR result = RunModal(
            [] { return ShowExceptionDialog(nullptr, kTrace); },
            [&](HWND dialog) {
                EXPECT_EQ(Text(dialog), expected->caption);
                EXPECT_EQ(Text(::GetDlgItem(dialog, IDOK)), expected->ignore);
                EXPECT_EQ(Text(::GetDlgItem(dialog, IDCANCEL)), expected->stop);
                HWND edit = ::GetDlgItem(dialog, IDC_TRACE_EDIT);
                std::wstring shown = Text(edit);
                // Lines end in CR LF in the edit control.
                EXPECT_EQ(shown, kTraceCrLf);
                EXPECT_TRUE(::GetWindowLongW(edit, GWL_STYLE) & ES_READONLY);
                ExpectTextsFit(dialog, "exception dialog, language " + std::to_string(language));
                Press(dialog, IDOK);
            });
        EXPECT_EQ(result, IDOK);
    }
}

TEST_F(ExceptionDialogTest, StopEscAndCloseBoxMeanStop) {
    struct Case {
        const char* name;
        std::function<void(HWND)> end;
    };
    const Case cases[] = {
        {"Stop", [](HWND d) { Press(d, IDCANCEL); }},
        {"close box", [](HWND d) { ::SendMessageW(d, WM_SYSCOMMAND, SC_CLOSE, 0); }},
        {"Esc", [](HWND d) { ::PostMessageW(::GetDlgItem(d, IDOK), WM_KEYDOWN, VK_ESCAPE, 0); }},
        {"Enter", [](HWND d) { ::PostMessageW(::GetDlgItem(d, IDOK), WM_KEYDOWN, VK_RETURN, 0); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        INT_PTR result = RunModal([] { return ShowExceptionDialog(nullptr, kTrace); }, c.end);
        EXPECT_EQ(result, std::string(c.name) == "Enter" ? IDOK : IDCANCEL);
    }
}

TEST_F(ExceptionDialogTest, ResizingKeepsButtonsInTheCornerAndTheMinimumSize) {
    INT_PTR result =
        RunModal([] { return ShowExceptionDialog(nullptr, kTrace); },
                 [](HWND dialog) {
                     RECT window{};
                     ::GetWindowRect(dialog, &window);
                     RECT client{};
                     ::GetClientRect(dialog, &client);
                     HWND ok = ::GetDlgItem(dialog, IDOK);
                     HWND stop = ::GetDlgItem(dialog, IDCANCEL);
                     HWND edit = ::GetDlgItem(dialog, IDC_TRACE_EDIT);
                     HWND hint = ::GetDlgItem(dialog, IDC_EXCEPTION_HINT);
                     HWND warning = ::GetDlgItem(dialog, IDC_EXCEPTION_WARNING);
                     HWND intro = ::GetDlgItem(dialog, IDC_EXCEPTION_INTRO);
                     HWND grip = ::GetDlgItem(dialog, DialogResizer::kGripId);
                     ASSERT_NE(grip, nullptr);
                     EXPECT_TRUE(::IsWindowVisible(grip));
                     const RECT okBefore = ClientRectIn(dialog, ok);
                     const RECT stopBefore = ClientRectIn(dialog, stop);
                     const RECT editBefore = ClientRectIn(dialog, edit);
                     const RECT hintBefore = ClientRectIn(dialog, hint);
                     const RECT warningBefore = ClientRectIn(dialog, warning);
                     const RECT introBefore = ClientRectIn(dialog, intro);

                     MINMAXINFO limits{};
                     ::SendMessageW(dialog, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&limits));
                     EXPECT_EQ(limits.ptMinTrackSize.x, window.right - window.left);
                     EXPECT_EQ(limits.ptMinTrackSize.y, window.bottom - window.top);

                     const int dx = 200, dy = 150;
                     ::SetWindowPos(dialog, nullptr, 0, 0, window.right - window.left + dx,
                                    window.bottom - window.top + dy, SWP_NOMOVE | SWP_NOZORDER);
                     RECT grown{};
                     ::GetClientRect(dialog, &grown);
                     ASSERT_EQ(grown.right - client.right, dx);
                     ASSERT_EQ(grown.bottom - client.bottom, dy);
                     auto shifted = [](RECT r, int x, int y) {
                         return RECT{r.left + x, r.top + y, r.right + x, r.bottom + y};
                     };
                     auto same = [](const RECT& a, const RECT& b) {
                         return a.left == b.left && a.top == b.top && a.right == b.right &&
                                a.bottom == b.bottom;
                     };
                     EXPECT_TRUE(same(ClientRectIn(dialog, ok), shifted(okBefore, dx, dy)));
                     EXPECT_TRUE(same(ClientRectIn(dialog, stop), shifted(stopBefore, dx, dy)));
                     EXPECT_TRUE(same(ClientRectIn(dialog, edit),
                                      RECT{editBefore.left, editBefore.top, editBefore.right + dx,
                                           editBefore.bottom + dy}));
                     EXPECT_TRUE(same(ClientRectIn(dialog, hint),
                                      RECT{hintBefore.left, hintBefore.top + dy,
                                           hintBefore.right + dx, hintBefore.bottom + dy}));
                     EXPECT_TRUE(same(ClientRectIn(dialog, warning),
                                      RECT{warningBefore.left, warningBefore.top + dy,
                                           warningBefore.right + dx, warningBefore.bottom + dy}));
                     EXPECT_TRUE(same(ClientRectIn(dialog, intro),
                                      RECT{introBefore.left, introBefore.top,
                                           introBefore.right + dx, introBefore.bottom}));
                     RECT gripRect = ClientRectIn(dialog, grip);
                     EXPECT_EQ(gripRect.right, grown.right);
                     EXPECT_EQ(gripRect.bottom, grown.bottom);

                     ::ShowWindow(dialog, SW_MAXIMIZE);
                     EXPECT_FALSE(::IsWindowVisible(grip));
                     ::ShowWindow(dialog, SW_RESTORE);
                     EXPECT_TRUE(::IsWindowVisible(grip));

                     // Back to the initial size: every control where it started.
                     ::SetWindowPos(dialog, nullptr, 0, 0, window.right - window.left,
                                    window.bottom - window.top, SWP_NOMOVE | SWP_NOZORDER);
                     EXPECT_TRUE(same(ClientRectIn(dialog, ok), okBefore));
                     EXPECT_TRUE(same(ClientRectIn(dialog, edit), editBefore));
                     Press(dialog, IDCANCEL);
                 });
    EXPECT_EQ(result, IDCANCEL);
}

TEST_F(ExceptionDialogTest, DpiChangeScalesFontControlsAndTheResizersRecords) {
    INT_PTR result = RunModal(
        [] { return ShowExceptionDialog(nullptr, kTrace); },
        [](HWND dialog) {
            const UINT oldDpi = WindowDpi(dialog);
            const UINT newDpi = oldDpi * 3 / 2;
            HWND ok = ::GetDlgItem(dialog, IDOK);
            HWND edit = ::GetDlgItem(dialog, IDC_TRACE_EDIT);
            auto fontHeight = [](HWND control) {
                LOGFONTW font{};
                ::GetObjectW(reinterpret_cast<HFONT>(::SendMessageW(control, WM_GETFONT, 0, 0)),
                             sizeof(font), &font);
                return font.lfHeight;
            };
            const LONG fontBefore = fontHeight(edit);
            RECT window{};
            ::GetWindowRect(dialog, &window);
            RECT client{};
            ::GetClientRect(dialog, &client);
            const RECT okBefore = ClientRectIn(dialog, ok);
            const RECT editBefore = ClientRectIn(dialog, edit);
            const int frameX = (window.right - window.left) - client.right;
            const int frameY = (window.bottom - window.top) - client.bottom;
            // What Windows suggests on a move to a monitor at 150 %: the client area scaled.
            RECT suggested{window.left, window.top,
                           window.left + ScaleForDpi(client.right, newDpi, oldDpi) + frameX,
                           window.top + ScaleForDpi(client.bottom, newDpi, oldDpi) + frameY};
            ::SendMessageW(dialog, WM_DPICHANGED, MAKEWPARAM(newDpi, newDpi),
                           reinterpret_cast<LPARAM>(&suggested));

            EXPECT_EQ(fontHeight(edit), ScaleFontHeightForDpi(fontBefore, newDpi, oldDpi));
            EXPECT_EQ(fontHeight(ok), fontHeight(edit));
            auto scaled = [&](const RECT& r) {
                return RECT{ScaleForDpi(r.left, newDpi, oldDpi), ScaleForDpi(r.top, newDpi, oldDpi),
                            ScaleForDpi(r.right, newDpi, oldDpi),
                            ScaleForDpi(r.bottom, newDpi, oldDpi)};
            };
            auto closeTo = [](const RECT& a, const RECT& b) {
                // Each edge is rounded once when scaled and once when anchored again.
                return std::abs(a.left - b.left) <= 1 && std::abs(a.top - b.top) <= 1 &&
                       std::abs(a.right - b.right) <= 1 && std::abs(a.bottom - b.bottom) <= 1;
            };
            const RECT okScaled = ClientRectIn(dialog, ok);
            EXPECT_TRUE(closeTo(okScaled, scaled(okBefore)));
            EXPECT_TRUE(closeTo(ClientRectIn(dialog, edit), scaled(editBefore)));
            ExpectTextsFit(dialog, "exception dialog at 150 %");

            // The minimum size is the scaled one, and growing moves the buttons from their
            // scaled place, not from where they were before the change.
            MINMAXINFO limits{};
            ::SendMessageW(dialog, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&limits));
            EXPECT_EQ(limits.ptMinTrackSize.x, suggested.right - suggested.left);
            EXPECT_EQ(limits.ptMinTrackSize.y, suggested.bottom - suggested.top);
            const int dx = 120, dy = 90;
            ::SetWindowPos(dialog, nullptr, 0, 0, suggested.right - suggested.left + dx,
                           suggested.bottom - suggested.top + dy, SWP_NOMOVE | SWP_NOZORDER);
            const RECT okGrown = ClientRectIn(dialog, ok);
            EXPECT_EQ(okGrown.left, okScaled.left + dx);
            EXPECT_EQ(okGrown.top, okScaled.top + dy);
            Press(dialog, IDOK);
        });
    EXPECT_EQ(result, IDOK);
}

TEST_F(ExceptionDialogTest, OpensCentredOnTheWorkArea) {
    RunModal([] { return ShowExceptionDialog(nullptr, kTrace); },
             [](HWND dialog) {
                 RECT window{};
                 ::GetWindowRect(dialog, &window);
                 MONITORINFO info{};
                 info.cbSize = sizeof(info);
                 ::GetMonitorInfoW(::MonitorFromWindow(dialog, MONITOR_DEFAULTTONEAREST), &info);
                 const RECT& work = info.rcWork;
                 EXPECT_LE(std::abs((window.left + window.right) - (work.left + work.right)), 2);
                 EXPECT_LE(std::abs((window.top + window.bottom) - (work.top + work.bottom)), 2);
                 Press(dialog, IDOK);
             });
}
