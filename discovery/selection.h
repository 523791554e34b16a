#pragma once

#include "core/decision_log.h"
#include "config/criteria.h"
#include "discovery/runtime_sources.h"

#include <optional>
#include <string>
#include <vector>

/// Stable: preferred roots first (when both kinds are searched), then server VMs (for
/// FavorServer), then newest first; equal candidates keep discovery order.
void SortCandidates(std::vector<RuntimeCandidate>& candidates,
                    const RuntimeSearchCriteria& criteria);

/// Sorts the list, then returns the first candidate matching the first "Preferred versions"
/// entry that matches any, else the first sorted candidate. Nothing for an empty list.
std::optional<RuntimeCandidate> SelectRuntime(std::vector<RuntimeCandidate>& candidates,
                                              const RuntimeSearchCriteria& criteria,
                                              DecisionLog* log = nullptr);

/// Scans the searched roots in one view and selects among their runtimes and `extra` (vendor
/// runtimes of the same processor). The alternate view is searched only when there is a
/// pair product; without one, its runtimes are only reported as the other processor's (and
/// only when someone is told: `seen` or `log` is given). The runtimes of the roots are added
/// to `seen` (when given). Returns the runtime folder; `fromIbmRoot`, when given, says
/// whether it is registered under IBM's own root.
std::optional<std::wstring> FindRegisteredRuntime(
    RegistryAccess& registry, FileProbe& files, RegistryView view,
    const RuntimeSearchCriteria& criteria, const std::wstring& pairProduct,
    std::vector<SeenRuntime>* seen = nullptr, DecisionLog* log = nullptr,
    const std::vector<RuntimeCandidate>* extra = nullptr, bool* fromIbmRoot = nullptr);

/// What the runtime search starts from.
struct RuntimeSearchInputs {
    std::wstring jrePath;         ///< resolved "JRE Path"
    /// "JRE Path" had a value; without one the launcher folder is still probed, but a miss
    /// there is no runtime anyone named.
    bool jrePathConfigured = true;
    /// The folder picked in the missing-runtime dialog before, resolved; empty when none.
    std::wstring rememberedJrePath;
    std::wstring launcherFolder;  ///< without a trailing backslash
    std::wstring privateFolder;   ///< "jre64\" or "jre\"
    std::wstring pairProduct;
    std::wstring javaHome;  ///< the JAVA_HOME variable, read only with "Use JAVA_HOME"
    RuntimeSearchCriteria criteria;
};

enum class RuntimeSource {
    None,
    RememberedJrePath,
    JrePath,
    PrivateRuntime,
    NativeRegistry,
    AlternateRegistry,
    JavaHome,
    VendorRegistry,
};

struct RuntimeSearchResult {
    RuntimeSource source = RuntimeSource::None;
    std::wstring folder;
    std::wstring library;  ///< empty when no source yielded a VM library
    bool server = false;
    /// The library's processor decides about the hand-over (only for "JRE Path").
    bool needsMachineCheck = false;
    /// Found in the alternate registry view, or a JAVA_HOME or vendor runtime whose VM library
    /// is the other build's: the pair product runs it.
    bool launchPair = false;
    /// Chosen from IBM's own registry root.
    bool fromIbmRoot = false;
    /// Every runtime the search looked at before it stopped, in order, with why it was not
    /// taken.
    std::vector<SeenRuntime> seen;
};

/// Tries the remembered folder (only while it holds a VM library and fits the version range
/// and kind), "JRE Path", the shipped runtime, JAVA_HOME (when asked for), the native registry
/// view and then the alternate one (each with the vendor roots when "Vendor Runtimes" is
/// yes), then the vendor roots (when it is fallback), and stops at the first that yields a
/// VM library. Every runtime seen is kept in the result's `seen` (and recorded as
/// "runtime-seen" in the log) with why it was not taken.
RuntimeSearchResult SearchRuntime(const RuntimeSearchInputs& inputs, RegistryAccess& registry,
                                  FileProbe& files, DecisionLog* log = nullptr);

std::wstring DecisionText(RuntimeSource source);
