#include "discovery/runtime_sources.h"

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
    runtime.server = library.server;
    return true;
}

void ScanRegistryRoot(RegistryAccess& registry, FileProbe& files, const RuntimeRegistryRoot& root,
                      RegistryView view, const RuntimeSearchCriteria& criteria,
                      std::vector<RuntimeCandidate>& candidates, DecisionLog* log) {
    for (const std::wstring& name : registry.SubkeyNames(root.path, view)) {
        VersionNumber version;
        ParseVersion(name, 0, version);
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
            continue;
        }
        RegisteredRuntime runtime;
        if (!ReadRegisteredRuntime(registry, files, root, name, view, criteria.JvmType, runtime,
                                   log)) {
            continue;
        }
        RuntimeCandidate candidate;
        candidate.version = version;
        candidate.home = std::move(runtime.folder);
        candidate.hasServerVm = runtime.server;
        candidate.preferred = IsRootPreferred(root, criteria);
        NoteDecision(log, "discovery", "candidate",
                     {{"root", root.path},
                      {"subkey", name},
                      {"view", DecisionText(view)},
                      {"version", DecisionText(candidate.version)},
                      {"home", candidate.home},
                      {"server", DecisionText(candidate.hasServerVm)},
                      {"preferred", DecisionText(candidate.preferred)}});
        candidates.push_back(std::move(candidate));
    }
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
    return view == RegistryView::Native ? L"native" : L"alternate";
}

std::wstring DecisionText(const VersionNumber& version) {
    std::wstring text;
    for (int i = 0; i < 4; ++i) {
        if (i) text += L'.';
        text += std::to_wstring(version.components[i]);
    }
    return text;
}
