// Scenarios: each drives the stand-in through JNI the way the JNI standard documents it,
// and checks what a HotSpot VM would show.
#include <cstring>
#include <thread>

#include "host.h"

namespace host {
namespace {

const char kAppScript[] =
    "#!standin\n"
    "main\n"
    "    print-args out\n"
    "    println err to-err\n";

// A minimal real class file: public class com/example/Real { public static void main(String[]) }
std::string RealClassFile(const std::string& name) {
    std::string d = "\xCA\xFE\xBA\xBE";
    auto u2 = [&](unsigned v) {
        d += static_cast<char>(v >> 8);
        d += static_cast<char>(v & 0xFF);
    };
    auto utf = [&](const std::string& s) {
        d += '\x01';
        u2(static_cast<unsigned>(s.size()));
        d += s;
    };
    u2(0);
    u2(61);     // Java 17
    u2(7);      // constant pool count
    utf(name);  // 1
    d += '\x07';
    u2(1);                    // 2 Class
    utf("java/lang/Object");  // 3
    d += '\x07';
    u2(3);                          // 4 Class
    utf("main");                    // 5
    utf("([Ljava/lang/String;)V");  // 6
    u2(0x21);
    u2(2);
    u2(4);
    u2(0);  // interfaces
    u2(0);  // fields
    u2(1);  // methods
    u2(0x0009);
    u2(5);
    u2(6);
    u2(0);
    u2(0);  // attributes
    return d;
}

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

void AppClass(Fixture& f) { f.classes["com/example/App.class"] = kAppScript; }

// The launcher's way of redirecting a stream (FileOutputStream -> PrintStream -> System.setX).
bool Redirect(JNIEnv* env, const std::wstring& file, bool append, const char* setter) {
    jclass string = env->FindClass("java/lang/String");
    jmethodID init = env->GetMethodID(string, "<init>", "([C)V");
    jcharArray chars = env->NewCharArray(static_cast<jsize>(file.size()));
    env->SetCharArrayRegion(chars, 0, static_cast<jsize>(file.size()),
                            reinterpret_cast<const jchar*>(file.data()));
    jobject name = env->NewObject(string, init, chars);
    jclass fos = env->FindClass("java/io/FileOutputStream");
    jmethodID fosInit = env->GetMethodID(fos, "<init>", "(Ljava/lang/String;Z)V");
    jobject stream = env->NewObject(fos, fosInit, name, static_cast<jboolean>(append));
    if (!stream) return false;
    jclass ps = env->FindClass("java/io/PrintStream");
    jmethodID psInit = env->GetMethodID(ps, "<init>", "(Ljava/io/OutputStream;)V");
    jobject print = env->NewObject(ps, psInit, stream);
    jclass system = env->FindClass("java/lang/System");
    jmethodID set = env->GetStaticMethodID(system, setter, "(Ljava/io/PrintStream;)V");
    env->CallStaticVoidMethod(system, set, print);
    return !env->ExceptionOccurred();
}

std::wstring WideUtf8(const std::string& s) {
    int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    std::wstring w(n, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), w.data(), n);
    return w;
}

std::string ReadFileText(const std::string& path) {
    HANDLE f = CreateFileW(WideUtf8(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           nullptr, OPEN_EXISTING, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE) return "<missing>";
    char buffer[65536];
    DWORD got = 0;
    ReadFile(f, buffer, sizeof buffer, &got, nullptr);
    CloseHandle(f);
    return std::string(buffer, got);
}

// Options refused at creation: option, extra fixture line, expected result and message.
struct Refusal {
    const char* option;
    const char* config;
    jint result;
    const char* message;
};
const Refusal kRefusals[] = {
    {"-Xbogus", "", JNI_ERR, "Unrecognized option: -Xbogus"},
    {"-server", "", JNI_ERR, "Unrecognized option: -server"},
    {"--bogus", "", JNI_ERR, "Unrecognized option: --bogus"},
    {"-Xmx1g", "unknown_option=-Xmx1g", JNI_ERR, "Unrecognized option: -Xmx1g"},
    {"-XX:+Bogus", "unknown_option=-XX:+Bogus", JNI_EINVAL, "Unrecognized VM option 'Bogus'"},
    {"-XX:Bogus", "", JNI_EINVAL, "Unrecognized VM option 'Bogus'"},
    {"-Xmxfoo", "", JNI_EINVAL, "Invalid maximum heap size: -Xmxfoo"},
    {"-Xms1q", "", JNI_EINVAL, "Invalid initial heap size: -Xms1q"},
    {"-Xss", "", JNI_EINVAL, "Invalid thread stack size: -Xss"},
};

// Options a HotSpot VM accepts.
const char* const kAccepted[] = {"-Xmx512m",
                                 "-Xms16M",
                                 "-Xss2m",
                                 "-Xcheck:jni",
                                 "-Xrs",
                                 "-XX:+UseG1GC",
                                 "-XX:MaxRAMPercentage=50",
                                 "-verbose:gc",
                                 "-ea",
                                 "-da:com.x...",
                                 "-Dsome.key=value",
                                 "-javaagent:x.jar",
                                 "--add-opens=java.base/java.lang=ALL-UNNAMED",
                                 "vfprintf",
                                 "-Xbootclasspath/a:x",
                                 "-Xshare:auto"};

DWORD WINAPI CreateOnThread(void* p) {
    auto* child = static_cast<Child*>(p);
    Say("thread=" + std::to_string(GetCurrentThreadId()));
    child->CreateOrDie({});
    return 0;
}

std::vector<Scenario> Build() {
    std::vector<Scenario> all;

    all.push_back({"default_args", [](Fixture& f) { f.config = {"default_stack_size=524288"}; },
                   [](Child& c) {
                       using Fn = jint(JNICALL*)(void*);
                       auto fn = reinterpret_cast<Fn>(
                           GetProcAddress(c.jvm, "JNI_GetDefaultJavaVMInitArgs"));
                       // The JDK 1.1 record: version, properties, checkSource, nativeStackSize,
                       // javaStackSize...
                       struct {
                           jint version;
                           char** properties;
                           jint checkSource, nativeStackSize, javaStackSize;
                           jint rest[32];
                       } args{};
                       args.version = 0x00010001;
                       jint r = fn(&args);
                       Say("r=" + std::to_string(r) + " version=" + std::to_string(args.version) +
                           " stack=" + std::to_string(args.javaStackSize));
                       return 0;
                   },
                   [](const Outcome& o, Checker& k) {
                       // HotSpot answers JNI_ERR (1.1 unsupported) yet fills javaStackSize and
                       // the 1.2 version.
                       k.Expect(Has(o.out, "r=-1 version=65538 stack=524288"),
                                "1.1 record filled as HotSpot does");
                       k.Expect(o.HasLog("\"default_init_args\"", "\"java_stack_size\":524288"),
                                "query logged");
                   }});

    all.push_back(
        {"options_and_exit_hook", AppClass,
         [](Child& c) {
             c.CreateOrDie({"-Djava.class.path=" + c.ClassPath(), "-Xmx64m", "-Dprop=x y"});
             jclass system = c.FindOrDie("java/lang/System");
             jmethodID exit = c.env->GetStaticMethodID(system, "exit", "(I)V");
             c.env->CallStaticVoidMethod(system, exit, 7);
             Say("HOST System.exit returned");
             return 0;
         },
         [](const Outcome& o, Checker& k) {
             k.Expect(o.code == 7, "System.exit(7) ends the process with 7");
             k.Expect(Has(o.out, "HOST exit hook 7"), "exit hook called with 7");
             k.Expect(!Has(o.out, "returned"), "System.exit does not return");
             int a = o.LogIndex("\"option\"", "\"index\":0,\"option\":\"-Djava.class.path=");
             int b = o.LogIndex("\"option\"",
                                "\"index\":1,\"option\":\"-Xmx64m\",\"extra_info\":false");
             int c2 = o.LogIndex("\"option\"",
                                 "\"index\":2,\"option\":\"-Dprop=x y\",\"extra_info\":false");
             int d =
                 o.LogIndex("\"option\"", "\"index\":3,\"option\":\"abort\",\"extra_info\":true");
             int e =
                 o.LogIndex("\"option\"", "\"index\":4,\"option\":\"exit\",\"extra_info\":true");
             k.Expect(a >= 0 && a < b && b < c2 && c2 < d && d < e,
                      "options logged in order with extraInfo flags");
             k.Expect(o.HasLog("\"exit_hook\"", "\"code\":7"), "exit hook logged");
             k.Expect(o.HasLog("\"create\"", "\"n_options\":5"), "creation logged");
         }});

    for (const Refusal& r : kRefusals) {
        all.push_back(
            {nullptr,
             [r](Fixture& f) {
                 if (*r.config) f.config.push_back(r.config);
                 f.childArgument = r.option;
             },
             [](Child& c) {
                 jint result = c.Create({c.argument});
                 Say("result=" + std::to_string(result) + " vm=" + (c.vm ? "set" : "null"));
                 return 0;
             },
             [r](const Outcome& o, Checker& k) {
                 k.Expect(Has(o.out, "result=" + std::to_string(r.result) + " vm=null"),
                          std::string("creation refused with ") + std::to_string(r.result));
                 k.Expect(Has(o.err, r.message), std::string("stderr says ") + r.message);
             }});
    }
    all.push_back(
        {"heap_cannot_be_reserved", [](Fixture& f) { f.config = {"max_heap=1073741824"}; },
         [](Child& c) {
             Say("result=" + std::to_string(c.Create({"-Xmx512m", "-Xmx2g"})));
             return 0;
         },
         [](const Outcome& o, Checker& k) {
             k.Expect(o.code == 1 && !Has(o.out, "result="), "the VM ends the process with 1");
             k.Expect(Has(o.out,
                          "Error occurred during initialization of VM\nCould not reserve enough "
                          "space for 2097152KB object heap"),
                      "HotSpot's message on standard output, for the last -Xmx");
             k.Expect(!Has(o.out, "HOST exit hook"), "no exit hook");
         }});
    all.push_back({"heap_within_limit", [](Fixture& f) { f.config = {"max_heap=1073741824"}; },
                   [](Child& c) {
                       Say("result=" + std::to_string(c.Create({"-Xmx2g", "-Xmx1g"})));
                       return 0;
                   },
                   [](const Outcome& o, Checker& k) {
                       k.Expect(Has(o.out, "result=0"), "the last -Xmx counts");
                   }});
    all.push_back({"accepted_options", nullptr,
                   [](Child& c) {
                       std::vector<std::string> options(std::begin(kAccepted), std::end(kAccepted));
                       Say("result=" + std::to_string(c.Create(options)));
                       return 0;
                   },
                   [](const Outcome& o, Checker& k) {
                       k.Expect(Has(o.out, "result=0"), "options a HotSpot VM knows are accepted");
                       k.Expect(o.err.empty(), "no complaint on stderr");
                   }});
    all.push_back({"ignore_unrecognized", nullptr,
                   [](Child& c) {
                       using CreateFn = jint(JNICALL*)(JavaVM**, void**, void*);
                       auto create =
                           reinterpret_cast<CreateFn>(GetProcAddress(c.jvm, "JNI_CreateJavaVM"));
                       JavaVMOption o[] = {{const_cast<char*>("-Xbogus"), nullptr}};
                       JavaVMInitArgs args{JNI_VERSION_1_2, 1, o, JNI_TRUE};
                       Say("result=" +
                           std::to_string(create(&c.vm, reinterpret_cast<void**>(&c.env), &args)));
                       return 0;
                   },
                   [](const Outcome& o, Checker& k) {
                       k.Expect(Has(o.out, "result=0"), "ignored when asked to");
                   }});

    for (jint code :
         {JNI_ERR, JNI_EDETACHED, JNI_EVERSION, JNI_ENOMEM, JNI_EEXIST, JNI_EINVAL, -42}) {
        all.push_back({nullptr,
                       [code](Fixture& f) { f.config = {"create_result=" + std::to_string(code)}; },
                       [](Child& c) {
                           Say("result=" + std::to_string(c.Create({"-Dx=1"})) +
                               " vm=" + (c.vm ? "set" : "null"));
                           return 0;
                       },
                       [code](const Outcome& o, Checker& k) {
                           k.Expect(Has(o.out, "result=" + std::to_string(code) + " vm=null"),
                                    "fixture result returned");
                           k.Expect(o.HasLog("\"option\"", "-Dx=1"), "options still logged");
                       }});
    }

    all.push_back({"second_create", nullptr,
                   [](Child& c) {
                       c.CreateOrDie({});
                       JavaVM* first = c.vm;
                       Say("second=" + std::to_string(c.Create({})) +
                           (c.vm == nullptr ? " cleared" : ""));
                       (void)first;
                       return 0;
                   },
                   [](const Outcome& o, Checker& k) {
                       k.Expect(Has(o.out, "second=-5"), "JNI_EEXIST for a second VM");
                   }});

    all.push_back(
        {"main_arguments", AppClass,
         [](Child& c) {
             c.CreateOrDie({"-Djava.class.path=" + c.ClassPath()});
             c.CallMain(c.FindOrDie("com/example/App"),
                        {u"plain", u"gr\u00fc\u00df", u"\U0001F600", u""});
             Say(std::string("pending=") + (c.env->ExceptionCheck() ? "yes" : "no"));
             return 0;
         },
         [](const Outcome& o, Checker& k) {
             k.Expect(Has(o.out, "plain\r\ngr\xc3\xbc\xc3\x9f\r\n\xf0\x9f\x98\x80\r\n\r\n"),
                      "arguments printed as UTF-8");
             k.Expect(Has(o.err, "to-err\r\n"), "println to System.err");
             k.Expect(Has(o.out, "pending=no"), "main returned normally");
             k.Expect(
                 o.HasLog("\"main\"",
                          "\"args\":[\"plain\",\"gr\xc3\xbc\xc3\x9f\",\"\xf0\x9f\x98\x80\",\"\"]"),
                 "main's arguments logged");
         }});

    all.push_back(
        {"class_name_letter_case", AppClass,
         [](Child& c) {
             c.CreateOrDie({"-Djava.class.path=" + c.ClassPath()});
             jclass lower = c.env->FindClass("com/example/app");
             Say(std::string("lower=") + (lower ? "found" : "refused"));
             c.env->ExceptionDescribe();
             return 0;
         },
         [](const Outcome& o, Checker& k) {
             k.Expect(Has(o.out, "lower=refused"), "a name in the wrong letter case is refused");
             k.Expect(
                 Has(o.err, "NoClassDefFoundError: com/example/app (wrong name: com/example/App)"),
                 "HotSpot's wrong-name error");
         }});

    all.push_back(
        {"ansi_class_path",
         [](Fixture& f) { f.classes["../gr\xc3\xbcn/com/example/App.class"] = kAppScript; },
         [](Child& c) {
             // Option strings are ANSI text, as a launcher passes them.
             std::wstring folder = c.folder + L"\\gr\u00fcn";
             int n =
                 WideCharToMultiByte(CP_ACP, 0, folder.c_str(), -1, nullptr, 0, nullptr, nullptr);
             std::string ansi(n - 1, '\0');
             WideCharToMultiByte(CP_ACP, 0, folder.c_str(), -1, ansi.data(), n, nullptr, nullptr);
             c.CreateOrDie({"-Djava.class.path=" + ansi});
             c.CallMain(c.FindOrDie("com/example/App"), {u"found"});
             return 0;
         },
         [](const Outcome& o, Checker& k) {
             k.Expect(Has(o.out, "found"), "class found through an ANSI class path");
             k.Expect(o.HasLog("\"option\"", "gr\xc3\xbcn\""), "option logged as UTF-8");
         }});

    all.push_back(
        {"class_not_on_path",
         [](Fixture& f) { f.classes["elsewhere/com/example/Other.class"] = kAppScript; },
         [](Child& c) {
             c.CreateOrDie({"-Djava.class.path=" + c.ClassPath()});
             jclass a = c.env->FindClass("com/example/Other");
             Say(std::string("found=") + (a ? "yes" : "no") +
                 " pending=" + (c.env->ExceptionCheck() ? "yes" : "no"));
             c.env->ExceptionDescribe();
             Say(std::string("after describe pending=") + (c.env->ExceptionCheck() ? "yes" : "no"));
             jclass dotted = c.env->FindClass("elsewhere.com.example.Other");
             Say(std::string("dotted=") + (dotted ? "yes" : "no"));
             c.env->ExceptionClear();
             return 0;
         },
         [](const Outcome& o, Checker& k) {
             k.Expect(Has(o.out, "found=no pending=yes"), "NoClassDefFoundError pending");
             k.Expect(Has(o.out, "after describe pending=no"), "ExceptionDescribe clears");
             k.Expect(Has(o.out, "dotted=no"), "dotted names are not class names");
             k.Expect(Has(o.err,
                          "Exception in thread \"main\" java.lang.NoClassDefFoundError: "
                          "com/example/Other\r\n"
                          "Caused by: java.lang.ClassNotFoundException: com.example.Other"),
                      "HotSpot's text on System.err");
         }});

    all.push_back({"jar_class",
                   [](Fixture& f) {
                       f.jarEntries["META-INF/MANIFEST.MF"] = "Manifest-Version: 1.0\r\n";
                       f.jarEntries["com/example/App.class"] = kAppScript;
                   },
                   [](Child& c) {
                       c.CreateOrDie({"-Djava.class.path=" + c.Path("missing.jar") + ";" +
                                      c.Path("app.jar")});
                       c.CallMain(c.FindOrDie("com/example/App"), {u"from-jar"});
                       return 0;
                   },
                   [](const Outcome& o, Checker& k) {
                       k.Expect(Has(o.out, "from-jar"), "class loaded from a stored jar");
                       k.Expect(o.HasLog("\"class_file\"", "app.jar!/com/example/App.class"),
                                "jar entry logged");
                   }});

    all.push_back({"compressed_jar_refused",
                   [](Fixture& f) {
                       f.jarEntries["com/example/App.class"] = kAppScript;
                       f.compressedJar = true;
                   },
                   [](Child& c) {
                       c.CreateOrDie({"-Djava.class.path=" + c.Path("app.jar")});
                       c.env->FindClass("com/example/App");
                       Say("HOST survived");
                       return 0;
                   },
                   [](const Outcome& o, Checker& k) {
                       k.Expect(o.code == 3 && !Has(o.out, "survived"),
                                "a compressed entry fails loudly");
                       k.Expect(Has(o.err, "compressed"), "the reason is printed");
                       k.Expect(Has(o.out, "HOST abort hook"), "the abort hook is called");
                   }});

    all.push_back(
        {"real_class",
         [](Fixture& f) {
             f.classes["com/example/Real.class"] = RealClassFile("com/example/Real");
             f.classes["com/example/Wrong.class"] = RealClassFile("com/example/Real");
             f.classes["com/example/Junk.class"] = "junk";
         },
         [](Child& c) {
             c.CreateOrDie({"-Djava.class.path=" + c.ClassPath()});
             c.CallMain(c.FindOrDie("com/example/Real"), {u"x"});
             jclass wrong = c.env->FindClass("com/example/Wrong");
             Say(std::string("wrong=") + (wrong ? "found" : "refused"));
             c.env->ExceptionDescribe();
             jclass junk = c.env->FindClass("com/example/Junk");
             Say(std::string("junk=") + (junk ? "found" : "refused"));
             c.env->ExceptionDescribe();
             return 0;
         },
         [](const Outcome& o, Checker& k) {
             k.Expect(o.HasLog("\"main\"", "\"real_class\":true"),
                      "a real class's main is entered");
             k.Expect(
                 Has(o.out, "wrong=refused") &&
                     Has(o.err,
                         "NoClassDefFoundError: com/example/Wrong (wrong name: com/example/Real)"),
                 "a class file of another name is refused");
             k.Expect(Has(o.out, "junk=refused") &&
                          Has(o.err, "java.lang.ClassFormatError: Incompatible magic value"),
                      "a file that is no class is refused");
         }});

    auto helperRun = [](const char* name) {
        return [name](Child& c) {
            c.CreateOrDie({"-Djava.class.path=" + c.ClassPath()});
            using FindFn = jclass(JNICALL*)(JNIEnv*, const char*);
            auto find =
                reinterpret_cast<FindFn>(GetProcAddress(c.jvm, "JVM_FindClassFromBootLoader"));
            jclass helper = find(c.env, "sun/launcher/LauncherHelper");
            Say(std::string("helper=") + (helper ? "yes" : "no") +
                " pending=" + (c.env->ExceptionCheck() ? "yes" : "no"));
            jclass app = find(c.env, "com/example/App");
            Say(std::string("boot finds app=") + (app ? "yes" : "no"));
            if (!helper) return 0;
            jmethodID check = c.env->GetStaticMethodID(helper, "checkAndLoadMain",
                                                       "(ZILjava/lang/String;)Ljava/lang/Class;");
            jcharArray chars = c.env->NewCharArray(static_cast<jsize>(std::strlen(name)));
            std::u16string n(name, name + std::strlen(name));
            c.env->SetCharArrayRegion(chars, 0, static_cast<jsize>(n.size()),
                                      reinterpret_cast<const jchar*>(n.data()));
            jclass string = c.env->FindClass("java/lang/String");
            jobject s =
                c.env->NewObject(string, c.env->GetMethodID(string, "<init>", "([C)V"), chars);
            jobject cls = c.env->CallStaticObjectMethod(helper, check, JNI_TRUE, 1, s);
            Say(std::string("class=") + (cls ? "yes" : "no") +
                " pending=" + (c.env->ExceptionCheck() ? "yes" : "no"));
            if (cls) c.CallMain(static_cast<jclass>(cls), {u"via-helper"});
            return 0;
        };
    };
    all.push_back(
        {"checkandload", AppClass, helperRun("com.example.App"), [](const Outcome& o, Checker& k) {
             k.Expect(Has(o.out, "helper=yes pending=no"), "boot loader finds LauncherHelper");
             k.Expect(Has(o.out, "boot finds app=no"), "boot loader does not see the class path");
             k.Expect(Has(o.out, "class=yes") && Has(o.out, "via-helper"),
                      "checkAndLoadMain loads the class");
             k.Expect(o.HasLog("\"check_and_load_main\"", "\"name\":\"com.example.App\""),
                      "dotted name logged");
         }});
    all.push_back({"checkandload_missing", AppClass, helperRun("com.example.Missing"),
                   [](const Outcome& o, Checker& k) {
                       // A current LauncherHelper reports and calls System.exit(1).
                       k.Expect(o.code == 1 && Has(o.out, "HOST exit hook 1"),
                                "System.exit(1) through the exit hook");
                       k.Expect(
                           Has(o.err,
                               "Error: Could not find or load main class com.example.Missing\r\n"
                               "Caused by: java.lang.ClassNotFoundException: com.example.Missing"),
                           "LauncherHelper's own message on System.err");
                   }});
    all.push_back({"checkandload_slash_name", AppClass, helperRun("com/example/App"),
                   [](const Outcome& o, Checker& k) {
                       k.Expect(o.code == 1 &&
                                    Has(o.err, "Could not find or load main class com/example/App"),
                                "a slash-form name is not a binary class name");
                   }});
    all.push_back(
        {"checkandload_throws",
         [](Fixture& f) {
             AppClass(f);
             f.config = {"launcher_helper_failure=throw"};
         },
         helperRun("com.example.Missing"),
         [](const Outcome& o, Checker& k) {
             k.Expect(Has(o.out, "class=no pending=yes"), "older runtimes throw instead");
             k.Expect(Has(o.err, "Error: Could not find or load main class com.example.Missing"),
                      "message printed");
         }});
    all.push_back(
        {"checkandload_no_main",
         [](Fixture& f) { f.classes["com/example/App.class"] = "#!standin\nsecondaryMain void\n"; },
         helperRun("com.example.App"),
         [](const Outcome& o, Checker& k) {
             k.Expect(
                 o.code == 1 && Has(o.err, "Error: Main method not found in class com.example.App"),
                 "LauncherHelper checks for main");
         }});
    all.push_back(
        {"launcher_helper_absent",
         [](Fixture& f) {
             AppClass(f);
             f.config = {"launcher_helper=0"};
         },
         [](Child& c) {
             c.CreateOrDie({"-Djava.class.path=" + c.ClassPath()});
             using FindFn = jclass(JNICALL*)(JNIEnv*, const char*);
             auto find =
                 reinterpret_cast<FindFn>(GetProcAddress(c.jvm, "JVM_FindClassFromBootLoader"));
             jclass helper = find(c.env, "sun/launcher/LauncherHelper");
             Say(std::string("helper=") + (helper ? "yes" : "no") +
                 " pending=" + (c.env->ExceptionCheck() ? "yes" : "no"));
             jclass viaFind = c.env->FindClass("sun/launcher/LauncherHelper");
             Say(std::string("findclass=") + (viaFind ? "yes" : "no") +
                 " pending=" + (c.env->ExceptionCheck() ? "yes" : "no"));
             return 0;
         },
         [](const Outcome& o, Checker& k) {
             k.Expect(Has(o.out, "helper=no pending=no"),
                      "boot lookup answers null without exception");
             k.Expect(Has(o.out, "findclass=no pending=yes"), "FindClass fails with an exception");
         }});

    all.push_back({"exports", nullptr,
                   [](Child& c) {
                       std::wstring base = c.folder + L"\\variants\\";
                       for (const char* name : {"JNI_CreateJavaVM", "JNI_GetDefaultJavaVMInitArgs",
                                                "JVM_FindClassFromBootLoader",
                                                "_JNI_CreateJavaVM@12", "JNI_GetCreatedJavaVMs"})
                           Say(std::string(name) + "=" +
                               (GetProcAddress(c.jvm, name) ? "yes" : "no"));
                       return 0;
                   },
                   [](const Outcome& o, Checker& k) {
                       k.Expect(Has(o.out, "JNI_CreateJavaVM=yes") &&
                                    Has(o.out, "JNI_GetDefaultJavaVMInitArgs=yes") &&
                                    Has(o.out, "JVM_FindClassFromBootLoader=yes") &&
                                    Has(o.out, "JNI_GetCreatedJavaVMs=yes"),
                                "undecorated exports");
                       k.Expect(Has(o.out, "_JNI_CreateJavaVM@12=no"), "no decorated export");
                   }});
    struct Variant {
        const char* variant;
        const char* missing;
    };
    for (Variant v :
         {Variant{"nofind", "JVM_FindClassFromBootLoader"}, Variant{"nocreate", "JNI_CreateJavaVM"},
          Variant{"nodefault", "JNI_GetDefaultJavaVMInitArgs"}}) {
        all.push_back(
            {nullptr, [v](Fixture& f) { f.jvmVariant = v.variant; },
             [](Child& c) {
                 for (const char* name : {"JNI_CreateJavaVM", "JNI_GetDefaultJavaVMInitArgs",
                                          "JVM_FindClassFromBootLoader"})
                     Say(std::string(name) + "=" + (GetProcAddress(c.jvm, name) ? "yes" : "no"));
                 return 0;
             },
             [v](const Outcome& o, Checker& k) {
                 for (const char* name : {"JNI_CreateJavaVM", "JNI_GetDefaultJavaVMInitArgs",
                                          "JVM_FindClassFromBootLoader"}) {
                     bool missing = std::strcmp(name, v.missing) == 0;
                     k.Expect(Has(o.out, std::string(name) + (missing ? "=no" : "=yes")),
                              std::string(v.variant) + ": " + name);
                 }
             }});
    }

    all.push_back(
        {"redirect_streams", AppClass,
         [](Child& c) {
             std::wstring out = c.folder + L"\\out-redirected.txt";
             std::wstring err = c.folder + L"\\err-redirected.txt";
             HANDLE h =
                 CreateFileW(out.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
             DWORD w = 0;
             WriteFile(h, "old\r\n", 5, &w, nullptr);
             CloseHandle(h);
             h = CreateFileW(err.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
             WriteFile(h, "stale\r\n", 7, &w, nullptr);
             CloseHandle(h);
             c.CreateOrDie({"-Djava.class.path=" + c.ClassPath()});
             bool a = Redirect(c.env, out, true, "setOut");
             bool b = Redirect(c.env, err, false, "setErr");
             Say(std::string("redirected=") + (a && b ? "yes" : "no"));
             c.CallMain(c.FindOrDie("com/example/App"), {u"line-one"});
             return 0;
         },
         [](const Outcome& o, Checker& k) {
             k.Expect(Has(o.out, "redirected=yes"), "both streams redirected");
             k.Expect(ReadFileText(o.folder + "\\out-redirected.txt") == "old\r\nline-one\r\n",
                      "append keeps old content");
             k.Expect(ReadFileText(o.folder + "\\err-redirected.txt") == "to-err\r\n",
                      "replace drops old content");
             k.Expect(!Has(o.out, "line-one") && !Has(o.err, "to-err"),
                      "nothing on the process streams");
             k.Expect(o.HasLog("\"set_out\"", "\"target\":\"file\"") &&
                          o.HasLog("\"set_err\"", "\"target\":\"file\""),
                      "setOut and setErr logged");
         }});

    all.push_back(
        {"redirect_unopenable", nullptr,
         [](Child& c) {
             c.CreateOrDie({});
             std::wstring bad = c.folder + L"\\no-such-folder\\out.txt";
             bool ok = Redirect(c.env, bad, false, "setOut");
             Say(std::string("ok=") + (ok ? "yes" : "no") +
                 " pending=" + (c.env->ExceptionCheck() ? "yes" : "no"));
             c.env->ExceptionDescribe();
             return 0;
         },
         [](const Outcome& o, Checker& k) {
             k.Expect(Has(o.out, "ok=no pending=yes"), "FileOutputStream throws");
             k.Expect(Has(o.err, "Exception in thread \"main\" java.io.FileNotFoundException: ") &&
                          Has(o.err, "no-such-folder\\out.txt ("),
                      "FileNotFoundException with the name and the system's reason");
         }});

    all.push_back({"describe_follows_redirection", nullptr,
                   [](Child& c) {
                       c.CreateOrDie({});
                       Redirect(c.env, c.folder + L"\\err-file.txt", false, "setErr");
                       c.env->FindClass("com/example/Nowhere");
                       c.env->ExceptionDescribe();
                       return 0;
                   },
                   [](const Outcome& o, Checker& k) {
                       k.Expect(Has(ReadFileText(o.folder + "\\err-file.txt"),
                                    "NoClassDefFoundError: com/example/Nowhere"),
                                "ExceptionDescribe writes to the current System.err");
                       k.Expect(!Has(o.err, "Nowhere"), "not to the process's stderr");
                   }});

    all.push_back(
        {"uncaught_trace_capture",
         [](Fixture& f) {
             f.classes["com/example/App.class"] =
                 "#!standin\nmain\n    throw java.lang.IllegalStateException boom \xc3\xa9\n";
         },
         [](Child& c) {
             c.CreateOrDie({"-Djava.class.path=" + c.ClassPath()});
             c.CallMain(c.FindOrDie("com/example/App"), {});
             jthrowable e = c.env->ExceptionOccurred();
             Say(std::string("pending=") + (e ? "yes" : "no"));
             // The launcher's capture: printStackTrace into a ByteArrayOutputStream.
             jclass bos = c.env->FindClass("java/io/ByteArrayOutputStream");
             jobject bytes = c.env->NewObject(bos, c.env->GetMethodID(bos, "<init>", "()V"));
             jclass ps = c.env->FindClass("java/io/PrintStream");
             jobject print = c.env->NewObject(
                 ps, c.env->GetMethodID(ps, "<init>", "(Ljava/io/OutputStream;)V"), bytes);
             jclass ec = c.env->GetObjectClass(e);
             c.env->CallVoidMethod(
                 e, c.env->GetMethodID(ec, "printStackTrace", "(Ljava/io/PrintStream;)V"), print);
             jclass bc = c.env->GetObjectClass(bytes);
             auto text = static_cast<jstring>(c.env->CallObjectMethod(
                 bytes, c.env->GetMethodID(bc, "toString", "()Ljava/lang/String;")));
             const char* utf = c.env->GetStringUTFChars(text, nullptr);
             Say(std::string("trace=[") + utf + "]");
             c.env->ReleaseStringUTFChars(text, utf);
             return 0;
         },
         [](const Outcome& o, Checker& k) {
             k.Expect(Has(o.out, "pending=yes"), "exception pending after main");
             k.Expect(Has(o.out,
                          "trace=[java.lang.IllegalStateException: boom \xc3\xa9\r\n\tat "
                          "com.example.App.main(App.java)\r\n]"),
                      "stack trace text");
             k.Expect(o.HasLog("\"jni_warning\""), "calls with the exception pending are flagged");
         }});

    all.push_back(
        {"call_with_pending", nullptr,
         [](Child& c) {
             c.CreateOrDie({});
             jclass bos = c.env->FindClass("java/io/ByteArrayOutputStream");
             jmethodID init = c.env->GetMethodID(bos, "<init>", "()V");
             c.env->FindClass("com/example/Nowhere");
             jobject o = c.env->NewObject(bos, init);
             jthrowable e = c.env->ExceptionOccurred();
             jclass ec = e ? c.env->GetObjectClass(e) : nullptr;
             jmethodID name = ec ? c.env->GetMethodID(c.env->GetObjectClass(ec), "getName",
                                                      "()Ljava/lang/String;")
                                 : nullptr;
             auto n = name ? static_cast<jstring>(c.env->CallObjectMethod(ec, name)) : nullptr;
             const char* text = n ? c.env->GetStringUTFChars(n, nullptr) : "?";
             Say(std::string("object=") + (o ? "yes" : "no") + " still pending=" + text);
             return 0;
         },
         [](const Outcome& o, Checker& k) {
             // What HotSpot does: the call runs and the earlier exception stays pending.
             k.Expect(Has(o.out, "object=yes still pending=java.lang.NoClassDefFoundError"),
                      "call made, exception kept");
         }});

    all.push_back(
        {"pending_warning", nullptr,
         [](Child& c) {
             c.CreateOrDie({"-Xcheck:jni"});
             c.env->FindClass("com/example/Nowhere");
             c.env->FindClass("java/lang/String");
             c.env->ExceptionClear();
             return 0;
         },
         [](const Outcome& o, Checker& k) {
             k.Expect(o.HasLog("\"jni_warning\"", "\"function\":\"FindClass\""), "warning logged");
             k.Expect(Has(o.out, "WARNING in native method: JNI call made with exception pending"),
                      "-Xcheck:jni prints HotSpot's warning");
             k.Expect(!o.HasLog("\"jni_warning\"", "ExceptionClear"), "ExceptionClear is allowed");
         }});

    all.push_back(
        {"attach_other_thread",
         [](Fixture& f) {
             f.classes["com/example/App.class"] =
                 "#!standin\nsecondaryMain int 7\n    print-args out\n";
         },
         [](Child& c) {
             c.CreateOrDie({"-Djava.class.path=" + c.ClassPath()});
             std::thread worker([&] {
                 JNIEnv* env = nullptr;
                 jint r = c.vm->AttachCurrentThread(reinterpret_cast<void**>(&env), nullptr);
                 Say("attach=" + std::to_string(r) + (env != c.env ? " own-env" : " shared-env"));
                 jclass app = env->FindClass("com/example/App");
                 jmethodID v =
                     env->GetStaticMethodID(app, "secondaryMain", "([Ljava/lang/String;)V");
                 Say(std::string("void form=") + (v ? "yes" : "no") +
                     " pending=" + (env->ExceptionCheck() ? "yes" : "no"));
                 env->ExceptionClear();
                 jmethodID i =
                     env->GetStaticMethodID(app, "secondaryMain", "([Ljava/lang/String;)I");
                 jclass string = env->FindClass("java/lang/String");
                 jobjectArray args = env->NewObjectArray(1, string, nullptr);
                 env->SetObjectArrayElement(args, 0, env->NewStringUTF("forwarded"));
                 Say("result=" + std::to_string(env->CallStaticIntMethod(app, i, args)));
                 Say("detach=" + std::to_string(c.vm->DetachCurrentThread()));
                 Say("detach again=" + std::to_string(c.vm->DetachCurrentThread()));
             });
             worker.join();
             return 0;
         },
         [](const Outcome& o, Checker& k) {
             k.Expect(Has(o.out, "attach=0 own-env"), "attached with its own JNIEnv");
             k.Expect(Has(o.out, "void form=no pending=yes"),
                      "absent form throws NoSuchMethodError");
             k.Expect(Has(o.out, "forwarded\r\nresult=7"), "int secondaryMain returns its value");
             k.Expect(Has(o.out, "detach=0") && Has(o.out, "detach again=0"),
                      "detach, then a no-op");
             k.Expect(o.HasLog("\"secondary_main\"", "\"args\":[\"forwarded\"]"),
                      "forwarded arguments logged");
             k.Expect(o.HasLog("\"attach\"", "\"thread\":\"Thread-0\""),
                      "attached thread named as HotSpot does");
         }});

    all.push_back({"destroy_waits_for_threads",
                   [](Fixture& f) {
                       f.classes["com/example/App.class"] =
                           "#!standin\nmain\n    thread 800\n    daemon 60000\n";
                   },
                   [](Child& c) {
                       c.CreateOrDie({"-Djava.class.path=" + c.ClassPath()});
                       c.CallMain(c.FindOrDie("com/example/App"), {});
                       c.vm->DetachCurrentThread();
                       DWORD start = GetTickCount();
                       jint r = c.vm->DestroyJavaVM();  // from a thread no longer attached
                       Say("destroy=" + std::to_string(r) +
                           " waited=" + (GetTickCount() - start >= 700 ? "yes" : "no"));
                       return 0;
                   },
                   [](const Outcome& o, Checker& k) {
                       k.Expect(Has(o.out, "destroy=0 waited=yes"),
                                "DestroyJavaVM waits for non-daemon threads only");
                       int end = o.LogIndex("\"thread_end\"");
                       int destroyed = o.LogIndex("\"destroyed\"");
                       k.Expect(end >= 0 && end < destroyed,
                                "the thread ended before destruction completed");
                   }});

    all.push_back(
        {"no_main",
         [](Fixture& f) { f.classes["com/example/App.class"] = "#!standin\nsecondaryMain void\n"; },
         [](Child& c) {
             c.CreateOrDie({"-Djava.class.path=" + c.ClassPath()});
             jclass app = c.FindOrDie("com/example/App");
             jmethodID m = c.env->GetStaticMethodID(app, "main", "([Ljava/lang/String;)V");
             Say(std::string("main=") + (m ? "yes" : "no"));
             c.env->ExceptionDescribe();
             return 0;
         },
         [](const Outcome& o, Checker& k) {
             k.Expect(Has(o.out, "main=no"), "no main method");
             k.Expect(Has(o.err, "Exception in thread \"main\" java.lang.NoSuchMethodError: main"),
                      "HotSpot's text");
         }});

    all.push_back(
        {"exit_from_script",
         [](Fixture& f) {
             f.classes["com/example/App.class"] =
                 "#!standin\nmain\n    println out before\n    exit 42\n    println out after\n";
         },
         [](Child& c) {
             c.CreateOrDie({"-Djava.class.path=" + c.ClassPath()});
             c.CallMain(c.FindOrDie("com/example/App"), {});
             Say("HOST main returned");
             return 0;
         },
         [](const Outcome& o, Checker& k) {
             k.Expect(o.code == 42 && Has(o.out, "before") && !Has(o.out, "after") &&
                          !Has(o.out, "returned"),
                      "System.exit from main ends the process");
             k.Expect(Has(o.out, "HOST exit hook 42"), "through the exit hook");
         }});

    all.push_back({"modified_utf8", nullptr,
                   [](Child& c) {
                       c.CreateOrDie({});
                       const jchar units[] = {0x41, 0, 0xD83D, 0xDE00, 0xE9};
                       jstring s = c.env->NewString(units, 5);
                       const char* utf = c.env->GetStringUTFChars(s, nullptr);
                       std::string hex;
                       for (const char* p = utf; *p; ++p) {
                           char b[4];
                           std::snprintf(b, sizeof b, "%02x ", static_cast<unsigned char>(*p));
                           hex += b;
                       }
                       Say("utf=" + hex);
                       c.env->ReleaseStringUTFChars(s, utf);
                       return 0;
                   },
                   [](const Outcome& o, Checker& k) {
                       // Bytes a HotSpot VM returns for "A\0😀é".
                       k.Expect(Has(o.out, "utf=41 c0 80 ed a0 bd ed b8 80 c3 a9 "),
                                "modified UTF-8");
                   }});

    all.push_back({"uncaught_at_detach",
                   [](Fixture& f) {
                       f.classes["com/example/App.class"] =
                           "#!standin\nmain\n    throw java.lang.IllegalStateException boom\n";
                   },
                   [](Child& c) {
                       c.CreateOrDie({"-Djava.class.path=" + c.ClassPath()});
                       c.CallMain(c.FindOrDie("com/example/App"), {});
                       Say("detach=" + std::to_string(c.vm->DetachCurrentThread()));
                       Say("destroy=" + std::to_string(c.vm->DestroyJavaVM()));
                       return 0;
                   },
                   [](const Outcome& o, Checker& k) {
                       k.Expect(Has(o.out, "detach=0") && Has(o.out, "destroy=0"),
                                "detach and destroy succeed");
                       k.Expect(Has(o.err,
                                    "Exception in thread \"main\" java.lang.IllegalStateException: "
                                    "boom\r\n\tat com.example.App.main(App.java)"),
                                "the pending exception goes to the uncaught-exception handler");
                   }});

    // Misuse that a real VM punishes: the stand-in fails loudly (exit 3, reason on stderr).
    struct Misuse {
        const char* name;
        const char* expected;
        std::function<void(Child&)> act;
    };
    std::vector<Misuse> misuses = {
        {"unimplemented_slot", "JNI function GetFieldID is not implemented",
         [](Child& c) { c.env->GetFieldID(c.env->FindClass("java/lang/String"), "value", "[B"); }},
        {"unattached_thread", "not attached",
         [](Child& c) { std::thread([&] { c.env->FindClass("java/lang/String"); }).join(); }},
        {"env_of_other_thread", "JNIEnv of another thread",
         [](Child& c) {
             std::thread([&] {
                 JNIEnv* own = nullptr;
                 c.vm->AttachCurrentThread(reinterpret_cast<void**>(&own), nullptr);
                 c.env->FindClass("java/lang/String");
             }).join();
         }},
        {"deleted_reference", "deleted reference",
         [](Child& c) {
             jclass s = c.env->FindClass("java/lang/String");
             c.env->DeleteLocalRef(s);
             c.env->GetMethodID(s, "<init>", "([C)V");
         }},
        {"wrong_return_type", "wrong return type",
         [](Child& c) {
             jclass system = c.env->FindClass("java/lang/System");
             jmethodID exit = c.env->GetStaticMethodID(system, "exit", "(I)V");
             c.env->CallStaticIntMethod(system, exit, 0);
         }},
        {"wrong_argument_type", "is a java/lang/String, not a java/io/PrintStream",
         [](Child& c) {
             jclass system = c.env->FindClass("java/lang/System");
             jmethodID set = c.env->GetStaticMethodID(system, "setOut", "(Ljava/io/PrintStream;)V");
             c.env->CallStaticVoidMethod(system, set, c.env->NewStringUTF("x"));
         }},
        {"release_foreign_chars", "not from GetStringUTFChars",
         [](Child& c) { c.env->ReleaseStringUTFChars(c.env->NewStringUTF("x"), "x"); }},
    };
    for (const Misuse& m : misuses) {
        all.push_back({m.name, nullptr,
                       [m](Child& c) {
                           c.CreateOrDie({});
                           m.act(c);
                           Say("HOST survived");
                           return 0;
                       },
                       [m](const Outcome& o, Checker& k) {
                           k.Expect(o.code == 3 && !Has(o.out, "HOST survived"),
                                    "the process is aborted");
                           k.Expect(Has(o.err, "STANDIN FATAL") && Has(o.err, m.expected),
                                    std::string("stderr names: ") + m.expected);
                           k.Expect(Has(o.out, "HOST abort hook"), "the abort hook is called");
                           k.Expect(o.HasLog("\"fatal\""), "logged");
                       }});
    }

    all.push_back(
        {"splash_calls", [](Fixture& f) { f.splashVariant = "full"; },
         [](Child& c) {
             HMODULE splash = LoadLibraryW((c.folder + L"\\rt\\bin\\splashscreen.dll").c_str());
             auto init = reinterpret_cast<void (*)()>(GetProcAddress(splash, "SplashInit"));
             auto load =
                 reinterpret_cast<int (*)(const char*)>(GetProcAddress(splash, "SplashLoadFile"));
             auto jar = reinterpret_cast<void (*)(const char*, const char*)>(
                 GetProcAddress(splash, "SplashSetFileJarName"));
             auto close = reinterpret_cast<void (*)()>(GetProcAddress(splash, "SplashClose"));
             if (!init || !load || !jar || !close) return 5;
             init();
             load("C:\\img\\splash.png");
             jar("C:\\img\\splash.png", "");
             close();
             return 0;
         },
         [](const Outcome& o, Checker& k) {
             k.Expect(o.code == 0, "all four exports present");
             int a = o.LogIndex("\"splash\"", "\"call\":\"SplashInit\"");
             int b =
                 o.LogIndex("\"call\":\"SplashLoadFile\"", "\"file\":\"C:\\\\img\\\\splash.png\"");
             int c2 = o.LogIndex("\"call\":\"SplashSetFileJarName\"", "\"jar\":\"\"");
             int d = o.LogIndex("\"call\":\"SplashClose\"");
             k.Expect(a >= 0 && a < b && b < c2 && c2 < d, "calls logged in order");
         }});
    for (const char* v : {"noinit", "noloadfile", "nosetjar", "noclose"}) {
        all.push_back(
            {nullptr, [v](Fixture& f) { f.splashVariant = v; },
             [](Child& c) {
                 HMODULE splash = LoadLibraryW((c.folder + L"\\rt\\bin\\splashscreen.dll").c_str());
                 for (const char* name :
                      {"SplashInit", "SplashLoadFile", "SplashSetFileJarName", "SplashClose"})
                     Say(std::string(name) + "=" + (GetProcAddress(splash, name) ? "yes" : "no"));
                 return 0;
             },
             [v](const Outcome& o, Checker& k) {
                 const char* names[] = {"SplashInit", "SplashLoadFile", "SplashSetFileJarName",
                                        "SplashClose"};
                 const char* variants[] = {"noinit", "noloadfile", "nosetjar", "noclose"};
                 for (int i = 0; i < 4; ++i) {
                     bool missing = std::strcmp(v, variants[i]) == 0;
                     k.Expect(Has(o.out, std::string(names[i]) + (missing ? "=no" : "=yes")),
                              std::string(v) + ": " + names[i]);
                 }
             }});
    }

    all.push_back(
        {"stack_reserve_and_environment", nullptr,
         [](Child& c) {
             SetEnvironmentVariableW(L"QL_JVM_PATH", L"C:\\rt\\bin\\server\\jvm.dll");
             SetEnvironmentVariableW(L"QL_JVM_HOME", nullptr);
             HANDLE t = CreateThread(nullptr, 8 * 1024 * 1024, CreateOnThread, &c, 0, nullptr);
             WaitForSingleObject(t, INFINITE);
             CloseHandle(t);
             return 0;
         },
         [](const Outcome& o, Checker& k) {
             size_t at = o.out.find("thread=");
             std::string id = at == std::string::npos
                                  ? "?"
                                  : o.out.substr(at + 7, o.out.find('\n', at) - at - 7);
             int i = o.LogIndex("\"create\"", "\"thread_id\":" + id + ",");
             k.Expect(i >= 0, "creating thread's id logged");
             if (i >= 0) {
                 const std::string& line = o.log[i];
                 size_t s = line.find("\"stack_reserve\":");
                 unsigned long long reserve =
                     s == std::string::npos ? 0 : std::stoull(line.substr(s + 16));
                 k.Expect(reserve >= 8ull * 1024 * 1024 && reserve < 16ull * 1024 * 1024,
                          "stack reservation of the creating thread measured: " +
                              std::to_string(reserve));
                 k.Expect(Has(line, "\"ql_jvm_path\":\"C:\\\\rt\\\\bin\\\\server\\\\jvm.dll\""),
                          "QL_JVM_PATH logged");
                 k.Expect(Has(line, "\"ql_jvm_home\":null"), "absent QL_JVM_HOME logged as null");
                 k.Expect(Has(line, "\"cwd\":"), "current directory logged");
             }
         }});
    return all;
}

}  // namespace

const std::vector<Scenario>& Scenarios() {
    static const std::vector<Scenario> all = [] {
        std::vector<Scenario> list = Build();
        // Generated scenarios get numbered names from their group.
        static std::vector<std::string> names;
        names.reserve(list.size());
        int refusal = 0, result = 0, variant = 0, splash = 0;
        for (auto& s : list) {
            if (s.name) continue;
            std::string n;
            if (refusal < static_cast<int>(std::size(kRefusals))) {
                n = "option_refused_" + std::to_string(refusal++);
            } else if (result < 7) {
                n = "create_result_" + std::to_string(result++);
            } else if (variant < 3) {
                n = "jvm_variant_" + std::to_string(variant++);
            } else {
                n = "splash_variant_" + std::to_string(splash++);
            }
            names.push_back(n);
            s.name = names.back().c_str();
        }
        return list;
    }();
    return all;
}

}  // namespace host
