#include "splash/splash_win32.h"

#include "core/launcher_win32.h"
#include "splash/splash_window_win32.h"

bool StartSplash(Launcher& launcher) { return true; }
void CloseSplashWindow(Launcher& launcher) { launcher.SplashWindowObject.reset(); }
