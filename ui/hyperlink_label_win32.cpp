#include "ui/hyperlink_label_win32.h"

#include <commctrl.h>
#include <shellapi.h>
#include <windowsx.h>

#include <optional>

#include "core/system_library_win32.h"
#include "ui/anchor_color.h"

namespace {

constexpr UINT_PTR kSubclassId = 0x4C4E4B;  // "LNK"
constexpr UINT_PTR kToolId = 1;

// The common controls are loaded when a link is first shown, not at start: loading them
// registers all their window classes and the theme library, which every launch would pay for.
// Loaded by name, so the manifest's version 6 is the one found.
struct CommonControls {
    BOOL(WINAPI* initialize)(const INITCOMMONCONTROLSEX*) = nullptr;
    BOOL(WINAPI* setSubclass)(HWND, SUBCLASSPROC, UINT_PTR, DWORD_PTR) = nullptr;
    BOOL(WINAPI* removeSubclass)(HWND, SUBCLASSPROC, UINT_PTR) = nullptr;
    LRESULT(WINAPI* defSubclassProc)(HWND, UINT, WPARAM, LPARAM) = nullptr;
};

// Filled once by LoadCommonControls; INIT_ONCE rather than a function-local static, whose guard
// would pull the C++ library's guard code and the thread library behind it into the launcher.
constinit CommonControls g_comctl;
constinit INIT_ONCE g_comctlOnce = INIT_ONCE_STATIC_INIT;

BOOL CALLBACK LoadCommonControls(INIT_ONCE*, void*, void**) {
    HMODULE module = LoadSystemLibrary(L"comctl32.dll");
    if (!module) return TRUE;
    CommonControls& loaded = g_comctl;
    loaded.initialize =
        GetProcAddressAs<decltype(loaded.initialize)>(module, "InitCommonControlsEx");
    loaded.setSubclass =
        GetProcAddressAs<decltype(loaded.setSubclass)>(module, "SetWindowSubclass");
    loaded.removeSubclass =
        GetProcAddressAs<decltype(loaded.removeSubclass)>(module, "RemoveWindowSubclass");
    loaded.defSubclassProc =
        GetProcAddressAs<decltype(loaded.defSubclassProc)>(module, "DefSubclassProc");
    // Subclassing needs all three; without them the label stays plain text.
    if (!loaded.setSubclass || !loaded.removeSubclass || !loaded.defSubclassProc) {
        loaded.setSubclass = nullptr;
    }
    return TRUE;
}

const CommonControls& Comctl() {
    ::InitOnceExecuteOnce(&g_comctlOnce, LoadCommonControls, nullptr, nullptr);
    return g_comctl;
}

std::optional<COLORREF> ReadColour(HKEY key, const wchar_t* name) {
    // At most 24 bytes: "255,255,255" and a little room; longer values are not colours.
    wchar_t buffer[13] = {};
    DWORD type = 0;
    DWORD size = 24;
    if (::RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) !=
        ERROR_SUCCESS) {
        return std::nullopt;
    }
    if (type != REG_SZ && type != REG_EXPAND_SZ) return std::nullopt;
    buffer[size / sizeof(wchar_t) < 12 ? size / sizeof(wchar_t) : 12] = L'\0';
    std::optional<RgbColor> colour = ParseAnchorColor(buffer);
    if (!colour) return std::nullopt;
    return RGB(colour->red, colour->green, colour->blue);
}

std::wstring WindowText(HWND window) {
    int length = ::GetWindowTextLengthW(window);
    std::wstring text(static_cast<std::size_t>(length > 0 ? length : 0) + 1, L'\0');
    int copied = ::GetWindowTextW(window, text.data(), static_cast<int>(text.size()));
    text.resize(copied > 0 ? static_cast<std::size_t>(copied) : 0);
    return text;
}

bool ShellOpen(const std::wstring& target) {
    using ShellExecuteFn = HINSTANCE(WINAPI*)(HWND, const wchar_t*, const wchar_t*,
                                              const wchar_t*, const wchar_t*, INT);
    auto shellExecute = SystemFunction<ShellExecuteFn>(L"shell32.dll", "ShellExecuteW");
    if (!shellExecute) return false;
    auto result = reinterpret_cast<INT_PTR>(
        shellExecute(nullptr, L"open", target.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
    return result > 32;
}

}  // namespace

LinkColours ReadLinkColours(HKEY settings) {
    LinkColours colours;
    if (!settings) return colours;
    if (auto link = ReadColour(settings, L"Anchor Color")) colours.link = *link;
    if (auto visited = ReadColour(settings, L"Anchor Color Visited")) colours.visited = *visited;
    return colours;
}

HyperlinkLabel::~HyperlinkLabel() {
    if (control_ && Comctl().setSubclass) {
        Comctl().removeSubclass(control_, SubclassProc, kSubclassId);
        control_ = nullptr;
    }
    if (!::IsWindow(tooltip_.get())) tooltip_.release();
    tooltip_.reset();
}

bool HyperlinkLabel::Attach(HWND control, const std::wstring& target, HFONT normalFont) {
    if (!control || control_) return false;
    control_ = control;
    target_ = target;

    wchar_t className[16] = {};
    ::GetClassNameW(control, className, 16);
    if (::lstrcmpiW(className, L"static") == 0) {
        LONG_PTR style = ::GetWindowLongPtrW(control, GWL_STYLE);
        ::SetWindowLongPtrW(control, GWL_STYLE, style | SS_NOTIFY);
        // Icons, frames, rectangles and bitmaps have no text to draw.
        LONG_PTR type = style & 0xFF;
        if ((type >= 3 && type <= 9) || (type >= 13 && type <= 15)) drawText_ = false;
    }

    hand_ = ::LoadCursorW(nullptr, IDC_HAND);

    if (drawText_) {
        normalFont_ = normalFont;
        if (!normalFont_) {
            LOGFONTW iconTitle{};
            if (::SystemParametersInfoW(SPI_GETICONTITLELOGFONT, sizeof(iconTitle), &iconTitle,
                                        0)) {
                ownedNormalFont_.reset(::CreateFontIndirectW(&iconTitle));
                normalFont_ = static_cast<HFONT>(ownedNormalFont_.get());
            }
        }
        ReplaceLinkFont();
    }

    INITCOMMONCONTROLSEX classes{sizeof(classes), ICC_TAB_CLASSES};
    if (Comctl().initialize) Comctl().initialize(&classes);
    tooltip_.reset(::CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP,
                                     CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                     control, nullptr, nullptr, nullptr));

    label_ = WindowText(control);
    ComputeTextRect();
    if (target_.empty()) target_ = label_;

    if (tooltip_) {
        ::SendMessageW(tooltip_.get(), TTM_ACTIVATE, TRUE, 0);
        TTTOOLINFOW tool{};
        tool.cbSize = sizeof(tool);
        tool.hwnd = control;
        tool.uId = kToolId;
        tool.rect = textRect_;
        tool.lpszText = target_.data();
        // Common controls before version 6 refuse the structure with its last member.
        if (!::SendMessageW(tooltip_.get(), TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool))) {
            tool.cbSize = TTTOOLINFOW_V2_SIZE;
            ::SendMessageW(tooltip_.get(), TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
        }
    }

    if (drawText_) {
        // Read access is all that is needed; asking for more fails under restricted tokens.
        UniqueHKey settings;
        if (::RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Internet Explorer\\Settings",
                            0, KEY_READ, settings.put()) == ERROR_SUCCESS) {
            colours_ = ReadLinkColours(settings.get());
        }
    }

    if (Comctl().setSubclass) {
        Comctl().setSubclass(control, SubclassProc, kSubclassId, reinterpret_cast<DWORD_PTR>(this));
    }
    ::InvalidateRect(control, nullptr, TRUE);
    return true;
}

void HyperlinkLabel::ReplaceLinkFont() {
    linkFont_.reset();
    HGDIOBJ base = normalFont_ ? static_cast<HGDIOBJ>(normalFont_) : ::GetStockObject(SYSTEM_FONT);
    LOGFONTW font{};
    if (::GetObjectW(base, sizeof(font), &font)) {
        font.lfUnderline = TRUE;
        linkFont_.reset(::CreateFontIndirectW(&font));
    }
}

void HyperlinkLabel::ReleaseFonts() {
    linkFont_.reset();
    normalFont_ = nullptr;
    ownedNormalFont_.reset();
}

UINT HyperlinkLabel::AlignmentFlags() const {
    LONG_PTR type = ::GetWindowLongPtrW(control_, GWL_STYLE) & 0xFF;
    if (type == SS_CENTER) return DT_CENTER;
    if (type == SS_RIGHT) return DT_RIGHT;
    return DT_LEFT;
}

void HyperlinkLabel::ComputeTextRect() {
    RECT client{};
    ::GetClientRect(control_, &client);
    textRect_ = client;
    if (WindowDc windowDc(control_); windowDc) {
        HDC dc = windowDc.get();
        SelectedObject font(dc, linkFont_.get());
        RECT measured = client;
        UINT align = AlignmentFlags();
        ::DrawTextW(dc, label_.c_str(), static_cast<int>(label_.size()), &measured,
                    DT_CALCRECT | align | DT_WORDBREAK);
        int width = measured.right - measured.left;
        int offset = 0;
        if (align == DT_CENTER) offset = ((client.right - client.left) - width) / 2;
        if (align == DT_RIGHT) offset = (client.right - client.left) - width;
        textRect_ = {client.left + offset, client.top, client.left + offset + width,
                     measured.bottom};
    }
    if (tooltip_) {
        TTTOOLINFOW tool{};
        tool.cbSize = TTTOOLINFOW_V2_SIZE;
        tool.hwnd = control_;
        tool.uId = kToolId;
        tool.rect = textRect_;
        ::SendMessageW(tooltip_.get(), TTM_NEWTOOLRECTW, 0, reinterpret_cast<LPARAM>(&tool));
    }
}

COLORREF HyperlinkLabel::TextColour() const {
    if (control_ && !::IsWindowEnabled(control_)) return ::GetSysColor(COLOR_GRAYTEXT);
    return visited_ ? colours_.visited : colours_.link;
}

bool HyperlinkLabel::InText(LPARAM point) const {
    POINT p{GET_X_LPARAM(point), GET_Y_LPARAM(point)};
    return ::PtInRect(&textRect_, p) != FALSE;
}

void HyperlinkLabel::Open() {
    bool opened = opener_ ? opener_(target_) : ShellOpen(target_);
    if (!opened) return;
    visited_ = true;
    ::InvalidateRect(control_, nullptr, TRUE);
}

void HyperlinkLabel::Paint(HDC dc) {
    RECT client{};
    ::GetClientRect(control_, &client);
    auto brush = reinterpret_cast<HBRUSH>(::SendMessageW(::GetParent(control_), WM_CTLCOLORSTATIC,
                                                         reinterpret_cast<WPARAM>(dc),
                                                         reinterpret_cast<LPARAM>(control_)));
    if (brush) ::FillRect(dc, &client, brush);
    if (!drawText_) return;
    ::SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, TextColour());
    {
        SelectedObject font(dc, linkFont_.get());
        ::DrawTextW(dc, label_.c_str(), static_cast<int>(label_.size()), &client,
                    AlignmentFlags() | DT_WORDBREAK);
    }
    if (::GetFocus() == control_) ::DrawFocusRect(dc, &textRect_);
}

LRESULT CALLBACK HyperlinkLabel::SubclassProc(HWND window, UINT message, WPARAM wParam,
                                              LPARAM lParam, UINT_PTR, DWORD_PTR self) {
    auto* label = reinterpret_cast<HyperlinkLabel*>(self);
    if (message == WM_NCDESTROY) {
        Comctl().removeSubclass(window, SubclassProc, kSubclassId);
        label->control_ = nullptr;
        return Comctl().defSubclassProc(window, message, wParam, lParam);
    }
    return label->Handle(message, wParam, lParam);
}

LRESULT HyperlinkLabel::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    HWND window = control_;
    if (message >= WM_MOUSEFIRST && message <= WM_MOUSELAST && tooltip_) {
        MSG relayed{window, message, wParam, lParam, static_cast<DWORD>(::GetMessageTime()), {}};
        DWORD position = ::GetMessagePos();
        relayed.pt = {GET_X_LPARAM(position), GET_Y_LPARAM(position)};
        ::SendMessageW(tooltip_.get(), TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(&relayed));
    }
    switch (message) {
        case WM_PAINT: {
            PaintDc paint(window);
            Paint(paint.get());
            return 0;
        }
        case WM_PRINTCLIENT:
            Paint(reinterpret_cast<HDC>(wParam));
            return 0;
        case WM_ERASEBKGND:
            return 1;
        case WM_MOUSEMOVE:
            if (InText(lParam)) ::SetCursor(hand_);
            return 0;
        case WM_SETCURSOR: {
            POINT p{};
            ::GetCursorPos(&p);
            ::ScreenToClient(window, &p);
            if (::PtInRect(&textRect_, p)) {
                ::SetCursor(hand_);
                return TRUE;
            }
            break;
        }
        case WM_LBUTTONDOWN:
            if (InText(lParam)) {
                ::SetFocus(window);
                ::SetCapture(window);
            }
            return 0;
        case WM_LBUTTONUP:
            if (::GetCapture() == window) {
                ::ReleaseCapture();
                if (InText(lParam)) Open();
            }
            return 0;
        case WM_CHAR:
            if (wParam == VK_RETURN || wParam == VK_SPACE) {
                Open();
                return 0;
            }
            break;
        case WM_GETDLGCODE: {
            // Enter would otherwise press the dialog's default button instead of the link.
            auto* pending = reinterpret_cast<const MSG*>(lParam);
            if (pending && pending->message == WM_KEYDOWN && pending->wParam == VK_RETURN) {
                return DLGC_WANTCHARS | DLGC_WANTMESSAGE;
            }
            return DLGC_WANTCHARS;
        }
        case WM_SETFOCUS:
        case WM_KILLFOCUS:
            ::InvalidateRect(window, nullptr, TRUE);
            return 0;
        case WM_SIZE:
            ComputeTextRect();
            ::InvalidateRect(window, nullptr, TRUE);
            break;
        case WM_SETFONT: {
            // The dialog's font from now on, borrowed.
            ownedNormalFont_.reset();
            normalFont_ = reinterpret_cast<HFONT>(wParam);
            ReplaceLinkFont();
            ComputeTextRect();
            ::InvalidateRect(window, nullptr, TRUE);
            if (LOWORD(lParam)) ::UpdateWindow(window);
            return 0;
        }
        case WM_ENABLE:
            ::InvalidateRect(window, nullptr, TRUE);
            ::UpdateWindow(window);
            return 0;
        case WM_GETFONT:
            return reinterpret_cast<LRESULT>(normalFont_);
        case WM_DESTROY:
            // The system may already have destroyed it with the dialog that owns it.
            if (!::IsWindow(tooltip_.get())) tooltip_.release();
            tooltip_.reset();
            ReleaseFonts();
            break;
        default:
            break;
    }
    return Comctl().defSubclassProc(window, message, wParam, lParam);
}
