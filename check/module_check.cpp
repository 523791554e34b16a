#include "check/module_check.h"

#include <algorithm>
#include <cstdint>

#include "check/jar_manifest.h"
#include "check/jdk_modules.h"

namespace {

std::string_view PackageOf(std::string_view internalName) {
    std::size_t slash = internalName.rfind('/');
    return slash == std::string_view::npos ? std::string_view() : internalName.substr(0, slash);
}

std::string Dotted(std::string_view internalName) {
    std::string name(internalName);
    std::replace(name.begin(), name.end(), '/', '.');
    return name;
}

std::uint32_t LittleEndian32(std::string_view bytes, std::size_t at) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at])) |
           static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 1])) << 8 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 2])) << 16 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 3])) << 24;
}

constexpr std::size_t kClassLimit = 64u << 20;

}  // namespace

std::optional<std::vector<std::string>> ReleaseModules(std::string_view release) {
    constexpr std::string_view kKey = "MODULES=";
    std::size_t at = 0;
    while (at < release.size()) {
        std::size_t end = release.find('\n', at);
        if (end == std::string_view::npos) end = release.size();
        std::string_view line = release.substr(at, end - at);
        at = end + 1;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.substr(0, kKey.size()) != kKey) continue;
        line.remove_prefix(kKey.size());
        if (line.size() >= 2 && line.front() == '"' && line.back() == '"')
            line = line.substr(1, line.size() - 2);
        std::vector<std::string> modules;
        for (std::size_t start = 0; start < line.size();) {
            std::size_t space = line.find(' ', start);
            if (space == std::string_view::npos) space = line.size();
            if (space > start) modules.emplace_back(line.substr(start, space - start));
            start = space + 1;
        }
        return modules;
    }
    return std::nullopt;
}

std::optional<std::vector<std::string>> ImageModules(std::string_view image) {
    // The jimage index: a header of seven 32-bit words in the machine's order (little-endian
    // on Windows), a redirect table and an offset table of `tableLength` words each, the
    // location attributes, then the NUL-terminated strings. Each location is a list of
    // (kind << 3 | length - 1) bytes with a big-endian value; kind 1 names its module.
    constexpr std::size_t kHeader = 28;
    if (image.size() < kHeader || LittleEndian32(image, 0) != 0xCAFEDADAu) return std::nullopt;
    if ((LittleEndian32(image, 4) >> 16) != 1) return std::nullopt;
    std::uint64_t tableLength = LittleEndian32(image, 16);
    std::uint64_t locationsSize = LittleEndian32(image, 20);
    std::uint64_t stringsSize = LittleEndian32(image, 24);
    std::uint64_t offsets = kHeader + tableLength * 4;
    std::uint64_t locations = offsets + tableLength * 4;
    std::uint64_t strings = locations + locationsSize;
    if (strings + stringsSize > image.size()) return std::nullopt;
    std::string_view locationBytes = image.substr(locations, locationsSize);
    std::string_view stringBytes = image.substr(strings, stringsSize);
    std::set<std::uint64_t> moduleStrings;
    for (std::uint64_t i = 0; i < tableLength; ++i) {
        std::size_t at = LittleEndian32(image, offsets + i * 4);
        while (at < locationBytes.size()) {
            unsigned char head = static_cast<unsigned char>(locationBytes[at]);
            unsigned kind = head >> 3;
            std::size_t length = (head & 7u) + 1;
            if (kind == 0 || locationBytes.size() - at - 1 < length) break;
            std::uint64_t value = 0;
            for (std::size_t b = 0; b < length; ++b) {
                value = value << 8 | static_cast<unsigned char>(locationBytes[at + 1 + b]);
            }
            if (kind == 1) moduleStrings.insert(value);
            at += 1 + length;
        }
    }
    std::set<std::string> modules;
    for (std::uint64_t offset : moduleStrings) {
        if (offset >= stringBytes.size()) continue;
        std::size_t end = stringBytes.find('\0', offset);
        if (end == std::string_view::npos) continue;
        std::string_view name = stringBytes.substr(offset, end - offset);
        // The image's own directory trees are stored as the pseudo-modules "modules" and
        // "packages".
        if (!name.empty() && name != "modules" && name != "packages") modules.emplace(name);
    }
    return std::vector<std::string>(modules.begin(), modules.end());
}

std::string_view JdkModuleOfPackage(std::string_view package) {
    const JdkPackage* end = kJdkPackages + kJdkPackageCount;
    const JdkPackage* found = std::lower_bound(kJdkPackages, end, package,
                                               [](const JdkPackage& entry, std::string_view key) {
                                                   return std::string_view(entry.package) < key;
                                               });
    if (found == end || std::string_view(found->package) != package) return {};
    return found->module;
}

bool ModuleUse::AddClass(std::string_view bytes) {
    if (!reader_.Read(bytes)) return false;
    ++classes;
    std::string_view own = PackageOf(reader_.thisClass);
    if (defined_.find(own) == defined_.end()) defined_.emplace(own);
    for (std::string_view reference : reader_.references) {
        std::string_view package = PackageOf(reference);
        if (package.empty() || package == own) continue;
        if (used_.find(package) != used_.end()) continue;
        std::string_view module = JdkModuleOfPackage(package);
        if (module.empty()) continue;
        used_.emplace(std::string(package),
                      Use{module, std::string(reader_.thisClass), used_.size()});
    }
    return true;
}

namespace {

/// Ends a class file's decoding once its constant pool is there: the rest (fields, methods,
/// code) names no class that the constant pool does not, and is most of the work.
class ConstantPoolStop : public InflateStop {
  public:
    std::size_t Needed(std::string_view decoded) override { return extent.Needed(decoded); }
    ClassFileExtent extent;
};

}  // namespace

std::size_t ModuleUse::AddJar(std::string_view zip) {
    std::size_t before = classes;
    for (const ZipEntry& entry : ZipEntries(zip)) {
        std::string_view name = entry.name;
        if (name.size() < 6 || name.substr(name.size() - 6) != ".class") continue;
        // A module descriptor names the modules it requires, not classes.
        if (name == "module-info.class" ||
            (name.size() > 18 && name.substr(name.size() - 18) == "/module-info.class"))
            continue;
        ConstantPoolStop stop;
        if (!ReadZipEntryInto(zip, entry, kClassLimit, buffer_, &stop) || !AddClass(buffer_))
            ++unreadable;
    }
    return classes - before;
}

std::vector<MissingModule> ModuleUse::Missing(
    const std::vector<std::string>& runtimeModules) const {
    std::map<std::string_view, const std::pair<const std::string, Use>*> first;
    for (const auto& item : used_) {
        const Use& use = item.second;
        if (std::find(runtimeModules.begin(), runtimeModules.end(), use.module) !=
            runtimeModules.end())
            continue;
        if (defined_.find(item.first) != defined_.end()) continue;
        auto [at, inserted] = first.emplace(use.module, &item);
        if (!inserted && use.order < at->second->second.order) at->second = &item;
    }
    std::vector<MissingModule> missing;
    for (const auto& [module, item] : first) {
        missing.push_back(
            {std::string(module), Dotted(item->first), Dotted(item->second.referencingClass)});
    }
    return missing;
}

std::string JlinkCommand(const std::vector<std::string>& runtimeModules,
                         const std::vector<MissingModule>& missing, std::string_view output) {
    std::string command = "jlink --add-modules ";
    std::string separator;
    for (const std::string& module : runtimeModules) {
        command += separator + module;
        separator = ",";
    }
    for (const MissingModule& module : missing) {
        command += separator + module.module;
        separator = ",";
    }
    command += " --output ";
    bool quote = output.find(' ') != std::string_view::npos;
    if (quote) command += '"';
    command += output;
    if (quote) command += '"';
    return command;
}
