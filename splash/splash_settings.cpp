#include "splash/splash_settings.h"

#include "config/configuration.h"
#include "core/path_utils.h"
#include "core/format.h"
#include "ui/dialog_layout.h"

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

unsigned ScalePercentForDpi(unsigned dpi) {
    return static_cast<unsigned>(ScaleForDpi(100, dpi, kDefaultDpi));
}

std::vector<std::wstring> ScaledImageCandidates(std::wstring_view imagePath,
                                                unsigned scalePercent) {
    if (scalePercent <= 100 || imagePath.empty()) return {};
    // The suffix goes before the extension of the file name, not before a dot in a folder's
    // name; a name that only starts with a dot has no extension.
    const std::size_t nameStart = imagePath.find_last_of(L"\\/") + 1;
    std::size_t dot = imagePath.rfind(L'.');
    if (dot == std::wstring_view::npos || dot <= nameStart) dot = imagePath.size();
    const std::wstring stem(imagePath.substr(0, dot));
    const std::wstring extension(imagePath.substr(dot));
    std::vector<std::wstring> names;
    if (scalePercent % 100 == 0) {
        names.push_back(stem + L"@" + DecimalText(scalePercent / 100) + L"x" + extension);
    }
    names.push_back(stem + L"@" + DecimalText(scalePercent) + L"pct" + extension);
    return names;
}

SplashSize ShownSplashSize(int width, int height, unsigned dpi, bool drawnForScale) {
    if (drawnForScale) return {width, height};
    return {ScaleForDpi(width, dpi), ScaleForDpi(height, dpi)};
}
