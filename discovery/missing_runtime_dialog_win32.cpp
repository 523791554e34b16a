#include "discovery/missing_runtime_dialog_win32.h"

#include "core/launcher_win32.h"

// Placeholder until the dialog exists: behaves as a cancelled dialog.
bool RunMissingRuntimeDialog(Launcher& launcher, const std::wstring& message,
                             std::wstring& chosenFolder, std::wstring& chosenLibrary) {
    return false;
}
