#include "splash/gdiplus_win32.h"

#include <string>

#include "core/text_win32.h"
#include "core/unique_handle_win32.h"

namespace {

std::wstring SystemFolder() {
    std::wstring folder;
    FillGrowingBuffer(folder, MAX_PATH, [](wchar_t* buffer, DWORD capacity) -> DWORD {
        UINT length = ::GetSystemDirectoryW(buffer, capacity);
        if (length == 0) return kBufferFailed;
        return length;  // the needed size, terminator included, when it does not fit
    });
    return folder;
}

}  // namespace

const GdiPlusSession* GdiPlusSession::Get() {
    static GdiPlusSession session;
    static const bool started = session.Start();
    return started ? &session : nullptr;
}

bool GdiPlusSession::Start() {
    std::wstring folder = SystemFolder();
    if (folder.empty()) return false;
    // Only the system's own copy: a gdiplus.dll planted beside the executable or in the
    // current directory is never picked up.
    UniqueHModule module(::LoadLibraryExW((folder + L"\\gdiplus.dll").c_str(), nullptr, 0));
    if (!module) return false;
    HMODULE m = module.get();
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
    // GDI+ stays loaded until the process ends: its shutdown runs at exit and its
    // background thread must not lose its code before that.
    module.release();
    return true;
}

GdiPlusSession::~GdiPlusSession() {
    if (started_) shutdown_(token_);
}
