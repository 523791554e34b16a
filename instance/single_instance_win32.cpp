#include "instance/single_instance_win32.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <utility>

#include "config/configuration.h"
#include "config/configuration_win32.h"
#include "config/settings_store_win32.h"
#include "core/format.h"
#include "core/launcher_win32.h"
#include "core/entry_win32.h"
#include "core/scope_exit.h"
#include "core/text_win32.h"
#include "core/thread_stop_win32.h"
#include "core/unique_handle_win32.h"
#include "hosting/exception_dialog_win32.h"
#include "hosting/java_strings_win32.h"
#include "hosting/local_ref.h"
#include "hosting/vm_win32.h"
#include "instance/instance_security_win32.h"
#include "instance/single_instance.h"

/// One copied hand-over: who asked, and the arguments it brought.
struct WorkerRecord {
    DWORD RequestingThreadId = 0;
    std::vector<std::wstring> Arguments;
};

/// The objects of one launch's part in the protocol. The listener and the worker share it
/// with the Launcher so that it outlives the Launcher: the worker reaches the Launcher only
/// through `Owner`, under `Lock`, and shutdown clears `Owner`.
struct InstanceSession {
    InstanceNames Names;
    ProcessUser User;
    UINT Message = 0;
    UINT AckMessage = 0;

    // Second start only: the verified primary, and the result when the hand-over is settled
    // before it begins (no listener published in time).
    UniqueHandle Primary;
    DWORD PrimaryProcessId = 0;
    DWORD Listener = 0;
    bool HasEarlyResult = false;
    int EarlyResult = 0;

    // Primary only.
    SRWLOCK Lock = SRWLOCK_INIT;
    Launcher* Owner = nullptr;
    DWORD ListenerThreadId = 0;
    UniqueHandle ListenerReady;
    UniqueHandle MainStarted;  ///< the launcher's event, duplicated for the worker
    UniqueHandle Stopping;     ///< set at shutdown: the worker stops waiting for main
    /// Set once this process has left the protocol (its VM shuts down or has gone): every
    /// request from then on is told to start over.
    std::atomic<bool> Left{false};
    // The worker and its queue of copied hand-overs, served one at a time in arrival order;
    // under `Lock`.
    UniqueHandle Worker;
    CONDITION_VARIABLE QueueChanged = CONDITION_VARIABLE_INIT;
    std::vector<WorkerRecord> Queue;
    bool Stopped = false;
    // Listener only: the stream of a hand-over that comes in several blocks, and its sender.
    std::vector<std::uint16_t> Pending;
    DWORD PendingFrom = 0;
    /// Worker only: main has been seen done with its start, so later hand-overs need not
    /// look again.
    bool MainSeenReady = false;
};

namespace {

// How long a second start waits for a primary that has created the block but not yet
// published its listener, for its turn at the block, and for the primary's copy of its
// arguments. A start that waits longer has nobody to serve it (an acknowledgement that
// cannot reach an elevated start, a primary that hangs) and ends as a failed hand-over.
constexpr DWORD kPublishWaitMs = 10000;
constexpr DWORD kPublishPollMs = 20;
constexpr DWORD kHandOverLockWaitMs = 120000;
constexpr DWORD kAcknowledgeWaitMs = 30000;

std::uint32_t LoadShared(std::uint32_t& field) {
    return std::atomic_ref<std::uint32_t>(field).load(std::memory_order_acquire);
}

void StoreShared(std::uint32_t& field, std::uint32_t value) {
    std::atomic_ref<std::uint32_t>(field).store(value, std::memory_order_release);
}

bool CompareExchangeShared(std::uint32_t& field, std::uint32_t expected, std::uint32_t value) {
    return std::atomic_ref<std::uint32_t>(field).compare_exchange_strong(expected, value);
}

/// Takes this process's listener and identifier out of the block (when they are still
/// there), so that every later start claims the block instead of handing over to it.
void ReleaseClaim(InstanceBlock& block, const InstanceSession* session) {
    if (session && session->ListenerThreadId != 0)
        CompareExchangeShared(block.ListenerThreadId, session->ListenerThreadId, 0);
    CompareExchangeShared(block.PrimaryProcessId, ::GetCurrentProcessId(), 0);
}

std::wstring Number(unsigned long long value) { return DecimalText(value); }

const wchar_t* RequestName(SingleInstanceRequest request) {
    switch (request) {
        case SingleInstanceRequest::ServiceApplication:
            return L"service application";
        case SingleInstanceRequest::NotRequested:
            return L"\"Single Instance\" is not \"yes\"";
        case SingleInstanceRequest::Requested:
            return L"requested";
    }
    return L"";
}

void NoteNames(const Launcher& launcher, const InstanceNames& names) {
    NoteDecision(launcher.Decisions, "instance", "names",
                 {{"mapping", names.Instance},
                  {"message", names.Message},
                  {"mainStartedEvent", names.MainStartedEvent},
                  {"handOverLock", names.HandOverLock},
                  {"handOverAck", names.HandOverAck}});
}

/// Leaves the protocol: this process runs as an instance of its own. A primary also drops
/// the block, so that the next start becomes primary instead of waiting on a block that
/// nobody serves.
bool TurnOff(Launcher& launcher, const wchar_t* step, DWORD error) {
    NoteDecision(launcher.Decisions, "instance", "off",
                 {{"reason", std::wstring(step) + L" failed"}, {"error", Number(error)}});
    // A claimed block is given back, so that the next start does not wait on this process.
    if (launcher.IsPrimaryInstance && launcher.Block())
        ReleaseClaim(*launcher.Block(), launcher.InstanceSessionState.get());
    launcher.SingleInstanceEnabled = false;
    launcher.IsPrimaryInstance = false;
    launcher.InstanceListenerThread.reset();
    launcher.InstanceSessionState.reset();
    launcher.MainStartedEvent.reset();
    launcher.InstanceView.reset();
    launcher.InstanceMapping.reset();
    return true;
}

bool StartPrimary(Launcher& launcher, InstanceSession& session) {
    InstanceBlock& block = *launcher.Block();
    // Nothing to hand over yet: a request that arrives before any second start wrote the
    // block finds no arguments.
    MarkArgumentsConsumed(block);
    // The process id is already claimed; a listener of an earlier primary that ended
    // without leaving goes, so that second starts wait for this one's.
    StoreShared(block.ListenerThreadId, 0);

    PrivateObjectSecurity security(session.User);
    launcher.MainStartedEvent.reset(::CreateEventW(security.Attributes(), TRUE, FALSE,
                                                   session.Names.MainStartedEvent.c_str()));
    if (!launcher.MainStartedEvent)
        return TurnOff(launcher, L"main-started event", ::GetLastError());
    if (::GetLastError() == ERROR_ALREADY_EXISTS) {
        // Another user's event of this name would let its owner start the workers early.
        if (!IsObjectOfUser(launcher.MainStartedEvent.get(), session.User))
            return TurnOff(launcher, L"main-started event of another owner", ERROR_ACCESS_DENIED);
        // An earlier primary that is still ending may have left the event signalled.
        ::ResetEvent(launcher.MainStartedEvent.get());
    }

    session.Message = ::RegisterWindowMessageW(session.Names.Message.c_str());
    if (session.Message == 0) return TurnOff(launcher, L"message registration", ::GetLastError());
    StoreShared(block.InstanceMessage, session.Message);
    session.AckMessage = ::RegisterWindowMessageW(session.Names.HandOverAck.c_str());
    if (session.AckMessage == 0)
        return TurnOff(launcher, L"message registration", ::GetLastError());
    // An elevated primary still hears the plain starts of its user.
    AcceptMessageFromLowerIntegrity(session.Message);

    HANDLE self = ::GetCurrentProcess();
    if (!::DuplicateHandle(self, launcher.MainStartedEvent.get(), self, session.MainStarted.put(),
                           SYNCHRONIZE, FALSE, 0)) {
        return TurnOff(launcher, L"main-started event", ::GetLastError());
    }
    session.Stopping.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    session.ListenerReady.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!session.Stopping || !session.ListenerReady) {
        return TurnOff(launcher, L"event creation", ::GetLastError());
    }
    session.Owner = &launcher;

    DWORD threadId = 0;
    launcher.InstanceListenerThread.reset(
        ::CreateThread(nullptr, 0, InstanceListener, &launcher, 0, &threadId));
    if (!launcher.InstanceListenerThread)
        return TurnOff(launcher, L"listener thread", ::GetLastError());
    session.ListenerThreadId = threadId;

    // A post to a thread without a message queue fails, so the identifier is published only
    // once the listener has made its queue.
    HANDLE waits[] = {session.ListenerReady.get(), launcher.InstanceListenerThread.get()};
    if (::WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0) {
        return TurnOff(launcher, L"listener start", ::GetLastError());
    }
    StoreShared(block.ListenerThreadId, threadId);
    return true;
}

bool DryRunInstance(Launcher& launcher, const InstanceNames& names) {
    // Opening an existing block only to look at it creates nothing.
    UniqueHandle existing(::OpenFileMappingW(FILE_MAP_READ, FALSE, names.Instance.c_str()));
    UniqueMappedView view;
    if (existing)
        view.reset(::MapViewOfFile(existing.get(), FILE_MAP_READ, 0, 0, kInstanceBlockSize));
    launcher.SingleInstanceEnabled = true;
    if (!view) {
        launcher.IsPrimaryInstance = true;
        NoteDecision(launcher.Decisions, "instance", "role",
                     {{"role", L"primary"},
                      {"would", L"create the block, the main-started event and the listener"}});
        return true;
    }
    launcher.IsPrimaryInstance = false;
    InstanceBlock snapshot;
    std::memcpy(&snapshot, view.get(), sizeof(snapshot));
    std::size_t units = PackForwardedArguments(launcher.ApplicationArguments).size();
    NoteDecision(launcher.Decisions, "instance", "role",
                 {{"role", L"second"},
                  {"primaryProcessId", Number(snapshot.PrimaryProcessId)},
                  {"listenerThreadId", Number(snapshot.ListenerThreadId)},
                  {"argumentBlocks", Number(ArgumentChunkCount(units))},
                  {"would", L"hand the arguments to the primary and wait for its answer"}});
    return true;
}

// The answer that sends a second start back to the choice of its role: the primary has
// left the protocol and will not serve it.
constexpr LPARAM kStartOver = 1;
// A request whose block is not the last of its arguments: the primary keeps the chunk and
// acknowledges it, and the second start writes the next one.
constexpr LPARAM kMoreFollows = 1;

void PostAnswer(DWORD thread, UINT message, int result) {
    ::PostThreadMessageW(thread, message, static_cast<WPARAM>(static_cast<INT_PTR>(result)), 0);
}

void PostStartOver(DWORD thread, UINT message) {
    ::PostThreadMessageW(thread, message, 0, kStartOver);
}

/// A recorded primary that no longer serves: ended, or its identifier now names a process
/// that does not run this executable. `process` receives the open process otherwise.
bool PrimaryGone(DWORD processId, UniqueHandle& process) {
    process.reset(
        ::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
    if (!process) return true;
    if (::WaitForSingleObject(process.get(), 0) == WAIT_OBJECT_0) return true;
    return !ProcessRunsImage(process.get(), OwnImagePath());
}

/// What names the executable in the protocol's objects: its volume and file index, the same
/// however the path is spelled (letter case, 8.3 names, a mapped drive or its UNC path, a
/// link), and short however deep the folder. The path itself when the file cannot be read.
std::wstring ExecutableIdentity(const std::wstring& modulePath) {
    UniqueFileHandle file(::CreateFileW(modulePath.c_str(), FILE_READ_ATTRIBUTES,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, 0, nullptr));
    BY_HANDLE_FILE_INFORMATION information;
    if (!file || !::GetFileInformationByHandle(file.get(), &information)) return modulePath;
    return L"file-" + Number(information.dwVolumeSerialNumber) + L"-" +
           Number((static_cast<unsigned long long>(information.nFileIndexHigh) << 32) |
                  information.nFileIndexLow);
}

/// Opens (or creates) this user's block; false turns the protocol off.
bool OpenBlock(Launcher& launcher, InstanceSession& session) {
    PrivateObjectSecurity security(session.User);
    launcher.InstanceMapping.reset(::CreateFileMappingW(INVALID_HANDLE_VALUE, security.Attributes(),
                                                        PAGE_READWRITE, 0, kInstanceBlockSize,
                                                        session.Names.Instance.c_str()));
    DWORD error = ::GetLastError();
    if (!launcher.InstanceMapping) return TurnOff(launcher, L"file mapping", error), false;
    // A block made first by someone else (another user, a sandboxed process) is not ours to
    // serve or to trust.
    if (error == ERROR_ALREADY_EXISTS && !IsObjectOfUser(launcher.InstanceMapping.get(), session.User))
        return TurnOff(launcher, L"block of another owner", ERROR_ACCESS_DENIED), false;
    // Exactly the block's size: a smaller object of that name fails here instead of faulting.
    launcher.InstanceView.reset(
        ::MapViewOfFile(launcher.InstanceMapping.get(), FILE_MAP_WRITE, 0, 0, kInstanceBlockSize));
    if (!launcher.InstanceView) return TurnOff(launcher, L"view", ::GetLastError()), false;
    return true;
}

// Settles the role of a start: the first to claim a block that nobody serves becomes the
// primary (a new block, or one whose primary has ended or left); any other start waits
// (bounded) until the claiming primary has published its listener and checks that the
// listener is one of its threads. Returns false when the start must end with -1; the
// protocol may have been turned off instead (the start runs on its own).
bool SettleRole(Launcher& launcher, InstanceSession& session) {
    constexpr int kClaimAttempts = 100;
    InstanceBlock& block = *launcher.Block();
    const DWORD self = ::GetCurrentProcessId();
    ULONGLONG deadline = ::GetTickCount64() + kPublishWaitMs;
    for (int attempt = 0; attempt < kClaimAttempts; ++attempt) {
        DWORD processId = LoadShared(block.PrimaryProcessId);
        UniqueHandle primary;
        if (processId == 0 || PrimaryGone(processId, primary)) {
            if (CompareExchangeShared(block.PrimaryProcessId, processId, self)) {
                launcher.IsPrimaryInstance = true;
                return StartPrimary(launcher, session);
            }
            continue;  // another start claimed it first
        }
        DWORD listener = 0;
        bool changed = false;
        int foreignListener = 0;
        for (;;) {
            listener = LoadShared(block.ListenerThreadId);
            if (LoadShared(block.PrimaryProcessId) != processId) {
                changed = true;
                break;
            }
            if (listener != 0) {
                if (ThreadBelongsToProcess(listener, processId)) break;
                // An earlier primary's listener lasts only until the claiming one clears
                // it; one that stays names a thread of another process: not trusted.
                if (++foreignListener > 3)
                    return TurnOff(launcher, L"listener of another process", ERROR_ACCESS_DENIED);
            }
            if (::GetTickCount64() >= deadline) {
                // Published by nobody in time: the hand-over fails.
                session.HasEarlyResult = true;
                session.EarlyResult = -1;
                launcher.IsPrimaryInstance = false;
                return true;
            }
            if (::WaitForSingleObject(primary.get(), kPublishPollMs) == WAIT_OBJECT_0) {
                changed = true;  // ended before publishing: its block is free to claim
                break;
            }
        }
        if (changed) continue;
        launcher.IsPrimaryInstance = false;
        session.Primary = std::move(primary);
        session.PrimaryProcessId = processId;
        session.Listener = listener;
        return true;
    }
    return TurnOff(launcher, L"claim of the block", ERROR_BUSY);
}

enum class HandOverOutcome {
    Answered,   ///< the exit code is the primary's answer (or -1 for a failed hand-over)
    StartOver,  ///< the primary ended or left without serving: choose the role again
    RunAlone,   ///< the protocol cannot be used: run as an instance of its own
};

// A second instance's hand-over: take the hand-over lock, write the block, post, and wait
// for the primary's copy of it (then the lock goes to the next start) and for its answer.
// Every wait also ends when the primary does; the waits before the copy are bounded.
HandOverOutcome HandOver(Launcher& launcher, InstanceSession& session, int& exitCode) {
    exitCode = -1;
    InstanceBlock& block = *launcher.Block();
    HANDLE primary = session.Primary.get();

    session.Message = LoadShared(block.InstanceMessage);
    if (session.Message == 0)
        session.Message = ::RegisterWindowMessageW(session.Names.Message.c_str());
    session.AckMessage = ::RegisterWindowMessageW(session.Names.HandOverAck.c_str());
    // An elevated start hears the acknowledgement and the answer of a plain primary.
    AcceptMessageFromLowerIntegrity(session.Message);
    AcceptMessageFromLowerIntegrity(session.AckMessage);

    // One hand-over at a time: the block has a single argument slot.
    PrivateObjectSecurity security(session.User);
    UniqueHandle lock(
        ::CreateMutexW(security.Attributes(), FALSE, session.Names.HandOverLock.c_str()));
    if (!lock || (::GetLastError() == ERROR_ALREADY_EXISTS &&
                  !IsObjectOfUser(lock.get(), session.User))) {
        return HandOverOutcome::RunAlone;
    }
    bool locked = false;
    {
        HANDLE waits[] = {lock.get(), primary};
        DWORD result = ::WaitForMultipleObjects(2, waits, FALSE, kHandOverLockWaitMs);
        // An abandoned lock belonged to a start that died mid hand-over; the block is ours now.
        if (result == WAIT_OBJECT_0 || result == WAIT_ABANDONED_0) {
            locked = true;
        } else if (result == WAIT_OBJECT_0 + 1) {
            return HandOverOutcome::StartOver;
        } else {
            return HandOverOutcome::Answered;
        }
    }
    auto unlock = MakeScopeExit([&] {
        if (locked) ::ReleaseMutex(lock.get());
    });

    // The primary may bring its window to the front: this start was the user's last action.
    ::AllowSetForegroundWindow(session.PrimaryProcessId);
    // Arguments of any length: one block after another, each acknowledged before the next.
    const std::vector<std::uint16_t> stream = PackForwardedArguments(launcher.ApplicationArguments);
    const std::size_t chunks = ArgumentChunkCount(stream.size());
    std::size_t sent = 0;
    auto postChunk = [&] {
        WriteArgumentChunk(block, stream, sent);
        ++sent;
        if (::PostThreadMessageW(session.Listener, session.Message, ::GetCurrentThreadId(),
                                 sent < chunks ? kMoreFollows : 0))
            return true;
        // The listener has ended: its process has left the protocol or is ending.
        return false;
    };
    if (!postChunk()) return HandOverOutcome::StartOver;

    auto answer = [&](const MSG& message) {
        if (message.lParam == kStartOver) return HandOverOutcome::StartOver;
        exitCode = static_cast<int>(static_cast<INT_PTR>(message.wParam));
        return HandOverOutcome::Answered;
    };
    ULONGLONG acknowledgeDeadline = ::GetTickCount64() + kAcknowledgeWaitMs;
    for (;;) {
        MSG message;
        while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == session.Message) return answer(message);
            if (message.message == session.AckMessage && session.AckMessage != 0 && locked) {
                if (sent < chunks) {
                    if (!postChunk()) return HandOverOutcome::StartOver;
                    acknowledgeDeadline = ::GetTickCount64() + kAcknowledgeWaitMs;
                    continue;
                }
                ::ReleaseMutex(lock.get());
                locked = false;
            }
            // Any other message is discarded.
        }
        DWORD timeout = INFINITE;
        if (locked) {
            ULONGLONG now = ::GetTickCount64();
            if (now >= acknowledgeDeadline) {
                // The primary never took the arguments: it cannot answer this start.
                return HandOverOutcome::Answered;
            }
            timeout = static_cast<DWORD>(acknowledgeDeadline - now);
        }
        DWORD result =
            ::MsgWaitForMultipleObjectsEx(1, &primary, timeout, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        if (result == WAIT_OBJECT_0 || result == WAIT_FAILED) {
            // An answer posted just before the primary ended still counts.
            while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
                if (message.message == session.Message) return answer(message);
            }
            // Ended without serving this start: its arguments go to the next primary.
            return HandOverOutcome::StartOver;
        }
    }
}

/// Leaves the protocol from the primary's side, once: the block is given back, so that the
/// next start becomes the primary instead of handing over to a VM that shuts down.
void LeaveProtocol(InstanceSession& session) {
    if (session.Left.exchange(true)) return;
    SrwSharedLock guard(session.Lock);
    if (session.Owner && session.Owner->Block()) ReleaseClaim(*session.Owner->Block(), &session);
}

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
    LocalRef<jclass> threadClass(env, runtimeClass ? FindClassQuietly(env, "java/lang/Thread")
                                                   : nullptr);
    LocalRef<jclass> refused(
        env, threadClass ? FindClassQuietly(env, "java/lang/IllegalStateException") : nullptr);
    if (!refused) return false;
    jmethodID getRuntime = env->GetStaticMethodID(runtimeClass.get(), "getRuntime",
                                                  "()Ljava/lang/Runtime;");
    jmethodID add = env->GetMethodID(runtimeClass.get(), "addShutdownHook", "(Ljava/lang/Thread;)V");
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

/// One hand-over on an attached thread: secondaryMain's answer, 0 when the class has none
/// (the primary's window comes to the front instead), 1 when it threw.
int CallSecondaryMain(JNIEnv* env, const PrimaryView& primary, const WorkerRecord& record,
                      UINT answerMessage, bool& answered) {
    std::string className = ToThreadAnsi(primary.MainClassName);
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
        ::EnumWindows(RaiseOwnWindow, 0);
        return 0;
    }

    LocalRef<jobjectArray> arguments(env, NewJavaStringArray(env, record.Arguments));
    if (!arguments) {
        env->ExceptionDescribe();
        return -1;
    }
    jint result = 0;
    if (returnsInt) {
        result = env->CallStaticIntMethod(mainClass.get(), method, arguments.get());
    } else {
        // The void form answers before the call: the second start ends at once.
        PostAnswer(record.RequestingThreadId, answerMessage, 0);
        answered = true;
        env->CallStaticVoidMethod(mainClass.get(), method, arguments.get());
    }
    if (!HasPendingException(env)) return result;
    if (ReportSecondaryMainException(env, primary)) {
        // Stop ends the application, as it does for main; the second start hears first.
        if (!answered) PostAnswer(record.RequestingThreadId, answerMessage, 1);
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
        PostStartOver(record.RequestingThreadId, session.Message);
        return;
    }
    // Attached, the worker keeps DestroyJavaVM (and so the Launcher) waiting; detached after
    // every hand-over, it never holds the VM between them.
    auto detach = MakeScopeExit([&] { primary.Vm->DetachCurrentThread(); });
    if (VmShuttingDown(env)) {
        LeaveProtocol(session);
        PostStartOver(record.RequestingThreadId, session.Message);
        return;
    }
    WaitUntilMainIsReady(env, session, primary.MainThread, primary.MainReturned);
    bool answered = false;
    int result = CallSecondaryMain(env, primary, record, session.Message, answered);
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

/// Copies one hand-over out of the block, acknowledges it and queues it for the worker
/// (started with the first hand-over).
void ServeHandOver(Launcher& launcher, const std::shared_ptr<InstanceSession>& session,
                   DWORD requestingThreadId, bool moreFollows) {
    InstanceBlock snapshot;
    std::memcpy(&snapshot, launcher.Block(), sizeof(snapshot));
    // A request without fresh arguments is stray or forged (or a replay of one already
    // served): nobody wrote for it, so nothing is handed to secondaryMain and nobody answered.
    if (!HasFreshArguments(snapshot)) return;
    // A stream of another sender was left unfinished: that start has died mid hand-over.
    if (session->PendingFrom != requestingThreadId) session->Pending.clear();
    session->PendingFrom = requestingThreadId;
    AppendArgumentChunk(snapshot, session->Pending);
    // The arguments leave the shared block as soon as they are copied.
    MarkArgumentsConsumed(*launcher.Block());
    if (moreFollows && session->Pending.size() <= kMaxArgumentStreamUnits) {
        ::PostThreadMessageW(requestingThreadId, session->AckMessage, 0, 0);
        return;
    }
    WorkerRecord record;
    record.RequestingThreadId = requestingThreadId;
    std::vector<std::uint16_t> stream = std::move(session->Pending);
    session->Pending.clear();
    session->PendingFrom = 0;
    if (moreFollows) {
        // Longer than any command line: not a start's arguments.
        PostAnswer(requestingThreadId, session->Message, -1);
        return;
    }
    record.Arguments = ParseForwardedArguments(stream);
    // The acknowledgement lets the next second start write the block. When it cannot be
    // delivered the requester is gone, and the block may already hold a later start's
    // arguments, which its own request will deliver: this one is dropped.
    if (!::PostThreadMessageW(requestingThreadId, session->AckMessage, 0, 0)) return;

    if (!session->Worker) {
        auto* handle = new std::shared_ptr<InstanceSession>(session);
        session->Worker.reset(::CreateThread(nullptr, 0, SecondaryMainWorker, handle, 0, nullptr));
        if (!session->Worker) {
            delete handle;
            PostAnswer(requestingThreadId, session->Message, -1);
            return;
        }
    }
    {
        SrwExclusiveLock guard(session->Lock);
        session->Queue.push_back(std::move(record));
    }
    ::WakeConditionVariable(&session->QueueChanged);
}

}  // namespace

bool InitSingleInstance(Launcher& launcher) {
    std::wstring configurationPath;
    if (!ConfigurationFilePath(launcher, configurationPath)) return false;
    // Only the file beside the executable counts here, never the per-user file.
    LayeredSettingsStore store(configurationPath);
    LayeredValue applicationType =
        store.GetStringWithSource(kApplicationSection, L"Application Type");
    LayeredValue singleInstance =
        store.GetStringWithSource(kApplicationSection, L"Single Instance");
    SingleInstanceRequest request =
        DecideSingleInstance(applicationType.Value, singleInstance.Value);
    NoteDecision(launcher.Decisions, "instance", "setting",
                 {{"file", configurationPath},
                  {"applicationType", applicationType.Value},
                  {"singleInstance", singleInstance.Value},
                  {"decision", RequestName(request)}});
    if (request != SingleInstanceRequest::Requested) return true;

    std::wstring modulePath;
    if (!ModulePath(launcher, modulePath)) return false;
    std::shared_ptr<InstanceSession> session(new InstanceSession());
    launcher.SingleInstanceEnabled = true;
    launcher.InstanceSessionState = session;
    if (!session->User.Load()) return TurnOff(launcher, L"user identity", ::GetLastError());
    session->Names = InstanceNamesFor(ExecutableIdentity(modulePath), session->User.SidText());
    NoteNames(launcher, session->Names);
    if (launcher.DryRun) {
        launcher.InstanceSessionState.reset();
        return DryRunInstance(launcher, session->Names);
    }

    if (!OpenBlock(launcher, *session)) return true;
    return SettleRole(launcher, *session);
}

bool WaitForPrimaryInstance(Launcher& launcher, int& exitCode) {
    exitCode = 0;
    if (launcher.DryRun || !launcher.InstanceSessionState || !launcher.Block()) {
        NoteDecision(launcher.Decisions, "instance", "wait",
                     {{"would", L"post the arguments to the primary and end with its answer"}});
        return true;
    }
    // A primary that keeps leaving before it serves (each start over finds the next one
    // ending too) cannot keep a start going round for ever.
    constexpr int kStartOverRounds = 20;
    std::shared_ptr<InstanceSession> session = launcher.InstanceSessionState;
    for (int round = 0;; ++round) {
        if (session->HasEarlyResult) {
            exitCode = session->EarlyResult;
            return true;
        }
        switch (HandOver(launcher, *session, exitCode)) {
            case HandOverOutcome::Answered:
                return true;
            case HandOverOutcome::RunAlone:
                TurnOff(launcher, L"hand-over lock", ERROR_ACCESS_DENIED);
                return false;
            case HandOverOutcome::StartOver:
                break;
        }
        if (round + 1 >= kStartOverRounds) {
            exitCode = -1;
            return true;
        }
        session->Primary.reset();
        if (!SettleRole(launcher, *session)) {
            exitCode = -1;
            return true;
        }
        // Primary now, or on its own: either way this start runs the program.
        if (!launcher.SingleInstanceEnabled || launcher.IsPrimaryInstance) return false;
    }
}

void LeaveSingleInstance(Launcher& launcher) {
    ShutdownSingleInstance(launcher);
    launcher.SingleInstanceEnabled = false;
    launcher.IsPrimaryInstance = false;
    launcher.MainStartedEvent.reset();
}

void ShutdownSingleInstance(Launcher& launcher) {
    if (auto& session = launcher.InstanceSessionState) {
        if (launcher.IsPrimaryInstance) LeaveProtocol(*session);
        StopMessageLoopThread(launcher.InstanceListenerThread.get(), session->ListenerThreadId);
        {
            SrwExclusiveLock guard(session->Lock);
            session->Owner = nullptr;
            session->Stopped = true;
        }
        ::WakeAllConditionVariable(&session->QueueChanged);
        if (session->Stopping) ::SetEvent(session->Stopping.get());
        session.reset();
    }
    launcher.InstanceListenerThread.reset();
    launcher.InstanceView.reset();
    launcher.InstanceMapping.reset();
}

void ForgetVm(Launcher& launcher) {
    std::optional<SrwExclusiveLock> guard;
    if (InstanceSession* session = launcher.InstanceSessionState.get())
        guard.emplace(session->Lock);
    launcher.JavaVmPointer = nullptr;
    launcher.JniEnvPointer = nullptr;
}

DWORD WINAPI InstanceListener(void* parameter) {
    Launcher& launcher = *static_cast<Launcher*>(parameter);
    std::shared_ptr<InstanceSession> session = launcher.InstanceSessionState;
    MSG message;
    ::PeekMessageW(&message, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
    ::SetEvent(session->ListenerReady.get());
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (message.message != session->Message) continue;
        auto requester = static_cast<DWORD>(message.wParam);
        if (session->Left.load()) {
            PostStartOver(requester, session->Message);
            continue;
        }
        try {
            ServeHandOver(launcher, session, requester, message.lParam == kMoreFollows);
        } catch (const std::bad_alloc&) {
            // Without memory this hand-over fails; its second start ends with -1 and
            // releases the hand-over lock.
            PostAnswer(requester, session->Message, -1);
        }
    }
    // Requests that came in after the last one served go to the next primary.
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == session->Message)
            PostStartOver(static_cast<DWORD>(message.wParam), session->Message);
    }
    return 0;
}

DWORD WINAPI SecondaryMainWorker(void* parameter) {
    std::shared_ptr<InstanceSession> session;
    {
        std::unique_ptr<std::shared_ptr<InstanceSession>> handle(
            static_cast<std::shared_ptr<InstanceSession>*>(parameter));
        session = std::move(*handle);
    }
    // The main class name reaches JNI in the same code page as on the VM thread.
    UseSystemLocaleOnThisThread();
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
                PostStartOver(record.RequestingThreadId, session->Message);
            }
        } catch (const std::bad_alloc&) {
            PostAnswer(record.RequestingThreadId, session->Message, -1);
        }
    }
    return 0;
}
