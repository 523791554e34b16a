#pragma once

#include <windows.h>

#include <jni.h>

#include <atomic>
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "core/decision_log.h"
#include "core/pending_splash_close.h"
#include "core/unique_handle_win32.h"
#include "core/option_text.h"
#include "core/runtime_criteria.h"
#include "core/seen_runtime.h"

class FolderPicker;
class SplashWindow;
struct InstanceBlock;
struct InstanceSession;

using CreateJavaVmFunction = jint(JNICALL*)(JavaVM**, void**, void*);
using GetDefaultJavaVmInitArgsFunction = jint(JNICALL*)(void*);
using FindClassFromBootLoaderFunction = jclass(JNICALL*)(JNIEnv*, const char*);

/// The state of one launch. Created on the entry thread's stack; every stage reads and
/// writes its fields. No lock guards it: each field is written before the thread that
/// reads it starts, or only by the one thread that owns it. The sequence that drives the
/// stages is LaunchSequence (launcher/); construction and teardown are defined there, since
/// teardown stops what the stages started.
class Launcher {
public:
    Launcher();
    ~Launcher();
    Launcher(const Launcher&) = delete;
    Launcher& operator=(const Launcher&) = delete;

    // Splash.
    UniqueHandle SplashThread;
    DWORD SplashThreadId = 0;
    std::wstring SplashImagePath;
    std::wstring SplashShadowText;
    /// The image window stays when the application's first window appears.
    bool SplashKept = false;
    std::unique_ptr<SplashWindow> SplashWindowObject;
    /// Owner of every message box: the image splash window while it exists.
    std::atomic<HWND> OwnerWindow{nullptr};

    // Runtime choice.
    RuntimeSearchCriteria Criteria;
    std::wstring VmLibraryPath;
    std::wstring JrePath;
    /// "JRE Path" had a value (an empty one still probes the launcher folder).
    bool JrePathConfigured = false;
    /// The folder the user picked in the missing-runtime dialog, from the per-user file;
    /// empty when there is none. Tried before JrePath, and only while it still fits.
    std::wstring RememberedJrePath;
    std::wstring PairProduct;
    /// Every runtime the search looked at, in order, with why it was not taken: the
    /// missing-runtime dialog's details and the diagnostics tool's report.
    std::vector<SeenRuntime> RuntimesSeen;
    /// Asks for a runtime folder in the missing-runtime dialog; null = the shell's picker.
    /// Only test programs set it.
    FolderPicker* RuntimeFolderPicker = nullptr;

    // Virtual machine.
    JavaVM* JavaVmPointer = nullptr;
    JNIEnv* JniEnvPointer = nullptr;
    CreateJavaVmFunction CreateJavaVm = nullptr;
    GetDefaultJavaVmInitArgsFunction GetDefaultJavaVmInitArgs = nullptr;
    FindClassFromBootLoaderFunction FindClassFromBootLoader = nullptr;
    std::wstring MainClassName;
    /// "Main Module" as configured ("module" or "module/class"); empty for a class-path
    /// application. With it, the main class is loaded in module mode.
    std::wstring MainModule;
    /// Stack size in bytes of the thread that creates the VM; 0 = not known.
    std::size_t VmThreadStackSize = 0;
    /// The VM thread stays parked after main returns: set by the configuration when IBM
    /// runtimes are allowed, kept by the runtime search only for a runtime from IBM's own
    /// registry root in the windowed build.
    bool KeepVmThreadParked = false;
    /// main ended with an exception that did not stop the VM; written by the VM thread
    /// before it ends.
    bool MainEndedWithException = false;

    // Options.
    std::vector<std::string> VmOptions;
    std::wstring LibraryPath;
    std::wstring SystemPath;
    std::wstring OutputFile;
    std::wstring ErrorFile;
    bool OutputAppend = false;
    bool ErrorAppend = false;
    std::wstring CmdValue;
    /// Paths replaced by short names, and texts the code page could not carry.
    OptionTextNotes OptionText;
    /// "Class Data Sharing": archives of loaded classes are kept and mapped where the runtime
    /// supports them.
    bool ClassDataSharing = true;
    /// Options of the java command in "Virtual Machine Parameters", done as java does them:
    /// the runtime's version ("-showversion" on standard error, "--show-version" on standard
    /// output) and the settings ("-XshowSettings[:...]" as written) printed before main; the
    /// main class loaded but not run ("--dry-run"); "-splash:" in place of "Splash Screen".
    bool ShowVersion = false;
    bool ShowVersionOnStdout = false;
    std::wstring ShowSettingsOption;
    bool LoadMainClassOnly = false;
    std::wstring SplashImageOption;

    // Arguments.
    std::vector<std::wstring> ApplicationArguments;

    // Product information.
    std::wstring ProductName;
    std::wstring ProductCode;

    // Application type.
    bool IsServiceApplication = false;
    bool FailureCheck = false;
    bool OverrideWorkingDir = false;
    bool PairReturnCode = false;

    // Single instance.
    bool SingleInstanceEnabled = false;
    bool IsPrimaryInstance = false;
    UniqueHandle InstanceMapping;
    UniqueMappedView InstanceView;
    UniqueHandle InstanceListenerThread;
    UniqueHandle MainStartedEvent;
    /// Names, message identifiers and the state the listener shares with its workers.
    std::shared_ptr<InstanceSession> InstanceSessionState;
    /// The Java thread that runs main (a global reference, set just before main is called),
    /// and whether main has returned: a second start is served only once main runs.
    jobject MainJavaThread = nullptr;
    std::atomic<bool> MainReturned{false};

    bool LaunchPairFlag = false;
    /// This process was started by a launcher's hand-over to its pair product (the mark is
    /// taken out of the environment at start, so the application's own children lack it).
    bool ArrivedByHandOver = false;
    PendingSplashClose PendingSplashCloseAction;

    /// The process command line (GetCommandLineW), set by the entry point; the diagnostics
    /// tool sets the command line it explains instead.
    std::wstring CommandLine;
    /// The executable whose configuration is read; empty = this process's own module. Set
    /// only by the diagnostics tool, which explains another launcher.
    std::wstring ExecutablePathOverride;

    /// The console build: messages go to standard error, no splash and no dialog; an
    /// uncaught exception from main ends the process with 1, as the java command does.
    bool Console = false;

    // Diagnostics: a dry run shows no dialog, writes nothing and creates no VM; decisions go
    // to the attached log.
    DecisionLog* Decisions = nullptr;
    bool DryRun = false;

    /// The block view as the shared layout.
    InstanceBlock* Block() const { return static_cast<InstanceBlock*>(InstanceView.get()); }
};
