#include "splash/splash_settings.h"

#include "config/configuration.h"
#include "core/path_utils.h"

bool IsShadowRequested(std::wstring_view shadowText) { return shadowText == L"true"; }

bool IsSplashKept(std::wstring_view keepText) { return IsYesFlag(keepText); }

std::wstring ResolveSplashImagePath(std::wstring_view value, std::wstring_view launcherFolder) {
    bool rooted = !value.empty() && (value[0] == L'\\' || value[0] == L'/');
    bool drive = value.size() >= 2 && value[1] == L':';
    if (value.empty() || rooted || drive || launcherFolder.empty()) return std::wstring(value);
    return std::wstring(launcherFolder) + L"\\" + std::wstring(value);
}

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
