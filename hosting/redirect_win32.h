#pragma once

class Launcher;

/// Replaces System.out and System.err by streams writing to OutputFile and ErrorFile (time
/// patterns in the names expanded first). Runs on the VM thread right after the VM is
/// created; its failures never fail the launch.
void RedirectOutputStreams(Launcher& launcher);
