#include "instance/secondary_main_win32.h"

#include <algorithm>
#include <atomic>
#include <new>
#include <string>
#include <string_view>
#include <utility>

#include "core/launcher_win32.h"
#include "core/scope_exit.h"
#include "core/text_win32.h"
#include "core/unique_handle_win32.h"
#include "hosting/exception_dialog_win32.h"
#include "hosting/java_strings_win32.h"
#include "hosting/local_ref.h"
#include "hosting/vm_win32.h"

namespace {

/// A class by name; null with nothing pending when the runtime lacks it.
jclass FindClassQuietly(JNIEnv* env, const char* name) {
    jclass found = env->FindClass(name);
    if (!found) env->ExceptionClear();
    return found;
}

/// Whether the VM has begun to shut down (System.exit, or the last non-daemon thread has
/// ended): the runtime then refuses new shutdown hooks with IllegalStateException.
bool VmShuttingDown(JNIEnv* env) {
    LocalRef<jclass> runtimeClass(env, FindClassQuietly(env, "java/lang/Runtime"));
    LocalRef<jclass> threadClass(
        env, runtimeClass ? FindClassQuietly(env, "java/lang/Thread") : nullptr);
    LocalRef<jclass> refused(
        env, threadClass ? FindClassQuietly(env, "java/lang/IllegalStateException") : nullptr);
    if (!refused) return false;
    jmethodID getRuntime =
        env->GetStaticMethodID(runtimeClass.get(), "getRuntime", "()Ljava/lang/Runtime;");
    jmethodID add =
        env->GetMethodID(runtimeClass.get(), "addShutdownHook", "(Ljava/lang/Thread;)V");
    jmethodID remove =
        env->GetMethodID(runtimeClass.get(), "removeShutdownHook", "(Ljava/lang/Thread;)Z");
    jmethodID construct = env->GetMethodID(threadClass.get(), "<init>", "()V");
    if (!getRuntime || !add || !remove || !construct) {
        env->ExceptionClear();
        return false;
    }
    LocalRef<jobject> runtime(env, env->CallStaticObjectMethod(runtimeClass.get(), getRuntime));
    LocalRef<jobject> probe(env, runtime ? env->NewObject(threadClass.get(), construct) : nullptr);
    if (!probe) {
        env->ExceptionClear();
        return false;
    }
    env->CallVoidMethod(runtime.get(), add, probe.get());
    LocalRef<jthrowable> thrown(env, env->ExceptionOccurred());
    env->ExceptionClear();
    if (thrown) return env->IsInstanceOf(thrown.get(), refused.get()) == JNI_TRUE;
    env->CallBooleanMethod(runtime.get(), remove, probe.get());
    env->ExceptionClear();
    return false;
}

bool JavaStringEquals(JNIEnv* env, jstring text, std::wstring_view expected) {
    if (!text) return false;
    jsize length = env->GetStringLength(text);
    if (static_cast<std::size_t>(length) != expected.size()) return false;
    const jchar* chars = env->GetStringChars(text, nullptr);
    if (!chars) return false;
    bool equal = std::equal(expected.begin(), expected.end(), chars,
                            [](wchar_t a, jchar b) { return static_cast<jchar>(a) == b; });
    env->ReleaseStringChars(text, chars);
    return equal;
}

/// Whether the thread that runs main waits (sleeps, waits for a monitor, a lock, another
/// thread or an event): it is then done with what it had to do first.
bool MainWaits(JNIEnv* env, jobject mainThread) {
    LocalRef<jclass> threadClass(env, env->GetObjectClass(mainThread));
    jmethodID getState =
        threadClass ? env->GetMethodID(threadClass.get(), "getState", "()Ljava/lang/Thread$State;")
                    : nullptr;
    LocalRef<jobject> state(env, getState ? env->CallObjectMethod(mainThread, getState) : nullptr);
    LocalRef<jclass> stateClass(env, state ? env->GetObjectClass(state.get()) : nullptr);
    jmethodID name =
        stateClass ? env->GetMethodID(stateClass.get(), "name", "()Ljava/lang/String;") : nullptr;
    LocalRef<jstring> text(
        env, name ? static_cast<jstring>(env->CallObjectMethod(state.get(), name)) : nullptr);
    return JavaStringEquals(env, text.get(), L"WAITING") ||
           JavaStringEquals(env, text.get(), L"TIMED_WAITING") ||
           JavaStringEquals(env, text.get(), L"BLOCKED");
}

/// Holds the first hand-over until main has returned or waits, so that secondaryMain never
/// runs while main is still setting the application up. Bounded: a main that computes (or
/// reads input) for longer than this lets the calls begin all the same.
void WaitUntilMainIsReady(JNIEnv* env, InstanceSession& session, jobject mainThread,
                          const std::atomic<bool>* mainReturned) {
    constexpr DWORD kMainReadyWaitMs = 10000;
    constexpr DWORD kMainReadyPollMs = 5;
    if (session.MainSeenReady || !mainThread) return;
    ULONGLONG deadline = ::GetTickCount64() + kMainReadyWaitMs;
    while (!(mainReturned && mainReturned->load()) && !MainWaits(env, mainThread)) {
        env->ExceptionClear();
        if (::GetTickCount64() >= deadline) break;
        ::Sleep(kMainReadyPollMs);
    }
    env->ExceptionClear();
    session.MainSeenReady = true;
}

BOOL CALLBACK RaiseOwnWindow(HWND window, LPARAM) {
    DWORD processId = 0;
    ::GetWindowThreadProcessId(window, &processId);
    if (processId != ::GetCurrentProcessId() || !::IsWindowVisible(window) ||
        ::GetWindow(window, GW_OWNER) != nullptr) {
        return TRUE;
    }
    if (::IsIconic(window)) ::ShowWindowAsync(window, SW_RESTORE);
    ::SetForegroundWindow(window);
    return FALSE;  // the first in z-order is the one the user saw last
}

/// What the Launcher tells a worker about the application, read under the session's lock.
struct PrimaryView {
    Launcher* Owner = nullptr;
    JavaVM* Vm = nullptr;
    std::wstring MainClassName;
    jobject MainThread = nullptr;
    const std::atomic<bool>* MainReturned = nullptr;
    bool ShowDialog = false;
};

/// The exception secondaryMain ended with, reported as main's would be: through the
/// thread's uncaught-exception handler (so the error file has it) and, where the launcher
/// shows the exception dialog, there too. True when the user chose to stop the application.
bool ReportSecondaryMainException(JNIEnv* env, const PrimaryView& primary) {
    LocalRef<jthrowable> thrown(env, env->ExceptionOccurred());
    env->ExceptionClear();
    ReportUncaughtOnThisThread(env, thrown.get());
    env->ExceptionClear();
    bool stop = primary.ShowDialog && ReportUncaughtException(*primary.Owner, thrown.get(), env);
    env->ExceptionClear();
    return stop;
}

/// Records the form once it is known. Void-form starts do not wait for their call: every
/// start already queued is answered at once, and the listener answers later ones as it
/// queues them.
void NoteForm(InstanceSession& session, SecondaryMainForm form) {
    SrwExclusiveLock guard(session.Lock);
    if (session.Form == form) return;
    session.Form = form;
    if (form != SecondaryMainForm::Void) return;
    for (WorkerRecord& queued : session.Queue) {
        if (queued.Answered) continue;
        PostAnswer(queued.RequestingThreadId, session.Message, 0);
        queued.Answered = true;
    }
}

/// One hand-over on an attached thread: secondaryMain's answer, 0 when the class has none
/// (the primary's window comes to the front instead), 1 when it threw.
int CallSecondaryMain(JNIEnv* env, InstanceSession& session, const PrimaryView& primary,
                      const WorkerRecord& record, bool& answered) {
    std::string className = ToProcessAnsi(primary.MainClassName);
    LocalRef<jclass> mainClass(env, env->FindClass(className.c_str()));
    if (!mainClass) {
        env->ExceptionDescribe();
        return -1;
    }
    jmethodID method =
        env->GetStaticMethodID(mainClass.get(), "secondaryMain", "([Ljava/lang/String;)V");
    env->ExceptionClear();
    bool returnsInt = false;
    if (!method) {
        method = env->GetStaticMethodID(mainClass.get(), "secondaryMain", "([Ljava/lang/String;)I");
        env->ExceptionClear();
        returnsInt = true;
    }
    if (!method) {
        // secondaryMain is optional: an application that only wants one copy running shows
        // the copy it has.
        NoteForm(session, SecondaryMainForm::Absent);
        ::EnumWindows(RaiseOwnWindow, 0);
        return 0;
    }
    NoteForm(session, returnsInt ? SecondaryMainForm::Int : SecondaryMainForm::Void);

    LocalRef<jobjectArray> arguments(env, NewJavaStringArray(env, record.Arguments));
    if (!arguments) {
        env->ExceptionDescribe();
        return -1;
    }
    jint result = 0;
    if (returnsInt) {
        // From here on the call is under way: the start waits for this primary's answer,
        // or its end, and never hands the same arguments to another primary.
        PostCallBegun(record.RequestingThreadId, session.Message);
        result = env->CallStaticIntMethod(mainClass.get(), method, arguments.get());
    } else {
        // The void form answers before the call (or already did as it was queued).
        if (!record.Answered) PostAnswer(record.RequestingThreadId, session.Message, 0);
        answered = true;
        env->CallStaticVoidMethod(mainClass.get(), method, arguments.get());
    }
    if (!HasPendingException(env)) return result;
    if (ReportSecondaryMainException(env, primary)) {
        // Stop ends the application, as it does for main; the second start hears first.
        if (!answered) PostAnswer(record.RequestingThreadId, session.Message, 1);
        answered = true;
        CallSystemExit(env);
    }
    return 1;
}

/// Serves one copied hand-over and answers it, unless the VM has begun to shut down or has
/// gone: then this process leaves the protocol and the second start starts over.
void ServeRecord(InstanceSession& session, const WorkerRecord& record) {
    PrimaryView primary;
    try {
        SrwSharedLock guard(session.Lock);
        if (session.Owner && !session.Left.load()) {
            Launcher& owner = *session.Owner;
            primary.Owner = &owner;
            primary.Vm = owner.JavaVmPointer;
            primary.MainThread = owner.MainJavaThread;
            primary.MainReturned = &owner.MainReturned;
            primary.ShowDialog = owner.FailureCheck && !owner.Console;
            primary.MainClassName = owner.MainClassName;
        }
    } catch (const std::bad_alloc&) {
        // Without the main class's name nothing can be called: as when the VM has gone, this
        // process leaves the protocol and the second start goes to the next primary.
        primary.Vm = nullptr;
    }

    JNIEnv* env = nullptr;
    if (!primary.Vm ||
        primary.Vm->AttachCurrentThread(reinterpret_cast<void**>(&env), nullptr) != JNI_OK) {
        LeaveProtocol(session);
        if (!record.Answered) PostStartOver(record.RequestingThreadId, session.Message);
        return;
    }
    // Attached, the worker keeps DestroyJavaVM (and so the Launcher) waiting; detached after
    // every hand-over, it never holds the VM between them.
    auto detach = MakeScopeExit([&] { primary.Vm->DetachCurrentThread(); });
    if (VmShuttingDown(env)) {
        // Not begun: the start takes its arguments to the next primary.
        LeaveProtocol(session);
        if (!record.Answered) PostStartOver(record.RequestingThreadId, session.Message);
        return;
    }
    WaitUntilMainIsReady(env, session, primary.MainThread, primary.MainReturned);
    bool answered = record.Answered;
    int result = CallSecondaryMain(env, session, primary, record, answered);
    if (!answered) PostAnswer(record.RequestingThreadId, session.Message, result);
}

/// The next hand-over in arrival order; false once shutdown has begun and none is left.
bool NextRecord(InstanceSession& session, WorkerRecord& record) {
    SrwExclusiveLock guard(session.Lock);
    while (session.Queue.empty() && !session.Stopped)
        ::SleepConditionVariableSRW(&session.QueueChanged, &session.Lock, INFINITE, 0);
    if (session.Queue.empty()) return false;
    record = std::move(session.Queue.front());
    session.Queue.erase(session.Queue.begin());
    return true;
}

/// The worker: waits for main to start, then serves the queue until shutdown. Argument: a
/// heap copy of the session's shared pointer, which the worker frees. Exit code 0.
DWORD WINAPI SecondaryMainWorker(void* parameter) {
    std::shared_ptr<InstanceSession> session;
    {
        std::unique_ptr<std::shared_ptr<InstanceSession>> handle(
            static_cast<std::shared_ptr<InstanceSession>*>(parameter));
        session = std::move(*handle);
    }
    HANDLE waits[] = {session->MainStarted.get(), session->Stopping.get()};
    // Main never started when shutdown came first (the launch failed, or it went to the pair
    // product): every queued start then starts over.
    bool mainStarted = ::WaitForMultipleObjects(2, waits, FALSE, INFINITE) == WAIT_OBJECT_0;
    WorkerRecord record;
    while (NextRecord(*session, record)) {
        try {
            if (mainStarted) {
                ServeRecord(*session, record);
            } else {
                LeaveProtocol(*session);
                if (!record.Answered) PostStartOver(record.RequestingThreadId, session->Message);
            }
        } catch (const std::bad_alloc&) {
            if (!record.Answered) PostAnswer(record.RequestingThreadId, session->Message, -1);
        }
    }
    return 0;
}

}  // namespace

void QueueForSecondaryMain(const std::shared_ptr<InstanceSession>& session, WorkerRecord record) {
    if (!session->Worker) {
        auto handle = std::make_unique<std::shared_ptr<InstanceSession>>(session);
        session->Worker.reset(
            ::CreateThread(nullptr, 0, SecondaryMainWorker, handle.get(), 0, nullptr));
        if (!session->Worker) {
            PostAnswer(record.RequestingThreadId, session->Message, -1);
            return;
        }
        handle.release();  // the worker owns it now
    }
    {
        SrwExclusiveLock guard(session->Lock);
        // A void-form start has nothing to wait for once its call is queued.
        if (session->Form == SecondaryMainForm::Void) {
            PostAnswer(record.RequestingThreadId, session->Message, 0);
            record.Answered = true;
        }
        session->Queue.push_back(std::move(record));
    }
    ::WakeConditionVariable(&session->QueueChanged);
}
