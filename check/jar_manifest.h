#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// What vmbootcheck needs from a jar: whether it holds the main class, and the main section of
// its manifest. `java -jar` acts on some manifest attributes that a launcher started like
// `java -cp` never sees; the report names them so they can be carried over into the .ini.

/// Bytes of a deflate stream (RFC 1951) decoded, at most `limit` of them; nothing when the
/// stream is damaged or would produce more.
std::optional<std::string> Inflate(std::string_view data, std::size_t limit);
/// Lets a reader that needs only the start of a stream end its decoding early.
class InflateStop {
  public:
    virtual ~InflateStop() = default;
    /// 0 when `decoded` holds all that is needed; else the size at which to ask again.
    virtual std::size_t Needed(std::string_view decoded) = 0;
};

/// Inflate into `out`, whose buffer is reused; false when damaged or over the limit. With
/// `stop`, decoding ends (true) as soon as it says the bytes so far are enough.
bool InflateInto(std::string_view data, std::size_t limit, std::string& out,
                 InflateStop* stop = nullptr);

/// One record of a zip file's central directory; `name` views the zip's bytes.
struct ZipEntry {
    std::string_view name;
    std::uint32_t method = 0;  ///< 0 stored, 8 deflated
    std::size_t compressedSize = 0;
    std::size_t size = 0;
    std::size_t localHeader = 0;
};

/// The central directory's records in order, up to the first damaged one.
std::vector<ZipEntry> ZipEntries(std::string_view zip);

/// One entry's bytes, at most `limit`; false (nothing) when damaged, larger or compressed
/// other than by deflate. Every offset is checked against the zip's bytes. `stop` may end a
/// deflated entry early (see InflateInto).
bool ReadZipEntryInto(std::string_view zip, const ZipEntry& entry, std::size_t limit,
                      std::string& out, InflateStop* stop = nullptr);
std::optional<std::string> ReadZipEntry(std::string_view zip, const ZipEntry& entry,
                                        std::size_t limit);

struct JarContents {
    bool hasEntry = false;                ///< the entry asked for is in the central directory
    std::optional<std::string> manifest;  ///< META-INF/MANIFEST.MF, when readable and small
};

/// Looks up `entry` and reads the manifest of a zip file, through its central directory only;
/// every offset is checked against the bytes, and a manifest over 1 MiB is not read.
JarContents ReadJarContents(std::string_view zip, std::string_view entry);

/// The main section's attributes of a manifest, continuation lines joined, in order.
std::vector<std::pair<std::string, std::string>> ManifestMainAttributes(std::string_view text);

/// One value of a manifest attribute that only `java -jar` acts on and that `vmOptions`
/// (the options the launcher would pass) do not carry.
struct ManifestNote {
    std::string attribute;  ///< "Add-Opens", "Add-Exports", "Enable-Native-Access", "Launcher-Agent-Class"
    std::string value;      ///< one item of it: "java.desktop/sun.awt", "ALL-UNNAMED", a class
};
std::vector<ManifestNote> ManifestAttributesNotCarried(
    const std::vector<std::pair<std::string, std::string>>& attributes,
    const std::vector<std::string>& vmOptions);
