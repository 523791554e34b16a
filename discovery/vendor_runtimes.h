#pragma once

#include "core/decision_log.h"
#include "config/criteria.h"
#include "discovery/runtime_sources.h"

#include <string>
#include <vector>

/// How a vendor key tells a development kit from a runtime environment.
enum class VendorKindRule {
    Kit,             ///< the root is for kits
    Environment,     ///< the root is for runtime environments
    JreSuffix,       ///< subkey "zulu-17-jre" is an environment, "zulu-17" a kit
    JrePrefix,       ///< subkey "jre-17" is an environment, "jdk-17" a kit
};

/// Where an OpenJDK vendor's installer registers its runtimes, one root per key.
struct VendorRegistryRoot {
    const wchar_t* vendor;
    const wchar_t* path;  ///< ends in a backslash
    VendorKindRule kind;
    const wchar_t* folderValue;  ///< "Path", "InstallationPath" or "JavaHome"
    /// The folder value sits in <subkey>\<VM name>\MSI ("hotspot", "openj9"), beside the
    /// installer's DWORD feature flags, not in the subkey itself.
    bool installerLayout;
    /// The installer also registers per-user installations under HKEY_CURRENT_USER.
    bool perUser;
};

extern const VendorRegistryRoot kVendorRegistryRoots[14];

/// The acceptable vendor runtimes, by the processor of their VM library.
struct VendorRuntimes {
    std::vector<RuntimeCandidate> own;    ///< load in this process
    std::vector<RuntimeCandidate> other;  ///< x86/x64 of the other build: the pair product's
    /// Every runtime scanned, in order, with why it was rejected.
    std::vector<SeenRuntime> seen;
};

/// Scans every vendor root in both views of HKEY_LOCAL_MACHINE and, for the installers that
/// write there, HKEY_CURRENT_USER. Each runtime is checked like any other: its folder, its
/// kind and provider, its version (from the runtime's "release" file, else from the subkey
/// name) against the bounds (an unknown version fails any explicit bound), a VM library for
/// the JVM type (in "jre\" for a Java 8 kit), and the processor of that library. Every
/// runtime seen is kept in `seen` and recorded in the log with the reason it was rejected.
VendorRuntimes ScanVendorRuntimes(RegistryAccess& registry, FileProbe& files,
                                  const RuntimeSearchCriteria& criteria, bool hasPairProduct,
                                  DecisionLog* log = nullptr);

/// Vendor runtimes carry on Sun's: they sort as the Sun root of their kind would.
bool IsVendorRuntimePreferred(RuntimeKind kind, const RuntimeSearchCriteria& criteria);

/// The folder that JAVA_HOME names, with surrounding quotes and a trailing "\" or "\bin"
/// removed, ending in a backslash; empty when the variable is empty.
std::wstring JavaHomeFolder(const std::wstring& value);

/// One runtime folder outside the registry (JAVA_HOME) checked like a vendor runtime; the
/// candidate when it is acceptable, with `launchPair` set when it is the pair product's.
struct CheckedFolder {
    bool accepted = false;
    RuntimeRejection reason = RuntimeRejection::None;
    bool launchPair = false;
    std::wstring folder;  ///< the runtime folder: the one named, its "jre\" or its parent
    VmLibraryLocation library;
    std::optional<VersionNumber> version;  ///< nothing when no version could be read
    SeenRuntime seen;  ///< `seen` as passed in, completed with what the check found
};
CheckedFolder CheckRuntimeFolder(FileProbe& files, const std::wstring& folder,
                                 const RuntimeSearchCriteria& criteria, bool hasPairProduct,
                                 SeenRuntime seen, DecisionLog* log = nullptr);
