#include "splash/gdiplus_win32.h"

#include <string>

#include "core/system_library_win32.h"
#include "core/unique_handle_win32.h"

// Namespace-scope state and INIT_ONCE rather than function-local statics: their guards would
// pull the C++ library's guard code and the thread library behind it into the launcher.
GdiPlusSession GdiPlusSession::session_;

const GdiPlusSession* GdiPlusSession::Get() {
    static constinit INIT_ONCE once = INIT_ONCE_STATIC_INIT;
    ::InitOnceExecuteOnce(&once, StartOnce, nullptr, nullptr);
    return session_.started_ ? &session_ : nullptr;
}

BOOL CALLBACK GdiPlusSession::StartOnce(INIT_ONCE*, void*, void**) {
    // Done after the first attempt either way: a session that did not start is not tried again.
    session_.Start();
    return TRUE;
}

bool GdiPlusSession::Start() {
    // Only the system's own copy, and its dependencies from the system folder too: a
    // gdiplus.dll (or one of its DLLs) planted beside the executable or in the current
    // directory is never picked up. Loaded for the life of the process.
    HMODULE module = LoadSystemLibrary(L"gdiplus.dll");
    if (!module) return false;
    HMODULE m = module;
    auto startup = GetProcAddressAs<gdiplus::StartupFunction>(m, "GdiplusStartup");
    shutdown_ = GetProcAddressAs<gdiplus::ShutdownFunction>(m, "GdiplusShutdown");
    CreateBitmapFromFile =
        GetProcAddressAs<gdiplus::CreateBitmapFromFileFunction>(m, "GdipCreateBitmapFromFile");
    GetImageWidth = GetProcAddressAs<gdiplus::GetImageSizeFunction>(m, "GdipGetImageWidth");
    GetImageHeight = GetProcAddressAs<gdiplus::GetImageSizeFunction>(m, "GdipGetImageHeight");
    CreateFromHdc = GetProcAddressAs<gdiplus::CreateFromHdcFunction>(m, "GdipCreateFromHDC");
    SetInterpolationMode =
        GetProcAddressAs<gdiplus::SetInterpolationModeFunction>(m, "GdipSetInterpolationMode");
    CreateImageAttributes =
        GetProcAddressAs<gdiplus::CreateImageAttributesFunction>(m, "GdipCreateImageAttributes");
    SetImageAttributesWrapMode = GetProcAddressAs<gdiplus::SetImageAttributesWrapModeFunction>(
        m, "GdipSetImageAttributesWrapMode");
    DrawImageRectRectI =
        GetProcAddressAs<gdiplus::DrawImageRectRectIFunction>(m, "GdipDrawImageRectRectI");
    DeleteGraphics = GetProcAddressAs<gdiplus::DeleteGraphicsFunction>(m, "GdipDeleteGraphics");
    DisposeImageAttributes =
        GetProcAddressAs<gdiplus::DisposeImageAttributesFunction>(m, "GdipDisposeImageAttributes");
    DisposeImage = GetProcAddressAs<gdiplus::DisposeImageFunction>(m, "GdipDisposeImage");
    if (!startup || !shutdown_ || !CreateBitmapFromFile || !GetImageWidth || !GetImageHeight ||
        !CreateFromHdc || !SetInterpolationMode || !CreateImageAttributes ||
        !SetImageAttributesWrapMode || !DrawImageRectRectI || !DeleteGraphics ||
        !DisposeImageAttributes || !DisposeImage) {
        return false;
    }
    gdiplus::StartupInput input;
    if (startup(&token_, &input, nullptr) != gdiplus::kOk) return false;
    started_ = true;
    return true;
}

GdiPlusSession::~GdiPlusSession() {
    if (started_) shutdown_(token_);
}
