#include "core/path_utils.h"

std::vector<std::wstring> SplitList(std::wstring_view text, std::wstring_view delimiter) {
    std::vector<std::wstring> items;
    if (text.empty()) return items;
    if (delimiter.empty()) {
        items.emplace_back(text);
        return items;
    }
    std::size_t position = 0;
    for (;;) {
        std::size_t end = text.find(delimiter, position);
        if (end == std::wstring_view::npos) {
            items.emplace_back(text.substr(position));
            return items;
        }
        items.emplace_back(text.substr(position, end - position));
        position = end + delimiter.size();
        if (position >= text.size()) return items;
    }
}

std::vector<std::wstring> SplitArguments(std::wstring_view text) {
    std::vector<std::wstring> arguments;
    std::size_t position = 0;
    auto isBlank = [](wchar_t c) { return c == L' ' || c == L'\t'; };
    for (;;) {
        while (position < text.size() && isBlank(text[position])) ++position;
        if (position >= text.size()) return arguments;
        std::wstring argument;
        bool quoted = false;
        while (position < text.size()) {
            std::size_t slashes = 0;
            while (position < text.size() && text[position] == L'\\') {
                ++slashes;
                ++position;
            }
            if (position < text.size() && text[position] == L'"') {
                // Backslashes count only before a quote: 2n make n, and an odd one escapes it.
                argument.append(slashes / 2, L'\\');
                if (slashes % 2 == 1) {
                    argument += L'"';
                } else if (quoted && position + 1 < text.size() && text[position + 1] == L'"') {
                    argument += L'"';  // a doubled quote inside quotes is one quote
                    ++position;
                } else {
                    quoted = !quoted;
                }
                ++position;
                continue;
            }
            argument.append(slashes, L'\\');
            if (position >= text.size()) break;
            if (!quoted && isBlank(text[position])) break;
            argument += text[position++];
        }
        arguments.push_back(std::move(argument));
    }
}

std::wstring StripPathLevels(std::wstring_view path, int levels) {
    for (int i = 0; i < levels; ++i) {
        std::size_t slash = path.rfind(L'\\');
        if (slash == std::wstring_view::npos) continue;
        path = path.substr(0, slash);
    }
    return std::wstring(path);
}

bool HasLongPathPrefix(std::wstring_view path) { return path.substr(0, 4) == L"\\\\?\\"; }

bool IsUncPath(std::wstring_view path) {
    if (path.substr(0, 2) != L"\\\\") return false;
    if (HasLongPathPrefix(path)) return path.substr(4, 4) == L"UNC\\";
    return true;
}

std::wstring NormalizePathSeparatorsAndDots(std::wstring_view path) {
    std::wstring text(path);
    for (wchar_t& c : text) {
        if (c == L'/') c = L'\\';
    }
    // The root stays as written: "C:\", "\\server\share\" or "\".
    std::size_t rootEnd = 0;
    if (text.size() >= 2 && text[0] == L'\\' && text[1] == L'\\') {
        std::size_t server = text.find(L'\\', 2);
        std::size_t share = server == std::wstring::npos ? server : text.find(L'\\', server + 1);
        rootEnd = share == std::wstring::npos ? text.size() : share + 1;
    } else if (text.size() >= 2 && text[1] == L':') {
        rootEnd = (text.size() >= 3 && text[2] == L'\\') ? 3 : 2;
    } else if (!text.empty() && text[0] == L'\\') {
        rootEnd = 1;
    }
    std::vector<std::wstring> kept;
    std::wstring_view rest = std::wstring_view(text).substr(rootEnd);
    bool trailing = !rest.empty() && rest.back() == L'\\';
    for (std::wstring& item : SplitList(rest, L"\\")) {
        if (item.empty() || item == L".") continue;
        if (item == L"..") {
            if (!kept.empty() && kept.back() != L"..") {
                kept.pop_back();
            } else if (rootEnd == 0) {
                kept.push_back(item);  // a relative path keeps what it cannot resolve
            }
            continue;
        }
        kept.push_back(std::move(item));
    }
    std::wstring result = text.substr(0, rootEnd);
    for (std::size_t i = 0; i < kept.size(); ++i) {
        if (i > 0) result += L'\\';
        result += kept[i];
    }
    if (trailing && !kept.empty()) result += L'\\';
    return result;
}

std::wstring ToLongPathForm(std::wstring_view path) {
    if (path.size() < kClassicPathLimit) return std::wstring(path);
    if (HasLongPathPrefix(path)) return std::wstring(path);
    // The prefix turns off the system's own normalisation, so "/", "." and ".." that work
    // in a short path are resolved here first.
    std::wstring normalized = NormalizePathSeparatorsAndDots(path);
    if (IsUncPath(normalized)) return L"\\\\?\\UNC\\" + normalized.substr(2);
    return L"\\\\?\\" + normalized;
}

std::vector<std::wstring> SplitPathComponents(std::wstring_view path) {
    std::wstring_view prefix;
    std::wstring_view rest = path;
    if (HasLongPathPrefix(path)) {
        if (path.substr(0, 8) == L"\\\\?\\UNC\\") {
            prefix = path.substr(0, 8);
            rest = path.substr(8);
        } else {
            prefix = path.substr(0, 4);
            rest = path.substr(4);
        }
    }
    std::size_t rootEnd;
    if (IsUncPath(rest) && rest.size() > 2) {
        rootEnd = rest.find(L'\\', 2);
    } else {
        rootEnd = rest.find(L'\\');
    }
    std::wstring_view root = rest;
    std::wstring_view remainder;
    if (rootEnd != std::wstring_view::npos) {
        root = rest.substr(0, rootEnd);
        remainder = rest.substr(rootEnd + 1);
    }
    std::vector<std::wstring> components;
    std::wstring first = std::wstring(prefix) + std::wstring(root);
    if (!first.empty()) components.push_back(std::move(first));
    for (auto& item : SplitList(remainder, L"\\")) components.push_back(std::move(item));
    return components;
}

std::wstring FolderOf(std::wstring_view path) {
    std::size_t slash = path.rfind(L'\\');
    return slash == std::wstring_view::npos ? std::wstring() : std::wstring(path.substr(0, slash));
}

std::wstring AnchorRelativePath(std::wstring_view path, std::wstring_view folder) {
    bool anchored = path.empty() || path[0] == L'\\' || path[0] == L'/' ||
                    (path.size() >= 2 && path[1] == L':');
    if (anchored || folder.empty()) return std::wstring(path);
    std::wstring joined(folder);
    if (joined.back() != L'\\') joined += L'\\';
    return joined.append(path);
}

bool IsWideSpace(wchar_t c) {
    return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F ||
           c == 0x205F || c == 0x3000;
}

wchar_t AsciiUpper(wchar_t c) {
    return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - L'a' + L'A') : c;
}

bool EqualsIgnoringAsciiCase(std::wstring_view a, std::wstring_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (AsciiUpper(a[i]) != AsciiUpper(b[i])) return false;
    }
    return true;
}

bool EndsWithIgnoringAsciiCase(std::wstring_view text, std::wstring_view end) {
    return text.size() >= end.size() &&
           EqualsIgnoringAsciiCase(text.substr(text.size() - end.size()), end);
}
