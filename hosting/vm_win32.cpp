#include "hosting/vm_win32.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "config/configuration.h"
#include "core/format.h"
#include "core/launcher_win32.h"
#include "core/messages_win32.h"
#include "core/resources_win32.h"
#include "core/scope_exit.h"
#include "core/text_win32.h"
#include "core/vm_hooks_win32.h"
#include "hosting/exception_dialog_win32.h"
#include "hosting/java_strings_win32.h"
#include "hosting/jni_init_args.h"
#include "hosting/local_ref.h"
#include "hosting/modified_utf8.h"
#include "hosting/redirect_win32.h"
#include "hosting/startup_capture_win32.h"
#include "options/class_sharing_win32.h"
#include "options/memory_options.h"
#include "options/option_text_win32.h"
#include "core/path_utils.h"
#include "core/path_utils_win32.h"
#include "resources/resource_ids.h"
#include "splash/splash_win32.h"

namespace {

constexpr const char* kMainDescriptor = "([Ljava/lang/String;)V";

/// LauncherHelper (into `helper`) and its checkAndLoadMain; null, with nothing left pending,
/// on a runtime without them.
jmethodID FindCheckAndLoadMain(const Launcher& launcher, JNIEnv* env, LocalRef<jclass>& helper) {
    if (!launcher.FindClassFromBootLoader) return nullptr;
    helper.reset(launcher.FindClassFromBootLoader(env, "sun/launcher/LauncherHelper"));
    jmethodID checkAndLoadMain =
        helper ? env->GetStaticMethodID(helper.get(), "checkAndLoadMain",
                                        "(ZILjava/lang/String;)Ljava/lang/Class;")
               : nullptr;
    // A runtime without the class or the method may leave the lookup failure pending.
    if (!checkAndLoadMain) env->ExceptionClear();
    return checkAndLoadMain;
}

/// The class named `MainClassName`, loaded the way the runtime's own launcher does it.
/// The size of the last "-Xms" or "-Xmx" option (`prefix`) given to the VM, in bytes; 0 = none,
/// as java reads them for its settings report.
jlong HeapSizeOption(const Launcher& launcher, std::string_view prefix) {
    jlong size = 0;
    for (const std::string& option : launcher.VmOptions) {
        if (!option.starts_with(prefix)) continue;
        std::wstring wide(option.begin(), option.end());
        size = static_cast<jlong>(ParseStackSize<std::uint64_t>(wide));
    }
    return size;
}

/// What "-XshowSettings" and "-showversion" print before main, through the runtime's own
/// code as java calls it, in java's order. False, with the exception described, when the
/// runtime's code throws (java then ends with 1).
bool PrintJavaLauncherReports(Launcher& launcher, JNIEnv* env) {
    if (!launcher.ShowSettingsOption.empty()) {
        LocalRef<jclass> helper(env, launcher.FindClassFromBootLoader(
                                         env, "sun/launcher/LauncherHelper"));
        jmethodID show = helper ? env->GetStaticMethodID(helper.get(), "showSettings",
                                                         "(ZLjava/lang/String;JJJ)V")
                                : nullptr;
        LocalRef<jstring> option(env, show ? NewJavaString(env, launcher.ShowSettingsOption)
                                           : nullptr);
        if (option) {
            // Always on standard error, as java prints it.
            env->CallStaticVoidMethod(helper.get(), show, static_cast<jboolean>(JNI_TRUE),
                                      option.get(), HeapSizeOption(launcher, "-Xms"),
                                      HeapSizeOption(launcher, "-Xmx"),
                                      static_cast<jlong>(launcher.VmThreadStackSize));
        }
        if (HasPendingException(env)) {
            env->ExceptionDescribe();
            return false;
        }
    }
    if (launcher.ShowVersion) {
        LocalRef<jclass> version(env,
                                 launcher.FindClassFromBootLoader(env, "java/lang/VersionProps"));
        jmethodID print = version ? env->GetStaticMethodID(version.get(), "print", "(Z)V")
                                  : nullptr;
        if (print) {
            env->CallStaticVoidMethod(version.get(), print,
                                      static_cast<jboolean>(!launcher.ShowVersionOnStdout));
        }
        if (HasPendingException(env)) {
            env->ExceptionDescribe();
            return false;
        }
    }
    return true;
}

jclass LoadThroughLauncherHelper(Launcher& launcher, JNIEnv* env) {
    LocalRef<jclass> helper(env, nullptr);
    jmethodID checkAndLoadMain = FindCheckAndLoadMain(launcher, env, helper);
    if (!checkAndLoadMain) return nullptr;
    std::wstring dotted = launcher.MainClassName;
    for (wchar_t& c : dotted) {
        if (c == L'/') c = L'.';
    }
    LocalRef<jstring> name(env, NewJavaString(env, dotted));
    if (!name) {
        env->ExceptionClear();
        return nullptr;
    }
    // true: LauncherHelper prints its own errors; 1: load by class name.
    auto mainClass = static_cast<jclass>(env->CallStaticObjectMethod(
        helper.get(), checkAndLoadMain, static_cast<jboolean>(JNI_TRUE), jint{1}, name.get()));
    if (!mainClass) {
        // Already reported on standard error by LauncherHelper; JNI calls made with an
        // exception pending are undefined, so the fallback starts clean.
        env->ExceptionClear();
    }
    return mainClass;
}

/// The class name of `type` in slash form, empty on any failure.
std::wstring SlashClassName(JNIEnv* env, jclass type) {
    LocalRef<jclass> classClass(env, env->GetObjectClass(type));
    jmethodID getName =
        classClass ? env->GetMethodID(classClass.get(), "getName", "()Ljava/lang/String;") : nullptr;
    if (!getName) {
        env->ExceptionClear();
        return {};
    }
    LocalRef<jstring> name(env, static_cast<jstring>(env->CallObjectMethod(type, getName)));
    const jchar* chars = name ? env->GetStringChars(name.get(), nullptr) : nullptr;
    if (!chars) {
        env->ExceptionClear();
        return {};
    }
    std::wstring result(reinterpret_cast<const wchar_t*>(chars),
                        static_cast<std::size_t>(env->GetStringLength(name.get())));
    env->ReleaseStringChars(name.get(), chars);
    for (wchar_t& c : result) {
        if (c == L'.') c = L'/';
    }
    return result;
}

/// The main class of the main module, through the runtime's launcher helper in module mode
/// (3), as the java command's "-m module[/class]" does. A runtime without module support
/// gets message 266; the helper reports its own failures on standard error. Null on failure.
jclass LoadModuleMainClass(Launcher& launcher, JNIEnv* env) {
    constexpr jint kModuleMode = 3;
    MainModuleSetting setting = ParseMainModule(launcher.MainModule);
    LocalRef<jclass> helper(env, nullptr);
    jmethodID checkAndLoadMain = FindCheckAndLoadMain(launcher, env, helper);
    // Runtimes before 9 have a helper too, but one that knows only classes and jars.
    LocalRef<jclass> moduleClass(env, checkAndLoadMain ? env->FindClass("java/lang/Module")
                                                       : nullptr);
    if (!moduleClass) {
        env->ExceptionClear();
        NoteDecision(launcher.Decisions, "hosting", "module-mode", {{"result", L"unsupported"}});
        ReportLaunchFormattedError(launcher, IDS_MODULE_NEEDS_JAVA9, setting.Module);
        return nullptr;
    }
    LocalRef<jstring> target(env, NewJavaString(env, ModuleLaunchTarget(setting)));
    if (!target) {
        ReportLaunchFormattedError(launcher, IDS_LOAD_MAIN_CLASS_FAILED, launcher.MainModule);
        return nullptr;
    }
    auto mainClass = static_cast<jclass>(env->CallStaticObjectMethod(
        helper.get(), checkAndLoadMain, static_cast<jboolean>(JNI_TRUE), kModuleMode,
        target.get()));
    if (!mainClass) {
        // The helper has printed what it could; anything still pending it left unreported.
        if (HasPendingException(env)) env->ExceptionDescribe();
        return nullptr;
    }
    // A second instance's arguments go to this class's secondaryMain.
    launcher.MainClassName = SlashClassName(env, mainClass);
    return mainClass;
}

/// The FindClass fallback; reports 211 or 215 itself. Null on failure.
jclass LoadThroughFindClass(Launcher& launcher, JNIEnv* env) {
    LocalRef<jstring> name(env, NewJavaString(env, launcher.MainClassName));
    if (!name) {
        ReportLaunchFormattedError(launcher, IDS_LOAD_MAIN_CLASS_FAILED, launcher.MainClassName);
        return nullptr;
    }
    const char* utf = env->GetStringUTFChars(name.get(), nullptr);
    if (!utf) {
        env->ExceptionDescribe();
        return nullptr;
    }
    auto releaseUtf = MakeScopeExit([&] { env->ReleaseStringUTFChars(name.get(), utf); });
    jclass mainClass = env->FindClass(utf);
    if (!mainClass) {
        env->ExceptionDescribe();
        std::u16string decoded = DecodeModifiedUtf8(utf);
        ReportLaunchFormattedError(launcher, IDS_MAIN_CLASS_NOT_FOUND,
                                   std::wstring(decoded.begin(), decoded.end()));
    }
    return mainClass;
}

/// Hands `uncaught` (already cleared) to the current thread's uncaught-exception handler,
/// as the VM does when a thread ends; the application's own handler, if it set one, sees
/// it. False when the handler could not be reached.
bool DispatchToUncaughtHandler(JNIEnv* env, jthrowable uncaught) {
    LocalRef<jclass> threadClass(env, env->FindClass("java/lang/Thread"));
    if (!threadClass) return false;
    jmethodID currentThread =
        env->GetStaticMethodID(threadClass.get(), "currentThread", "()Ljava/lang/Thread;");
    jmethodID getHandler =
        currentThread ? env->GetMethodID(threadClass.get(), "getUncaughtExceptionHandler",
                                         "()Ljava/lang/Thread$UncaughtExceptionHandler;")
                      : nullptr;
    if (!getHandler) return false;
    LocalRef<jobject> thread(env, env->CallStaticObjectMethod(threadClass.get(), currentThread));
    if (!thread) return false;
    LocalRef<jobject> handler(env, env->CallObjectMethod(thread.get(), getHandler));
    if (!handler) return false;
    LocalRef<jclass> handlerClass(env, env->GetObjectClass(handler.get()));
    jmethodID uncaughtException =
        handlerClass ? env->GetMethodID(handlerClass.get(), "uncaughtException",
                                        "(Ljava/lang/Thread;Ljava/lang/Throwable;)V")
                     : nullptr;
    if (!uncaughtException) return false;
    env->CallVoidMethod(handler.get(), uncaughtException, thread.get(), uncaught);
    // As at a thread's end, whatever the handler itself throws is dropped.
    env->ExceptionClear();
    return true;
}

/// Closing the console (or shutting down) ends the process as soon as a handler returns, so
/// the VM's own handler, which only raises a signal, leaves its shutdown hooks no time.
/// Called before the VM's handler; System.exit runs the hooks and does not return. Ctrl+C
/// and Ctrl+Break stay with the VM.
BOOL WINAPI ConsoleCloseHandler(DWORD event) {
    if (event != CTRL_CLOSE_EVENT && event != CTRL_SHUTDOWN_EVENT) return FALSE;
    JavaVM* vm = g_vmHooks.consoleVm.load();
    JNIEnv* env = nullptr;
    if (!vm || vm->AttachCurrentThread(reinterpret_cast<void**>(&env), nullptr) != JNI_OK)
        return FALSE;
    LocalRef<jclass> system(env, env->FindClass("java/lang/System"));
    jmethodID exit = system ? env->GetStaticMethodID(system.get(), "exit", "(I)V") : nullptr;
    // 143: what the java command ends with on the same event (128 + SIGTERM).
    if (exit) env->CallStaticVoidMethod(system.get(), exit, jint{143});
    env->ExceptionClear();
    return FALSE;
}

void InstallConsoleCloseHandler(JavaVM* vm) {
    JavaVM* none = nullptr;
    if (g_vmHooks.consoleVm.compare_exchange_strong(none, vm)) {
        ::SetConsoleCtrlHandler(ConsoleCloseHandler, TRUE);
    }
}

/// The main thread as a Java object, for hand-over workers that wait until main runs.
void RecordMainThread(Launcher& launcher, JNIEnv* env) {
    LocalRef<jclass> threadClass(env, env->FindClass("java/lang/Thread"));
    jmethodID currentThread =
        threadClass ? env->GetStaticMethodID(threadClass.get(), "currentThread",
                                             "()Ljava/lang/Thread;")
                    : nullptr;
    LocalRef<jobject> thread(env, currentThread ? env->CallStaticObjectMethod(
                                                      threadClass.get(), currentThread)
                                                : nullptr);
    if (thread) launcher.MainJavaThread = env->NewGlobalRef(thread.get());
    env->ExceptionClear();
}

/// System.err.flush(), whatever stream the program has put there; leaves nothing pending.
void FlushSystemErr(JNIEnv* env) {
    LocalRef<jclass> system(env, env->FindClass("java/lang/System"));
    jfieldID errField =
        system ? env->GetStaticFieldID(system.get(), "err", "Ljava/io/PrintStream;") : nullptr;
    LocalRef<jobject> err(env, errField ? env->GetStaticObjectField(system.get(), errField)
                                        : nullptr);
    LocalRef<jclass> streamClass(env, err ? env->GetObjectClass(err.get()) : nullptr);
    jmethodID flush = streamClass ? env->GetMethodID(streamClass.get(), "flush", "()V") : nullptr;
    if (flush) env->CallVoidMethod(err.get(), flush);
    env->ExceptionClear();
}

/// Main's class could not be initialised: its static initialiser threw (an
/// ExceptionInInitializerError is pending) or failed before. As java does, the trace goes
/// to System.err, and so into an "Error File"; that comes first, so that the file holds it
/// even when the process is ended while a dialog is up. The windowed build has no console
/// to show it on: the exception dialog with "Failure Check", else the error dialog with
/// the trace, as for a main class that cannot be loaded. Nothing stays pending.
/// True when the pending exception is an instance of `className`; it stays pending.
bool PendingExceptionIs(JNIEnv* env, const char* className) {
    LocalRef<jthrowable> thrown(env, env->ExceptionOccurred());
    if (!thrown) return false;
    env->ExceptionClear();
    LocalRef<jclass> type(env, env->FindClass(className));
    bool is = type && env->IsInstanceOf(thrown.get(), type.get());
    env->ExceptionClear();
    env->Throw(thrown.get());
    return is;
}

void ReportFailedInitialisation(Launcher& launcher, JNIEnv* env) {
    LocalRef<jthrowable> thrown(env, env->ExceptionOccurred());
    std::wstring trace =
        launcher.Console ? std::wstring() : CaptureStackTrace(launcher, thrown.get(), env);
    NoteDecision(launcher.Decisions, "hosting", "main-class-initialisation",
                 {{"result", L"failed"}, {"trace", trace}});
    env->ExceptionDescribe();
    FlushSystemErr(env);
    // The VM's part of that line ("Exception in thread ...") would otherwise be kept for
    // the exit hook, which would show it again after the dialog below.
    TakeVmMessages();
    if (launcher.Console || trace.empty()) return;
    CloseSplashWindow(launcher);
    launcher.PendingSplashCloseAction.Invoke();
    if (launcher.FailureCheck) {
        // Stop ends the program's threads too; either answer ends the launch with java's 1.
        if (ReportUncaughtException(launcher, thrown.get(), env)) CallSystemExit(env, 1);
        env->ExceptionClear();
        return;
    }
    while (!trace.empty() && (trace.back() == L'\n' || trace.back() == L'\r')) trace.pop_back();
    ReportLaunchError(launcher, L"Exception in thread \"main\" " + trace);
}

/// The VM thread once main (or its class) is done: parked for good where the runtime needs
/// it, else detached, which lets DestroyJavaVM go on.
bool DetachAfterMain(const Launcher& launcher, JavaVM* vm) {
    if (launcher.KeepVmThreadParked) {
        for (;;) ::Sleep(INFINITE);
    }
    return vm->DetachCurrentThread() == JNI_OK;
}

}  // namespace

void ReportUncaughtOnThisThread(JNIEnv* env, jthrowable uncaught) {
    env->ExceptionClear();
    if (!DispatchToUncaughtHandler(env, uncaught)) {
        env->ExceptionClear();
        env->Throw(uncaught);
        env->ExceptionDescribe();
    }
    FlushSystemErr(env);
}

HMODULE LoadVmLibraryModule(const std::wstring& path, const std::wstring& dependencyFolder,
                            AddDllDirectoryFunction addDllDirectory) {
    if (addDllDirectory) {
        // Never removed: the library and its dependencies stay loaded until the process ends.
        addDllDirectory(ToLongPathForm(dependencyFolder).c_str());
        // A runtime deep in the file system: the long form from 260 characters on.
        HMODULE module = ::LoadLibraryExW(ToLongPathForm(path).c_str(), nullptr,
                                          LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);
        if (module || ::GetLastError() != ERROR_INVALID_PARAMETER) return module;
    }
    // Systems without the search-directory update: the library's own folder comes first,
    // and the runtime's bin folder is on "Path" by now.
    return ::LoadLibraryExW(ToLongPathForm(path).c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

std::wstring VmLibraryLoadPath(const Launcher& launcher, const std::wstring& path) {
    // The VM finds its home from its own module name through ANSI calls, so a folder the
    // code page cannot carry is loaded by its short name when it has one.
    Win32OptionTextCodec codec;
    OptionTextNotes notes;
    EncodePath(path, PathNeed::Optional, codec, notes);
    if (notes.Substituted.empty()) return path;
    NoteDecision(launcher.Decisions, "hosting", "short-name",
                 {{"path", path}, {"shortPath", notes.Substituted.front().second}});
    return notes.Substituted.front().second;
}

bool LoadVmLibrary(Launcher& launcher, const std::wstring& path) {
    std::wstring binFolder = StripPathLevels(path, 2);
    AddDllDirectoryFunction addDllDirectory = ResolveAddDllDirectory();
    NoteDecision(launcher.Decisions, "hosting", "load-library",
                 {{"path", path},
                  {"dependencyFolder", binFolder},
                  {"searchMode", addDllDirectory ? L"default-dirs" : L"altered-search-path"}});
    // The runtime's bin folder takes the place the current directory had in the search
    // order: the libraries the runtime loads later by name (awt, net, the application's JNI
    // libraries) find their dependencies there, never in a document's folder.
    ::SetDllDirectoryW(binFolder.c_str());
    std::wstring loadPath = VmLibraryLoadPath(launcher, path);
    UniqueHModule module(LoadVmLibraryModule(loadPath, binFolder, addDllDirectory));
    if (!module) {
        DWORD error = ::GetLastError();
        ReportLaunchError(
            launcher,
            FormatTemplate(LoadResourceText(IDS_LOAD_VM_LIBRARY_FAILED),
                           {std::wstring_view(path),
                            static_cast<std::int64_t>(static_cast<std::int32_t>(error))}));
        return false;
    }
    auto create = GetProcAddressAs<CreateJavaVmFunction>(module.get(), "JNI_CreateJavaVM");
    DWORD error = ::GetLastError();
    auto defaults = create ? GetProcAddressAs<GetDefaultJavaVmInitArgsFunction>(
                                 module.get(), "JNI_GetDefaultJavaVMInitArgs")
                           : nullptr;
    if (create && !defaults) error = ::GetLastError();
    if (!create || !defaults) {
        ReportLaunchWindowsError(launcher, IDS_NO_CREATE_JAVA_VM, error);
        return false;
    }
    launcher.CreateJavaVm = create;
    launcher.GetDefaultJavaVmInitArgs = defaults;
    launcher.FindClassFromBootLoader = GetProcAddressAs<FindClassFromBootLoaderFunction>(
        module.get(), "JVM_FindClassFromBootLoader");
    NoteDecision(launcher.Decisions, "hosting", "entry-points",
                 {{"JVM_FindClassFromBootLoader",
                   launcher.FindClassFromBootLoader ? L"present" : L"absent"}});
    // The VM library is never unloaded.
    module.release();
    return true;
}

bool CheckModuleSupport(Launcher& launcher) {
    if (launcher.MainModule.empty()) return true;
    // bin\server\jvm.dll: three levels up is the runtime's home.
    std::wstring image = StripPathLevels(launcher.VmLibraryPath, 3);
    if (!image.empty() && image.back() != L'\\') image += L'\\';
    image += L"lib\\modules";
    bool present = PathExists(image);
    NoteDecision(launcher.Decisions, "hosting", "module-image",
                 {{"path", image}, {"present", present ? L"yes" : L"no"}});
    if (!present) {
        ReportLaunchFormattedError(launcher, IDS_MODULE_NEEDS_JAVA9,
                                   ParseMainModule(launcher.MainModule).Module);
    }
    return present;
}

void QueryDefaultStackSize(Launcher& launcher) {
    if (!launcher.GetDefaultJavaVmInitArgs) return;
    Jdk11InitArgs args{};
    args.version = kJniVersion11;
    // The result is not read: a VM may fill the record and still refuse the old version.
    launcher.GetDefaultJavaVmInitArgs(&args);
    if (args.javaStackSize > 0)
        launcher.VmThreadStackSize = static_cast<std::size_t>(args.javaStackSize);
    NoteDecision(launcher.Decisions, "hosting", "default-stack-size",
                 {{"javaStackSize", DecimalText(args.javaStackSize)}});
}

bool CreateVm(Launcher& launcher) {
    std::vector<JavaVMOption> options;
    options.reserve(launcher.VmOptions.size() + 3);
    // First: the VM reads its options in order and reports a bad one at once.
    options.push_back(
        JavaVMOption{const_cast<char*>("vfprintf"), reinterpret_cast<void*>(&VmPrintHook)});
    for (std::string& option : launcher.VmOptions) {
        options.push_back(JavaVMOption{option.data(), nullptr});
    }
    // The VM calls these before it exits or aborts the process itself: System.exit(n) so
    // ends the process with n; before main, the windowed build shows what the VM and the
    // launcher helper wrote.
    options.push_back(
        JavaVMOption{const_cast<char*>("abort"), reinterpret_cast<void*>(&StartupAbortHook)});
    options.push_back(JavaVMOption{const_cast<char*>("exit"), reinterpret_cast<void*>(&StartupExitHook)});

    if (launcher.Decisions) {
        std::vector<std::pair<std::string, std::wstring>> fields;
        for (const JavaVMOption& option : options) {
            fields.emplace_back("option", FromProcessAnsi(option.optionString));
        }
        launcher.Decisions->Record(Decision{"hosting", "vm-options", std::move(fields)});
    }
    if (launcher.DryRun) return true;
    if (!launcher.CreateJavaVm) return false;

    JavaVMInitArgs args{};
    args.version = JNI_VERSION_1_2;
    args.nOptions = static_cast<jint>(options.size());
    args.options = options.data();
    args.ignoreUnrecognized = JNI_FALSE;
    JavaVM* vm = nullptr;
    JNIEnv* env = nullptr;
    KeepVmMessages(launcher);
    jint result = launcher.CreateJavaVm(&vm, reinterpret_cast<void**>(&env), &args);
    NoteClassSharingStart(result == JNI_OK);
    if (result != JNI_OK) {
        // Whatever a failed creation left in the pointers is not a VM to destroy later.
        launcher.JavaVmPointer = nullptr;
        launcher.JniEnvPointer = nullptr;
        std::wstring message = JniErrorMessage(result);
        std::wstring printed = TakeVmMessages();
        if (!printed.empty()) message += L"\n" + printed;
        ReportLaunchError(launcher, message);
        return false;
    }
    launcher.JavaVmPointer = vm;
    launcher.JniEnvPointer = env;
    // Installed after the VM's own handler, so that it is asked first.
    if (launcher.Console) InstallConsoleCloseHandler(vm);
    RedirectOutputStreams(launcher);
    return true;
}

bool InvokeMainClass(Launcher& launcher) {
    NoteDecision(launcher.Decisions, "hosting", "main",
                 {{"class", launcher.MainClassName},
                  {"module", launcher.MainModule},
                  {"arguments", DecimalText(launcher.ApplicationArguments.size())}});
    if (launcher.DryRun) return true;
    JNIEnv* env = launcher.JniEnvPointer;
    JavaVM* vm = launcher.JavaVmPointer;
    if (!env || !vm) return false;

    // A thread that ends while still attached would keep DestroyJavaVM waiting for it for
    // ever, so every failure path detaches.
    auto detachOnFailure = MakeScopeExit([vm] { vm->DetachCurrentThread(); });

    if (!PrintJavaLauncherReports(launcher, env)) return false;
    LocalRef<jclass> mainClass(env, nullptr);
    {
        SystemErrCapture capture(launcher, env);
        mainClass.reset(launcher.MainModule.empty() ? LoadThroughLauncherHelper(launcher, env)
                                                    : LoadModuleMainClass(launcher, env));
    }
    if (!mainClass && !launcher.MainModule.empty()) return false;
    if (!mainClass) {
        mainClass.reset(LoadThroughFindClass(launcher, env));
        if (!mainClass) return false;
    }

    // Runs the class's static initialiser: the first Java code of the program's own.
    jmethodID main = env->GetStaticMethodID(mainClass.get(), "main", kMainDescriptor);
    if (!main && !HasPendingException(env)) {
        ReportLaunchError(launcher, IDS_NO_MAIN_METHOD);
        return false;
    }
    if (!main && PendingExceptionIs(env, "java/lang/NoSuchMethodError")) {
        // No main at all is the VM's own error, printed as java prints it; only a failing
        // initialiser is the program's and ends as its uncaught exceptions do.
        env->ExceptionDescribe();
        return false;
    }
    if (!main) {
        ReportFailedInitialisation(launcher, env);
        // As after main's uncaught exception: the process ends with 1 once the threads
        // the initialiser started are done.
        launcher.MainEndedWithException = true;
        mainClass.reset();
        detachOnFailure.release();
        return DetachAfterMain(launcher, vm);
    }

    LocalRef<jobjectArray> arguments(env, NewJavaStringArray(env, launcher.ApplicationArguments));
    if (!arguments) {
        env->ExceptionDescribe();
        return false;
    }
    if (launcher.LoadMainClassOnly) {
        // "--dry-run": everything up to main has been checked; java ends here with 0.
        NoteDecision(launcher.Decisions, "hosting", "dry-run", {{"class", launcher.MainClassName}});
        TakeVmMessages();
        arguments.reset();
        mainClass.reset();
        detachOnFailure.release();
        return vm->DetachCurrentThread() == JNI_OK;
    }

    // From here the program's own output has its readers.
    TakeVmMessages();
    if (launcher.MainStartedEvent) {
        RecordMainThread(launcher, env);
        ::SetEvent(launcher.MainStartedEvent.get());
    }
    NoteClassSharingMainCalled();
    env->CallStaticVoidMethod(mainClass.get(), main, arguments.get());
    launcher.MainReturned.store(true);

    LocalRef<jthrowable> uncaught(env, env->ExceptionOccurred());
    if (uncaught) {
        // Neither kind of splash may cover the exception dialog.
        CloseSplashWindow(launcher);
        launcher.PendingSplashCloseAction.Invoke();
        // A crashed program must not look like a successful run to the scripts and service
        // managers that start it: the process ends with 1 once its other threads are done.
        launcher.MainEndedWithException = true;
        if (launcher.FailureCheck && !launcher.Console) {
            // Reported (into an "Error File") before the dialog asks: a process ended while
            // the dialog is up must still leave the trace behind. Nothing stays pending, so
            // Ignore does not report it twice.
            ReportUncaughtOnThisThread(env, uncaught.get());
            if (ReportUncaughtException(launcher, uncaught.get(), env)) CallSystemExit(env);
        } else if (launcher.KeepVmThreadParked) {
            ReportUncaughtOnThisThread(env, uncaught.get());
        }
        // Otherwise left pending (at a console the VM's own trace on standard error is the
        // report): the VM reports it for the main thread when it detaches.
    }
    arguments.reset();
    mainClass.reset();
    uncaught.reset();
    detachOnFailure.release();
    return DetachAfterMain(launcher, vm);
}

void DestroyVm(Launcher& launcher) {
    JavaVM* vm = launcher.JavaVmPointer;
    if (!vm) return;
    // Only the creating thread may use this environment, and it has detached by now.
    launcher.JniEnvPointer = nullptr;
    vm->DestroyJavaVM();
    // The VM has written the archive this start recorded, if any.
    FinishClassSharingRecording();
    // A console closed from now on has no VM to wait for.
    JavaVM* destroyed = vm;
    g_vmHooks.consoleVm.compare_exchange_strong(destroyed, nullptr);
}
