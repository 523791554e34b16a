#pragma once

#include "discovery/version.h"

#include <string>
#include <string_view>
#include <vector>

enum class JvmTypeMode { AnyVm = 0, ServerOnly = 1, FavorServer = 2 };

/// "Vendor Runtimes": when the registry keys of the OpenJDK vendors' installers are searched.
enum class VendorRuntimesMode {
    Fallback,  ///< only when no other source yields an acceptable runtime (the default)
    Yes,       ///< together with the other registry roots, sorted with their runtimes
    No,        ///< never
};

struct ProviderPreference {
    bool allowed = false;
    bool favoured = false;
};

/// What a registered runtime must satisfy, filled from the configuration.
struct RuntimeSearchCriteria {
    VersionNumber MinimumVersion;
    VersionNumber MaximumVersion;
    std::vector<std::wstring> PreferredVersions;
    JvmTypeMode JvmType = JvmTypeMode::AnyVm;
    bool BothKinds = true;
    bool WantJdk = false;
    bool WantJre = false;
    ProviderPreference Sun{true, true};
    ProviderPreference JRockit;
    ProviderPreference Ibm;
    VendorRuntimesMode VendorRuntimes = VendorRuntimesMode::Fallback;
    /// "Use JAVA_HOME": the folder the variable names is tried before the registry.
    bool UseJavaHome = false;
    /// The processor of the running build decides which VM libraries load in process and
    /// which belong to the pair product; the Win32 layer sets it.
    bool HostIs64Bit = true;
};

/// The raw values of the criteria keys of section "Java Runtime Environment", as the
/// layered store reads them (an absent key is the empty string).
struct RuntimeCriteriaKeys {
    std::wstring JvmType;            ///< "JVM Type"
    std::wstring JvmSource;          ///< "JVM Source"
    std::wstring VmProvider;         ///< "VM Provider"
    std::wstring MinimumVersion;     ///< "Minimum Version"
    std::wstring MaximumVersion;     ///< "Maximum Version"
    std::wstring PreferredVersions;  ///< "Preferred versions"
    std::wstring VendorRuntimes;     ///< "Vendor Runtimes"
    std::wstring UseJavaHome;        ///< "Use JAVA_HOME"
};

/// Turns the key values into criteria. Unknown words fall back silently: "JVM Type" to
/// AnyVm, "VM Provider" to Sun only, "JVM Source" to no registry root at all, "Vendor
/// Runtimes" to fallback, "Use JAVA_HOME" to no.
RuntimeSearchCriteria BuildSearchCriteria(const RuntimeCriteriaKeys& keys);

/// IBM runtimes are allowed: the VM thread stays parked after main returns
/// (Launcher::KeepVmThreadParked).
bool KeepsVmThreadParked(const RuntimeSearchCriteria& criteria);

/// The OpenJDK vendors' runtimes carry on Sun's: they are allowed wherever Sun runtimes are
/// (the default, the favor_ values and "any"), and never favoured; "jrockit" and "ibm"
/// leave them out.
bool AllowsVendorRuntimes(const RuntimeSearchCriteria& criteria);

/// "JVM Type": exactly "server" or "favor_server", letter case significant.
JvmTypeMode ParseJvmType(std::wstring_view value);
