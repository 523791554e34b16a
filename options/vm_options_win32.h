#pragma once

#include <cstddef>
#include <string_view>

#include "options/memory_options.h"

class Launcher;

/// Builds VmOptions (class path, the user's parameters) and reads the output, error and
/// "Cmd" settings. False when the class path is empty (message 209) or unreadable.
bool AssembleVmOptions(Launcher& launcher);
/// Converts an option to the thread's ANSI code page and appends it to VmOptions.
void AddVmOption(Launcher& launcher, std::wstring_view option);
/// Total physical memory and available virtual address space (GlobalMemoryStatus).
MemoryAmounts<std::size_t> QuerySystemMemory();
