#include "launcher/launch_sequence_win32.h"

#include <exception>

#include "config/configuration_win32.h"
#include "core/entry_win32.h"
#include "core/messages_win32.h"
#include "core/system_library_win32.h"
#include "discovery/discovery_win32.h"
#include "hosting/redirect_win32.h"
#include "hosting/vm_win32.h"
#include "instance/single_instance_win32.h"
#include "launcher/command_line.h"
#include "options/class_sharing_win32.h"
#include "options/environment_win32.h"
#include "options/vm_options_win32.h"
#include "resources/resource_ids.h"
#include "splash/splash_win32.h"
#include "splash/splash_window_win32.h"

namespace {

// DestroyJavaVM waits for the program's last non-daemon thread (a Swing application's main
// returns at once). Until then the program is running, and second starts must still reach
// secondaryMain, so the VM stays reachable for the hand-over workers while it waits.
void DestroyAndForgetVm(Launcher& launcher) {
    DestroyVm(launcher);
    ForgetVm(launcher);
}

}  // namespace

Launcher::Launcher() = default;

Launcher::~Launcher() {
    CloseSplashWindow(*this);
    DestroyAndForgetVm(*this);
    ShutdownSingleInstance(*this);
    MainStartedEvent.reset();
    PendingSplashCloseAction.Invoke();
}

bool LaunchSequence::Initialize() {
    ApplicationArguments = ParseCommandLine(CommandLine);
    if (!ReadConfiguration(*this)) return false;
    if (!InitSingleInstance(*this)) return false;
    // A second instance only forwards its arguments; it needs no runtime.
    if (SingleInstanceEnabled && !IsPrimaryInstance) return true;
    return PrepareRuntime();
}

bool LaunchSequence::PrepareRuntime() {
    if (OverrideWorkingDir) SetWorkingDirectoryToLauncherFolder(*this);
    // "-server" among the parameters takes part in the search.
    ReadJavaLauncherOptions(*this);
    return DiscoverRuntime(*this);
}

int LaunchSequence::Run() {
    if (SingleInstanceEnabled && !IsPrimaryInstance) {
        int exitCode = 0;
        if (WaitForPrimaryInstance(*this, exitCode)) return exitCode;
        // The primary left without serving this start: it runs the program itself.
        if (!PrepareRuntime()) return -1;
    }
    if (LaunchPairFlag) return LaunchPairProduct();
    return RunInProcess();
}

int LaunchSequence::LaunchPairProduct() {
    // A relative name is the pair product beside this launcher, wherever the user started it.
    std::wstring pairPath = PairProductPath(*this);
    NoteDecision(Decisions, "run", "hand-over", {{"pairProduct", PairProduct}, {"path", pairPath}});
    if (DryRun) return PairReturnCode ? -1 : 0;
    // This process will never call main: later starts must not queue up behind it.
    LeaveSingleInstance(*this);
    // A pair product that leads back here (this very executable, or a pair whose own
    // hand-over comes back) would start processes without end: one hand-over per chain.
    std::wstring self;
    if (ArrivedByHandOver || (ModulePath(*this, self) && IsSameFile(self, pairPath))) {
        NoteDecision(Decisions, "run", "hand-over-refused",
                     {{"reason", ArrivedByHandOver ? L"started by a hand-over"
                                                   : L"the pair product is this launcher"}});
        ReportLaunchWindowsError(*this, IDS_PAIR_PRODUCT_FAILED, ERROR_CIRCULAR_DEPENDENCY);
        return -1;
    }
    if (!self.empty()) ::SetEnvironmentVariableW(kHandOverMarkVariable, self.c_str());
    std::wstring commandLine = CommandLine;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(pairPath.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                          nullptr, &startup, &process)) {
        // Reporting success here would hide a launch that never happened.
        ReportLaunchWindowsError(*this, IDS_PAIR_PRODUCT_FAILED, ::GetLastError());
        return -1;
    }
    UniqueHandle processHandle(process.hProcess);
    UniqueHandle threadHandle(process.hThread);
    if (!PairReturnCode) return 0;
    ::WaitForSingleObject(processHandle.get(), INFINITE);
    DWORD exitCode = 0;
    if (!::GetExitCodeProcess(processHandle.get(), &exitCode)) return -1;
    return static_cast<int>(exitCode);
}

int LaunchSequence::RunInProcess() {
    SetupLibraryPathAndEnvironment(*this);
    if (Console) {
        NoteDecision(Decisions, "splash", "skipped", {{"reason", L"console build"}});
    } else if (!HasSplashSwitch(ApplicationArguments)) {
        if (!StartSplash(*this)) return 0;
    } else {
        NoteDecision(Decisions, "splash", "skipped",
                     {{"reason", L"-nosplash or /nosplash argument"}});
    }
    if (DryRun) {
        // Explaining a launch: the options are assembled as for real, nothing is loaded.
        NoteDecision(Decisions, "hosting", "would-load",
                     {{"library", VmLibraryPath}, {"loadPath", VmLibraryLoadPath(*this, VmLibraryPath)}});
        CheckModuleSupport(*this);
        if (!AssembleVmOptions(*this)) return -1;
        if (!CheckOptionText(*this)) return -1;
        PrepareClassSharing(*this);
        NoteDecision(Decisions, "run", "in-process", {{"mainClass", MainClassName}});
        return 0;
    }
    if (!LoadVmLibrary(*this, VmLibraryPath)) return -1;
    if (!CheckModuleSupport(*this)) return -1;
    // A class path the VM would read with "?" in it cannot work; say so before creating it.
    if (!AssembleVmOptions(*this) || !CheckOptionText(*this)) {
        PendingSplashCloseAction.Invoke();
        return -1;
    }
    PrepareClassSharing(*this);
    // After the VM library, whose C runtime is then loaded, and before the VM writes anything.
    RedirectProcessOutput(*this);
    if (VmThreadStackSize == 0) QueryDefaultStackSize(*this);

    DWORD result = 1;
    // The size is a reservation, as for any Java thread: committing a large -Xss up front
    // would fail where reserving it succeeds.
    UniqueHandle vmThread(::CreateThread(nullptr, VmThreadStackSize, RunVmThread, static_cast<Launcher*>(this),
                                         STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr));
    if (vmThread) {
        ::WaitForSingleObject(vmThread.get(), INFINITE);
        if (!::GetExitCodeThread(vmThread.get(), &result)) result = 1;
    } else {
        bool ok = CreateVm(*this) && InvokeMainClass(*this);
        if (ok && IsServiceApplication) DestroyAndForgetVm(*this);
        result = ok ? 0 : 1;
    }
    // As the java command does: a main that ended with an uncaught exception makes the
    // process end with 1, after the destructor has waited for the program's other threads.
    if (result == 0) return MainEndedWithException ? 1 : 0;
    PendingSplashCloseAction.Invoke();
    return -1;
}

DWORD WINAPI RunVmThread(void* parameter) {
    auto& launcher = *static_cast<Launcher*>(parameter);
    // An error escaping a thread routine would abort the process with the C runtime's own
    // code; on this thread, as on the entry thread, it ends the launch as a failure.
    try {
        if (!CreateVm(launcher)) return 1;
        if (!InvokeMainClass(launcher)) return 1;
        if (launcher.IsServiceApplication) DestroyAndForgetVm(launcher);
        return 0;
    } catch (const std::exception&) {
        return 1;
    }
}
