#pragma once

#include <windows.h>

#include <jni.h>

#include <string>
#include <string_view>

#include "core/unique_handle_win32.h"

class Launcher;

/// Expands the date/time patterns of OutputFile and ErrorFile with one local time and points
/// the process's standard output and error handles, and descriptors 1 and 2 (with their
/// streams) of every C runtime loaded, at the files. Runs after the VM library is loaded and
/// before the VM is created: its warnings, -Xlog output and native code write to the files.
/// A file that cannot be opened leaves its stream as it was.
void RedirectProcessOutput(Launcher& launcher);

/// Points System.out and System.err at OutputFile and ErrorFile (when set; names already
/// expanded by RedirectProcessOutput). Runs on the VM thread right after the VM is created.
/// A stream that cannot be redirected stays as the VM made it (the Java exception is
/// printed); the launch always goes on.
void RedirectOutputStreams(Launcher& launcher);

/// Makes `file` the process's standard handle `which` (STD_OUTPUT_HANDLE or
/// STD_ERROR_HANDLE) and the target of descriptor `descriptor` (1 or 2) in every C runtime
/// the process has loaded. The process keeps the handle until it ends.
void UseAsStandardHandle(UniqueFileHandle file, DWORD which, int descriptor);

/// 1 when `stream` is standard output of one of the C runtimes loaded, 2 when it is standard
/// error, 0 for another stream (the VM names its streams by its runtime's FILE records).
int CRuntimeStandardStream(const void* stream);

/// Writes `text` to another stream of the VM's C runtime (a log file of -Xlog), with that
/// runtime's own fwrite; false when the runtime is not known.
bool WriteToVmStream(void* stream, std::string_view text);

/// Expands the %...% date/time pattern of a file name in place with the given local time.
/// Results of any length are kept whole.
void ExpandTimePattern(std::wstring& name, const SYSTEMTIME& time);

/// Replaces System.out or System.err (`setter` "setOut" or "setErr") by a PrintStream on
/// the file, creating its missing folders first. False with the Java exception pending when
/// the file cannot be opened or a class or method is missing.
bool RedirectStream(JNIEnv* env, const std::wstring& fileName, bool append, const char* setter);

/// Why an output or error file could not be opened, without creating or changing anything:
/// the name is a folder, a folder on its way is a file, or the file or the nearest existing
/// folder cannot be written. Empty when nothing stands in the way that can be seen
/// beforehand.
std::wstring OutputFileProblem(const std::wstring& fileName);

/// True when two output names lead to one file: the same full path (letter case aside), or
/// two existing names of one file.
bool NameTheSameFile(const std::wstring& first, const std::wstring& second);
