#include "options/vm_options_win32.h"

#include "core/launcher_win32.h"
#include "core/text_win32.h"

bool AssembleVmOptions(Launcher& launcher) { return true; }

void AddVmOption(Launcher& launcher, std::wstring_view option) {
    launcher.VmOptions.push_back(ToThreadAnsi(option));
}
