#include "ui/hyperlink_label_win32.h"

#include <gtest/gtest.h>

#include <vector>

#include "../hosting/modal_driver_win.h"

namespace {

class HyperlinkLabelTest : public testing::Test {
  protected:
    void SetUp() override {
        if (!modal_driver::CanCreateWindows()) GTEST_SKIP() << "no display: run under xvfb-run";
        parent_.reset(::CreateWindowExW(0, L"STATIC", L"", WS_POPUP | WS_VISIBLE, 0, 0, 400, 100,
                                        nullptr, nullptr, nullptr, nullptr));
        ASSERT_TRUE(parent_);
        control_ = ::CreateWindowExW(0, L"STATIC", L"https://example.org/x",
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

    UniqueHwnd parent_;
    HWND control_ = nullptr;
    HyperlinkLabel label_;
    std::vector<std::wstring> opened_;
    bool openSucceeds_ = true;
};

}  // namespace

TEST_F(HyperlinkLabelTest, ClickOnTheTextOpensTheTargetAndMarksItVisited) {
    RECT text = label_.TextRect();
    EXPECT_GT(text.right, text.left);
    EXPECT_LT(text.right, 300);  // the text is narrower than the control
    EXPECT_EQ(label_.TextColour(), RGB(0, 0, 255));
    Click(text.left + 2, text.top + 2);
    ASSERT_EQ(opened_.size(), 1u);
    EXPECT_EQ(opened_[0], L"https://example.org/x");
    EXPECT_TRUE(label_.Visited());
    EXPECT_EQ(label_.TextColour(), RGB(128, 0, 128));
    EXPECT_TRUE(::GetWindowLongW(control_, GWL_STYLE) & SS_NOTIFY);
    EXPECT_NE(label_.Tooltip(), nullptr);
}

TEST_F(HyperlinkLabelTest, ClickBesideTheTextDoesNothing) {
    RECT text = label_.TextRect();
    Click(text.right + 5, text.top + 2);
    EXPECT_TRUE(opened_.empty());
    EXPECT_FALSE(label_.Visited());
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
    EXPECT_FALSE(label_.Visited());
}

TEST_F(HyperlinkLabelTest, DisabledLinkIsGreyAndDestroyReleasesTheTooltip) {
    ::EnableWindow(control_, FALSE);
    EXPECT_EQ(label_.TextColour(), ::GetSysColor(COLOR_GRAYTEXT));
    HWND tooltip = label_.Tooltip();
    ASSERT_TRUE(::IsWindow(tooltip));
    ::DestroyWindow(control_);
    EXPECT_FALSE(::IsWindow(tooltip));
}

TEST_F(HyperlinkLabelTest, KeepsTheDialogFontAndUnderlinesIt) {
    HFONT font = reinterpret_cast<HFONT>(::GetStockObject(DEFAULT_GUI_FONT));
    ::SendMessageW(control_, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    EXPECT_EQ(reinterpret_cast<HFONT>(::SendMessageW(control_, WM_GETFONT, 0, 0)), font);
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
