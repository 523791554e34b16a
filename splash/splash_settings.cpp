#include "splash/splash_settings.h"

#include "config/configuration.h"
#include "options/path_utils.h"

bool IsShadowRequested(std::wstring_view shadowText) { return shadowText == L"true"; }

std::wstring SplashLibraryCandidate(std::wstring_view vmLibraryPath) {
    std::wstring folder = StripPathLevels(vmLibraryPath, 2);
    if (folder.empty()) return {};
    if (folder.back() != L'\\' && folder.back() != L'/') folder += L'\\';
    return folder + L"splashscreen.dll";
}

SplashPlan PlanSplash(const SplashSettings& settings, bool libraryFound) {
    if (settings.ImagePath.empty()) return {SplashKind::None, L"no image configured"};
    if (!IsYesFlag(settings.NativeText)) {
        return {SplashKind::Window, L"runtime splash not requested"};
    }
    if (!libraryFound) return {SplashKind::Window, L"runtime has no splash library"};
    return {SplashKind::Native, L"runtime splash requested and library present"};
}

SplashOrigin CenteredOrigin(int screenWidth, int screenHeight, int width, int height) {
    // Integer division truncates toward zero, also for images larger than the screen.
    return {(screenWidth - width) / 2, (screenHeight - height) / 2};
}
