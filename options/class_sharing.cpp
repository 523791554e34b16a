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
    // The VM's own refusals, tried on the runtime: the module options in either form (the
    // properties are what the VM makes of the options), and every agent.
    static constexpr std::string_view kForbid[] = {
        "--limit-modules", "--patch-module", "--upgrade-module-path", "-Djdk.module.limitmods=",
        "-Djdk.module.upgrade.path=", "-Djdk.module.patch.", "-javaagent:", "-agentlib:",
        "-agentpath:", "-Xrun"};
    for (std::string_view prefix : kTakeOver) {
        if (option.starts_with(prefix)) return SharingOptionRole::TakesOver;
    }
    for (std::string_view prefix : kForbid) {
        if (option.starts_with(prefix)) return SharingOptionRole::ForbidsRecording;
    }
    // "Archived non-system classes are disabled because the java.system.class.loader property
    // is specified", on every start that maps or records.
    if (option.starts_with("-Djava.system.class.loader=")) return SharingOptionRole::ChangesOutput;
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

const wchar_t* SharingReasonText(SharingReason reason) {
    switch (reason) {
        case SharingReason::None: return L"";
        case SharingReason::Disabled: return L"Class Data Sharing=No";
        case SharingReason::RuntimeVersionUnknown: return L"the runtime's version is unknown (no release file)";
        case SharingReason::RuntimeTooOld: return L"the runtime is older than Java 13";
        case SharingReason::NotHotSpot: return L"the VM is not HotSpot";
        case SharingReason::ThirtyTwoBit: return L"the 32-bit build keeps no archives";
        case SharingReason::ParametersChooseSharing: return L"the VM parameters choose class data sharing themselves";
        case SharingReason::EnvironmentChoosesSharing: return L"the environment chooses class data sharing itself";
        case SharingReason::OptionForbidsRecording:
            return L"the VM refuses to record an archive with this option (module graph or agent)";
        case SharingReason::OptionChangesOutput:
            return L"the VM warns on every start that shares classes with this option";
        case SharingReason::ClassPathFolder:
            return L"a class path entry is a folder; archives hold classes of jar files only";
        case SharingReason::ModulePathUnpacked:
            return L"the module path holds an unpacked module; archives hold classes of jar files only";
        case SharingReason::NoLocalFolder: return L"no local application data folder (LOCALAPPDATA)";
        case SharingReason::FolderNotCreated: return L"the archive folder cannot be created";
        case SharingReason::FolderNotEncodable:
            return L"the archive folder cannot be passed to the VM in the system's code page";
        case SharingReason::RefusedRecently:
            return L"the VM did not start while recording with these settings (tried again a week after)";
        case SharingReason::SuspectArchive:
            return L"a start that mapped the archive died before main; it was removed (recorded again a week after)";
        case SharingReason::LowSpace: return L"less than 512 MB free on the archive folder's drive";
        case SharingReason::FolderNotWritable: return L"the archive folder cannot be written";
        case SharingReason::BaseBeingMade: return L"being made by a hidden process";
        case SharingReason::BaseFailedRecently: return L"could not be made (tried again a week after the failure)";
        case SharingReason::BaseMadeByNextStart: return L"made by the next start, in a hidden process";
        case SharingReason::BaseDumpNotStarted: return L"not made: the hidden process could not be started";
        case SharingReason::BaseMadeNow: return L"being made now by a hidden process";
    }
    return L"";
}

bool IsSmallHeapSize(std::string_view option) {
    for (std::string_view prefix : {std::string_view("-Xmx"), std::string_view("-XX:MaxHeapSize=")}) {
        if (!option.starts_with(prefix)) continue;
        std::string_view size = option.substr(prefix.size());
        std::uint64_t value = 0;
        std::size_t digits = 0;
        for (; digits < size.size() && size[digits] >= '0' && size[digits] <= '9'; ++digits) {
            if (value > (1ull << 40)) return false;
            value = value * 10 + static_cast<std::uint64_t>(size[digits] - '0');
        }
        if (digits == 0 || size.size() > digits + 1) return false;
        int shift = 0;
        if (digits < size.size()) {
            switch (size[digits] | 0x20) {
                case 'k': shift = 10; break;
                case 'm': shift = 20; break;
                case 'g': shift = 30; break;
                default: return false;
            }
        }
        return (value >> (30 - shift)) < 30;
    }
    return false;
}

std::size_t SharingPathListStart(std::string_view option, bool& classPath) {
    constexpr std::string_view kClassPath = "-Djava.class.path=";
    constexpr std::string_view kModulePath = "--module-path=";
    classPath = option.starts_with(kClassPath);
    if (classPath) return kClassPath.size();
    if (option.starts_with(kModulePath)) return kModulePath.size();
    return std::string_view::npos;
}

SharingOptionsReview ReviewSharingOptions(const std::vector<std::string>& options,
                                          const std::vector<std::string>& environment) {
    SharingOptionsReview review;
    auto refuse = [&](SharingReason reason, const std::string& culprit) {
        review.refusal = reason;
        review.culprit = culprit;
    };
    for (const std::vector<std::string>* list : {&options, &environment}) {
        const bool fromEnvironment = list == &environment;
        for (const std::string& option : *list) {
            bool classPath = false;
            if (SharingPathListStart(option, classPath) != std::string_view::npos) continue;
            switch (ClassifySharingOption(option)) {
                case SharingOptionRole::TakesOver:
                    refuse(fromEnvironment ? SharingReason::EnvironmentChoosesSharing
                                           : SharingReason::ParametersChooseSharing,
                           option);
                    return review;
                case SharingOptionRole::ForbidsRecording:
                    refuse(SharingReason::OptionForbidsRecording, option);
                    return review;
                case SharingOptionRole::ChangesOutput:
                    refuse(SharingReason::OptionChangesOutput, option);
                    return review;
                case SharingOptionRole::ShapesArchive:
                    review.shaping.push_back(option);
                    if (!IsSmallHeapSize(option)) review.defaultShape = false;
                    break;
                case SharingOptionRole::None:
                    break;
            }
        }
    }
    return review;
}

SharingPlan PlanSharing(const SharingFacts& facts) {
    SharingPlan plan;
    auto off = [&](SharingReason reason) {
        plan.reason = reason;
        return plan;
    };
    if (!facts.enabled) return off(SharingReason::Disabled);
    if (!facts.runtimeVersion) return off(SharingReason::RuntimeVersionUnknown);
    if (!SupportsDynamicArchive(*facts.runtimeVersion)) return off(SharingReason::RuntimeTooOld);
    if (!facts.hotSpot) return off(SharingReason::NotHotSpot);
    // A 32-bit VM that refused to record would cost a failed start.
    if (!facts.pointers64) return off(SharingReason::ThirtyTwoBit);
    if (facts.options.refusal != SharingReason::None) return off(facts.options.refusal);
    if (facts.pathProblem != SharingReason::None) return off(facts.pathProblem);
    if (facts.folderProblem != SharingReason::None) return off(facts.folderProblem);
    if (facts.suspectArchive) return off(SharingReason::SuspectArchive);
    if (facts.refusedRecently) return off(SharingReason::RefusedRecently);
    const bool base = facts.shippedBase || facts.privateBase;
    // Mapping writes nothing; making or recording an archive needs room for it.
    if (!(base && facts.appArchive) && facts.roomProblem != SharingReason::None) {
        return off(facts.roomProblem);
    }
    if (!base) {
        plan.action = SharingAction::Dump;
        plan.reason = facts.dumpFailedRecently ? SharingReason::BaseFailedRecently
                      : facts.dumpRunning      ? SharingReason::BaseBeingMade
                      : facts.dryRun           ? SharingReason::BaseMadeByNextStart
                                               : SharingReason::BaseMadeNow;
        return plan;
    }
    // What the VM logs about sharing is the launcher's business, not the program's output;
    // first, so that an -Xlog:cds of the user's own still shows it.
    plan.leading.push_back("-Xlog:cds*=off");
    // With the runtime's own archive as the base, the VM finds it by itself, and the
    // application's archive names it in its header.
    std::string archives = facts.shippedBase ? std::string() : facts.vmFolder + facts.baseName;
    if (facts.appArchive) {
        plan.action = SharingAction::Map;
        if (!archives.empty()) archives += ";";
        plan.trailing.push_back("-XX:SharedArchiveFile=" + archives + facts.vmFolder + facts.appName);
        plan.trailing.push_back("-Xshare:auto");
        return plan;
    }
    plan.action = SharingAction::Record;
    if (!archives.empty()) plan.trailing.push_back("-XX:SharedArchiveFile=" + archives);
    plan.trailing.push_back("-XX:ArchiveClassesAtExit=" + facts.vmFolder + facts.temporaryName);
    return plan;
}

namespace {

std::optional<std::uint64_t> ParseHex16(std::wstring_view text) {
    if (text.size() != 16) return std::nullopt;
    std::uint64_t value = 0;
    for (wchar_t c : text) {
        if (!IsHexDigit(c)) return std::nullopt;
        value = value << 4 | static_cast<std::uint64_t>(c <= L'9' ? c - L'0' : c - L'a' + 10);
    }
    return value;
}

/// A process id: decimal digits without a leading zero, at most 32 bits.
std::optional<std::uint64_t> ParseProcessId(std::wstring_view text) {
    if (text.empty() || text.size() > 10 || (text.size() > 1 && text[0] == L'0')) return std::nullopt;
    std::uint64_t value = 0;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9') return std::nullopt;
        value = value * 10 + static_cast<std::uint64_t>(c - L'0');
    }
    if (value > 0xFFFFFFFFull) return std::nullopt;
    return value;
}

bool IsStemText(std::wstring_view stem) {
    if (stem.empty() || stem.size() > 49) return false;
    for (wchar_t c : stem) {
        bool plain = (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9') ||
                     c == L'-' || c == L'_';
        if (!plain) return false;
    }
    return true;
}

std::vector<std::wstring_view> Fields(std::wstring_view text, wchar_t separator) {
    std::vector<std::wstring_view> fields;
    for (;;) {
        std::size_t at = text.find(separator);
        fields.push_back(text.substr(0, at));
        if (at == std::wstring_view::npos) return fields;
        text.remove_prefix(at + 1);
    }
}

constexpr std::pair<ArchiveFile::What, std::wstring_view> kWords[] = {
    {ArchiveFile::What::Lock, L"lock"},
    {ArchiveFile::What::Failed, L"failed"},
    {ArchiveFile::What::Refused, L"refused"}};

}  // namespace

std::wstring FormatArchiveFile(const ArchiveFile& file) {
    std::wstring name = file.owner == ArchiveFile::Owner::Base
                            ? L"base." + HexText(file.runtimeKey, 16)
                            : L"app." + file.stem + L"." + HexText(file.runtimeKey, 16) + L"." +
                                  HexText(file.key, 16);
    switch (file.what) {
        case ArchiveFile::What::Archive: return name + L"." + HexText(file.number, 16) + L".jsa";
        case ArchiveFile::What::Temporary: return name + L"." + DecimalText(file.number) + L".tmp";
        case ArchiveFile::What::MappingNote: return name + L".mapping." + DecimalText(file.number);
        default: break;
    }
    for (const auto& [what, word] : kWords) {
        if (what == file.what) return name + L"." + std::wstring(word);
    }
    return name;
}

std::optional<ArchiveFile> ParseArchiveFile(std::wstring_view name) {
    std::vector<std::wstring_view> fields = Fields(name, L'.');
    ArchiveFile file;
    std::size_t next = 0;
    if (fields.size() >= 3 && fields[0] == L"base") {
        file.owner = ArchiveFile::Owner::Base;
        next = 1;
    } else if (fields.size() >= 5 && fields[0] == L"app" && IsStemText(fields[1])) {
        file.owner = ArchiveFile::Owner::App;
        file.stem = fields[1];
        next = 2;
    } else {
        return std::nullopt;
    }
    std::optional<std::uint64_t> runtimeKey = ParseHex16(fields[next++]);
    if (!runtimeKey) return std::nullopt;
    file.runtimeKey = *runtimeKey;
    if (file.owner == ArchiveFile::Owner::App) {
        std::optional<std::uint64_t> key = ParseHex16(fields[next++]);
        if (!key) return std::nullopt;
        file.key = *key;
    }
    const std::size_t rest = fields.size() - next;
    std::optional<std::uint64_t> number;
    if (rest == 1) {
        for (const auto& [what, word] : kWords) {
            if (fields[next] == word) {
                file.what = what;
                return file;
            }
        }
        return std::nullopt;
    }
    if (rest != 2) return std::nullopt;
    if (fields[next + 1] == L"jsa" && (number = ParseHex16(fields[next]))) {
        file.what = ArchiveFile::What::Archive;
    } else if (fields[next + 1] == L"tmp" && (number = ParseProcessId(fields[next]))) {
        file.what = ArchiveFile::What::Temporary;
    } else if (fields[next] == L"mapping" && (number = ParseProcessId(fields[next + 1]))) {
        file.what = ArchiveFile::What::MappingNote;
    } else {
        return std::nullopt;
    }
    file.number = *number;
    return file;
}

bool SameArchive(const ArchiveFile& a, const ArchiveFile& b) {
    return a.owner == b.owner && a.stem == b.stem && a.runtimeKey == b.runtimeKey && a.key == b.key;
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

namespace {

constexpr std::wstring_view kJobHeader = L"vmboot class data job 1";
constexpr std::wstring_view kJobKeys[] = {L"mode", L"vm", L"folder", L"runtime", L"vmfolder", L"option"};

}  // namespace

std::wstring FormatSharingJob(const SharingJob& job) {
    std::wstring text(kJobHeader);
    const std::wstring runtime = HexText(job.runtimeKey, 16);
    const std::wstring_view values[] = {job.mode, job.vmLibrary, job.folder, runtime, job.vmFolder};
    for (std::size_t i = 0; i < std::size(values); ++i) {
        text += L"\n" + std::wstring(kJobKeys[i]) + L"=" + std::wstring(values[i]);
    }
    for (const std::wstring& option : job.options) text += L"\noption=" + option;
    return text;
}

std::optional<SharingJob> ParseSharingJob(std::wstring_view text) {
    std::vector<std::wstring_view> lines = Fields(text, L'\n');
    if (lines[0] != kJobHeader) return std::nullopt;
    SharingJob job;
    bool seen[std::size(kJobKeys)] = {};
    for (std::size_t i = 1; i < lines.size(); ++i) {
        std::wstring_view line = lines[i];
        std::size_t equals = line.find(L'=');
        if (equals == std::wstring_view::npos) return std::nullopt;
        std::wstring_view name = line.substr(0, equals);
        std::wstring_view value = line.substr(equals + 1);
        std::size_t index = 0;
        while (index < std::size(kJobKeys) && kJobKeys[index] != name) ++index;
        if (index == std::size(kJobKeys)) return std::nullopt;
        if (name == L"option") {
            job.options.emplace_back(value);
            continue;
        }
        if (seen[index]) return std::nullopt;
        seen[index] = true;
        switch (index) {
            case 0: job.mode = value; break;
            case 1: job.vmLibrary = value; break;
            case 2: job.folder = value; break;
            case 3: {
                std::optional<std::uint64_t> key = ParseHex16(value);
                if (!key) return std::nullopt;
                job.runtimeKey = *key;
                break;
            }
            case 4: job.vmFolder = value; break;
            default: break;
        }
    }
    for (std::size_t i = 0; i + 1 < std::size(kJobKeys); ++i) {
        if (!seen[i]) return std::nullopt;
    }
    if (job.mode != L"base" && job.mode != L"vm") return std::nullopt;
    if (job.vmLibrary.empty()) return std::nullopt;
    return job;
}

std::optional<ZipDirectory> FindZipDirectory(const unsigned char* tail, std::size_t tailSize,
                                             std::uint64_t fileSize) {
    constexpr std::size_t kEndSize = 22;
    if (tailSize < kEndSize || tailSize > fileSize) return std::nullopt;
    auto read16 = [&](std::size_t at) { return std::uint32_t(tail[at]) | std::uint32_t(tail[at + 1]) << 8; };
    auto read32 = [&](std::size_t at) { return read16(at) | read16(at + 2) << 16; };
    const std::uint64_t tailStart = fileSize - tailSize;
    // The end record's signature, searched from the end: its comment follows it and may be
    // up to 65,535 bytes; the comment length must reach the file's end exactly.
    for (std::size_t at = tailSize - kEndSize + 1; at-- > 0;) {
        if (read32(at) != 0x06054b50u) continue;
        if (at + kEndSize + read16(at + 20) != tailSize) continue;
        ZipDirectory directory{read32(at + 16), read32(at + 12)};
        // A zip64 archive keeps the true values elsewhere: not a plain directory.
        if (directory.offset == 0xFFFFFFFFu || directory.size == 0xFFFFFFFFu) return std::nullopt;
        if (directory.offset + directory.size > tailStart + at) return std::nullopt;
        return directory;
    }
    return std::nullopt;
}

namespace {

constexpr std::wstring_view kJarKeysHeader = L"vmboot jar keys 1";

}  // namespace

std::wstring FormatJarKeys(const std::vector<JarKeyRecord>& records) {
    std::wstring text(kJarKeysHeader);
    for (const JarKeyRecord& record : records) {
        if (record.path.find(L'\n') != std::wstring::npos) continue;
        text += L"\n" + HexText(record.size, 16) + L" " + HexText(record.writeTime, 16) + L" " +
                HexText(record.changeTime, 16) + L" " + HexText(record.key, 16) + L" " + record.path;
    }
    return text;
}

std::vector<JarKeyRecord> ParseJarKeys(std::wstring_view text) {
    std::vector<JarKeyRecord> records;
    std::vector<std::wstring_view> lines = Fields(text, L'\n');
    if (lines[0] != kJarKeysHeader) return records;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        std::wstring_view line = lines[i];
        constexpr std::size_t kNumbers = 4 * 17;
        if (line.size() <= kNumbers) continue;
        std::optional<std::uint64_t> numbers[4];
        bool separated = true;
        for (std::size_t n = 0; n < 4; ++n) {
            numbers[n] = ParseHex16(line.substr(n * 17, 16));
            separated = separated && numbers[n] && line[n * 17 + 16] == L' ';
        }
        if (!separated) continue;
        records.push_back({std::wstring(line.substr(kNumbers)), *numbers[0], *numbers[1], *numbers[2], *numbers[3]});
    }
    return records;
}
