#include "check/jar_manifest.h"

#include <algorithm>
#include <cstdint>
#include <iterator>

#include "core/scope_exit.h"

namespace {

// --- deflate -------------------------------------------------------------------------------

/// Bits of a byte range, least significant first, kept 57 or more at a time in one word so that
/// a code is decoded from one table look-up. Bits past the end read as zero but cannot be
/// consumed: `Drop` and `Bits` refuse them.
class BitReader {
  public:
    explicit BitReader(std::string_view data) : data_(data), total_(data.size() * 8) {}
    /// The next `count` (at most 32) bits without consuming them.
    std::uint32_t Peek(int count) {
        if (count_ < count) Refill();
        return static_cast<std::uint32_t>(buffer_ & ((std::uint64_t{1} << count) - 1));
    }
    bool Drop(int count) {
        if (consumed_ + count > total_) return false;
        buffer_ >>= count;
        count_ -= count;
        consumed_ += count;
        return true;
    }
    /// `count` bits, least significant first; false past the end.
    bool Bits(int count, unsigned& value) {
        value = Peek(count);
        return Drop(count);
    }
    void AlignToByte() { Drop(static_cast<int>((8 - consumed_ % 8) % 8)); }
    std::size_t BytePosition() const { return consumed_ / 8; }
    /// Continues at byte `position` (for stored blocks, read directly from the bytes).
    void SeekToByte(std::size_t position) {
        buffer_ = 0;
        count_ = 0;
        next_ = position;
        consumed_ = position * 8;
    }

  private:
    void Refill() {
        while (count_ <= 56) {
            std::uint64_t byte = next_ < data_.size() ? static_cast<unsigned char>(data_[next_]) : 0;
            buffer_ |= byte << count_;
            ++next_;
            count_ += 8;
        }
    }

    std::string_view data_;
    std::size_t total_;
    std::size_t next_ = 0;      // the next byte to load into the buffer
    std::size_t consumed_ = 0;  // bits consumed
    std::uint64_t buffer_ = 0;
    int count_ = 0;             // bits in the buffer
};

/// A canonical Huffman code: counts of codes per length and the symbols in code order, and a
/// table for codes of up to kFastBits bits (nearly all of them), indexed by the next bits.
struct Huffman {
    static constexpr int kFastBits = 9;
    unsigned short counts[16] = {};
    unsigned short symbols[320];
    /// symbol << 4 | length, or 0 for a code longer than kFastBits.
    std::uint16_t fast[1 << kFastBits];

    /// False for a code that is over-subscribed (incomplete codes are allowed, as zlib does
    /// for a single distance code).
    bool Build(const unsigned char* lengths, int n) {
        for (int i = 0; i < n; ++i) ++counts[lengths[i]];
        counts[0] = 0;
        int left = 1;
        for (int length = 1; length < 16; ++length) {
            left = left * 2 - counts[length];
            if (left < 0) return false;
        }
        unsigned short offsets[16] = {};
        for (int length = 1; length < 15; ++length) offsets[length + 1] = offsets[length] + counts[length];
        for (int i = 0; i < n; ++i) {
            if (lengths[i]) symbols[offsets[lengths[i]]++] = static_cast<unsigned short>(i);
        }
        // Canonical codes in order of length, then symbol; the stream sends them most
        // significant bit first, so the table is indexed by the reversed code.
        std::fill(std::begin(fast), std::end(fast), std::uint16_t{0});
        unsigned code = 0;
        std::size_t index = 0;
        for (int length = 1; length <= kFastBits; ++length) {
            for (int i = 0; i < counts[length]; ++i, ++index, ++code) {
                unsigned reversed = 0;
                for (int bit = 0; bit < length; ++bit) reversed |= ((code >> bit) & 1u) << (length - 1 - bit);
                for (unsigned fill = reversed; fill < std::size(fast); fill += 1u << length) {
                    fast[fill] = static_cast<std::uint16_t>(symbols[index] << 4 | length);
                }
            }
            code <<= 1;
        }
        return true;
    }

    /// The next symbol, or -1 for a damaged stream.
    int Decode(BitReader& in) const {
        unsigned entry = fast[in.Peek(kFastBits)];
        if (entry != 0) return in.Drop(static_cast<int>(entry & 15)) ? static_cast<int>(entry >> 4) : -1;
        return DecodeLong(in);
    }

    /// A code longer than the table: canonical decoding bit by bit. Kept apart so that the
    /// table look-up above is inlined into the decoding loop.
    [[gnu::noinline]] int DecodeLong(BitReader& in) const {
        std::uint32_t bits = in.Peek(15);
        int code = 0, first = 0, index = 0;
        for (int length = 1; length < 16; ++length) {
            code |= static_cast<int>((bits >> (length - 1)) & 1u);
            int count = counts[length];
            if (code - count < first) {
                return in.Drop(length) ? symbols[index + (code - first)] : -1;
            }
            index += count;
            first = (first + count) << 1;
            code <<= 1;
        }
        return -1;
    }
};

constexpr unsigned short kLengthBase[] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                          31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr unsigned char kLengthExtra[] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                          2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr unsigned short kDistanceBase[] = {
    1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
    193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr unsigned char kDistanceExtra[] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                            6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

enum class BlockEnd { kDamaged, kEnd, kStopped };

BlockEnd InflateBlock(BitReader& reader, const Huffman& literals, const Huffman& distances,
                      std::string& out, std::size_t limit, InflateStop* stop, std::size_t& ask) {
    // A local copy whose address is never taken can live in registers.
    BitReader in = reader;
    ScopeExit writeBack([&] { reader = in; });
    for (;;) {
        if (out.size() >= ask) {
            ask = stop->Needed(out);
            if (ask == 0) return BlockEnd::kStopped;
        }
        int symbol = literals.Decode(in);
        if (symbol < 0) return BlockEnd::kDamaged;
        if (symbol < 256) {
            if (out.size() >= limit) return BlockEnd::kDamaged;
            out.push_back(static_cast<char>(symbol));
            continue;
        }
        if (symbol == 256) return BlockEnd::kEnd;
        symbol -= 257;
        if (symbol >= 29) return BlockEnd::kDamaged;
        unsigned extra = 0;
        if (!in.Bits(kLengthExtra[symbol], extra)) return BlockEnd::kDamaged;
        std::size_t length = kLengthBase[symbol] + extra;
        int distanceSymbol = distances.Decode(in);
        if (distanceSymbol < 0 || distanceSymbol >= 30) return BlockEnd::kDamaged;
        if (!in.Bits(kDistanceExtra[distanceSymbol], extra)) return BlockEnd::kDamaged;
        std::size_t distance = kDistanceBase[distanceSymbol] + extra;
        if (distance > out.size() || out.size() + length > limit) return BlockEnd::kDamaged;
        std::size_t at = out.size();
        out.resize(at + length);
        // Byte by byte: a match may overlap the bytes it produces.
        char* to = out.data() + at;
        const char* from = to - distance;
        for (std::size_t i = 0; i < length; ++i) to[i] = from[i];
    }
}

/// The fixed codes of block type 1, built once.
const Huffman* FixedCodes() {
    static const Huffman* codes = [] {
        static Huffman built[2];
        unsigned char lengths[288];
        for (int i = 0; i < 288; ++i) lengths[i] = i < 144 ? 8 : i < 256 ? 9 : i < 280 ? 7 : 8;
        unsigned char distanceLengths[30];
        for (unsigned char& length : distanceLengths) length = 5;
        built[0].Build(lengths, 288);
        built[1].Build(distanceLengths, 30);
        return built;
    }();
    return codes;
}

bool DynamicCodes(BitReader& in, Huffman& literals, Huffman& distances) {
    unsigned literalCount = 0, distanceCount = 0, codeCount = 0;
    if (!in.Bits(5, literalCount) || !in.Bits(5, distanceCount) || !in.Bits(4, codeCount)) return false;
    literalCount += 257;
    distanceCount += 1;
    codeCount += 4;
    if (literalCount > 286 || distanceCount > 30) return false;
    static constexpr unsigned char kOrder[19] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                                 11, 4,  12, 3, 13, 2, 14, 1, 15};
    unsigned char lengths[320] = {};
    for (unsigned i = 0; i < codeCount; ++i) {
        unsigned value = 0;
        if (!in.Bits(3, value)) return false;
        lengths[kOrder[i]] = static_cast<unsigned char>(value);
    }
    Huffman lengthCode;
    if (!lengthCode.Build(lengths, 19)) return false;
    unsigned index = 0;
    while (index < literalCount + distanceCount) {
        int symbol = lengthCode.Decode(in);
        if (symbol < 0) return false;
        if (symbol < 16) {
            lengths[index++] = static_cast<unsigned char>(symbol);
            continue;
        }
        unsigned repeat = 0;
        unsigned char value = 0;
        if (symbol == 16) {
            if (index == 0 || !in.Bits(2, repeat)) return false;
            value = lengths[index - 1];
            repeat += 3;
        } else if (symbol == 17) {
            if (!in.Bits(3, repeat)) return false;
            repeat += 3;
        } else {
            if (!in.Bits(7, repeat)) return false;
            repeat += 11;
        }
        if (index + repeat > literalCount + distanceCount) return false;
        while (repeat--) lengths[index++] = value;
    }
    if (lengths[256] == 0) return false;  // no end-of-block code
    return literals.Build(lengths, static_cast<int>(literalCount)) &&
           distances.Build(lengths + literalCount, static_cast<int>(distanceCount));
}

// --- zip -----------------------------------------------------------------------------------

std::uint32_t Read16(std::string_view bytes, std::size_t at) {
    return static_cast<unsigned char>(bytes[at]) | (static_cast<unsigned char>(bytes[at + 1]) << 8);
}

std::uint32_t Read32(std::string_view bytes, std::size_t at) {
    return Read16(bytes, at) | (Read16(bytes, at + 2) << 16);
}

constexpr std::size_t kManifestLimit = 1 << 20;
constexpr std::string_view kManifestName = "META-INF/MANIFEST.MF";

std::string Trim(std::string_view text) {
    std::size_t begin = text.find_first_not_of(' ');
    if (begin == std::string_view::npos) return {};
    return std::string(text.substr(begin, text.find_last_not_of(' ') - begin + 1));
}

/// Space-separated items of an attribute value.
std::vector<std::string> Items(std::string_view value) {
    std::vector<std::string> items;
    std::size_t start = 0;
    while (start < value.size()) {
        std::size_t end = value.find(' ', start);
        if (end == std::string_view::npos) end = value.size();
        if (end > start) items.emplace_back(value.substr(start, end - start));
        start = end + 1;
    }
    return items;
}

bool HasOptionStartingWith(const std::vector<std::string>& options, const std::string& prefix) {
    for (const std::string& option : options) {
        if (option.compare(0, prefix.size(), prefix) == 0) return true;
    }
    return false;
}

}  // namespace

bool InflateInto(std::string_view data, std::size_t limit, std::string& out, InflateStop* stop) {
    out.clear();
    BitReader in(data);
    std::size_t ask = stop ? 0 : static_cast<std::size_t>(-1);
    unsigned last = 0;
    do {
        unsigned type = 0;
        if (!in.Bits(1, last) || !in.Bits(2, type)) return false;
        if (type == 0) {
            in.AlignToByte();
            std::size_t at = in.BytePosition();
            if (data.size() < 4 || at > data.size() - 4) return false;
            std::size_t length = Read16(data, at);
            if (Read16(data, at + 2) != (~length & 0xFFFFu)) return false;
            at += 4;
            if (data.size() - at < length || out.size() + length > limit) return false;
            out.append(data.substr(at, length));
            in.SeekToByte(at + length);
        } else if (type == 1 || type == 2) {
            Huffman dynamic[2];
            const Huffman* codes = dynamic;
            if (type == 1) {
                codes = FixedCodes();
            } else if (!DynamicCodes(in, dynamic[0], dynamic[1])) {
                return false;
            }
            BlockEnd end = InflateBlock(in, codes[0], codes[1], out, limit, stop, ask);
            if (end == BlockEnd::kDamaged) return false;
            if (end == BlockEnd::kStopped) return true;
        } else {
            return false;
        }
    } while (!last);
    return true;
}

std::optional<std::string> Inflate(std::string_view data, std::size_t limit) {
    std::string out;
    if (!InflateInto(data, limit, out)) return std::nullopt;
    return out;
}

std::vector<ZipEntry> ZipEntries(std::string_view zip) {
    std::vector<ZipEntry> entries;
    // The end-of-central-directory record: 22 bytes and a comment of at most 65,535.
    if (zip.size() < 22) return entries;
    std::size_t end = zip.size() - 22;
    std::size_t lowest = zip.size() > 22 + 0xFFFF ? zip.size() - 22 - 0xFFFF : 0;
    while (Read32(zip, end) != 0x06054b50) {
        if (end == lowest) return entries;
        --end;
    }
    // A count of 0xFFFF may stand for more (zip64): then the records' signatures decide.
    std::size_t count = Read16(zip, end + 10);
    std::size_t at = Read32(zip, end + 16);
    for (std::size_t i = 0; count == 0xFFFF || i < count; ++i) {
        if (at > zip.size() || zip.size() - at < 46 || Read32(zip, at) != 0x02014b50) break;
        std::size_t nameLength = Read16(zip, at + 28);
        std::size_t next = at + 46 + nameLength + Read16(zip, at + 30) + Read16(zip, at + 32);
        if (next > zip.size()) break;
        entries.push_back({zip.substr(at + 46, nameLength), Read16(zip, at + 10), Read32(zip, at + 20),
                           Read32(zip, at + 24), Read32(zip, at + 42)});
        at = next;
    }
    return entries;
}

bool ReadZipEntryInto(std::string_view zip, const ZipEntry& entry, std::size_t limit,
                      std::string& out, InflateStop* stop) {
    std::size_t header = entry.localHeader;
    if (header > zip.size() || zip.size() - header < 30 || Read32(zip, header) != 0x04034b50) {
        return false;
    }
    std::size_t start = header + 30 + Read16(zip, header + 26) + Read16(zip, header + 28);
    if (start > zip.size() || zip.size() - start < entry.compressedSize) return false;
    std::string_view data = zip.substr(start, entry.compressedSize);
    if (entry.method == 0) {
        if (entry.size != entry.compressedSize || entry.size > limit) return false;
        out.assign(data);
        return true;
    }
    if (entry.method != 8) return false;
    // The recorded size only sizes the buffer; the stream itself decides what is read.
    out.reserve(entry.size < limit ? entry.size : limit);
    return InflateInto(data, limit, out, stop);
}

std::optional<std::string> ReadZipEntry(std::string_view zip, const ZipEntry& entry,
                                        std::size_t limit) {
    std::string out;
    if (!ReadZipEntryInto(zip, entry, limit, out)) return std::nullopt;
    return out;
}

JarContents ReadJarContents(std::string_view zip, std::string_view entry) {
    JarContents contents;
    for (const ZipEntry& item : ZipEntries(zip)) {
        if (item.name == entry) contents.hasEntry = true;
        if (item.name == kManifestName && !contents.manifest) {
            contents.manifest = ReadZipEntry(zip, item, kManifestLimit);
        }
    }
    return contents;
}

std::vector<std::pair<std::string, std::string>> ManifestMainAttributes(std::string_view text) {
    std::vector<std::pair<std::string, std::string>> attributes;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find_first_of("\r\n", at);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(at, end - at);
        at = end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1);
        if (line.empty()) break;  // the main section ends at the first empty line
        if (line[0] == ' ') {
            if (!attributes.empty()) attributes.back().second.append(line.substr(1));
            continue;
        }
        std::size_t colon = line.find(':');
        if (colon == std::string_view::npos) continue;
        attributes.emplace_back(std::string(line.substr(0, colon)), std::string(line.substr(colon + 1)));
    }
    for (auto& attribute : attributes) attribute.second = Trim(attribute.second);
    return attributes;
}

std::vector<ManifestNote> ManifestAttributesNotCarried(
    const std::vector<std::pair<std::string, std::string>>& attributes,
    const std::vector<std::string>& vmOptions) {
    std::vector<ManifestNote> notes;
    for (const auto& [name, value] : attributes) {
        if (name == "Add-Opens" || name == "Add-Exports") {
            // The launcher passes the joined form, "--add-opens=module/package=target".
            std::string option = name == "Add-Opens" ? "--add-opens=" : "--add-exports=";
            for (const std::string& item : Items(value)) {
                if (!HasOptionStartingWith(vmOptions, option + item + "=")) notes.push_back({name, item});
            }
        } else if (name == "Enable-Native-Access") {
            if (!HasOptionStartingWith(vmOptions, "--enable-native-access=")) notes.push_back({name, value});
        } else if (name == "Launcher-Agent-Class") {
            if (!HasOptionStartingWith(vmOptions, "-javaagent:")) notes.push_back({name, value});
        }
    }
    return notes;
}
