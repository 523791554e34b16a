#include "options/class_sharing_win32.h"

#include <windows.h>

#include <jni.h>

#include <algorithm>
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
#include "options/jar_key_win32.h"
#include "options/option_text_win32.h"
#include "core/path_utils.h"
#include "core/path_utils_win32.h"

namespace {

/// The hidden processes that make a base archive get their job (a SharingJob) here.
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

bool RecentlyMade(const FileStamp& stamp, ULONGLONG span) {
    return stamp.exists && Now() - stamp.time < span;
}

UniqueFileHandle OpenForReading(const std::wstring& path, DWORD flags = 0) {
    return UniqueFileHandle(::CreateFileW(path.c_str(), GENERIC_READ,
                                          FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                          flags, nullptr));
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

/// The folder's files that belong to the archives, read once.
struct FolderFile {
    std::wstring path;
    ArchiveFile file;
};
std::vector<FolderFile> ListArchiveFiles(const std::wstring& folder) {
    std::vector<FolderFile> files;
    for (const std::wstring& name : ListFiles(folder, L"*")) {
        if (std::optional<ArchiveFile> file = ParseArchiveFile(name)) files.push_back({folder + name, *file});
    }
    return files;
}

/// The checksum of a file's content, read a chunk at a time (a read error is a damaged
/// archive, never a fault of the launcher); nothing when unreadable or empty.
std::optional<std::uint64_t> FileChecksum(const std::wstring& path) {
    UniqueFileHandle file = OpenForReading(path, FILE_FLAG_SEQUENTIAL_SCAN);
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
bool DeleteArchive(const std::wstring& path) {
    ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    return ::DeleteFileW(path.c_str()) != FALSE;
}

void CreateMark(const std::wstring& path) {
    UniqueFileHandle mark(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
}

/// A process that still runs. A process id that cannot be opened for lack of rights is
/// taken as running: only our own processes' leftovers are removed.
bool ProcessRuns(std::uint64_t id) {
    if (id == ::GetCurrentProcessId()) return true;
    UniqueHandle process(::OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(id)));
    if (!process) return ::GetLastError() == ERROR_ACCESS_DENIED;
    return ::WaitForSingleObject(process.get(), 0) == WAIT_TIMEOUT;
}

/// Temporary files of processes that have ended (a killed dump's 11 MB among them), by any
/// start that looks into the folder. One still open for writing is left to its writer.
void RemoveLeftovers(std::vector<FolderFile>& files) {
    std::erase_if(files, [](const FolderFile& f) {
        return f.file.what == ArchiveFile::What::Temporary && !ProcessRuns(f.file.number) &&
               DeleteArchive(f.path);
    });
}

/// The archive of `wanted` (an archive name without its checksum) whose content has the
/// checksum its name carries. Others of those settings are damaged: removed (unless `keep`)
/// so that they are made anew, the last one named in `damaged`.
std::optional<FolderFile> FindValidArchive(const std::vector<FolderFile>& files, const ArchiveFile& wanted,
                                           bool keep, std::wstring* damaged = nullptr) {
    std::optional<FolderFile> valid;
    for (const FolderFile& f : files) {
        if (f.file.what != ArchiveFile::What::Archive || !SameArchive(f.file, wanted)) continue;
        if (!valid && FileChecksum(f.path) == f.file.number) {
            valid = f;
            continue;
        }
        if (damaged) *damaged = f.path;
        if (!keep) DeleteArchive(f.path);
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

/// Starts this executable hidden with `job` in the environment; false when it could not be
/// started. `process` receives its handle; `lock`, when given, is handed to it and held by
/// it until it ends.
bool StartHidden(const SharingJob& job, UniqueHandle* process, HANDLE lock = nullptr) {
    std::wstring executable;
    DWORD error = 0;
    if (!QueryModulePath(executable, error)) return false;
    ::SetEnvironmentVariableW(kJobVariable, FormatSharingJob(job).c_str());
    std::wstring commandLine = L"\"" + executable + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION created{};
    // Its own hidden console for the console build, its own group so that Ctrl+C at the user's
    // console does not reach it, below the user's programs in the scheduler, and the archive
    // folder as its current one (not a document's folder on a drive the user may remove).
    BOOL started = ::CreateProcessW(executable.c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                                    CREATE_NO_WINDOW | CREATE_NEW_PROCESS_GROUP |
                                        BELOW_NORMAL_PRIORITY_CLASS | CREATE_SUSPENDED,
                                    nullptr, job.folder.c_str(), &startup, &created);
    // The program's own children must not inherit the job.
    ::SetEnvironmentVariableW(kJobVariable, nullptr);
    if (!started) return false;
    UniqueHandle thread(created.hThread);
    UniqueHandle handle(created.hProcess);
    // A copy of the lock in the new process: it stays held however either process ends.
    HANDLE copy = nullptr;
    if (lock && !::DuplicateHandle(::GetCurrentProcess(), lock, handle.get(), &copy, 0, FALSE,
                                   DUPLICATE_SAME_ACCESS)) {
        ::TerminateProcess(handle.get(), 1);
        return false;
    }
    ::ResumeThread(thread.get());
    if (process) *process = std::move(handle);
    return true;
}

/// One concatenation, one call: this code runs once per start and is kept small.
std::wstring Cat(std::initializer_list<std::wstring_view> parts) {
    std::wstring text;
    for (std::wstring_view part : parts) text += part;
    return text;
}

/// File names here are ASCII; other characters only matter for their ASCII prefixes.
std::string Narrow(std::wstring_view text) {
    std::string narrow;
    for (wchar_t c : text) narrow += c < 0x80 ? static_cast<char>(c) : '?';
    return narrow;
}

/// Starts the hidden process that makes the base archive, holding the runtime's lock from
/// before it starts, so that many first starts at once start one. Says how it went.
SharingReason StartBaseArchiveDump(const SharingJob& job) {
    ArchiveFile lockFile{ArchiveFile::Owner::Base, ArchiveFile::What::Lock, {}, job.runtimeKey};
    UniqueFileHandle lock(::CreateFileW((job.folder + FormatArchiveFile(lockFile)).c_str(),
                                        GENERIC_WRITE | DELETE, 0, nullptr, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    if (!lock) {
        return ::GetLastError() == ERROR_SHARING_VIOLATION ? SharingReason::BaseBeingMade
                                                           : SharingReason::BaseDumpNotStarted;
    }
    return StartHidden(job, nullptr, lock.get()) ? SharingReason::BaseMadeNow
                                                 : SharingReason::BaseDumpNotStarted;
}

/// After an archive is in place: the application's other archives and marks (other settings,
/// other runtimes), temporary files of ended starts, and base archives that no application
/// archive uses are removed, so that the folder holds one archive per application and the
/// runtimes in use.
void RemoveOutdated(const ClassSharingRecording& recording, const std::wstring& kept) {
    const ULONGLONG now = Now();
    std::vector<std::wstring> used;
    std::vector<FolderFile> bases;
    for (const std::wstring& name : ListFiles(recording.folder, L"*")) {
        std::wstring path = recording.folder + name;
        std::optional<ArchiveFile> file = ParseArchiveFile(name);
        if (!file) {
            // Not one of ours by name, or an older launcher's: a young one may be in use.
            if (std::wstring_view(name).ends_with(L".tmp") && now - StampOf(path).time > kHour) {
                DeleteArchive(path);
            }
            continue;
        }
        if (file->what == ArchiveFile::What::Temporary) {
            if (!ProcessRuns(file->number)) DeleteArchive(path);
        } else if (file->owner == ArchiveFile::Owner::Base) {
            if (file->what == ArchiveFile::What::Archive) bases.push_back({path, *file});
        } else if (file->stem == recording.stem && path != kept) {
            DeleteArchive(path);
        } else if (file->what == ArchiveFile::What::Archive) {
            used.push_back(HexText(file->runtimeKey, 16));
        }
    }
    for (const FolderFile& base : bases) {
        // A young one may be waiting for its application's first recording.
        if (std::find(used.begin(), used.end(), HexText(base.file.runtimeKey, 16)) == used.end() &&
            now - StampOf(base.path).time > 24 * kHour) {
            DeleteArchive(base.path);
        }
    }
}

int RunBaseDump(const SharingJob& job) {
    // The starting process handed this process the runtime's lock, held until it ends.
    ArchiveFile name{ArchiveFile::Owner::Base, ArchiveFile::What::Archive, {}, job.runtimeKey};
    if (FindValidArchive(ListArchiveFiles(job.folder), name, false)) return 0;
    name.what = ArchiveFile::What::Temporary;
    name.number = ::GetCurrentProcessId();
    const std::wstring temporaryName = FormatArchiveFile(name);
    const std::wstring temporary = job.folder + temporaryName;
    DeleteArchive(temporary);
    SharingJob vmJob{L"vm", job.vmLibrary, job.folder, job.runtimeKey, job.vmFolder,
                     {L"-Xshare:dump", L"-XX:SharedArchiveFile=" + job.vmFolder + temporaryName,
                      L"-Xlog:cds*=off"}};
    vmJob.options.insert(vmJob.options.end(), job.options.begin(), job.options.end());
    DWORD exitCode = 1;
    UniqueHandle vm;
    if (StartHidden(vmJob, &vm)) {
        if (::WaitForSingleObject(vm.get(), kDumpTimeoutMs) != WAIT_OBJECT_0) {
            ::TerminateProcess(vm.get(), 1);
            ::WaitForSingleObject(vm.get(), 5000);
        }
        if (!::GetExitCodeProcess(vm.get(), &exitCode)) exitCode = 1;
    }
    std::optional<std::uint64_t> checksum = exitCode == 0 ? FileChecksum(temporary) : std::nullopt;
    name.what = ArchiveFile::What::Failed;
    const std::wstring marker = job.folder + FormatArchiveFile(name);
    if (checksum) {
        name.what = ArchiveFile::What::Archive;
        name.number = *checksum;
        if (::MoveFileExW(temporary.c_str(), (job.folder + FormatArchiveFile(name)).c_str(),
                          MOVEFILE_REPLACE_EXISTING)) {
            ::DeleteFileW(marker.c_str());
            return 0;
        }
    }
    DeleteArchive(temporary);
    CreateMark(marker);
    return 1;
}

int RunDumpVm(const SharingJob& job) {
    ::SetDllDirectoryW(StripPathLevels(job.vmLibrary, 2).c_str());
    HMODULE module = ::LoadLibraryExW(job.vmLibrary.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    auto create = module ? GetProcAddressAs<CreateJavaVmFunction>(module, "JNI_CreateJavaVM") : nullptr;
    if (!create) return 1;
    std::vector<std::string> texts(job.options.size());
    std::vector<JavaVMOption> options(texts.size());
    for (std::size_t i = 0; i < texts.size(); ++i) {
        if (!ToCodePageExact(CP_ACP, job.options[i], texts[i])) return 1;
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

/// Why no archive can be written into `folder`, or None. The VM ends the process with an
/// error when it cannot write an archive it was asked for, so this is settled before.
SharingReason RoomProblem(const std::wstring& folder) {
    ULARGE_INTEGER available{};
    if (::GetDiskFreeSpaceExW(folder.c_str(), &available, nullptr, nullptr) &&
        available.QuadPart < kMinimumFreeSpace) {
        return SharingReason::LowSpace;
    }
    UniqueFileHandle probe(::CreateFileW(Cat({folder, L"probe.", DecimalText(::GetCurrentProcessId()), L".tmp"}).c_str(),
                                         GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                         FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    return probe ? SharingReason::None : SharingReason::FolderNotWritable;
}

/// Folds a class or module path into `key`: every entry with its size, time and content, and
/// the files of a module folder. Why it cannot be archived, or None.
SharingReason AddPathList(SharingKey& key, JarKeys& jars, std::string_view list, bool classPath,
                          std::wstring& detail) {
    auto addFile = [&](const std::wstring& path, const FileStamp& stamp) {
        AddStamp(key, path, stamp);
        if (stamp.exists && !stamp.folder) key.Add(jars.Key(path, stamp.size, stamp.time));
    };
    for (const std::wstring& entry : SplitList(FromProcessAnsi(list), L";")) {
        FileStamp stamp = StampOf(entry);
        addFile(entry, stamp);
        if (!stamp.folder) continue;
        detail = entry;
        // The VM refuses to record classes from a folder, and then ends the program with an
        // error as it exits.
        if (classPath) return SharingReason::ClassPathFolder;
        std::wstring folder = entry.back() == L'\\' ? entry : entry + L'\\';
        SharingReason problem = SharingReason::None;
        Win32DirectoryLister().List(folder + L"*", [&](std::wstring_view name) {
            if (problem != SharingReason::None || name.starts_with(L'.')) return;
            std::wstring path = folder + std::wstring(name);
            FileStamp child = StampOf(path);
            if (child.folder) {
                detail = path;
                problem = SharingReason::ModulePathUnpacked;
            }
            addFile(path, child);
        });
        if (problem != SharingReason::None) return problem;
    }
    return SharingReason::None;
}

/// The options of JAVA_TOOL_OPTIONS and _JAVA_OPTIONS, which the VM reads after the
/// launcher's: a -Xshare:off there would otherwise stop a recording start. The hidden process
/// that makes the base archive inherits them.
std::vector<std::string> EnvironmentOptions() {
    std::vector<std::string> options;
    for (const wchar_t* name : {L"JAVA_TOOL_OPTIONS", L"_JAVA_OPTIONS"}) {
        for (const std::wstring& option : SplitArguments(EnvironmentVariable(name))) {
            options.push_back(Narrow(option));
        }
    }
    return options;
}

/// The identity of the runtime's own archive: a runtime update replaces it.
std::uint64_t ShippedArchiveIdentity(const std::wstring& path, const FileStamp& stamp) {
    SharingKey identity;
    AddStamp(identity, path, stamp);
    UniqueFileHandle file = OpenForReading(path);
    unsigned char header[4096];
    DWORD got = 0;
    if (file && ::ReadFile(file.get(), header, sizeof header, &got, nullptr) && got == sizeof header) {
        identity.Add(ContentChecksum(header, sizeof header));
    }
    return identity.Value();
}

/// Mapping notes of the application's archive left by starts that died before main: the
/// archive they mapped is suspect, and is removed with them; true when there was one.
bool ClearSuspectArchive(std::vector<FolderFile>& files, const ArchiveFile& app, bool dryRun) {
    bool suspect = false;
    for (const FolderFile& f : files) {
        if (f.file.what == ArchiveFile::What::MappingNote && SameArchive(f.file, app) &&
            !ProcessRuns(f.file.number)) {
            suspect = true;
        }
    }
    if (!suspect || dryRun) return suspect;
    std::erase_if(files, [&](const FolderFile& f) {
        const bool remove = SameArchive(f.file, app) && (f.file.what == ArchiveFile::What::Archive ||
                                                         (f.file.what == ArchiveFile::What::MappingNote &&
                                                          !ProcessRuns(f.file.number)));
        if (remove) DeleteArchive(f.path);
        return remove;
    });
    return suspect;
}

ArchiveFile RecordedName(const ClassSharingRecording& recording) {
    return {ArchiveFile::Owner::App, ArchiveFile::What::Archive, recording.stem, recording.runtimeKey,
            recording.key};
}

}  // namespace

void PrepareClassSharing(Launcher& launcher) {
    SharingFacts facts;
    std::wstring detail;
    std::string release;
    SharingKey runtimeKey;
    SharingKey key;
    const std::wstring folder = ArchiveFolder();
    const std::wstring home = StripPathLevels(launcher.VmLibraryPath, 3);
    facts.enabled = launcher.ClassDataSharing;
    facts.dryRun = launcher.DryRun;
    if (facts.enabled) {
        Win32FileProbe().ReadSmallFile(home + L"\\release", release);
        facts.runtimeVersion = ParseReleaseVersion(release);
        if (!facts.runtimeVersion) detail = home;
    }
    auto stopped = [&] { return PlanSharing(facts).action == SharingAction::Off; };
    if (!stopped()) {
        facts.hotSpot = IsHotSpot(launcher.VmLibraryPath);
        if (!facts.hotSpot) detail = launcher.VmLibraryPath;
    }
    // Settled after the VM's kind, so that both builds give one reason for one runtime.
    facts.pointers64 = sizeof(void*) == 8;
    if constexpr (sizeof(void*) != 8) {
        // The 32-bit build keeps no archives; what follows is left out of it, which keeps
        // the launcher within its size budget.
        NoteDecision(launcher.Decisions, "sharing", "off",
                     {{"reason", SharingReasonText(PlanSharing(facts).reason)}, {"detail", detail}});
        return;
    } else {
    if (!stopped()) {
        facts.options = ReviewSharingOptions(launcher.VmOptions, EnvironmentOptions());
        detail = FromProcessAnsi(facts.options.culprit);
    }
    // Without a message of its own: the launch has already found its path.
    std::wstring executable = launcher.ExecutablePathOverride;
    DWORD error = 0;
    if (executable.empty()) QueryModulePath(executable, error);
    const std::wstring stem = ArchiveStem(executable);
    JarKeys jars(stopped() || folder.empty() ? std::wstring() : folder + L"jars." + stem);
    if (!stopped()) {
        runtimeKey.Add(std::string_view(release)).Add(sizeof(void*));
        AddStamp(runtimeKey, launcher.VmLibraryPath, StampOf(launcher.VmLibraryPath));
        for (const std::string& option : facts.options.shaping) runtimeKey.Add(option);
        key.Add(std::wstring_view(L"" VMBOOT_VERSION));
        for (const std::string& option : launcher.VmOptions) {
            // The program's arguments do not change what it loads.
            if (std::string_view(option).starts_with(kCommandProperty)) continue;
            key.Add(option);
            bool classPath = false;
            std::size_t list = SharingPathListStart(option, classPath);
            if (list == std::string_view::npos) continue;
            facts.pathProblem =
                AddPathList(key, jars, std::string_view(option).substr(list), classPath, detail);
            if (facts.pathProblem != SharingReason::None) break;
        }
    }
    std::string vmFolder;
    if (!stopped()) {
        detail = folder;
        if (folder.empty()) {
            facts.folderProblem = SharingReason::NoLocalFolder;
        } else if (!launcher.DryRun && CreateParentFolders(folder + L"x") != 0) {
            facts.folderProblem = SharingReason::FolderNotCreated;
        } else if (!EncodeFolder(folder, vmFolder)) {
            facts.folderProblem = SharingReason::FolderNotEncodable;
        }
    }
    if (!stopped() && !launcher.DryRun) jars.Save();
    ArchiveFile base{ArchiveFile::Owner::Base, ArchiveFile::What::Archive, {}, runtimeKey.Value()};
    ArchiveFile app{ArchiveFile::Owner::App, ArchiveFile::What::Archive, stem, runtimeKey.Value()};
    std::vector<FolderFile> files;
    std::optional<FolderFile> privateBase;
    std::optional<FolderFile> appArchive;
    std::wstring damaged;
    if (!stopped()) {
        files = ListArchiveFiles(folder);
        if (!launcher.DryRun) RemoveLeftovers(files);
        // The runtime's own default archive is the base when no option asks for another shape
        // (without compressed pointers it would not load, and the VM would refuse to record).
        const std::wstring shipped = StripPathLevels(launcher.VmLibraryPath, 1) + L"\\classes.jsa";
        const FileStamp shippedStamp = StampOf(shipped);
        facts.shippedBase = shippedStamp.exists && !shippedStamp.folder && facts.options.defaultShape;
        if (facts.shippedBase) {
            key.Add(ShippedArchiveIdentity(shipped, shippedStamp));
        } else if ((privateBase = FindValidArchive(files, base, launcher.DryRun))) {
            // A base made again differs: the application's archive made on the old one would
            // be refused by the VM and never recorded again.
            key.Add(privateBase->file.number);
            facts.privateBase = true;
        }
        key.Add(runtimeKey.Value());
        app.key = key.Value();
        facts.suspectArchive = ClearSuspectArchive(files, app, launcher.DryRun);
        ArchiveFile refused = app;
        refused.what = ArchiveFile::What::Refused;
        const std::wstring refusedPath = folder + FormatArchiveFile(refused);
        if (facts.suspectArchive && !launcher.DryRun) CreateMark(refusedPath);
        facts.refusedRecently = RecentlyMade(StampOf(refusedPath), kFailedDumpRetry);
        if (facts.refusedRecently) detail = refusedPath;
        if (facts.shippedBase || facts.privateBase) {
            appArchive = FindValidArchive(files, app, launcher.DryRun, &damaged);
            facts.appArchive = appArchive.has_value();
        }
    }
    if (!stopped() && !facts.appArchive && !launcher.DryRun) facts.roomProblem = RoomProblem(folder);
    if (!stopped() && !facts.shippedBase && !facts.privateBase) {
        ArchiveFile mark = base;
        mark.what = ArchiveFile::What::Failed;
        facts.dumpFailedRecently = RecentlyMade(StampOf(folder + FormatArchiveFile(mark)), kFailedDumpRetry);
        mark.what = ArchiveFile::What::Lock;
        facts.dumpRunning = IsLocked(folder + FormatArchiveFile(mark));
    }
    ArchiveFile temporary = app;
    temporary.what = ArchiveFile::What::Temporary;
    temporary.number = ::GetCurrentProcessId();
    facts.vmFolder = vmFolder;
    if (privateBase) facts.baseName = Narrow(std::wstring_view(privateBase->path).substr(folder.size()));
    if (appArchive) facts.appName = Narrow(std::wstring_view(appArchive->path).substr(folder.size()));
    facts.temporaryName = Narrow(FormatArchiveFile(temporary));

    SharingPlan plan = PlanSharing(facts);
    if (plan.action == SharingAction::Off) {
        NoteDecision(launcher.Decisions, "sharing", "off",
                     {{"reason", SharingReasonText(plan.reason)}, {"detail", detail}});
        return;
    }
    if (plan.action == SharingAction::Dump) {
        if (plan.reason == SharingReason::BaseMadeNow) {
            std::vector<std::wstring> shaping;
            for (const std::string& option : facts.options.shaping) shaping.push_back(FromProcessAnsi(option));
            plan.reason = StartBaseArchiveDump(SharingJob{L"base", launcher.VmLibraryPath, folder,
                                                          runtimeKey.Value(), FromProcessAnsi(vmFolder),
                                                          shaping});
        }
        NoteDecision(launcher.Decisions, "sharing", "no-base-archive",
                     {{"folder", folder},
                      {"baseArchive", FormatArchiveFile(base).substr(0, 22) + L"<checksum>.jsa"},
                      {"state", SharingReasonText(plan.reason)}});
        return;
    }
    launcher.VmOptions.insert(launcher.VmOptions.begin(), plan.leading.begin(), plan.leading.end());
    launcher.VmOptions.insert(launcher.VmOptions.end(), plan.trailing.begin(), plan.trailing.end());
    const std::wstring baseText =
        privateBase ? privateBase->path : StripPathLevels(launcher.VmLibraryPath, 1) + L"\\classes.jsa";
    if (plan.action == SharingAction::Map) {
        NoteDecision(launcher.Decisions, "sharing", "map", {{"baseArchive", baseText}, {"archive", appArchive->path}});
        if (launcher.DryRun) return;
        // Cleared once main runs: a note left behind is a start that died mapping it.
        ArchiveFile note = app;
        note.what = ArchiveFile::What::MappingNote;
        note.number = ::GetCurrentProcessId();
        g_vmHooks.mappingNote = folder + FormatArchiveFile(note);
        CreateMark(g_vmHooks.mappingNote);
        return;
    }
    std::wstring archiveText = FormatArchiveFile(app);
    archiveText.resize(archiveText.size() - 20);
    NoteDecision(launcher.Decisions, "sharing", "record",
                 {{"baseArchive", baseText},
                  {"archive", archiveText + L"<checksum>.jsa"},
                  {"replaces", damaged.empty() ? L"nothing" : damaged}});
    if (launcher.DryRun) return;
    // Kept where the VM's exit and abort hooks find it. The folder stays while the VM runs:
    // a VM that cannot write the archive it was asked for ends the program with 1.
    g_vmHooks.recording.folder = folder;
    g_vmHooks.recording.temporary = folder + FromProcessAnsi(facts.temporaryName);
    g_vmHooks.recording.stem = app.stem;
    g_vmHooks.recording.runtimeKey = app.runtimeKey;
    g_vmHooks.recording.key = app.key;
    g_vmHooks.recording.folderHandle.reset(::CreateFileW(
        folder.c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
        FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    g_vmHooks.recordingOpen.store(true);
    }
}

void NoteClassSharingMainCalled() {
    g_vmHooks.mainCalled.store(true);
    if (!g_vmHooks.mappingNote.empty()) ::DeleteFileW(g_vmHooks.mappingNote.c_str());
}

void NoteClassSharingStart(bool started) {
    if (g_vmHooks.recordingStartNoted.exchange(true) || started) return;
    // A VM that failed to start, mapping, told us so: not an archive that crashes it.
    if (!g_vmHooks.mappingNote.empty()) ::DeleteFileW(g_vmHooks.mappingNote.c_str());
    if (!g_vmHooks.recordingOpen.exchange(false)) return;
    ClassSharingRecording& recording = g_vmHooks.recording;
    // Marked, so that the next start runs without recording instead of failing the same way.
    ArchiveFile refused = RecordedName(recording);
    refused.what = ArchiveFile::What::Refused;
    CreateMark(recording.folder + FormatArchiveFile(refused));
    DeleteArchive(recording.temporary);
    recording.folderHandle.reset();
}

void FinishClassSharingRecording() {
    // An orderly end, whether or not main ran: only a start that dies leaves its note.
    if (!g_vmHooks.mappingNote.empty()) ::DeleteFileW(g_vmHooks.mappingNote.c_str());
    if (!g_vmHooks.recordingOpen.exchange(false)) return;
    ClassSharingRecording& recording = g_vmHooks.recording;
    // A start whose main was never called (a missing class) loaded nothing of the program's.
    std::optional<std::uint64_t> checksum =
        g_vmHooks.mainCalled.load() ? FileChecksum(recording.temporary) : std::nullopt;
    if (!checksum) {
        DeleteArchive(recording.temporary);
        recording.folderHandle.reset();
        return;
    }
    ArchiveFile archive = RecordedName(recording);
    archive.number = *checksum;
    std::wstring target = recording.folder + FormatArchiveFile(archive);
    if (!::MoveFileExW(recording.temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        DeleteArchive(recording.temporary);
        recording.folderHandle.reset();
        return;
    }
    RemoveOutdated(recording, target);
    recording.folderHandle.reset();
}

bool RunClassSharingDumpMode(int& exitCode) {
    // Only the 64-bit build starts dumps, and it starts itself.
    if constexpr (sizeof(void*) != 8) return false;
    std::wstring text = EnvironmentVariable(kJobVariable);
    if (text.empty()) return false;
    ::SetEnvironmentVariableW(kJobVariable, nullptr);
    std::optional<SharingJob> job = ParseSharingJob(text);
    if (!job) {
        exitCode = 1;
        return true;
    }
    exitCode = job->mode == L"vm" ? RunDumpVm(*job) : RunBaseDump(*job);
    return true;
}
