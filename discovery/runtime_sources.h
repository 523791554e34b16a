#pragma once

#include "core/decision_log.h"
#include "config/criteria.h"
#include "discovery/runtime_report.h"
#include "core/version.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

/// Which registry view of HKEY_LOCAL_MACHINE: the running build's own, or the other
/// processor's (the 32-bit view from the 64-bit build, the 64-bit view from the 32-bit one).
/// CurrentUser is HKEY_CURRENT_USER, where per-user installers register; both processors
/// share it, so only a runtime's VM library says which processor it is for.
enum class RegistryView { Native, Alternate, CurrentUser };

/// Read-only access to HKEY_LOCAL_MACHINE (and HKEY_CURRENT_USER for RegistryView::CurrentUser).
/// A key that cannot be opened has no subkeys and no values.
class RegistryAccess {
  public:
    virtual ~RegistryAccess() = default;
    /// Subkey names of `path` in enumeration order, up to the first enumeration error.
    virtual std::vector<std::wstring> SubkeyNames(const std::wstring& path, RegistryView view) = 0;
    /// A text value, ending at its first NUL or at the end of its data. False when the key or
    /// value is missing, unreadable or not text.
    virtual bool ReadText(const std::wstring& path, const std::wstring& name, RegistryView view,
                          std::wstring& text) = 0;
};

/// File-system queries of the runtime search.
class FileProbe {
  public:
    virtual ~FileProbe() = default;
    /// True when a find-first-file query on `path` succeeds.
    virtual bool Exists(const std::wstring& path) = 0;
    /// True when `folder` (ending in a backslash) is an existing folder.
    virtual bool FolderExists(const std::wstring& folder) = 0;
    /// The bytes of a small text file (a runtime's "release" file); false when unreadable.
    virtual bool ReadSmallFile(const std::wstring& path, std::string& bytes) = 0;
    /// The Machine field of the PE image at `path`; nothing when it is not a readable image.
    virtual std::optional<std::uint16_t> ImageMachine(const std::wstring& path) = 0;
};

enum class RuntimeKind { DevelopmentKit, RuntimeEnvironment };
enum class RuntimeProvider { Sun, JRockit, Ibm };

/// One registry root under HKEY_LOCAL_MACHINE where runtimes register by version subkey.
struct RuntimeRegistryRoot {
    int number;           ///< 1 to 7, the search order
    const wchar_t* path;  ///< ends in a backslash
    RuntimeKind kind;
    RuntimeProvider provider;
    bool homeHoldsKit;      ///< JavaHome names a kit whose runtime is its "jre\" folder
    bool favorServerAsAny;  ///< FavorServer is probed as AnyVm for runtimes of this root
};

extern const RuntimeRegistryRoot kRuntimeRegistryRoots[7];

/// The root's kind is wanted and its provider allowed or favoured.
bool IsRootSearched(const RuntimeRegistryRoot& root, const RuntimeSearchCriteria& criteria);
/// Candidates of this root match both the wanted kind and a favoured provider.
bool IsRootPreferred(const RuntimeRegistryRoot& root, const RuntimeSearchCriteria& criteria);

/// One runtime found in the registry.
struct RuntimeCandidate {
    VersionNumber version;  ///< from the subkey name, fill 0
    std::wstring home;      ///< runtime folder ending in a backslash
    bool hasServerVm = false;
    bool preferred = false;
    /// Registered under IBM's own root (the only runtimes whose VM thread stays parked).
    bool fromIbmRoot = false;
};

/// "HKLM\<key> (64-bit)", "HKLM\<key> (32-bit)" or "HKCU\<key>": where a runtime registered.
std::wstring RegistryPlace(RegistryView view, const std::wstring& key, bool hostIs64Bit);

/// Renames %FROM% references (any letter case) to %TO% for each pair, so that a value read
/// from the other registry view expands to that view's program folders.
std::wstring RenameViewFolders(std::wstring_view text,
                               const std::vector<std::pair<std::wstring, std::wstring>>& renames);

/// The version in a runtime's "release" file (JAVA_VERSION="17.0.9"); nothing without one.
/// The file may be UTF-8 with or without a byte-order mark or UTF-16 with one, and may have
/// spaces around the "=".
std::optional<VersionNumber> ParseReleaseVersion(std::string_view text);
/// The version of the runtime in `folder` from its "release" file, if it has one.
std::optional<VersionNumber> ReadReleaseVersion(FileProbe& files, const std::wstring& folder);

/// What is known of a runtime's version: a single version (`lowest` equals `highest`), or
/// only its major version, which spans every update of it.
struct KnownVersion {
    VersionNumber lowest;
    VersionNumber highest;
};
/// A release file's version, or the version a vendor's subkey name gives: "8.0.392.8" is
/// Java 1.8.0_392, "17.0.9.9" is 17.0.9.9, and a name with only a major version ("zulu-8",
/// "jdk-21", "17") gives the range of that major version. Majors 2 to 8 are written 1.<major>,
/// as the runtimes themselves do. Nothing for a name without digits.
std::optional<KnownVersion> VendorKeyVersion(std::wstring_view subkey);
/// "1.8.0.392" shown as "8.0.392", "17.0.9.0" as "17.0.9": the number people call it by.
std::wstring JavaVersionName(const VersionNumber& version);

struct VmLibraryLocation {
    std::wstring path;  ///< empty when no VM library was found
    bool server = false;
};

/// Probes the VM library paths of `folder` (ending in a backslash) in the order `mode` asks:
/// AnyVm client, classic, hotspot, server, jrockit; FavorServer server first, then the AnyVm
/// order; ServerOnly only bin\server\jvm.dll.
VmLibraryLocation LocateVmLibrary(FileProbe& files, const std::wstring& folder, JvmTypeMode mode,
                                  DecisionLog* log = nullptr);

/// A runtime folder as a setting or a person names it, with its VM library: the folder
/// itself; else its "jre\" folder, where every vendor's Java 8 kit keeps the VM; else, for a
/// runtime's "bin\" folder, the folder above it. `folder` and the result end in a backslash;
/// the result is `folder` with an empty library when none holds one.
struct RuntimeFolder {
    std::wstring folder;
    VmLibraryLocation library;
};
RuntimeFolder LocateRuntimeFolder(FileProbe& files, const std::wstring& folder, JvmTypeMode mode,
                                  DecisionLog* log = nullptr);

/// True when folder + "bin\java.dll" exists.
bool HasRuntimeMarker(FileProbe& files, const std::wstring& folder);

/// The folder to probe for a configured "JRE Path": the path with a trailing backslash.
std::wstring JrePathFolder(const std::wstring& jrePath);

/// The runtime shipped with the application: the launcher folder itself when it holds the
/// marker, else its `privateFolder` ("jre64\" or "jre\") when that does; empty otherwise.
std::wstring FindPrivateRuntimeFolder(FileProbe& files, const std::wstring& launcherFolder,
                                      const std::wstring& privateFolder,
                                      DecisionLog* log = nullptr);

struct RegisteredRuntime {
    std::wstring folder;
    std::wstring library;
    bool server = false;
};

/// Reads root + subkey "JavaHome" and finds a VM library below it. False when the value is
/// missing or empty or the folder has no VM library.
bool ReadRegisteredRuntime(RegistryAccess& registry, FileProbe& files,
                           const RuntimeRegistryRoot& root, const std::wstring& subkey,
                           RegistryView view, JvmTypeMode mode, RegisteredRuntime& runtime,
                           DecisionLog* log = nullptr);

/// Appends the runtimes of one root whose versions lie within the bounds (both inclusive).
/// A VM library that no build can host (ARM64, ...) is rejected. Every runtime of the root
/// is added to `seenRuntimes` (when given) with why it was rejected. With `rejectAs` set, the
/// runtimes that pass are only reported, as rejected for that reason, and not appended.
void ScanRegistryRoot(RegistryAccess& registry, FileProbe& files, const RuntimeRegistryRoot& root,
                      RegistryView view, const RuntimeSearchCriteria& criteria,
                      std::vector<RuntimeCandidate>& candidates,
                      std::vector<SeenRuntime>* seenRuntimes = nullptr, DecisionLog* log = nullptr,
                      RuntimeRejection rejectAs = RuntimeRejection::None);

// Texts for the decision log.
std::wstring DecisionText(bool value);
std::wstring DecisionText(JvmTypeMode mode);
std::wstring DecisionText(RegistryView view);
/// All four components, e.g. "1.8.0.191".
std::wstring DecisionText(const VersionNumber& version);
