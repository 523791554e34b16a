#pragma once

#include <windows.h>

#include <atomic>
#include <string>

#include "core/unique_handle_win32.h"
#include "splash/gdiplus_win32.h"

inline constexpr wchar_t kSplashWindowClass[] = L"SplashScreenWindow";

/// The launcher's own image splash window: a borderless popup painted from a bitmap into
/// which the image was rendered once. Created empty on the entry thread; the splash thread
/// creates, paints and destroys the window, and the object is destroyed only after that
/// thread has ended. The window attaches itself to the object at WM_NCCREATE.
class SplashWindow {
  public:
    /// `publishedOwner`, when given, is cleared as soon as the window is destroyed, so
    /// that message boxes are never given a dead owner (WM_CLOSE from another program can
    /// destroy the window at any moment).
    explicit SplashWindow(std::atomic<HWND>* publishedOwner = nullptr)
        : publishedOwner_(publishedOwner) {}
    SplashWindow(const SplashWindow&) = delete;
    SplashWindow& operator=(const SplashWindow&) = delete;
    ~SplashWindow() = default;

    /// The popup, or null before it is created and after it is destroyed.
    HWND Handle() const { return window_.get(); }

    /// Renders the image (scaled to the rectangle, high-quality bicubic) into a new screen-
    /// compatible bitmap, replacing the previous one. False, and no bitmap, when the bitmap
    /// cannot be made or drawn.
    bool RenderImageToBitmap(const GdiPlusSession& gdiPlus, gdiplus::Image* image,
                             const RECT& rectangle);

    /// Destroys the window if it still exists; call on the thread that created it.
    void DestroyWindow() { window_.reset(); }

    /// Manual-reset event the splash thread signals once the window is shown (or could not
    /// be made), so that the launch goes on only when message boxes can be owned by it.
    HANDLE ReadyEvent() const { return ready_.get(); }

  private:
    friend HWND CreateSplashWindow(SplashWindow& splash, const std::wstring& imagePath,
                                   bool shadow);
    static LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam,
                                            LPARAM lParam);
    void Paint();
    void Detach();
    /// Draws the image again for the DPI its screen has now and keeps it centred.
    void OnDpiChanged(UINT dpi);

    UniqueHwnd window_;
    UniqueGdiObject bitmap_;
    std::wstring imagePath_;
    SIZE bitmapSize_{0, 0};
    std::atomic<HWND>* publishedOwner_;
    UniqueHandle ready_{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
};

/// Loads the image through GDI+, renders it for the primary screen's DPI (the image for
/// that scale when one lies beside it, else the image scaled), and creates the (hidden) popup
/// centred on the primary screen at that size. An image that cannot be read or rendered gives a
/// 0 x 0 window. Null when the window class cannot be registered or the window not made.
HWND CreateSplashWindow(SplashWindow& splash, const std::wstring& imagePath, bool shadow);
