#include "hosting/startup_capture_win32.h"

#include <algorithm>
#include <string>
#include <utility>

#include "core/format.h"
#include "core/launcher_win32.h"
#include "core/messages_win32.h"
#include "core/text_win32.h"
#include "core/unique_handle_win32.h"
#include "core/vm_hooks_win32.h"
#include "hosting/java_strings_win32.h"
#include "hosting/local_ref.h"
#include "hosting/redirect_win32.h"
#include "options/class_sharing_win32.h"

namespace {

// The most of what the VM printed that is kept.
constexpr std::size_t kVmMessagesLimit = 64 * 1024;

/// The message in msvcrt's formatting, up to the kept limit.
std::string FormatVmMessage(const char* format, va_list arguments) {
    std::string text(512, '\0');
    for (;;) {
        va_list copy;
        va_copy(copy, arguments);
        int length = ::_vsnprintf(text.data(), text.size(), format, copy);
        va_end(copy);
        if (length >= 0 && static_cast<std::size_t>(length) < text.size()) {
            text.resize(static_cast<std::size_t>(length));
            return text;
        }
        // msvcrt says only that it did not fit: the buffer then holds the first part.
        if (text.size() >= kVmMessagesLimit) return text;
        text.resize(text.size() * 2);
    }
}

std::wstring TrimmedAnsi(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    return FromProcessAnsi(text);
}

/// What the pipe holds by now, without waiting for more, in the code page Java wrote it in.
std::wstring ReadCaptured(HANDLE pipe) {
    std::string text;
    char buffer[1024];
    DWORD available = 0;
    DWORD read = 0;
    while (::PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr) && available > 0 &&
           ::ReadFile(pipe, buffer, sizeof(buffer), &read, nullptr) && read > 0) {
        text.append(buffer, read);
    }
    return TrimmedAnsi(std::move(text));
}

/// The launch that keeps the VM's messages; null while none does.
const Launcher* VmMessagesOwner() {
    SrwExclusiveLock lock(g_vmHooks.messagesLock);
    return g_vmHooks.messagesOwner;
}

}  // namespace

void JNICALL StartupExitHook(jint) {
    // System.exit: the VM has written the archive this start recorded, if any, and ends the
    // process when this hook returns.
    FinishClassSharingRecording();
    const Launcher* owner = VmMessagesOwner();
    if (!owner) owner = g_vmHooks.captureOwner;
    // The VM's own lines come first: it printed them while it was being created.
    std::wstring text = TakeVmMessages();
    if (g_vmHooks.captureRead) {
        std::wstring captured = ReadCaptured(g_vmHooks.captureRead.get());
        if (!text.empty() && !captured.empty()) text += L"\n";
        text += captured;
    }
    if (owner && !text.empty()) ReportLaunchError(*owner, text);
}

void JNICALL StartupAbortHook() {
    NoteClassSharingStart(false);
    const Launcher* owner = VmMessagesOwner();
    std::wstring text = TakeVmMessages();
    if (owner && !text.empty()) ReportLaunchError(*owner, text);
}

jint JNICALL VmPrintHook(FILE* stream, const char* format, va_list arguments) {
    if (!format) return 0;
    std::string text = FormatVmMessage(format, arguments);
    const int standard = CRuntimeStandardStream(stream);
    // A file of the VM's own (-Xlog:gc:file=gc.log) gets what is meant for it.
    if (standard == 0 && WriteToVmStream(stream, text)) return static_cast<jint>(text.size());
    const bool output = standard == 1;
    HANDLE handle = ::GetStdHandle(output ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
    // The bytes as they are: the VM's own writes bypass its C runtime's text mode too.
    if (handle && handle != INVALID_HANDLE_VALUE && !text.empty()) {
        DWORD written = 0;
        ::WriteFile(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    }
    {
        SrwExclusiveLock lock(g_vmHooks.messagesLock);
        // Kept only when it had no file to go to.
        const Launcher* owner = g_vmHooks.messagesOwner;
        if (owner && (output ? owner->OutputFile : owner->ErrorFile).empty()) {
            std::string& kept = g_vmHooks.messages;
            std::size_t room = kVmMessagesLimit - std::min(kVmMessagesLimit, kept.size());
            kept.append(text, 0, room);
        }
    }
    return static_cast<jint>(text.size());
}

void KeepVmMessages(const Launcher& launcher) {
    // At a console the messages already have a reader.
    if (launcher.Console || launcher.DryRun) return;
    SrwExclusiveLock lock(g_vmHooks.messagesLock);
    g_vmHooks.messagesOwner = &launcher;
    g_vmHooks.messages.clear();
}

std::wstring TakeVmMessages() {
    std::string text;
    {
        SrwExclusiveLock lock(g_vmHooks.messagesLock);
        g_vmHooks.messagesOwner = nullptr;
        text.swap(g_vmHooks.messages);
    }
    return TrimmedAnsi(std::move(text));
}

SystemErrCapture::SystemErrCapture(const Launcher& launcher, JNIEnv* env) : env_(env) {
    // At a console, or with an Error File, the message already has a reader.
    if (launcher.Console || launcher.DryRun || !launcher.ErrorFile.empty()) return;
    // Java opens the pipe by its name, as a file. Large enough that what the helper prints
    // never waits for the reader.
    std::wstring name =
        L"\\\\.\\pipe\\vmboot-" + DecimalText(static_cast<std::size_t>(::GetCurrentProcessId())) + L"-stderr";
    UniqueFileHandle pipe(::CreateNamedPipeW(name.c_str(), PIPE_ACCESS_INBOUND,
                                             PIPE_TYPE_BYTE | PIPE_READMODE_BYTE, 1, 0, 1 << 20,
                                             0, nullptr));
    if (!pipe || env->PushLocalFrame(8) != JNI_OK) return;
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
        original_ = MakeGlobalRef(env, original);
        capture_ = MakeGlobalRef(env, print);
        system_ = MakeGlobalRef(env, system);
        setErr_ = setErr;
        g_vmHooks.captureOwner = &launcher;
        g_vmHooks.captureRead = std::move(pipe);
    }
    // Without a capture the launch goes on as before.
    env->ExceptionClear();
    env->PopLocalFrame(nullptr);
}

SystemErrCapture::~SystemErrCapture() {
    if (!original_) return;
    JNIEnv* env = env_;
    // What the loading left pending is set aside and restored.
    LocalRef<jthrowable> pending(env, env->ExceptionOccurred());
    env->ExceptionClear();
    env->CallStaticVoidMethod(system_.get(), setErr_, original_.get());
    env->ExceptionClear();
    LocalRef<jclass> printClass(env, env->GetObjectClass(capture_.get()));
    jmethodID close = printClass ? env->GetMethodID(printClass.get(), "close", "()V") : nullptr;
    if (close) env->CallVoidMethod(capture_.get(), close);
    env->ExceptionClear();
    g_vmHooks.captureRead.reset();
    // The references go with their owners, which JNI allows with the exception pending.
    if (pending) env->Throw(pending.get());
}
