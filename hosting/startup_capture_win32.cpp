#include "hosting/startup_capture_win32.h"

#include <string>

#include "core/format.h"
#include "core/launcher_win32.h"
#include "core/messages_win32.h"
#include "core/text_win32.h"
#include "core/unique_handle_win32.h"
#include "hosting/java_strings_win32.h"

namespace {

// The exit hook gets no context: the one capture of the launch is kept here.
HANDLE g_captureRead = nullptr;
const Launcher* g_captureOwner = nullptr;

/// What the pipe holds by now, without waiting for more, in the code page Java wrote it in.
std::wstring ReadCaptured() {
    std::string text;
    char buffer[1024];
    DWORD available = 0;
    DWORD read = 0;
    while (::PeekNamedPipe(g_captureRead, nullptr, 0, nullptr, &available, nullptr) &&
           available > 0 && ::ReadFile(g_captureRead, buffer, sizeof(buffer), &read, nullptr) &&
           read > 0) {
        text.append(buffer, read);
    }
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    return FromProcessAnsi(text);
}

}  // namespace

void JNICALL StartupExitHook(jint) {
    if (!g_captureRead || !g_captureOwner) return;
    std::wstring text = ReadCaptured();
    if (!text.empty()) ReportLaunchError(*g_captureOwner, text);
}

SystemErrCapture::SystemErrCapture(const Launcher& launcher, JNIEnv* env) : env_(env) {
    // At a console, or with an Error File, the message already has a reader.
    if (launcher.Console || launcher.DryRun || !launcher.ErrorFile.empty()) return;
    // Java opens the pipe by its name, as a file. Large enough that what the helper prints
    // never waits for the reader.
    std::wstring name =
        L"\\\\.\\pipe\\vmboot-" + DecimalText(static_cast<std::size_t>(::GetCurrentProcessId())) + L"-stderr";
    UniqueHandle pipe(::CreateNamedPipeW(name.c_str(), PIPE_ACCESS_INBOUND,
                                         PIPE_TYPE_BYTE | PIPE_READMODE_BYTE, 1, 0, 1 << 20, 0,
                                         nullptr));
    if (pipe.get() == INVALID_HANDLE_VALUE || !pipe || env->PushLocalFrame(8) != JNI_OK) {
        if (pipe.get() == INVALID_HANDLE_VALUE) pipe.release();
        return;
    }
    // One local frame holds every reference made here.
    jclass system = env->FindClass("java/lang/System");
    jclass printClass = system ? env->FindClass("java/io/PrintStream") : nullptr;
    jfieldID err =
        printClass ? env->GetStaticFieldID(system, "err", "Ljava/io/PrintStream;") : nullptr;
    jmethodID setErr =
        err ? env->GetStaticMethodID(system, "setErr", "(Ljava/io/PrintStream;)V") : nullptr;
    jmethodID newPrint =
        setErr ? env->GetMethodID(printClass, "<init>", "(Ljava/lang/String;)V") : nullptr;
    jstring path = newPrint ? NewJavaString(env, name) : nullptr;
    jobject print = path ? env->NewObject(printClass, newPrint, path) : nullptr;
    jobject original = print ? env->GetStaticObjectField(system, err) : nullptr;
    if (original) env->CallStaticVoidMethod(system, setErr, print);
    if (original && !env->ExceptionCheck()) {
        original_ = env->NewGlobalRef(original);
        capture_ = env->NewGlobalRef(print);
        system_ = static_cast<jclass>(env->NewGlobalRef(system));
        setErr_ = setErr;
        g_captureOwner = &launcher;
        g_captureRead = pipe.release();
    }
    // Without a capture the launch goes on as before.
    env->ExceptionClear();
    env->PopLocalFrame(nullptr);
}

SystemErrCapture::~SystemErrCapture() {
    if (!original_) return;
    JNIEnv* env = env_;
    // What the loading left pending is set aside and restored.
    jthrowable pending = env->ExceptionOccurred();
    env->ExceptionClear();
    env->CallStaticVoidMethod(system_, setErr_, original_);
    env->ExceptionClear();
    jclass printClass = env->GetObjectClass(capture_);
    jmethodID close = printClass ? env->GetMethodID(printClass, "close", "()V") : nullptr;
    if (close) env->CallVoidMethod(capture_, close);
    env->ExceptionClear();
    UniqueHandle pipe(g_captureRead);
    g_captureRead = nullptr;
    env->DeleteLocalRef(printClass);
    env->DeleteGlobalRef(system_);
    env->DeleteGlobalRef(capture_);
    env->DeleteGlobalRef(original_);
    if (pending) {
        env->Throw(pending);
        env->DeleteLocalRef(pending);
    }
}
