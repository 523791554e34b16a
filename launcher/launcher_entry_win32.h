#pragma once

class LaunchSequence;

/// Everything the entry point does with its launcher, in order: the DLL search order first,
/// the hand-over mark, the message queue, then Initialize and Run. An empty
/// `launcher.CommandLine` is filled from the process. Returns the process exit code.
int RunLauncherEntry(LaunchSequence& launcher);
