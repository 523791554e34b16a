#include "discovery/vendor_runtimes.h"

#include "core/path_utils.h"
#include "core/pe_header.h"

const VendorRegistryRoot kVendorRegistryRoots[14] = {
    {L"Eclipse Temurin", L"Software\\Eclipse Adoptium\\JDK\\", VendorKindRule::Kit, L"Path", true,
     true},
    {L"Eclipse Temurin", L"Software\\Eclipse Adoptium\\JRE\\", VendorKindRule::Environment,
     L"Path", true, true},
    {L"AdoptOpenJDK", L"Software\\AdoptOpenJDK\\JDK\\", VendorKindRule::Kit, L"Path", true, true},
    {L"AdoptOpenJDK", L"Software\\AdoptOpenJDK\\JRE\\", VendorKindRule::Environment, L"Path", true,
     true},
    {L"Eclipse Foundation", L"Software\\Eclipse Foundation\\JDK\\", VendorKindRule::Kit, L"Path",
     true, true},
    {L"Eclipse Foundation", L"Software\\Eclipse Foundation\\JRE\\", VendorKindRule::Environment,
     L"Path", true, true},
    {L"Microsoft", L"Software\\Microsoft\\JDK\\", VendorKindRule::Kit, L"Path", true, true},
    {L"IBM Semeru", L"Software\\Semeru\\JDK\\", VendorKindRule::Kit, L"Path", true, true},
    {L"IBM Semeru", L"Software\\Semeru\\JRE\\", VendorKindRule::Environment, L"Path", true, true},
    {L"Azul Zulu", L"Software\\Azul Systems\\Zulu\\", VendorKindRule::JreSuffix,
     L"InstallationPath", false, false},
    {L"Azul Zulu", L"Software\\Azul Systems\\Zulu 32-bit\\", VendorKindRule::JreSuffix,
     L"InstallationPath", false, false},
    {L"BellSoft Liberica", L"Software\\BellSoft\\Liberica\\", VendorKindRule::JrePrefix,
     L"InstallationPath", false, false},
    {L"SapMachine", L"Software\\SapMachine\\JDK\\", VendorKindRule::Kit, L"JavaHome", false,
     false},
    {L"SapMachine", L"Software\\SapMachine\\JRE\\", VendorKindRule::Environment, L"JavaHome",
     false, false},
};

namespace {

RuntimeKind KindOf(const VendorRegistryRoot& root, const std::wstring& subkey) {
    switch (root.kind) {
        case VendorKindRule::Environment:
            return RuntimeKind::RuntimeEnvironment;
        case VendorKindRule::JreSuffix:
            return EndsWithIgnoringAsciiCase(subkey, L"-jre") ? RuntimeKind::RuntimeEnvironment
                                                              : RuntimeKind::DevelopmentKit;
        case VendorKindRule::JrePrefix: {
            const bool jre = EqualsIgnoringAsciiCase(std::wstring_view(subkey).substr(0, 3), L"jre");
            return jre ? RuntimeKind::RuntimeEnvironment : RuntimeKind::DevelopmentKit;
        }
        case VendorKindRule::Kit:
            break;
    }
    return RuntimeKind::DevelopmentKit;
}

const wchar_t* KindText(RuntimeKind kind) {
    return kind == RuntimeKind::DevelopmentKit ? L"JDK" : L"JRE";
}

bool KindWanted(RuntimeKind kind, const RuntimeSearchCriteria& criteria) {
    if (criteria.BothKinds) return true;
    return kind == RuntimeKind::DevelopmentKit ? criteria.WantJdk : criteria.WantJre;
}

void EnsureTrailingBackslash(std::wstring& folder) {
    if (!folder.empty() && folder.back() != L'\\') folder += L'\\';
}

struct Checked {
    RuntimeRejection reason = RuntimeRejection::None;
    std::wstring folder;  ///< the runtime folder: the one checked, or its "jre\" folder
    VmLibraryLocation library;
    VersionNumber version;
    bool launchPair = false;
};

// The checks every runtime outside the specified sources passes, in the order a person
// would ask about them; the first that fails is the reason reported.
Checked Check(FileProbe& files, const std::wstring& folder, std::optional<RuntimeKind> kind,
              bool checkProvider, const std::optional<KnownVersion>& keyVersion,
              const RuntimeSearchCriteria& criteria, bool hasPairProduct, SeenRuntime& seen) {
    Checked result;
    result.folder = folder;
    auto fail = [&](RuntimeRejection reason) {
        result.reason = reason;
        return result;
    };
    if (folder.empty() || !files.FolderExists(folder)) return fail(RuntimeRejection::FolderMissing);

    // A Java 8 kit keeps its VM in "jre\"; a person may name the "bin" folder.
    RuntimeFolder runtime = LocateRuntimeFolder(files, folder, criteria.JvmType);
    result.folder = runtime.folder;
    seen.folder = runtime.folder;
    // The runtime's own word first: a subkey name may hold only the major version or the
    // vendor's numbering.
    std::optional<KnownVersion> version;
    for (const std::wstring& place : {runtime.folder, folder}) {
        if (version) break;
        if (std::optional<VersionNumber> release = ReadReleaseVersion(files, place)) {
            version = KnownVersion{*release, *release};
        }
    }
    if (!version) version = keyVersion;
    if (version) {
        result.version = version->lowest;
        seen.version = FormatVersion(version->lowest);
    }
    if (!kind) {
        kind = files.Exists(runtime.folder + L"bin\\javac.exe") ||
                       files.Exists(folder + L"bin\\javac.exe")
                   ? RuntimeKind::DevelopmentKit
                   : RuntimeKind::RuntimeEnvironment;
    }
    seen.kind = KindText(*kind);
    if (!KindWanted(*kind, criteria)) return fail(RuntimeRejection::WrongKind);
    if (checkProvider && !AllowsVendorRuntimes(criteria)) {
        return fail(RuntimeRejection::ProviderNotAllowed);
    }
    if (version) {
        if (CompareVersions(version->lowest, criteria.MaximumVersion) > 0) {
            return fail(RuntimeRejection::AboveMaximumVersion);
        }
        if (CompareVersions(version->highest, criteria.MinimumVersion) < 0) {
            return fail(RuntimeRejection::BelowMinimumVersion);
        }
    } else if (!IsUnboundedVersion(criteria.MinimumVersion) ||
               !IsUnboundedVersion(criteria.MaximumVersion)) {
        // Taking it would let a Java 8 pass "Minimum Version=17" unseen.
        return fail(RuntimeRejection::VersionUnknown);
    }
    result.library = runtime.library;
    if (result.library.path.empty()) return fail(RuntimeRejection::NoVmLibrary);
    std::optional<std::uint16_t> machine = files.ImageMachine(result.library.path);
    if (!machine) return fail(RuntimeRejection::DamagedVmLibrary);
    switch (ClassifyMachine(*machine, criteria.HostIs64Bit)) {
        case MachineFit::Unsupported:
            return fail(RuntimeRejection::UnsupportedProcessor);
        case MachineFit::Pair:
            if (!hasPairProduct) return fail(RuntimeRejection::OtherProcessorNoPair);
            result.launchPair = true;
            break;
        case MachineFit::Own:
            break;
    }
    return result;
}

void CheckVendorRuntime(RegistryAccess& registry, FileProbe& files, const VendorRegistryRoot& root,
                        RegistryView view, const std::wstring& subkey, const std::wstring& key,
                        const RuntimeSearchCriteria& criteria, bool hasPairProduct,
                        VendorRuntimes& found, DecisionLog* log) {
    SeenRuntime seen;
    seen.origin = kOriginVendor;
    seen.place = RegistryPlace(view, key, criteria.HostIs64Bit);
    const RuntimeKind kind = KindOf(root, subkey);
    seen.kind = KindText(kind);
    // Subkey names are versions for some vendors ("17.0.9.9", "8.0.392.8"), only a major
    // version for others ("zulu-17", "jdk-21").
    const std::optional<KnownVersion> keyVersion = VendorKeyVersion(subkey);
    if (keyVersion) seen.version = FormatVersion(keyVersion->lowest);

    std::wstring folder;
    // The value must be text: the installers keep DWORD feature flags beside it.
    if (registry.ReadText(key, root.folderValue, view, folder)) EnsureTrailingBackslash(folder);
    seen.folder = folder;
    Checked checked =
        Check(files, folder, kind, true, keyVersion, criteria, hasPairProduct, seen);
    seen.reason = RejectionCode(checked.reason);
    NoteRuntimeSeen(&found.seen, log, seen);
    if (checked.reason != RuntimeRejection::None) return;

    RuntimeCandidate candidate;
    candidate.version = checked.version;
    candidate.home = checked.folder;
    candidate.hasServerVm = checked.library.server;
    candidate.preferred = IsVendorRuntimePreferred(kind, criteria);
    NoteDecision(log, "discovery", "candidate",
                 {{"root", root.path},
                  {"subkey", subkey},
                  {"view", DecisionText(view)},
                  {"version", DecisionText(candidate.version)},
                  {"home", candidate.home},
                  {"server", DecisionText(candidate.hasServerVm)},
                  {"preferred", DecisionText(candidate.preferred)},
                  {"handOver", DecisionText(checked.launchPair)}});
    (checked.launchPair ? found.other : found.own).push_back(std::move(candidate));
}

}  // namespace

VendorRuntimes ScanVendorRuntimes(RegistryAccess& registry, FileProbe& files,
                                  const RuntimeSearchCriteria& criteria, bool hasPairProduct,
                                  DecisionLog* log) {
    VendorRuntimes found;
    for (RegistryView view :
         {RegistryView::Native, RegistryView::Alternate, RegistryView::CurrentUser}) {
        for (const VendorRegistryRoot& root : kVendorRegistryRoots) {
            if (view == RegistryView::CurrentUser && !root.perUser) continue;
            for (const std::wstring& subkey : registry.SubkeyNames(root.path, view)) {
                const std::wstring key = root.path + subkey;
                if (!root.installerLayout) {
                    CheckVendorRuntime(registry, files, root, view, subkey, key, criteria,
                                       hasPairProduct, found, log);
                    continue;
                }
                // <version>\hotspot\MSI, <version>\openj9\MSI: one runtime per VM.
                for (const std::wstring& vm : registry.SubkeyNames(key + L"\\", view)) {
                    CheckVendorRuntime(registry, files, root, view, subkey,
                                       key + L"\\" + vm + L"\\MSI", criteria, hasPairProduct,
                                       found, log);
                }
            }
        }
    }
    return found;
}

bool IsVendorRuntimePreferred(RuntimeKind kind, const RuntimeSearchCriteria& criteria) {
    for (const RuntimeRegistryRoot& root : kRuntimeRegistryRoots) {
        if (root.provider == RuntimeProvider::Sun && root.kind == kind) {
            return IsRootPreferred(root, criteria);
        }
    }
    return false;
}

std::wstring JavaHomeFolder(const std::wstring& value) {
    // "set JAVA_HOME=C:\jdk " and "C:\jdk;" are common slips; no folder ends in either.
    std::wstring folder = value;
    auto trim = [&folder] {
        while (!folder.empty() && (folder.back() == L' ' || folder.back() == L';' ||
                                   folder.back() == L'\t')) {
            folder.pop_back();
        }
        std::size_t start = 0;
        while (start < folder.size() && (folder[start] == L' ' || folder[start] == L'\t')) ++start;
        folder.erase(0, start);
    };
    trim();
    if (folder.size() >= 2 && folder.front() == L'"' && folder.back() == L'"') {
        folder = folder.substr(1, folder.size() - 2);
        trim();
    }
    while (!folder.empty() && folder.back() == L'\\') folder.pop_back();
    if (EndsWithIgnoringAsciiCase(folder, L"\\bin")) folder.resize(folder.size() - 4);
    EnsureTrailingBackslash(folder);
    return folder;
}

CheckedFolder CheckRuntimeFolder(FileProbe& files, const std::wstring& folder,
                                 const RuntimeSearchCriteria& criteria, bool hasPairProduct,
                                 SeenRuntime seen, DecisionLog* log) {
    seen.folder = folder;
    Checked checked =
        Check(files, folder, std::nullopt, false, std::nullopt, criteria, hasPairProduct, seen);
    seen.reason = RejectionCode(checked.reason);
    NoteRuntimeSeen(nullptr, log, seen);
    CheckedFolder result;
    result.accepted = checked.reason == RuntimeRejection::None;
    result.reason = checked.reason;
    result.launchPair = checked.launchPair;
    result.folder = checked.folder;
    result.library = checked.library;
    result.version = seen.version.empty() ? std::nullopt : std::optional(checked.version);
    result.seen = std::move(seen);
    return result;
}
