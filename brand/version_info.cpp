#include "brand/version_info.h"

#include "core/format.h"

namespace {

constexpr std::size_t kFixedSize = 52;

/// One block of the version resource: wLength, wValueLength, wType, a key, a value and
/// children, each part on a 32-bit boundary from the start of the resource.
struct Block {
    std::u16string key;
    std::size_t value_at = 0;
    std::size_t value_length = 0;  // as stored: bytes for binary values, words for text
    std::size_t children_at = 0;
    std::size_t end = 0;
};

std::size_t Align4(std::size_t value) { return (value + 3) & ~std::size_t{3}; }

bool ReadBlock(ByteView bytes, std::size_t at, std::size_t limit, Block* block) {
    if (at + 6 > limit) return false;
    const std::size_t length = bytes.U16(at);
    if (length < 6 || length > limit - at) return false;
    block->end = at + length;
    block->value_length = bytes.U16(at + 2);
    block->key.clear();
    std::size_t cursor = at + 6;
    for (;; cursor += 2) {
        if (cursor + 2 > block->end) return false;
        const char16_t c = static_cast<char16_t>(bytes.U16(cursor));
        if (c == 0) break;
        block->key.push_back(c);
    }
    block->value_at = Align4(cursor + 2);
    return true;
}

std::u16string ReadText(ByteView bytes, std::size_t at, std::size_t end) {
    std::u16string text;
    for (std::size_t cursor = at; cursor + 2 <= end; cursor += 2) {
        const char16_t c = static_cast<char16_t>(bytes.U16(cursor));
        if (c == 0) break;
        text.push_back(c);
    }
    return text;
}

std::uint16_t HexValue(const std::u16string& text, std::size_t from, bool* ok) {
    std::uint32_t value = 0;
    for (std::size_t i = from; i < from + 4; ++i) {
        const char16_t c = text[i];
        const int digit = c >= u'0' && c <= u'9'   ? c - u'0'
                          : c >= u'a' && c <= u'f' ? c - u'a' + 10
                          : c >= u'A' && c <= u'F' ? c - u'A' + 10
                                                   : -1;
        if (digit < 0) *ok = false;
        value = value * 16 + static_cast<std::uint32_t>(digit < 0 ? 0 : digit);
    }
    return static_cast<std::uint16_t>(value);
}

bool Fail(std::string* error, std::string message) {
    *error = std::move(message);
    return false;
}

void ReadStringTable(ByteView bytes, const Block& table, VersionInfo* info) {
    bool ok = table.key.size() == 8;
    if (ok) {
        const std::uint16_t language = HexValue(table.key, 0, &ok);
        const std::uint16_t code_page = HexValue(table.key, 4, &ok);
        if (ok) {
            info->language = language;
            info->code_page = code_page;
        }
    }
    Block entry;
    for (std::size_t at = Align4(table.value_at);
         at < table.end && ReadBlock(bytes, at, table.end, &entry); at = Align4(entry.end)) {
        // The value length is in words by the documentation and in bytes by some writers;
        // the terminating zero ends the text either way.
        info->Set(entry.key, entry.value_length == 0 ? std::u16string()
                                                     : ReadText(bytes, entry.value_at, entry.end));
    }
}

// Writes a block whose children `write_children` appends, then fills in its length.
template <typename Children>
void WriteBlock(std::vector<std::uint8_t>& out, const std::u16string& key, std::uint16_t type,
                std::size_t value_length, const std::vector<std::uint8_t>& value,
                Children write_children) {
    PadTo(out, 4);
    const std::size_t start = out.size();
    Append16(out, 0);
    Append16(out, static_cast<std::uint32_t>(value_length));
    Append16(out, type);
    for (char16_t c : key) Append16(out, c);
    Append16(out, 0);
    if (!value.empty()) {
        PadTo(out, 4);
        out.insert(out.end(), value.begin(), value.end());
    }
    write_children();
    Put16(out, start, static_cast<std::uint32_t>(out.size() - start));
}

std::u16string HexKey(std::uint16_t language, std::uint16_t code_page) {
    return HexText<char16_t>(language, 4) + HexText<char16_t>(code_page, 4);
}

}  // namespace

void VersionInfo::Set(const std::u16string& key, const std::u16string& value) {
    for (auto& entry : strings) {
        if (entry.first == key) {
            entry.second = value;
            return;
        }
    }
    strings.emplace_back(key, value);
}

bool ParseVersionInfo(ByteView bytes, VersionInfo* info, std::string* error) {
    *info = VersionInfo{};
    Block root;
    if (!ReadBlock(bytes, 0, bytes.size, &root) || root.key != u"VS_VERSION_INFO") {
        return Fail(error, "the version resource does not start with VS_VERSION_INFO");
    }
    if (root.value_length != kFixedSize || root.value_at + kFixedSize > root.end ||
        bytes.U32(root.value_at) != kFixedInfoSignature) {
        return Fail(error, "the version resource has no fixed file information");
    }
    for (std::size_t i = 0; i < info->fixed.size(); ++i)
        info->fixed[i] = bytes.U32(root.value_at + 4 * i);
    Block child;
    for (std::size_t at = Align4(root.value_at + kFixedSize); at < root.end;
         at = Align4(child.end)) {
        if (!ReadBlock(bytes, at, root.end, &child)) {
            return Fail(error, "a block of the version resource lies outside it");
        }
        if (child.key == u"StringFileInfo") {
            Block table;
            if (ReadBlock(bytes, Align4(child.value_at), child.end, &table))
                ReadStringTable(bytes, table, info);
        }
    }
    return true;
}

std::vector<std::uint8_t> BuildVersionInfo(const VersionInfo& info) {
    std::vector<std::uint8_t> fixed;
    for (std::uint32_t word : info.fixed) Append32(fixed, word);
    std::vector<std::uint8_t> out;
    const std::vector<std::uint8_t> none;
    WriteBlock(out, u"VS_VERSION_INFO", 0, kFixedSize, fixed, [&] {
        WriteBlock(out, u"StringFileInfo", 1, 0, none, [&] {
            WriteBlock(out, HexKey(info.language, info.code_page), 1, 0, none, [&] {
                for (const auto& [key, value] : info.strings) {
                    std::vector<std::uint8_t> text;
                    for (char16_t c : value) Append16(text, c);
                    Append16(text, 0);
                    WriteBlock(out, key, 1, value.size() + 1, text, [] {});
                }
            });
        });
        std::vector<std::uint8_t> translation;
        Append16(translation, info.language);
        Append16(translation, info.code_page);
        WriteBlock(out, u"VarFileInfo", 1, 0, none,
                   [&] { WriteBlock(out, u"Translation", 0, 4, translation, [] {}); });
    });
    return out;
}

std::optional<std::array<std::uint32_t, 2>> ParseVersionNumber(const std::string& text) {
    std::array<std::uint32_t, 4> parts{};
    std::size_t count = 0;
    std::size_t i = 0;
    while (true) {
        if (count == 4 || i >= text.size() || text[i] < '0' || text[i] > '9') return std::nullopt;
        std::uint32_t value = 0;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
            value = value * 10 + static_cast<std::uint32_t>(text[i] - '0');
            if (value > 0xFFFF) return std::nullopt;
            ++i;
        }
        parts[count++] = value;
        if (i == text.size()) break;
        if (text[i] != '.') return std::nullopt;
        ++i;
    }
    return std::array<std::uint32_t, 2>{(parts[0] << 16) | parts[1], (parts[2] << 16) | parts[3]};
}
