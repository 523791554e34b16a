#include "instance/single_instance_win32.h"

#include <atomic>
#include <cstring>
#include <memory>
#include <new>
#include <utility>

#include "config/configuration.h"
#include "config/configuration_win32.h"
#include "config/settings_store_win32.h"
#include "core/launcher_win32.h"
#include "core/scope_exit.h"
#include "core/text_win32.h"
#include "core/thread_stop_win32.h"
#include "hosting/java_strings_win32.h"
#include "instance/single_instance.h"

/// The objects of one launch's part in the protocol. Workers share it with the Launcher so
/// that it outlives the Launcher: a worker still waiting for main at shutdown reaches the
/// Launcher only through `Owner`, under `Lock`, and shutdown clears `Owner`.
struct InstanceSession {
    InstanceNames Names;
    UINT Message = 0;
    UINT AckMessage = 0;

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
// published its listener, and how long it waits on a primary it cannot watch.
constexpr DWORD kPublishWaitMs = 10000;
constexpr DWORD kPublishPollMs = 20;
constexpr DWORD kUnwatchedWaitMs = 10000;

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

std::wstring Number(unsigned long long value) { return std::to_wstring(value); }

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
                  {"message", names.Instance},
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
    // The process id comes first: a second start watches this process while it waits for
    // the listener to appear.
    StoreShared(block.PrimaryProcessId, ::GetCurrentProcessId());

    launcher.MainStartedEvent.reset(
        ::CreateEventW(nullptr, TRUE, FALSE, session.Names.MainStartedEvent.c_str()));
    if (!launcher.MainStartedEvent)
        return TurnOff(launcher, L"main-started event", ::GetLastError());
    // An earlier primary that is still ending may have left the event signalled.
    if (::GetLastError() == ERROR_ALREADY_EXISTS) ::ResetEvent(launcher.MainStartedEvent.get());

    session.Message = ::RegisterWindowMessageW(session.Names.Instance.c_str());
    if (session.Message == 0) return TurnOff(launcher, L"message registration", ::GetLastError());
    StoreShared(block.InstanceMessage, session.Message);
    session.AckMessage = ::RegisterWindowMessageW(session.Names.HandOverAck.c_str());
    if (session.AckMessage == 0)
        return TurnOff(launcher, L"message registration", ::GetLastError());

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

// A second instance's hand-over: wait for the listener, take the hand-over lock, write the
// block, post, and wait for the primary's copy of it (then the lock goes to the next start)
// and for its answer. Every wait also ends when the primary does.
int HandOver(Launcher& launcher, InstanceSession& session) {
    InstanceBlock& block = *launcher.Block();
    UniqueHandle process;
    auto openPrimary = [&] {
        DWORD processId = LoadShared(block.PrimaryProcessId);
        if (!process && processId != 0) {
            process.reset(
                ::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
        }
    };

    // The primary may have made the block a moment ago and not yet published its listener.
    DWORD listener = 0;
    ULONGLONG deadline = ::GetTickCount64() + kPublishWaitMs;
    while ((listener = LoadShared(block.ListenerThreadId)) == 0) {
        openPrimary();
        if (::GetTickCount64() >= deadline) {
            NoteDecision(launcher.Decisions, "instance", "hand-over",
                         {{"outcome", L"no listener published"}});
            return -1;
        }
        if (!process) {
            ::Sleep(kPublishPollMs);
        } else if (::WaitForSingleObject(process.get(), kPublishPollMs) == WAIT_OBJECT_0) {
            NoteDecision(launcher.Decisions, "instance", "hand-over",
                         {{"outcome", L"primary ended before publishing"}});
            return PrimaryExitCode(process.get());
        }
    }
    openPrimary();
    NoteDecision(launcher.Decisions, "instance", "hand-over",
                 {{"primaryProcessId", Number(LoadShared(block.PrimaryProcessId))},
                  {"listenerThreadId", Number(listener)},
                  {"primaryWatched", process ? L"yes" : L"no"}});

    session.Message = LoadShared(block.InstanceMessage);
    if (session.Message == 0)
        session.Message = ::RegisterWindowMessageW(session.Names.Instance.c_str());
    session.AckMessage = ::RegisterWindowMessageW(session.Names.HandOverAck.c_str());

    // One hand-over at a time: the block has a single argument slot.
    UniqueHandle lock(::CreateMutexW(nullptr, FALSE, session.Names.HandOverLock.c_str()));
    bool locked = false;
    if (lock) {
        HANDLE waits[] = {lock.get(), process.get()};
        DWORD result = ::WaitForMultipleObjects(process ? 2 : 1, waits, FALSE,
                                                process ? INFINITE : kUnwatchedWaitMs);
        // An abandoned lock belonged to a start that died mid hand-over; the block is ours now.
        if (result == WAIT_OBJECT_0 || result == WAIT_ABANDONED_0) {
            locked = true;
        } else if (result == WAIT_OBJECT_0 + 1) {
            return PrimaryExitCode(process.get());
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
    if (!::PostThreadMessageW(listener, session.Message, ::GetCurrentThreadId(), 0)) {
        NoteDecision(launcher.Decisions, "instance", "hand-over",
                     {{"outcome", L"post failed"}, {"error", Number(::GetLastError())}});
        return -1;
    }

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
        if (!process) {
            // Nothing to watch: once the primary has the arguments there is nothing to wait
            // for; before that, wait a bounded time.
            if (!locked) return 0;
            DWORD result = ::MsgWaitForMultipleObjectsEx(0, nullptr, kUnwatchedWaitMs, QS_ALLINPUT,
                                                         MWMO_INPUTAVAILABLE);
            if (result == WAIT_TIMEOUT) return 0;
            continue;
        }
        HANDLE primary = process.get();
        DWORD result =
            ::MsgWaitForMultipleObjectsEx(1, &primary, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
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
    ReadForwardedArguments(launcher, record->Arguments);
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
    LayeredSettingsStore store(configurationPath, L"");
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
    auto session = std::make_shared<InstanceSession>();
    session->Names = InstanceNamesFor(modulePath);
    NoteNames(launcher, session->Names);
    if (launcher.DryRun) return DryRunInstance(launcher, session->Names);

    launcher.SingleInstanceEnabled = true;
    launcher.InstanceSessionState = session;
    launcher.InstanceMapping.reset(::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr,
                                                        PAGE_READWRITE, 0, kInstanceBlockSize,
                                                        session->Names.Instance.c_str()));
    DWORD error = ::GetLastError();
    if (!launcher.InstanceMapping) return TurnOff(launcher, L"file mapping", error);
    launcher.IsPrimaryInstance = error != ERROR_ALREADY_EXISTS;
    // Exactly the block's size: a smaller object of that name fails here instead of faulting.
    launcher.InstanceView.reset(
        ::MapViewOfFile(launcher.InstanceMapping.get(), FILE_MAP_WRITE, 0, 0, kInstanceBlockSize));
    if (!launcher.InstanceView) return TurnOff(launcher, L"view", ::GetLastError());

    if (launcher.IsPrimaryInstance) return StartPrimary(launcher, *session);

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
    InstanceSession& session = *record->Session;
    HANDLE waits[] = {session.MainStarted.get(), session.Stopping.get()};
    if (::WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0) return 1;

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
