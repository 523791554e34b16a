#include "config/utf8_settings.h"

#include "core/path_utils.h"

namespace {

constexpr char32_t kReplacement = 0xFFFD;

/// Decodes one sequence at `i`; false when it is not valid UTF-8 (overlong forms,
/// surrogates and values past U+10FFFF included).
bool DecodeOne(std::string_view bytes, std::size_t& i, char32_t& c) {
    auto byte = [&](std::size_t k) { return static_cast<unsigned char>(bytes[k]); };
    unsigned char lead = byte(i);
    if (lead < 0x80) {
        c = lead;
        ++i;
        return true;
    }
    std::size_t length;
    char32_t minimum;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, minimum = 0x80, c = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, minimum = 0x800, c = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, minimum = 0x10000, c = lead & 0x07;
    } else {
        return false;
    }
    if (i + length > bytes.size()) return false;
    for (std::size_t k = 1; k < length; ++k) {
        unsigned char next = byte(i + k);
        if ((next & 0xC0) != 0x80) return false;
        c = (c << 6) | (next & 0x3F);
    }
    if (c < minimum || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return false;
    i += length;
    return true;
}

void AppendCodePoint(std::wstring& out, char32_t c) {
    if constexpr (sizeof(wchar_t) == 2) {
        if (c >= 0x10000) {
            c -= 0x10000;
            out += static_cast<wchar_t>(0xD800 + (c >> 10));
            out += static_cast<wchar_t>(0xDC00 + (c & 0x3FF));
            return;
        }
    }
    out += static_cast<wchar_t>(c);
}

wchar_t FoldCase(wchar_t c) {
    if (c < 0x80) return AsciiUpper(c);
    if ((c >= 0xE0 && c <= 0xFE && c != 0xF7) || (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2) ||
        (c >= 0x430 && c <= 0x44F)) {
        return static_cast<wchar_t>(c - 0x20);
    }
    if (c >= 0x450 && c <= 0x45F) return static_cast<wchar_t>(c - 0x50);
    return c;
}

std::wstring_view Trim(std::wstring_view text) {
    while (!text.empty() && IsWideSpace(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsWideSpace(text.back())) text.remove_suffix(1);
    return text;
}

/// The section name of a header line, or false for any other line.
bool HeaderName(std::wstring_view line, std::wstring_view& name) {
    std::wstring_view trimmed = Trim(line);
    if (trimmed.size() < 2 || trimmed.front() != L'[' || trimmed.back() != L']') return false;
    name = trimmed.substr(1, trimmed.size() - 2);
    return true;
}

/// One line of a text and the line end that follows it ("\r\n", "\n" or none).
struct Line {
    std::wstring_view Text;
    std::wstring_view End;
};

std::vector<Line> SplitLines(std::wstring_view text) {
    std::vector<Line> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t newline = text.find(L'\n', start);
        if (newline == std::wstring_view::npos) {
            lines.push_back({text.substr(start), {}});
            break;
        }
        std::size_t end = newline;
        if (end > start && text[end - 1] == L'\r') --end;
        lines.push_back({text.substr(start, end - start), text.substr(end, newline + 1 - end)});
        start = newline + 1;
    }
    return lines;
}

}  // namespace

bool EqualNamesIgnoringCase(std::wstring_view a, std::wstring_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (FoldCase(a[i]) != FoldCase(b[i])) return false;
    }
    return true;
}

bool IsUtf8SettingsFile(std::string_view bytes) {
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") return true;
    bool multiByte = false;
    for (std::size_t i = 0; i < bytes.size();) {
        if (static_cast<unsigned char>(bytes[i]) >= 0x80) multiByte = true;
        char32_t c;
        if (!DecodeOne(bytes, i, c)) return false;
        // A NUL means UTF-16 (or a binary file), never a settings text.
        if (c == 0) return false;
    }
    return multiByte;
}

std::wstring DecodeUtf8Text(std::string_view bytes) {
    std::wstring out;
    out.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size();) {
        char32_t c;
        if (!DecodeOne(bytes, i, c)) {
            c = kReplacement;
            ++i;
        }
        AppendCodePoint(out, c);
    }
    return out;
}

std::string EncodeUtf8Text(std::wstring_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = static_cast<char32_t>(text[i]);
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<char32_t>(text[++i]) - 0xDC00);
        } else if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) {
            c = kReplacement;
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

void ParseUtf8Settings(SettingsDocument& document, std::string_view bytes) {
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
    std::wstring text = DecodeUtf8Text(bytes);
    // The parser splits on "\r\n"; files saved with "\n" alone read the same.
    std::wstring normalized;
    normalized.reserve(text.size() + text.size() / 16);
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'\n' && (i == 0 || text[i - 1] != L'\r')) normalized += L'\r';
        normalized += text[i];
    }
    ParseSettingsText(document, normalized);
}

std::wstring FindProfileValue(const SettingsDocument& document, std::wstring_view section,
                              std::wstring_view key) {
    for (const SettingsSection& s : document.Sections()) {
        if (!EqualNamesIgnoringCase(Trim(s.Name), section)) continue;
        for (const auto& [name, value] : s.Pairs) {
            if (!EqualNamesIgnoringCase(name, key)) continue;
            std::wstring_view v = value;
            if (v.size() >= 2 && (v.front() == L'"' || v.front() == L'\'') && v.back() == v.front()) {
                v = v.substr(1, v.size() - 2);
            }
            return std::wstring(v);
        }
        // The profile functions look in the first section of a name only.
        return {};
    }
    return {};
}

std::wstring RewriteSettingsValue(std::wstring_view text, std::wstring_view section,
                                  std::wstring_view key, std::wstring_view value) {
    std::vector<Line> lines = SplitLines(text);
    // The file's own line end for anything added.
    std::wstring_view lineEnd = L"\r\n";
    for (const Line& line : lines) {
        if (!line.End.empty()) {
            lineEnd = line.End;
            break;
        }
    }
    std::size_t bom = (!text.empty() && text.front() == L'\uFEFF') ? 1 : 0;
    bool inSection = false;
    bool found = false;
    std::size_t insertAfter = 0;  // index of the line after which a new key goes
    std::size_t keyLine = lines.size();
    for (std::size_t i = 0; i < lines.size(); ++i) {
        std::wstring_view content = lines[i].Text;
        if (i == 0 && bom) content.remove_prefix(1);
        std::wstring_view name;
        if (HeaderName(content, name)) {
            if (inSection) break;  // the first section of the name only
            if (EqualNamesIgnoringCase(Trim(name), section)) {
                inSection = found = true;
                insertAfter = i;
            }
            continue;
        }
        if (!inSection) continue;
        std::size_t equals = content.find(L'=');
        if (equals == std::wstring_view::npos) continue;
        insertAfter = i;
        if (EqualNamesIgnoringCase(Trim(content.substr(0, equals)), key)) {
            keyLine = i;
            break;
        }
    }
    std::wstring out;
    out.reserve(text.size() + key.size() + value.size() + section.size() + 8);
    auto appendLine = [&](std::size_t i) {
        out.append(lines[i].Text).append(lines[i].End);
    };
    std::wstring newPair = std::wstring(key) + L"=" + std::wstring(value);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i == keyLine) {
            std::wstring_view line = lines[i].Text;
            out.append(line.substr(0, line.find(L'=') + 1)).append(value).append(lines[i].End);
            continue;
        }
        appendLine(i);
        if (found && keyLine == lines.size() && i == insertAfter) {
            if (lines[i].End.empty()) out.append(lineEnd);
            out.append(newPair).append(lineEnd);
        }
    }
    if (!found) {
        if (!out.empty() && out.back() != L'\n') out.append(lineEnd);
        out.append(L"[").append(section).append(L"]").append(lineEnd);
        out.append(newPair).append(lineEnd);
    }
    return out;
}
