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

    /// `out` receives the value of `key` in `section` (see each store for a missing key).
    virtual void GetString(const std::wstring& section, const std::wstring& key,
                           std::wstring& out) = 0;
    virtual bool WriteString(const std::wstring& section, const std::wstring& key,
                             const std::wstring& value) = 0;
};

struct SettingsSection {
    std::wstring Name;
    std::vector<std::pair<std::wstring, std::wstring>> Pairs;
};

/// The sections and keys of a parsed settings text (a file saved as UTF-8), in file order
/// and as written: duplicates stay, for the reader to choose.
class SettingsDocument {
  public:
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
    Absent,        ///< neither has it: the key's default applies
    File,          ///< the configuration file (hides the append section)
    AppendSection,  ///< only the file's "<section>+" section
    PerUser         ///< the user's own file under APPDATA
};

struct LayeredValue {
    std::wstring Value;
    SettingSource Source = SettingSource::Absent;
};

/// Name of a section's append section: the section name followed by "+".
std::wstring AppendSectionName(std::wstring_view section);

/// The layered rule over two values already read: a non-empty file value wins; otherwise a
/// non-empty append value is taken after one space (none added when it starts with one).
LayeredValue CombineLayers(std::wstring_view fileValue, std::wstring_view appendValue);

/// Reads one value of a layer: (section, key) -> value, empty when missing.
using LayerReader = std::function<std::wstring(const std::wstring&, const std::wstring&)>;

/// The layered read: the file, then its append section, read only when the file value is
/// empty.
LayeredValue ReadLayered(const LayerReader& file, const std::wstring& section,
                         const std::wstring& key);

/// Short name of a source for diagnostics ("absent", "file", "append", "per-user").
const wchar_t* SettingSourceName(SettingSource source);
