#include "splash/splash_window_win32.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "core/launcher_win32.h"
#include "core/thread_stop_win32.h"
#include "core/unique_handle_win32.h"
#include "splash/splash_win32.h"

namespace {

struct Rgb {
    std::uint8_t r, g, b;
};

std::wstring TempFolder() {
    wchar_t buffer[MAX_PATH];
    DWORD length = ::GetTempPathW(MAX_PATH, buffer);
    std::wstring folder(buffer, length);
    folder += L"vmboot-splash-" + std::to_wstring(::GetCurrentProcessId());
    ::CreateDirectoryW(folder.c_str(), nullptr);
    return folder;
}

// A 24-bit bottom-up BMP, left half `left`, right half `right`.
void WriteTwoColourBmp(const std::wstring& path, int width, int height, Rgb left, Rgb right) {
    int stride = (width * 3 + 3) & ~3;
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(stride) * height, 0);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            Rgb c = x < width / 2 ? left : right;
            std::uint8_t* p = &pixels[static_cast<std::size_t>(y) * stride + x * 3];
            p[0] = c.b;
            p[1] = c.g;
            p[2] = c.r;
        }
    }
    BITMAPFILEHEADER file{};
    BITMAPINFOHEADER info{};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof(file) + sizeof(info);
    file.bfSize = file.bfOffBits + static_cast<DWORD>(pixels.size());
    info.biSize = sizeof(info);
    info.biWidth = width;
    info.biHeight = height;
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    std::ofstream out(path.c_str(), std::ios::binary);
    out.write(reinterpret_cast<const char*>(&file), sizeof(file));
    out.write(reinterpret_cast<const char*>(&info), sizeof(info));
    out.write(reinterpret_cast<const char*>(pixels.data()), pixels.size());
}

Rgb PixelOf(HBITMAP bitmap, int width, int height, int x, int y) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(width) * height);
    HDC screen = ::GetDC(nullptr);
    int lines = ::GetDIBits(screen, bitmap, 0, height, pixels.data(), &info, DIB_RGB_COLORS);
    ::ReleaseDC(nullptr, screen);
    EXPECT_EQ(lines, height);
    std::uint32_t p = pixels[static_cast<std::size_t>(y) * width + x];
    return {static_cast<std::uint8_t>(p >> 16), static_cast<std::uint8_t>(p >> 8),
            static_cast<std::uint8_t>(p)};
}

// The window's client area as it is painted on screen: shown, painted, read back.
std::vector<Rgb> PaintedPixels(HWND window, int width, int height) {
    ::ShowWindow(window, SW_SHOWNOACTIVATE);
    ::UpdateWindow(window);
    HDC dc = ::GetDC(window);
    UniqueMemoryDc memory(::CreateCompatibleDC(dc));
    UniqueGdiObject copy(::CreateCompatibleBitmap(dc, width, height));
    HGDIOBJ previous = ::SelectObject(memory.get(), copy.get());
    ::BitBlt(memory.get(), 0, 0, width, height, dc, 0, 0, SRCCOPY);
    ::SelectObject(memory.get(), previous);
    ::ReleaseDC(window, dc);
    std::vector<Rgb> pixels;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            pixels.push_back(PixelOf(static_cast<HBITMAP>(copy.get()), width, height, x, y));
        }
    }
    return pixels;
}

std::wstring ClassOf(HWND window) {
    wchar_t name[64] = {};
    ::GetClassNameW(window, name, 64);
    return name;
}

class SplashWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        folder_ = TempFolder();
        image_ = folder_ + L"\\two-colours.bmp";
        WriteTwoColourBmp(image_, 40, 30, {255, 0, 0}, {0, 0, 255});
    }
    void TearDown() override {
        ::DeleteFileW(image_.c_str());
        ::RemoveDirectoryW(folder_.c_str());
    }
    std::wstring folder_;
    std::wstring image_;
};

TEST_F(SplashWindowTest, ImageWindowIsCentredPopupWithRenderedBitmap) {
    std::atomic<HWND> owner{nullptr};
    SplashWindow splash(&owner);
    HWND window = CreateSplashWindow(splash, image_, false);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(splash.Handle(), window);
    EXPECT_EQ(ClassOf(window), kSplashWindowClass);
    EXPECT_EQ(::GetWindowLongW(window, GWL_STYLE) & (WS_POPUP | WS_CAPTION | WS_BORDER),
              static_cast<LONG>(WS_POPUP));
    EXPECT_TRUE(::GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_TOOLWINDOW);
    EXPECT_FALSE(::GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_TOPMOST);
    EXPECT_FALSE(::IsWindowVisible(window));

    RECT rect;
    ASSERT_TRUE(::GetWindowRect(window, &rect));
    int screenWidth = ::GetSystemMetrics(SM_CXSCREEN);
    int screenHeight = ::GetSystemMetrics(SM_CYSCREEN);
    EXPECT_EQ(rect.left, (screenWidth - 40) / 2);
    EXPECT_EQ(rect.top, (screenHeight - 30) / 2);
    EXPECT_EQ(rect.right - rect.left, 40);
    EXPECT_EQ(rect.bottom - rect.top, 30);

    std::vector<Rgb> painted = PaintedPixels(window, 40, 30);
    // Away from the seam, where the bicubic filter mixes the two colours.
    Rgb left = painted[15 * 40 + 5];
    Rgb right = painted[15 * 40 + 34];
    EXPECT_GE(left.r, 250);
    EXPECT_LE(left.b, 5);
    EXPECT_GE(right.b, 250);
    EXPECT_LE(right.r, 5);
    // The corners keep their colour: the flipped tiling adds no dark edge.
    EXPECT_GE(painted[0].r, 250);
    EXPECT_GE(painted[29 * 40 + 39].b, 250);

    owner.store(window);
    splash.DestroyWindow();
    EXPECT_EQ(splash.Handle(), nullptr);
    EXPECT_EQ(owner.load(), nullptr);
}

TEST_F(SplashWindowTest, DpiChangeDrawsTheImageAgainAtTheNewScale) {
    SplashWindow splash;
    HWND window = CreateSplashWindow(splash, image_, false);
    ASSERT_NE(window, nullptr);
    // The image counts as drawn for 96 DPI: at 144 it is shown at 1.5 times its size.
    ::SendMessageW(window, WM_DPICHANGED, MAKEWPARAM(144, 144), 0);
    RECT rect;
    ASSERT_TRUE(::GetWindowRect(window, &rect));
    EXPECT_EQ(rect.right - rect.left, 60);
    EXPECT_EQ(rect.bottom - rect.top, 45);
    EXPECT_EQ(rect.left, (::GetSystemMetrics(SM_CXSCREEN) - 60) / 2);
    EXPECT_EQ(rect.top, (::GetSystemMetrics(SM_CYSCREEN) - 45) / 2);
    // The whole image is scaled, not cut: the right half is still blue.
    std::vector<Rgb> painted = PaintedPixels(window, 60, 45);
    EXPECT_GE(painted[22 * 60 + 8].r, 250);
    EXPECT_GE(painted[22 * 60 + 51].b, 250);
    EXPECT_LE(painted[22 * 60 + 51].r, 5);
    splash.DestroyWindow();
}

TEST_F(SplashWindowTest, UnreadableImageGivesEmptyWindow) {
    const std::wstring paths[] = {folder_ + L"\\missing.png", folder_};
    // A file that is not an image at all.
    std::wstring garbage = folder_ + L"\\garbage.png";
    std::ofstream(garbage.c_str()) << "not an image";
    for (const std::wstring& path : {paths[0], paths[1], garbage}) {
        SplashWindow splash;
        HWND window = CreateSplashWindow(splash, path, false);
        ASSERT_NE(window, nullptr);
        RECT rect;
        ASSERT_TRUE(::GetWindowRect(window, &rect));
        EXPECT_EQ(rect.right - rect.left, 0);
        EXPECT_EQ(rect.bottom - rect.top, 0);
        splash.DestroyWindow();
    }
    ::DeleteFileW(garbage.c_str());
}

TEST_F(SplashWindowTest, CloseMessageDestroysWindowAndWithdrawsOwner) {
    std::atomic<HWND> owner{nullptr};
    SplashWindow splash(&owner);
    HWND window = CreateSplashWindow(splash, image_, true);
    ASSERT_NE(window, nullptr);
    owner.store(window);
    ::SendMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_FALSE(::IsWindow(window));
    EXPECT_EQ(splash.Handle(), nullptr);
    EXPECT_EQ(owner.load(), nullptr);
    // Another owner published meanwhile is left alone.
    SplashWindow second(&owner);
    HWND other = CreateSplashWindow(second, image_, true);
    ASSERT_NE(other, nullptr);
    HWND unrelated = reinterpret_cast<HWND>(static_cast<std::intptr_t>(0x1234));
    owner.store(unrelated);
    second.DestroyWindow();
    EXPECT_EQ(owner.load(), unrelated);
}

DWORD WINAPI GetGdiPlusSession(void* result) {
    *static_cast<const GdiPlusSession**>(result) = GdiPlusSession::Get();
    return 0;
}

TEST(GdiPlusSessionTest, StartsOnceForTheProcess) {
    // Each test runs in a process of its own: these threads race for the very first start.
    const GdiPlusSession* results[4] = {};
    UniqueHandle threads[4];
    for (int i = 0; i < 4; ++i) {
        threads[i].reset(::CreateThread(nullptr, 0, GetGdiPlusSession, &results[i], 0, nullptr));
        ASSERT_TRUE(threads[i]);
    }
    for (UniqueHandle& thread : threads) ::WaitForSingleObject(thread.get(), INFINITE);
    const GdiPlusSession* first = GdiPlusSession::Get();
    ASSERT_NE(first, nullptr);
    for (const GdiPlusSession* result : results) EXPECT_EQ(result, first);
    EXPECT_NE(::GetModuleHandleW(L"gdiplus.dll"), nullptr);
}

DWORD WINAPI LateMessageLoop(void* delay) {
    // Sleep first: posts made before the queue exists are lost and must be repeated.
    ::Sleep(static_cast<DWORD>(reinterpret_cast<std::uintptr_t>(delay)));
    MSG message;
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) ::DispatchMessageW(&message);
    return 7;
}

double CpuSeconds(HANDLE thread) {
    FILETIME creation, exit, kernel, user;
    ::GetThreadTimes(thread, &creation, &exit, &kernel, &user);
    auto value = [](FILETIME t) {
        return (static_cast<std::uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
    };
    return static_cast<double>(value(kernel) + value(user)) / 1e7;
}

TEST(StopMessageLoopThreadTest, RepostsUntilTheThreadEndsWithoutSpinning) {
    DWORD id = 0;
    HANDLE thread = ::CreateThread(nullptr, 0, LateMessageLoop,
                                   reinterpret_cast<void*>(std::uintptr_t{600}), 0, &id);
    ASSERT_NE(thread, nullptr);
    double before = CpuSeconds(::GetCurrentThread());
    DWORD start = ::GetTickCount();
    StopMessageLoopThread(thread, id);
    DWORD elapsed = ::GetTickCount() - start;
    double used = CpuSeconds(::GetCurrentThread()) - before;
    DWORD code = 0;
    EXPECT_TRUE(::GetExitCodeThread(thread, &code));
    EXPECT_EQ(code, 7u);
    EXPECT_GE(elapsed, 500u);
    // A polling loop would have used most of the 600 ms.
    EXPECT_LT(used, 0.1);
    ::CloseHandle(thread);
}

TEST(FindSplashLibraryTest, LooksBesideTheVmLibrarysParentFolder) {
    std::wstring root = TempFolder();
    std::wstring bin = root + L"\\bin";
    ::CreateDirectoryW(bin.c_str(), nullptr);
    ::CreateDirectoryW((bin + L"\\server").c_str(), nullptr);
    std::wstring vmLibrary = bin + L"\\server\\jvm.dll";
    EXPECT_EQ(FindSplashLibrary(vmLibrary), L"");
    std::ofstream((bin + L"\\splashscreen.dll").c_str()) << "x";
    EXPECT_EQ(FindSplashLibrary(vmLibrary), bin + L"\\splashscreen.dll");
    EXPECT_EQ(FindSplashLibrary(L""), L"");
    ::DeleteFileW((bin + L"\\splashscreen.dll").c_str());
    ::RemoveDirectoryW((bin + L"\\server").c_str());
    ::RemoveDirectoryW(bin.c_str());
    ::RemoveDirectoryW(root.c_str());
}

int g_closesCalled = 0;
void CountClose() { ++g_closesCalled; }

TEST(ShowNativeSplashTest, LibraryThatDoesNotLoadInstallsNoClose) {
    Launcher launcher;
    std::wstring root = TempFolder();
    std::wstring fake = root + L"\\splashscreen.dll";
    std::ofstream(fake.c_str()) << "not a library";
    // Installing any other close would call this one at once.
    launcher.PendingSplashCloseAction.Install(CountClose);
    EXPECT_FALSE(ShowNativeSplash(launcher, fake, "image.png"));
    EXPECT_FALSE(ShowNativeSplash(launcher, root + L"\\absent.dll", "image.png"));
    EXPECT_EQ(g_closesCalled, 0);
    launcher.PendingSplashCloseAction.Invoke();
    EXPECT_EQ(g_closesCalled, 1);
    ::DeleteFileW(fake.c_str());
    ::RemoveDirectoryW(root.c_str());
}

// The whole stage on the launcher: the test executable's own configuration file names
// the image, the splash thread shows it and publishes it as the owner of message boxes.
class StartSplashTest : public SplashWindowTest {
  protected:
    void SetUp() override {
        SplashWindowTest::SetUp();
        wchar_t module[MAX_PATH];
        DWORD length = ::GetModuleFileNameW(nullptr, module, MAX_PATH);
        std::wstring path(module, length);
        configuration_ = path.substr(0, path.rfind(L'.') + 1) + L"ini";
    }
    void TearDown() override {
        ::DeleteFileW(configuration_.c_str());
        SplashWindowTest::TearDown();
    }
    void Configure(const std::wstring& image, const wchar_t* shadow) {
        ::WritePrivateProfileStringW(L"Display", L"Splash Screen", image.c_str(),
                                     configuration_.c_str());
        ::WritePrivateProfileStringW(L"Display", L"Splash Screen Shadow", shadow,
                                     configuration_.c_str());
    }
    std::wstring configuration_;
};

TEST_F(StartSplashTest, ShowsWindowOnItsOwnThreadAndClosesIt) {
    Configure(image_, L"true");
    Launcher launcher;
    ASSERT_TRUE(StartSplash(launcher));
    ASSERT_TRUE(launcher.SplashThread);
    // The stage returns only once the window is up: a message box raised next is owned by it.
    HWND window = launcher.OwnerWindow.load();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(ClassOf(window), kSplashWindowClass);
    EXPECT_EQ(::GetWindowThreadProcessId(window, nullptr), launcher.SplashThreadId);
    EXPECT_TRUE(::IsWindowVisible(window));

    HANDLE thread = nullptr;
    ::DuplicateHandle(::GetCurrentProcess(), launcher.SplashThread.get(), ::GetCurrentProcess(),
                      &thread, 0, FALSE, DUPLICATE_SAME_ACCESS);
    CloseSplashWindow(launcher);
    EXPECT_EQ(::WaitForSingleObject(thread, 0), WAIT_OBJECT_0);
    ::CloseHandle(thread);
    EXPECT_FALSE(::IsWindow(window));
    EXPECT_EQ(launcher.SplashWindowObject, nullptr);
    EXPECT_EQ(launcher.OwnerWindow.load(), nullptr);
    CloseSplashWindow(launcher);  // a second close finds nothing to do
}

TEST_F(StartSplashTest, OutsideCloseLeavesThreadForTheLaterStop) {
    Configure(image_, L"");
    Launcher launcher;
    ASSERT_TRUE(StartSplash(launcher));
    HWND window = launcher.OwnerWindow.load();
    ASSERT_NE(window, nullptr);
    ::PostMessageW(window, WM_CLOSE, 0, 0);
    // Wine without a window manager needs up to two seconds to take a shown window down.
    for (int i = 0; i < 1000 && ::IsWindow(window); ++i) ::Sleep(10);
    EXPECT_FALSE(::IsWindow(window));
    EXPECT_EQ(launcher.OwnerWindow.load(), nullptr);
    EXPECT_EQ(::WaitForSingleObject(launcher.SplashThread.get(), 0),
              static_cast<DWORD>(WAIT_TIMEOUT));
    CloseSplashWindow(launcher);
    EXPECT_EQ(launcher.SplashWindowObject, nullptr);
}

// Messages of the windows this thread made, for `milliseconds` or until `done`.
template <typename Done>
void PumpUntil(DWORD milliseconds, Done done) {
    DWORD start = ::GetTickCount();
    while (!done() && ::GetTickCount() - start < milliseconds) {
        MSG message;
        while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&message);
        ::Sleep(20);
    }
}

TEST_F(StartSplashTest, ApplicationWindowClosesItUnlessKept) {
    struct Case {
        const wchar_t* keep;
        bool ownedBySplash;  // as the launcher's own message boxes are
        bool closes;
    };
    for (const Case& c :
         {Case{L"", false, true}, Case{L"", true, false}, Case{L"Yes", false, false}}) {
        Configure(image_, L"");
        ::WritePrivateProfileStringW(L"Display", L"Keep Splash Screen", c.keep,
                                     configuration_.c_str());
        Launcher launcher;
        ASSERT_TRUE(StartSplash(launcher));
        HWND splash = launcher.OwnerWindow.load();
        ASSERT_NE(splash, nullptr);
        // Hidden windows and the splash itself do not count.
        HWND hidden = ::CreateWindowExW(0, L"STATIC", L"hidden", WS_OVERLAPPEDWINDOW, 0, 0, 100,
                                        100, nullptr, nullptr, nullptr, nullptr);
        PumpUntil(600, [] { return false; });
        EXPECT_TRUE(::IsWindow(splash)) << c.keep;
        HWND shown = ::CreateWindowExW(
            0, L"STATIC", L"application", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 200, 100,
            c.ownedBySplash ? splash : nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(shown, nullptr);
        // Wine without a window manager may take two seconds to take a shown window down.
        PumpUntil(c.closes ? 4000 : 1000, [&] { return !::IsWindow(splash); });
        EXPECT_EQ(!::IsWindow(splash), c.closes) << c.keep << " " << c.ownedBySplash;
        EXPECT_EQ(launcher.OwnerWindow.load() == nullptr, c.closes);
        ::DestroyWindow(shown);
        ::DestroyWindow(hidden);
        CloseSplashWindow(launcher);
        EXPECT_FALSE(::IsWindow(splash));
    }
    ::WritePrivateProfileStringW(L"Display", L"Keep Splash Screen", nullptr,
                                 configuration_.c_str());
}

TEST_F(StartSplashTest, NoImageOrDryRunStartsNothing) {
    struct Case {
        const wchar_t* image;
        bool dryRun;
    };
    for (const Case& c : {Case{L"", false}, Case{L"image", true}}) {
        Configure(c.image[0] ? image_ : std::wstring(), L"true");
        Launcher launcher;
        launcher.DryRun = c.dryRun;
        EXPECT_TRUE(StartSplash(launcher));
        EXPECT_FALSE(launcher.SplashThread);
        EXPECT_EQ(launcher.SplashWindowObject, nullptr);
        EXPECT_EQ(launcher.OwnerWindow.load(), nullptr);
    }
}

}  // namespace
