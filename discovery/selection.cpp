#include "discovery/selection.h"

#include "core/format.h"
#include "core/path_utils.h"
#include "core/pe_header.h"
#include "discovery/runtime_report.h"
#include "discovery/vendor_runtimes.h"

#include <algorithm>
#include <iterator>

namespace {

std::wstring FormatVersionOrEmpty(const std::optional<VersionNumber>& version) {
    return version ? FormatVersion(*version) : std::wstring();
}

// True when `later` must come before `earlier`.
bool ComesFirst(const RuntimeCandidate& later, const RuntimeCandidate& earlier,
                const RuntimeSearchCriteria& criteria) {
    if (criteria.BothKinds && later.preferred != earlier.preferred) return later.preferred;
    if (criteria.JvmType == JvmTypeMode::FavorServer && later.hasServerVm != earlier.hasServerVm) {
        return later.hasServerVm;
    }
    return CompareVersions(earlier.version, later.version) < 0;
}

bool SameFolder(std::wstring_view a, std::wstring_view b) {
    while (!a.empty() && a.back() == L'\\') a.remove_suffix(1);
    while (!b.empty() && b.back() == L'\\') b.remove_suffix(1);
    return EqualsIgnoringAsciiCase(a, b);
}

/// Marks the chosen runtime in the list of those seen; "JRE Path" and the shipped runtime,
/// which are taken as soon as they are looked at, join the list here.
void MarkChosen(std::vector<SeenRuntime>& seen, RuntimeSource source, const std::wstring& folder,
                FileProbe& files) {
    for (auto it = seen.rbegin(); it != seen.rend(); ++it) {
        if (it->reason.empty() && SameFolder(it->folder, folder)) {
            it->chosen = true;
            return;
        }
    }
    SeenRuntime chosen;
    chosen.origin = source == RuntimeSource::PrivateRuntime ? kOriginBundled
                    : source == RuntimeSource::JavaHome     ? kOriginJavaHome
                    : source == RuntimeSource::RememberedJrePath ? kOriginRemembered
                    : source == RuntimeSource::JrePath           ? kOriginJrePath
                                                                 : kOriginRegistry;
    chosen.folder = folder;
    chosen.version = FormatVersionOrEmpty(ReadReleaseVersion(files, folder));
    chosen.chosen = true;
    seen.push_back(std::move(chosen));
}

}  // namespace

void SortCandidates(std::vector<RuntimeCandidate>& candidates,
                    const RuntimeSearchCriteria& criteria) {
    // The rules order by keys (preference, server VM, version), so the stable sort gives the
    // same order as exchanging adjacent candidates only when the later one must come first.
    std::stable_sort(candidates.begin(), candidates.end(),
                     [&](const RuntimeCandidate& a, const RuntimeCandidate& b) {
                         return ComesFirst(a, b, criteria);
                     });
}

std::optional<RuntimeCandidate> SelectRuntime(std::vector<RuntimeCandidate>& candidates,
                                              const RuntimeSearchCriteria& criteria,
                                              DecisionLog* log) {
    if (candidates.empty()) return std::nullopt;
    SortCandidates(candidates, criteria);
    if (log) {
        for (std::size_t i = 0; i < candidates.size(); ++i) {
            NoteDecision(log, "discovery", "sorted",
                         {{"position", DecimalText(i + 1)},
                          {"version", DecisionText(candidates[i].version)},
                          {"home", candidates[i].home},
                          {"server", DecisionText(candidates[i].hasServerVm)},
                          {"preferred", DecisionText(candidates[i].preferred)}});
        }
    }
    for (const std::wstring& entry : criteria.PreferredVersions) {
        VersionNumber wanted;
        ParseVersion(entry, 0, wanted);
        for (const RuntimeCandidate& candidate : candidates) {
            if (VersionMatchesPreference(candidate.version, wanted)) {
                NoteDecision(log, "discovery", "preferred-match",
                             {{"entry", entry},
                              {"version", DecisionText(candidate.version)},
                              {"home", candidate.home}});
                return candidate;
            }
        }
        NoteDecision(log, "discovery", "preferred-match", {{"entry", entry}, {"version", L""}});
    }
    return candidates.front();
}

std::optional<std::wstring> FindRegisteredRuntime(RegistryAccess& registry, FileProbe& files,
                                                  RegistryView view,
                                                  const RuntimeSearchCriteria& criteria,
                                                  const std::wstring& pairProduct,
                                                  std::vector<SeenRuntime>* seen, DecisionLog* log,
                                                  const std::vector<RuntimeCandidate>* extra,
                                                  bool* fromIbmRoot) {
    if (view == RegistryView::Alternate && pairProduct.empty()) {
        NoteDecision(log, "discovery", "registry-view",
                     {{"view", DecisionText(view)}, {"skipped", L"no Pair Product"}});
        // Nothing there can be taken, but a person asking why no runtime was found wants to
        // see the other processor's runtimes.
        if (seen || log) {
            std::vector<RuntimeCandidate> ignored;
            for (const RuntimeRegistryRoot& root : kRuntimeRegistryRoots) {
                if (!IsRootSearched(root, criteria)) continue;
                ScanRegistryRoot(registry, files, root, view, criteria, ignored, seen, log,
                                 RuntimeRejection::OtherProcessorNoPair);
            }
        }
        return std::nullopt;
    }
    std::vector<RuntimeCandidate> candidates;
    for (const RuntimeRegistryRoot& root : kRuntimeRegistryRoots) {
        if (!IsRootSearched(root, criteria)) {
            NoteDecision(log, "discovery", "registry-root",
                         {{"root", root.path},
                          {"view", DecisionText(view)},
                          {"skipped", L"kind not wanted or provider not allowed"}});
            continue;
        }
        NoteDecision(log, "discovery", "registry-root",
                     {{"root", root.path}, {"view", DecisionText(view)}, {"searched", L"true"}});
        ScanRegistryRoot(registry, files, root, view, criteria, candidates, seen, log);
    }
    if (extra) candidates.insert(candidates.end(), extra->begin(), extra->end());
    std::optional<RuntimeCandidate> chosen = SelectRuntime(candidates, criteria, log);
    if (!chosen) {
        NoteDecision(log, "discovery", "registry-view",
                     {{"view", DecisionText(view)}, {"chosen", L""}});
        return std::nullopt;
    }
    NoteDecision(log, "discovery", "registry-view",
                 {{"view", DecisionText(view)},
                  {"chosen", chosen->home},
                  {"version", DecisionText(chosen->version)}});
    if (fromIbmRoot) *fromIbmRoot = chosen->fromIbmRoot;
    return chosen->home;
}

RuntimeSearchResult SearchRuntime(const RuntimeSearchInputs& inputs, RegistryAccess& registry,
                                  FileProbe& files, DecisionLog* log) {
    const RuntimeSearchCriteria& criteria = inputs.criteria;
    const bool hasPair = !inputs.pairProduct.empty();
    RuntimeSearchResult result;
    auto accept = [&](RuntimeSource source, std::wstring folder, const VmLibraryLocation& found,
                      bool launchPair = false) {
        // Unset, "JRE Path" is the launcher folder: the runtime beside the executable.
        MarkChosen(result.seen,
                   source == RuntimeSource::JrePath && !inputs.jrePathConfigured
                       ? RuntimeSource::PrivateRuntime
                       : source,
                   folder, files);
        result.source = source;
        result.folder = std::move(folder);
        result.library = found.path;
        result.server = found.server;
        result.needsMachineCheck = source == RuntimeSource::JrePath;
        result.launchPair = launchPair;
        NoteDecision(log, "discovery", "chosen",
                     {{"source", DecisionText(source)},
                      {"folder", result.folder},
                      {"library", result.library},
                      {"server", DecisionText(result.server)}});
        return result;
    };
    auto seenFolder = [&](const wchar_t* origin, const std::wstring& folder,
                          RuntimeRejection reason) {
        SeenRuntime seen;
        seen.origin = origin;
        seen.folder = folder;
        seen.version = FormatVersionOrEmpty(ReadReleaseVersion(files, folder));
        seen.reason = RejectionCode(reason);
        NoteRuntimeSeen(&result.seen, log, seen);
    };

    // Checked as strictly as the dialog that picked it: a runtime that stopped fitting (the
    // application now needs a newer Java) must not win forever.
    if (!inputs.rememberedJrePath.empty()) {
        SeenRuntime seen;
        seen.origin = kOriginRemembered;
        const std::wstring folder = JrePathFolder(inputs.rememberedJrePath);
        CheckedFolder checked = CheckRuntimeFolder(files, folder, criteria, hasPair, seen, log);
        result.seen.push_back(std::move(checked.seen));
        NoteDecision(log, "discovery", "remembered-jre-path",
                     {{"folder", folder}, {"accepted", DecisionText(checked.accepted)}});
        if (checked.accepted) {
            return accept(RuntimeSource::RememberedJrePath, checked.folder, checked.library,
                          checked.launchPair);
        }
    }

    // An empty "JRE Path" was resolved to the launcher folder; nothing resolved at all means
    // no configuration was read, and probing the drive root would be a guess.
    if (inputs.jrePath.empty()) {
        NoteDecision(log, "discovery", "jre-path", {{"skipped", L"no resolved JRE Path"}});
    } else {
        // "..\Runtime\jre17" is shown and loaded as the folder it names.
        std::wstring folder = NormalizePathSeparatorsAndDots(JrePathFolder(inputs.jrePath));
        VmLibraryLocation found = LocateVmLibrary(files, folder, criteria.JvmType, log);
        // The processor decides about the hand-over later; only a library that neither
        // build can host is passed over here.
        std::optional<std::uint16_t> machine;
        if (!found.path.empty() && hasPair) machine = files.ImageMachine(found.path);
        const bool unsupported =
            machine && ClassifyMachine(*machine, criteria.HostIs64Bit) == MachineFit::Unsupported;
        NoteDecision(log, "discovery", "jre-path",
                     {{"folder", folder},
                      {"accepted", DecisionText(!found.path.empty() && !unsupported)}});
        if (!found.path.empty() && !unsupported) {
            return accept(RuntimeSource::JrePath, folder, found);
        }
        if (inputs.jrePathConfigured) {
            seenFolder(kOriginJrePath, folder,
                       unsupported                  ? RuntimeRejection::UnsupportedProcessor
                       : files.FolderExists(folder) ? RuntimeRejection::NoVmLibrary
                                                    : RuntimeRejection::FolderMissing);
        }
    }

    std::wstring privateRuntime;
    if (inputs.launcherFolder.empty()) {
        NoteDecision(log, "discovery", "private-runtime", {{"skipped", L"no launcher folder"}});
    } else {
        privateRuntime =
            FindPrivateRuntimeFolder(files, inputs.launcherFolder, inputs.privateFolder, log);
    }
    if (!privateRuntime.empty()) {
        VmLibraryLocation found = LocateVmLibrary(files, privateRuntime, criteria.JvmType, log);
        if (!found.path.empty())
            return accept(RuntimeSource::PrivateRuntime, privateRuntime, found);
        seenFolder(kOriginBundled, privateRuntime, RuntimeRejection::NoVmLibrary);
    }

    if (!criteria.UseJavaHome) {
        NoteDecision(log, "discovery", "java-home", {{"skipped", L"Use JAVA_HOME is not yes"}});
    } else if (inputs.javaHome.empty()) {
        NoteDecision(log, "discovery", "java-home", {{"skipped", L"JAVA_HOME is not set"}});
    } else {
        SeenRuntime seen;
        seen.origin = kOriginJavaHome;
        const std::wstring folder = JavaHomeFolder(inputs.javaHome);
        CheckedFolder checked = CheckRuntimeFolder(files, folder, criteria, hasPair, seen, log);
        result.seen.push_back(std::move(checked.seen));
        NoteDecision(log, "discovery", "java-home",
                     {{"value", inputs.javaHome},
                      {"folder", folder},
                      {"accepted", DecisionText(checked.accepted)}});
        if (checked.accepted) {
            return accept(RuntimeSource::JavaHome, checked.folder, checked.library,
                          checked.launchPair);
        }
    }

    std::optional<VendorRuntimes> vendor;
    auto scanVendorRuntimes = [&] {
        vendor = ScanVendorRuntimes(registry, files, criteria, hasPair, log);
        result.seen.insert(result.seen.end(), std::make_move_iterator(vendor->seen.begin()),
                           std::make_move_iterator(vendor->seen.end()));
    };
    if (criteria.VendorRuntimes == VendorRuntimesMode::Yes) {
        scanVendorRuntimes();
    } else if (criteria.VendorRuntimes == VendorRuntimesMode::No) {
        NoteDecision(log, "discovery", "vendor-roots", {{"skipped", L"Vendor Runtimes is no"}});
    }
    const bool fallback = criteria.VendorRuntimes == VendorRuntimesMode::Fallback;
    // Each step fills `result` through accept() when it yields a VM library.
    auto registryView = [&](RegistryView view) {
        const bool other = view == RegistryView::Alternate;
        const std::vector<RuntimeCandidate>* extra = nullptr;
        if (vendor && !fallback) extra = other ? &vendor->other : &vendor->own;
        bool fromIbmRoot = false;
        std::optional<std::wstring> registered =
            FindRegisteredRuntime(registry, files, view, criteria, inputs.pairProduct, &result.seen,
                                  log, extra, &fromIbmRoot);
        if (!registered) return false;
        VmLibraryLocation found = LocateVmLibrary(files, *registered, criteria.JvmType, log);
        if (found.path.empty()) return false;
        accept(other ? RuntimeSource::AlternateRegistry : RuntimeSource::NativeRegistry,
               *registered, found, other);
        result.fromIbmRoot = fromIbmRoot;
        return true;
    };
    // Only when the sources before found nothing, so that no installation they serve changes
    // its choice; this build's own vendor runtimes come before a hand-over to the pair product.
    auto vendorFallback = [&](bool other) {
        if (!fallback) return false;
        if (!vendor) scanVendorRuntimes();
        std::vector<RuntimeCandidate>& list = other ? vendor->other : vendor->own;
        std::optional<RuntimeCandidate> chosen = SelectRuntime(list, criteria, log);
        if (!chosen) return false;
        VmLibraryLocation found = LocateVmLibrary(files, chosen->home, criteria.JvmType, log);
        if (found.path.empty()) return false;
        accept(RuntimeSource::VendorRegistry, chosen->home, found, other);
        return true;
    };
    if (registryView(RegistryView::Native) || vendorFallback(false) ||
        registryView(RegistryView::Alternate) || vendorFallback(true)) {
        return result;
    }
    NoteDecision(log, "discovery", "chosen", {{"source", DecisionText(RuntimeSource::None)}});
    return result;
}

std::wstring DecisionText(RuntimeSource source) {
    switch (source) {
        case RuntimeSource::RememberedJrePath:
            return L"remembered JRE Path";
        case RuntimeSource::JrePath:
            return L"JRE Path";
        case RuntimeSource::PrivateRuntime:
            return L"private runtime";
        case RuntimeSource::NativeRegistry:
            return L"registry, native view";
        case RuntimeSource::AlternateRegistry:
            return L"registry, alternate view";
        case RuntimeSource::JavaHome:
            return L"JAVA_HOME";
        case RuntimeSource::VendorRegistry:
            return L"vendor registry keys";
        case RuntimeSource::None:
            break;
    }
    return L"none";
}
