#pragma once

class Launcher;

/// Shows the runtime's splash library or starts the image splash thread. False only when
/// the configuration path cannot be formed.
bool StartSplash(Launcher& launcher);
/// Ends the splash thread and destroys the image splash window, if there is one.
void CloseSplashWindow(Launcher& launcher);
