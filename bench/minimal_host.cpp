// The smallest JNI host the benchmark compares the launcher with: loads the given jvm.dll,
// creates the VM with a class path, calls main with no arguments, destroys the VM. Nothing
// else: no configuration, no runtime search, no splash, no messages.
//
//   minimal_host.exe <jvm.dll> <class path> <main class, slash form> [--thread]
//
// --thread creates the VM on a second thread with a 1 MB stack, as the launcher and the java
// command do, instead of on the process's first thread.
#include <windows.h>

#include <jni.h>

#include <string>

namespace {

std::string Ansi(const wchar_t* text) {
    int size = ::WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string result(size > 0 ? size - 1 : 0, '\0');
    if (size > 1) ::WideCharToMultiByte(CP_ACP, 0, text, -1, result.data(), size, nullptr, nullptr);
    return result;
}

int Host(wchar_t** argv) {
    HMODULE jvm = ::LoadLibraryExW(argv[1], nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (!jvm) return 3;
    using CreateFn = jint(JNICALL*)(JavaVM**, void**, void*);
    auto create = reinterpret_cast<CreateFn>(
        reinterpret_cast<void*>(::GetProcAddress(jvm, "JNI_CreateJavaVM")));
    if (!create) return 4;

    std::string classPath = "-Djava.class.path=" + Ansi(argv[2]);
    JavaVMOption options[1] = {{classPath.data(), nullptr}};
    JavaVMInitArgs args{};
    args.version = JNI_VERSION_1_2;
    args.nOptions = 1;
    args.options = options;
    JavaVM* vm = nullptr;
    JNIEnv* env = nullptr;
    if (create(&vm, reinterpret_cast<void**>(&env), &args) != JNI_OK) return 5;

    std::string mainClass = Ansi(argv[3]);
    jclass cls = env->FindClass(mainClass.c_str());
    if (!cls) return 6;
    jmethodID main = env->GetStaticMethodID(cls, "main", "([Ljava/lang/String;)V");
    if (!main) return 7;
    jobjectArray noArguments = env->NewObjectArray(0, env->FindClass("java/lang/String"), nullptr);
    env->CallStaticVoidMethod(cls, main, noArguments);
    int code = env->ExceptionOccurred() ? 1 : 0;
    vm->DetachCurrentThread();
    vm->DestroyJavaVM();
    return code;
}

DWORD WINAPI HostThread(void* argv) {
    return static_cast<DWORD>(Host(static_cast<wchar_t**>(argv)));
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 4) return 2;
    if (argc < 5 || std::wstring(argv[4]) != L"--thread") return Host(argv);
    HANDLE thread = ::CreateThread(nullptr, 1 << 20, HostThread, argv,
                                   STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    if (!thread) return 8;
    ::WaitForSingleObject(thread, INFINITE);
    DWORD code = 8;
    ::GetExitCodeThread(thread, &code);
    ::CloseHandle(thread);
    return static_cast<int>(code);
}
