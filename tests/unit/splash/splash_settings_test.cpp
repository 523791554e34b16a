#include "splash/splash_settings.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(SplashSettings, ShadowNeedsExactlyLowerCaseTrue) {
    struct Case {
        const wchar_t* text;
        bool shadow;
    };
    const Case cases[] = {
        {L"true", true},   {L"True", false}, {L"TRUE", false}, {L"", false},
        {L"true ", false}, {L"1", false},    {L"yes", false},
    };
    for (const Case& c : cases) EXPECT_EQ(IsShadowRequested(c.text), c.shadow) << c.text;
}

TEST(SplashSettings, KeepTakesYesInAnyCase) {
    EXPECT_TRUE(IsSplashKept(L"Yes"));
    EXPECT_TRUE(IsSplashKept(L"yES"));
    EXPECT_FALSE(IsSplashKept(L"true"));
    EXPECT_FALSE(IsSplashKept(L""));
}

TEST(SplashSettings, RelativeImageIsTakenFromTheLauncherFolder) {
    struct Case {
        const wchar_t* value;
        const wchar_t* folder;
        const wchar_t* path;
    };
    const Case cases[] = {
        {L"splash.png", L"C:\\Apps\\Hello", L"C:\\Apps\\Hello\\splash.png"},
        {L"img\\splash.png", L"C:\\Apps\\Hello", L"C:\\Apps\\Hello\\img\\splash.png"},
        {L"..\\shared\\splash.png", L"C:\\Apps\\Hello", L"C:\\Apps\\Hello\\..\\shared\\splash.png"},
        // A launcher in a drive's root folder: FolderOf leaves the bare drive.
        {L"splash.png", L"C:", L"C:\\splash.png"},
        {L"D:\\art\\splash.png", L"C:\\Apps", L"D:\\art\\splash.png"},
        {L"D:splash.png", L"C:\\Apps", L"D:splash.png"},
        {L"\\\\host\\share\\splash.png", L"C:\\Apps", L"\\\\host\\share\\splash.png"},
        {L"\\art\\splash.png", L"C:\\Apps", L"\\art\\splash.png"},
        {L"/art/splash.png", L"C:\\Apps", L"/art/splash.png"},
        {L"", L"C:\\Apps", L""},
        {L"splash.png", L"", L"splash.png"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ResolveSplashImagePath(c.value, c.folder), std::wstring(c.path)) << c.value;
    }
}

TEST(SplashSettings, LibraryLiesInTheRuntimesBinFolder) {
    struct Case {
        const wchar_t* vmLibrary;
        const wchar_t* library;
    };
    const Case cases[] = {
        {L"C:\\rt\\bin\\server\\jvm.dll", L"C:\\rt\\bin\\splashscreen.dll"},
        {L"C:\\rt\\bin\\client\\jvm.dll", L"C:\\rt\\bin\\splashscreen.dll"},
        {L"\\\\host\\share\\jre\\bin\\server\\jvm.dll",
         L"\\\\host\\share\\jre\\bin\\splashscreen.dll"},
        // A folder left with a trailing separator gets no second one.
        {L"C:\\rt\\bin\\\\server\\jvm.dll", L"C:\\rt\\bin\\splashscreen.dll"},
        {L"C:\\rt\\bin/\\server\\jvm.dll", L"C:\\rt\\bin/splashscreen.dll"},
        // Only one level to strip: the drive is what remains.
        {L"C:\\jvm.dll", L"C:\\splashscreen.dll"},
        {L"jvm.dll", L"jvm.dll\\splashscreen.dll"},
        {L"\\jvm.dll", L""},
        {L"", L""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(SplashLibraryCandidate(c.vmLibrary), std::wstring(c.library)) << c.vmLibrary;
    }
}

TEST(SplashSettings, PlanFollowsImageNativeKeyAndLibrary) {
    struct Case {
        const wchar_t* image;
        const wchar_t* native;
        bool libraryFound;
        SplashKind kind;
    };
    const Case cases[] = {
        {L"", L"Yes", true, SplashKind::None},
        {L"", L"", false, SplashKind::None},
        {L"splash.png", L"", true, SplashKind::Window},
        {L"splash.png", L"No", true, SplashKind::Window},
        {L"splash.png", L"YES", true, SplashKind::Native},
        {L"splash.png", L"yes", false, SplashKind::Window},
        {L"splash.png", L"yEs", true, SplashKind::Native},
        {L"splash.png", L"Yes ", true, SplashKind::Window},
        {L"splash.png", L"true", true, SplashKind::Window},
    };
    for (const Case& c : cases) {
        SplashPlan plan = PlanSplash({c.image, L"true", c.native, L""}, c.libraryFound);
        EXPECT_EQ(plan.Kind, c.kind) << c.image << " " << c.native << " " << c.libraryFound;
        EXPECT_NE(std::wstring(plan.Reason), L"");
    }
}

TEST(SplashSettings, WindowIsCentredAndMayStartOffScreen) {
    struct Case {
        int screenWidth, screenHeight, width, height, x, y;
    };
    const Case cases[] = {
        {1920, 1080, 400, 300, 760, 390},
        {1280, 1024, 201, 101, 539, 461},
        {1280, 1024, 0, 0, 640, 512},
        // Larger than the screen: negative, truncated toward zero.
        {1280, 1024, 1301, 1025, -10, 0},
        {1280, 1024, 1303, 1027, -11, -1},
    };
    for (const Case& c : cases) {
        SplashOrigin origin = CenteredOrigin(c.screenWidth, c.screenHeight, c.width, c.height);
        EXPECT_EQ(origin.X, c.x) << c.width;
        EXPECT_EQ(origin.Y, c.y) << c.height;
    }
}

TEST(SplashSettings, ScaleFollowsTheMonitorDpi) {
    struct Case {
        unsigned dpi;
        unsigned percent;
    };
    const Case cases[] = {{96, 100}, {120, 125}, {144, 150}, {168, 175}, {192, 200},
                          {288, 300}, {110, 115}, {72, 75}};
    for (const Case& c : cases) EXPECT_EQ(ScalePercentForDpi(c.dpi), c.percent) << c.dpi;
}

TEST(SplashSettings, ImagesDrawnForTheScaleAreNamedWithItsSuffix) {
    using Names = std::vector<std::wstring>;
    struct Case {
        const wchar_t* path;
        unsigned percent;
        Names names;
    };
    const Case cases[] = {
        {L"C:\\App\\splash.png", 100, {}},
        {L"C:\\App\\splash.png", 75, {}},
        {L"C:\\App\\splash.png", 150, {L"C:\\App\\splash@150pct.png"}},
        {L"C:\\App\\splash.png", 125, {L"C:\\App\\splash@125pct.png"}},
        {L"C:\\App\\splash.png", 200,
         {L"C:\\App\\splash@2x.png", L"C:\\App\\splash@200pct.png"}},
        {L"splash.png", 300, {L"splash@3x.png", L"splash@300pct.png"}},
        // Only the file name's last extension moves behind the suffix.
        {L"C:\\My.App\\logo.big.gif", 150, {L"C:\\My.App\\logo.big@150pct.gif"}},
        {L"C:\\My.App\\logo", 150, {L"C:\\My.App\\logo@150pct"}},
        {L"C:/art/.hidden", 150, {L"C:/art/.hidden@150pct"}},
        {L"", 150, {}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ScaledImageCandidates(c.path, c.percent), c.names) << c.path << " " << c.percent;
    }
}

TEST(SplashSettings, ImageForOneHundredPercentIsScaledToTheMonitor) {
    EXPECT_EQ(ShownSplashSize(400, 300, 144, false), (SplashSize{600, 450}));
    EXPECT_EQ(ShownSplashSize(64, 48, 120, false), (SplashSize{80, 60}));
    EXPECT_EQ(ShownSplashSize(400, 300, 96, false), (SplashSize{400, 300}));
    // An image drawn for the scale is already at the monitor's size.
    EXPECT_EQ(ShownSplashSize(600, 450, 144, true), (SplashSize{600, 450}));
    EXPECT_EQ(ShownSplashSize(0, 0, 144, false), (SplashSize{0, 0}));
}

}  // namespace
