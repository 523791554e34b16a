#include "hosting/modified_utf8.h"

namespace {

bool IsContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

}  // namespace

std::u16string DecodeModifiedUtf8(std::string_view bytes) {
    std::u16string text;
    text.reserve(bytes.size());
    std::size_t i = 0;
    auto at = [&](std::size_t k) { return static_cast<unsigned char>(bytes[k]); };
    while (i < bytes.size()) {
        unsigned char lead = at(i);
        if (lead < 0x80) {
            text.push_back(lead);
            i += 1;
        } else if ((lead & 0xE0) == 0xC0 && i + 1 < bytes.size() && IsContinuation(at(i + 1))) {
            // Overlong two-byte forms are accepted: C0 80 is how the VM writes NUL.
            text.push_back(static_cast<char16_t>(((lead & 0x1F) << 6) | (at(i + 1) & 0x3F)));
            i += 2;
        } else if ((lead & 0xF0) == 0xE0 && i + 2 < bytes.size() && IsContinuation(at(i + 1)) &&
                   IsContinuation(at(i + 2))) {
            // Surrogates arrive encoded one by one; each becomes its own code unit.
            text.push_back(static_cast<char16_t>(((lead & 0x0F) << 12) | ((at(i + 1) & 0x3F) << 6) |
                                                 (at(i + 2) & 0x3F)));
            i += 3;
        } else if ((lead & 0xF8) == 0xF0 && i + 3 < bytes.size() && IsContinuation(at(i + 1)) &&
                   IsContinuation(at(i + 2)) && IsContinuation(at(i + 3))) {
            char32_t code = ((lead & 0x07u) << 18) | ((at(i + 1) & 0x3Fu) << 12) |
                            ((at(i + 2) & 0x3Fu) << 6) | (at(i + 3) & 0x3Fu);
            if (code < 0x10000 || code > 0x10FFFF) {
                text.push_back(u'\uFFFD');
                i += 1;
                continue;
            }
            code -= 0x10000;
            text.push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
            text.push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
            i += 4;
        } else {
            text.push_back(u'\uFFFD');
            i += 1;
        }
    }
    return text;
}
