#include "hosting/redirect_win32.h"

#include "core/launcher_win32.h"

void RedirectOutputStreams(Launcher& launcher) {}
