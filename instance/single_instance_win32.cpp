#include "instance/single_instance_win32.h"

#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "config/configuration.h"
#include "config/configuration_win32.h"
#include "config/settings_store_win32.h"
#include "core/format.h"
#include "core/launcher_win32.h"
#include "core/messages_win32.h"
#include "core/thread_stop_win32.h"
#include "core/unique_handle_win32.h"
#include "instance/hand_over_win32.h"
#include "instance/instance_security_win32.h"
#include "instance/instance_session_win32.h"
#include "instance/single_instance.h"
#include "resources/resource_ids.h"

// Claiming the primary role: the shared block, the main-started event, the listener, and
// the checks that every object met by name is this user's.

namespace {

// A second start polls for a primary that has created the block but not yet published its
// listener, until its accept deadline; one that waits longer ends as a failed hand-over.
constexpr DWORD kPublishPollMs = 20;

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
    launcher.MainStartedEvent.reset(
        ::CreateEventW(security.Attributes(), TRUE, FALSE, session.Names.MainStartedEvent.c_str()));
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

/// A recorded primary that no longer serves: ended, or its identifier now names a process
/// that does not run this executable. `process` receives the open process otherwise.
bool PrimaryGone(DWORD processId, UniqueHandle& process) {
    process.reset(::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
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
    if (error == ERROR_ALREADY_EXISTS &&
        !IsObjectOfUser(launcher.InstanceMapping.get(), session.User))
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
            if (::GetTickCount64() >= session.AcceptDeadline) {
                // Published by nobody in time: the hand-over fails.
                session.NotPublished = true;
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

}  // namespace

bool InitSingleInstance(Launcher& launcher) {
    std::wstring configurationPath;
    if (!ConfigurationFilePath(launcher, configurationPath)) return false;
    // Only the file beside the executable counts here, never the per-user file.
    LayeredSettingsStore store(configurationPath);
    LayeredValue applicationType =
        store.GetStringWithSource(kApplicationSection, L"Application Type");
    // Recorded with its source; "Application Type" was when the configuration was read.
    std::wstring singleInstance =
        ReadNotedSetting(launcher, store, kApplicationSection, L"Single Instance");
    SingleInstanceRequest request =
        DecideSingleInstance(applicationType.Value, singleInstance);
    NoteDecision(launcher.Decisions, "instance", "setting",
                 {{"file", configurationPath},
                  {"applicationType", applicationType.Value},
                  {"singleInstance", singleInstance},
                  {"decision", RequestName(request)}});
    if (request != SingleInstanceRequest::Requested) return true;

    std::wstring modulePath;
    if (!ModulePath(launcher, modulePath)) return false;
    std::shared_ptr<InstanceSession> session(new InstanceSession());
    session->AcceptDeadline = ::GetTickCount64() + kAcceptWaitMs;
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
    // A program that asked to run once is never started a second time because its running
    // copy did not take a start in time: the start says so and ends.
    auto notAccepted = [&] {
        NoteDecision(launcher.Decisions, "instance", "not-accepted",
                     {{"seconds", Number(kAcceptWaitMs / 1000)}});
        ReportLaunchFormattedError(launcher, IDS_HAND_OVER_NOT_ACCEPTED,
                                   Number(kAcceptWaitMs / 1000));
        exitCode = -1;
        return true;
    };
    std::shared_ptr<InstanceSession> session = launcher.InstanceSessionState;
    for (;;) {
        if (session->NotPublished) return notAccepted();
        switch (HandOver(launcher, *session, exitCode)) {
            case HandOverOutcome::Answered:
                return true;
            case HandOverOutcome::NotAccepted:
                return notAccepted();
            case HandOverOutcome::RunAlone:
                TurnOff(launcher, L"hand-over lock", ERROR_ACCESS_DENIED);
                return false;
            case HandOverOutcome::StartOver:
                break;
        }
        // A primary that took the arguments and then ended before their call began has
        // served nothing: the next one gets the whole bound again. Primaries that keep
        // leaving before they take this start cannot keep it going round beyond its bound.
        if (session->Accepted) session->AcceptDeadline = ::GetTickCount64() + kAcceptWaitMs;
        if (::GetTickCount64() >= session->AcceptDeadline) return notAccepted();
        session->Primary.reset();
        if (!SettleRole(launcher, *session)) return notAccepted();
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
