#pragma once

#include <windows.h>

// The few entry points of the GDI+ flat API the splash window uses. gdiplus.dll is loaded
// from the system folder on first use, so it is not among the executable's imports and a
// launch without a splash image never loads it.

namespace gdiplus {

using Status = int;
inline constexpr Status kOk = 0;

struct Image;  // GpImage; GpBitmap is the same object
struct Graphics;
struct ImageAttributes;

inline constexpr int kInterpolationHighQualityBicubic = 7;
inline constexpr int kWrapModeTileFlipXY = 3;
inline constexpr int kUnitPixel = 2;
inline constexpr DWORD kOpaqueBlack = 0xFF000000u;

struct StartupInput {
    UINT32 GdiplusVersion = 1;
    void* DebugEventCallback = nullptr;
    BOOL SuppressBackgroundThread = FALSE;
    BOOL SuppressExternalCodecs = FALSE;
};

using StartupFunction = Status(WINAPI*)(ULONG_PTR*, const StartupInput*, void*);
using ShutdownFunction = void(WINAPI*)(ULONG_PTR);
using CreateBitmapFromFileFunction = Status(WINAPI*)(const WCHAR*, Image**);
using GetImageSizeFunction = Status(WINAPI*)(Image*, UINT*);
using CreateFromHdcFunction = Status(WINAPI*)(HDC, Graphics**);
using SetInterpolationModeFunction = Status(WINAPI*)(Graphics*, int);
using CreateImageAttributesFunction = Status(WINAPI*)(ImageAttributes**);
using SetImageAttributesWrapModeFunction = Status(WINAPI*)(ImageAttributes*, int, DWORD, BOOL);
using DrawImageRectRectIFunction = Status(WINAPI*)(Graphics*, Image*, INT, INT, INT, INT, INT, INT,
                                                   INT, INT, int, const ImageAttributes*, void*,
                                                   void*);
using DeleteGraphicsFunction = Status(WINAPI*)(Graphics*);
using DisposeImageAttributesFunction = Status(WINAPI*)(ImageAttributes*);
using DisposeImageFunction = Status(WINAPI*)(Image*);

}  // namespace gdiplus

/// Owns one GDI+ object and frees it with the flat API's function for its kind.
template <typename T>
class GdiPlusObject {
  public:
    using FreeFunction = gdiplus::Status(WINAPI*)(T*);
    explicit GdiPlusObject(FreeFunction free) noexcept : free_(free) {}
    ~GdiPlusObject() {
        if (object_) free_(object_);
    }
    GdiPlusObject(const GdiPlusObject&) = delete;
    GdiPlusObject& operator=(const GdiPlusObject&) = delete;
    T* get() const noexcept { return object_; }
    explicit operator bool() const noexcept { return object_ != nullptr; }
    /// Frees the current object and returns the address for a Create call to fill.
    T** put() noexcept {
        if (object_) free_(object_);
        object_ = nullptr;
        return &object_;
    }

  private:
    FreeFunction free_;
    T* object_ = nullptr;
};

/// The process-wide GDI+ start-up: started on first use, shut down at process exit.
class GdiPlusSession {
  public:
    /// The running session, or null when gdiplus.dll cannot be loaded, lacks an entry point
    /// or does not start. Thread-safe; only the first call does the work.
    static const GdiPlusSession* Get();

    GdiPlusSession(const GdiPlusSession&) = delete;
    GdiPlusSession& operator=(const GdiPlusSession&) = delete;
    ~GdiPlusSession();

    gdiplus::CreateBitmapFromFileFunction CreateBitmapFromFile = nullptr;
    gdiplus::GetImageSizeFunction GetImageWidth = nullptr;
    gdiplus::GetImageSizeFunction GetImageHeight = nullptr;
    gdiplus::CreateFromHdcFunction CreateFromHdc = nullptr;
    gdiplus::SetInterpolationModeFunction SetInterpolationMode = nullptr;
    gdiplus::CreateImageAttributesFunction CreateImageAttributes = nullptr;
    gdiplus::SetImageAttributesWrapModeFunction SetImageAttributesWrapMode = nullptr;
    gdiplus::DrawImageRectRectIFunction DrawImageRectRectI = nullptr;
    gdiplus::DeleteGraphicsFunction DeleteGraphics = nullptr;
    gdiplus::DisposeImageAttributesFunction DisposeImageAttributes = nullptr;
    gdiplus::DisposeImageFunction DisposeImage = nullptr;

  private:
    constexpr GdiPlusSession() = default;
    bool Start();
    static BOOL CALLBACK StartOnce(INIT_ONCE*, void*, void**);

    static GdiPlusSession session_;

    gdiplus::ShutdownFunction shutdown_ = nullptr;
    ULONG_PTR token_ = 0;
    bool started_ = false;
};
