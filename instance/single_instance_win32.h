#pragma once

#include <windows.h>

class Launcher;

/// Decides between primary and second instance. The first start to claim the shared block
/// (a new one, or one whose primary has ended or left) becomes the primary: it publishes
/// itself and starts its listener. Any other start checks that the block is its user's and
/// waits until the claiming primary has published its listener; its arguments must fit
/// (the hand-over happens in WaitForPrimaryInstance). False ends the launch with -1.
bool InitSingleInstance(Launcher& launcher);
/// A second instance hands its arguments to the primary. True with `exitCode` set to the
/// primary's reply (-1 when the hand-over fails); false when this start has become the
/// primary itself (its primary ended or left the protocol without serving it) or runs on
/// its own: the launch then goes on as for a first start.
bool WaitForPrimaryInstance(Launcher& launcher, int& exitCode);
/// Stops the listener, cuts waiting workers loose from the launcher and releases the block.
void ShutdownSingleInstance(Launcher& launcher);
/// Clears `JavaVmPointer` after DestroyJavaVM has returned, under the lock through which
/// hand-over workers read it.
void ForgetVm(Launcher& launcher);
/// Leaves the protocol before this process stops serving it (a hand-over to the pair
/// product): the block goes, so the next start becomes a primary instead of waiting on a
/// process that will never call main.
void LeaveSingleInstance(Launcher& launcher);
