// The JNI native interface (JNIEnv function table) of the stand-in VM.
#include <windows.h>

#include <cstdarg>
#include <cstdlib>
#include <mutex>
#include <set>

#include "slots.h"
#include "vm.h"

namespace standin {

namespace {

// Functions the JNI standard allows while an exception is pending.
const std::set<std::string>& SafeWithPending() {
    static const std::set<std::string> names = {"ExceptionOccurred",
                                                "ExceptionDescribe",
                                                "ExceptionClear",
                                                "ExceptionCheck",
                                                "ReleaseStringChars",
                                                "ReleaseStringUTFChars",
                                                "ReleaseStringCritical",
                                                "DeleteLocalRef",
                                                "DeleteGlobalRef",
                                                "DeleteWeakGlobalRef",
                                                "MonitorExit",
                                                "PushLocalFrame",
                                                "PopLocalFrame",
                                                "ReleasePrimitiveArrayCritical",
                                                "ReleaseCharArrayElements"};
    return names;
}

std::set<char*> g_utfChars;
std::set<const jchar*> g_chars;

jobject Local(Object* o) { return NewRef(o); }

}  // namespace

bool g_checkJni = false;

Thread& Enter(JNIEnv* env, const char* function, bool) {
    Vm& vm = Vm::Get();
    Thread* t = CurrentThread();
    if (!t)
        vm.Fatal(std::string(function) + ": JNI call from a thread that is not attached to the VM");
    if (env != &t->env)
        vm.Fatal(std::string(function) +
                 ": JNIEnv of another thread used (a JNIEnv is valid only on its own thread)");
    if (t->pending && !SafeWithPending().count(function)) {
        // What -Xcheck:jni reports; the call itself goes ahead as in a real VM.
        LogEvent("jni_warning", {{"function", function},
                                 {"text", "JNI call made with exception pending"},
                                 {"pending", Dotted(t->pending->cls->name)}});
        if (g_checkJni) {
            std::string line = "WARNING in native method: JNI call made with exception pending\r\n";
            DWORD written = 0;
            WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), line.data(), static_cast<DWORD>(line.size()),
                      &written, nullptr);
        }
    }
    return *t;
}

namespace {
std::mutex g_refsLock;
std::vector<Ref*> g_refs;
}  // namespace

jobject NewRef(Object* o) {
    if (!o) return nullptr;
    auto* r = new Ref();
    r->object = o;
    r->thread = ::GetCurrentThreadId();
    std::lock_guard<std::mutex> lock(g_refsLock);
    g_refs.push_back(r);
    return reinterpret_cast<jobject>(r);
}

long long LiveLocalRefCount() {
    std::lock_guard<std::mutex> lock(g_refsLock);
    long long count = 0;
    for (const Ref* r : g_refs) count += (r->live && !r->global) ? 1 : 0;
    return count;
}

Object* Deref(jobject ref, const char* function) {
    if (!ref) return nullptr;
    auto* r = reinterpret_cast<Ref*>(ref);
    if (r->magic != Ref::kMagic) Vm::Get().Fatal(std::string(function) + ": not a JNI reference");
    if (!r->live) Vm::Get().Fatal(std::string(function) + ": use of a deleted reference");
    return r->object;
}

Class* DerefClass(jclass ref, const char* function) {
    Object* o = Deref(ref, function);
    if (!o) Vm::Get().Fatal(std::string(function) + ": null class");
    if (o->cls->name != "java/lang/Class")
        Vm::Get().Fatal(std::string(function) + ": argument is not a class");
    return static_cast<Class*>(o);
}

Method* DerefMethod(jmethodID id, const char* function) {
    auto* m = reinterpret_cast<Method*>(id);
    if (!m || m->magic != Method::kMagic)
        Vm::Get().Fatal(std::string(function) + ": invalid method ID");
    return m;
}

jvalue Invoke(Thread& t, Method* m, Object* self, const std::vector<jvalue>& args, bool* threw) {
    // As HotSpot: a call made while an exception is pending still runs; the old exception is
    // pending again afterwards unless the call throws one of its own.
    Object* before = t.pending;
    t.pending = nullptr;
    LogEvent("call", {{"class", m->owner->name},
                      {"method", m->name},
                      {"sig", m->signature},
                      {"thread", t.name}});
    ++t.javaDepth;
    jvalue r = m->body(t, self, args);
    --t.javaDepth;
    bool thrown = t.pending != nullptr;
    if (!thrown) t.pending = before;
    if (threw) *threw = thrown;
    return r;
}

namespace {

Vm& V() { return Vm::Get(); }

// Checks one object argument against the class its descriptor names.
void CheckArgument(Method* m, size_t index, Object* o, const char* function) {
    if (!o) return;
    const std::string& expected = m->parameterClasses[index];
    Class* want = nullptr;
    {
        std::string ec, em;
        want = V().BootClass(expected);
    }
    if (want && !o->cls->IsSubclassOf(want) && want->name != "java/lang/Object")
        V().Fatal(std::string(function) + ": argument " + std::to_string(index + 1) + " of " +
                  m->owner->name + "." + m->name + m->signature + " is a " + o->cls->name +
                  ", not a " + expected);
}

std::vector<jvalue> ArgsFromVaList(Method* m, va_list args, const char* function) {
    std::vector<jvalue> out;
    for (size_t i = 0; i < m->parameters.size(); ++i) {
        jvalue v{};
        switch (m->parameters[i]) {
            case 'Z':
                v.z = static_cast<jboolean>(va_arg(args, int));
                break;
            case 'B':
                v.b = static_cast<jbyte>(va_arg(args, int));
                break;
            case 'C':
                v.c = static_cast<jchar>(va_arg(args, int));
                break;
            case 'S':
                v.s = static_cast<jshort>(va_arg(args, int));
                break;
            case 'I':
                v.i = va_arg(args, jint);
                break;
            case 'J':
                v.j = va_arg(args, jlong);
                break;
            case 'F':
                v.f = static_cast<jfloat>(va_arg(args, double));
                break;
            case 'D':
                v.d = va_arg(args, double);
                break;
            default: {
                Object* o = Deref(va_arg(args, jobject), function);
                CheckArgument(m, i, o, function);
                v.l = reinterpret_cast<jobject>(o);
            }
        }
        out.push_back(v);
    }
    return out;
}

std::vector<jvalue> ArgsFromArray(Method* m, const jvalue* args, const char* function) {
    std::vector<jvalue> out;
    for (size_t i = 0; i < m->parameters.size(); ++i) {
        jvalue v = args[i];
        if (m->parameters[i] == 'L') {
            Object* o = Deref(args[i].l, function);
            CheckArgument(m, i, o, function);
            v.l = reinterpret_cast<jobject>(o);
        }
        out.push_back(v);
    }
    return out;
}

void CheckReturn(Method* m, char expected, const char* function) {
    if (m->returns != expected)
        V().Fatal(std::string(function) + ": wrong return type for " + m->owner->name + "." +
                  m->name + m->signature);
}

// Call<Type>Method: virtual dispatch on the receiver.
jvalue CallInstance(JNIEnv* env, jobject obj, jmethodID id, const jvalue* array, va_list* list,
                    char returns, const char* function) {
    Thread& t = Enter(env, function);
    Method* m = DerefMethod(id, function);
    Object* self = Deref(obj, function);
    if (!self) V().Fatal(std::string(function) + ": null receiver");
    if (m->isStatic) V().Fatal(std::string(function) + ": called with a static method ID");
    if (!self->cls->IsSubclassOf(m->owner))
        V().Fatal(std::string(function) + ": receiver of class " + self->cls->name +
                  " has no method " + m->name);
    CheckReturn(m, returns, function);
    Method* target = self->cls->Find(m->name, m->signature);
    std::vector<jvalue> args =
        list ? ArgsFromVaList(m, *list, function) : ArgsFromArray(m, array, function);
    bool threw = false;
    jvalue r = Invoke(t, target ? target : m, self, args, &threw);
    if (returns == 'L') r.l = threw ? nullptr : Local(reinterpret_cast<Object*>(r.l));
    return r;
}

jvalue CallStatic(JNIEnv* env, jclass clazz, jmethodID id, const jvalue* array, va_list* list,
                  char returns, const char* function) {
    Thread& t = Enter(env, function);
    Method* m = DerefMethod(id, function);
    Class* c = DerefClass(clazz, function);
    if (!m->isStatic) V().Fatal(std::string(function) + ": called with an instance method ID");
    if (!c->IsSubclassOf(m->owner))
        V().Fatal(std::string(function) + ": method " + m->name + " does not belong to class " +
                  c->name);
    CheckReturn(m, returns, function);
    std::vector<jvalue> args =
        list ? ArgsFromVaList(m, *list, function) : ArgsFromArray(m, array, function);
    bool threw = false;
    jvalue r = Invoke(t, m, nullptr, args, &threw);
    if (returns == 'L') r.l = threw ? nullptr : Local(reinterpret_cast<Object*>(r.l));
    return r;
}

jobject NewObjectCommon(JNIEnv* env, jclass clazz, jmethodID id, const jvalue* array, va_list* list,
                        const char* function) {
    Thread& t = Enter(env, function);
    Class* c = DerefClass(clazz, function);
    Method* m = DerefMethod(id, function);
    if (m->name != "<init>" || !c->IsSubclassOf(m->owner))
        V().Fatal(std::string(function) + ": method ID is not a constructor of " + c->name);
    if (!c->allocate)
        V().Fatal(std::string(function) + ": class " + c->name + " cannot be instantiated");
    std::vector<jvalue> args =
        list ? ArgsFromVaList(m, *list, function) : ArgsFromArray(m, array, function);
    Object* o = c->allocate(c);
    bool threw = false;
    Invoke(t, m, o, args, &threw);
    if (threw) return nullptr;
    return Local(o);
}

// ---------------------------------------------------------------- implemented slots

jint JNICALL GetVersion(JNIEnv* env) {
    Enter(env, "GetVersion");
    return 0x000a0000;  // JNI_VERSION_10, as a Java 17 VM answers
}

jclass JNICALL FindClass(JNIEnv* env, const char* name) {
    Thread& t = Enter(env, "FindClass");
    if (!name) V().Fatal("FindClass: null name");
    std::string errorClass, errorMessage;
    Class* c = V().LoadClass(name, errorClass, errorMessage);
    LogEvent("find_class",
             {{"name", std::string(name)}, {"found", c != nullptr}, {"thread", t.name}});
    if (c) return reinterpret_cast<jclass>(Local(c));
    if (!errorClass.empty()) {
        Throw(t, errorClass, errorMessage);
        return nullptr;
    }
    std::u16string dotted = FromUtf8(Dotted(name));
    Thread scratch;
    Throw(scratch, "java/lang/ClassNotFoundException", &dotted);
    static_cast<ThrowableObject*>(scratch.pending)->frames = {
        "java.base/jdk.internal.loader.BuiltinClassLoader.loadClass(BuiltinClassLoader.java:641)",
        "java.base/"
        "jdk.internal.loader.ClassLoaders$AppClassLoader.loadClass(ClassLoaders.java:188)",
        "java.base/java.lang.ClassLoader.loadClass(ClassLoader.java:525)"};
    std::u16string message = FromUtf8(name);
    Throw(t, "java/lang/NoClassDefFoundError", &message, scratch.pending);
    return nullptr;
}

jclass JNICALL GetSuperclass(JNIEnv* env, jclass clazz) {
    Enter(env, "GetSuperclass");
    return reinterpret_cast<jclass>(Local(DerefClass(clazz, "GetSuperclass")->super));
}

jboolean JNICALL IsAssignableFrom(JNIEnv* env, jclass a, jclass b) {
    Enter(env, "IsAssignableFrom");
    return DerefClass(a, "IsAssignableFrom")->IsSubclassOf(DerefClass(b, "IsAssignableFrom"));
}

jint JNICALL ThrowObject(JNIEnv* env, jthrowable obj) {
    Thread& t = Enter(env, "Throw");
    Object* o = Deref(obj, "Throw");
    if (!o || !o->cls->isThrowable) V().Fatal("Throw: not a throwable");
    t.pending = o;
    return JNI_OK;
}

jint JNICALL ThrowNew(JNIEnv* env, jclass clazz, const char* message) {
    Thread& t = Enter(env, "ThrowNew");
    Class* c = DerefClass(clazz, "ThrowNew");
    if (!c->isThrowable) V().Fatal("ThrowNew: not a throwable class");
    std::u16string m = message ? FromModifiedUtf8(message) : u"";
    t.pending = MakeThrowable(t, c, message ? &m : nullptr);
    return JNI_OK;
}

jthrowable JNICALL ExceptionOccurred(JNIEnv* env) {
    Thread& t = Enter(env, "ExceptionOccurred");
    return reinterpret_cast<jthrowable>(Local(t.pending));
}

jboolean JNICALL ExceptionCheck(JNIEnv* env) {
    Thread& t = Enter(env, "ExceptionCheck");
    return t.pending != nullptr;
}

void JNICALL ExceptionDescribe(JNIEnv* env) {
    Thread& t = Enter(env, "ExceptionDescribe");
    if (!t.pending) return;
    auto* e = static_cast<ThrowableObject*>(t.pending);
    t.pending = nullptr;  // a real VM clears the exception while describing it
    StreamObject* err = nullptr;
    {
        std::lock_guard<std::recursive_mutex> guard(V().lock);
        err = V().err;
    }
    std::string target = err && err->target
                             ? (err->target->kind == StreamObject::Kind::File ? "file" : "standard")
                             : "?";
    LogEvent("exception_describe",
             {{"class", Dotted(e->cls->name)},
              {"message", e->hasMessage ? JsonValue(e->message) : JsonValue(nullptr)},
              {"thread", t.name},
              {"stream", target}});
    PrintTo(err, u"Exception in thread \"" + FromUtf8(t.name) + u"\" ");
    PrintStackTrace(e, err);
}

void JNICALL ExceptionClear(JNIEnv* env) {
    Thread& t = Enter(env, "ExceptionClear");
    if (t.pending) LogEvent("exception_clear", {{"class", Dotted(t.pending->cls->name)}});
    t.pending = nullptr;
}

void JNICALL FatalError(JNIEnv* env, const char* message) {
    Enter(env, "FatalError");
    V().Fatal(std::string("FatalError called: ") + (message ? message : ""));
}

// Where each open local frame of a thread began in g_refs; popping one frees the thread's
// local references made since, as a VM does.
std::vector<std::pair<DWORD, std::size_t>> g_frames;

jint JNICALL PushLocalFrame(JNIEnv* env, jint) {
    Enter(env, "PushLocalFrame");
    std::lock_guard<std::mutex> lock(g_refsLock);
    g_frames.emplace_back(::GetCurrentThreadId(), g_refs.size());
    return JNI_OK;
}

jobject JNICALL PopLocalFrame(JNIEnv* env, jobject result) {
    Enter(env, "PopLocalFrame");
    Object* kept = Deref(result, "PopLocalFrame");
    {
        std::lock_guard<std::mutex> lock(g_refsLock);
        DWORD self = ::GetCurrentThreadId();
        for (std::size_t i = g_frames.size(); i-- > 0;) {
            if (g_frames[i].first != self) continue;
            for (std::size_t j = g_frames[i].second; j < g_refs.size(); ++j) {
                Ref* r = g_refs[j];
                if (r->thread == self && !r->global) r->live = false;
            }
            g_frames.erase(g_frames.begin() + static_cast<std::ptrdiff_t>(i));
            break;
        }
    }
    return Local(kept);
}

jobject JNICALL NewGlobalRef(JNIEnv* env, jobject obj) {
    Enter(env, "NewGlobalRef");
    jobject r = Local(Deref(obj, "NewGlobalRef"));
    if (r) reinterpret_cast<Ref*>(r)->global = true;
    return r;
}

void JNICALL DeleteGlobalRef(JNIEnv* env, jobject obj) {
    Enter(env, "DeleteGlobalRef");
    if (!obj) return;
    Deref(obj, "DeleteGlobalRef");
    auto* r = reinterpret_cast<Ref*>(obj);
    if (!r->global) V().Fatal("DeleteGlobalRef: a local reference passed");
    r->live = false;
}

void JNICALL DeleteLocalRef(JNIEnv* env, jobject obj) {
    Enter(env, "DeleteLocalRef");
    if (!obj) return;
    Deref(obj, "DeleteLocalRef");
    auto* r = reinterpret_cast<Ref*>(obj);
    if (r->global) V().Fatal("DeleteLocalRef: a global reference passed");
    r->live = false;
}

jboolean JNICALL IsSameObject(JNIEnv* env, jobject a, jobject b) {
    Enter(env, "IsSameObject");
    return Deref(a, "IsSameObject") == Deref(b, "IsSameObject");
}

jobject JNICALL NewLocalRef(JNIEnv* env, jobject obj) {
    Enter(env, "NewLocalRef");
    return Local(Deref(obj, "NewLocalRef"));
}

jint JNICALL EnsureLocalCapacity(JNIEnv* env, jint) {
    Enter(env, "EnsureLocalCapacity");
    return JNI_OK;
}

jobject JNICALL NewObject(JNIEnv* env, jclass clazz, jmethodID id, ...) {
    va_list args;
    va_start(args, id);
    jobject r = NewObjectCommon(env, clazz, id, nullptr, &args, "NewObject");
    va_end(args);
    return r;
}
jobject JNICALL NewObjectV(JNIEnv* env, jclass clazz, jmethodID id, va_list args) {
    va_list copy;
    va_copy(copy, args);
    jobject r = NewObjectCommon(env, clazz, id, nullptr, &copy, "NewObjectV");
    va_end(copy);
    return r;
}
jobject JNICALL NewObjectA(JNIEnv* env, jclass clazz, jmethodID id, const jvalue* args) {
    return NewObjectCommon(env, clazz, id, args, nullptr, "NewObjectA");
}

jclass JNICALL GetObjectClass(JNIEnv* env, jobject obj) {
    Enter(env, "GetObjectClass");
    Object* o = Deref(obj, "GetObjectClass");
    if (!o) V().Fatal("GetObjectClass: null object");
    return reinterpret_cast<jclass>(Local(o->cls));
}

jboolean JNICALL IsInstanceOf(JNIEnv* env, jobject obj, jclass clazz) {
    Enter(env, "IsInstanceOf");
    Object* o = Deref(obj, "IsInstanceOf");
    return !o || o->cls->IsSubclassOf(DerefClass(clazz, "IsInstanceOf"));
}

jmethodID LookupMethod(JNIEnv* env, jclass clazz, const char* name, const char* sig, bool isStatic,
                       const char* function) {
    Thread& t = Enter(env, function);
    Class* c = DerefClass(clazz, function);
    if (!name || !sig) V().Fatal(std::string(function) + ": null name or signature");
    Method* m = c->Find(name, sig);
    if (m && m->isStatic != isStatic) m = nullptr;
    if (!isStatic && m && std::string(name) == "<init>" && m->owner != c)
        m = nullptr;  // constructors are not inherited
    LogEvent("get_method", {{"class", c->name},
                            {"name", std::string(name)},
                            {"sig", std::string(sig)},
                            {"static", isStatic},
                            {"found", m != nullptr},
                            {"thread", t.name}});
    if (!m) {
        Throw(t, "java/lang/NoSuchMethodError", std::string(name));
        return nullptr;
    }
    return reinterpret_cast<jmethodID>(m);
}

jmethodID JNICALL GetMethodID(JNIEnv* env, jclass clazz, const char* name, const char* sig) {
    return LookupMethod(env, clazz, name, sig, false, "GetMethodID");
}
jmethodID JNICALL GetStaticMethodID(JNIEnv* env, jclass clazz, const char* name, const char* sig) {
    return LookupMethod(env, clazz, name, sig, true, "GetStaticMethodID");
}

// The stand-in models no fields: a lookup fails as on a VM whose class lacks the field.
jfieldID JNICALL GetStaticFieldID(JNIEnv* env, jclass clazz, const char* name, const char* sig) {
    Thread& t = Enter(env, "GetStaticFieldID");
    Class* c = DerefClass(clazz, "GetStaticFieldID");
    LogEvent("get_static_field", {{"class", c->name},
                                  {"name", std::string(name ? name : "")},
                                  {"sig", std::string(sig ? sig : "")}});
    Throw(t, "java/lang/NoSuchFieldError", std::string(name ? name : ""));
    return nullptr;
}

#define STANDIN_CALLS(Type, jtype, letter, field)                                               \
    jtype JNICALL Call##Type##Method(JNIEnv* env, jobject obj, jmethodID id, ...) {             \
        va_list args;                                                                           \
        va_start(args, id);                                                                     \
        jvalue r = CallInstance(env, obj, id, nullptr, &args, letter, "Call" #Type "Method");   \
        va_end(args);                                                                           \
        return (jtype)r.field;                                                                  \
    }                                                                                           \
    jtype JNICALL Call##Type##MethodV(JNIEnv* env, jobject obj, jmethodID id, va_list args) {   \
        va_list copy;                                                                           \
        va_copy(copy, args);                                                                    \
        jvalue r = CallInstance(env, obj, id, nullptr, &copy, letter, "Call" #Type "MethodV");  \
        va_end(copy);                                                                           \
        return (jtype)r.field;                                                                  \
    }                                                                                           \
    jtype JNICALL Call##Type##MethodA(JNIEnv* env, jobject obj, jmethodID id,                   \
                                      const jvalue* args) {                                     \
        return (jtype)CallInstance(env, obj, id, args, nullptr, letter, "Call" #Type "MethodA") \
            .field;                                                                             \
    }                                                                                           \
    jtype JNICALL CallStatic##Type##Method(JNIEnv* env, jclass clazz, jmethodID id, ...) {      \
        va_list args;                                                                           \
        va_start(args, id);                                                                     \
        jvalue r =                                                                              \
            CallStatic(env, clazz, id, nullptr, &args, letter, "CallStatic" #Type "Method");    \
        va_end(args);                                                                           \
        return (jtype)r.field;                                                                  \
    }                                                                                           \
    jtype JNICALL CallStatic##Type##MethodV(JNIEnv* env, jclass clazz, jmethodID id,            \
                                            va_list args) {                                     \
        va_list copy;                                                                           \
        va_copy(copy, args);                                                                    \
        jvalue r =                                                                              \
            CallStatic(env, clazz, id, nullptr, &copy, letter, "CallStatic" #Type "MethodV");   \
        va_end(copy);                                                                           \
        return (jtype)r.field;                                                                  \
    }                                                                                           \
    jtype JNICALL CallStatic##Type##MethodA(JNIEnv* env, jclass clazz, jmethodID id,            \
                                            const jvalue* args) {                               \
        return (jtype)CallStatic(env, clazz, id, args, nullptr, letter,                         \
                                 "CallStatic" #Type "MethodA")                                  \
            .field;                                                                             \
    }

STANDIN_CALLS(Object, jobject, 'L', l)
STANDIN_CALLS(Boolean, jboolean, 'Z', z)
STANDIN_CALLS(Int, jint, 'I', i)
#undef STANDIN_CALLS

void JNICALL CallVoidMethod(JNIEnv* env, jobject obj, jmethodID id, ...) {
    va_list args;
    va_start(args, id);
    CallInstance(env, obj, id, nullptr, &args, 'V', "CallVoidMethod");
    va_end(args);
}
void JNICALL CallVoidMethodV(JNIEnv* env, jobject obj, jmethodID id, va_list args) {
    va_list copy;
    va_copy(copy, args);
    CallInstance(env, obj, id, nullptr, &copy, 'V', "CallVoidMethodV");
    va_end(copy);
}
void JNICALL CallVoidMethodA(JNIEnv* env, jobject obj, jmethodID id, const jvalue* args) {
    CallInstance(env, obj, id, args, nullptr, 'V', "CallVoidMethodA");
}
void JNICALL CallStaticVoidMethod(JNIEnv* env, jclass clazz, jmethodID id, ...) {
    va_list args;
    va_start(args, id);
    CallStatic(env, clazz, id, nullptr, &args, 'V', "CallStaticVoidMethod");
    va_end(args);
}
void JNICALL CallStaticVoidMethodV(JNIEnv* env, jclass clazz, jmethodID id, va_list args) {
    va_list copy;
    va_copy(copy, args);
    CallStatic(env, clazz, id, nullptr, &copy, 'V', "CallStaticVoidMethodV");
    va_end(copy);
}
void JNICALL CallStaticVoidMethodA(JNIEnv* env, jclass clazz, jmethodID id, const jvalue* args) {
    CallStatic(env, clazz, id, args, nullptr, 'V', "CallStaticVoidMethodA");
}

StringObject* DerefString(jstring s, const char* function) {
    Object* o = Deref(s, function);
    if (!o) V().Fatal(std::string(function) + ": null string");
    if (o->cls->name != "java/lang/String")
        V().Fatal(std::string(function) + ": not a java.lang.String");
    return static_cast<StringObject*>(o);
}

ArrayObject* DerefArray(jarray a, char kind, const char* function) {
    Object* o = Deref(a, function);
    if (!o) V().Fatal(std::string(function) + ": null array");
    auto* array = dynamic_cast<ArrayObject*>(o);
    if (!array || (kind && array->kind != kind))
        V().Fatal(std::string(function) + ": wrong kind of array");
    return array;
}

jstring JNICALL NewString(JNIEnv* env, const jchar* chars, jsize n) {
    Enter(env, "NewString");
    return reinterpret_cast<jstring>(
        Local(standin::NewString(std::u16string(reinterpret_cast<const char16_t*>(chars), n))));
}

jsize JNICALL GetStringLength(JNIEnv* env, jstring s) {
    Enter(env, "GetStringLength");
    return static_cast<jsize>(DerefString(s, "GetStringLength")->value.size());
}

const jchar* JNICALL GetStringChars(JNIEnv* env, jstring s, jboolean* isCopy) {
    Enter(env, "GetStringChars");
    const std::u16string& v = DerefString(s, "GetStringChars")->value;
    auto* copy = static_cast<jchar*>(std::malloc((v.size() + 1) * sizeof(jchar)));
    std::copy(v.begin(), v.end(), copy);
    copy[v.size()] = 0;
    if (isCopy) *isCopy = JNI_TRUE;
    std::lock_guard<std::recursive_mutex> guard(V().lock);
    g_chars.insert(copy);
    return copy;
}

void JNICALL ReleaseStringChars(JNIEnv* env, jstring s, const jchar* chars) {
    Enter(env, "ReleaseStringChars");
    DerefString(s, "ReleaseStringChars");
    std::lock_guard<std::recursive_mutex> guard(V().lock);
    if (!g_chars.erase(chars))
        V().Fatal("ReleaseStringChars: pointer not from GetStringChars (or released twice)");
    std::free(const_cast<jchar*>(chars));
}

jstring JNICALL NewStringUTF(JNIEnv* env, const char* utf) {
    Enter(env, "NewStringUTF");
    if (!utf) return nullptr;
    return reinterpret_cast<jstring>(Local(standin::NewString(FromModifiedUtf8(utf))));
}

jsize JNICALL GetStringUTFLength(JNIEnv* env, jstring s) {
    Enter(env, "GetStringUTFLength");
    return static_cast<jsize>(ModifiedUtf8(DerefString(s, "GetStringUTFLength")->value).size());
}

const char* JNICALL GetStringUTFChars(JNIEnv* env, jstring s, jboolean* isCopy) {
    Enter(env, "GetStringUTFChars");
    std::string utf = ModifiedUtf8(DerefString(s, "GetStringUTFChars")->value);
    auto* copy = static_cast<char*>(std::malloc(utf.size() + 1));
    std::copy(utf.begin(), utf.end(), copy);
    copy[utf.size()] = 0;
    if (isCopy) *isCopy = JNI_TRUE;
    std::lock_guard<std::recursive_mutex> guard(V().lock);
    g_utfChars.insert(copy);
    return copy;
}

void JNICALL ReleaseStringUTFChars(JNIEnv* env, jstring s, const char* chars) {
    Enter(env, "ReleaseStringUTFChars");
    DerefString(s, "ReleaseStringUTFChars");
    std::lock_guard<std::recursive_mutex> guard(V().lock);
    if (!g_utfChars.erase(const_cast<char*>(chars)))
        V().Fatal("ReleaseStringUTFChars: pointer not from GetStringUTFChars (or released twice)");
    std::free(const_cast<char*>(chars));
}

void JNICALL GetStringRegion(JNIEnv* env, jstring s, jsize start, jsize n, jchar* buffer) {
    Thread& t = Enter(env, "GetStringRegion");
    const std::u16string& v = DerefString(s, "GetStringRegion")->value;
    if (start < 0 || n < 0 || static_cast<size_t>(start) + n > v.size()) {
        Throw(t, "java/lang/StringIndexOutOfBoundsException",
              "begin " + std::to_string(start) + ", end " + std::to_string(start + n) +
                  ", length " + std::to_string(v.size()));
        return;
    }
    std::copy(v.begin() + start, v.begin() + start + n, buffer);
}

jsize JNICALL GetArrayLength(JNIEnv* env, jarray a) {
    Enter(env, "GetArrayLength");
    return static_cast<jsize>(DerefArray(a, 0, "GetArrayLength")->Length());
}

jobjectArray JNICALL NewObjectArray(JNIEnv* env, jsize n, jclass elementClass, jobject initial) {
    Thread& t = Enter(env, "NewObjectArray");
    Class* element = DerefClass(elementClass, "NewObjectArray");
    Object* init = Deref(initial, "NewObjectArray");
    if (n < 0) {
        Throw(t, "java/lang/NegativeArraySizeException", std::to_string(n));
        return nullptr;
    }
    if (init && !init->cls->IsSubclassOf(element)) {
        Throw(t, "java/lang/ArrayStoreException", Dotted(init->cls->name));
        return nullptr;
    }
    Class* arrayClass = V().BootClass("[L" + element->name + ";");
    if (!arrayClass) arrayClass = V().BootClass("[Ljava/lang/Object;");
    auto* a = new ArrayObject(arrayClass, 'L', element, static_cast<size_t>(n));
    for (auto& o : a->objects) o = init;
    return reinterpret_cast<jobjectArray>(Local(a));
}

jobject JNICALL GetObjectArrayElement(JNIEnv* env, jobjectArray a, jsize index) {
    Thread& t = Enter(env, "GetObjectArrayElement");
    ArrayObject* array = DerefArray(a, 'L', "GetObjectArrayElement");
    if (index < 0 || static_cast<size_t>(index) >= array->objects.size()) {
        Throw(t, "java/lang/ArrayIndexOutOfBoundsException",
              "Index " + std::to_string(index) + " out of bounds for length " +
                  std::to_string(array->objects.size()));
        return nullptr;
    }
    return Local(array->objects[index]);
}

void JNICALL SetObjectArrayElement(JNIEnv* env, jobjectArray a, jsize index, jobject value) {
    Thread& t = Enter(env, "SetObjectArrayElement");
    ArrayObject* array = DerefArray(a, 'L', "SetObjectArrayElement");
    Object* o = Deref(value, "SetObjectArrayElement");
    if (index < 0 || static_cast<size_t>(index) >= array->objects.size()) {
        Throw(t, "java/lang/ArrayIndexOutOfBoundsException",
              "Index " + std::to_string(index) + " out of bounds for length " +
                  std::to_string(array->objects.size()));
        return;
    }
    if (o && !o->cls->IsSubclassOf(array->element)) {
        Throw(t, "java/lang/ArrayStoreException", Dotted(o->cls->name));
        return;
    }
    array->objects[index] = o;
}

jcharArray JNICALL NewCharArray(JNIEnv* env, jsize n) {
    Thread& t = Enter(env, "NewCharArray");
    if (n < 0) {
        Throw(t, "java/lang/NegativeArraySizeException", std::to_string(n));
        return nullptr;
    }
    return reinterpret_cast<jcharArray>(
        Local(new ArrayObject(V().BootClass("[C"), 'C', nullptr, static_cast<size_t>(n))));
}

bool RegionOk(Thread& t, ArrayObject* a, jsize start, jsize n) {
    if (start < 0 || n < 0 || static_cast<size_t>(start) + static_cast<size_t>(n) > a->Length()) {
        Throw(t, "java/lang/ArrayIndexOutOfBoundsException",
              "Array region " + std::to_string(start) + ".." +
                  std::to_string(static_cast<long long>(start) + n) + " out of bounds for length " +
                  std::to_string(a->Length()));
        return false;
    }
    return true;
}

void JNICALL SetCharArrayRegion(JNIEnv* env, jcharArray a, jsize start, jsize n,
                                const jchar* buffer) {
    Thread& t = Enter(env, "SetCharArrayRegion");
    ArrayObject* array = DerefArray(a, 'C', "SetCharArrayRegion");
    if (!RegionOk(t, array, start, n)) return;
    std::copy(buffer, buffer + n, array->chars.begin() + start);
}

void JNICALL GetCharArrayRegion(JNIEnv* env, jcharArray a, jsize start, jsize n, jchar* buffer) {
    Thread& t = Enter(env, "GetCharArrayRegion");
    ArrayObject* array = DerefArray(a, 'C', "GetCharArrayRegion");
    if (!RegionOk(t, array, start, n)) return;
    std::copy(array->chars.begin() + start, array->chars.begin() + start + n, buffer);
}

jint JNICALL GetJavaVM(JNIEnv* env, JavaVM** vm) {
    Enter(env, "GetJavaVM");
    *vm = &V().javaVm;
    return JNI_OK;
}

jobjectRefType JNICALL GetObjectRefType(JNIEnv* env, jobject obj) {
    Enter(env, "GetObjectRefType");
    if (!obj) return JNIInvalidRefType;
    auto* r = reinterpret_cast<Ref*>(obj);
    if (r->magic != Ref::kMagic || !r->live) return JNIInvalidRefType;
    return r->global ? JNIGlobalRefType : JNILocalRefType;
}

// ---------------------------------------------------------------- loud stubs

#define STANDIN_STUB(name)                                                               \
    void JNICALL Unimplemented_##name() {                                                \
        Vm::Get().Fatal("JNI function " #name " is not implemented by the stand-in VM"); \
    }
STANDIN_NATIVE_SLOTS(STANDIN_STUB)
#undef STANDIN_STUB

JNINativeInterface_ BuildNativeInterface() {
    JNINativeInterface_ table{};
    // Every named slot first gets a stub that reports its own name, then the implemented
    // functions replace theirs; all by member name, so each lands where jni.h puts it.
#define STANDIN_ASSIGN_STUB(name) \
    table.name = reinterpret_cast<decltype(table.name)>(&Unimplemented_##name);
    STANDIN_NATIVE_SLOTS(STANDIN_ASSIGN_STUB)
#undef STANDIN_ASSIGN_STUB
    table.GetVersion = GetVersion;
    table.FindClass = FindClass;
    table.GetSuperclass = GetSuperclass;
    table.IsAssignableFrom = IsAssignableFrom;
    table.Throw = ThrowObject;
    table.ThrowNew = ThrowNew;
    table.ExceptionOccurred = ExceptionOccurred;
    table.ExceptionDescribe = ExceptionDescribe;
    table.ExceptionClear = ExceptionClear;
    table.ExceptionCheck = ExceptionCheck;
    table.FatalError = FatalError;
    table.PushLocalFrame = PushLocalFrame;
    table.PopLocalFrame = PopLocalFrame;
    table.NewGlobalRef = NewGlobalRef;
    table.DeleteGlobalRef = DeleteGlobalRef;
    table.DeleteLocalRef = DeleteLocalRef;
    table.IsSameObject = IsSameObject;
    table.NewLocalRef = NewLocalRef;
    table.EnsureLocalCapacity = EnsureLocalCapacity;
    table.NewObject = NewObject;
    table.NewObjectV = NewObjectV;
    table.NewObjectA = NewObjectA;
    table.GetObjectClass = GetObjectClass;
    table.IsInstanceOf = IsInstanceOf;
    table.GetMethodID = GetMethodID;
    table.GetStaticMethodID = GetStaticMethodID;
    table.GetStaticFieldID = GetStaticFieldID;
    table.CallObjectMethod = CallObjectMethod;
    table.CallObjectMethodV = CallObjectMethodV;
    table.CallObjectMethodA = CallObjectMethodA;
    table.CallBooleanMethod = CallBooleanMethod;
    table.CallBooleanMethodV = CallBooleanMethodV;
    table.CallBooleanMethodA = CallBooleanMethodA;
    table.CallIntMethod = CallIntMethod;
    table.CallIntMethodV = CallIntMethodV;
    table.CallIntMethodA = CallIntMethodA;
    table.CallVoidMethod = CallVoidMethod;
    table.CallVoidMethodV = CallVoidMethodV;
    table.CallVoidMethodA = CallVoidMethodA;
    table.CallStaticObjectMethod = CallStaticObjectMethod;
    table.CallStaticObjectMethodV = CallStaticObjectMethodV;
    table.CallStaticObjectMethodA = CallStaticObjectMethodA;
    table.CallStaticBooleanMethod = CallStaticBooleanMethod;
    table.CallStaticBooleanMethodV = CallStaticBooleanMethodV;
    table.CallStaticBooleanMethodA = CallStaticBooleanMethodA;
    table.CallStaticIntMethod = CallStaticIntMethod;
    table.CallStaticIntMethodV = CallStaticIntMethodV;
    table.CallStaticIntMethodA = CallStaticIntMethodA;
    table.CallStaticVoidMethod = CallStaticVoidMethod;
    table.CallStaticVoidMethodV = CallStaticVoidMethodV;
    table.CallStaticVoidMethodA = CallStaticVoidMethodA;
    table.NewString = NewString;
    table.GetStringLength = GetStringLength;
    table.GetStringChars = GetStringChars;
    table.ReleaseStringChars = ReleaseStringChars;
    table.NewStringUTF = NewStringUTF;
    table.GetStringUTFLength = GetStringUTFLength;
    table.GetStringUTFChars = GetStringUTFChars;
    table.ReleaseStringUTFChars = ReleaseStringUTFChars;
    table.GetStringRegion = GetStringRegion;
    table.GetArrayLength = GetArrayLength;
    table.NewObjectArray = NewObjectArray;
    table.GetObjectArrayElement = GetObjectArrayElement;
    table.SetObjectArrayElement = SetObjectArrayElement;
    table.NewCharArray = NewCharArray;
    table.GetCharArrayRegion = GetCharArrayRegion;
    table.SetCharArrayRegion = SetCharArrayRegion;
    table.GetJavaVM = GetJavaVM;
    table.GetObjectRefType = GetObjectRefType;
    return table;
}

}  // namespace

extern const JNINativeInterface_ g_nativeInterface = BuildNativeInterface();

}  // namespace standin
