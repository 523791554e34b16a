#pragma once

#include <windows.h>

#include "instance/instance_session_win32.h"

// Moving a second start's arguments to the primary: the second start writes them into the
// block, one chunk at a time under the hand-over lock, and waits for each acknowledgement
// and for the answer; the primary's listener copies them out and queues them.

enum class HandOverOutcome {
    Answered,   ///< the exit code is the primary's answer (or -1 for a failed hand-over)
    StartOver,  ///< the primary ended or left without serving: choose the role again
    RunAlone,   ///< the protocol cannot be used: run as an instance of its own
    NotAccepted,  ///< the primary did not take the arguments in time: end with -1
};

/// A second instance's hand-over to the primary it has verified (`session.Primary`):
/// `exitCode` is -1 unless the primary answers (or, once the call for this start has begun,
/// ends: then its exit code).
HandOverOutcome HandOver(Launcher& launcher, InstanceSession& session, int& exitCode);

/// The primary's listener thread: copies each forwarded argument list and queues it for
/// secondaryMain. Argument: the Launcher. Exit code 0.
DWORD WINAPI InstanceListener(void* launcher);
