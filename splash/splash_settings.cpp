#include "splash/splash_settings.h"

#include "options/path_utils.h"

bool IsShadowRequested(std::wstring_view shadowText) { return shadowText == L"true"; }

bool IsNativeSplashRequested(std::wstring_view nativeText) {
    constexpr std::wstring_view yes = L"yes";
    if (nativeText.size() != yes.size()) return false;
    for (std::size_t i = 0; i < yes.size(); ++i) {
        wchar_t c = nativeText[i];
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
        if (c != yes[i]) return false;
    }
    return true;
}

std::wstring SplashLibraryCandidate(std::wstring_view vmLibraryPath) {
    std::wstring folder = StripPathLevels(vmLibraryPath, 2);
    if (folder.empty()) return {};
    if (folder.back() != L'\\' && folder.back() != L'/') folder += L'\\';
    return folder + L"splashscreen.dll";
}

SplashPlan PlanSplash(const SplashSettings& settings, bool libraryFound) {
    if (settings.ImagePath.empty()) return {SplashKind::None, L"no image configured"};
    if (!IsNativeSplashRequested(settings.NativeText)) {
        return {SplashKind::Window, L"runtime splash not requested"};
    }
    if (!libraryFound) return {SplashKind::Window, L"runtime has no splash library"};
    return {SplashKind::Native, L"runtime splash requested and library present"};
}

SplashOrigin CenteredOrigin(int screenWidth, int screenHeight, int width, int height) {
    // Integer division truncates toward zero, also for images larger than the screen.
    return {(screenWidth - width) / 2, (screenHeight - height) / 2};
}
