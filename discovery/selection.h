#pragma once

#include "core/decision_log.h"
#include "discovery/criteria.h"
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

/// Scans the searched roots in one view and selects among their runtimes. The alternate
/// view is searched only when there is a pair product. Returns the runtime folder.
std::optional<std::wstring> FindRegisteredRuntime(RegistryAccess& registry, FileProbe& files,
                                                  RegistryView view,
                                                  const RuntimeSearchCriteria& criteria,
                                                  const std::wstring& pairProduct,
                                                  DecisionLog* log = nullptr);

/// What the runtime search starts from.
struct RuntimeSearchInputs {
    std::wstring jrePath;         ///< resolved "JRE Path"
    std::wstring launcherFolder;  ///< without a trailing backslash
    std::wstring privateFolder;   ///< "jre64\" or "jre\"
    std::wstring pairProduct;
    RuntimeSearchCriteria criteria;
};

enum class RuntimeSource { None, JrePath, PrivateRuntime, NativeRegistry, AlternateRegistry };

struct RuntimeSearchResult {
    RuntimeSource source = RuntimeSource::None;
    std::wstring folder;
    std::wstring library;  ///< empty when no source yielded a VM library
    bool server = false;
    /// The library's processor decides about the hand-over (only for "JRE Path").
    bool needsMachineCheck = false;
    /// Found in the alternate registry view: the pair product runs it.
    bool launchPair = false;
};

/// Tries "JRE Path", the shipped runtime, the native registry view and then the alternate
/// one, and stops at the first that yields a VM library.
RuntimeSearchResult SearchRuntime(const RuntimeSearchInputs& inputs, RegistryAccess& registry,
                                  FileProbe& files, DecisionLog* log = nullptr);

std::wstring DecisionText(RuntimeSource source);
