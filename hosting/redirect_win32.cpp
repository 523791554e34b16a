#include "hosting/redirect_win32.h"

#include <fcntl.h>

#include <cstdio>
#include <cstring>
#include <optional>

#include "core/format.h"
#include "core/launcher_win32.h"
#include "core/messages_win32.h"
#include "core/pe_header.h"
#include "core/text_win32.h"
#include "hosting/java_strings_win32.h"
#include "hosting/local_ref.h"
#include "hosting/time_pattern.h"
#include "core/unique_handle_win32.h"
#include "core/path_utils.h"
#include "core/path_utils_win32.h"
#include "resources/resource_ids.h"

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
    if (!RedirectStream(env, fileName, append, setter) && HasPendingException(env)) {
        env->ExceptionDescribe();
    }
}

/// A handle that only appends to `fileName` (emptied first unless `append`): the VM's own
/// stream on the same file appends too, so neither overwrites what the other wrote.
UniqueFileHandle OpenAppendOnly(const std::wstring& fileName, bool append) {
    CreateParentFolders(fileName);
    const std::wstring path = ToLongPathForm(fileName);
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    if (!append) {
        UniqueFileHandle emptied(::CreateFileW(path.c_str(), GENERIC_WRITE, share, nullptr,
                                               CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!emptied) return {};
    }
    return UniqueFileHandle(::CreateFileW(path.c_str(), FILE_APPEND_DATA | SYNCHRONIZE, share,
                                          nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
}

/// A file that cannot be opened is said in one line (a message box in the windowed build,
/// standard error in the console build) and dropped, so that the Java side does not try it
/// again and print a stack trace where nobody looks; the program runs on without it.
void GiveUpFile(Launcher& launcher, std::wstring& fileName, DWORD error) {
    NoteDecision(launcher.Decisions, "hosting", "redirect-failed",
                 {{"file", fileName}, {"error", DecimalText(error)}});
    ReportLaunchFormattedError(launcher, IDS_OUTPUT_FILE_FAILED, fileName);
    fileName.clear();
}

UniqueFileHandle Duplicate(HANDLE handle) {
    HANDLE copy = INVALID_HANDLE_VALUE;
    if (!::DuplicateHandle(::GetCurrentProcess(), handle, ::GetCurrentProcess(), &copy, 0, FALSE,
                           DUPLICATE_SAME_ACCESS)) {
        return {};
    }
    return UniqueFileHandle(copy);
}

// The C runtimes of the runtimes' VM libraries (ucrtbase from Java 9 on, msvcr100 for Java 7
// and 8, older ones before), and msvcrt, which this launcher uses.
const wchar_t* const kCRuntimeLibraries[] = {
    L"ucrtbase.dll", L"msvcr120.dll", L"msvcr110.dll", L"msvcr100.dll",
    L"msvcr90.dll",  L"msvcr80.dll",  L"msvcr71.dll",  L"msvcrt.dll",
};

}  // namespace

void UseAsStandardHandle(UniqueFileHandle file, DWORD which, int descriptor) {
    // Every C runtime keeps its own descriptor table, filled from the standard handles when
    // it loaded: long before now in a windowed process. So each one the process has loaded
    // (the VM's, the launcher's, old JNI libraries') gets the file on its descriptor.
    using OpenOsHandle = int(__cdecl*)(intptr_t, int);
    using Dup2 = int(__cdecl*)(int, int);
    using Close = int(__cdecl*)(int);
    std::fflush(descriptor == 1 ? stdout : stderr);
    for (const wchar_t* name : kCRuntimeLibraries) {
        HMODULE runtime = ::GetModuleHandleW(name);
        if (!runtime) continue;
        auto open = GetProcAddressAs<OpenOsHandle>(runtime, "_open_osfhandle");
        auto dup2 = GetProcAddressAs<Dup2>(runtime, "_dup2");
        auto close = GetProcAddressAs<Close>(runtime, "_close");
        if (!open || !dup2 || !close) continue;
        UniqueFileHandle forRuntime = Duplicate(file.get());
        if (!forRuntime) continue;
        int temporary = open(reinterpret_cast<intptr_t>(forRuntime.get()), _O_TEXT);
        if (temporary < 0) continue;
        forRuntime.release();  // the descriptor owns it now
        dup2(temporary, descriptor);
        close(temporary);
    }
    // Standard handles stay open for the rest of the process, as the ones it started with.
    ::SetStdHandle(which, file.release());
}

void RedirectProcessOutput(Launcher& launcher) {
    const bool outPattern = launcher.OutputFile.find(L'%') != std::wstring::npos;
    const bool errPattern = launcher.ErrorFile.find(L'%') != std::wstring::npos;
    if (outPattern || errPattern) {
        // One instant for both names, so that a run's two files carry the same stamp.
        SYSTEMTIME now;
        ::GetLocalTime(&now);
        if (outPattern) ExpandTimePattern(launcher.OutputFile, now);
        if (errPattern) ExpandTimePattern(launcher.ErrorFile, now);
    }
    const bool oneFile = NameTheSameFile(launcher.OutputFile, launcher.ErrorFile);
    UniqueFileHandle out;
    if (!launcher.OutputFile.empty()) {
        bool append = launcher.OutputAppend || (oneFile && launcher.ErrorAppend);
        out = OpenAppendOnly(launcher.OutputFile, append);
        // Emptied now: the VM's stream on the file, opened later, appends to it.
        if (out) launcher.OutputAppend = true;
        else GiveUpFile(launcher, launcher.OutputFile, ::GetLastError());
        if (!out && oneFile) launcher.ErrorFile.clear();  // the same file: said once
    }
    UniqueFileHandle err;
    if (oneFile && out) {
        err = Duplicate(out.get());
        launcher.ErrorAppend = true;
    } else if (!launcher.ErrorFile.empty()) {
        err = OpenAppendOnly(launcher.ErrorFile, launcher.ErrorAppend);
        if (err) launcher.ErrorAppend = true;
        else GiveUpFile(launcher, launcher.ErrorFile, ::GetLastError());
    }
    if (out) UseAsStandardHandle(std::move(out), STD_OUTPUT_HANDLE, 1);
    if (err) UseAsStandardHandle(std::move(err), STD_ERROR_HANDLE, 2);
}

int CRuntimeStandardStream(const void* stream) {
    using IobFunction = FILE*(__cdecl*)();
    using AcrtIobFunction = FILE*(__cdecl*)(unsigned);
    for (const wchar_t* name : kCRuntimeLibraries) {
        HMODULE runtime = ::GetModuleHandleW(name);
        if (!runtime) continue;
        // The universal runtime hands out each stream; the older ones export their table,
        // whose records have the layout of this program's own FILE.
        for (int which = 1; which <= 2; ++which) {
            if (auto acrt = GetProcAddressAs<AcrtIobFunction>(runtime, "__acrt_iob_func")) {
                if (acrt(static_cast<unsigned>(which)) == stream) return which;
            } else if (auto iob = GetProcAddressAs<IobFunction>(runtime, "__iob_func")) {
                if (iob() + which == stream) return which;
            }
        }
    }
    return 0;
}

bool WriteToVmStream(void* stream, std::string_view text) {
    // The VM library's own runtime, from its imports: a FILE record of one C runtime means
    // nothing to another.
    auto base = reinterpret_cast<const std::uint8_t*>(::GetModuleHandleW(L"jvm.dll"));
    if (!base) return false;
    // The loader maps the headers into pages of their own, ahead of the first section.
    MEMORY_BASIC_INFORMATION headerPages{};
    if (!::VirtualQuery(base, &headerPages, sizeof headerPages)) return false;
    const ByteView mapped(base, headerPages.RegionSize);
    PeHeaders headers;
    if (!ReadPeHeaders(mapped, &headers, nullptr)) return false;
    const std::uint32_t imports = headers.DirectoryRva(mapped, kDirectoryImport);
    HMODULE runtime = nullptr;
    for (auto entry = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports);
         imports && entry->Name && !runtime; ++entry) {
        std::string_view name(reinterpret_cast<const char*>(base + entry->Name));
        if (::_strnicmp(name.data(), "api-ms-win-crt-", 15) == 0) {
            runtime = ::GetModuleHandleW(L"ucrtbase.dll");
        }
        const std::wstring wideName = FromUtf8(name);
        for (const wchar_t* library : kCRuntimeLibraries) {
            if (EqualsIgnoringAsciiCase(wideName, library)) runtime = ::GetModuleHandleW(library);
        }
    }
    using Fwrite = std::size_t(__cdecl*)(const void*, std::size_t, std::size_t, void*);
    auto write = runtime ? GetProcAddressAs<Fwrite>(runtime, "fwrite") : nullptr;
    if (!write) return false;
    write(text.data(), 1, text.size(), stream);
    return true;
}

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

jobject OpenPrintStream(JNIEnv* env, const std::wstring& fileName, bool append) {
    // A failure here shows up as the file that cannot be opened below.
    CreateParentFolders(fileName);
    // Each reference is released as soon as it is used: the VM thread runs main next and
    // may live for the whole session.
    LocalRef<jstring> name(env, NewJavaString(env, fileName));
    if (!name) return nullptr;
    LocalRef<jclass> fileClass(env, env->FindClass("java/io/FileOutputStream"));
    if (!fileClass) return nullptr;
    jmethodID fileInit = env->GetMethodID(fileClass.get(), "<init>", "(Ljava/lang/String;Z)V");
    if (!fileInit) return nullptr;
    LocalRef<jobject> file(env, env->NewObject(fileClass.get(), fileInit, name.get(),
                                               static_cast<jboolean>(append)));
    if (!file) return nullptr;
    LocalRef<jclass> printClass(env, env->FindClass("java/io/PrintStream"));
    if (!printClass) return nullptr;
    jmethodID printInit = env->GetMethodID(printClass.get(), "<init>", "(Ljava/io/OutputStream;)V");
    if (!printInit) return nullptr;
    return env->NewObject(printClass.get(), printInit, file.get());
}

bool SetSystemStream(JNIEnv* env, const char* setter, jobject print) {
    LocalRef<jclass> system(env, env->FindClass("java/lang/System"));
    if (!system) return false;
    jmethodID set = env->GetStaticMethodID(system.get(), setter, "(Ljava/io/PrintStream;)V");
    if (!set) return false;
    env->CallStaticVoidMethod(system.get(), set, print);
    if (HasPendingException(env)) {
        env->ExceptionDescribe();
        return false;
    }
    return true;
}

bool RedirectStream(JNIEnv* env, const std::wstring& fileName, bool append, const char* setter) {
    LocalRef<jobject> print(env, OpenPrintStream(env, fileName, append));
    if (!print) return false;
    return SetSystemStream(env, setter, print.get());
}

bool NameTheSameFile(const std::wstring& first, const std::wstring& second) {
    if (first.empty() || second.empty()) return false;
    std::wstring firstFull = FullPathName(first);
    std::wstring secondFull = FullPathName(second);
    if (::CompareStringOrdinal(firstFull.c_str(), -1, secondFull.c_str(), -1, TRUE) ==
        CSTR_EQUAL) {
        return true;
    }
    // Other spellings of one existing file: a short name, a link.
    auto identify = [](const std::wstring& path, BY_HANDLE_FILE_INFORMATION& info) {
        UniqueFileHandle file(::CreateFileW(ToLongPathForm(path).c_str(), 0,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                            nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                                            nullptr));
        return file && ::GetFileInformationByHandle(file.get(), &info);
    };
    BY_HANDLE_FILE_INFORMATION a{}, b{};
    if (!identify(firstFull, a) || !identify(secondFull, b)) return false;
    return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
           a.nFileIndexHigh == b.nFileIndexHigh && a.nFileIndexLow == b.nFileIndexLow;
}

void RedirectOutputStreams(Launcher& launcher) {
    if (NameTheSameFile(launcher.OutputFile, launcher.ErrorFile)) {
        // Two streams on one file would each write from their own position and overwrite
        // each other; one stream serves both. Appending wins, so nothing is lost.
        bool append = launcher.OutputAppend || launcher.ErrorAppend;
        NoteDecision(launcher.Decisions, "hosting", "redirect",
                     {{"stream", L"out+err"},
                      {"file", launcher.OutputFile},
                      {"append", append ? L"yes" : L"no"}});
        if (launcher.DryRun) return;
        JNIEnv* env = launcher.JniEnvPointer;
        LocalRef<jobject> print(env, OpenPrintStream(env, launcher.OutputFile, append));
        if (!print) {
            if (HasPendingException(env)) env->ExceptionDescribe();
            return;
        }
        if (SetSystemStream(env, "setOut", print.get())) SetSystemStream(env, "setErr", print.get());
        return;
    }
    RedirectOne(launcher, launcher.OutputFile, launcher.OutputAppend, "setOut");
    RedirectOne(launcher, launcher.ErrorFile, launcher.ErrorAppend, "setErr");
}

std::wstring OutputFileProblem(const std::wstring& fileName) {
    const std::wstring full = NormalizePathSeparatorsAndDots(FullPathName(fileName));
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    DWORD attributes = ::GetFileAttributesW(ToLongPathForm(full).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        if (attributes & FILE_ATTRIBUTE_DIRECTORY) return L"the name is a folder";
        // Opening for appending changes nothing, and fails as the launch would.
        UniqueFileHandle file(::CreateFileW(ToLongPathForm(full).c_str(), FILE_APPEND_DATA, share,
                                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                            nullptr));
        if (!file) return L"the file cannot be written (error " + DecimalText(::GetLastError()) + L")";
        return {};
    }
    // The nearest part of the path that exists must be a folder this user can add to.
    std::wstring folder = full;
    for (;;) {
        std::size_t slash = folder.find_last_of(L'\\');
        if (slash == std::wstring::npos || slash + 1 >= folder.size()) return {};
        folder.resize(slash);
        if (folder.size() == 2 && folder[1] == L':') folder += L'\\';
        attributes = ::GetFileAttributesW(ToLongPathForm(folder).c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) {
            if (folder.back() == L'\\') return {};
            continue;
        }
        if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) return folder + L" is a file, not a folder";
        UniqueFileHandle handle(::CreateFileW(ToLongPathForm(folder).c_str(),
                                              FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY, share,
                                              nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                                              nullptr));
        if (!handle && ::GetLastError() == ERROR_ACCESS_DENIED) {
            return L"this user cannot create files in " + folder;
        }
        return {};
    }
}
