#pragma once

#include <windows.h>

#include <string>
#include <vector>

class Launcher;

/// Decides between primary and second instance. A primary publishes the shared block and
/// starts its listener; a second instance checks that the block is its user's and that the
/// recorded primary runs this executable (otherwise it runs as an instance of its own) and
/// that its arguments fit (the hand-over happens in WaitForPrimaryInstance). False ends the
/// launch with -1.
bool InitSingleInstance(Launcher& launcher);
/// A second instance hands its arguments to the primary and returns its exit code: the
/// primary's reply, the primary's exit code when it ended first (-1 when that cannot be
/// read), 0 when the primary process cannot be opened, -1 when the hand-over fails.
int WaitForPrimaryInstance(Launcher& launcher);
/// Stops the listener, cuts waiting workers loose from the launcher and releases the block.
void ShutdownSingleInstance(Launcher& launcher);
/// Clears `JavaVmPointer` after DestroyJavaVM has returned, under the lock through which
/// hand-over workers read it.
void ForgetVm(Launcher& launcher);
/// Leaves the protocol before this process stops serving it (a hand-over to the pair
/// product): the block goes, so the next start becomes a primary instead of waiting on a
/// process that will never call main.
void LeaveSingleInstance(Launcher& launcher);

/// The primary's listener thread: copies each forwarded argument list and starts a worker
/// for it. Argument: the Launcher. Exit code 0.
DWORD WINAPI InstanceListener(void* launcher);
/// One hand-over: waits for main to start, then calls secondaryMain and answers the second
/// instance. Argument: a heap record that the worker frees. Exit code 0, or 1 on failure.
DWORD WINAPI SecondaryMainWorker(void* record);

/// The arguments in the launcher's shared block (a snapshot of it is parsed).
bool ReadForwardedArguments(const Launcher& launcher, std::vector<std::wstring>& arguments);
