#pragma once

#include <cstddef>
#include <initializer_list>
#include <string_view>
#include <utility>

#include "options/memory_options.h"
#include "core/option_text.h"

class Launcher;

/// Builds VmOptions (class path, the user's parameters) and reads the output, error and
/// "Cmd" settings. False when the class path is empty (message 209) or unreadable.
bool AssembleVmOptions(Launcher& launcher);
/// Reads the java command's own options from "Virtual Machine Parameters" before the runtime
/// is searched: "-server" prefers the server VM where "JVM Type" chooses none, "-splash:"
/// names the splash image, and the version, settings and dry-run requests are kept for the
/// VM thread. Each is noted as the decision "options/java-option".
void ReadJavaLauncherOptions(Launcher& launcher);
/// Converts an option to the thread's ANSI code page and appends it to VmOptions.
void AddVmOption(Launcher& launcher, std::wstring_view option);
/// Appends `prefix` and a ";"-separated list of paths built by the launcher: items the code
/// page cannot carry are passed by their short names, and losses are kept for
/// CheckOptionText.
void AddPathListOption(Launcher& launcher, std::wstring_view prefix,
                       std::initializer_list<std::pair<std::wstring_view, PathNeed>> lists);
/// Records every short-name substitution and loss; false after showing the message that a
/// needed path cannot be passed to the VM (the launch must stop before the VM is created).
bool CheckOptionText(Launcher& launcher);
/// Total physical memory and available virtual address space (GlobalMemoryStatus).
MemoryAmounts<std::size_t> QuerySystemMemory();
