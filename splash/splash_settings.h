#pragma once

#include <string>
#include <vector>
#include <string_view>

// The rules of the splash stage that need no window system: which splash to show, where the
// runtime's splash library lies, and where the image window goes.

inline constexpr wchar_t kSplashImageKey[] = L"Splash Screen";
inline constexpr wchar_t kSplashShadowKey[] = L"Splash Screen Shadow";
// The key is spelled with a double f in every shipped configuration file.
inline constexpr wchar_t kNativeSplashKey[] = L"Preffer Native Splash Screen";
inline constexpr wchar_t kKeepSplashKey[] = L"Keep Splash Screen";

/// The splash keys of section "Display", as read.
struct SplashSettings {
    std::wstring ImagePath;
    std::wstring ShadowText;
    std::wstring NativeText;
    std::wstring KeepText;
};

/// Exactly "true" (letter case significant) gives the image window a drop shadow.
bool IsShadowRequested(std::wstring_view shadowText);

/// "Yes" (any letter case) keeps the image window up when the application's first window
/// appears, until the application closes it (WM_CLOSE) or the launcher does.
bool IsSplashKept(std::wstring_view keepText);

/// The image file a "Splash Screen" value names: a relative value is taken from the
/// launcher's folder, not from the current folder (a file-association start runs in the
/// document's folder). Absolute, drive and root-relative values, and empty, stay.
std::wstring ResolveSplashImagePath(std::wstring_view value, std::wstring_view launcherFolder);

/// Where the runtime keeps "splashscreen.dll" for a VM library path: two levels up (from
/// bin\server\jvm.dll to bin). Empty when nothing is left after stripping.
std::wstring SplashLibraryCandidate(std::wstring_view vmLibraryPath);

enum class SplashKind { None, Native, Window };

/// What the splash stage tries first, and why (the reason is recorded for diagnostics).
struct SplashPlan {
    SplashKind Kind = SplashKind::None;
    const wchar_t* Reason = L"";
};

/// No image: nothing. The runtime's library when asked for and present; else the window.
SplashPlan PlanSplash(const SplashSettings& settings, bool libraryFound);

struct SplashOrigin {
    int X = 0;
    int Y = 0;
};

/// The top-left corner that centres a width x height window on the screen; negative when
/// the window is larger than the screen (the edges then clip it).
SplashOrigin CenteredOrigin(int screenWidth, int screenHeight, int width, int height);

/// The scale of a monitor in percent (96 DPI is 100 %), to the nearest whole percent.
unsigned ScalePercentForDpi(unsigned dpi);

/// The images drawn for `scalePercent` that may lie beside `imagePath`, best first, named
/// with the scale-factor suffixes the runtime's own splash screen reads: at 150 %
/// "name@150pct.png"; at a whole multiple also "name@2x.png" first. None at 100 % or below.
std::vector<std::wstring> ScaledImageCandidates(std::wstring_view imagePath,
                                                unsigned scalePercent);

struct SplashSize {
    int Width = 0;
    int Height = 0;
    friend bool operator==(const SplashSize&, const SplashSize&) = default;
};

/// The window size for an image of width x height: an image drawn for the monitor's scale
/// is shown pixel for pixel, one drawn for 100 % is scaled to the monitor's DPI.
SplashSize ShownSplashSize(int width, int height, unsigned dpi, bool drawnForScale);
