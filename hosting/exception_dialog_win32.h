#pragma once

#include <jni.h>

class Launcher;

/// Shows the uncaught exception's stack trace; true when the user chose to stop the
/// application.
bool ReportUncaughtException(Launcher& launcher, jthrowable exception, JNIEnv* env);
/// System.exit(-1). Does not come back when the call succeeds; false when it could not be
/// made.
bool CallSystemExit(JNIEnv* env);
