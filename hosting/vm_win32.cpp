#include "hosting/vm_win32.h"

#include <string>
#include <vector>

#include "core/format.h"
#include "core/launcher_win32.h"
#include "core/messages_win32.h"
#include "core/resources_win32.h"
#include "core/scope_exit.h"
#include "core/text_win32.h"
#include "hosting/exception_dialog_win32.h"
#include "hosting/java_strings_win32.h"
#include "hosting/jni_init_args.h"
#include "hosting/local_ref.h"
#include "hosting/modified_utf8.h"
#include "hosting/redirect_win32.h"
#include "options/path_utils.h"
#include "resources/resource_ids.h"
#include "splash/splash_win32.h"

namespace {

// The VM calls these before it exits or aborts the process itself; the launcher has nothing
// to add, and System.exit(n) so ends the process with n.
void JNICALL ExitHook(jint) {}
void JNICALL AbortHook() {}

constexpr const char* kMainDescriptor = "([Ljava/lang/String;)V";

/// The class named `MainClassName`, loaded the way the runtime's own launcher does it.
jclass LoadThroughLauncherHelper(Launcher& launcher, JNIEnv* env) {
    if (!launcher.FindClassFromBootLoader) return nullptr;
    LocalRef<jclass> helper(env,
                            launcher.FindClassFromBootLoader(env, "sun/launcher/LauncherHelper"));
    if (!helper) {
        // A runtime without the class may leave the lookup failure pending.
        env->ExceptionClear();
        return nullptr;
    }
    jmethodID checkAndLoadMain = env->GetStaticMethodID(helper.get(), "checkAndLoadMain",
                                                        "(ZILjava/lang/String;)Ljava/lang/Class;");
    if (!checkAndLoadMain) {
        env->ExceptionClear();
        return nullptr;
    }
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

}  // namespace

AddDllDirectoryFunction ResolveAddDllDirectory() {
    HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
    if (!kernel) return nullptr;
    return GetProcAddressAs<AddDllDirectoryFunction>(kernel, "AddDllDirectory");
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

bool LoadVmLibrary(Launcher& launcher, const std::wstring& path) {
    std::wstring binFolder = StripPathLevels(path, 2);
    AddDllDirectoryFunction addDllDirectory = ResolveAddDllDirectory();
    NoteDecision(launcher.Decisions, "hosting", "load-library",
                 {{"path", path},
                  {"dependencyFolder", binFolder},
                  {"searchMode", addDllDirectory ? L"default-dirs" : L"altered-search-path"}});
    UniqueHModule module(LoadVmLibraryModule(path, binFolder, addDllDirectory));
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

void QueryDefaultStackSize(Launcher& launcher) {
    if (!launcher.GetDefaultJavaVmInitArgs) return;
    Jdk11InitArgs args{};
    args.version = kJniVersion11;
    // The result is not read: a VM may fill the record and still refuse the old version.
    launcher.GetDefaultJavaVmInitArgs(&args);
    if (args.javaStackSize > 0)
        launcher.VmThreadStackSize = static_cast<std::size_t>(args.javaStackSize);
    NoteDecision(launcher.Decisions, "hosting", "default-stack-size",
                 {{"javaStackSize", std::to_wstring(args.javaStackSize)}});
}

bool CreateVm(Launcher& launcher) {
    std::vector<JavaVMOption> options;
    options.reserve(launcher.VmOptions.size() + 2);
    for (std::string& option : launcher.VmOptions) {
        options.push_back(JavaVMOption{option.data(), nullptr});
    }
    options.push_back(
        JavaVMOption{const_cast<char*>("abort"), reinterpret_cast<void*>(&AbortHook)});
    options.push_back(JavaVMOption{const_cast<char*>("exit"), reinterpret_cast<void*>(&ExitHook)});

    if (launcher.Decisions) {
        std::vector<std::pair<std::string, std::wstring>> fields;
        for (const JavaVMOption& option : options) {
            fields.emplace_back("option", FromThreadAnsi(option.optionString));
        }
        NoteDecision(launcher.Decisions, "hosting", "vm-options", std::move(fields));
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
    jint result = launcher.CreateJavaVm(&vm, reinterpret_cast<void**>(&env), &args);
    if (result != JNI_OK) {
        // Whatever a failed creation left in the pointers is not a VM to destroy later.
        launcher.JavaVmPointer = nullptr;
        launcher.JniEnvPointer = nullptr;
        ReportLaunchError(launcher, JniErrorMessage(result));
        return false;
    }
    launcher.JavaVmPointer = vm;
    launcher.JniEnvPointer = env;
    RedirectOutputStreams(launcher);
    return true;
}

bool InvokeMainClass(Launcher& launcher) {
    NoteDecision(launcher.Decisions, "hosting", "main",
                 {{"class", launcher.MainClassName},
                  {"arguments", std::to_wstring(launcher.ApplicationArguments.size())}});
    if (launcher.DryRun) return true;
    JNIEnv* env = launcher.JniEnvPointer;
    JavaVM* vm = launcher.JavaVmPointer;
    if (!env || !vm) return false;

    // A thread that ends while still attached would keep DestroyJavaVM waiting for it for
    // ever, so every failure path detaches.
    auto detachOnFailure = MakeScopeExit([vm] { vm->DetachCurrentThread(); });

    LocalRef<jclass> mainClass(env, LoadThroughLauncherHelper(launcher, env));
    if (!mainClass) {
        mainClass.reset(LoadThroughFindClass(launcher, env));
        if (!mainClass) return false;
    }

    jmethodID main = env->GetStaticMethodID(mainClass.get(), "main", kMainDescriptor);
    if (!main) {
        if (HasPendingException(env)) {
            env->ExceptionDescribe();
        } else {
            ReportLaunchError(launcher, IDS_NO_MAIN_METHOD);
        }
        return false;
    }

    LocalRef<jobjectArray> arguments(env, NewJavaStringArray(env, launcher.ApplicationArguments));
    if (!arguments) {
        env->ExceptionDescribe();
        return false;
    }

    if (launcher.MainStartedEvent) ::SetEvent(launcher.MainStartedEvent.get());
    env->CallStaticVoidMethod(mainClass.get(), main, arguments.get());

    LocalRef<jthrowable> uncaught(env, env->ExceptionOccurred());
    if (uncaught) {
        CloseSplashWindow(launcher);
        if (launcher.FailureCheck && ReportUncaughtException(launcher, uncaught.get(), env)) {
            CallSystemExit(env);
        }
        // Left pending: the VM reports it for the main thread when the thread detaches.
    }
    arguments.reset();
    mainClass.reset();
    uncaught.reset();

    detachOnFailure.release();
    if (launcher.KeepVmThreadParked) {
        for (;;) ::Sleep(INFINITE);
    }
    return vm->DetachCurrentThread() == JNI_OK;
}

void DestroyVm(Launcher& launcher) {
    JavaVM* vm = launcher.JavaVmPointer;
    if (!vm) return;
    launcher.JavaVmPointer = nullptr;
    launcher.JniEnvPointer = nullptr;
    vm->DestroyJavaVM();
}
