#include "core/option_text.h"

namespace {

void EncodeItem(std::wstring_view item, PathNeed need, const OptionTextCodec& codec,
                std::string& out, OptionTextNotes& notes) {
    std::string encoded;
    if (codec.Encode(item, encoded)) {
        out += encoded;
        return;
    }
    std::wstring path(item);
    OptionTextCodec::ShortName shortName = codec.ShortForm(path);
    if (!shortName.Path.empty()) {
        std::string shortEncoded;
        if (codec.Encode(shortName.Path, shortEncoded)) {
            notes.Substituted.emplace_back(path, shortName.Path);
            out += shortEncoded;
            return;
        }
    }
    // Nothing at the path means nothing the VM could have loaded from it either.
    if (need == PathNeed::Required && shortName.Exists) {
        notes.Lost.push_back(path);
    } else {
        notes.Defaulted.push_back(path);
    }
    out += encoded;
}

}  // namespace

void EncodePathList(std::wstring_view list, PathNeed need, const OptionTextCodec& codec,
                    std::string& out, OptionTextNotes& notes) {
    std::size_t start = 0;
    for (;;) {
        std::size_t end = list.find(L';', start);
        std::wstring_view item =
            list.substr(start, end == std::wstring_view::npos ? std::wstring_view::npos
                                                              : end - start);
        if (!item.empty()) {
            if (!out.empty()) out += ';';
            EncodeItem(item, need, codec, out, notes);
        }
        if (end == std::wstring_view::npos) break;
        start = end + 1;
    }
}

std::string EncodePath(std::wstring_view path, PathNeed need, const OptionTextCodec& codec,
                       OptionTextNotes& notes) {
    std::string out;
    if (!path.empty()) EncodeItem(path, need, codec, out, notes);
    return out;
}

std::string EncodeOptionText(std::wstring_view text, const OptionTextCodec& codec,
                             OptionTextNotes& notes) {
    std::string out;
    if (!codec.Encode(text, out)) notes.Defaulted.emplace_back(text);
    return out;
}

std::wstring ShortenPathForMessage(std::wstring_view path, std::size_t limit) {
    if (path.size() <= limit || limit < 20) return std::wstring(path);
    std::size_t headLength = limit / 3;
    std::size_t tailLength = limit - headLength - 1;
    // Prefer whole folder names: end the head after a separator, start the tail at one,
    // when one lies within a quarter of each part.
    std::wstring_view head = path.substr(0, headLength);
    std::size_t headCut = head.find_last_of(L"\\/");
    if (headCut != std::wstring_view::npos && headCut + 1 >= headLength - headLength / 4) {
        head = head.substr(0, headCut + 1);
    }
    std::wstring_view tail = path.substr(path.size() - tailLength);
    std::size_t tailCut = tail.find_first_of(L"\\/");
    if (tailCut != std::wstring_view::npos && tailCut <= tailLength / 4) {
        tail = tail.substr(tailCut);
    }
    // Never split a surrogate pair at either cut.
    if (!head.empty() && head.back() >= 0xD800 && head.back() <= 0xDBFF) head.remove_suffix(1);
    if (!tail.empty() && tail.front() >= 0xDC00 && tail.front() <= 0xDFFF) tail.remove_prefix(1);
    std::wstring result(head);
    result += L'\u2026';
    result += tail;
    return result;
}
