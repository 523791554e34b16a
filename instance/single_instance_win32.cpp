#include "instance/single_instance_win32.h"

#include <atomic>
#include <cstring>
#include <memory>
#include <new>
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
#include "hosting/java_strings_win32.h"
#include "instance/instance_security_win32.h"
#include "instance/single_instance.h"

/// The objects of one launch's part in the protocol. Workers share it with the Launcher so
/// that it outlives the Launcher: a worker still waiting for main at shutdown reaches the
/// Launcher only through `Owner`, under `Lock`, and shutdown clears `Owner`.
struct InstanceSession {
    InstanceNames Names;
    ProcessUser User;
    UINT Message = 0;
    UINT AckMessage = 0;

    // Second start only: the verified primary, and the result when the hand-over is settled
    // before it begins (primary gone, never published).
    UniqueHandle Primary;
    DWORD Listener = 0;
    bool HasEarlyResult = false;
    int EarlyResult = 0;

    // Primary only.
    SRWLOCK Lock = SRWLOCK_INIT;
    Launcher* Owner = nullptr;
    DWORD ListenerThreadId = 0;
    UniqueHandle ListenerReady;
    UniqueHandle MainStarted;  ///< the launcher's event, duplicated for the workers
    UniqueHandle Stopping;     ///< set at shutdown: waiting workers give up
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

struct WorkerRecord {
    DWORD RequestingThreadId = 0;
    std::shared_ptr<InstanceSession> Session;
    std::vector<std::wstring> Arguments;
};

std::uint32_t LoadShared(std::uint32_t& field) {
    return std::atomic_ref<std::uint32_t>(field).load(std::memory_order_acquire);
}

void StoreShared(std::uint32_t& field, std::uint32_t value) {
    std::atomic_ref<std::uint32_t>(field).store(value, std::memory_order_release);
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
    // The process id comes first: a second start watches this process while it waits for
    // the listener to appear.
    StoreShared(block.PrimaryProcessId, ::GetCurrentProcessId());

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
    NoteDecision(launcher.Decisions, "instance", "role",
                 {{"role", L"primary"},
                  {"processId", Number(::GetCurrentProcessId())},
                  {"listenerThreadId", Number(threadId)}});
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
    bool fits = ArgumentsFitBlock(launcher.ApplicationArguments);
    NoteDecision(launcher.Decisions, "instance", "role",
                 {{"role", L"second"},
                  {"primaryProcessId", Number(snapshot.PrimaryProcessId)},
                  {"listenerThreadId", Number(snapshot.ListenerThreadId)},
                  {"argumentBytes", Number(ForwardedArgumentsBytes(launcher.ApplicationArguments))},
                  {"limit", Number(kArgumentAreaBytes)},
                  {"would", fits ? L"hand the arguments to the primary and wait for its answer"
                                 : L"end with -1: the arguments do not fit"}});
    return fits;
}

int PrimaryExitCode(HANDLE process) {
    DWORD code = 0;
    // An unreadable exit code is a failure, never a made-up success.
    if (!::GetExitCodeProcess(process, &code)) return -1;
    return static_cast<int>(code);
}

void ReleaseBlock(Launcher& launcher) {
    launcher.InstanceView.reset();
    launcher.InstanceMapping.reset();
}

// Settles the role of a start that found the block: waits (bounded) until the primary has
// published itself, and checks that the recorded process runs this executable and that the
// listener is one of its threads. A block that fails the checks is not trusted: this start
// runs as an instance of its own instead of handing its arguments to whoever wrote it.
bool VerifyPrimary(Launcher& launcher, InstanceSession& session) {
    InstanceBlock& block = *launcher.Block();
    ULONGLONG deadline = ::GetTickCount64() + kPublishWaitMs;
    auto settle = [&](int result, const wchar_t* outcome) {
        NoteDecision(launcher.Decisions, "instance", "hand-over", {{"outcome", outcome}});
        session.HasEarlyResult = true;
        session.EarlyResult = result;
        return true;
    };

    DWORD processId = 0;
    while ((processId = LoadShared(block.PrimaryProcessId)) == 0) {
        if (::GetTickCount64() >= deadline)
            return TurnOff(launcher, L"block without a primary", ERROR_TIMEOUT);
        ::Sleep(kPublishPollMs);
    }
    session.Primary.reset(
        ::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
    // The primary has gone (its block lives on in other starts that still hold it).
    if (!session.Primary) return settle(0, L"primary process cannot be opened");
    if (!ProcessRunsImage(session.Primary.get(), OwnImagePath()))
        return TurnOff(launcher, L"block of another program", ERROR_ACCESS_DENIED);

    DWORD listener = 0;
    while ((listener = LoadShared(block.ListenerThreadId)) == 0) {
        if (::GetTickCount64() >= deadline) return settle(-1, L"no listener published");
        if (::WaitForSingleObject(session.Primary.get(), kPublishPollMs) == WAIT_OBJECT_0)
            return settle(PrimaryExitCode(session.Primary.get()),
                          L"primary ended before publishing");
    }
    if (!ThreadBelongsToProcess(listener, processId)) {
        if (::WaitForSingleObject(session.Primary.get(), 0) == WAIT_OBJECT_0)
            return settle(PrimaryExitCode(session.Primary.get()), L"primary ended");
        return TurnOff(launcher, L"listener of another process", ERROR_ACCESS_DENIED);
    }
    session.Listener = listener;
    NoteDecision(launcher.Decisions, "instance", "hand-over",
                 {{"primaryProcessId", Number(processId)},
                  {"listenerThreadId", Number(listener)},
                  {"primaryWatched", L"yes"}});
    return true;
}

// A second instance's hand-over: take the hand-over lock, write the block, post, and wait
// for the primary's copy of it (then the lock goes to the next start) and for its answer.
// Every wait also ends when the primary does; the waits before the copy are bounded.
int HandOver(Launcher& launcher, InstanceSession& session) {
    if (session.HasEarlyResult) return session.EarlyResult;
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
        NoteDecision(launcher.Decisions, "instance", "hand-over",
                     {{"outcome", L"hand-over lock not usable"}});
        return -1;
    }
    bool locked = false;
    {
        HANDLE waits[] = {lock.get(), primary};
        DWORD result = ::WaitForMultipleObjects(2, waits, FALSE, kHandOverLockWaitMs);
        // An abandoned lock belonged to a start that died mid hand-over; the block is ours now.
        if (result == WAIT_OBJECT_0 || result == WAIT_ABANDONED_0) {
            locked = true;
        } else if (result == WAIT_OBJECT_0 + 1) {
            return PrimaryExitCode(primary);
        } else {
            NoteDecision(launcher.Decisions, "instance", "hand-over",
                         {{"outcome", L"hand-over lock not obtained"}});
            return -1;
        }
    }
    auto unlock = MakeScopeExit([&] {
        if (locked) ::ReleaseMutex(lock.get());
    });

    WriteForwardedArguments(block, launcher.ApplicationArguments);
    if (!::PostThreadMessageW(session.Listener, session.Message, ::GetCurrentThreadId(), 0)) {
        NoteDecision(launcher.Decisions, "instance", "hand-over",
                     {{"outcome", L"post failed"}, {"error", Number(::GetLastError())}});
        return -1;
    }

    ULONGLONG acknowledgeDeadline = ::GetTickCount64() + kAcknowledgeWaitMs;
    for (;;) {
        MSG message;
        while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == session.Message) {
                return static_cast<int>(static_cast<INT_PTR>(message.wParam));
            }
            if (message.message == session.AckMessage && session.AckMessage != 0 && locked) {
                ::ReleaseMutex(lock.get());
                locked = false;
                ReleaseBlock(launcher);
            }
            // Any other message is discarded.
        }
        DWORD timeout = INFINITE;
        if (locked) {
            ULONGLONG now = ::GetTickCount64();
            if (now >= acknowledgeDeadline) {
                // The primary never took the arguments: it cannot answer this start.
                NoteDecision(launcher.Decisions, "instance", "hand-over",
                             {{"outcome", L"not acknowledged"}});
                return -1;
            }
            timeout = static_cast<DWORD>(acknowledgeDeadline - now);
        }
        DWORD result =
            ::MsgWaitForMultipleObjectsEx(1, &primary, timeout, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        if (result == WAIT_OBJECT_0 || result == WAIT_FAILED) {
            // An answer posted just before the primary ended still counts.
            while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
                if (message.message == session.Message) {
                    return static_cast<int>(static_cast<INT_PTR>(message.wParam));
                }
            }
            return result == WAIT_OBJECT_0 ? PrimaryExitCode(primary) : -1;
        }
    }
}

bool CallSecondaryMain(JNIEnv* env, const std::wstring& mainClassName, const WorkerRecord& record,
                       UINT answerMessage) {
    std::string className = ToThreadAnsi(mainClassName);
    jclass mainClass = env->FindClass(className.c_str());
    if (!mainClass) return false;

    jmethodID method = env->GetStaticMethodID(mainClass, "secondaryMain", "([Ljava/lang/String;)V");
    if (env->ExceptionCheck()) env->ExceptionClear();
    bool returnsInt = false;
    if (!method) {
        method = env->GetStaticMethodID(mainClass, "secondaryMain", "([Ljava/lang/String;)I");
        returnsInt = true;
        if (!method) {
            if (env->ExceptionCheck()) env->ExceptionDescribe();
            return false;
        }
    }

    jobjectArray arguments = NewJavaStringArray(env, record.Arguments);
    if (!arguments) {
        if (env->ExceptionCheck()) env->ExceptionDescribe();
        return false;
    }

    if (returnsInt) {
        jint result = env->CallStaticIntMethod(mainClass, method, arguments);
        ::PostThreadMessageW(record.RequestingThreadId, answerMessage,
                             static_cast<WPARAM>(static_cast<INT_PTR>(result)), 0);
    } else {
        // The void form answers before the call: the second start ends at once.
        ::PostThreadMessageW(record.RequestingThreadId, answerMessage, 0, 0);
        env->CallStaticVoidMethod(mainClass, method, arguments);
    }
    if (env->ExceptionCheck()) {
        env->ExceptionDescribe();
        return false;
    }
    return true;
}

void ServeHandOver(Launcher& launcher, const std::shared_ptr<InstanceSession>& session,
                   DWORD requestingThreadId) {
    auto record = std::unique_ptr<WorkerRecord>(new (std::nothrow) WorkerRecord);
    if (!record) {
        ::PostThreadMessageW(requestingThreadId, session->Message, static_cast<WPARAM>(-1), 0);
        return;
    }
    record->RequestingThreadId = requestingThreadId;
    record->Session = session;
    InstanceBlock snapshot;
    std::memcpy(&snapshot, launcher.Block(), sizeof(snapshot));
    // A request without fresh arguments is stray or forged (or a replay of one already
    // served): nobody wrote for it, so nothing is handed to secondaryMain and nobody answered.
    if (!HasFreshArguments(snapshot)) return;
    record->Arguments = ReadForwardedArguments(snapshot);
    // The arguments leave the shared block as soon as they are copied.
    MarkArgumentsConsumed(*launcher.Block());
    // The acknowledgement lets the next second start write the block. When it cannot be
    // delivered the requester is gone, and the block may already hold a later start's
    // arguments, which its own request will deliver: this one is dropped.
    if (!::PostThreadMessageW(requestingThreadId, session->AckMessage, 0, 0)) return;

    UniqueHandle worker(::CreateThread(nullptr, 0, SecondaryMainWorker, record.get(), 0, nullptr));
    if (!worker) {
        ::PostThreadMessageW(requestingThreadId, session->Message, static_cast<WPARAM>(-1), 0);
        return;
    }
    record.release();  // the worker frees it
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
    session->Names = InstanceNamesFor(modulePath, session->User.SidText());
    NoteNames(launcher, session->Names);
    if (launcher.DryRun) {
        launcher.InstanceSessionState.reset();
        return DryRunInstance(launcher, session->Names);
    }

    PrivateObjectSecurity security(session->User);
    launcher.InstanceMapping.reset(::CreateFileMappingW(INVALID_HANDLE_VALUE, security.Attributes(),
                                                        PAGE_READWRITE, 0, kInstanceBlockSize,
                                                        session->Names.Instance.c_str()));
    DWORD error = ::GetLastError();
    if (!launcher.InstanceMapping) return TurnOff(launcher, L"file mapping", error);
    launcher.IsPrimaryInstance = error != ERROR_ALREADY_EXISTS;
    // A block made first by someone else (another user, a sandboxed process) is not ours to
    // serve or to trust.
    if (!launcher.IsPrimaryInstance && !IsObjectOfUser(launcher.InstanceMapping.get(), session->User))
        return TurnOff(launcher, L"block of another owner", ERROR_ACCESS_DENIED);
    // Exactly the block's size: a smaller object of that name fails here instead of faulting.
    launcher.InstanceView.reset(
        ::MapViewOfFile(launcher.InstanceMapping.get(), FILE_MAP_WRITE, 0, 0, kInstanceBlockSize));
    if (!launcher.InstanceView) return TurnOff(launcher, L"view", ::GetLastError());

    if (launcher.IsPrimaryInstance) return StartPrimary(launcher, *session);
    if (!VerifyPrimary(launcher, *session) || !launcher.SingleInstanceEnabled) return true;

    std::size_t bytes = ForwardedArgumentsBytes(launcher.ApplicationArguments);
    bool fits = bytes <= kArgumentAreaBytes;
    NoteDecision(launcher.Decisions, "instance", "role",
                 {{"role", L"second"},
                  {"argumentBytes", Number(bytes)},
                  {"limit", Number(kArgumentAreaBytes)},
                  {"fits", fits ? L"yes" : L"no"}});
    // Too long for the block: the launch ends with -1 and no message.
    return fits;
}

int WaitForPrimaryInstance(Launcher& launcher) {
    if (launcher.DryRun || !launcher.InstanceSessionState || !launcher.Block()) {
        NoteDecision(launcher.Decisions, "instance", "wait",
                     {{"would", L"post the arguments to the primary and end with its answer"}});
        return 0;
    }
    return HandOver(launcher, *launcher.InstanceSessionState);
}

void LeaveSingleInstance(Launcher& launcher) {
    ShutdownSingleInstance(launcher);
    launcher.SingleInstanceEnabled = false;
    launcher.IsPrimaryInstance = false;
    launcher.MainStartedEvent.reset();
}

void ShutdownSingleInstance(Launcher& launcher) {
    if (auto& session = launcher.InstanceSessionState) {
        StopMessageLoopThread(launcher.InstanceListenerThread.get(), session->ListenerThreadId);
        ::AcquireSRWLockExclusive(&session->Lock);
        session->Owner = nullptr;
        ::ReleaseSRWLockExclusive(&session->Lock);
        if (session->Stopping) ::SetEvent(session->Stopping.get());
        session.reset();
    }
    launcher.InstanceListenerThread.reset();
    launcher.InstanceView.reset();
    launcher.InstanceMapping.reset();
}

void ForgetVm(Launcher& launcher) {
    InstanceSession* session = launcher.InstanceSessionState.get();
    if (session) ::AcquireSRWLockExclusive(&session->Lock);
    launcher.JavaVmPointer = nullptr;
    launcher.JniEnvPointer = nullptr;
    if (session) ::ReleaseSRWLockExclusive(&session->Lock);
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
        try {
            ServeHandOver(launcher, session, requester);
        } catch (const std::bad_alloc&) {
            // Without memory this hand-over fails; its second start ends with -1 and
            // releases the hand-over lock.
            ::PostThreadMessageW(requester, session->Message, static_cast<WPARAM>(-1), 0);
        }
    }
    return 0;
}

DWORD WINAPI SecondaryMainWorker(void* parameter) {
    std::unique_ptr<WorkerRecord> record(static_cast<WorkerRecord*>(parameter));
    // The main class name reaches JNI in the same code page as on the VM thread.
    UseSystemLocaleOnThisThread();
    InstanceSession& session = *record->Session;
    HANDLE waits[] = {session.MainStarted.get(), session.Stopping.get()};
    if (::WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0) {
        // Main never started and the protocol is closing (the launch failed, or it went to the
        // pair product): the second start ends as a failed hand-over instead of waiting on.
        ::PostThreadMessageW(record->RequestingThreadId, session.Message, static_cast<WPARAM>(-1),
                             0);
        return 1;
    }

    JavaVM* vm = nullptr;
    std::wstring mainClassName;
    bool keepParked = false;
    ::AcquireSRWLockShared(&session.Lock);
    if (session.Owner) {
        vm = session.Owner->JavaVmPointer;
        keepParked = session.Owner->KeepVmThreadParked;
        try {
            mainClassName = session.Owner->MainClassName;
        } catch (const std::bad_alloc&) {
            vm = nullptr;
        }
    }
    ::ReleaseSRWLockShared(&session.Lock);
    if (!vm) return 1;

    JNIEnv* env = nullptr;
    if (vm->AttachCurrentThread(reinterpret_cast<void**>(&env), nullptr) != JNI_OK) return 1;
    auto detach = MakeScopeExit([&] {
        if (!keepParked) vm->DetachCurrentThread();
    });
    try {
        return CallSecondaryMain(env, mainClassName, *record, session.Message) ? 0 : 1;
    } catch (const std::bad_alloc&) {
        return 1;
    }
}

bool ReadForwardedArguments(const Launcher& launcher, std::vector<std::wstring>& arguments) {
    // A snapshot first: another process can write the block at any time.
    InstanceBlock snapshot;
    std::memcpy(&snapshot, launcher.Block(), sizeof(snapshot));
    arguments = ReadForwardedArguments(snapshot);
    return true;
}
