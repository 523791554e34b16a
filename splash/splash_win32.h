#pragma once

#include <string>

class Launcher;

/// Shows the runtime's splash library or starts the image splash thread. False only when
/// the configuration path cannot be formed.
bool StartSplash(Launcher& launcher);
/// Ends the splash thread and destroys the image splash window, if there is one. Waits for
/// the thread to end.
void CloseSplashWindow(Launcher& launcher);

/// The runtime's "splashscreen.dll" beside the VM library's folder, or empty when the file
/// is not there.
std::wstring FindSplashLibrary(const std::wstring& vmLibraryPath);
/// Loads the runtime's splash library and shows the image with it; the library's close
/// function becomes the launcher's pending splash close. False when the library does not
/// load or lacks one of its entry points; the caller then shows the image window. `image`
/// is the image's name in the ANSI code page, as the library takes it.
bool ShowNativeSplash(Launcher& launcher, const std::wstring& libraryPath,
                      const std::string& image);
