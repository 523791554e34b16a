#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/version_number.h"

// Class data sharing kept by the launcher: the VM maps the classes a start loaded from an
// archive instead of loading and verifying them again. The launcher keeps one base archive
// per runtime and one application archive per application and runtime, and names each by
// what invalidates it and by a checksum of its content, which is verified before each use:
// a damaged archive must never reach the VM, which does not always survive one.

/// What invalidates an archive, folded into 64 bits. Each item is added with its length, so
/// that ("ab", "c") and ("a", "bc") give different keys.
class SharingKey {
  public:
    SharingKey& Add(std::string_view bytes);
    SharingKey& Add(std::wstring_view text);
    SharingKey& Add(std::uint64_t number);
    std::uint64_t Value() const { return hash_; }

  private:
    void Mix(const void* data, std::size_t size);
    std::uint64_t hash_ = 14695981039346656037ull;
};

/// XXH64 with seed 0: fast enough to check a 20 MB archive on every start.
std::uint64_t ContentChecksum(const unsigned char* data, std::size_t size);

/// How a VM option bears on sharing.
enum class SharingOptionRole {
    None,
    /// The user's own sharing options (-Xshare, SharedArchiveFile, ...): the launcher stays
    /// out of the way.
    TakesOver,
    /// Heap size and pointer layout: an archive dumped without them may not load with them,
    /// so the base archive is made with them and keyed by them.
    ShapesArchive,
    /// The VM refuses to record with them and ends the start with 1 ("Cannot use the
    /// following option when dumping the shared archive", "CDS dumping does not support
    /// native JVMTI agent"): module graph changes and agents.
    ForbidsRecording,
    /// The VM prints a warning of its own whenever sharing is on, which java.exe on a runtime
    /// without an archive never prints.
    ChangesOutput,
};
SharingOptionRole ClassifySharingOption(std::string_view option);

/// Dynamic archives on top of a base archive exist from Java 13.
bool SupportsDynamicArchive(const VersionNumber& version);

/// Why a start maps, records or makes no archive. Each has one fixed text (SharingReasonText)
/// that vmbootcheck shows.
enum class SharingReason {
    None,
    Disabled,
    RuntimeVersionUnknown,
    RuntimeTooOld,
    NotHotSpot,
    ThirtyTwoBit,
    ParametersChooseSharing,
    EnvironmentChoosesSharing,
    OptionForbidsRecording,
    OptionChangesOutput,
    ClassPathFolder,
    ModulePathUnpacked,
    NoLocalFolder,
    FolderNotCreated,
    FolderNotEncodable,
    RefusedRecently,
    SuspectArchive,
    LowSpace,
    FolderNotWritable,
    BaseBeingMade,
    BaseFailedRecently,
    BaseMadeByNextStart,
    BaseDumpNotStarted,
    BaseMadeNow,
};
const wchar_t* SharingReasonText(SharingReason reason);

/// What the launcher's own options and the VM's environment variables mean for sharing.
struct SharingOptionsReview {
    SharingReason refusal = SharingReason::None;
    /// The option or variable that refused.
    std::string culprit;
    /// Options that shape the base archive: its job passes them and the runtime key holds them.
    std::vector<std::string> shaping;
    /// No shaping option but a heap size that keeps compressed pointers: the runtime's own
    /// default archive still loads, and the VM records on top of it.
    bool defaultShape = true;
};
/// `options` are the launcher's VM options, `environment` those of JAVA_TOOL_OPTIONS and
/// _JAVA_OPTIONS, which the VM reads after them.
SharingOptionsReview ReviewSharingOptions(const std::vector<std::string>& options,
                                          const std::vector<std::string>& environment);

/// -Xmx<size> or -XX:MaxHeapSize=<size> below 30 GB, where the VM keeps compressed pointers
/// and so the shape of the default archive.
bool IsSmallHeapSize(std::string_view option);

/// Where a class or module path option's list starts, or npos for another option.
std::size_t SharingPathListStart(std::string_view option, bool& classPath);

/// What decides a start's sharing, gathered by the Win32 half. Facts after a refusal are
/// not gathered and not read.
struct SharingFacts {
    bool enabled = true;
    std::optional<VersionNumber> runtimeVersion;
    bool hotSpot = true;
    bool pointers64 = true;
    SharingOptionsReview options;
    SharingReason pathProblem = SharingReason::None;
    SharingReason folderProblem = SharingReason::None;
    bool refusedRecently = false;
    /// A start that mapped the application's archive died before main: the archive is suspect.
    bool suspectArchive = false;
    /// The runtime ships its default archive (bin\server\classes.jsa) and no option shapes
    /// another: the application's layer goes on top of it, no private base is made.
    bool shippedBase = false;
    /// A valid private base archive of this runtime and these shaping options.
    bool privateBase = false;
    bool appArchive = false;
    /// Why nothing can be written into the folder (LowSpace, FolderNotWritable), or None.
    SharingReason roomProblem = SharingReason::None;
    bool dumpFailedRecently = false;
    bool dumpRunning = false;
    bool dryRun = false;
    /// The archive folder as the VM reads it (ANSI code page, ends with a separator) and the
    /// names in it.
    std::string vmFolder;
    std::string baseName;
    std::string appName;
    std::string temporaryName;
};

enum class SharingAction { Off, Dump, Record, Map };

struct SharingPlan {
    SharingAction action = SharingAction::Off;
    SharingReason reason = SharingReason::None;
    /// The options go before the launcher's (`leading`) and after them (`trailing`).
    std::vector<std::string> leading;
    std::vector<std::string> trailing;
};
SharingPlan PlanSharing(const SharingFacts& facts);

/// The files of the archive folder: "base.<runtime key>.<what>" and
/// "app.<stem>.<runtime key>.<key>.<what>", where <what> is "<checksum>.jsa" (an archive),
/// "<pid>.tmp" (one being written), "mapping.<pid>" (a start mapping it that has not reached
/// main), "lock", "failed" (the last base dump failed) or "refused" (the VM did not start
/// while recording).
struct ArchiveFile {
    enum class Owner { Base, App } owner = Owner::Base;
    enum class What { Archive, Temporary, MappingNote, Lock, Failed, Refused } what = What::Archive;
    std::wstring stem;
    std::uint64_t runtimeKey = 0;
    std::uint64_t key = 0;
    /// The checksum of an archive, the process id of a temporary file or note.
    std::uint64_t number = 0;
};
std::wstring FormatArchiveFile(const ArchiveFile& file);
std::optional<ArchiveFile> ParseArchiveFile(std::wstring_view name);
/// Owner, stem and keys only: another file of the same archive.
bool SameArchive(const ArchiveFile& a, const ArchiveFile& b);

/// The application's part of the names: its executable's base name (letters, digits, "-"
/// and "_" kept, at most 40) and a hash of its full path, so that two installations of one
/// program keep their own archives.
std::wstring ArchiveStem(std::wstring_view executablePath);

/// The work of a hidden process of this executable: "base" owns the dump of a base archive
/// and its lock, "vm" is the VM that writes it. Passed in one environment variable.
struct SharingJob {
    std::wstring mode;
    std::wstring vmLibrary;
    std::wstring folder;
    std::uint64_t runtimeKey = 0;
    /// The folder as the VM reads it.
    std::wstring vmFolder;
    std::vector<std::wstring> options;
};
std::wstring FormatSharingJob(const SharingJob& job);
std::optional<SharingJob> ParseSharingJob(std::wstring_view text);

/// A jar's zip central directory: every entry's name, sizes and CRC, at the end of the file.
/// Found from the file's last bytes (`tail`, at most 65,557 of them, ending at `fileSize`).
struct ZipDirectory {
    std::uint64_t offset = 0;
    std::uint64_t size = 0;
};
std::optional<ZipDirectory> FindZipDirectory(const unsigned char* tail, std::size_t tailSize,
                                             std::uint64_t fileSize);
constexpr std::size_t kZipTailSize = 22 + 65535;

/// A jar's content key as an earlier start found it, with what the file looked like then:
/// its size, write time and change time (which every write, rename or change of the times
/// sets). A jar that still looks so keeps its key without being opened.
struct JarKeyRecord {
    std::wstring path;
    std::uint64_t size = 0;
    std::uint64_t writeTime = 0;
    std::uint64_t changeTime = 0;
    std::uint64_t key = 0;
};
std::wstring FormatJarKeys(const std::vector<JarKeyRecord>& records);
/// Lines that do not parse are left out: they are only keys to read again.
std::vector<JarKeyRecord> ParseJarKeys(std::wstring_view text);
