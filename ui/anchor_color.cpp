#include "ui/anchor_color.h"

namespace {
bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

// One component: optional blanks, 1 to 3 digits, optional blanks, up to `end`.
std::optional<int> ParseComponent(std::wstring_view text) {
    std::size_t i = 0;
    while (i < text.size() && IsBlank(text[i])) ++i;
    std::size_t digitsStart = i;
    int value = 0;
    while (i < text.size() && text[i] >= L'0' && text[i] <= L'9') {
        if (i - digitsStart == 3) return std::nullopt;
        value = value * 10 + (text[i] - L'0');
        ++i;
    }
    if (i == digitsStart || value > 255) return std::nullopt;
    while (i < text.size() && IsBlank(text[i])) ++i;
    if (i != text.size()) return std::nullopt;
    return value;
}
}  // namespace

std::optional<RgbColor> ParseAnchorColor(std::wstring_view text) {
    int values[3] = {0, 0, 0};
    for (int index = 0; index < 3; ++index) {
        std::size_t comma = text.find(L',');
        bool last = index == 2;
        if (last != (comma == std::wstring_view::npos)) return std::nullopt;
        std::optional<int> value = ParseComponent(last ? text : text.substr(0, comma));
        if (!value) return std::nullopt;
        values[index] = *value;
        if (!last) text.remove_prefix(comma + 1);
    }
    return RgbColor{values[0], values[1], values[2]};
}
