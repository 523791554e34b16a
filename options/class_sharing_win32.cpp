#include "options/class_sharing_win32.h"

#include <windows.h>

#include <jni.h>

#include <optional>
#include <string>
#include <vector>

#include "config/configuration_win32.h"
#include "core/format.h"
#include "core/launcher_win32.h"
#include "core/text_win32.h"
#include "core/unique_handle_win32.h"
#include "core/vm_hooks_win32.h"
#include "discovery/runtime_sources.h"
#include "discovery/runtime_sources_win32.h"
#include "options/class_sharing.h"
#include "options/directory_lister_win32.h"
#include "options/option_text_win32.h"
#include "core/path_utils.h"
#include "core/path_utils_win32.h"

namespace {

// The hidden processes that make a base archive: "base" is the one that owns the work and
// its lock, "vm" the VM it starts, which ends its own process when the archive is written.
constexpr wchar_t kDumpVariable[] = L"VMBOOT_CLASS_DATA_DUMP";
constexpr wchar_t kJobVariable[] = L"VMBOOT_CLASS_DATA_JOB";
constexpr std::size_t kChecksumChunk = 1u << 20;
constexpr ULONGLONG kHour = 3600ull * 10000000ull;  // in FILETIME units
/// A runtime whose base archive could not be made, or settings whose VM did not start while
/// recording (whatever the reason: a heap the machine could not give counts too), are not
/// tried again for a week.
constexpr ULONGLONG kFailedDumpRetry = 7 * 24 * kHour;
constexpr DWORD kDumpTimeoutMs = 15 * 60 * 1000;
/// Less free space than this, and the launcher asks for no archive.
constexpr ULONGLONG kMinimumFreeSpace = 512ull << 20;

constexpr std::string_view kClassPathOption = "-Djava.class.path=";
constexpr std::string_view kModulePathOption = "--module-path=";
constexpr std::string_view kCommandProperty = "-Dsun.java.command=";

struct FileStamp {
    bool exists = false;
    bool folder = false;
    ULONGLONG size = 0;
    ULONGLONG time = 0;
};

ULONGLONG FromFileTime(const FILETIME& time) {
    return (ULONGLONG{time.dwHighDateTime} << 32) | time.dwLowDateTime;
}

FileStamp StampOf(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    FileStamp stamp;
    if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return stamp;
    stamp.exists = true;
    stamp.folder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    stamp.size = (ULONGLONG{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
    stamp.time = FromFileTime(data.ftLastWriteTime);
    return stamp;
}

ULONGLONG Now() {
    FILETIME now{};
    ::GetSystemTimeAsFileTime(&now);
    return FromFileTime(now);
}

void AddStamp(SharingKey& key, const std::wstring& path, const FileStamp& stamp) {
    key.Add(path).Add(stamp.exists ? 1u : 0u).Add(stamp.size).Add(stamp.time);
}

/// Names in `folder` matching `pattern`.
std::vector<std::wstring> ListFiles(const std::wstring& folder, const wchar_t* pattern) {
    std::vector<std::wstring> names;
    Win32DirectoryLister().List(folder + pattern, [&](std::wstring_view name) { names.emplace_back(name); });
    return names;
}

/// The checksum of a file's content, read a chunk at a time (a read error is a damaged
/// archive, never a fault of the launcher); nothing when unreadable or empty.
std::optional<std::uint64_t> FileChecksum(const std::wstring& path) {
    UniqueFileHandle file(::CreateFileW(path.c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file) return std::nullopt;
    std::vector<unsigned char> buffer(kChecksumChunk);
    SharingKey chunks;
    ULONGLONG total = 0;
    for (;;) {
        DWORD got = 0;
        if (!::ReadFile(file.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr))
            return std::nullopt;
        if (got == 0) break;
        total += got;
        chunks.Add(ContentChecksum(buffer.data(), got));
    }
    if (total == 0) return std::nullopt;
    return chunks.Value();
}

/// The VM writes its archives read-only.
void DeleteArchive(const std::wstring& path) {
    ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    ::DeleteFileW(path.c_str());
}

/// The archive `prefix`<checksum>.jsa whose content has that checksum. Others of that prefix
/// are damaged: removed (unless `keep`) so that they are made anew, the last one named in
/// `damaged`.
std::wstring FindValidArchive(const std::wstring& folder, const std::wstring& prefix, bool keep,
                              std::wstring* damaged = nullptr) {
    std::wstring valid;
    for (const std::wstring& name : ListFiles(folder, (prefix + L"*.jsa").c_str())) {
        std::optional<std::uint64_t> expected = ArchiveChecksum(name, prefix);
        if (!expected) continue;
        std::wstring path = folder + name;
        if (valid.empty() && FileChecksum(path) == expected) {
            valid = path;
            continue;
        }
        if (damaged) *damaged = path;
        if (!keep) DeleteArchive(path);
    }
    return valid;
}

/// %LOCALAPPDATA%\vmboot\Class Data\: per user and per machine, never roamed.
std::wstring ArchiveFolder() {
    std::wstring base = EnvironmentVariable(L"LOCALAPPDATA");
    bool absolute = (base.size() >= 3 && base[1] == L':' && base[2] == L'\\') ||
                    std::wstring_view(base).starts_with(L"\\\\");
    if (!absolute) return {};
    if (base.back() != L'\\') base += L'\\';
    return base + L"vmboot\\Class Data\\";
}

/// HotSpot exports its structure tables for debuggers; no other VM has them.
bool IsHotSpot(const std::wstring& vmLibrary) {
    // A start has loaded the library by now (perhaps by its short name); a dry run reads its
    // exports without running it.
    if (HMODULE loaded = ::GetModuleHandleW(L"jvm.dll")) {
        return ::GetProcAddress(loaded, "gHotSpotVMStructs") != nullptr;
    }
    UniqueHModule image(::LoadLibraryExW(vmLibrary.c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES));
    return image && ::GetProcAddress(image.get(), "gHotSpotVMStructs") != nullptr;
}

/// A path for an option the VM reads in the ANSI code page; false when it cannot be written
/// there (not even by its short name).
bool EncodeFolder(const std::wstring& folder, std::string& out) {
    Win32OptionTextCodec codec;
    OptionTextNotes notes;
    out = EncodePath(folder, PathNeed::Optional, codec, notes);
    return notes.Lost.empty() && notes.Defaulted.empty();
}

/// A lock file that another process holds open.
bool IsLocked(const std::wstring& path) {
    UniqueFileHandle probe(::CreateFileW(path.c_str(), GENERIC_READ,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                         nullptr, OPEN_EXISTING, 0, nullptr));
    return !probe && ::GetLastError() == ERROR_SHARING_VIOLATION;
}

/// Starts this executable hidden in a dump mode, with the job in the environment; false when
/// it could not be started. `process` receives its handle.
bool StartHidden(const std::wstring& executable, const wchar_t* mode, const std::wstring& job,
                 const std::wstring& folder, UniqueHandle* process) {
    ::SetEnvironmentVariableW(kDumpVariable, mode);
    ::SetEnvironmentVariableW(kJobVariable, job.c_str());
    std::wstring commandLine = L"\"" + executable + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION created{};
    // Its own hidden console for the console build, its own group so that Ctrl+C at the user's
    // console does not reach it, below the user's programs in the scheduler, and the archive
    // folder as its current one (not a document's folder on a drive the user may remove).
    BOOL started = ::CreateProcessW(executable.c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                                    CREATE_NO_WINDOW | CREATE_NEW_PROCESS_GROUP |
                                        BELOW_NORMAL_PRIORITY_CLASS,
                                    nullptr, folder.c_str(), &startup, &created);
    // The program's own children must not inherit the job.
    ::SetEnvironmentVariableW(kDumpVariable, nullptr);
    ::SetEnvironmentVariableW(kJobVariable, nullptr);
    if (!started) return false;
    UniqueHandle thread(created.hThread);
    UniqueHandle handle(created.hProcess);
    if (process) *process = std::move(handle);
    return true;
}

/// One concatenation, one call: this code runs once per start and is kept small.
std::wstring Cat(std::initializer_list<std::wstring_view> parts) {
    std::wstring text;
    for (std::wstring_view part : parts) text += part;
    return text;
}

/// File names here are ASCII.
std::string Narrow(std::wstring_view ascii) {
    std::string text;
    for (wchar_t c : ascii) text += static_cast<char>(c);
    return text;
}

/// Starts the hidden process that makes the base archive, unless one is at work or the last
/// attempt failed recently; says which. `job` is "<folder>\n<prefix>\n<folder as the VM
/// reads it>[\n<option>...]".
const wchar_t* StartBaseArchiveDump(const Launcher& launcher, const std::wstring& folder,
                                    const std::wstring& prefix, const std::wstring& job) {
    FileStamp failed = StampOf(Cat({folder, prefix, L"failed"}));
    if (failed.exists && Now() - failed.time < kFailedDumpRetry) {
        return L"could not be made (tried again a week after the failure)";
    }
    if (IsLocked(Cat({folder, prefix, L"lock"}))) return L"being made by a hidden process";
    if (launcher.DryRun) return L"made by the next start, in a hidden process";
    std::wstring self;
    DWORD error = 0;
    if (!QueryModulePath(self, error) ||
        !StartHidden(self, L"base", Cat({launcher.VmLibraryPath, L"\n", job}), folder, nullptr)) {
        return L"not made: the hidden process could not be started";
    }
    return L"being made now by a hidden process";
}

/// After an archive is in place: the application's other archives and marks (other settings,
/// other runtimes), temporary files of ended starts, and base archives that no application
/// archive uses are removed, so that the folder holds one archive per application and the
/// runtimes in use.
void RemoveOutdated(const ClassSharingRecording& recording, const std::wstring& kept) {
    const ULONGLONG now = Now();
    std::vector<std::wstring> names = ListFiles(recording.folder, L"*");
    std::wstring usedRuntimes;
    for (const std::wstring& name : names) {
        std::wstring path = recording.folder + name;
        FileStamp stamp = StampOf(path);
        if (std::wstring_view(name).ends_with(L".tmp")) {
            // A younger one may be another start's recording in progress.
            if (now - stamp.time > kHour) DeleteArchive(path);
        } else if (std::wstring_view(name).starts_with(recording.family) && path != kept) {
            DeleteArchive(path);
        } else {
            // app.<stem>.<runtime key>.<key>.<checksum>.jsa
            std::vector<std::wstring> fields = SplitList(name, L".");
            if (fields.size() == 6 && fields[0] == L"app") usedRuntimes += fields[2];
        }
    }
    for (const std::wstring& name : names) {
        std::vector<std::wstring> fields = SplitList(name, L".");
        if (fields.size() != 4 || fields[0] != L"base" || fields[3] != L"jsa") continue;
        std::wstring path = recording.folder + name;
        // A young one may be waiting for its application's first recording.
        if (usedRuntimes.find(fields[1]) == std::wstring::npos && now - StampOf(path).time > 24 * kHour) {
            DeleteArchive(path);
        }
    }
}

int RunBaseDump(const std::vector<std::wstring>& lines) {
    if (lines.size() < 4) return 1;
    const std::wstring& folder = lines[1];
    const std::wstring& prefix = lines[2];
    // One at a time per runtime: the lock goes away with this process, however it ends.
    UniqueFileHandle lock(::CreateFileW(Cat({folder, prefix, L"lock"}).c_str(), GENERIC_WRITE | DELETE,
                                        0, nullptr, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    if (!lock) return 0;
    if (!FindValidArchive(folder, prefix, false).empty()) return 0;
    const std::wstring name = prefix + DecimalText(::GetCurrentProcessId()) + L".tmp";
    const std::wstring temporary = folder + name;
    DeleteArchive(temporary);
    std::wstring job = Cat({lines[0], L"\n-Xshare:dump\n-XX:SharedArchiveFile=", lines[3], name,
                            L"\n-Xlog:cds*=off"});
    for (std::size_t i = 4; i < lines.size(); ++i) job += Cat({L"\n", lines[i]});
    std::wstring self;
    DWORD exitCode = 1;
    UniqueHandle vm;
    if (QueryModulePath(self, exitCode) && StartHidden(self, L"vm", job, folder, &vm)) {
        if (::WaitForSingleObject(vm.get(), kDumpTimeoutMs) != WAIT_OBJECT_0) {
            ::TerminateProcess(vm.get(), 1);
            ::WaitForSingleObject(vm.get(), 5000);
        }
        if (!::GetExitCodeProcess(vm.get(), &exitCode)) exitCode = 1;
    } else {
        exitCode = 1;
    }
    std::optional<std::uint64_t> checksum = exitCode == 0 ? FileChecksum(temporary) : std::nullopt;
    const std::wstring marker = Cat({folder, prefix, L"failed"});
    if (checksum &&
        ::MoveFileExW(temporary.c_str(),
                      Cat({folder, prefix, HexText(*checksum, 16), L".jsa"}).c_str(),
                      MOVEFILE_REPLACE_EXISTING)) {
        ::DeleteFileW(marker.c_str());
        return 0;
    }
    DeleteArchive(temporary);
    UniqueFileHandle failed(::CreateFileW(marker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
    return 1;
}

int RunDumpVm(const std::vector<std::wstring>& lines) {
    if (lines.empty()) return 1;
    const std::wstring& vmLibrary = lines[0];
    ::SetDllDirectoryW(StripPathLevels(vmLibrary, 2).c_str());
    HMODULE module = ::LoadLibraryExW(vmLibrary.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    auto create = module ? GetProcAddressAs<CreateJavaVmFunction>(module, "JNI_CreateJavaVM") : nullptr;
    if (!create) return 1;
    std::vector<std::string> texts(lines.size() - 1);
    std::vector<JavaVMOption> options(texts.size());
    for (std::size_t i = 0; i < texts.size(); ++i) {
        if (!ToCodePageExact(CP_ACP, lines[i + 1], texts[i])) return 1;
        options[i].optionString = texts[i].data();
    }
    JavaVMInitArgs args{};
    args.version = JNI_VERSION_1_2;
    args.nOptions = static_cast<jint>(options.size());
    args.options = options.data();
    JavaVM* vm = nullptr;
    JNIEnv* env = nullptr;
    // A VM that dumps ends the process itself, with 0 once the archive is written.
    create(&vm, reinterpret_cast<void**>(&env), &args);
    return 1;
}

/// Why no archive can be written into `folder`, or null. The VM ends the process with an
/// error when it cannot write an archive it was asked for, so this is settled before.
const wchar_t* RoomRefusal(const std::wstring& folder) {
    ULARGE_INTEGER available{};
    if (::GetDiskFreeSpaceExW(folder.c_str(), &available, nullptr, nullptr) &&
        available.QuadPart < kMinimumFreeSpace) {
        return L"less than 512 MB free on the archive folder's drive";
    }
    UniqueFileHandle probe(::CreateFileW(Cat({folder, L"probe.", DecimalText(::GetCurrentProcessId()), L".tmp"}).c_str(),
                                         GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                         FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    return probe ? nullptr : L"the archive folder cannot be written";
}

/// Why this runtime gets no archives, or null. Its "release" file goes to `release`.
const wchar_t* RuntimeRefusal(const Launcher& launcher, std::string& release, std::wstring& detail) {
    std::wstring home = StripPathLevels(launcher.VmLibraryPath, 3);
    Win32FileProbe().ReadSmallFile(home + L"\\release", release);
    std::optional<VersionNumber> version = ParseReleaseVersion(release);
    if (!version) {
        detail = home;
        return L"the runtime's version is unknown (no release file)";
    }
    if (!SupportsDynamicArchive(*version)) {
        detail = JavaVersionName(*version);
        return L"the runtime is older than Java 13";
    }
    if (!IsHotSpot(launcher.VmLibraryPath)) {
        detail = launcher.VmLibraryPath;
        return L"the VM is not HotSpot";
    }
    // Not tried with a 32-bit HotSpot: a VM that refused to record would cost a failed start.
    if (sizeof(void*) < 8) return L"the 32-bit build keeps no archives";
    return nullptr;
}

/// Folds a class or module path into `key`: every entry with its size and time, and the
/// files of a module folder. Why it cannot be archived, or null.
const wchar_t* AddPathList(SharingKey& key, std::string_view option, bool classPath, std::wstring& detail) {
    for (const std::wstring& entry : SplitList(FromProcessAnsi(option), L";")) {
        FileStamp stamp = StampOf(entry);
        AddStamp(key, entry, stamp);
        if (!stamp.folder) continue;
        detail = entry;
        // The VM refuses to record classes from a folder, and then ends the program with an
        // error as it exits.
        if (classPath) return L"a class path entry is a folder; archives hold classes of jar files only";
        std::wstring folder = entry.back() == L'\\' ? entry : entry + L'\\';
        const wchar_t* refusal = nullptr;
        Win32DirectoryLister().List(folder + L"*", [&](std::wstring_view name) {
            if (refusal || name.starts_with(L'.')) return;
            std::wstring path = folder + std::wstring(name);
            FileStamp child = StampOf(path);
            if (child.folder) {
                detail = path;
                refusal = L"the module path holds an unpacked module; archives hold classes of jar files only";
            }
            AddStamp(key, path, child);
        });
        if (refusal) return refusal;
    }
    return nullptr;
}

/// Folds the options into the keys (the runtime key takes those that shape the base archive,
/// which go to `shaping` as lines for its job). Why the options rule sharing out, or null.
const wchar_t* AddOptions(const Launcher& launcher, SharingKey& runtimeKey, SharingKey& key,
                          std::wstring& shaping, std::wstring& detail) {
    for (const std::string& option : launcher.VmOptions) {
        const bool classPath = std::string_view(option).starts_with(kClassPathOption);
        if (classPath || std::string_view(option).starts_with(kModulePathOption)) {
            std::string_view list = std::string_view(option).substr(
                classPath ? kClassPathOption.size() : kModulePathOption.size());
            if (const wchar_t* refusal = AddPathList(key, list, classPath, detail)) return refusal;
            continue;
        }
        // The program's arguments do not change what it loads.
        if (std::string_view(option).starts_with(kCommandProperty)) continue;
        SharingOptionRole role = ClassifySharingOption(option);
        if (role == SharingOptionRole::TakesOver) {
            detail = FromProcessAnsi(option);
            return L"the VM parameters choose class data sharing themselves";
        }
        if (role == SharingOptionRole::ShapesArchive) {
            shaping += Cat({L"\n", FromProcessAnsi(option)});
            runtimeKey.Add(option);
        }
        key.Add(option);
    }
    // The VM reads these too, after the options: a -Xshare:off there would otherwise stop a
    // recording start. The hidden process that makes the base archive inherits them.
    for (const wchar_t* name : {L"JAVA_TOOL_OPTIONS", L"_JAVA_OPTIONS"}) {
        std::wstring value = EnvironmentVariable(name);
        for (const std::wstring& option : SplitArguments(value)) {
            SharingOptionRole role = ClassifySharingOption(Narrow(option));
            if (role == SharingOptionRole::TakesOver) {
                detail = Cat({name, L"=", value});
                return L"the environment chooses class data sharing itself";
            }
            if (role == SharingOptionRole::ShapesArchive) runtimeKey.Add(option);
        }
    }
    return nullptr;
}

}  // namespace

void PrepareClassSharing(Launcher& launcher) {
    std::wstring detail;
    const wchar_t* refusal = nullptr;
    std::string release;
    SharingKey runtimeKey;
    SharingKey key;
    std::wstring shaping;
    const std::wstring folder = ArchiveFolder();
    std::string vmFolder;
    if (!launcher.ClassDataSharing) {
        refusal = L"Class Data Sharing=No";
    } else if (!(refusal = RuntimeRefusal(launcher, release, detail))) {
        runtimeKey.Add(std::string_view(release)).Add(sizeof(void*));
        AddStamp(runtimeKey, launcher.VmLibraryPath, StampOf(launcher.VmLibraryPath));
        key.Add(std::wstring_view(L"" VMBOOT_VERSION));
        refusal = AddOptions(launcher, runtimeKey, key, shaping, detail);
        key.Add(runtimeKey.Value());
    }
    if (!refusal && folder.empty()) refusal = L"no local application data folder (LOCALAPPDATA)";
    if (!refusal && !launcher.DryRun && CreateParentFolders(folder + L"x") != 0) {
        detail = folder;
        refusal = L"the archive folder cannot be created";
    }
    if (!refusal && !EncodeFolder(folder, vmFolder)) {
        detail = folder;
        refusal = L"the archive folder cannot be passed to the VM in the system's code page";
    }
    // Without a message of its own: the launch has already found its path.
    std::wstring executable = launcher.ExecutablePathOverride;
    DWORD error = 0;
    if (executable.empty()) QueryModulePath(executable, error);
    const std::wstring stem = ArchiveStem(executable);
    const std::wstring prefix = AppArchivePrefix(stem, runtimeKey.Value(), key.Value());
    const FileStamp refused = StampOf(Cat({folder, prefix, L"refused"}));
    if (!refusal && refused.exists && Now() - refused.time < kFailedDumpRetry) {
        detail = Cat({folder, prefix, L"refused"});
        refusal = L"the VM did not start while recording with these settings (tried again a week after)";
    }
    if (refusal) {
        NoteDecision(launcher.Decisions, "sharing", "off", {{"reason", refusal}, {"detail", detail}});
        return;
    }

    const std::wstring basePrefix = BaseArchivePrefix(runtimeKey.Value());
    std::wstring base = FindValidArchive(folder, basePrefix, launcher.DryRun);
    std::wstring damaged;
    std::wstring archive = base.empty() ? std::wstring() : FindValidArchive(folder, prefix, launcher.DryRun, &damaged);
    // Mapping writes nothing; making or recording an archive needs room for it.
    if (archive.empty() && !launcher.DryRun) {
        if (const wchar_t* room = RoomRefusal(folder)) {
            NoteDecision(launcher.Decisions, "sharing", "off", {{"reason", room}, {"detail", folder}});
            return;
        }
    }
    if (base.empty()) {
        const wchar_t* state = StartBaseArchiveDump(
            launcher, folder, basePrefix, Cat({folder, L"\n", basePrefix, L"\n", FromProcessAnsi(vmFolder), shaping}));
        NoteDecision(launcher.Decisions, "sharing", "no-base-archive",
                     {{"folder", folder}, {"baseArchive", basePrefix + L"<checksum>.jsa"}, {"state", state}});
        return;
    }
    // What the VM logs about sharing is the launcher's business, not the program's output;
    // first, so that an -Xlog:cds of the user's own still shows it.
    launcher.VmOptions.insert(launcher.VmOptions.begin(), "-Xlog:cds*=off");
    std::string option = "-XX:SharedArchiveFile=" + vmFolder + Narrow(std::wstring_view(base).substr(folder.size()));
    if (!archive.empty()) {
        launcher.VmOptions.push_back(option + ";" + vmFolder + Narrow(std::wstring_view(archive).substr(folder.size())));
        launcher.VmOptions.push_back("-Xshare:auto");
        NoteDecision(launcher.Decisions, "sharing", "map", {{"baseArchive", base}, {"archive", archive}});
        return;
    }
    const std::wstring name = prefix + DecimalText(::GetCurrentProcessId()) + L".tmp";
    launcher.VmOptions.push_back(option);
    launcher.VmOptions.push_back("-XX:ArchiveClassesAtExit=" + vmFolder + Narrow(name));
    NoteDecision(launcher.Decisions, "sharing", "record",
                 {{"baseArchive", base},
                  {"archive", prefix + L"<checksum>.jsa"},
                  {"replaces", damaged.empty() ? L"nothing" : damaged}});
    if (launcher.DryRun) return;
    // Kept where the VM's exit and abort hooks find it.
    g_vmHooks.recording = {folder, folder + name, prefix, AppArchiveFamily(stem)};
    g_vmHooks.recordingOpen.store(true);
}

void NoteClassSharingStart(bool started) {
    if (g_vmHooks.recordingStartNoted.exchange(true) || started ||
        !g_vmHooks.recordingOpen.exchange(false)) {
        return;
    }
    const ClassSharingRecording& recording = g_vmHooks.recording;
    // Marked, so that the next start runs without recording instead of failing the same way.
    UniqueFileHandle mark(::CreateFileW(Cat({recording.folder, recording.prefix, L"refused"}).c_str(),
                                        GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DeleteArchive(recording.temporary);
}

void FinishClassSharingRecording() {
    if (!g_vmHooks.recordingOpen.exchange(false)) return;
    const ClassSharingRecording& recording = g_vmHooks.recording;
    std::optional<std::uint64_t> checksum = FileChecksum(recording.temporary);
    if (!checksum) {
        DeleteArchive(recording.temporary);
        return;
    }
    std::wstring target = recording.folder + recording.prefix + HexText(*checksum, 16) + L".jsa";
    if (!::MoveFileExW(recording.temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        DeleteArchive(recording.temporary);
        return;
    }
    RemoveOutdated(recording, target);
}

bool RunClassSharingDumpMode(int& exitCode) {
    std::wstring mode = EnvironmentVariable(kDumpVariable);
    if (mode.empty()) return false;
    std::vector<std::wstring> lines = SplitList(EnvironmentVariable(kJobVariable), L"\n");
    ::SetEnvironmentVariableW(kDumpVariable, nullptr);
    ::SetEnvironmentVariableW(kJobVariable, nullptr);
    exitCode = mode == L"vm" ? RunDumpVm(lines) : RunBaseDump(lines);
    return true;
}
