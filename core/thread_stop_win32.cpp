#include "core/thread_stop_win32.h"

void StopMessageLoopThread(HANDLE thread, DWORD threadId) {
    if (!thread) return;
    // Waiting between posts instead of polling the exit code keeps the stopping thread from
    // burning a processor while the other one finishes its last messages.
    constexpr DWORD kRepostInterval = 50;
    for (;;) {
        ::PostThreadMessageW(threadId, WM_QUIT, 0, 0);
        if (::WaitForSingleObject(thread, kRepostInterval) != WAIT_TIMEOUT) return;
    }
}
