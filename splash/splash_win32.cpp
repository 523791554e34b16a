#include "splash/splash_win32.h"

#include <memory>

#include "config/configuration.h"
#include "config/configuration_win32.h"
#include "config/settings_store_win32.h"
#include "core/launcher_win32.h"
#include "core/text_win32.h"
#include "core/system_library_win32.h"
#include "core/thread_stop_win32.h"
#include "core/unique_handle_win32.h"
#include "options/option_text_win32.h"
#include "core/path_utils.h"
#include "splash/splash_settings.h"
#include "splash/splash_window_win32.h"

namespace {

// The runtime splash library's exports take narrow strings and return nothing we use.
using SplashInitFunction = void (*)();
using SplashLoadFileFunction = void (*)(const char*);
using SplashSetFileJarNameFunction = void (*)(const char*, const char*);

SplashSettings ReadSplashSettings(const Launcher& launcher,
                                  const std::wstring& configurationPath) {
    // The file alone: the splash keys have no append section.
    IniSettingsStore store(configurationPath);
    SplashSettings settings;
    settings.ImagePath = ReadNotedSetting(launcher, store, kDisplaySection, kSplashImageKey);
    settings.ShadowText = ReadNotedSetting(launcher, store, kDisplaySection, kSplashShadowKey);
    settings.NativeText = ReadNotedSetting(launcher, store, kDisplaySection, kNativeSplashKey);
    settings.KeepText = ReadNotedSetting(launcher, store, kDisplaySection, kKeepSplashKey);
    return settings;
}

void AddLibraryFolder(AddDllDirectoryFunction addDllDirectory, const std::wstring& path) {
    std::size_t slash = path.rfind(L'\\');
    if (slash == std::wstring::npos) return;
    addDllDirectory(path.substr(0, slash).c_str());
}

HMODULE LoadSplashLibrary(const std::wstring& libraryPath, const std::wstring& vmLibraryPath) {
    if (AddDllDirectoryFunction addDllDirectory = ResolveAddDllDirectory()) {
        // The library and its own dependencies load from the runtime's folders.
        AddLibraryFolder(addDllDirectory, libraryPath);
        AddLibraryFolder(addDllDirectory, vmLibraryPath);
        HMODULE module =
            ::LoadLibraryExW(libraryPath.c_str(), nullptr, LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);
        if (module || ::GetLastError() != ERROR_INVALID_PARAMETER) return module;
    }
    // Systems without the search-directory update: the library's own folder comes first.
    return ::LoadLibraryExW(libraryPath.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

struct ApplicationWindowSearch {
    HWND Splash;
    DWORD Process;
    bool Found;
};

bool IsOwnedBy(HWND window, HWND owner) {
    // Bounded: a broken owner chain must not hold the splash thread.
    HWND current = window;
    for (int level = 0; level < 32 && current; ++level) {
        current = ::GetWindow(current, GW_OWNER);
        if (current == owner) return true;
    }
    return false;
}

BOOL CALLBACK FindApplicationWindow(HWND window, LPARAM parameter) {
    auto& search = *reinterpret_cast<ApplicationWindowSearch*>(parameter);
    DWORD process = 0;
    ::GetWindowThreadProcessId(window, &process);
    if (process != search.Process || window == search.Splash || !::IsWindowVisible(window)) {
        return TRUE;
    }
    RECT rect;
    if (!::GetWindowRect(window, &rect) || rect.right <= rect.left || rect.bottom <= rect.top) {
        return TRUE;
    }
    // The launcher's own message boxes are owned by the splash while it is up.
    if (IsOwnedBy(window, search.Splash)) return TRUE;
    search.Found = true;
    return FALSE;
}

/// A visible top-level window of this process that is neither the splash nor owned by it:
/// the application has shown its first window.
bool ApplicationWindowShown(HWND splash) {
    ApplicationWindowSearch search{splash, ::GetCurrentProcessId(), false};
    ::EnumWindows(FindApplicationWindow, reinterpret_cast<LPARAM>(&search));
    return search.Found;
}

DWORD WINAPI SplashThread(void* parameter) {
    auto& launcher = *static_cast<Launcher*>(parameter);
    SplashWindow& splash = *launcher.SplashWindowObject;
    HWND window = CreateSplashWindow(splash, launcher.SplashImagePath,
                                     IsShadowRequested(launcher.SplashShadowText));
    launcher.OwnerWindow.store(window);
    if (window) {
        ::ShowWindow(window, SW_SHOWNORMAL);
        ::UpdateWindow(window);
    }
    if (splash.ReadyEvent()) ::SetEvent(splash.ReadyEvent());
    // The splash goes when the application's first window appears, as with java -splash.
    // A timer looks five times a second; between looks the thread sleeps in GetMessageW.
    constexpr UINT kWatchPeriod = 200;
    UINT_PTR watch =
        window && !launcher.SplashKept ? ::SetTimer(nullptr, 0, kWatchPeriod, nullptr) : 0;
    MSG message;
    // GetMessageW gives -1 on failure; that ends the loop as WM_QUIT does.
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (watch && message.message == WM_TIMER && !message.hwnd && message.wParam == watch) {
            if (!splash.Handle() || ApplicationWindowShown(splash.Handle())) {
                ::KillTimer(nullptr, watch);
                watch = 0;
                splash.DestroyWindow();
            }
            continue;
        }
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
    if (watch) ::KillTimer(nullptr, watch);
    splash.DestroyWindow();
    return 0;
}

/// The image name as the runtime's splash library takes it (ANSI code page), by its short
/// name when needed. False when the name cannot be carried: the library would open another
/// file or none.
bool NativeImageName(const Launcher& launcher, const std::wstring& imagePath, std::string& image) {
    Win32OptionTextCodec codec;
    OptionTextNotes notes;
    image = EncodePath(imagePath, PathNeed::Required, codec, notes);
    for (const auto& [longPath, shortPath] : notes.Substituted) {
        NoteDecision(launcher.Decisions, "splash", "short-name",
                     {{"path", longPath}, {"shortPath", shortPath}});
    }
    return notes.Lost.empty() && notes.Defaulted.empty();
}

const wchar_t* KindName(SplashKind kind) {
    switch (kind) {
        case SplashKind::Native:
            return L"native";
        case SplashKind::Window:
            return L"window";
        case SplashKind::None:
            break;
    }
    return L"none";
}

}  // namespace

std::wstring FindSplashLibrary(const std::wstring& vmLibraryPath) {
    std::wstring library = SplashLibraryCandidate(vmLibraryPath);
    if (library.empty()) return {};
    WIN32_FIND_DATAW data;
    UniqueFindHandle found(::FindFirstFileW(ToLongPathForm(library).c_str(), &data));
    return found ? library : std::wstring();
}

bool ShowNativeSplash(Launcher& launcher, const std::wstring& libraryPath,
                      const std::string& image) {
    UniqueHModule library(LoadSplashLibrary(libraryPath, launcher.VmLibraryPath));
    if (!library) return false;
    HMODULE module = library.get();
    auto init = GetProcAddressAs<SplashInitFunction>(module, "SplashInit");
    auto loadFile = GetProcAddressAs<SplashLoadFileFunction>(module, "SplashLoadFile");
    auto setFileJarName =
        GetProcAddressAs<SplashSetFileJarNameFunction>(module, "SplashSetFileJarName");
    auto close = GetProcAddressAs<PendingSplashClose::CloseFunction>(module, "SplashClose");
    // A splash that was never opened is not closed: its close function would act on a
    // splash the library never set up, and the library is released here.
    if (!init || !loadFile || !setFileJarName) return false;
    // The splash lives until the process ends or SplashClose runs, so the library stays.
    library.release();
    launcher.PendingSplashCloseAction.Install(close);
    init();
    loadFile(image.c_str());
    setFileJarName(image.c_str(), "");
    return true;
}

bool StartSplash(Launcher& launcher) {
    std::wstring configurationPath;
    if (!ConfigurationFilePath(launcher, configurationPath)) return false;
    SplashSettings settings = ReadSplashSettings(launcher, configurationPath);
    // java's "-splash:" among the parameters names the image as the key would.
    if (!launcher.SplashImageOption.empty()) settings.ImagePath = launcher.SplashImageOption;
    std::wstring launcherFolder;
    if (LauncherFolder(launcher, launcherFolder)) {
        settings.ImagePath = ResolveSplashImagePath(settings.ImagePath, launcherFolder);
    }
    launcher.SplashImagePath = settings.ImagePath;
    launcher.SplashShadowText = settings.ShadowText;
    launcher.SplashKept = IsSplashKept(settings.KeepText);

    std::wstring library;
    if (!settings.ImagePath.empty()) library = FindSplashLibrary(launcher.VmLibraryPath);
    SplashPlan plan = PlanSplash(settings, !library.empty());
    const wchar_t* reason = plan.Reason;
    std::string nativeImage;
    if (plan.Kind == SplashKind::Native &&
        !NativeImageName(launcher, settings.ImagePath, nativeImage)) {
        plan.Kind = SplashKind::Window;
        reason = L"image path outside the ANSI code page";
    }
    if (plan.Kind == SplashKind::Native && !launcher.DryRun) {
        if (ShowNativeSplash(launcher, library, nativeImage)) {
            NoteDecision(launcher.Decisions, "splash", "choice",
                         {{"kind", KindName(plan.Kind)},
                          {"reason", reason},
                          {"image", settings.ImagePath},
                          {"library", library}});
            return true;
        }
        plan.Kind = SplashKind::Window;
        reason = L"runtime splash library unusable";
    }
    NoteDecision(launcher.Decisions, "splash", "choice",
                 {{"kind", KindName(plan.Kind)},
                  {"reason", reason},
                  {"image", settings.ImagePath},
                  {"library", library},
                  {"shadow", IsShadowRequested(settings.ShadowText) ? L"true" : L"false"},
                  {"kept", launcher.SplashKept ? L"true" : L"false"}});
    if (plan.Kind != SplashKind::Window || launcher.DryRun) return true;

    launcher.SplashWindowObject = std::make_unique<SplashWindow>(&launcher.OwnerWindow);
    launcher.SplashThread.reset(
        ::CreateThread(nullptr, 0, SplashThread, &launcher, 0, &launcher.SplashThreadId));
    // Without a thread there is nothing to stop later; the launch goes on without a splash.
    if (!launcher.SplashThread) {
        launcher.SplashWindowObject.reset();
        return true;
    }
    // A message box raised before the window exists would have no owner, and the splash,
    // shown and activated a moment later, would then cover it. The wait is bounded so that
    // a splash that cannot be drawn in time never holds the launch up for long.
    constexpr DWORD kSplashReadyTimeout = 5000;
    HANDLE waits[] = {launcher.SplashWindowObject->ReadyEvent(), launcher.SplashThread.get()};
    if (waits[0]) ::WaitForMultipleObjects(2, waits, FALSE, kSplashReadyTimeout);
    return true;
}

void CloseSplashWindow(Launcher& launcher) {
    if (!launcher.SplashWindowObject) return;
    StopMessageLoopThread(launcher.SplashThread.get(), launcher.SplashThreadId);
    launcher.SplashThread.reset();
    launcher.SplashThreadId = 0;
    launcher.SplashWindowObject.reset();
    launcher.OwnerWindow.store(nullptr);
}
