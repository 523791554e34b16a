#include "ui/hyperlink_label_win32.h"

#include <commctrl.h>

#include <gtest/gtest.h>

#include <vector>

#include "../hosting/modal_driver_win.h"

namespace {

BOOL CALLBACK CollectTooltip(HWND window, LPARAM found) {
    wchar_t name[32] = {};
    ::GetClassNameW(window, name, 32);
    if (::lstrcmpiW(name, TOOLTIPS_CLASSW) == 0) {
        reinterpret_cast<std::vector<HWND>*>(found)->push_back(window);
    }
    return TRUE;
}

class HyperlinkLabelTest : public testing::Test {
  protected:
    void SetUp() override {
        if (!modal_driver::CanCreateWindows()) GTEST_SKIP() << "no display: run under xvfb-run";
        parent_.reset(::CreateWindowExW(0, L"STATIC", L"", WS_POPUP | WS_VISIBLE, 0, 0, 400, 100,
                                        nullptr, nullptr, nullptr, nullptr));
        ASSERT_TRUE(parent_);
        control_ = ::CreateWindowExW(0, L"STATIC", kText,
                                     WS_CHILD | WS_VISIBLE | SS_LEFT, 10, 10, 300, 20,
                                     parent_.get(), nullptr, nullptr, nullptr);
        ASSERT_NE(control_, nullptr);
        label_.SetOpener([this](const std::wstring& target) {
            opened_.push_back(target);
            return openSucceeds_;
        });
        ASSERT_TRUE(label_.Attach(control_));
    }

    void Click(int x, int y) {
        ::SendMessageW(control_, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
        ::SendMessageW(control_, WM_LBUTTONUP, 0, MAKELPARAM(x, y));
    }

    // The text's extent in the control's font, underlined or not: the same width.
    SIZE TextExtent() {
        HDC dc = ::GetDC(control_);
        HGDIOBJ old = ::SelectObject(
            dc, reinterpret_cast<HGDIOBJ>(::SendMessageW(control_, WM_GETFONT, 0, 0)));
        SIZE size{};
        ::GetTextExtentPoint32W(dc, kText, static_cast<int>(::wcslen(kText)), &size);
        ::SelectObject(dc, old);
        ::ReleaseDC(control_, dc);
        return size;
    }

    // The tooltip windows of this thread: the label's is the only one.
    static std::vector<HWND> Tooltips() {
        std::vector<HWND> found;
        ::EnumThreadWindows(::GetCurrentThreadId(), CollectTooltip,
                            reinterpret_cast<LPARAM>(&found));
        return found;
    }

    static constexpr const wchar_t* kText = L"https://example.org/x";

    UniqueHwnd parent_;
    HWND control_ = nullptr;
    HyperlinkLabel label_;
    std::vector<std::wstring> opened_;
    bool openSucceeds_ = true;
};

}  // namespace

TEST_F(HyperlinkLabelTest, ClickOnTheTextOpensTheTargetAndMarksItVisited) {
    SIZE text = TextExtent();
    ASSERT_GT(text.cx, 0);
    ASSERT_LT(text.cx, 290);  // the text is narrower than the control
    EXPECT_EQ(label_.TextColour(), RGB(0, 0, 255));
    Click(text.cx - 2, 2);
    ASSERT_EQ(opened_.size(), 1u);
    EXPECT_EQ(opened_[0], L"https://example.org/x");
    EXPECT_EQ(label_.TextColour(), RGB(128, 0, 128));
    EXPECT_TRUE(::GetWindowLongW(control_, GWL_STYLE) & SS_NOTIFY);
}

TEST_F(HyperlinkLabelTest, ClickBesideTheTextDoesNothing) {
    Click(TextExtent().cx + 5, 2);
    EXPECT_TRUE(opened_.empty());
    EXPECT_EQ(label_.TextColour(), RGB(0, 0, 255));
}

TEST_F(HyperlinkLabelTest, EnterAndSpaceOpenOtherKeysDoNot) {
    ::SendMessageW(control_, WM_CHAR, L'a', 0);
    EXPECT_TRUE(opened_.empty());
    ::SendMessageW(control_, WM_CHAR, VK_RETURN, 0);
    ::SendMessageW(control_, WM_CHAR, VK_SPACE, 0);
    EXPECT_EQ(opened_.size(), 2u);
    MSG enter{control_, WM_KEYDOWN, VK_RETURN, 0, 0, {}};
    LRESULT code =
        ::SendMessageW(control_, WM_GETDLGCODE, VK_RETURN, reinterpret_cast<LPARAM>(&enter));
    EXPECT_TRUE(code & DLGC_WANTCHARS);
    EXPECT_TRUE(code & DLGC_WANTMESSAGE);
    EXPECT_EQ(::SendMessageW(control_, WM_GETDLGCODE, 0, 0), DLGC_WANTCHARS);
}

TEST_F(HyperlinkLabelTest, FailedOpenLeavesTheLinkUnvisited) {
    openSucceeds_ = false;
    label_.Open();
    EXPECT_EQ(opened_.size(), 1u);
    EXPECT_EQ(label_.TextColour(), RGB(0, 0, 255));
}

TEST_F(HyperlinkLabelTest, DisabledLinkIsGreyAndDestroyReleasesTheTooltip) {
    ::EnableWindow(control_, FALSE);
    EXPECT_EQ(label_.TextColour(), ::GetSysColor(COLOR_GRAYTEXT));
    std::vector<HWND> tooltips = Tooltips();
    ASSERT_EQ(tooltips.size(), 1u);
    ::DestroyWindow(control_);
    EXPECT_FALSE(::IsWindow(tooltips[0]));
}

TEST_F(HyperlinkLabelTest, ReleasesItsOwnFontButNotTheDialogs) {
    // Without a font given, the label made its own.
    auto own = reinterpret_cast<HGDIOBJ>(::SendMessageW(control_, WM_GETFONT, 0, 0));
    LOGFONTW logFont{};
    ASSERT_TRUE(::GetObjectW(own, sizeof(logFont), &logFont));
    UniqueGdiObject dialogFont(::CreateFontIndirectW(&logFont));
    ::SendMessageW(control_, WM_SETFONT, reinterpret_cast<WPARAM>(dialogFont.get()), TRUE);
    EXPECT_EQ(reinterpret_cast<HGDIOBJ>(::SendMessageW(control_, WM_GETFONT, 0, 0)),
              dialogFont.get());
    EXPECT_EQ(::GetObjectW(own, sizeof(logFont), &logFont), 0);
    ::DestroyWindow(control_);
    EXPECT_NE(::GetObjectW(dialogFont.get(), sizeof(logFont), &logFont), 0);
}

TEST(ReadLinkColours, ParsedValuesReplaceTheDefaults) {
    const wchar_t* path = L"Software\\vmboot-tests\\link-colours";
    struct Value {
        const wchar_t* name;
        DWORD type;
        std::wstring data;
    };
    struct Case {
        std::vector<Value> values;
        COLORREF link;
        COLORREF visited;
    };
    const Case cases[] = {
        {{}, RGB(0, 0, 255), RGB(128, 0, 128)},
        {{{L"Anchor Color", REG_SZ, L"255,0,0"}}, RGB(255, 0, 0), RGB(128, 0, 128)},
        {{{L"Anchor Color", REG_SZ, L"255,0"}, {L"Anchor Color Visited", REG_SZ, L"0,128,0"}},
         RGB(0, 0, 255),
         RGB(0, 128, 0)},
        {{{L"Anchor Color", REG_DWORD, L""}}, RGB(0, 0, 255), RGB(128, 0, 128)},
        // Longer than a colour can be.
        {{{L"Anchor Color", REG_SZ, L"0000000255,0000000000,0000000000"}},
         RGB(0, 0, 255),
         RGB(128, 0, 128)},
    };
    for (const Case& c : cases) {
        ::RegDeleteTreeW(HKEY_CURRENT_USER, path);
        UniqueHKey key;
        ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                    key.put(), nullptr),
                  ERROR_SUCCESS);
        for (const Value& v : c.values) {
            if (v.type == REG_DWORD) {
                DWORD number = 0xFF;
                ::RegSetValueExW(key.get(), v.name, 0, REG_DWORD,
                                 reinterpret_cast<const BYTE*>(&number), sizeof(number));
            } else {
                ::RegSetValueExW(key.get(), v.name, 0, v.type,
                                 reinterpret_cast<const BYTE*>(v.data.c_str()),
                                 static_cast<DWORD>((v.data.size() + 1) * sizeof(wchar_t)));
            }
        }
        LinkColours colours = ReadLinkColours(key.get());
        EXPECT_EQ(colours.link, c.link);
        EXPECT_EQ(colours.visited, c.visited);
    }
    ::RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\vmboot-tests");
}
