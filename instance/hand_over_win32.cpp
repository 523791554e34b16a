#include "instance/hand_over_win32.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <utility>
#include <vector>

#include "core/launcher_win32.h"
#include "core/unique_handle_win32.h"
#include "instance/instance_security_win32.h"
#include "instance/secondary_main_win32.h"
#include "instance/single_instance.h"

namespace {

// A request whose block is not the last of its arguments: the primary keeps the chunk and
// acknowledges it, and the second start writes the next one.
constexpr LPARAM kMoreFollows = 1;

/// Copies one hand-over out of the block, acknowledges it and queues it for secondaryMain.
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
    WorkerRecord record;
    record.RequestingThreadId = requestingThreadId;
    ArgumentStreamState state =
        AcceptArgumentChunk(snapshot, moreFollows, session->Pending, record.Arguments);
    // The arguments leave the shared block as soon as they are copied.
    MarkArgumentsConsumed(*launcher.Block());
    if (state == ArgumentStreamState::NeedsMore) {
        ::PostThreadMessageW(requestingThreadId, session->AckMessage, 0, 0);
        return;
    }
    session->Pending.clear();
    session->Pending.shrink_to_fit();
    session->PendingFrom = 0;
    if (state == ArgumentStreamState::Refused) {
        // Longer than any command line, or not a list: not a start's arguments.
        PostAnswer(requestingThreadId, session->Message, -1);
        return;
    }
    // The acknowledgement lets the next second start write the block. When it cannot be
    // delivered the requester is gone, and the block may already hold a later start's
    // arguments, which its own request will deliver: this one is dropped.
    if (!::PostThreadMessageW(requestingThreadId, session->AckMessage, 0, 0)) return;

    QueueForSecondaryMain(session, std::move(record));
}

}  // namespace

// A second instance's hand-over: take the hand-over lock, write the block, post, and wait
// for the primary's copy of it (then the lock goes to the next start) and for its answer.
// Everything until the copy is bounded by the session's accept deadline; after it, the start
// waits for its answer as long as the primary lives.
HandOverOutcome HandOver(Launcher& launcher, InstanceSession& session, int& exitCode) {
    exitCode = -1;
    session.Accepted = false;
    InstanceBlock& block = *launcher.Block();
    HANDLE primary = session.Primary.get();
    auto remaining = [&]() -> DWORD {
        ULONGLONG now = ::GetTickCount64();
        return now >= session.AcceptDeadline ? 0 : static_cast<DWORD>(session.AcceptDeadline - now);
    };

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
    if (!lock ||
        (::GetLastError() == ERROR_ALREADY_EXISTS && !IsObjectOfUser(lock.get(), session.User))) {
        return HandOverOutcome::RunAlone;
    }
    UniqueMutexOwnership held;
    {
        HANDLE waits[] = {lock.get(), primary};
        DWORD result = ::WaitForMultipleObjects(2, waits, FALSE, remaining());
        // An abandoned lock belonged to a start that died mid hand-over; the block is ours now.
        if (result == WAIT_OBJECT_0 || result == WAIT_ABANDONED_0) {
            held.reset(lock.get());
        } else if (result == WAIT_OBJECT_0 + 1) {
            return HandOverOutcome::StartOver;
        } else {
            return HandOverOutcome::NotAccepted;
        }
    }

    // The primary may bring its window to the front: this start was the user's last action,
    // and the right to take the foreground is this process's to pass on.
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

    // Once the call for this start has begun, it is never made again by another primary: if
    // this one ends first, its exit code is the answer.
    bool begun = false;
    auto primaryEnded = [&] {
        DWORD code = 0;
        if (begun && ::GetExitCodeProcess(primary, &code)) {
            exitCode = static_cast<int>(code);
            return HandOverOutcome::Answered;
        }
        return begun ? HandOverOutcome::Answered : HandOverOutcome::StartOver;
    };
    // Whether the message ends the wait, with `outcome` set.
    auto heard = [&](const MSG& message, HandOverOutcome& outcome) {
        if (message.message != session.Message) return false;
        if (message.lParam == kCallBegun) {
            begun = true;
            return false;
        }
        if (message.lParam == kStartOver) {
            outcome = HandOverOutcome::StartOver;
            return true;
        }
        exitCode = static_cast<int>(static_cast<INT_PTR>(message.wParam));
        outcome = HandOverOutcome::Answered;
        return true;
    };
    for (;;) {
        MSG message;
        HandOverOutcome outcome;
        while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (heard(message, outcome)) return outcome;
            if (message.message == session.AckMessage && session.AckMessage != 0 && held) {
                if (sent < chunks) {
                    if (!postChunk()) return HandOverOutcome::StartOver;
                    continue;
                }
                held.reset();
                session.Accepted = true;
            }
            // Any other message is discarded.
        }
        DWORD timeout = INFINITE;
        if (held) {
            timeout = remaining();
            // The primary never took the arguments: it cannot answer this start.
            if (timeout == 0) return HandOverOutcome::NotAccepted;
        }
        DWORD result =
            ::MsgWaitForMultipleObjectsEx(1, &primary, timeout, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        if (result == WAIT_OBJECT_0 || result == WAIT_FAILED) {
            // An answer posted just before the primary ended still counts.
            while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
                if (heard(message, outcome)) return outcome;
            }
            // Ended without serving this start: unless its call had begun, its arguments go
            // to the next primary.
            return primaryEnded();
        }
    }
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
