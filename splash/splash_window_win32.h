#pragma once

#include <windows.h>

/// The launcher's own image splash window, owned by the splash thread while it runs.
class SplashWindow {
public:
    SplashWindow() = default;
    SplashWindow(const SplashWindow&) = delete;
    SplashWindow& operator=(const SplashWindow&) = delete;
    ~SplashWindow() = default;
};
