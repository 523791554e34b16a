// The launcher with a scripted folder picker: each Browse press in the missing-runtime
// dialog answers with the next folder of VMBOOT_TEST_PICKED_FOLDERS (";"-separated, "-" for
// a cancelled pick). A test program only: the shipped launcher always uses the shell's picker.
#include <windows.h>

#include <deque>
#include <exception>

#include "launcher/command_line_win32.h"
#include "launcher/launch_sequence_win32.h"
#include "core/path_utils.h"
#include "scripted_picker.h"

namespace {
std::deque<std::wstring> PickedFolders() {
    std::wstring value(32768, L'\0');
    DWORD length = ::GetEnvironmentVariableW(L"VMBOOT_TEST_PICKED_FOLDERS", value.data(),
                                             static_cast<DWORD>(value.size()));
    if (length == 0 || length >= value.size()) return {};
    value.resize(length);
    std::deque<std::wstring> folders;
    for (std::wstring& item : SplitList(value, L";")) folders.push_back(std::move(item));
    return folders;
}
}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    int exitCode = -1;
    try {
        ScriptedFolderPicker picker(PickedFolders());
        LaunchSequence launcher;
        launcher.RuntimeFolderPicker = &picker;
        launcher.CommandLine = ProcessCommandLine();
        ::DefWindowProcW(nullptr, WM_NULL, 0, 0);
        MSG message;
        ::PeekMessageW(&message, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
        exitCode = launcher.Initialize() ? launcher.Run() : -1;
    } catch (const std::exception&) {
        exitCode = -1;
    }
    return exitCode;
}
