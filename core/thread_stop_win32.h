#pragma once

#include <windows.h>

/// Ends a thread that runs a message loop: posts WM_QUIT, then waits a short while for the
/// thread to end before posting again (a thread that has not yet made its message queue
/// misses a post). Returns when the thread has ended, or at once when the handle cannot be
/// waited on.
void StopMessageLoopThread(HANDLE thread, DWORD threadId);
