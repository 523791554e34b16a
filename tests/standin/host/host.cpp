#include "host.h"

#include <cstdio>
#include <cstring>

namespace host {
namespace {

std::string Utf8(const std::wstring& w) {
    int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0,
                                nullptr, nullptr);
    std::string s(n, '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), s.data(), n, nullptr,
                        nullptr);
    return s;
}
std::wstring Wide(const std::string& s) {
    int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    std::wstring w(n, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), w.data(), n);
    return w;
}

std::wstring ExeFolder() {
    std::wstring path(32768, L'\0');
    path.resize(GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
    return path.substr(0, path.find_last_of(L"\\/"));
}

void CreateFolders(const std::wstring& path) {
    for (size_t i = 3; i <= path.size(); ++i)
        if (i == path.size() || path[i] == L'\\')
            CreateDirectoryW(path.substr(0, i).c_str(), nullptr);
}

bool WriteBytes(const std::wstring& path, const std::string& data) {
    CreateFolders(path.substr(0, path.find_last_of(L'\\')));
    HANDLE f = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    WriteFile(f, data.data(), static_cast<DWORD>(data.size()), &written, nullptr);
    CloseHandle(f);
    return written == data.size();
}

std::string ReadBytes(const std::wstring& path) {
    HANDLE f = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) return {};
    std::string data;
    char buffer[65536];
    DWORD got = 0;
    while (ReadFile(f, buffer, sizeof buffer, &got, nullptr) && got) data.append(buffer, got);
    CloseHandle(f);
    return data;
}

uint32_t Crc32(const std::string& data) {
    uint32_t crc = 0xFFFFFFFFu;
    for (unsigned char c : data) {
        crc ^= c;
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
    }
    return ~crc;
}

void Put16(std::string& s, unsigned v) {
    s += static_cast<char>(v & 0xFF);
    s += static_cast<char>((v >> 8) & 0xFF);
}
void Put32(std::string& s, uint32_t v) {
    Put16(s, v & 0xFFFF);
    Put16(s, v >> 16);
}

// A zip file whose entries are stored (method 0), or flagged deflated to test refusal.
std::string Zip(const std::map<std::string, std::string>& entries, bool compressed) {
    std::string zip, central;
    unsigned count = 0;
    for (const auto& [name, data] : entries) {
        uint32_t offset = static_cast<uint32_t>(zip.size());
        uint32_t crc = Crc32(data);
        unsigned method = compressed ? 8 : 0;
        Put32(zip, 0x04034b50);
        Put16(zip, 10);
        Put16(zip, 0);
        Put16(zip, method);
        Put32(zip, 0);
        Put32(zip, crc);
        Put32(zip, static_cast<uint32_t>(data.size()));
        Put32(zip, static_cast<uint32_t>(data.size()));
        Put16(zip, static_cast<unsigned>(name.size()));
        Put16(zip, 0);
        zip += name + data;
        Put32(central, 0x02014b50);
        Put16(central, 20);
        Put16(central, 10);
        Put16(central, 0);
        Put16(central, method);
        Put32(central, 0);
        Put32(central, crc);
        Put32(central, static_cast<uint32_t>(data.size()));
        Put32(central, static_cast<uint32_t>(data.size()));
        Put16(central, static_cast<unsigned>(name.size()));
        Put16(central, 0);
        Put16(central, 0);
        Put16(central, 0);
        Put16(central, 0);
        Put32(central, 0);
        Put32(central, offset);
        central += name;
        ++count;
    }
    uint32_t centralOffset = static_cast<uint32_t>(zip.size());
    zip += central;
    Put32(zip, 0x06054b50);
    Put16(zip, 0);
    Put16(zip, 0);
    Put16(zip, count);
    Put16(zip, count);
    Put32(zip, static_cast<uint32_t>(central.size()));
    Put32(zip, centralOffset);
    Put16(zip, 0);
    return zip;
}

void JNICALL ExitHook(jint code) { Say("HOST exit hook " + std::to_string(code)); }
void JNICALL AbortHook() { Say("HOST abort hook"); }

const Scenario* FindScenario(const std::string& name) {
    for (const auto& s : Scenarios())
        if (name == s.name) return &s;
    return nullptr;
}

int RunChild(const Scenario& scenario, const std::wstring& folder, const std::string& argument) {
    Child child;
    child.folder = folder;
    child.argument = argument;
    child.jvm = LoadLibraryW((folder + L"\\rt\\bin\\server\\jvm.dll").c_str());
    if (!child.jvm) {
        Say("HOST cannot load jvm.dll: " + std::to_string(GetLastError()));
        return 90;
    }
    return scenario.run(child);
}

int Check(const Scenario& scenario, const std::wstring& standinDir) {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    std::wstring folder = std::wstring(temp) + L"standin-host-" + Wide(scenario.name) + L"-" +
                          std::to_wstring(GetCurrentProcessId());
    Fixture fixture;
    if (scenario.prepare) scenario.prepare(fixture);
    CreateFolders(folder + L"\\rt\\bin\\server");
    std::string jvm = ReadBytes(standinDir + L"\\jvm\\" + Wide(fixture.jvmVariant) + L"\\jvm.dll");
    if (jvm.empty()) {
        std::printf("cannot read the stand-in jvm.dll of variant %s\n", fixture.jvmVariant.c_str());
        return 1;
    }
    WriteBytes(folder + L"\\rt\\bin\\server\\jvm.dll", jvm);
    WriteBytes(folder + L"\\rt\\bin\\java.dll", "");
    if (!fixture.splashVariant.empty())
        WriteBytes(folder + L"\\rt\\bin\\splashscreen.dll",
                   ReadBytes(standinDir + L"\\splash\\" + Wide(fixture.splashVariant) +
                             L"\\splashscreen.dll"));
    std::string config;
    for (const auto& line : fixture.config) config += line + "\n";
    WriteBytes(folder + L"\\rt\\bin\\standin.cfg", config);
    CreateFolders(folder + L"\\classes");
    for (const auto& [path, content] : fixture.classes) {
        std::wstring p = folder + L"\\classes\\" + Wide(path);
        for (auto& c : p)
            if (c == L'/') c = L'\\';
        WriteBytes(p, content);
    }
    if (!fixture.jarEntries.empty())
        WriteBytes(folder + L"\\app.jar", Zip(fixture.jarEntries, fixture.compressedJar));

    std::wstring log = folder + L"\\log.jsonl";
    SetEnvironmentVariableW(L"VMBOOT_STANDIN_LOG", log.c_str());
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    HANDLE out = CreateFileW((folder + L"\\out.txt").c_str(), GENERIC_WRITE, FILE_SHARE_READ, &sa,
                             CREATE_ALWAYS, 0, nullptr);
    HANDLE err = CreateFileW((folder + L"\\err.txt").c_str(), GENERIC_WRITE, FILE_SHARE_READ, &sa,
                             CREATE_ALWAYS, 0, nullptr);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    si.hStdOutput = out;
    si.hStdError = err;
    wchar_t exe[MAX_PATH];
    GetModuleFileNameW(nullptr, exe, MAX_PATH);
    std::wstring command = L"\"" + std::wstring(exe) + L"\" run " + Wide(scenario.name) + L" \"" +
                           folder + L"\" \"" + Wide(fixture.childArgument) + L"\"";
    PROCESS_INFORMATION pi{};
    bool started = false;
    for (int attempt = 0; attempt < 3 && !started; ++attempt) {
        // Wine occasionally refuses a start under load (ERROR_INTERNAL_ERROR); try again.
        started = CreateProcessW(exe, command.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                 folder.c_str(), &si, &pi);
        if (!started) Sleep(500);
    }
    if (!started) {
        std::printf("cannot start the child: %lu\n", GetLastError());
        return 1;
    }
    CloseHandle(out);
    CloseHandle(err);
    Outcome outcome;
    if (WaitForSingleObject(pi.hProcess, 60000) != WAIT_OBJECT_0) {
        TerminateProcess(pi.hProcess, 99);
        std::printf("child timed out\n");
    }
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    outcome.code = static_cast<long>(static_cast<int>(code));
    outcome.out = ReadBytes(folder + L"\\out.txt");
    outcome.err = ReadBytes(folder + L"\\err.txt");
    outcome.folder = Utf8(folder);
    std::string text = ReadBytes(log);
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        outcome.log.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    Checker checker;
    scenario.verify(outcome, checker);
    if (checker.failures.empty()) {
        std::printf("PASS %s\n", scenario.name);
        return 0;
    }
    std::printf("FAIL %s (exit code %ld)\n", scenario.name, outcome.code);
    for (const auto& f : checker.failures) std::printf("  - %s\n", f.c_str());
    std::printf("--- stdout\n%s\n--- stderr\n%s\n--- log\n%s\n", outcome.out.c_str(),
                outcome.err.c_str(), text.c_str());
    return 1;
}

}  // namespace

void Say(const std::string& text) {
    std::string line = text + "\n";
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), line.data(), static_cast<DWORD>(line.size()),
              &written, nullptr);
}

bool Outcome::HasLog(const std::string& a, const std::string& b, const std::string& c) const {
    for (const auto& line : log)
        if (line.find(a) != std::string::npos && line.find(b) != std::string::npos &&
            line.find(c) != std::string::npos)
            return true;
    return false;
}

int Outcome::LogIndex(const std::string& a, const std::string& b) const {
    for (size_t i = 0; i < log.size(); ++i)
        if (log[i].find(a) != std::string::npos && log[i].find(b) != std::string::npos)
            return static_cast<int>(i);
    return -1;
}

std::string Child::ClassPath() const {
    std::wstring p = folder + L"\\classes";
    int n = WideCharToMultiByte(CP_ACP, 0, p.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string s(n - 1, '\0');
    WideCharToMultiByte(CP_ACP, 0, p.c_str(), -1, s.data(), n, nullptr, nullptr);
    return s;
}

std::string Child::Path(const std::string& relative) const {
    return Utf8(folder) + "\\" + relative;
}

jint Child::Create(std::vector<std::string> options, bool hooks) {
    using CreateFn = jint(JNICALL*)(JavaVM**, void**, void*);
    auto create = reinterpret_cast<CreateFn>(GetProcAddress(jvm, "JNI_CreateJavaVM"));
    if (!create) {
        Say("HOST no JNI_CreateJavaVM");
        ExitProcess(91);
    }
    std::vector<JavaVMOption> records;
    for (auto& o : options) records.push_back({o.data(), nullptr});
    if (hooks) {
        records.push_back({const_cast<char*>("abort"), reinterpret_cast<void*>(&AbortHook)});
        records.push_back({const_cast<char*>("exit"), reinterpret_cast<void*>(&ExitHook)});
    }
    JavaVMInitArgs args{JNI_VERSION_1_2, static_cast<jint>(records.size()), records.data(),
                        JNI_FALSE};
    return create(&vm, reinterpret_cast<void**>(&env), &args);
}

void Child::CreateOrDie(std::vector<std::string> options) {
    jint r = Create(std::move(options));
    if (r != JNI_OK) {
        Say("HOST create failed " + std::to_string(r));
        ExitProcess(92);
    }
}

jclass Child::FindOrDie(const char* name) {
    jclass c = env->FindClass(name);
    if (!c) {
        Say(std::string("HOST class not found: ") + name);
        env->ExceptionDescribe();
        ExitProcess(93);
    }
    return c;
}

jobjectArray Child::Strings(const std::vector<std::u16string>& items) {
    jclass string = FindOrDie("java/lang/String");
    jmethodID init = env->GetMethodID(string, "<init>", "([C)V");
    jobjectArray array = env->NewObjectArray(static_cast<jsize>(items.size()), string, nullptr);
    for (size_t i = 0; i < items.size(); ++i) {
        jcharArray chars = env->NewCharArray(static_cast<jsize>(items[i].size()));
        env->SetCharArrayRegion(chars, 0, static_cast<jsize>(items[i].size()),
                                reinterpret_cast<const jchar*>(items[i].data()));
        jobject s = env->NewObject(string, init, chars);
        env->DeleteLocalRef(chars);
        env->SetObjectArrayElement(array, static_cast<jsize>(i), s);
        env->DeleteLocalRef(s);
    }
    return array;
}

void Child::CallMain(jclass cls, const std::vector<std::u16string>& args) {
    jmethodID main = env->GetStaticMethodID(cls, "main", "([Ljava/lang/String;)V");
    if (!main) {
        Say("HOST no main");
        ExitProcess(94);
    }
    env->CallStaticVoidMethod(cls, main, Strings(args));
}

// Starts a program the way a launcher does, from a runtime folder's jvm.dll: default stack
// size, creation with the class path, LauncherHelper (or FindClass), main, detach, destroy.
// Exit code: 0 after DestroyJavaVM, 80 + n for a failed step, or what System.exit chose.
int Probe(const std::wstring& jvmPath, const std::string& classPath, const std::string& mainClass,
          const std::vector<std::u16string>& args) {
    Child c;
    c.jvm = LoadLibraryW(jvmPath.c_str());
    if (!c.jvm) return 81;
    using DefaultFn = jint(JNICALL*)(void*);
    auto defaults =
        reinterpret_cast<DefaultFn>(GetProcAddress(c.jvm, "JNI_GetDefaultJavaVMInitArgs"));
    if (!defaults) return 82;
    struct {
        jint version;
        char** properties;
        jint checkSource, nativeStackSize, javaStackSize;
        jint rest[32];
    } old{};
    old.version = 0x00010001;
    defaults(&old);
    Say("HOST default stack " + std::to_string(old.javaStackSize));
    jint r = c.Create({"-Djava.class.path=" + classPath});
    if (r != JNI_OK) {
        Say("HOST create failed " + std::to_string(r));
        return 83;
    }
    jclass main = nullptr;
    using FindFn = jclass(JNICALL*)(JNIEnv*, const char*);
    auto boot = reinterpret_cast<FindFn>(GetProcAddress(c.jvm, "JVM_FindClassFromBootLoader"));
    jclass helper = boot ? boot(c.env, "sun/launcher/LauncherHelper") : nullptr;
    if (helper) {
        jmethodID check = c.env->GetStaticMethodID(helper, "checkAndLoadMain",
                                                   "(ZILjava/lang/String;)Ljava/lang/Class;");
        std::string dotted = mainClass;
        for (char& ch : dotted)
            if (ch == '/') ch = '.';
        main = static_cast<jclass>(c.env->CallStaticObjectMethod(
            helper, check, JNI_TRUE, 1, c.env->NewStringUTF(dotted.c_str())));
    }
    if (!main) {
        c.env->ExceptionClear();
        main = c.env->FindClass(mainClass.c_str());
    }
    if (!main) {
        c.env->ExceptionDescribe();
        return 84;
    }
    c.CallMain(main, args);
    if (c.env->ExceptionCheck()) Say("HOST main threw");
    c.vm->DetachCurrentThread();
    c.vm->DestroyJavaVM();
    return 0;
}

}  // namespace host

int wmain(int argc, wchar_t** argv) {
    using namespace host;
    if (argc >= 3 && std::wstring(argv[1]) == L"check") {
        std::string name = Utf8(argv[2]);
        std::wstring dir = argc >= 4 ? argv[3] : ExeFolder();
        if (name == "all") {
            int failed = 0;
            for (const auto& s : Scenarios()) failed += Check(s, dir);
            std::printf("%d failed\n", failed);
            return failed ? 1 : 0;
        }
        const Scenario* s = FindScenario(name);
        if (!s) {
            std::printf("no scenario %s\n", name.c_str());
            return 2;
        }
        return Check(*s, dir);
    }
    if (argc >= 4 && std::wstring(argv[1]) == L"run") {
        const Scenario* s = FindScenario(Utf8(argv[2]));
        if (!s) return 2;
        return RunChild(*s, argv[3], argc >= 5 ? Utf8(argv[4]) : "");
    }
    if (argc >= 5 && std::wstring(argv[1]) == L"probe") {
        std::vector<std::u16string> args;
        for (int i = 5; i < argc; ++i) args.emplace_back(argv[i], argv[i] + wcslen(argv[i]));
        int n = WideCharToMultiByte(CP_ACP, 0, argv[3], -1, nullptr, 0, nullptr, nullptr);
        std::string classPath(n - 1, '\0');
        WideCharToMultiByte(CP_ACP, 0, argv[3], -1, classPath.data(), n, nullptr, nullptr);
        return Probe(argv[2], classPath, Utf8(argv[4]), args);
    }
    if (argc >= 2 && std::wstring(argv[1]) == L"list") {
        for (const auto& s : Scenarios()) std::printf("%s\n", s.name);
        return 0;
    }
    std::printf(
        "usage: standin_host check <scenario|all> [standin-dir] | list |\n"
        "       standin_host probe <jvm.dll> <class path> <main class> [arguments...]\n");
    return 2;
}
