#pragma once

#include <windows.h>

#include <jni.h>

#include <string>

class Launcher;

/// Points System.out and System.err at OutputFile and ErrorFile (when set), after expanding
/// their date/time patterns with one local time. Runs on the VM thread right after the VM is
/// created. A stream that cannot be redirected stays as the VM made it (the Java exception
/// is printed); the launch always goes on.
void RedirectOutputStreams(Launcher& launcher);

/// Expands the %...% date/time pattern of a file name in place with the given local time.
/// Results of any length are kept whole.
void ExpandTimePattern(std::wstring& name, const SYSTEMTIME& time);

/// Replaces System.out or System.err (`setter` "setOut" or "setErr") by a PrintStream on
/// the file, creating its missing folders first. False with the Java exception pending when
/// the file cannot be opened or a class or method is missing.
bool RedirectStream(JNIEnv* env, const std::wstring& fileName, bool append, const char* setter);

/// True when two output names lead to one file: the same full path (letter case aside), or
/// two existing names of one file.
bool NameTheSameFile(const std::wstring& first, const std::wstring& second);
