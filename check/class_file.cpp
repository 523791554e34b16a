#include "check/class_file.h"

#include <array>
#include <string>

namespace {

std::uint32_t U16(std::string_view bytes, std::size_t at) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at]) << 8 |
                                      static_cast<unsigned char>(bytes[at + 1]));
}

std::uint32_t U32(std::string_view bytes, std::size_t at) {
    return U16(bytes, at) << 16 | U16(bytes, at + 2);
}

enum : unsigned char {
    kUtf8 = 1,
    kInteger = 3,
    kFloat = 4,
    kLong = 5,
    kDouble = 6,
    kClass = 7,
    kString = 8,
    kFieldref = 9,
    kMethodref = 10,
    kInterfaceMethodref = 11,
    kNameAndType = 12,
    kMethodHandle = 15,
    kMethodType = 16,
    kDynamic = 17,
    kInvokeDynamic = 18,
    kModule = 19,
    kPackage = 20,
};

/// Bytes an entry takes after its tag; 0 for an unknown tag (Utf8 is sized by its length).
std::size_t EntrySize(unsigned char tag) {
    switch (tag) {
        case kClass:
        case kString:
        case kMethodType:
        case kModule:
        case kPackage:
            return 2;
        case kMethodHandle:
            return 3;
        case kInteger:
        case kFloat:
        case kFieldref:
        case kMethodref:
        case kInterfaceMethodref:
        case kNameAndType:
        case kDynamic:
        case kInvokeDynamic:
            return 4;
        case kLong:
        case kDouble:
            return 8;
        default:
            return 0;
    }
}

}  // namespace

std::string_view ClassFileReader::Utf8(std::uint32_t index) const {
    if (index == 0 || index >= entries_.size() || entries_[index] == 0) return {};
    std::size_t at = entries_[index];
    if (static_cast<unsigned char>(bytes_[at]) != kUtf8) return {};
    return bytes_.substr(at + 3, U16(bytes_, at + 1));
}

std::string_view ClassFileReader::ClassName(std::uint32_t index) const {
    if (index == 0 || index >= entries_.size() || entries_[index] == 0) return {};
    std::size_t at = entries_[index];
    if (static_cast<unsigned char>(bytes_[at]) != kClass) return {};
    return Utf8(U16(bytes_, at + 1));
}

void ClassFileReader::AddDescriptor(std::string_view descriptor) {
    // Only class types ("Lpkg/Name;") name classes; the other letters are primitives,
    // brackets and parentheses.
    for (std::size_t i = 0; i < descriptor.size(); ++i) {
        if (descriptor[i] != 'L') continue;
        std::size_t end = descriptor.find(';', i);
        if (end == std::string_view::npos) return;
        references.push_back(descriptor.substr(i + 1, end - i - 1));
        i = end;
    }
}

bool ClassFileReader::Read(std::string_view bytes) {
    bytes_ = bytes;
    major = 0;
    thisClass = moduleName = moduleMainClass = {};
    references.clear();
    if (bytes.size() < 10 || U32(bytes, 0) != 0xCAFEBABE) return false;
    major = U16(bytes, 6);
    std::uint32_t count = U16(bytes, 8);
    entries_.assign(count, 0);
    std::size_t at = 10;
    for (std::uint32_t index = 1; index < count; ++index) {
        if (at >= bytes.size()) return false;
        unsigned char tag = static_cast<unsigned char>(bytes[at]);
        std::size_t size = tag == kUtf8
                               ? (bytes.size() - at < 3 ? bytes.size() : 2 + U16(bytes, at + 1))
                               : EntrySize(tag);
        if (size == 0 || bytes.size() - at - 1 < size) return false;
        entries_[index] = static_cast<std::uint32_t>(at);
        at += 1 + size;
        if (tag == kLong || tag == kDouble) ++index;  // they take two slots
    }
    for (std::uint32_t index = 1; index < count; ++index) {
        std::size_t entry = entries_[index];
        if (entry == 0) continue;
        unsigned char tag = static_cast<unsigned char>(bytes[entry]);
        if (tag == kClass) {
            std::string_view name = Utf8(U16(bytes, entry + 1));
            if (!name.empty() && name[0] == '[') {
                AddDescriptor(name);
            } else if (!name.empty()) {
                references.push_back(name);
            }
        } else if (tag == kNameAndType) {
            AddDescriptor(Utf8(U16(bytes, entry + 3)));
        } else if (tag == kMethodType) {
            AddDescriptor(Utf8(U16(bytes, entry + 1)));
        }
    }
    // access_flags, this_class, super_class, interfaces_count
    if (bytes.size() - at < 8) return false;
    thisClass = ClassName(U16(bytes, at + 2));
    if (thisClass.empty()) return false;
    if (thisClass != "module-info") return true;
    return ReadModuleAttributes(at + 8 + 2 * U16(bytes, at + 6));
}

bool ClassFileReader::ReadModuleAttributes(std::size_t at) {
    std::string_view bytes = bytes_;
    // Fields and methods (a module-info has none, but they are skipped by their sizes).
    for (int table = 0; table < 2; ++table) {
        if (at > bytes.size() || bytes.size() - at < 2) return false;
        std::uint32_t members = U16(bytes, at);
        at += 2;
        for (std::uint32_t i = 0; i < members; ++i) {
            if (bytes.size() - at < 8) return false;
            std::uint32_t attributes = U16(bytes, at + 6);
            at += 8;
            for (std::uint32_t a = 0; a < attributes; ++a) {
                if (bytes.size() - at < 6 || bytes.size() - at - 6 < U32(bytes, at + 2))
                    return false;
                at += 6 + U32(bytes, at + 2);
            }
        }
    }
    if (at > bytes.size() || bytes.size() - at < 2) return false;
    std::uint32_t attributes = U16(bytes, at);
    at += 2;
    for (std::uint32_t a = 0; a < attributes; ++a) {
        if (bytes.size() - at < 6) return false;
        std::string_view name = Utf8(U16(bytes, at));
        std::size_t length = U32(bytes, at + 2);
        at += 6;
        if (bytes.size() - at < length) return false;
        if (name == "Module" && length >= 2) {
            std::uint32_t index = U16(bytes, at);
            if (index != 0 && index < entries_.size() && entries_[index] != 0 &&
                static_cast<unsigned char>(bytes[entries_[index]]) == kModule) {
                moduleName = Utf8(U16(bytes, entries_[index] + 1));
            }
        } else if (name == "ModuleMainClass" && length >= 2) {
            moduleMainClass = ClassName(U16(bytes, at));
        }
        at += length;
    }
    return !moduleName.empty();
}

std::size_t ClassFileExtent::Needed(std::string_view prefix) {
    if (prefix.size() < 10) return 10;
    if (count_ == 0) {
        count_ = U16(prefix, 8);
        if (U32(prefix, 0) != 0xCAFEBABE || count_ == 0) return 0;
    }
    while (index_ < count_) {
        if (prefix.size() < at_ + 3) return at_ + 3;
        unsigned char tag = static_cast<unsigned char>(prefix[at_]);
        std::size_t size = tag == kUtf8 ? 3 + U16(prefix, at_ + 1) : 1 + EntrySize(tag);
        if (size == 1) return 0;
        if (prefix.size() < at_ + size) return at_ + size;
        at_ += size;
        index_ += tag == kLong || tag == kDouble ? 2 : 1;
    }
    // access_flags, this_class, super_class, interfaces_count
    return prefix.size() < at_ + 8 ? at_ + 8 : 0;
}

std::string_view JavaVersionOfClassFile(unsigned major) {
    // 45 is Java 1.0 and 1.1, 52 Java 8; from Java 9 (53) on, the version is major - 44.
    static const std::array<std::string, 256> kNames = [] {
        std::array<std::string, 256> names;
        for (unsigned m = 45; m < 256; ++m) {
            names[m] = m <= 45   ? "1.1"
                       : m <= 52 ? "1." + std::to_string(m - 44)
                                 : std::to_string(m - 44);
        }
        return names;
    }();
    return major < kNames.size() ? std::string_view(kNames[major]) : std::string_view();
}
