#pragma once

#include <windows.h>

#include <jni.h>

class Launcher;

/// While it lives (windowed build without an "Error File"), System.err writes into a pipe:
/// the runtime's launcher helper prints why a main class cannot be loaded there and then
/// ends the VM with System.exit(1), which the windowed build would otherwise do silently.
class SystemErrCapture {
  public:
    SystemErrCapture(const Launcher& launcher, JNIEnv* env);
    SystemErrCapture(const SystemErrCapture&) = delete;
    SystemErrCapture& operator=(const SystemErrCapture&) = delete;
    /// Puts System.err back and drops what was written (nobody could have read it).
    ~SystemErrCapture();

  private:
    JNIEnv* env_;
    jobject original_ = nullptr;
    jobject capture_ = nullptr;
    jclass system_ = nullptr;
    jmethodID setErr_ = nullptr;
};

/// The VM's exit hook: an exit while a capture lives shows what it holds in the launcher's
/// error dialog, before the VM ends the process with its status.
void JNICALL StartupExitHook(jint status);
