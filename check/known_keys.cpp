#include "check/known_keys.h"

#include <string_view>
#include <utility>

#include "config/utf8_settings.h"

namespace {

struct KnownSection {
    const wchar_t* name;
    bool appendable;  ///< read through the layered store, so "<name>+" counts too
    std::vector<const wchar_t*> keys;
};

const std::vector<KnownSection>& KnownSections() {
    static const std::vector<KnownSection> sections = {
        {L"Product Information", false, {L"Product Code", L"Product Name"}},
        {L"Java Runtime Environment",
         true,
         {L"Minimum Version", L"Maximum Version", L"Preferred versions", L"JRE Path",
          L"JVM Type", L"JVM Source", L"VM Provider", L"Vendor Runtimes", L"Use JAVA_HOME",
          L"Main Class", L"Main Module", L"Module Path", L"System Path", L"Library Path",
          L"Virtual Machine Parameters", L"Class Data Sharing"}},
        {L"Class Path", true, {L"Class Path"}},
        {L"Application",
         true,
         {L"Application Type", L"Omit Service Name", L"Single Instance", L"Failure Check",
          L"Override WorkingDir", L"Pair Product", L"Pair Return Code", L"Embedded Jar",
          L"Output File", L"Output Append", L"Error File", L"Error Append", L"Cmd"}},
        {L"Display",
         false,
         {L"Splash Screen", L"Splash Screen Shadow", L"Keep Splash Screen",
          L"Preffer Native Splash Screen"}},
    };
    return sections;
}

const KnownSection* FindSection(std::wstring_view name) {
    for (const KnownSection& section : KnownSections()) {
        if (EqualNamesIgnoringCase(name, section.name)) return &section;
        if (section.appendable && name.size() == std::wstring_view(section.name).size() + 1 &&
            name.back() == L'+' && EqualNamesIgnoringCase(name.substr(0, name.size() - 1),
                                                           section.name)) {
            return &section;
        }
    }
    return nullptr;
}

bool HasKey(const KnownSection& section, std::wstring_view key) {
    for (const wchar_t* known : section.keys) {
        if (EqualNamesIgnoringCase(key, known)) return true;
    }
    return false;
}

}  // namespace

std::vector<KeyNote> CheckConfigurationKeys(const SettingsDocument& document) {
    std::vector<KeyNote> notes;
    for (const SettingsSection& section : document.Sections()) {
        const KnownSection* known = FindSection(section.Name);
        if (!known) {
            notes.push_back({section.Name, L"", "unknown-section", L""});
            continue;
        }
        for (const auto& [key, value] : section.Pairs) {
            if (HasKey(*known, key)) continue;
            KeyNote note{section.Name, key, "unknown-key", L""};
            for (const KnownSection& other : KnownSections()) {
                if (HasKey(other, key)) {
                    note.kind = "misplaced-key";
                    note.belongsIn = other.name;
                }
            }
            notes.push_back(std::move(note));
        }
    }
    return notes;
}

std::vector<RepeatedSection> FindRepeatedSections(const SettingsDocument& document) {
    std::vector<RepeatedSection> repeated;
    const std::vector<SettingsSection>& sections = document.Sections();
    for (std::size_t i = 0; i < sections.size(); ++i) {
        for (std::size_t j = 0; j < i; ++j) {
            if (!EqualNamesIgnoringCase(sections[i].Name, sections[j].Name)) continue;
            RepeatedSection entry{sections[i].Name, {}};
            for (const auto& pair : sections[i].Pairs) entry.keys.push_back(pair.first);
            repeated.push_back(std::move(entry));
            break;
        }
    }
    return repeated;
}

std::wstring CaseOnlyMismatch(std::wstring_view key, std::wstring_view value) {
    static constexpr std::pair<const wchar_t*, const wchar_t*> kExactWords[] = {
        {L"Single Instance", L"yes"},
        {L"Output Append", L"yes"},
        {L"Error Append", L"yes"},
        {L"Application Type", L"service"},
    };
    for (const auto& [name, word] : kExactWords) {
        if (!EqualNamesIgnoringCase(key, name)) continue;
        if (value != word && EqualNamesIgnoringCase(value, word)) return word;
        return {};
    }
    return {};
}
