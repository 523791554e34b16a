#pragma once
// The stand-in Java VM: object model, threads and the services shared by the JNI tables.
// It emulates what a HotSpot jvm.dll shows to a native launcher through JNI; nothing more.

#include <jni.h>
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "json_log.h"
#include "script.h"

namespace standin {

struct Class;
struct Thread;

/// Every Java object. `magic` lets references be validated before use.
struct Object {
    static constexpr uint32_t kMagic = 0x4A4F424A;  // "JOBJ"
    explicit Object(Class* c) : cls(c) {}
    virtual ~Object() = default;
    uint32_t magic = kMagic;
    Class* cls;
};

struct StringObject : Object {
    StringObject(Class* c, std::u16string v) : Object(c), value(std::move(v)) {}
    std::u16string value;
};

struct ArrayObject : Object {
    ArrayObject(Class* c, char k, Class* e, size_t n) : Object(c), kind(k), element(e) {
        if (k == 'C')
            chars.resize(n);
        else
            objects.resize(n);
    }
    size_t Length() const { return kind == 'C' ? chars.size() : objects.size(); }
    char kind;  // 'C' for char[], 'L' for object arrays
    Class* element;
    std::vector<jchar> chars;
    std::vector<Object*> objects;
};

struct ThrowableObject : Object {
    using Object::Object;
    bool hasMessage = false;
    std::u16string message;
    Object* cause = nullptr;
    std::vector<std::string> frames;  // "at ..." lines, without the tab
};

/// Output streams: the process's standard handles, files, byte buffers and print streams.
struct StreamObject : Object {
    enum class Kind { StdOut, StdErr, File, Bytes, Print };
    StreamObject(Class* c, Kind k) : Object(c), kind(k) {}
    ~StreamObject() override {
        if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    }
    Kind kind;
    HANDLE file = INVALID_HANDLE_VALUE;
    std::string bytes;               // Bytes
    StreamObject* target = nullptr;  // Print
    std::mutex mutex;
    void Write(const std::string& data);
};

/// What a method implementation receives; `self` is null for static methods.
using MethodBody = std::function<jvalue(Thread& t, Object* self, const std::vector<jvalue>& args)>;

struct Method {
    static constexpr uint32_t kMagic = 0x4D455448;  // "METH"
    uint32_t magic = kMagic;
    Class* owner = nullptr;
    std::string name;
    std::string signature;
    bool isStatic = false;
    MethodBody body;
    /// Parameter type letters ('Z','B','C','S','I','J','F','D','L') and the return letter.
    std::string parameters;
    std::vector<std::string> parameterClasses;  // per parameter: class name or array descriptor
    char returns = 'V';
};

struct Class : Object {
    Class(Class* meta, std::string n) : Object(meta), name(std::move(n)) {}
    std::string name;  // slash form: java/lang/String
    Class* super = nullptr;
    bool isThrowable = false;
    bool isBoot = true;      // found by the boot loader (JVM_FindClassFromBootLoader)
    bool synthetic = false;  // an exception class a script threw without defining it
    std::vector<std::unique_ptr<Method>> methods;
    std::function<Object*(Class*)> allocate;
    bool IsSubclassOf(const Class* other) const {
        for (const Class* c = this; c; c = c->super)
            if (c == other) return true;
        return false;
    }
    Method* Find(const std::string& n, const std::string& sig) {
        for (Class* c = this; c; c = c->super)
            for (auto& m : c->methods)
                if (m->name == n && m->signature == sig) return m.get();
        return nullptr;
    }
    Method* AddMethod(const std::string& n, const std::string& sig, bool isStatic, MethodBody body);
};

/// A JNI reference cell: jobject values point at these, so deleted references are detected.
struct Ref {
    static constexpr uint32_t kMagic = 0x52454621;  // "REF!"
    uint32_t magic = kMagic;
    Object* object = nullptr;
    bool live = true;
    bool global = false;
    DWORD thread = 0;  ///< the thread that made it, for PopLocalFrame
};

/// One attached thread. `env` must stay the first member: JNIEnv* points at it.
struct Thread {
    JNIEnv_ env;
    DWORD osThreadId = 0;
    std::string name;
    bool daemon = false;
    Object* pending = nullptr;
    HANDLE osThread = nullptr;  // for threads the VM started itself
    int javaDepth = 0;          // Java frames on this thread's stack
};

/// The hooks and options handed to JNI_CreateJavaVM.
struct Hooks {
    void(JNICALL* exitHook)(jint) = nullptr;
    void(JNICALL* abortHook)() = nullptr;
};

/// The fixture's configuration (standin.cfg in the runtime's bin folder).
struct Fixture {
    jint defaultStackSize = 1048576;
    bool launcherHelper = true;
    bool helperThrows = false;  // older runtimes threw instead of calling System.exit(1)
    jint createResult = 0;
    std::string createWaitFile;  // JNI_CreateJavaVM stays until this file exists (UTF-8 path)
    std::vector<std::string> unknownOptions;
    std::string logPath;
    unsigned long long maxHeap = 0;  // largest -Xmx the VM can reserve; 0 = no limit
};

class Vm {
  public:
    static Vm& Get();

    Fixture fixture;
    Hooks hooks;
    std::recursive_mutex lock;
    bool created = false;
    bool destroyed = false;
    JavaVM_ javaVm;
    std::vector<std::string> classPath;
    std::map<std::string, std::string> properties;
    std::vector<Thread*> threads;  // attached threads
    int nextThreadNumber = 0;
    StreamObject* out = nullptr;  // System.out
    StreamObject* err = nullptr;  // System.err

    void LoadFixture();
    void Boot();  // creates the built-in classes and standard streams

    Class* BootClass(const std::string& name);
    /// Boot classes first, then the class path; null when nowhere. A class file that cannot
    /// be defined sets `errorClass` and `errorMessage` (the exception to throw).
    Class* LoadClass(const std::string& name, std::string& errorClass, std::string& errorMessage);
    Class* DefineSyntheticThrowable(const std::string& name);

    Thread* Attach(const std::string& name, bool daemon);
    void Detach(Thread* t);
    size_t LiveNonDaemonThreadsExcept(Thread* self);

    [[noreturn]] void Exit(jint code);
    [[noreturn]] void Fatal(const std::string& text);

  private:
    std::map<std::string, Class*> classes_;
    Class* DefineAppClass(const std::string& name, const std::string& bytes,
                          std::string& errorClass, std::string& errorMessage);
    Class* NewClass(const std::string& name, const std::string& super, bool throwable = false);
};

// --- helpers shared by the JNI implementation ---
Thread* CurrentThread();
void SetCurrentThread(Thread* t);
/// Validates `env` for the calling thread; fails loudly otherwise.
Thread& Enter(JNIEnv* env, const char* function, bool mayHavePending = false);
jobject NewRef(Object* o);
/// Local references created and not deleted yet, on every thread.
long long LiveLocalRefCount();
Object* Deref(jobject ref, const char* function);
Class* DerefClass(jclass ref, const char* function);
Method* DerefMethod(jmethodID id, const char* function);

/// Makes `t` hold a new exception of `className` (slash form) with an optional message.
void Throw(Thread& t, const std::string& className, const std::u16string* message,
           Object* cause = nullptr);
void Throw(Thread& t, const std::string& className, const std::string& message);
ThrowableObject* MakeThrowable(Thread& t, Class* cls, const std::u16string* message);
/// Java's Throwable.toString(): dotted class name, then ": message" when there is one.
std::u16string ThrowableText(ThrowableObject* e);
/// printStackTrace into `stream`.
void PrintStackTrace(ThrowableObject* e, StreamObject* stream);
/// Writes text (UTF-8 encoded) to a PrintStream or another stream.
void PrintTo(StreamObject* stream, const std::u16string& text);
StringObject* NewString(const std::u16string& s);
ArrayObject* NewStringArray(size_t n);

/// Runs a method body with arguments already converted; returns its result.
jvalue Invoke(Thread& t, Method* m, Object* self, const std::vector<jvalue>& args,
              bool* threw = nullptr);

// Text conversions of a VM: UTF-16 to UTF-8, modified UTF-8, and back.
std::string Utf8(const std::u16string& s);
std::u16string FromUtf8(const std::string& s);
std::string ModifiedUtf8(const std::u16string& s);
std::u16string FromModifiedUtf8(const char* s);
std::wstring Wide(const std::u16string& s);
std::u16string U16(const std::wstring& s);
std::string Narrow(const std::wstring& s);  // UTF-8
std::wstring WideFromUtf8(const std::string& s);
std::string Dotted(std::string name);

/// Starts a non-daemon (or daemon) Java thread that runs `body` attached to the VM.
void StartJavaThread(bool daemon, std::function<void(Thread&)> body);

/// Runs the scripted body of a method; returns the int result for `int` forms.
jint RunScript(Thread& t, Class* cls, const char* method, const ScriptSection& section,
               const std::vector<std::u16string>& args);

}  // namespace standin
