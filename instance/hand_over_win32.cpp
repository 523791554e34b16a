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

// How long a second start waits for its turn at the block and for the primary's copy of its
// arguments. A start that waits longer has nobody to serve it (an acknowledgement that
// cannot reach an elevated start, a primary that hangs) and ends as a failed hand-over.
constexpr DWORD kHandOverLockWaitMs = 120000;
constexpr DWORD kAcknowledgeWaitMs = 30000;

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

    QueueForSecondaryMain(session, std::move(record));
}

}  // namespace

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
    if (!lock ||
        (::GetLastError() == ERROR_ALREADY_EXISTS && !IsObjectOfUser(lock.get(), session.User))) {
        return HandOverOutcome::RunAlone;
    }
    UniqueMutexOwnership held;
    {
        HANDLE waits[] = {lock.get(), primary};
        DWORD result = ::WaitForMultipleObjects(2, waits, FALSE, kHandOverLockWaitMs);
        // An abandoned lock belonged to a start that died mid hand-over; the block is ours now.
        if (result == WAIT_OBJECT_0 || result == WAIT_ABANDONED_0) {
            held.reset(lock.get());
        } else if (result == WAIT_OBJECT_0 + 1) {
            return HandOverOutcome::StartOver;
        } else {
            return HandOverOutcome::Answered;
        }
    }

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
            if (message.message == session.AckMessage && session.AckMessage != 0 && held) {
                if (sent < chunks) {
                    if (!postChunk()) return HandOverOutcome::StartOver;
                    acknowledgeDeadline = ::GetTickCount64() + kAcknowledgeWaitMs;
                    continue;
                }
                held.reset();
            }
            // Any other message is discarded.
        }
        DWORD timeout = INFINITE;
        if (held) {
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
