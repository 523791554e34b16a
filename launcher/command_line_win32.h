#pragma once

#include <string>

/// The process command line as GetCommandLineW returns it; empty when there is none.
std::wstring ProcessCommandLine();
