#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "core/unique_handle_win32.h"
#include "instance/instance_security_win32.h"
#include "instance/single_instance.h"

class Launcher;

/// One copied hand-over: who asked, and the arguments it brought.
struct WorkerRecord {
    DWORD RequestingThreadId = 0;
    std::vector<std::wstring> Arguments;
    /// The second start has had its answer (a void-form call, answered once queued).
    bool Answered = false;
};

/// The form of the main class's secondaryMain, known once the worker has looked it up.
enum class SecondaryMainForm { Unknown, Void, Int, Absent };

/// The objects of one launch's part in the protocol. The listener and the worker share it
/// with the Launcher so that it outlives the Launcher: the worker reaches the Launcher only
/// through `Owner`, under `Lock`, and shutdown clears `Owner`.
struct InstanceSession {
    InstanceNames Names;
    ProcessUser User;
    UINT Message = 0;
    UINT AckMessage = 0;

    // Second start only: the verified primary; whether its listener was published in time;
    // and when the whole hand-over must have been accepted.
    UniqueHandle Primary;
    DWORD PrimaryProcessId = 0;
    DWORD Listener = 0;
    bool NotPublished = false;
    ULONGLONG AcceptDeadline = 0;
    /// The current primary has taken the arguments into its queue.
    bool Accepted = false;

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
    SecondaryMainForm Form = SecondaryMainForm::Unknown;
    // Listener only: the stream of a hand-over that comes in several blocks, and its sender.
    std::vector<std::uint16_t> Pending;
    DWORD PendingFrom = 0;
    /// Worker only: main has been seen done with its start, so later hand-overs need not
    /// look again.
    bool MainSeenReady = false;
};

// The block's numbers are read and written by other processes at any time.
inline std::uint32_t LoadShared(std::uint32_t& field) {
    return std::atomic_ref<std::uint32_t>(field).load(std::memory_order_acquire);
}

inline void StoreShared(std::uint32_t& field, std::uint32_t value) {
    std::atomic_ref<std::uint32_t>(field).store(value, std::memory_order_release);
}

inline bool CompareExchangeShared(std::uint32_t& field, std::uint32_t expected,
                                  std::uint32_t value) {
    return std::atomic_ref<std::uint32_t>(field).compare_exchange_strong(expected, value);
}

/// Takes this process's listener and identifier out of the block (when they are still
/// there), so that every later start claims the block instead of handing over to it.
void ReleaseClaim(InstanceBlock& block, const InstanceSession* session);
/// Leaves the protocol from the primary's side, once: the block is given back, so that the
/// next start becomes the primary instead of handing over to a VM that shuts down.
void LeaveProtocol(InstanceSession& session);

/// The answer (lParam) that sends a second start back to the choice of its role: the primary
/// has left the protocol and will not serve it.
inline constexpr LPARAM kStartOver = 1;
/// Not an answer (lParam): the call for this start has begun. From then on the start never
/// starts over; if the primary ends before it answers, its exit code is the start's.
inline constexpr LPARAM kCallBegun = 2;
/// How long a second start has, from its beginning, for its arguments to be accepted into the
/// primary's queue (the hand-over lock, the primary's listener, its acknowledgements).
inline constexpr DWORD kAcceptWaitMs = 30000;

/// Answers a second start with the exit code it ends with.
void PostAnswer(DWORD thread, UINT message, int result);
/// Tells a second start to choose its role again.
void PostStartOver(DWORD thread, UINT message);
/// Tells a second start that its call begins.
void PostCallBegun(DWORD thread, UINT message);
