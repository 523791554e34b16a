#include "ui/dialog_resizer_win32.h"

namespace {
// Child, visible, clip-siblings, group, size box, size grip, aligned bottom-right.
constexpr DWORD kGripStyle = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_GROUP | SBS_SIZEBOX |
                             SBS_SIZEGRIP | SBS_SIZEBOXBOTTOMRIGHTALIGN;
}  // namespace

LayoutRect DialogResizer::ControlRect(HWND control) const {
    RECT r{};
    ::GetWindowRect(control, &r);
    ::MapWindowPoints(nullptr, dialog_, reinterpret_cast<POINT*>(&r), 2);
    return {r.left, r.top, r.right, r.bottom};
}

void DialogResizer::Initialize(HWND dialog, std::span<const Anchor> anchors) {
    dialog_ = dialog;
    LONG_PTR style = ::GetWindowLongPtrW(dialog, GWL_STYLE);
    if (!(style & WS_CLIPCHILDREN)) ::SetWindowLongPtrW(dialog, GWL_STYLE, style | WS_CLIPCHILDREN);
    const bool child = (style & WS_CHILD) != 0;
    if (!child) {
        LONG_PTR exStyle = ::GetWindowLongPtrW(dialog, GWL_EXSTYLE);
        ::SetWindowLongPtrW(dialog, GWL_EXSTYLE, exStyle | WS_EX_DLGMODALFRAME);
        // Without this the frame change would show the default application icon.
        if (!::SendMessageW(dialog, WM_GETICON, ICON_SMALL, 0)) {
            ::SendMessageW(dialog, WM_SETICON, ICON_SMALL, 0);
        }
    }

    RECT client{};
    ::GetClientRect(dialog, &client);
    initialClient_ = {client.right, client.bottom};

    grip_ = ::CreateWindowExW(
        0, L"SCROLLBAR", nullptr, kGripStyle, 0, 0, client.right, client.bottom, dialog,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(kGripId)),
        reinterpret_cast<HINSTANCE>(::GetWindowLongPtrW(dialog, GWLP_HINSTANCE)), nullptr);
    if (grip_) {
        records_.push_back({kGripId, kAnchorGrip | kAnchorMoveX | kAnchorMoveY | kAnchorRepaint,
                            ControlRect(grip_)});
    }

    minimumClient_ = initialClient_;
    hasMinimumTrack_ = true;

    for (const Anchor& anchor : anchors) {
        HWND control = ::GetDlgItem(dialog, anchor.controlId);
        if (!control) continue;
        records_.push_back({anchor.controlId, anchor.flags, ControlRect(control)});
    }
}

bool DialogResizer::OnGetMinMaxInfo(MINMAXINFO& info) const {
    if (!hasMinimumTrack_) return false;
    // The frame is measured now: after a DPI change its borders and caption have another
    // size than when the dialog opened.
    RECT window{};
    RECT client{};
    ::GetWindowRect(dialog_, &window);
    ::GetClientRect(dialog_, &client);
    const bool child = (::GetWindowLongPtrW(dialog_, GWL_STYLE) & WS_CHILD) != 0;
    const int frameX = child ? 0 : (window.right - window.left) - client.right;
    const int frameY = child ? 0 : (window.bottom - window.top) - client.bottom;
    info.ptMinTrackSize = {minimumClient_.cx + frameX, minimumClient_.cy + frameY};
    return true;
}

void DialogResizer::Rescale(UINT newDpi, UINT oldDpi) {
    initialClient_ = {ScaleForDpi(initialClient_.cx, newDpi, oldDpi),
                      ScaleForDpi(initialClient_.cy, newDpi, oldDpi)};
    minimumClient_ = {ScaleForDpi(minimumClient_.cx, newDpi, oldDpi),
                      ScaleForDpi(minimumClient_.cy, newDpi, oldDpi)};
    for (Record& record : records_) {
        record.initial = ScaleRectForDpi(record.initial, newDpi, oldDpi);
    }
}

void DialogResizer::OnSize(WPARAM sizeType, int clientWidth, int clientHeight) {
    if (!dialog_) return;
    if (grip_) {
        if (sizeType == SIZE_MAXIMIZED) ::ShowWindow(grip_, SW_HIDE);
        if (sizeType == SIZE_RESTORED) ::ShowWindow(grip_, SW_SHOW);
    }
    if (sizeType == SIZE_MINIMIZED) return;
    Layout(clientWidth, clientHeight);
}

void DialogResizer::Layout(int clientWidth, int clientHeight) {
    const bool visible = ::IsWindowVisible(dialog_) != FALSE;
    if (visible) ::SendMessageW(dialog_, WM_SETREDRAW, FALSE, 0);
    const int dx = clientWidth - initialClient_.cx;
    const int dy = clientHeight - initialClient_.cy;
    for (const Record& record : records_) {
        HWND control = ::GetDlgItem(dialog_, record.controlId);
        if (!control) continue;
        LayoutRect placed =
            AnchoredRect(record.initial, ControlRect(control), record.flags, dx, dy);
        if (record.flags & kAnchorRepaint) ::InvalidateRect(control, nullptr, TRUE);
        ::SetWindowPos(control, nullptr, placed.left, placed.top, placed.Width(), placed.Height(),
                       SWP_NOZORDER | SWP_NOACTIVATE);
    }
    if (visible) ::SendMessageW(dialog_, WM_SETREDRAW, TRUE, 0);
    ::RedrawWindow(dialog_, nullptr, nullptr,
                   RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
}
