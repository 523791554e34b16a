#include "ui/center_window_win32.h"

#include "ui/dialog_layout.h"

namespace {
LayoutRect ToLayout(const RECT& r) { return {r.left, r.top, r.right, r.bottom}; }
}  // namespace

bool CenterWindow(HWND window) {
    RECT windowRect;
    if (!::GetWindowRect(window, &windowRect)) return false;
    const int width = windowRect.right - windowRect.left;
    const int height = windowRect.bottom - windowRect.top;

    RECT reference;
    RECT bounds;
    if (!(::GetWindowLongW(window, GWL_STYLE) & WS_CHILD)) {
        HWND owner = ::GetWindow(window, GW_OWNER);
        const bool overOwner = owner && ::IsWindowVisible(owner) && !::IsIconic(owner);
        HMONITOR monitor =
            ::MonitorFromWindow(overOwner ? owner : window, MONITOR_DEFAULTTONEAREST);
        MONITORINFO info{};
        info.cbSize = sizeof(info);
        if (!monitor || !::GetMonitorInfoW(monitor, &info)) return false;
        bounds = info.rcWork;
        if (!overOwner || !::GetWindowRect(owner, &reference)) reference = info.rcWork;
    } else {
        HWND parent = ::GetParent(window);
        if (!parent || !::GetClientRect(parent, &reference)) return false;
        bounds = reference;
    }
    LayoutPoint at = CenteredPosition(ToLayout(reference), ToLayout(bounds), width, height);
    return ::SetWindowPos(window, nullptr, at.x, at.y, 0, 0,
                          SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE) != FALSE;
}
