#include "config/settings_store.h"

#include "core/path_utils.h"

namespace {
bool IsControlOrSpace(wchar_t c) { return c <= 32; }

std::wstring_view TrimWideSpace(std::wstring_view text) {
    while (!text.empty() && IsWideSpace(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsWideSpace(text.back())) text.remove_suffix(1);
    return text;
}

// A header is "[" after leading control/space characters and "]" before trailing ones;
// the name runs from the first "[" to the last "]" and is not trimmed.
bool ParseHeader(std::wstring_view line, std::wstring& name) {
    std::size_t first = 0;
    while (first < line.size() && IsControlOrSpace(line[first])) ++first;
    if (first == line.size() || line[first] != L'[') return false;
    std::size_t last = line.size();
    while (last > first && IsControlOrSpace(line[last - 1])) --last;
    if (line[last - 1] != L']') return false;
    std::size_t open = line.find(L'[');
    std::size_t close = line.rfind(L']');
    name.assign(line.substr(open + 1, close - open - 1));
    return true;
}
}  // namespace

SettingsSection& SettingsDocument::AppendSection(std::wstring name) {
    sections_.push_back(SettingsSection{std::move(name), {}});
    return sections_.back();
}

void ParseSettingsText(SettingsDocument& document, std::wstring_view text) {
    document.Clear();
    std::vector<std::wstring> lines = SplitList(text, L"\r\n");
    if (!lines.empty() && !lines.front().empty() && lines.front().front() == L'\uFEFF') {
        lines.front().erase(0, 1);
    }
    SettingsSection* current = nullptr;
    std::wstring name;
    for (const auto& line : lines) {
        if (line.empty()) continue;
        if (ParseHeader(line, name)) {
            current = &document.AppendSection(name);
            continue;
        }
        if (!current) continue;
        std::size_t equals = line.find(L'=');
        if (equals == std::wstring::npos) continue;
        std::wstring_view view(line);
        current->Pairs.emplace_back(std::wstring(TrimWideSpace(view.substr(0, equals))),
                                    std::wstring(TrimWideSpace(view.substr(equals + 1))));
    }
}

std::wstring AppendSectionName(std::wstring_view section) { return std::wstring(section) + L"+"; }

LayeredValue CombineLayers(std::wstring_view fileValue, std::wstring_view appendValue) {
    if (!fileValue.empty()) return {std::wstring(fileValue), SettingSource::File};
    LayeredValue result;
    if (appendValue.empty()) return result;
    if (appendValue.front() != L' ') result.Value += L' ';
    result.Value += appendValue;
    result.Source = SettingSource::AppendSection;
    return result;
}

LayeredValue ReadLayered(const LayerReader& file, const std::wstring& section,
                         const std::wstring& key) {
    std::wstring fileValue = file(section, key);
    if (!fileValue.empty()) return CombineLayers(fileValue, {});
    return CombineLayers({}, file(AppendSectionName(section), key));
}

const wchar_t* SettingSourceName(SettingSource source) {
    switch (source) {
        case SettingSource::File:
            return L"file";
        case SettingSource::AppendSection:
            return L"append";
        case SettingSource::PerUser:
            return L"per-user";
        case SettingSource::Absent:
            break;
    }
    return L"absent";
}
