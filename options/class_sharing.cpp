#include "options/class_sharing.h"

#include <cstring>

#include "core/format.h"
#include "core/path_utils.h"

namespace {

constexpr std::uint64_t kPrime1 = 11400714785074694791ull;
constexpr std::uint64_t kPrime2 = 14029467366897019727ull;
constexpr std::uint64_t kPrime3 = 1609587929392839161ull;
constexpr std::uint64_t kPrime4 = 9650029242287828579ull;
constexpr std::uint64_t kPrime5 = 2870177450012600261ull;

std::uint64_t RotateLeft(std::uint64_t value, int bits) {
    return (value << bits) | (value >> (64 - bits));
}

// Little-endian loads (every target of this program is x86); one instruction each.
std::uint64_t Read64(const unsigned char* p) {
    std::uint64_t value;
    std::memcpy(&value, p, sizeof value);
    return value;
}

std::uint64_t Read32(const unsigned char* p) {
    std::uint32_t value;
    std::memcpy(&value, p, sizeof value);
    return value;
}

std::uint64_t Round(std::uint64_t accumulator, std::uint64_t input) {
    accumulator += input * kPrime2;
    return RotateLeft(accumulator, 31) * kPrime1;
}

std::uint64_t MergeRound(std::uint64_t accumulator, std::uint64_t value) {
    accumulator ^= Round(0, value);
    return accumulator * kPrime1 + kPrime4;
}

bool IsHexDigit(wchar_t c) { return (c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f'); }


}  // namespace

void SharingKey::Mix(const void* data, std::size_t size) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    for (std::size_t i = 0; i < size; ++i) {
        hash_ ^= bytes[i];
        hash_ *= 1099511628211ull;
    }
}

SharingKey& SharingKey::Add(std::uint64_t number) {
    unsigned char bytes[8];
    for (int i = 0; i < 8; ++i) bytes[i] = static_cast<unsigned char>(number >> (8 * i));
    Mix(bytes, sizeof bytes);
    return *this;
}

SharingKey& SharingKey::Add(std::string_view bytes) {
    Add(static_cast<std::uint64_t>(bytes.size()));
    Mix(bytes.data(), bytes.size());
    return *this;
}

SharingKey& SharingKey::Add(std::wstring_view text) {
    Add(static_cast<std::uint64_t>(text.size()));
    // Two bytes per unit on every platform, so that a key is the same wherever it is made.
    for (wchar_t c : text) {
        unsigned char unit[2] = {static_cast<unsigned char>(c & 0xFF),
                                 static_cast<unsigned char>((c >> 8) & 0xFF)};
        Mix(unit, 2);
    }
    return *this;
}

std::uint64_t ContentChecksum(const unsigned char* data, std::size_t size) {
    const unsigned char* p = data;
    const unsigned char* end = data + size;
    std::uint64_t hash;
    if (size >= 32) {
        std::uint64_t v1 = kPrime1 + kPrime2, v2 = kPrime2, v3 = 0, v4 = 0 - kPrime1;
        for (; end - p >= 32; p += 32) {
            v1 = Round(v1, Read64(p));
            v2 = Round(v2, Read64(p + 8));
            v3 = Round(v3, Read64(p + 16));
            v4 = Round(v4, Read64(p + 24));
        }
        hash = RotateLeft(v1, 1) + RotateLeft(v2, 7) + RotateLeft(v3, 12) + RotateLeft(v4, 18);
        hash = MergeRound(MergeRound(MergeRound(MergeRound(hash, v1), v2), v3), v4);
    } else {
        hash = kPrime5;
    }
    hash += static_cast<std::uint64_t>(size);
    for (; end - p >= 8; p += 8) {
        hash ^= Round(0, Read64(p));
        hash = RotateLeft(hash, 27) * kPrime1 + kPrime4;
    }
    if (end - p >= 4) {
        hash ^= Read32(p) * kPrime1;
        hash = RotateLeft(hash, 23) * kPrime2 + kPrime3;
        p += 4;
    }
    for (; p < end; ++p) {
        hash ^= *p * kPrime5;
        hash = RotateLeft(hash, 11) * kPrime1;
    }
    hash ^= hash >> 33;
    hash *= kPrime2;
    hash ^= hash >> 29;
    hash *= kPrime3;
    hash ^= hash >> 32;
    return hash;
}

SharingOptionRole ClassifySharingOption(std::string_view option) {
    static constexpr std::string_view kTakeOver[] = {
        "-Xshare", "-XX:SharedArchiveFile", "-XX:ArchiveClassesAtExit", "-XX:+UseSharedSpaces",
        "-XX:-UseSharedSpaces", "-XX:DumpLoadedClassList", "-XX:SharedClassListFile",
        "-XX:+RecordDynamicDumpInfo", "-XX:+AutoCreateSharedArchive", "-XX:+DynamicDumpSharedSpaces",
        // Without compressed class pointers no archive can be mapped, and recording would
        // then stop the VM at start.
        "-XX:-UseCompressedClassPointers"};
    static constexpr std::string_view kShapes[] = {
        "-Xmx", "-XX:MaxHeapSize=", "-XX:MaxRAM", "-XX:InitialRAMPercentage", "-XX:MinRAMPercentage",
        "-XX:+UseCompressedOops", "-XX:-UseCompressedOops", "-XX:+UseCompressedClassPointers",
        "-XX:ObjectAlignmentInBytes=", "-XX:SharedBaseAddress=", "-XX:HeapBaseMinAddress=",
        "-XX:CompressedClassSpaceSize=", "-XX:+UseSerialGC", "-XX:+UseParallelGC", "-XX:+UseG1GC",
        "-XX:+UseZGC", "-XX:+UseShenandoahGC", "-XX:+UseEpsilonGC", "-XX:+UnlockExperimentalVMOptions"};
    for (std::string_view prefix : kTakeOver) {
        if (option.starts_with(prefix)) return SharingOptionRole::TakesOver;
    }
    for (std::string_view prefix : kShapes) {
        if (option.starts_with(prefix)) return SharingOptionRole::ShapesArchive;
    }
    return SharingOptionRole::None;
}

bool SupportsDynamicArchive(const VersionNumber& version) {
    // 1.x is Java x (1.8 = 8); from 9 the first component is the feature release.
    int feature = version.components[0] == 1 ? version.components[1] : version.components[0];
    return feature >= 13;
}

std::wstring BaseArchivePrefix(std::uint64_t runtimeKey) {
    return L"base." + HexText(runtimeKey, 16) + L".";
}

std::wstring AppArchiveFamily(std::wstring_view stem) {
    return L"app." + std::wstring(stem) + L".";
}

std::wstring AppArchivePrefix(std::wstring_view stem, std::uint64_t runtimeKey, std::uint64_t key) {
    return AppArchiveFamily(stem) + HexText(runtimeKey, 16) + L"." + HexText(key, 16) + L".";
}

std::wstring ArchiveStem(std::wstring_view executablePath) {
    std::size_t slash = executablePath.find_last_of(L"\\/");
    std::wstring_view name =
        slash == std::wstring_view::npos ? executablePath : executablePath.substr(slash + 1);
    std::size_t dot = name.rfind(L'.');
    if (dot != std::wstring_view::npos && dot > 0) name = name.substr(0, dot);
    std::wstring stem;
    for (wchar_t c : name.substr(0, 40)) {
        bool plain = (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9') ||
                     c == L'-' || c == L'_';
        stem += plain ? c : L'_';
    }
    // Windows paths compare without regard to case: one application, one key.
    std::wstring folded(executablePath);
    for (wchar_t& c : folded) c = AsciiUpper(c);
    return stem + L"-" + HexText(SharingKey().Add(folded).Value(), 16).substr(0, 8);
}

std::optional<std::uint64_t> ArchiveChecksum(std::wstring_view name, std::wstring_view prefix) {
    constexpr std::wstring_view kExtension = L".jsa";
    if (name.size() != prefix.size() + 16 + kExtension.size()) return std::nullopt;
    if (name.substr(0, prefix.size()) != prefix) return std::nullopt;
    if (name.substr(prefix.size() + 16) != kExtension) return std::nullopt;
    std::uint64_t value = 0;
    for (wchar_t c : name.substr(prefix.size(), 16)) {
        if (!IsHexDigit(c)) return std::nullopt;
        value = value << 4 | static_cast<std::uint64_t>(c <= L'9' ? c - L'0' : c - L'a' + 10);
    }
    return value;
}
