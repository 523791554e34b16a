#include "hosting/time_pattern.h"

std::optional<TimePatternParts> SplitTimePattern(std::wstring_view name) {
    std::size_t first = name.find(L'%');
    if (first == std::wstring_view::npos) return std::nullopt;
    std::size_t last = name.rfind(L'%');
    TimePatternParts parts;
    parts.prefix.assign(name.substr(0, first));
    if (last > first) parts.pattern.assign(name.substr(first + 1, last - first - 1));
    parts.suffix.assign(name.substr(last + 1));
    return parts;
}

std::wstring ReplaceMilliseconds(std::wstring_view pattern, int milliseconds) {
    std::wstring digits = std::to_wstring(milliseconds);
    std::wstring result;
    result.reserve(pattern.size());
    for (wchar_t c : pattern) {
        if (c == L'L') {
            result += digits;
        } else {
            result += c;
        }
    }
    return result;
}

std::wstring ExpandTimePattern(std::wstring_view name, int milliseconds,
                               const PictureFormatter& formatTime,
                               const PictureFormatter& formatDate) {
    std::optional<TimePatternParts> parts = SplitTimePattern(name);
    if (!parts) return std::wstring(name);
    std::wstring picture = ReplaceMilliseconds(parts->pattern, milliseconds);
    if (std::optional<std::wstring> timed = formatTime(picture)) picture = std::move(*timed);
    if (std::optional<std::wstring> dated = formatDate(picture)) picture = std::move(*dated);
    return parts->prefix + picture + parts->suffix;
}
