#include "discovery/selection.h"

#include <algorithm>

namespace {

// True when `later` must come before `earlier`.
bool ComesFirst(const RuntimeCandidate& later, const RuntimeCandidate& earlier,
                const RuntimeSearchCriteria& criteria) {
    if (criteria.BothKinds && later.preferred != earlier.preferred) return later.preferred;
    if (criteria.JvmType == JvmTypeMode::FavorServer && later.hasServerVm != earlier.hasServerVm) {
        return later.hasServerVm;
    }
    return CompareVersions(earlier.version, later.version) < 0;
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
                         {{"position", std::to_wstring(i + 1)},
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
                                                  DecisionLog* log) {
    if (view == RegistryView::Alternate && pairProduct.empty()) {
        NoteDecision(log, "discovery", "registry-view",
                     {{"view", DecisionText(view)}, {"skipped", L"no Pair Product"}});
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
        ScanRegistryRoot(registry, files, root, view, criteria, candidates, log);
    }
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
    return chosen->home;
}

RuntimeSearchResult SearchRuntime(const RuntimeSearchInputs& inputs, RegistryAccess& registry,
                                  FileProbe& files, DecisionLog* log) {
    const RuntimeSearchCriteria& criteria = inputs.criteria;
    RuntimeSearchResult result;
    auto accept = [&](RuntimeSource source, std::wstring folder, const VmLibraryLocation& found) {
        result.source = source;
        result.folder = std::move(folder);
        result.library = found.path;
        result.server = found.server;
        result.needsMachineCheck = source == RuntimeSource::JrePath;
        result.launchPair = source == RuntimeSource::AlternateRegistry;
        NoteDecision(log, "discovery", "chosen",
                     {{"source", DecisionText(source)},
                      {"folder", result.folder},
                      {"library", result.library},
                      {"server", DecisionText(result.server)}});
        return result;
    };

    // An empty "JRE Path" was resolved to the launcher folder; nothing resolved at all means
    // no configuration was read, and probing the drive root would be a guess.
    if (inputs.jrePath.empty()) {
        NoteDecision(log, "discovery", "jre-path", {{"skipped", L"no resolved JRE Path"}});
    } else {
        std::wstring folder = JrePathFolder(inputs.jrePath);
        VmLibraryLocation found = LocateVmLibrary(files, folder, criteria.JvmType, log);
        NoteDecision(log, "discovery", "jre-path",
                     {{"folder", folder}, {"accepted", DecisionText(!found.path.empty())}});
        if (!found.path.empty()) return accept(RuntimeSource::JrePath, folder, found);
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
    }

    RuntimeSource source = RuntimeSource::NativeRegistry;
    std::optional<std::wstring> registered = FindRegisteredRuntime(
        registry, files, RegistryView::Native, criteria, inputs.pairProduct, log);
    if (!registered) {
        source = RuntimeSource::AlternateRegistry;
        registered = FindRegisteredRuntime(registry, files, RegistryView::Alternate, criteria,
                                           inputs.pairProduct, log);
    }
    if (registered) {
        VmLibraryLocation found = LocateVmLibrary(files, *registered, criteria.JvmType, log);
        if (!found.path.empty()) return accept(source, *registered, found);
    }
    NoteDecision(log, "discovery", "chosen", {{"source", DecisionText(RuntimeSource::None)}});
    return result;
}

std::wstring DecisionText(RuntimeSource source) {
    switch (source) {
        case RuntimeSource::JrePath:
            return L"JRE Path";
        case RuntimeSource::PrivateRuntime:
            return L"private runtime";
        case RuntimeSource::NativeRegistry:
            return L"registry, native view";
        case RuntimeSource::AlternateRegistry:
            return L"registry, alternate view";
        case RuntimeSource::None:
            break;
    }
    return L"none";
}
