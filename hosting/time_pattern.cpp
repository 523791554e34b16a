#include "hosting/time_pattern.h"

#include "core/format.h"

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
    std::wstring digits = DecimalText(milliseconds);
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

std::vector<std::wstring> SplitPicture(std::wstring_view picture, std::size_t limit) {
    std::vector<std::wstring> tokens;
    for (std::size_t i = 0; i < picture.size();) {
        std::size_t end = i + 1;
        if (picture[i] == L'\'') {
            std::size_t close = picture.find(L'\'', i + 1);
            end = close == std::wstring_view::npos ? picture.size() : close + 1;
            std::wstring_view literal = picture.substr(i, end - i);
            if (literal.size() > limit && close != std::wstring_view::npos && limit > 2) {
                // Each piece is quoted on its own; all but the last fill a whole chunk, so no
                // two of them meet as '' (which would read as a quote character).
                std::wstring_view inner = literal.substr(1, literal.size() - 2);
                for (std::size_t at = 0; at < inner.size(); at += limit - 2) {
                    tokens.push_back(L"'" + std::wstring(inner.substr(at, limit - 2)) + L"'");
                }
                i = end;
                continue;
            }
        } else {
            while (end < picture.size() && picture[end] == picture[i]) ++end;
        }
        tokens.emplace_back(picture.substr(i, end - i));
        i = end;
    }
    std::vector<std::wstring> pieces;
    for (std::wstring& token : tokens) {
        if (pieces.empty() || pieces.back().size() + token.size() > limit) {
            pieces.push_back(std::move(token));
        } else {
            pieces.back() += token;
        }
    }
    return pieces;
}

std::wstring ExpandTimePattern(std::wstring_view name, int milliseconds,
                               const PictureFormatter& formatTime,
                               const PictureFormatter& formatDate) {
    std::optional<TimePatternParts> parts = SplitTimePattern(name);
    if (!parts) return std::wstring(name);
    std::wstring result = parts->prefix;
    for (std::wstring& piece :
         SplitPicture(ReplaceMilliseconds(parts->pattern, milliseconds), kPicturePieceLimit)) {
        if (std::optional<std::wstring> timed = formatTime(piece)) piece = std::move(*timed);
        if (std::optional<std::wstring> dated = formatDate(piece)) piece = std::move(*dated);
        result += piece;
    }
    if (parts->pattern.empty()) {
        // An empty picture is still shown to the formatters, as a name with one "%" asks.
        std::wstring piece;
        if (std::optional<std::wstring> timed = formatTime(piece)) piece = std::move(*timed);
        if (std::optional<std::wstring> dated = formatDate(piece)) piece = std::move(*dated);
        result += piece;
    }
    return result + parts->suffix;
}
