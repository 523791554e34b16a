#pragma once

#include <windows.h>

#include <jni.h>

#include <cstdarg>
#include <cstdio>
#include <string>

#include "hosting/local_ref.h"

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
    GlobalRef<jobject> original_;
    GlobalRef<jobject> capture_;
    GlobalRef<jclass> system_;
    jmethodID setErr_ = nullptr;
};

/// The VM's exit hook: an exit while a capture lives shows what it holds in the launcher's
/// error dialog, before the VM ends the process with its status.
void JNICALL StartupExitHook(jint status);

/// The VM's abort hook: an abort while the VM's messages are kept (an -Xmx the VM cannot
/// start with) shows them in the launcher's error dialog before the process ends.
void JNICALL StartupAbortHook();

/// The VM's vfprintf hook: writes what the VM prints to the standard handle it meant, at
/// the time (so into an Output or Error File), and keeps it while KeepVmMessages asks.
jint JNICALL VmPrintHook(FILE* stream, const char* format, va_list arguments);

/// From now until TakeVmMessages, the windowed build keeps what the VM prints (bounded) on
/// a stream without an "Output File" or "Error File": it has no other reader. At a console
/// nothing is kept.
void KeepVmMessages(const Launcher& launcher);

/// What the VM printed while kept, without its final line ends; keeping ends.
std::wstring TakeVmMessages();
