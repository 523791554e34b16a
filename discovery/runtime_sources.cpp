#include "discovery/runtime_sources.h"

#include "core/format.h"
#include "core/path_utils.h"
#include "core/pe_header.h"

const RuntimeRegistryRoot kRuntimeRegistryRoots[7] = {
    {1, L"Software\\JavaSoft\\JDK\\", RuntimeKind::DevelopmentKit, RuntimeProvider::Sun, false,
     false},
    {2, L"Software\\JavaSoft\\JRE\\", RuntimeKind::RuntimeEnvironment, RuntimeProvider::Sun, false,
     false},
    {3, L"Software\\JavaSoft\\Java Development Kit\\", RuntimeKind::DevelopmentKit,
     RuntimeProvider::Sun, true, false},
    {4, L"Software\\JavaSoft\\Java Runtime Environment\\", RuntimeKind::RuntimeEnvironment,
     RuntimeProvider::Sun, false, true},
    {5, L"Software\\JRockit\\Java Runtime Environment\\", RuntimeKind::RuntimeEnvironment,
     RuntimeProvider::JRockit, false, false},
    {6, L"Software\\JRockit\\Java Development Kit\\", RuntimeKind::DevelopmentKit,
     RuntimeProvider::JRockit, true, false},
    {7, L"Software\\IBM\\Java2 Runtime Environment\\", RuntimeKind::RuntimeEnvironment,
     RuntimeProvider::Ibm, false, false},
};

namespace {

struct VmLibraryProbe {
    const wchar_t* relativePath;
    bool server;
};

constexpr VmLibraryProbe kServerProbe = {L"bin\\server\\jvm.dll", true};
constexpr VmLibraryProbe kAnyVmProbes[] = {
    {L"bin\\client\\jvm.dll", false},  {L"bin\\classic\\jvm.dll", false},
    {L"bin\\hotspot\\jvm.dll", false}, {L"bin\\server\\jvm.dll", true},
    {L"bin\\jrockit\\jvm.dll", false},
};

const ProviderPreference& ProviderOf(const RuntimeRegistryRoot& root,
                                     const RuntimeSearchCriteria& criteria) {
    switch (root.provider) {
        case RuntimeProvider::JRockit:
            return criteria.JRockit;
        case RuntimeProvider::Ibm:
            return criteria.Ibm;
        case RuntimeProvider::Sun:
            break;
    }
    return criteria.Sun;
}

bool WantsKind(const RuntimeRegistryRoot& root, const RuntimeSearchCriteria& criteria) {
    return root.kind == RuntimeKind::DevelopmentKit ? criteria.WantJdk : criteria.WantJre;
}

void EnsureTrailingBackslash(std::wstring& folder) {
    if (folder.empty() || folder.back() != L'\\') folder += L'\\';
}

}  // namespace

bool IsRootSearched(const RuntimeRegistryRoot& root, const RuntimeSearchCriteria& criteria) {
    const ProviderPreference& provider = ProviderOf(root, criteria);
    return (criteria.BothKinds || WantsKind(root, criteria)) &&
           (provider.allowed || provider.favoured);
}

bool IsRootPreferred(const RuntimeRegistryRoot& root, const RuntimeSearchCriteria& criteria) {
    return WantsKind(root, criteria) && ProviderOf(root, criteria).favoured;
}

VmLibraryLocation LocateVmLibrary(FileProbe& files, const std::wstring& folder, JvmTypeMode mode,
                                  DecisionLog* log) {
    std::wstring tried;
    auto probe = [&](const VmLibraryProbe& row, VmLibraryLocation& found) {
        std::wstring path = folder + row.relativePath;
        if (!tried.empty()) tried += L';';
        tried += path;
        if (!files.Exists(path)) return false;
        found = {std::move(path), row.server};
        return true;
    };
    auto report = [&](const VmLibraryLocation& found) {
        NoteDecision(log, "discovery", "vm-library",
                     {{"folder", folder},
                      {"mode", DecisionText(mode)},
                      {"tried", tried},
                      {"library", found.path},
                      {"server", DecisionText(found.server)}});
        return found;
    };

    VmLibraryLocation found;
    if (mode == JvmTypeMode::ServerOnly || mode == JvmTypeMode::FavorServer) {
        if (probe(kServerProbe, found)) return report(found);
        if (mode == JvmTypeMode::ServerOnly) return report(found);
    }
    for (const VmLibraryProbe& row : kAnyVmProbes) {
        if (probe(row, found)) return report(found);
    }
    return report(found);
}

RuntimeFolder LocateRuntimeFolder(FileProbe& files, const std::wstring& folder, JvmTypeMode mode,
                                  DecisionLog* log) {
    for (int step = 0; step < 3; ++step) {
        std::wstring candidate = step == 0 ? folder : folder + L"jre\\";
        if (step == 2) {
            // "...\bin\": the runtime is the folder above.
            const std::size_t n = folder.size();
            if (n < 6 || !EndsWithIgnoringAsciiCase(std::wstring_view(folder).substr(0, n - 1),
                                                    L"\\bin")) {
                break;
            }
            candidate = folder.substr(0, n - 4);
        }
        VmLibraryLocation library = LocateVmLibrary(files, candidate, mode, log);
        if (!library.path.empty()) return {std::move(candidate), std::move(library)};
    }
    return {folder, {}};
}

bool HasRuntimeMarker(FileProbe& files, const std::wstring& folder) {
    return files.Exists(folder + L"bin\\java.dll");
}

std::wstring JrePathFolder(const std::wstring& jrePath) {
    std::wstring folder = jrePath;
    EnsureTrailingBackslash(folder);
    return folder;
}

std::wstring FindPrivateRuntimeFolder(FileProbe& files, const std::wstring& launcherFolder,
                                      const std::wstring& privateFolder, DecisionLog* log) {
    std::wstring folder = launcherFolder + L"\\";
    if (HasRuntimeMarker(files, folder)) {
        NoteDecision(log, "discovery", "private-runtime",
                     {{"folder", folder}, {"marker", L"found"}});
        return folder;
    }
    NoteDecision(log, "discovery", "private-runtime", {{"folder", folder}, {"marker", L"missing"}});
    folder += privateFolder;
    if (HasRuntimeMarker(files, folder)) {
        NoteDecision(log, "discovery", "private-runtime",
                     {{"folder", folder}, {"marker", L"found"}});
        return folder;
    }
    NoteDecision(log, "discovery", "private-runtime", {{"folder", folder}, {"marker", L"missing"}});
    return {};
}

bool ReadRegisteredRuntime(RegistryAccess& registry, FileProbe& files,
                           const RuntimeRegistryRoot& root, const std::wstring& subkey,
                           RegistryView view, JvmTypeMode mode, RegisteredRuntime& runtime,
                           DecisionLog* log) {
    runtime = {};
    std::wstring home;
    if (!registry.ReadText(root.path + subkey, L"JavaHome", view, home) || home.empty()) {
        NoteDecision(log, "discovery", "registry-runtime",
                     {{"key", root.path + subkey}, {"rejected", L"no JavaHome"}});
        return false;
    }
    EnsureTrailingBackslash(home);
    if (root.homeHoldsKit) home += L"jre\\";
    const JvmTypeMode probeMode =
        root.favorServerAsAny && mode == JvmTypeMode::FavorServer ? JvmTypeMode::AnyVm : mode;
    VmLibraryLocation library = LocateVmLibrary(files, home, probeMode, log);
    if (library.path.empty()) {
        NoteDecision(log, "discovery", "registry-runtime",
                     {{"key", root.path + subkey}, {"home", home}, {"rejected", L"no VM library"}});
        return false;
    }
    runtime.folder = std::move(home);
    runtime.library = std::move(library.path);
    runtime.server = library.server;
    return true;
}

void ScanRegistryRoot(RegistryAccess& registry, FileProbe& files, const RuntimeRegistryRoot& root,
                      RegistryView view, const RuntimeSearchCriteria& criteria,
                      std::vector<RuntimeCandidate>& candidates,
                      std::vector<SeenRuntime>* seenRuntimes, DecisionLog* log,
                      RuntimeRejection rejectAs) {
    const RuntimeKind kind = root.kind;
    // Where a rejected runtime lives is read only for someone who is told about it.
    const bool reporting = seenRuntimes || log;
    for (const std::wstring& name : registry.SubkeyNames(root.path, view)) {
        VersionNumber version;
        ParseVersion(name, 0, version);
        SeenRuntime seen;
        seen.origin = kOriginRegistry;
        seen.place = RegistryPlace(view, root.path + name, criteria.HostIs64Bit);
        seen.version = FormatVersion(version);
        seen.kind = kind == RuntimeKind::DevelopmentKit ? L"JDK" : L"JRE";
        auto reject = [&](RuntimeRejection reason) {
            seen.reason = RejectionCode(reason);
            NoteRuntimeSeen(seenRuntimes, log, seen);
        };
        const wchar_t* bound = nullptr;
        if (CompareVersions(version, criteria.MaximumVersion) > 0) {
            bound = L"above Maximum Version";
        } else if (CompareVersions(version, criteria.MinimumVersion) < 0) {
            bound = L"below Minimum Version";
        }
        if (bound) {
            NoteDecision(log, "discovery", "candidate",
                         {{"root", root.path},
                          {"subkey", name},
                          {"version", DecisionText(version)},
                          {"rejected", bound}});
            if (reporting) registry.ReadText(root.path + name, L"JavaHome", view, seen.folder);
            reject(CompareVersions(version, criteria.MaximumVersion) > 0
                       ? RuntimeRejection::AboveMaximumVersion
                       : RuntimeRejection::BelowMinimumVersion);
            continue;
        }
        RegisteredRuntime runtime;
        if (!ReadRegisteredRuntime(registry, files, root, name, view, criteria.JvmType, runtime,
                                   log)) {
            if (reporting && registry.ReadText(root.path + name, L"JavaHome", view, seen.folder) &&
                !seen.folder.empty()) {
                EnsureTrailingBackslash(seen.folder);
                if (root.homeHoldsKit) seen.folder += L"jre\\";
                reject(files.FolderExists(seen.folder) ? RuntimeRejection::NoVmLibrary
                                                       : RuntimeRejection::FolderMissing);
            } else {
                reject(RuntimeRejection::FolderMissing);
            }
            continue;
        }
        seen.folder = runtime.folder;
        // Neither build can host a VM library for another processor family, so it never
        // becomes a candidate; x86 and x64 follow the view they were found in.
        std::optional<std::uint16_t> machine = files.ImageMachine(runtime.library);
        if (machine &&
            ClassifyMachine(*machine, criteria.HostIs64Bit) == MachineFit::Unsupported) {
            reject(RuntimeRejection::UnsupportedProcessor);
            continue;
        }
        if (rejectAs != RuntimeRejection::None) {
            reject(rejectAs);
            continue;
        }
        RuntimeCandidate candidate;
        candidate.version = version;
        candidate.home = std::move(runtime.folder);
        candidate.hasServerVm = runtime.server;
        candidate.preferred = IsRootPreferred(root, criteria);
        candidate.fromIbmRoot = root.provider == RuntimeProvider::Ibm;
        NoteDecision(log, "discovery", "candidate",
                     {{"root", root.path},
                      {"subkey", name},
                      {"view", DecisionText(view)},
                      {"version", DecisionText(candidate.version)},
                      {"home", candidate.home},
                      {"server", DecisionText(candidate.hasServerVm)},
                      {"preferred", DecisionText(candidate.preferred)}});
        NoteRuntimeSeen(seenRuntimes, log, seen);
        candidates.push_back(std::move(candidate));
    }
}

std::wstring RegistryPlace(RegistryView view, const std::wstring& key, bool hostIs64Bit) {
    if (view == RegistryView::CurrentUser) return L"HKCU\\" + key;
    const bool view64 = (view == RegistryView::Native) == hostIs64Bit;
    return L"HKLM\\" + key + (view64 ? L" (64-bit)" : L" (32-bit)");
}

std::wstring RenameViewFolders(std::wstring_view text,
                               const std::vector<std::pair<std::wstring, std::wstring>>& renames) {
    std::wstring out;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t open = text.find(L'%', pos);
        const std::size_t close =
            open == std::wstring_view::npos ? open : text.find(L'%', open + 1);
        if (close == std::wstring_view::npos) break;
        out.append(text.substr(pos, open - pos));
        const std::wstring_view name = text.substr(open + 1, close - open - 1);
        const std::pair<std::wstring, std::wstring>* rename = nullptr;
        for (const auto& pair : renames) {
            if (EqualsIgnoringAsciiCase(name, pair.first)) rename = &pair;
        }
        if (rename) {
            out += L'%' + rename->second + L'%';
            pos = close + 1;
        } else {
            // As the expansion does for a name it does not know, the closing "%" may open
            // the next reference.
            out.append(text.substr(open, close - open));
            pos = close;
        }
    }
    out.append(text.substr(pos));
    return out;
}

std::optional<VersionNumber> ParseReleaseVersion(std::string_view bytes) {
    // The values are ASCII; a UTF-16 file is narrowed, and anything else cannot be a digit.
    std::string text;
    const bool utf16le = bytes.substr(0, 2) == "\xFF\xFE";
    const bool utf16be = bytes.substr(0, 2) == "\xFE\xFF";
    if (utf16le || utf16be) {
        for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
            const char low = utf16le ? bytes[i] : bytes[i + 1];
            const char high = utf16le ? bytes[i + 1] : bytes[i];
            text += high == 0 ? low : '?';
        }
    } else {
        if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
        text.assign(bytes.begin(), bytes.end());
    }
    auto trim = [](std::string_view s) {
        while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
        while (!s.empty() && (s.back() == '\r' || s.back() == ' ' || s.back() == '\t')) {
            s.remove_suffix(1);
        }
        return s;
    };
    const std::string_view all = text;
    for (std::size_t start = 0; start < all.size();) {
        std::size_t end = all.find('\n', start);
        if (end == std::string_view::npos) end = all.size();
        std::string_view line = all.substr(start, end - start);
        start = end + 1;
        const std::size_t equals = line.find('=');
        if (equals == std::string_view::npos || trim(line.substr(0, equals)) != "JAVA_VERSION") {
            continue;
        }
        line = trim(line.substr(equals + 1));
        if (line.size() >= 2 && line.front() == '"' && line.back() == '"') {
            line = line.substr(1, line.size() - 2);
        }
        std::wstring wide(line.begin(), line.end());
        VersionNumber version;
        if (!ParseVersion(wide, 0, version)) return std::nullopt;
        return version;
    }
    return std::nullopt;
}

std::optional<KnownVersion> VendorKeyVersion(std::wstring_view subkey) {
    VersionNumber parsed;
    if (!ParseVersion(subkey, 0, parsed)) return std::nullopt;
    KnownVersion known;
    const std::int32_t major = parsed.components[0];
    const bool oldScheme = major >= 2 && major <= 8;
    if (parsed.componentCount >= 3) {
        // "8.0.392.8": major, minor, update, build. The old scheme has no room for the build.
        VersionNumber& v = known.lowest;
        if (oldScheme) {
            v.components[0] = 1;
            v.components[1] = major;
            v.components[2] = parsed.components[1];
            v.components[3] = parsed.components[2];
        } else {
            v = parsed;
        }
        v.componentCount = 4;
        known.highest = v;
        return known;
    }
    // A major version alone ("zulu-8", "1.8"): every update of it.
    std::int32_t feature = major;
    if (major == 1 && parsed.componentCount == 2) feature = parsed.components[1];
    const bool old = feature >= 2 && feature <= 8;
    for (VersionNumber* v : {&known.lowest, &known.highest}) {
        const std::int32_t open = v == &known.lowest ? 0 : kOpenVersionComponent;
        v->components[0] = old ? 1 : feature;
        v->components[1] = old ? feature : open;
        v->components[2] = open;
        v->components[3] = open;
        v->componentCount = 4;
    }
    return known;
}

std::wstring JavaVersionName(const VersionNumber& version) {
    int first = version.components[0] == 1 && version.components[1] >= 2 ? 1 : 0;
    int last = 3;
    while (last > first && version.components[last] == 0) --last;
    std::wstring text;
    for (int i = first; i <= last; ++i) {
        if (i > first) text += L'.';
        text += DecimalText(version.components[i]);
    }
    return text;
}

std::optional<VersionNumber> ReadReleaseVersion(FileProbe& files, const std::wstring& folder) {
    std::string bytes;
    if (!files.ReadSmallFile(folder + L"release", bytes)) return std::nullopt;
    return ParseReleaseVersion(bytes);
}

std::wstring DecisionText(bool value) { return value ? L"true" : L"false"; }

std::wstring DecisionText(JvmTypeMode mode) {
    switch (mode) {
        case JvmTypeMode::ServerOnly:
            return L"ServerOnly";
        case JvmTypeMode::FavorServer:
            return L"FavorServer";
        case JvmTypeMode::AnyVm:
            break;
    }
    return L"AnyVm";
}

std::wstring DecisionText(RegistryView view) {
    switch (view) {
        case RegistryView::Alternate:
            return L"alternate";
        case RegistryView::CurrentUser:
            return L"current user";
        case RegistryView::Native:
            break;
    }
    return L"native";
}

std::wstring DecisionText(const VersionNumber& version) {
    std::wstring text;
    for (int i = 0; i < 4; ++i) {
        if (i) text += L'.';
        text += DecimalText(version.components[i]);
    }
    return text;
}
