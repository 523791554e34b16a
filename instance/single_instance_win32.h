#pragma once

class Launcher;

/// Decides between primary and second instance; a second instance forwards its arguments.
/// False ends the launch with -1.
bool InitSingleInstance(Launcher& launcher);
/// A second instance's exit code: the primary's reply, or its exit code when it ended.
int WaitForPrimaryInstance(Launcher& launcher);
/// Stops the listener and releases the shared block (teardown).
void ShutdownSingleInstance(Launcher& launcher);
