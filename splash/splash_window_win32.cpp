#include "splash/splash_window_win32.h"

#include <climits>

#include "core/unique_handle_win32.h"
#include "splash/splash_settings.h"
#include "ui/dpi_win32.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace {

HINSTANCE ThisModule() { return reinterpret_cast<HINSTANCE>(&__ImageBase); }

// One class per process, registered by the first splash window; its style follows that
// window's shadow choice.
ATOM RegisterSplashClass(WNDPROC procedure, bool shadow) {
    // A slim lock needs no run-time initialisation and no threading library.
    static SRWLOCK lock = SRWLOCK_INIT;
    static ATOM atom = 0;
    SrwExclusiveLock guard(lock);
    if (atom != 0) return atom;
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.style = CS_DBLCLKS | CS_SAVEBITS | (shadow ? CS_DROPSHADOW : 0);
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = ThisModule();
    windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = kSplashWindowClass;
    atom = ::RegisterClassExW(&windowClass);
    if (atom == 0 && shadow) {
        // Systems without drop shadows refuse the style; the splash is still worth showing.
        windowClass.style &= ~CS_DROPSHADOW;
        atom = ::RegisterClassExW(&windowClass);
    }
    return atom;
}

bool IsFile(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The image drawn for the screen's scale when one lies beside the configured one, else the
// configured image, which is taken as drawn for 100 %. One that is there but does not load
// gives way to the next.
bool LoadImageForDpi(const GdiPlusSession& gdiPlus, const std::wstring& imagePath, UINT dpi,
                     GdiPlusObject<gdiplus::Image>& image, bool& drawnForScale) {
    for (const std::wstring& name : ScaledImageCandidates(imagePath, ScalePercentForDpi(dpi))) {
        if (IsFile(name) && gdiPlus.CreateBitmapFromFile(name.c_str(), image.put()) ==
                                gdiplus::kOk && image) {
            drawnForScale = true;
            return true;
        }
    }
    drawnForScale = false;
    // The path exactly as configured: a relative one is resolved against the current folder.
    return gdiPlus.CreateBitmapFromFile(imagePath.c_str(), image.put()) == gdiplus::kOk && image;
}

// Loads and renders the image at the screen's scale; a failure anywhere leaves 0 x 0 and no
// bitmap.
SplashSize LoadAndRender(SplashWindow& splash, const std::wstring& imagePath, UINT dpi) {
    const GdiPlusSession* gdiPlus = GdiPlusSession::Get();
    if (!gdiPlus) return {};
    GdiPlusObject<gdiplus::Image> image(gdiPlus->DisposeImage);
    bool drawnForScale = false;
    if (!LoadImageForDpi(*gdiPlus, imagePath, dpi, image, drawnForScale)) return {};
    UINT width = 0;
    UINT height = 0;
    if (gdiPlus->GetImageWidth(image.get(), &width) != gdiplus::kOk ||
        gdiPlus->GetImageHeight(image.get(), &height) != gdiplus::kOk || width > INT_MAX / 4 ||
        height > INT_MAX / 4) {
        return {};
    }
    const SplashSize shown = ShownSplashSize(static_cast<int>(width), static_cast<int>(height),
                                             dpi, drawnForScale);
    RECT rectangle{0, 0, shown.Width, shown.Height};
    // A window without a picture would show whatever lay below it; none is shown then.
    if (!splash.RenderImageToBitmap(*gdiPlus, image.get(), rectangle)) return {};
    return shown;
}

}  // namespace

bool SplashWindow::RenderImageToBitmap(const GdiPlusSession& gdiPlus, gdiplus::Image* image,
                                       const RECT& rectangle) {
    bitmap_.reset();
    bitmapSize_ = {0, 0};
    int width = rectangle.right - rectangle.left;
    int height = rectangle.bottom - rectangle.top;
    if (width <= 0 || height <= 0) return false;
    UINT imageWidth = 0;
    UINT imageHeight = 0;
    if (gdiPlus.GetImageWidth(image, &imageWidth) != gdiplus::kOk ||
        gdiPlus.GetImageHeight(image, &imageHeight) != gdiplus::kOk || imageWidth > INT_MAX ||
        imageHeight > INT_MAX) {
        return false;
    }

    UniqueGdiObject bitmap;
    UniqueMemoryDc memory;
    {
        WindowDc screen(nullptr);
        if (!screen) return false;
        bitmap.reset(::CreateCompatibleBitmap(screen.get(), width, height));
        memory.reset(::CreateCompatibleDC(screen.get()));
    }
    if (!bitmap || !memory) return false;

    bool drawn = false;
    {
        SelectedObject selected(memory.get(), bitmap.get());
        GdiPlusObject<gdiplus::Graphics> graphics(gdiPlus.DeleteGraphics);
        if (gdiPlus.CreateFromHdc(memory.get(), graphics.put()) == gdiplus::kOk && graphics) {
            gdiPlus.SetInterpolationMode(graphics.get(),
                                         gdiplus::kInterpolationHighQualityBicubic);
            GdiPlusObject<gdiplus::ImageAttributes> attributes(gdiPlus.DisposeImageAttributes);
            if (gdiPlus.CreateImageAttributes(attributes.put()) == gdiplus::kOk && attributes) {
                // Flipped tiling keeps the bicubic filter from pulling a dark seam in at the
                // image's edges.
                gdiPlus.SetImageAttributesWrapMode(attributes.get(), gdiplus::kWrapModeTileFlipXY,
                                                   gdiplus::kOpaqueBlack, FALSE);
                // The whole image, scaled to the rectangle.
                drawn = gdiPlus.DrawImageRectRectI(
                            graphics.get(), image, rectangle.left, rectangle.top, width, height,
                            0, 0, static_cast<INT>(imageWidth), static_cast<INT>(imageHeight),
                            gdiplus::kUnitPixel, attributes.get(), nullptr,
                            nullptr) == gdiplus::kOk;
            }
        }
    }
    if (!drawn) return false;
    bitmap_ = std::move(bitmap);
    bitmapSize_ = {width, height};
    return true;
}

HWND CreateSplashWindow(SplashWindow& splash, const std::wstring& imagePath, bool shadow) {
    ATOM windowClass = RegisterSplashClass(SplashWindow::WindowProcedure, shadow);
    if (windowClass == 0) return nullptr;

    // The window is centred on the primary screen, so it is drawn for that screen's scale.
    const UINT dpi = MonitorDpi(::MonitorFromPoint({0, 0}, MONITOR_DEFAULTTOPRIMARY));
    splash.imagePath_ = imagePath;
    SplashSize size = LoadAndRender(splash, imagePath, dpi);
    SplashOrigin origin = CenteredOrigin(::GetSystemMetrics(SM_CXSCREEN),
                                         ::GetSystemMetrics(SM_CYSCREEN), size.Width, size.Height);
    // Not topmost and without a taskbar button: windows the application opens later
    // cover it.
    ::CreateWindowExW(WS_EX_TOOLWINDOW, MAKEINTATOM(windowClass), nullptr, WS_POPUP, origin.X,
                      origin.Y, size.Width, size.Height, nullptr, nullptr, ThisModule(), &splash);
    return splash.Handle();
}

LRESULT CALLBACK SplashWindow::WindowProcedure(HWND window, UINT message, WPARAM wParam,
                                               LPARAM lParam) {
    auto* self = reinterpret_cast<SplashWindow*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (message == WM_NCCREATE) {
        self = static_cast<SplashWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        self->window_ = UniqueHwnd(window);
    }
    if (self) {
        switch (message) {
            case WM_PAINT:
                self->Paint();
                return 0;
            case WM_DPICHANGED:
                self->OnDpiChanged(HIWORD(wParam));
                return 0;
            case WM_ERASEBKGND:
                // The bitmap covers the whole window; erasing first would only flicker.
                return 1;
            case WM_NCDESTROY:
                self->Detach();
                break;
        }
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

void SplashWindow::Paint() {
    PaintDc paint(window_.get());
    HDC target = paint.get();
    if (!target || !bitmap_) return;
    UniqueMemoryDc memory(::CreateCompatibleDC(target));
    if (!memory) return;
    SelectedObject selected(memory.get(), bitmap_.get());
    ::BitBlt(target, 0, 0, bitmapSize_.cx, bitmapSize_.cy, memory.get(), 0, 0, SRCCOPY);
}

void SplashWindow::OnDpiChanged(UINT dpi) {
    // Windows suggests the old rectangle scaled in place; the splash stays centred instead.
    SplashSize size = LoadAndRender(*this, imagePath_, dpi);
    SplashOrigin origin = CenteredOrigin(::GetSystemMetrics(SM_CXSCREEN),
                                         ::GetSystemMetrics(SM_CYSCREEN), size.Width, size.Height);
    ::SetWindowPos(window_.get(), nullptr, origin.X, origin.Y, size.Width, size.Height,
                   SWP_NOZORDER | SWP_NOACTIVATE);
    ::InvalidateRect(window_.get(), nullptr, FALSE);
}

void SplashWindow::Detach() {
    HWND window = window_.release();
    ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    if (publishedOwner_) {
        HWND expected = window;
        publishedOwner_->compare_exchange_strong(expected, nullptr);
    }
}
