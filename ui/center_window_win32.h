#pragma once

#include <windows.h>

/// Centres a top-level window over its visible, not minimised owner (else over the work area
/// of the nearest monitor), kept inside that monitor's work area; a child window is centred
/// in its parent's client area. Neither resizes nor activates. False when no monitor
/// information is found or the move fails.
bool CenterWindow(HWND window);
