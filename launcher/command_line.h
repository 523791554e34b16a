#pragma once

#include <string>
#include <string_view>
#include <vector>

/// The program arguments of a process command line: trimmed, split with SplitArguments,
/// the program path (first item) removed.
std::vector<std::wstring> ParseCommandLine(std::wstring_view commandLine);

/// True when an argument is exactly "-nosplash" or "/nosplash".
bool HasSplashSwitch(const std::vector<std::wstring>& arguments);
