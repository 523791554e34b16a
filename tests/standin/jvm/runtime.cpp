// The VM's classes, objects, exceptions, streams and threads.
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "classpath.h"
#include "vm.h"

namespace standin {

namespace {
thread_local Thread* t_current = nullptr;

std::wstring ModuleFolder() {
    HMODULE self = nullptr;
    GetModuleHandleExW(
        GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
        reinterpret_cast<LPCWSTR>(&ModuleFolder), &self);
    std::wstring path(32768, L'\0');
    DWORD n = GetModuleFileNameW(self, path.data(), static_cast<DWORD>(path.size()));
    path.resize(n);
    return path.substr(0, path.find_last_of(L"\\/"));
}

std::string ReadWholeFile(const std::wstring& path, bool& ok) {
    ok = false;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return {};
    std::string data;
    char buffer[65536];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got) data.append(buffer, got);
    CloseHandle(file);
    ok = true;
    return data;
}

std::string Trim(const std::string& s) {
    size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return {};
    return s.substr(b, s.find_last_not_of(" \t\r\n") - b + 1);
}

}  // namespace

Thread* CurrentThread() { return t_current; }
void SetCurrentThread(Thread* t) { t_current = t; }

Vm& Vm::Get() {
    static Vm* vm = new Vm();  // never destroyed: threads may still run at process exit
    return *vm;
}

void Vm::LoadFixture() {
    // The fixture writes standin.cfg into the runtime's bin folder; a copy beside jvm.dll wins.
    std::wstring folder = ModuleFolder();
    std::wstring candidates[] = {folder + L"\\standin.cfg",
                                 folder.substr(0, folder.find_last_of(L"\\/")) + L"\\standin.cfg"};
    for (const auto& path : candidates) {
        bool ok = false;
        std::string text = ReadWholeFile(path, ok);
        if (!ok) continue;
        std::istringstream in(text);
        std::string line;
        while (std::getline(in, line)) {
            line = Trim(line);
            if (line.empty() || line[0] == '#') continue;
            size_t eq = line.find('=');
            if (eq == std::string::npos) continue;
            std::string key = Trim(line.substr(0, eq)), value = Trim(line.substr(eq + 1));
            if (key == "default_stack_size")
                fixture.defaultStackSize = static_cast<jint>(std::stoll(value));
            else if (key == "launcher_helper")
                fixture.launcherHelper = value == "1" || value == "true";
            else if (key == "launcher_helper_failure")
                fixture.helperThrows = value == "throw";
            else if (key == "create_result")
                fixture.createResult = static_cast<jint>(std::stol(value));
            else if (key == "unknown_option")
                fixture.unknownOptions.push_back(value);
            else if (key == "log")
                fixture.logPath = value;
            else if (key == "create_wait_file")
                fixture.createWaitFile = value;
            else if (key == "max_heap")
                fixture.maxHeap = std::stoull(value);
        }
        break;
    }
    wchar_t env[32768];
    DWORD n = GetEnvironmentVariableW(L"VMBOOT_STANDIN_LOG", env, 32768);
    if (n > 0 && n < 32768) fixture.logPath = Narrow(std::wstring(env, n));
    SetLogPath(fixture.logPath);
    // Timing runs log only the events they wait for, so that the log's own cost does not
    // grow with the number of JNI calls a host makes.
    n = GetEnvironmentVariableW(L"VMBOOT_STANDIN_LOG_EVENTS", env, 32768);
    if (n > 0 && n < 32768) SetLogEvents(Narrow(std::wstring(env, n)));
}

Method* Class::AddMethod(const std::string& n, const std::string& sig, bool isStatic,
                         MethodBody body) {
    auto m = std::make_unique<Method>();
    m->owner = this;
    m->name = n;
    m->signature = sig;
    m->isStatic = isStatic;
    m->body = std::move(body);
    // Parameter letters: one per parameter, arrays and objects as 'L'.
    size_t i = 1;
    while (i < sig.size() && sig[i] != ')') {
        size_t start = i;
        char c = sig[i];
        if (c == '[' || c == 'L') {
            while (sig[i] == '[') ++i;
            if (sig[i] == 'L') i = sig.find(';', i);
            m->parameters += 'L';
            std::string type = sig.substr(start, i - start + 1);
            m->parameterClasses.push_back(c == 'L' ? type.substr(1, type.size() - 2) : type);
        } else {
            m->parameters += c;
            m->parameterClasses.emplace_back();
        }
        ++i;
    }
    char r = i + 1 < sig.size() ? sig[i + 1] : 'V';
    m->returns = r == '[' ? 'L' : r;
    methods.push_back(std::move(m));
    return methods.back().get();
}

// ---------------------------------------------------------------- objects and exceptions

StringObject* NewString(const std::u16string& s) {
    return new StringObject(Vm::Get().BootClass("java/lang/String"), s);
}

ArrayObject* NewStringArray(size_t n) {
    Vm& vm = Vm::Get();
    return new ArrayObject(vm.BootClass("[Ljava/lang/String;"), 'L',
                           vm.BootClass("java/lang/String"), n);
}

ThrowableObject* MakeThrowable(Thread& t, Class* cls, const std::u16string* message) {
    auto* e = static_cast<ThrowableObject*>(cls->allocate(cls));
    if (message) {
        e->hasMessage = true;
        e->message = *message;
    }
    return e;
}

void Throw(Thread& t, const std::string& className, const std::u16string* message, Object* cause) {
    Vm& vm = Vm::Get();
    Class* cls = vm.BootClass(className);
    if (!cls) cls = vm.DefineSyntheticThrowable(className);
    ThrowableObject* e = MakeThrowable(t, cls, message);
    e->cause = cause;
    t.pending = e;
}

void Throw(Thread& t, const std::string& className, const std::string& message) {
    std::u16string m = FromUtf8(message);
    Throw(t, className, &m);
}

std::u16string ThrowableText(ThrowableObject* e) {
    std::u16string text = FromUtf8(Dotted(e->cls->name));
    if (e->hasMessage) text += u": " + e->message;
    return text;
}

void PrintStackTrace(ThrowableObject* e, StreamObject* stream) {
    std::u16string text;
    for (ThrowableObject* x = e; x; x = static_cast<ThrowableObject*>(x->cause)) {
        if (x != e) text += u"Caused by: ";
        text += ThrowableText(x) + u"\r\n";
        for (const auto& f : x->frames) text += u"\tat " + FromUtf8(f) + u"\r\n";
        if (x->cause && !x->cause->cls->isThrowable) break;
    }
    PrintTo(stream, text);
}

void StreamObject::Write(const std::string& data) {
    if (kind == Kind::Print) {
        if (target) target->Write(data);
        return;
    }
    std::lock_guard<std::mutex> guard(mutex);
    DWORD written = 0;
    switch (kind) {
        case Kind::StdOut:
        case Kind::StdErr: {
            HANDLE h = GetStdHandle(kind == Kind::StdOut ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
            if (h && h != INVALID_HANDLE_VALUE)
                WriteFile(h, data.data(), static_cast<DWORD>(data.size()), &written, nullptr);
            break;
        }
        case Kind::File:
            if (file != INVALID_HANDLE_VALUE)
                WriteFile(file, data.data(), static_cast<DWORD>(data.size()), &written, nullptr);
            break;
        case Kind::Bytes:
            bytes += data;
            break;
        case Kind::Print:
            break;
    }
}

void PrintTo(StreamObject* stream, const std::u16string& text) {
    if (stream) stream->Write(Utf8(text));
}

// ---------------------------------------------------------------- threads

Thread* Vm::Attach(const std::string& name, bool daemon) {
    auto* t = new Thread();
    std::lock_guard<std::recursive_mutex> guard(lock);
    extern const JNINativeInterface_ g_nativeInterface;
    t->env.functions = &g_nativeInterface;
    t->osThreadId = GetCurrentThreadId();
    t->name = name.empty() ? "Thread-" + std::to_string(nextThreadNumber++) : name;
    t->daemon = daemon;
    threads.push_back(t);
    return t;
}

void Vm::Detach(Thread* t) {
    std::lock_guard<std::recursive_mutex> guard(lock);
    std::erase(threads, t);
    t->env.functions = nullptr;  // a stale JNIEnv now fails at once instead of working
}

size_t Vm::LiveNonDaemonThreadsExcept(Thread* self) {
    std::lock_guard<std::recursive_mutex> guard(lock);
    size_t n = 0;
    for (Thread* t : threads)
        if (t != self && !t->daemon) ++n;
    return n;
}

namespace {
struct ThreadStart {
    Thread* thread;
    std::function<void(Thread&)> body;
};

DWORD WINAPI JavaThreadMain(void* p) {
    std::unique_ptr<ThreadStart> start(static_cast<ThreadStart*>(p));
    Thread* t = start->thread;
    t->osThreadId = GetCurrentThreadId();
    SetCurrentThread(t);
    start->body(*t);
    if (t->pending) {
        // An uncaught exception ends the thread the way the default handler does.
        auto* e = static_cast<ThrowableObject*>(t->pending);
        t->pending = nullptr;
        PrintTo(Vm::Get().err, u"Exception in thread \"" + FromUtf8(t->name) + u"\" ");
        PrintStackTrace(e, Vm::Get().err);
    }
    Vm::Get().Detach(t);
    SetCurrentThread(nullptr);
    return 0;
}
}  // namespace

void StartJavaThread(bool daemon, std::function<void(Thread&)> body) {
    Vm& vm = Vm::Get();
    // Registered before the OS thread runs, so DestroyJavaVM already counts it.
    Thread* t = nullptr;
    {
        std::lock_guard<std::recursive_mutex> guard(vm.lock);
        t = new Thread();
        extern const JNINativeInterface_ g_nativeInterface;
        t->env.functions = &g_nativeInterface;
        t->name = "Thread-" + std::to_string(vm.nextThreadNumber++);
        t->daemon = daemon;
        vm.threads.push_back(t);
    }
    DWORD id = 0;
    HANDLE h =
        CreateThread(nullptr, 0, JavaThreadMain, new ThreadStart{t, std::move(body)}, 0, &id);
    if (h) {
        t->osThread = h;
    } else {
        vm.Detach(t);
    }
}

// ---------------------------------------------------------------- exit and failure

void Vm::Exit(jint code) {
    LogEvent("system_exit", {{"code", code}});
    if (hooks.exitHook) {
        LogEvent("exit_hook", {{"code", code}});
        hooks.exitHook(code);
    }
    ExitProcess(static_cast<UINT>(code));
}

void Vm::Fatal(const std::string& text) {
    std::string line = "STANDIN FATAL: " + text + "\r\n";
    DWORD written = 0;
    HANDLE h = GetStdHandle(STD_ERROR_HANDLE);
    if (h && h != INVALID_HANDLE_VALUE)
        WriteFile(h, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    LogEvent("fatal", {{"text", text}});
    if (hooks.abortHook) {
        LogEvent("abort_hook");
        hooks.abortHook();
    }
    // A real VM ends in abort(), whose exit status on Windows is 3.
    TerminateProcess(GetCurrentProcess(), 3);
    for (;;) Sleep(INFINITE);
}

// ---------------------------------------------------------------- class loading

Class* Vm::BootClass(const std::string& name) {
    std::lock_guard<std::recursive_mutex> guard(lock);
    auto it = classes_.find(name);
    if (it == classes_.end() || !it->second->isBoot) return nullptr;
    if (name == "sun/launcher/LauncherHelper" && !fixture.launcherHelper) return nullptr;
    return it->second;
}

Class* Vm::DefineSyntheticThrowable(const std::string& name) {
    std::lock_guard<std::recursive_mutex> guard(lock);
    auto it = classes_.find(name);
    if (it != classes_.end()) return it->second;
    Class* runtimeException = classes_.at("java/lang/RuntimeException");
    auto* c = new Class(classes_.at("java/lang/Class"), name);
    c->super = runtimeException;
    c->isThrowable = true;
    c->isBoot = false;
    c->synthetic = true;
    c->allocate = runtimeException->allocate;
    classes_[name] = c;
    return c;
}

Class* Vm::LoadClass(const std::string& name, std::string& errorClass, std::string& errorMessage) {
    errorClass.clear();
    if (Class* c = BootClass(name)) return c;
    {
        std::lock_guard<std::recursive_mutex> guard(lock);
        auto it = classes_.find(name);
        if (it != classes_.end() && !it->second->isBoot && !it->second->synthetic)
            return it->second;
    }
    // Class names in slash form only: dotted or array names are not found on the class path.
    if (name.empty() || name.find('.') != std::string::npos || name[0] == '[') return nullptr;
    std::string bytes;
    std::string where;
    std::string error;
    std::string spelled;
    if (!FindOnClassPath(classPath, name + ".class", bytes, where, spelled, error)) {
        if (!error.empty()) Fatal(error);
        return nullptr;
    }
    LogEvent("class_file", {{"class", name}, {"from", where}});
    std::string actual = spelled.substr(0, spelled.size() - 6);
    if (actual != name && bytes.rfind(kScriptMagic, 0) == 0) {
        // A folder ignores letter case, the VM does not: the class defined there has the
        // name the file system spells.
        errorClass = "java/lang/NoClassDefFoundError";
        errorMessage = name + " (wrong name: " + actual + ")";
        return nullptr;
    }
    std::lock_guard<std::recursive_mutex> guard(lock);
    auto it = classes_.find(name);
    if (it != classes_.end() && !it->second->synthetic) return it->second;
    return DefineAppClass(name, bytes, errorClass, errorMessage);
}

}  // namespace standin
