#pragma once

#include <string>

class Launcher;

/// Shows the missing-runtime dialog with `message` and lets the user pick a runtime folder
/// that holds a VM library for the launcher's JVM type. True on OK, with the folder (ending
/// in a backslash) and its VM library; false when the user cancels or closes it.
bool RunMissingRuntimeDialog(Launcher& launcher, const std::wstring& message,
                             std::wstring& chosenFolder, std::wstring& chosenLibrary);
