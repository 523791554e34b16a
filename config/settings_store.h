#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

/// Configuration access. A missing key and an empty value are the same: the empty string.
class SettingsStore {
  public:
    virtual ~SettingsStore() = default;

    /// Reads the first four bytes of the backing file. 0 on success, else a Windows error
    /// code; a store without a file sets 0 and returns 1.
    virtual std::uint32_t ReadHeader(std::uint32_t& value) = 0;
    /// `out` receives the value of `key` in `section` (see each store for a missing key).
    virtual void GetString(const std::wstring& section, const std::wstring& key,
                           std::wstring& out) = 0;
    /// Replaces `names` with the section names in order.
    virtual void GetSectionNames(std::vector<std::wstring>& names) = 0;
    virtual bool WriteString(const std::wstring& section, const std::wstring& key,
                             const std::wstring& value) = 0;
    /// Deletes the backing file; false when there is none or it cannot be deleted.
    virtual bool DeleteStoreFile() = 0;
};

struct SettingsSection {
    std::wstring Name;
    std::vector<std::pair<std::wstring, std::wstring>> Pairs;
};

/// Sections and keys held in memory. Names compare exactly; duplicates stay and every
/// lookup finds the first match.
class SettingsDocument : public SettingsStore {
  public:
    std::uint32_t ReadHeader(std::uint32_t& value) override;
    /// Leaves `out` unchanged when the section or the key is missing.
    void GetString(const std::wstring& section, const std::wstring& key,
                   std::wstring& out) override;
    void GetSectionNames(std::vector<std::wstring>& names) override;
    /// Appends the pair to the first section of that name (appending the section first
    /// when there is none). Always true.
    bool WriteString(const std::wstring& section, const std::wstring& key,
                     const std::wstring& value) override;
    bool DeleteStoreFile() override;

    /// The pair's value, or null when the section or the key is missing.
    const std::wstring* Find(std::wstring_view section, std::wstring_view key) const;
    const std::vector<SettingsSection>& Sections() const { return sections_; }
    void Clear() { sections_.clear(); }
    SettingsSection& AppendSection(std::wstring name);

  private:
    std::vector<SettingsSection> sections_;
};

/// Replaces the document with the sections of `text`: lines split on "\r\n", a leading
/// U+FEFF dropped, "[name]" headers (surrounding white space allowed), "key = value" lines
/// trimmed; lines before the first header and lines without "=" are ignored.
void ParseSettingsText(SettingsDocument& document, std::wstring_view text);

/// Where a layered value came from.
enum class SettingSource {
    Absent,           ///< no layer has it: the key's default applies
    Document,         ///< the in-memory layer
    File,             ///< the configuration file (hides the other layers)
    AppendSection,    ///< only the file's "<section>+" section
    DocumentAppended  ///< the in-memory value extended by the "<section>+" section
};

struct LayeredValue {
    std::wstring Value;
    SettingSource Source = SettingSource::Absent;
};

/// Name of a section's append section: the section name followed by "+".
std::wstring AppendSectionName(std::wstring_view section);

/// The layered rule over three values already read: a non-empty file value replaces the
/// document value; otherwise a non-empty append value is added after one space (not added
/// when the append value starts with a space), even when the document value is empty.
LayeredValue CombineLayers(std::wstring_view documentValue, std::wstring_view fileValue,
                           std::wstring_view appendValue);

/// Reads one value of a layer: (section, key) -> value, empty when missing.
using LayerReader = std::function<std::wstring(const std::wstring&, const std::wstring&)>;

/// The layered read: document, then file, then the file's append section. The append
/// section is read only when the file value is empty.
LayeredValue ReadLayered(const LayerReader& document, const LayerReader& file,
                         const std::wstring& section, const std::wstring& key);

/// Short name of a source for diagnostics ("absent", "document", "file", "append",
/// "document+append").
const wchar_t* SettingSourceName(SettingSource source);
