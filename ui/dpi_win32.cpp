#include "ui/dpi_win32.h"

#include <vector>

#include "core/system_library_win32.h"
#include "ui/dialog_layout.h"

namespace {

// Windows 10, version 1607 and later.
using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
using GetDpiForSystemFn = UINT(WINAPI*)();
using GetSystemMetricsForDpiFn = int(WINAPI*)(int, UINT);
// Windows 8.1 and later: the effective DPI is type 0.
using GetDpiForMonitorFn = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);
// Windows 10, version 1703 and later: the first PerMonitorV2 systems.
using SetDialogDpiChangeBehaviorFn = BOOL(WINAPI*)(HWND, int, int);
constexpr int kDialogDpiChangeDisableAll = 0x1;
// Vista and later, in common controls 6 only.
using LoadIconWithScaleDownFn = HRESULT(WINAPI*)(HINSTANCE, PCWSTR, int, int, HICON*);

LayoutRect ChildRect(HWND dialog, HWND child) {
    RECT r{};
    ::GetWindowRect(child, &r);
    ::MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
    return {r.left, r.top, r.right, r.bottom};
}

}  // namespace

UINT SystemDpi() {
    static const auto getDpiForSystem =
        SystemFunction<GetDpiForSystemFn>(L"user32.dll", "GetDpiForSystem");
    if (getDpiForSystem) return getDpiForSystem();
    WindowDc screen(nullptr);
    const int dpi = screen ? ::GetDeviceCaps(screen.get(), LOGPIXELSY) : 0;
    return dpi > 0 ? static_cast<UINT>(dpi) : kDefaultDpi;
}

UINT MonitorDpi(HMONITOR monitor) {
    static const auto getDpiForMonitor =
        SystemFunction<GetDpiForMonitorFn>(L"shcore.dll", "GetDpiForMonitor");
    UINT x = 0;
    UINT y = 0;
    if (monitor && getDpiForMonitor && SUCCEEDED(getDpiForMonitor(monitor, 0, &x, &y)) && y > 0) {
        return y;
    }
    return SystemDpi();
}

UINT WindowDpi(HWND window) {
    static const auto getDpiForWindow =
        SystemFunction<GetDpiForWindowFn>(L"user32.dll", "GetDpiForWindow");
    if (getDpiForWindow) {
        if (UINT dpi = getDpiForWindow(window)) return dpi;
    }
    return MonitorDpi(::MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST));
}

HICON LoadErrorIcon(UINT dpi) {
    static const auto metricsForDpi =
        SystemFunction<GetSystemMetricsForDpiFn>(L"user32.dll", "GetSystemMetricsForDpi");
    const int size = metricsForDpi ? metricsForDpi(SM_CXICON, dpi)
                                   : ScaleForDpi(::GetSystemMetrics(SM_CXICON), dpi, SystemDpi());
    // Common controls 6 are loaded by the manifest; the function is not in older ones.
    if (HMODULE controls = ::GetModuleHandleW(L"comctl32.dll")) {
        if (auto scaleDown =
                GetProcAddressAs<LoadIconWithScaleDownFn>(controls, "LoadIconWithScaleDown")) {
            HICON icon = nullptr;
            if (SUCCEEDED(scaleDown(nullptr, IDI_ERROR, size, size, &icon)) && icon) return icon;
        }
    }
    return static_cast<HICON>(
        ::CopyImage(::LoadIconW(nullptr, IDI_ERROR), IMAGE_ICON, size, size, 0));
}

void DialogDpi::Initialize(HWND dialog, int iconId) {
    static const auto setDialogDpiChangeBehavior =
        SystemFunction<SetDialogDpiChangeBehaviorFn>(L"user32.dll", "SetDialogDpiChangeBehavior");
    iconId_ = iconId;
    if (setDialogDpiChangeBehavior) {
        // Where the dialog manager scales dialogs itself it also made this one at the
        // window's DPI; its rescaling would not know the sizes this dialog changes later.
        setDialogDpiChangeBehavior(dialog, kDialogDpiChangeDisableAll, kDialogDpiChangeDisableAll);
        dpi_ = WindowDpi(dialog);
    } else {
        // Older systems make every dialog at the system DPI, whatever the monitor.
        dpi_ = SystemDpi();
    }
    creationDpi_ = dpi_;
    if (iconId_ != 0) {
        icon_.reset(LoadErrorIcon(dpi_));
        if (icon_) {
            ::SendDlgItemMessageW(dialog, iconId_, STM_SETICON,
                                  reinterpret_cast<WPARAM>(icon_.get()), 0);
        }
    }
}

void DialogDpi::MatchMonitor(HWND dialog) {
    const UINT monitorDpi = WindowDpi(dialog);
    if (dpi_ != 0 && monitorDpi != dpi_) {
        Rescale(dialog, monitorDpi, CentredRectFor(dialog, monitorDpi));
    }
}

RECT DialogDpi::CentredRectFor(HWND dialog, UINT newDpi) const {
    RECT r{};
    ::GetWindowRect(dialog, &r);
    const int width = ScaleForDpi(r.right - r.left, newDpi, dpi_);
    const int height = ScaleForDpi(r.bottom - r.top, newDpi, dpi_);
    const int left = (r.left + r.right) / 2 - width / 2;
    const int top = (r.top + r.bottom) / 2 - height / 2;
    return {left, top, left + width, top + height};
}

int DialogDpi::FromCreation(int pixels) const { return ScaleForDpi(pixels, dpi_, creationDpi_); }

void DialogDpi::Rescale(HWND dialog, UINT newDpi, const RECT& suggested) {
    const UINT oldDpi = dpi_;
    if (newDpi != 0 && oldDpi != 0 && newDpi != oldDpi) {
        const auto oldFont = reinterpret_cast<HFONT>(::SendMessageW(dialog, WM_GETFONT, 0, 0));
        HFONT source = font_ ? static_cast<HFONT>(font_.get()) : oldFont;
        UniqueGdiObject newFont;
        LOGFONTW logFont{};
        if (source && ::GetObjectW(source, sizeof(logFont), &logFont) == sizeof(logFont)) {
            logFont.lfHeight = ScaleFontHeightForDpi(logFont.lfHeight, newDpi, oldDpi);
            logFont.lfWidth = ScaleForDpi(logFont.lfWidth, newDpi, oldDpi);
            newFont.reset(::CreateFontIndirectW(&logFont));
        }
        std::vector<HWND> children;
        for (HWND child = ::GetWindow(dialog, GW_CHILD); child;
             child = ::GetWindow(child, GW_HWNDNEXT)) {
            children.push_back(child);
        }
        for (HWND child : children) {
            LayoutRect r = ScaleRectForDpi(ChildRect(dialog, child), newDpi, oldDpi);
            ::SetWindowPos(child, nullptr, r.left, r.top, r.Width(), r.Height(),
                           SWP_NOZORDER | SWP_NOACTIVATE);
            // Only controls in the dialog's font follow it; one with a font of its own keeps it.
            const auto font = reinterpret_cast<HFONT>(::SendMessageW(child, WM_GETFONT, 0, 0));
            if (newFont && font && font == source) {
                ::SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(newFont.get()), FALSE);
            }
        }
        // The controls have let go of the previous font before it is deleted.
        if (newFont) font_ = std::move(newFont);
        dpi_ = newDpi;
        if (iconId_ != 0) {
            UniqueIcon icon(LoadErrorIcon(newDpi));
            if (icon) {
                ::SendDlgItemMessageW(dialog, iconId_, STM_SETICON,
                                      reinterpret_cast<WPARAM>(icon.get()), 0);
                icon_ = std::move(icon);
            }
        }
    }
    ::SetWindowPos(dialog, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                   suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
    ::RedrawWindow(dialog, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}
