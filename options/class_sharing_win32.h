#pragma once

class Launcher;

/// Adds the class-data-sharing options for this start, after AssembleVmOptions: with a valid
/// archive of this application the VM maps it; without one, the start records it when the
/// VM exits; without a base archive of the runtime, a hidden process of this executable makes
/// one and the start runs as before. Never fails the launch: whatever goes wrong costs only
/// the speed-up. A dry run reports the same decisions and changes nothing.
void PrepareClassSharing(Launcher& launcher);

/// Puts the archive this start recorded in place, if main was called, and clears the note of
/// the archive it mapped. The VM writes its archive as it exits, before it calls its exit hook
/// or returns from DestroyJavaVM, so both call this, as does the launcher's orderly end; later
/// calls do nothing.
void FinishClassSharingRecording();

/// The VM started with the recording options, or failed to: a VM that could not start while
/// recording (its base archive did not load with these options) leaves a mark, so that the
/// next start of these settings runs without recording. Called with `started` after
/// creation, and with false from the VM's abort hook, which matters only before that.
void NoteClassSharingStart(bool started);

/// The program's main is about to be called: the archive this start maps has served, and the
/// archive it records holds the program's classes.
void NoteClassSharingMainCalled();

/// The hidden process that makes a base archive: true when this process was started as one,
/// with `exitCode` its result. Called first by the entry point.
bool RunClassSharingDumpMode(int& exitCode);
