#pragma once

#include <windows.h>

#include <jni.h>

#include <string>

class Launcher;

/// Shows the uncaught exception's stack trace and asks whether to go on. True means "stop
/// the application": Stop, Esc, the close box, and a dialog that could not be shown. No
/// dialog (and false) when the trace cannot be obtained or in a dry run. The exception
/// stays pending.
bool ReportUncaughtException(Launcher& launcher, jthrowable exception, JNIEnv* env);

/// The exception's printStackTrace output as UTF-16; empty when it cannot be obtained.
std::wstring CaptureStackTrace(Launcher& launcher, jthrowable exception, JNIEnv* env);

/// Calls System.exit(status), -1 for the dialog's Stop. Does not come back when the VM ends
/// the process; false when the call could not be made (the pending exception is printed).
bool CallSystemExit(JNIEnv* env, jint status = -1);

/// Runs the exception dialog (resource 231 in the messages' language) modally, owned by
/// `owner`: IDOK for Ignore, IDCANCEL for Stop/Esc/close box, -1 when it cannot be shown.
INT_PTR ShowExceptionDialog(HWND owner, const std::wstring& trace);
