// The built-in classes the launcher uses by name, and the application classes defined from
// scripts or real class files.
#include <windows.h>

#include "vm.h"

namespace standin {
namespace {

jvalue Void() {
    jvalue v{};
    return v;
}
jvalue ObjectValue(Object* o) {
    jvalue v{};
    v.l = reinterpret_cast<jobject>(o);  // raw object inside the VM; the JNI layer wraps it
    return v;
}
Object* Arg(const std::vector<jvalue>& args, size_t i) {
    return reinterpret_cast<Object*>(args[i].l);
}

std::u16string StringValue(Object* o) { return o ? static_cast<StringObject*>(o)->value : u"null"; }

std::vector<std::u16string> StringArrayValues(Object* array) {
    std::vector<std::u16string> out;
    if (!array) return out;
    for (Object* o : static_cast<ArrayObject*>(array)->objects) out.push_back(StringValue(o));
    return out;
}

// Windows error text as Java shows it in exception messages: no trailing period or newline.
std::u16string SystemMessage(DWORD error) {
    wchar_t* buffer = nullptr;
    DWORD n = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text = n && buffer ? std::wstring(buffer, n) : L"error " + std::to_wstring(error);
    if (buffer) LocalFree(buffer);
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' ' ||
                             text.back() == L'.'))
        text.pop_back();
    return U16(text);
}

}  // namespace

Class* Vm::NewClass(const std::string& name, const std::string& super, bool throwable) {
    Class* meta = classes_.count("java/lang/Class") ? classes_["java/lang/Class"] : nullptr;
    auto* c = new Class(meta, name);
    if (!super.empty()) {
        c->super = classes_.at(super);
        c->allocate = c->super->allocate;
        c->isThrowable = c->super->isThrowable;
    }
    if (throwable) c->isThrowable = true;
    classes_[name] = c;
    return c;
}

void Vm::Boot() {
    std::lock_guard<std::recursive_mutex> booting(lock);
    Class* object = NewClass("java/lang/Object", "");
    Class* klass = NewClass("java/lang/Class", "java/lang/Object");
    object->cls = klass;
    klass->cls = klass;
    object->allocate = [](Class* c) -> Object* { return new Object(c); };
    klass->allocate = object->allocate;
    object->AddMethod("<init>", "()V", false,
                      [](Thread&, Object*, const std::vector<jvalue>&) { return Void(); });
    object->AddMethod("toString", "()Ljava/lang/String;", false,
                      [](Thread&, Object* self, const std::vector<jvalue>&) {
                          char buf[32];
                          std::snprintf(
                              buf, sizeof buf, "@%x",
                              static_cast<unsigned>(reinterpret_cast<uintptr_t>(self) & 0xFFFFFFF));
                          return ObjectValue(NewString(FromUtf8(Dotted(self->cls->name) + buf)));
                      });
    klass->AddMethod(
        "getName", "()Ljava/lang/String;", false,
        [](Thread&, Object* self, const std::vector<jvalue>&) {
            return ObjectValue(NewString(FromUtf8(Dotted(static_cast<Class*>(self)->name))));
        });

    // java.lang.String
    Class* string = NewClass("java/lang/String", "java/lang/Object");
    string->allocate = [](Class* c) -> Object* { return new StringObject(c, u""); };
    string->AddMethod("<init>", "()V", false,
                      [](Thread&, Object*, const std::vector<jvalue>&) { return Void(); });
    string->AddMethod("<init>", "([C)V", false,
                      [](Thread& t, Object* self, const std::vector<jvalue>& a) {
                          auto* chars = static_cast<ArrayObject*>(Arg(a, 0));
                          if (!chars) {
                              Throw(t, "java/lang/NullPointerException", nullptr);
                              return Void();
                          }
                          static_cast<StringObject*>(self)->value.assign(chars->chars.begin(),
                                                                         chars->chars.end());
                          return Void();
                      });
    string->AddMethod("length", "()I", false,
                      [](Thread&, Object* self, const std::vector<jvalue>&) {
                          jvalue v{};
                          v.i = static_cast<jint>(static_cast<StringObject*>(self)->value.size());
                          return v;
                      });
    string->AddMethod(
        "toString", "()Ljava/lang/String;", false,
        [](Thread&, Object* self, const std::vector<jvalue>&) { return ObjectValue(self); });
    Class* stringArray = NewClass("[Ljava/lang/String;", "java/lang/Object");
    NewClass("[Ljava/lang/Object;", "java/lang/Object");
    NewClass("[C", "java/lang/Object");
    (void)stringArray;

    // Throwables
    Class* throwable = NewClass("java/lang/Throwable", "java/lang/Object", true);
    throwable->allocate = [](Class* c) -> Object* { return new ThrowableObject(c); };
    throwable->AddMethod("<init>", "()V", false,
                         [](Thread&, Object*, const std::vector<jvalue>&) { return Void(); });
    throwable->AddMethod("<init>", "(Ljava/lang/String;)V", false,
                         [](Thread&, Object* self, const std::vector<jvalue>& a) {
                             auto* e = static_cast<ThrowableObject*>(self);
                             if (Object* m = Arg(a, 0)) {
                                 e->hasMessage = true;
                                 e->message = static_cast<StringObject*>(m)->value;
                             }
                             return Void();
                         });
    throwable->AddMethod("getMessage", "()Ljava/lang/String;", false,
                         [](Thread&, Object* self, const std::vector<jvalue>&) {
                             auto* e = static_cast<ThrowableObject*>(self);
                             return ObjectValue(e->hasMessage ? NewString(e->message) : nullptr);
                         });
    throwable->AddMethod(
        "toString", "()Ljava/lang/String;", false,
        [](Thread&, Object* self, const std::vector<jvalue>&) {
            return ObjectValue(NewString(ThrowableText(static_cast<ThrowableObject*>(self))));
        });
    throwable->AddMethod("printStackTrace", "()V", false,
                         [](Thread&, Object* self, const std::vector<jvalue>&) {
                             PrintStackTrace(static_cast<ThrowableObject*>(self), Vm::Get().err);
                             return Void();
                         });
    throwable->AddMethod("printStackTrace", "(Ljava/io/PrintStream;)V", false,
                         [](Thread& t, Object* self, const std::vector<jvalue>& a) {
                             auto* s = static_cast<StreamObject*>(Arg(a, 0));
                             if (!s) {
                                 Throw(t, "java/lang/NullPointerException", nullptr);
                                 return Void();
                             }
                             PrintStackTrace(static_cast<ThrowableObject*>(self), s);
                             return Void();
                         });
    const char* hierarchy[][2] = {
        {"java/lang/Exception", "java/lang/Throwable"},
        {"java/lang/Error", "java/lang/Throwable"},
        {"java/lang/RuntimeException", "java/lang/Exception"},
        {"java/lang/ReflectiveOperationException", "java/lang/Exception"},
        {"java/lang/ClassNotFoundException", "java/lang/ReflectiveOperationException"},
        {"java/lang/InterruptedException", "java/lang/Exception"},
        {"java/io/IOException", "java/lang/Exception"},
        {"java/io/FileNotFoundException", "java/io/IOException"},
        {"java/lang/IllegalArgumentException", "java/lang/RuntimeException"},
        {"java/lang/IllegalStateException", "java/lang/RuntimeException"},
        {"java/lang/NullPointerException", "java/lang/RuntimeException"},
        {"java/lang/UnsupportedOperationException", "java/lang/RuntimeException"},
        {"java/lang/ArithmeticException", "java/lang/RuntimeException"},
        {"java/lang/ArrayStoreException", "java/lang/RuntimeException"},
        {"java/lang/NegativeArraySizeException", "java/lang/RuntimeException"},
        {"java/lang/IndexOutOfBoundsException", "java/lang/RuntimeException"},
        {"java/lang/ArrayIndexOutOfBoundsException", "java/lang/IndexOutOfBoundsException"},
        {"java/lang/StringIndexOutOfBoundsException", "java/lang/IndexOutOfBoundsException"},
        {"java/lang/LinkageError", "java/lang/Error"},
        {"java/lang/NoClassDefFoundError", "java/lang/LinkageError"},
        {"java/lang/ClassFormatError", "java/lang/LinkageError"},
        {"java/lang/IncompatibleClassChangeError", "java/lang/LinkageError"},
        {"java/lang/NoSuchMethodError", "java/lang/IncompatibleClassChangeError"},
        {"java/lang/NoSuchFieldError", "java/lang/IncompatibleClassChangeError"},
        {"java/lang/VirtualMachineError", "java/lang/Error"},
        {"java/lang/OutOfMemoryError", "java/lang/VirtualMachineError"},
        {"java/lang/StackOverflowError", "java/lang/VirtualMachineError"},
        {"java/lang/InternalError", "java/lang/VirtualMachineError"},
    };
    for (auto& [name, super] : hierarchy) NewClass(name, super);

    // Output streams
    Class* outputStream = NewClass("java/io/OutputStream", "java/lang/Object");
    outputStream->allocate = [](Class* c) -> Object* {
        return new StreamObject(c, StreamObject::Kind::Bytes);
    };
    outputStream->AddMethod("flush", "()V", false,
                            [](Thread&, Object*, const std::vector<jvalue>&) { return Void(); });
    outputStream->AddMethod(
        "close", "()V", false, [](Thread&, Object* self, const std::vector<jvalue>&) {
            auto* s = static_cast<StreamObject*>(self);
            if (s->kind == StreamObject::Kind::File && s->file != INVALID_HANDLE_VALUE) {
                CloseHandle(s->file);
                s->file = INVALID_HANDLE_VALUE;
            }
            return Void();
        });
    Class* fileStream = NewClass("java/io/FileOutputStream", "java/io/OutputStream");
    fileStream->allocate = [](Class* c) -> Object* {
        return new StreamObject(c, StreamObject::Kind::File);
    };
    auto openFile = [](Thread& t, Object* self, Object* nameObject, bool append) {
        if (!nameObject) {
            Throw(t, "java/lang/NullPointerException", nullptr);
            return Void();
        }
        std::u16string name = static_cast<StringObject*>(nameObject)->value;
        // As java.io.FileOutputStream on Windows: append opens for appending, else truncates.
        HANDLE h =
            CreateFileW(Wide(name).c_str(), append ? FILE_APPEND_DATA : GENERIC_WRITE,
                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                        append ? OPEN_ALWAYS : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            DWORD error = GetLastError();
            std::u16string message = name + u" (" + SystemMessage(error) + u")";
            Throw(t, "java/io/FileNotFoundException", &message);
            auto* e = static_cast<ThrowableObject*>(t.pending);
            e->frames = {"java.base/java.io.FileOutputStream.open0(Native Method)",
                         "java.base/java.io.FileOutputStream.open(FileOutputStream.java:293)",
                         "java.base/java.io.FileOutputStream.<init>(FileOutputStream.java:235)"};
            LogEvent("file_open_failed",
                     {{"file", name}, {"error", static_cast<unsigned long>(error)}});
            return Void();
        }
        static_cast<StreamObject*>(self)->file = h;
        LogEvent("file_opened", {{"file", name}, {"append", append}});
        return Void();
    };
    fileStream->AddMethod("<init>", "(Ljava/lang/String;Z)V", false,
                          [openFile](Thread& t, Object* self, const std::vector<jvalue>& a) {
                              return openFile(t, self, Arg(a, 0), a[1].z != 0);
                          });
    fileStream->AddMethod("<init>", "(Ljava/lang/String;)V", false,
                          [openFile](Thread& t, Object* self, const std::vector<jvalue>& a) {
                              return openFile(t, self, Arg(a, 0), false);
                          });
    Class* bytes = NewClass("java/io/ByteArrayOutputStream", "java/io/OutputStream");
    bytes->allocate = [](Class* c) -> Object* {
        return new StreamObject(c, StreamObject::Kind::Bytes);
    };
    bytes->AddMethod("<init>", "()V", false,
                     [](Thread&, Object*, const std::vector<jvalue>&) { return Void(); });
    bytes->AddMethod("toString", "()Ljava/lang/String;", false,
                     [](Thread&, Object* self, const std::vector<jvalue>&) {
                         auto* s = static_cast<StreamObject*>(self);
                         std::lock_guard<std::mutex> guard(s->mutex);
                         return ObjectValue(NewString(FromUtf8(s->bytes)));
                     });
    bytes->AddMethod("size", "()I", false, [](Thread&, Object* self, const std::vector<jvalue>&) {
        jvalue v{};
        v.i = static_cast<jint>(static_cast<StreamObject*>(self)->bytes.size());
        return v;
    });
    Class* print = NewClass("java/io/PrintStream", "java/io/OutputStream");
    print->allocate = [](Class* c) -> Object* {
        return new StreamObject(c, StreamObject::Kind::Print);
    };
    auto printInit = [](Thread& t, Object* self, const std::vector<jvalue>& a) {
        auto* target = static_cast<StreamObject*>(Arg(a, 0));
        if (!target) {
            Throw(t, "java/lang/NullPointerException", nullptr);
            return Void();
        }
        static_cast<StreamObject*>(self)->target = target;
        return Void();
    };
    print->AddMethod("<init>", "(Ljava/io/OutputStream;)V", false, printInit);
    print->AddMethod("<init>", "(Ljava/io/OutputStream;Z)V", false, printInit);
    print->AddMethod("print", "(Ljava/lang/String;)V", false,
                     [](Thread&, Object* self, const std::vector<jvalue>& a) {
                         PrintTo(static_cast<StreamObject*>(self), StringValue(Arg(a, 0)));
                         return Void();
                     });
    print->AddMethod("println", "(Ljava/lang/String;)V", false,
                     [](Thread&, Object* self, const std::vector<jvalue>& a) {
                         PrintTo(static_cast<StreamObject*>(self),
                                 StringValue(Arg(a, 0)) + u"\r\n");
                         return Void();
                     });

    // java.lang.System
    Class* system = NewClass("java/lang/System", "java/lang/Object");
    auto setter = [](bool isOut) {
        return [isOut](Thread&, Object*, const std::vector<jvalue>& a) {
            auto* s = static_cast<StreamObject*>(Arg(a, 0));
            Vm& vm = Vm::Get();
            std::string target = "?";
            if (s && s->target) {
                if (s->target->kind == StreamObject::Kind::File)
                    target = "file";
                else if (s->target->kind == StreamObject::Kind::Bytes)
                    target = "bytes";
                else
                    target = "standard";
            }
            {
                std::lock_guard<std::recursive_mutex> guard(vm.lock);
                (isOut ? vm.out : vm.err) = s;
            }
            LogEvent(isOut ? "set_out" : "set_err", {{"target", s ? target : std::string("null")}});
            return Void();
        };
    };
    system->AddMethod("setOut", "(Ljava/io/PrintStream;)V", true, setter(true));
    system->AddMethod("setErr", "(Ljava/io/PrintStream;)V", true, setter(false));
    system->AddMethod(
        "exit", "(I)V", true,
        [](Thread&, Object*, const std::vector<jvalue>& a) -> jvalue { Vm::Get().Exit(a[0].i); });
    system->AddMethod("getProperty", "(Ljava/lang/String;)Ljava/lang/String;", true,
                      [](Thread& t, Object*, const std::vector<jvalue>& a) {
                          if (!Arg(a, 0)) {
                              Throw(t, "java/lang/NullPointerException", "key can't be null");
                              return Void();
                          }
                          Vm& vm = Vm::Get();
                          auto it = vm.properties.find(Utf8(StringValue(Arg(a, 0))));
                          return ObjectValue(it == vm.properties.end()
                                                 ? nullptr
                                                 : NewString(FromUtf8(it->second)));
                      });

    Class* standardOut = classes_.at("java/io/OutputStream");
    auto* stdOut = new StreamObject(standardOut, StreamObject::Kind::StdOut);
    auto* stdErr = new StreamObject(standardOut, StreamObject::Kind::StdErr);
    out = new StreamObject(print, StreamObject::Kind::Print);
    out->target = stdOut;
    err = new StreamObject(print, StreamObject::Kind::Print);
    err->target = stdErr;

    // sun.launcher.LauncherHelper (hidden by BootClass when the fixture has none)
    Class* helper = NewClass("sun/launcher/LauncherHelper", "java/lang/Object");
    helper->AddMethod(
        "checkAndLoadMain", "(ZILjava/lang/String;)Ljava/lang/Class;", true,
        [](Thread& t, Object*, const std::vector<jvalue>& a) -> jvalue {
            Vm& vm = Vm::Get();
            StreamObject* stream = a[0].z ? vm.err : vm.out;
            if (a[1].i != 1) vm.Fatal("checkAndLoadMain: only mode 1 (class name) is emulated");
            std::u16string name = StringValue(Arg(a, 2));
            // The name arrives in binary (dotted) form, as Class.forName takes it.
            std::string slash = Utf8(name);
            bool wellFormed = slash.find('/') == std::string::npos;
            for (char& c : slash)
                if (c == '.') c = '/';
            std::string errorClass, errorMessage;
            Class* c = wellFormed ? vm.LoadClass(slash, errorClass, errorMessage) : nullptr;
            LogEvent("check_and_load_main", {{"name", name}, {"found", c != nullptr}});
            if (!c) {
                PrintTo(stream, u"Error: Could not find or load main class " + name + u"\r\n" +
                                    u"Caused by: java.lang.ClassNotFoundException: " + name +
                                    u"\r\n");
                if (vm.fixture.helperThrows) {
                    std::u16string m = name;
                    Throw(t, "java/lang/ClassNotFoundException", &m);
                    return Void();
                }
                vm.Exit(1);
            }
            if (!c->Find("main", "([Ljava/lang/String;)V") ||
                !c->Find("main", "([Ljava/lang/String;)V")->isStatic) {
                PrintTo(stream, u"Error: Main method not found in class " +
                                    FromUtf8(Dotted(c->name)) +
                                    u", please define the main method as:\r\n"
                                    u"   public static void main(String[] args)\r\n"
                                    u"or a JavaFX application class must extend "
                                    u"javafx.application.Application\r\n");
                if (vm.fixture.helperThrows) {
                    Throw(t, "java/lang/NoSuchMethodError", "main");
                    return Void();
                }
                vm.Exit(1);
            }
            return ObjectValue(c);
        });
}

namespace {
// Reads the method table of a real class file: enough to know which entry points exist.
struct ClassFileInfo {
    std::string thisName;
    std::vector<std::pair<std::string, std::string>> staticMethods;  // name, descriptor
};

bool ParseClassFile(const std::string& d, ClassFileInfo& info) {
    size_t p = 8;
    auto u1 = [&](size_t& o) -> unsigned {
        return o < d.size() ? static_cast<unsigned char>(d[o++]) : 0;
    };
    auto u2 = [&](size_t& o) -> unsigned {
        unsigned a = u1(o);
        return (a << 8) | u1(o);
    };
    auto u4 = [&](size_t& o) -> unsigned {
        unsigned a = u2(o);
        return (a << 16) | u2(o);
    };
    unsigned count = u2(p);
    std::vector<std::string> utf8(count);
    std::vector<unsigned> classIndex(count);
    for (unsigned i = 1; i < count && p < d.size(); ++i) {
        unsigned tag = u1(p);
        switch (tag) {
            case 1: {
                unsigned n = u2(p);
                utf8[i] = d.substr(p, n);
                p += n;
                break;
            }
            case 7:
                classIndex[i] = u2(p);
                break;
            case 8:
            case 16:
            case 19:
            case 20:
                p += 2;
                break;
            case 15:
                p += 3;
                break;
            case 3:
            case 4:
            case 9:
            case 10:
            case 11:
            case 12:
            case 17:
            case 18:
                p += 4;
                break;
            case 5:
            case 6:
                p += 8;
                ++i;
                break;
            default:
                return false;
        }
    }
    if (p >= d.size()) return false;
    p += 2;  // access flags
    unsigned self = u2(p);
    if (self >= count || classIndex[self] >= count) return false;
    info.thisName = utf8[classIndex[self]];
    p += 2;          // super
    p += 2 * u2(p);  // interfaces
    auto members = [&](bool keep) {
        unsigned n = u2(p);
        for (unsigned i = 0; i < n && p < d.size(); ++i) {
            unsigned access = u2(p), name = u2(p), descriptor = u2(p), attributes = u2(p);
            for (unsigned a = 0; a < attributes; ++a) {
                u2(p);
                p += u4(p);
            }
            if (keep && (access & 0x0008) && name < count && descriptor < count)
                info.staticMethods.push_back({utf8[name], utf8[descriptor]});
        }
    };
    members(false);
    members(true);
    return p <= d.size();
}

jvalue IntValue(jint i) {
    jvalue v{};
    v.i = i;
    return v;
}
}  // namespace

Class* Vm::DefineAppClass(const std::string& name, const std::string& bytes,
                          std::string& errorClass, std::string& errorMessage) {
    Class* c = NewClass(name, "java/lang/Object");
    c->isBoot = false;
    bool real = bytes.size() >= 4 && static_cast<unsigned char>(bytes[0]) == 0xCA &&
                static_cast<unsigned char>(bytes[1]) == 0xFE &&
                static_cast<unsigned char>(bytes[2]) == 0xBA &&
                static_cast<unsigned char>(bytes[3]) == 0xBE;
    auto fail = [&](const char* cls, const std::string& message) -> Class* {
        classes_.erase(name);
        errorClass = cls;
        errorMessage = message;
        return nullptr;
    };
    if (real) {
        ClassFileInfo info;
        if (!ParseClassFile(bytes, info))
            return fail("java/lang/ClassFormatError", "Truncated class file");
        if (info.thisName != name)
            return fail("java/lang/NoClassDefFoundError",
                        name + " (wrong name: " + info.thisName + ")");
        for (const auto& [method, descriptor] : info.staticMethods) {
            if (method == "main" && descriptor == "([Ljava/lang/String;)V") {
                c->AddMethod("main", descriptor, true,
                             [c](Thread&, Object*, const std::vector<jvalue>& a) {
                                 LogEvent("main", {{"class", c->name},
                                                   {"args", StringArrayValues(Arg(a, 0))},
                                                   {"real_class", true}});
                                 return Void();
                             });
            } else if (method == "secondaryMain" && (descriptor == "([Ljava/lang/String;)V" ||
                                                     descriptor == "([Ljava/lang/String;)I")) {
                bool isInt = descriptor.back() == 'I';
                c->AddMethod("secondaryMain", descriptor, true,
                             [c, isInt](Thread&, Object*, const std::vector<jvalue>& a) {
                                 LogEvent("secondary_main", {{"class", c->name},
                                                             {"form", isInt ? "int" : "void"},
                                                             {"args", StringArrayValues(Arg(a, 0))},
                                                             {"real_class", true}});
                                 return IntValue(0);
                             });
            }
        }
        return c;
    }
    if (bytes.rfind(kScriptMagic, 0) != 0) {
        unsigned magic = bytes.size() >= 4 ? (static_cast<unsigned char>(bytes[0]) << 24 |
                                              static_cast<unsigned char>(bytes[1]) << 16 |
                                              static_cast<unsigned char>(bytes[2]) << 8 |
                                              static_cast<unsigned char>(bytes[3]))
                                           : 0;
        return fail("java/lang/ClassFormatError",
                    "Incompatible magic value " + std::to_string(magic) + " in class file " + name);
    }
    auto script = std::make_shared<Script>();
    std::string error;
    if (!ParseScript(bytes, *script, error)) Fatal("script of class " + name + ": " + error);
    if (script->main.present) {
        c->AddMethod(
            "main", "([Ljava/lang/String;)V", true,
            [c, script](Thread& t, Object*, const std::vector<jvalue>& a) {
                std::vector<std::u16string> args = StringArrayValues(Arg(a, 0));
                LogEvent("main", {{"class", c->name},
                                  {"args", args},
                                  {"thread", t.name},
                                  {"live_local_refs", LiveLocalRefCount()}});
                RunScript(t, c, "main", script->main, args);
                LogEvent("main_end", {{"class", c->name}, {"exception", t.pending != nullptr}});
                return Void();
            });
    }
    if (script->secondaryMain.present) {
        bool isInt = script->secondaryMain.returnsInt;
        c->AddMethod("secondaryMain", isInt ? "([Ljava/lang/String;)I" : "([Ljava/lang/String;)V",
                     true, [c, script, isInt](Thread& t, Object*, const std::vector<jvalue>& a) {
                         std::vector<std::u16string> args = StringArrayValues(Arg(a, 0));
                         LogEvent("secondary_main", {{"class", c->name},
                                                     {"form", isInt ? "int" : "void"},
                                                     {"args", args},
                                                     {"thread", t.name}});
                         jint r = RunScript(t, c, "secondaryMain", script->secondaryMain, args);
                         LogEvent("secondary_main_end", {{"class", c->name}, {"result", r}});
                         return IntValue(r);
                     });
    }
    return c;
}

}  // namespace standin
