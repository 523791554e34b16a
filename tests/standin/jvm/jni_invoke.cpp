// The invocation interface and the exports of the stand-in jvm.dll. The exported names are
// given by the .def file of each variant (JNI_CreateJavaVM = StandinCreateJavaVM, ...).
#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <mutex>

#include "classpath.h"
#include "options.h"
#include "slots.h"
#include "vm.h"

namespace standin {

extern bool g_checkJni;

namespace {

// The JDK 1.1 init-args record (no longer in current jni.h files).
struct Jdk11InitArgs {
    jint version;
    char** properties;
    jint checkSource;
    jint nativeStackSize;
    jint javaStackSize;
    jint minHeapSize;
    jint maxHeapSize;
    jint verifyMode;
    char* classpath;
    void* vfprintf;
    void* exit;
    void* abort;
    jint enableClassGC;
    jint enableVerboseGC;
    jint disableAsyncGC;
    jint verbose;
    jboolean debugging;
    jint debugPort;
};

std::once_flag g_fixtureOnce;
void EnsureFixture() {
    std::call_once(g_fixtureOnce, [] { Vm::Get().LoadFixture(); });
}

std::string EnvironmentValue(const wchar_t* name, bool& present) {
    std::wstring value(32768, L'\0');
    SetLastError(0);
    DWORD n = GetEnvironmentVariableW(name, value.data(), static_cast<DWORD>(value.size()));
    present = n > 0 || GetLastError() != ERROR_ENVVAR_NOT_FOUND;
    value.resize(n < value.size() ? n : 0);
    return Narrow(value);
}

JsonValue EnvironmentJson(const wchar_t* name) {
    bool present = false;
    std::string value = EnvironmentValue(name, present);
    return present ? JsonValue(value) : JsonValue(nullptr);
}

// The size of the address range reserved for the calling thread's stack.
unsigned long long StackReservation() {
    MEMORY_BASIC_INFORMATION info{};
    VirtualQuery(&info, &info, sizeof info);
    void* base = info.AllocationBase;
    unsigned long long total = 0;
    auto* p = static_cast<char*>(base);
    while (VirtualQuery(p, &info, sizeof info) == sizeof info && info.AllocationBase == base) {
        total += info.RegionSize;
        p += info.RegionSize;
    }
    return total;
}

std::string FromAnsi(const char* text) {
    int n = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    std::wstring wide(n > 0 ? n - 1 : 0, L'\0');
    if (n > 1) MultiByteToWideChar(CP_ACP, 0, text, -1, wide.data(), n);
    return Narrow(wide);
}

std::string ToAnsi(const std::string& utf8) {
    std::wstring wide = WideFromUtf8(utf8);
    int n = WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string text(n > 0 ? n - 1 : 0, '\0');
    if (n > 1) WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, text.data(), n, nullptr, nullptr);
    return text;
}

using VfprintfHook = jint(JNICALL*)(FILE*, const char*, va_list);

jint CallPrintHook(VfprintfHook hook, FILE* stream, const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    jint result = hook(stream, format, arguments);
    va_end(arguments);
    return result;
}

/// As HotSpot prints: through the "vfprintf" hook when one was given, naming the C runtime's
/// stream; otherwise on the matching standard handle.
void VmPrint(void* hook, FILE* stream, const std::string& text) {
    if (hook) {
        CallPrintHook(reinterpret_cast<VfprintfHook>(hook), stream, "%s", text.c_str());
        return;
    }
    DWORD written = 0;
    WriteFile(GetStdHandle(stream == stdout ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE), text.data(),
              static_cast<DWORD>(text.size()), &written, nullptr);
}

bool SupportedVersion(jint version) {
    return version == 0x00010002 || version == 0x00010004 || version == 0x00010006 ||
           version == 0x00010008 || version == 0x00090000 || version == 0x000a0000;
}

// ---------------------------------------------------------------- invocation interface

Thread* AttachThisThread(const std::string& name, bool daemon) {
    Thread* t = Vm::Get().Attach(name, daemon);
    SetCurrentThread(t);
    return t;
}

jint JNICALL DestroyJavaVM(JavaVM* vm) {
    Vm& v = Vm::Get();
    if (vm != &v.javaVm) v.Fatal("DestroyJavaVM: not this VM");
    if (!v.created || v.destroyed) {
        LogEvent("destroy", {{"result", JNI_ERR}});
        return JNI_ERR;
    }
    // As HotSpot: the calling thread attaches itself if needed, then waits for every other
    // non-daemon thread (threads attached by native code count too) to end.
    Thread* self = CurrentThread();
    bool attachedHere = self == nullptr;
    if (!self) self = AttachThisThread("DestroyJavaVM", false);
    size_t waiting = v.LiveNonDaemonThreadsExcept(self);
    LogEvent("destroy", {{"waiting_for", static_cast<unsigned long long>(waiting)},
                         {"attached_here", attachedHere}});
    while (v.LiveNonDaemonThreadsExcept(self) > 0) Sleep(20);
    v.destroyed = true;
    v.Detach(self);
    SetCurrentThread(nullptr);
    LogEvent("destroyed", {{"result", JNI_OK}});
    return JNI_OK;
}

void DescribeUncaughtAtDetach(Thread* t) {
    // A thread that leaves the VM with an exception pending passes it to the default
    // uncaught-exception handler, which prints it.
    auto* e = static_cast<ThrowableObject*>(t->pending);
    t->pending = nullptr;
    LogEvent("uncaught_exception", {{"class", Dotted(e->cls->name)}, {"thread", t->name}});
    Vm& v = Vm::Get();
    PrintTo(v.err, u"Exception in thread \"" + FromUtf8(t->name) + u"\" ");
    PrintStackTrace(e, v.err);
}

jint JNICALL AttachCommon(JavaVM* vm, void** penv, void* args, bool daemon, const char* function) {
    Vm& v = Vm::Get();
    if (vm != &v.javaVm) v.Fatal(std::string(function) + ": not this VM");
    if (!penv) v.Fatal(std::string(function) + ": null JNIEnv pointer");
    if (!v.created || v.destroyed) {
        LogEvent("attach", {{"result", JNI_ERR}, {"daemon", daemon}});
        return JNI_ERR;
    }
    if (Thread* t = CurrentThread()) {
        *penv = &t->env;
        LogEvent("attach", {{"result", JNI_OK},
                            {"already_attached", true},
                            {"thread", t->name},
                            {"daemon", daemon}});
        return JNI_OK;
    }
    std::string name;
    if (args) {
        auto* a = static_cast<JavaVMAttachArgs*>(args);
        if (!SupportedVersion(a->version)) {
            LogEvent("attach", {{"result", JNI_EVERSION}});
            return JNI_EVERSION;
        }
        if (a->name) name = a->name;
    }
    Thread* t = AttachThisThread(name, daemon);
    *penv = &t->env;
    LogEvent("attach", {{"result", JNI_OK}, {"thread", t->name}, {"daemon", daemon}});
    return JNI_OK;
}

jint JNICALL AttachCurrentThread(JavaVM* vm, void** penv, void* args) {
    return AttachCommon(vm, penv, args, false, "AttachCurrentThread");
}
jint JNICALL AttachCurrentThreadAsDaemon(JavaVM* vm, void** penv, void* args) {
    return AttachCommon(vm, penv, args, true, "AttachCurrentThreadAsDaemon");
}

jint JNICALL DetachCurrentThread(JavaVM* vm) {
    Vm& v = Vm::Get();
    if (vm != &v.javaVm) v.Fatal("DetachCurrentThread: not this VM");
    Thread* t = CurrentThread();
    if (!t) {
        LogEvent("detach", {{"result", JNI_OK}, {"was_attached", false}});
        return JNI_OK;  // already detached: a no-op, as in HotSpot
    }
    if (t->javaDepth > 0) {
        LogEvent(
            "detach",
            {{"result", JNI_ERR}, {"thread", t->name}, {"reason", "Java frames on the stack"}});
        return JNI_ERR;
    }
    if (t->pending) DescribeUncaughtAtDetach(t);
    LogEvent("detach", {{"result", JNI_OK}, {"thread", t->name}, {"was_attached", true}});
    v.Detach(t);
    SetCurrentThread(nullptr);
    return JNI_OK;
}

jint JNICALL GetEnv(JavaVM* vm, void** penv, jint version) {
    Vm& v = Vm::Get();
    if (vm != &v.javaVm) v.Fatal("GetEnv: not this VM");
    Thread* t = CurrentThread();
    if (!t) {
        *penv = nullptr;
        return JNI_EDETACHED;
    }
    if (!SupportedVersion(version)) {
        *penv = nullptr;
        return JNI_EVERSION;
    }
    *penv = &t->env;
    return JNI_OK;
}

#define STANDIN_STUB(name)                                         \
    void JNICALL UnimplementedInvoke_##name() {                    \
        Vm::Get().Fatal("JNI invocation function " #name           \
                        " is not implemented by the stand-in VM"); \
    }
STANDIN_INVOKE_SLOTS(STANDIN_STUB)
#undef STANDIN_STUB

JNIInvokeInterface_ BuildInvokeInterface() {
    JNIInvokeInterface_ table{};
#define STANDIN_ASSIGN_STUB(name) \
    table.name = reinterpret_cast<decltype(table.name)>(&UnimplementedInvoke_##name);
    STANDIN_INVOKE_SLOTS(STANDIN_ASSIGN_STUB)
#undef STANDIN_ASSIGN_STUB
    table.DestroyJavaVM = DestroyJavaVM;
    table.AttachCurrentThread = AttachCurrentThread;
    table.DetachCurrentThread = DetachCurrentThread;
    table.GetEnv = GetEnv;
    table.AttachCurrentThreadAsDaemon = AttachCurrentThreadAsDaemon;
    return table;
}

const JNIInvokeInterface_ g_invokeInterface = BuildInvokeInterface();

jint CreateVm(JavaVM** pvm, void** penv, JavaVMInitArgs* args) {
    Vm& v = Vm::Get();
    std::wstring cwd(32768, L'\0');
    cwd.resize(GetCurrentDirectoryW(static_cast<DWORD>(cwd.size()), cwd.data()));
    LogEvent("create", {{"version", args ? args->version : 0},
                        {"n_options", args ? args->nOptions : 0},
                        {"ignore_unrecognized", args ? args->ignoreUnrecognized != 0 : false},
                        {"stack_reserve", StackReservation()},
                        {"thread_id", static_cast<unsigned long>(GetCurrentThreadId())},
                        {"cwd", Narrow(cwd)},
                        {"path", EnvironmentJson(L"Path")},
                        {"ql_jvm_path", EnvironmentJson(L"QL_JVM_PATH")},
                        {"ql_jvm_home", EnvironmentJson(L"QL_JVM_HOME")}});
    if (pvm) *pvm = nullptr;
    if (penv) *penv = nullptr;
    if (!pvm || !penv || !args) v.Fatal("JNI_CreateJavaVM: null argument");
    {
        std::lock_guard<std::recursive_mutex> guard(v.lock);
        if (v.created) return v.destroyed ? JNI_ERR : JNI_EEXIST;
    }
    if (!SupportedVersion(args->version)) return JNI_EVERSION;
    // Option strings are in the system's ANSI code page, as HotSpot reads them on Windows.
    std::vector<VmOption> options;
    for (jint i = 0; i < args->nOptions; ++i) {
        const JavaVMOption& o = args->options[i];
        if (!o.optionString)
            v.Fatal("JNI_CreateJavaVM: option " + std::to_string(i) + " has no string");
        options.emplace_back(FromAnsi(o.optionString), o.extraInfo);
        LogEvent("option", {{"index", i},
                            {"option", options.back().first},
                            {"extra_info", o.extraInfo != nullptr}});
    }
    OptionResult parsed;
    jint result =
        ParseVmOptions(options, args->ignoreUnrecognized != 0, v.fixture.unknownOptions, parsed);
    if (result != JNI_OK) {
        VmPrint(parsed.printHook, stderr, ToAnsi(parsed.error) + "\n");
        return result;
    }
    if (v.fixture.maxHeap && parsed.maxHeap > v.fixture.maxHeap) {
        // As HotSpot when the heap cannot be reserved (a 32-bit process, for instance): the
        // message goes to standard output and the process ends with 1, without the exit hook.
        std::string text =
            "Error occurred during initialization of VM\nCould not reserve enough space for " +
            std::to_string(parsed.maxHeap / 1024) + "KB object heap\n";
        VmPrint(parsed.printHook, stdout, text);
        LogEvent("vm_init_failed", {{"reason", "heap"}, {"max_heap", parsed.maxHeap}});
        ExitProcess(1);
    }
    v.hooks.exitHook = reinterpret_cast<void(JNICALL*)(jint)>(parsed.exitHook);
    v.hooks.abortHook = reinterpret_cast<void(JNICALL*)()>(parsed.abortHook);
    if (!v.fixture.createWaitFile.empty()) {
        // Holds the launcher before main, for tests of what happens while a VM starts.
        std::wstring path = WideFromUtf8(v.fixture.createWaitFile);
        LogEvent("create_wait_file", {{"file", v.fixture.createWaitFile}});
        while (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) Sleep(50);
        LogEvent("create_wait_file_done", {{"file", v.fixture.createWaitFile}});
    }
    if (v.fixture.createResult != 0) return v.fixture.createResult;
    g_checkJni = parsed.checkJni;
    v.properties = parsed.properties;
    auto cp = parsed.properties.find("java.class.path");
    v.classPath = SplitClassPath(cp == parsed.properties.end() ? "" : cp->second,
                                 cp != parsed.properties.end());
    v.javaVm.functions = &g_invokeInterface;
    v.Boot();
    Thread* t = AttachThisThread("main", false);
    v.created = true;
    *pvm = &v.javaVm;
    *penv = &t->env;
    return JNI_OK;
}

}  // namespace

}  // namespace standin

using namespace standin;

extern "C" {

jint JNICALL StandinCreateJavaVM(JavaVM** pvm, void** penv, void* args) {
    EnsureFixture();
    jint result = CreateVm(pvm, penv, static_cast<JavaVMInitArgs*>(args));
    LogEvent("create_result", {{"result", result}});
    return result;
}

jint JNICALL StandinGetDefaultJavaVMInitArgs(void* args) {
    EnsureFixture();
    auto* a = static_cast<Jdk11InitArgs*>(args);
    jint version = a->version;
    jint result = SupportedVersion(version) ? JNI_OK : JNI_ERR;
    // HotSpot no longer supports 1.1 but still reports its default Java stack size through
    // the 1.1 record (and answers with the 1.2 version).
    if (version == 0x00010001) {
        a->version = 0x00010002;
        a->javaStackSize = Vm::Get().fixture.defaultStackSize;
    }
    LogEvent("default_init_args", {{"version", version},
                                   {"java_stack_size", Vm::Get().fixture.defaultStackSize},
                                   {"result", result}});
    return result;
}

jint JNICALL StandinGetCreatedJavaVMs(JavaVM** vms, jsize size, jsize* count) {
    Vm& v = Vm::Get();
    bool live = v.created && !v.destroyed;
    if (count) *count = live ? 1 : 0;
    if (live && vms && size > 0) vms[0] = &v.javaVm;
    return JNI_OK;
}

// Finds a class of the boot loader only; null without an exception when there is none.
jclass JNICALL StandinFindClassFromBootLoader(JNIEnv* env, const char* name) {
    Thread& t = Enter(env, "JVM_FindClassFromBootLoader");
    Class* c = name ? Vm::Get().BootClass(name) : nullptr;
    LogEvent("find_class", {{"name", name ? std::string(name) : std::string()},
                            {"found", c != nullptr},
                            {"via", "JVM_FindClassFromBootLoader"},
                            {"thread", t.name}});
    return reinterpret_cast<jclass>(NewRef(c));
}

}  // extern "C"
