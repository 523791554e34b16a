#include "hosting/exception_dialog_win32.h"

#include "core/launcher_win32.h"

bool ReportUncaughtException(Launcher& launcher, jthrowable exception, JNIEnv* env) {
    return false;
}
bool CallSystemExit(JNIEnv* env) { return false; }
