#pragma once

#include <string>
#include <vector>

#include "options/directory_lister_win32.h"

class Launcher;
class LayeredSettingsStore;

/// The class path text from key "Class Path" of section "Class Path": every entry expanded,
/// relative entries anchored at the launcher's folder, searched entries replaced by their
/// matches, each followed by ";". Empty when nothing survives or the folder is unknown.
/// Entries that matched no file go to `unmatched` when it is given.
std::wstring AssembleClassPath(const Launcher& launcher, LayeredSettingsStore& store,
                               std::vector<std::wstring>* unmatched = nullptr);

/// The module path from key "Module Path" of section "Java Runtime Environment", assembled
/// by the same rules as the class path, without the final ";". Empty when nothing survives.
std::wstring AssembleModulePath(const Launcher& launcher, LayeredSettingsStore& store);
