#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

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
};
SharingOptionRole ClassifySharingOption(std::string_view option);

/// Dynamic archives on top of a base archive exist from Java 13.
bool SupportsDynamicArchive(const VersionNumber& version);

/// File names in the archive folder: "base.<runtime key>.<checksum>.jsa" and
/// "app.<stem>.<runtime key>.<key>.<checksum>.jsa". The prefixes end with the "." before
/// the checksum.
std::wstring BaseArchivePrefix(std::uint64_t runtimeKey);
std::wstring AppArchivePrefix(std::wstring_view stem, std::uint64_t runtimeKey, std::uint64_t key);
/// "app.<stem>.": every archive of one application, of any runtime.
std::wstring AppArchiveFamily(std::wstring_view stem);
/// The application's part of the names: its executable's base name (letters, digits, "-"
/// and "_" kept, at most 40) and a hash of its full path, so that two installations of one
/// program keep their own archives.
std::wstring ArchiveStem(std::wstring_view executablePath);
/// The checksum a name carries after `prefix`; nothing for another name.
std::optional<std::uint64_t> ArchiveChecksum(std::wstring_view name, std::wstring_view prefix);
