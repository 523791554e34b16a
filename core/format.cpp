#include "core/format.h"

#include <vector>

std::wstring FormatTemplate(std::wstring_view tmpl, std::initializer_list<FormatArg> args) {
    std::vector<FormatArg> list(args);
    std::size_t next = 0;
    std::wstring out;
    out.reserve(tmpl.size() + 32);
    for (std::size_t i = 0; i < tmpl.size(); ++i) {
        wchar_t c = tmpl[i];
        if (c != L'%' || i + 1 >= tmpl.size()) {
            out.push_back(c);
            continue;
        }
        wchar_t spec = tmpl[i + 1];
        if (spec == L'%') {
            out.push_back(L'%');
            ++i;
            continue;
        }
        if (spec != L's' && spec != L'd' && spec != L'u') {
            out.push_back(c);
            continue;
        }
        ++i;
        if (next >= list.size()) {
            out.push_back(L'%');
            out.push_back(spec);
            continue;
        }
        const FormatArg& arg = list[next++];
        if (spec == L's') {
            if (auto* text = std::get_if<std::wstring_view>(&arg)) out.append(*text);
        } else if (auto* number = std::get_if<std::int64_t>(&arg)) {
            out.append(DecimalText(*number));
        }
    }
    return out;
}
