#pragma once

#include <string>
#include <string_view>
#include <vector>

/// The program arguments of a process command line, as a C program's argv[1..] holds them:
/// the program path skipped, the rest split with SplitArguments.
std::vector<std::wstring> ParseCommandLine(std::wstring_view commandLine);

/// True when an argument is exactly "-nosplash" or "/nosplash".
bool HasSplashSwitch(const std::vector<std::wstring>& arguments);
