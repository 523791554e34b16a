#include "hosting/redirect_win32.h"

#include <optional>

#include "core/launcher_win32.h"
#include "core/text_win32.h"
#include "hosting/java_strings_win32.h"
#include "hosting/time_pattern.h"
#include "options/path_utils_win32.h"

namespace {

constexpr DWORD kInitialFormatBuffer = 260;

// GetTimeFormatW / GetDateFormatW with a buffer as large as the result needs.
template <typename Format>
std::optional<std::wstring> FormatPicture(const std::wstring& picture, Format format) {
    std::wstring result;
    bool ok = FillGrowingBuffer(result, kInitialFormatBuffer, [&](wchar_t* buffer, DWORD size) {
        int written = format(picture.c_str(), buffer, static_cast<int>(size));
        if (written > 0) return static_cast<DWORD>(written - 1);  // without the NUL
        if (::GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
            int needed = format(picture.c_str(), nullptr, 0);
            return needed > 0 ? static_cast<DWORD>(needed) : kGrowBuffer;
        }
        return kBufferFailed;
    });
    if (!ok) return std::nullopt;
    return result;
}

void RedirectOne(Launcher& launcher, const std::wstring& fileName, bool append,
                 const char* setter) {
    if (fileName.empty()) return;
    NoteDecision(launcher.Decisions, "hosting", "redirect",
                 {{"stream", setter[3] == 'O' ? L"out" : L"err"},
                  {"file", fileName},
                  {"append", append ? L"yes" : L"no"}});
    if (launcher.DryRun) return;
    JNIEnv* env = launcher.JniEnvPointer;
    if (!RedirectStream(env, fileName, append, setter) && env->ExceptionOccurred()) {
        env->ExceptionDescribe();
    }
}

}  // namespace

void ExpandTimePattern(std::wstring& name, const SYSTEMTIME& time) {
    PictureFormatter formatTime = [&](const std::wstring& picture) {
        return FormatPicture(picture, [&](const wchar_t* format, wchar_t* out, int size) {
            return ::GetTimeFormatW(LOCALE_USER_DEFAULT, 0, &time, format, out, size);
        });
    };
    PictureFormatter formatDate = [&](const std::wstring& picture) {
        return FormatPicture(picture, [&](const wchar_t* format, wchar_t* out, int size) {
            return ::GetDateFormatW(LOCALE_USER_DEFAULT, 0, &time, format, out, size);
        });
    };
    name = ExpandTimePattern(name, time.wMilliseconds, formatTime, formatDate);
}

bool RedirectStream(JNIEnv* env, const std::wstring& fileName, bool append, const char* setter) {
    // A failure here shows up as the file that cannot be opened below.
    CreateParentFolders(fileName);
    jstring name = NewJavaString(env, fileName);
    if (!name) return false;

    jclass fileClass = env->FindClass("java/io/FileOutputStream");
    if (!fileClass) return false;
    jmethodID fileInit = env->GetMethodID(fileClass, "<init>", "(Ljava/lang/String;Z)V");
    if (!fileInit) return false;
    jobject file = env->NewObject(fileClass, fileInit, name, static_cast<jboolean>(append));
    if (!file) return false;

    jclass printClass = env->FindClass("java/io/PrintStream");
    if (!printClass) return false;
    jmethodID printInit = env->GetMethodID(printClass, "<init>", "(Ljava/io/OutputStream;)V");
    if (!printInit) return false;
    jobject print = env->NewObject(printClass, printInit, file);
    if (!print) return false;

    jclass system = env->FindClass("java/lang/System");
    if (!system) return false;
    jmethodID set = env->GetStaticMethodID(system, setter, "(Ljava/io/PrintStream;)V");
    if (!set) return false;
    env->CallStaticVoidMethod(system, set, print);
    if (env->ExceptionOccurred()) {
        env->ExceptionDescribe();
        return false;
    }
    return true;
}

void RedirectOutputStreams(Launcher& launcher) {
    const bool outPattern = launcher.OutputFile.find(L'%') != std::wstring::npos;
    const bool errPattern = launcher.ErrorFile.find(L'%') != std::wstring::npos;
    if (outPattern || errPattern) {
        // One instant for both names, so that a run's two files carry the same stamp.
        SYSTEMTIME now;
        ::GetLocalTime(&now);
        if (outPattern) ExpandTimePattern(launcher.OutputFile, now);
        if (errPattern) ExpandTimePattern(launcher.ErrorFile, now);
    }
    RedirectOne(launcher, launcher.OutputFile, launcher.OutputAppend, "setOut");
    RedirectOne(launcher, launcher.ErrorFile, launcher.ErrorAppend, "setErr");
}
